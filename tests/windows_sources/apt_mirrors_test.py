#!/usr/bin/env python3
"""scripts/apt_mirrors.py: the mirrors the Windows build's source download takes from
the machine's apt sources, one-line and deb822 files alike."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "apt_mirrors.py")
KEYRING = "/usr/share/keyrings/archive.gpg"


def run(files):
    with tempfile.TemporaryDirectory() as folder:
        paths = []
        for name, text in files.items():
            paths.append(os.path.join(folder, name))
            with open(paths[-1], "w") as f:
                f.write(text)
        paths.append(os.path.join(folder, "missing.list"))
        out = subprocess.run([sys.executable, SCRIPT, "bookworm"] + paths, capture_output=True, text=True, check=True)
        return out.stdout.splitlines()


class AptMirrors(unittest.TestCase):
    def test_one_line_entries_keep_their_keyring_and_only_the_release_suite(self):
        self.assertEqual(run({"sources.list": (
            "# deb http://commented.example/debian bookworm main\n"
            "deb [arch=amd64 signed-by=%s] http://one.example/debian/ bookworm main contrib\n"
            "deb http://one.example/debian bookworm-updates main\n"
            "deb-src http://two.example/debian bookworm main  # trailing comment\n"
            "deb http://three.example/debian bookworm contrib\n"
            "deb http://one.example/debian/ bookworm main\n" % KEYRING)}),
            ["deb-src [signed-by=%s] http://one.example/debian bookworm main" % KEYRING,
             "deb-src http://two.example/debian bookworm main",
             "deb-src http://one.example/debian bookworm main"])

    def test_deb822_stanzas_with_several_uris_and_suites_disabled_ones_left_out(self):
        self.assertEqual(run({"debian.sources": (
            "Types: deb deb-src\n"
            "# a comment inside the stanza\n"
            "URIs: http://a.example/debian\n"
            "  http://b.example/debian\n"
            "Suites: bookworm bookworm-updates\n"
            "Components: main\n"
            "Signed-By: %s\n"
            "\n"
            "Enabled: no\n"
            "Types: deb\n"
            "URIs: http://off.example/debian\n"
            "Suites: bookworm\n"
            "Components: main\n"
            "\n"
            "Types: deb\n"
            "URIs: http://inline.example/debian\n"
            "Suites: bookworm\n"
            "Components: main\n"
            "Signed-By:\n"
            " -----BEGIN PGP PUBLIC KEY BLOCK-----\n"
            " .\n"
            " -----END PGP PUBLIC KEY BLOCK-----\n" % KEYRING)}),
            ["deb-src [signed-by=%s] http://a.example/debian bookworm main" % KEYRING,
             "deb-src [signed-by=%s] http://b.example/debian bookworm main" % KEYRING,
             "deb-src http://inline.example/debian bookworm main"])

    def test_nothing_when_no_file_names_the_release(self):
        self.assertEqual(run({"other.list": "deb http://x.example/debian trixie main\n"}), [])


if __name__ == "__main__":
    unittest.main()
