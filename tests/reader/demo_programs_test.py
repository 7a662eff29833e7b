"""The demo machine as scripts/demo.sh prepares it: its programs built with version
resources of their own, the system's programs vouched for by the system's catalog,
the updater signed by its publisher; read back through the simulator's inventory of
the image and the history of a real run of the demo."""

import json
import os
import shutil
import subprocess
import unittest

import record_files as rf

SCRIPTS = os.path.join(rf.EXAMPLES, os.pardir, "scripts")
SYSTEM_VENDOR = "Corvallen Systems"


def program_table():
    """{lower-case Windows path: row} from examples/demo-programs.txt."""
    table = {}
    with open(os.path.join(rf.EXAMPLES, "demo-programs.txt"), encoding="utf-8") as rows:
        for line in rows:
            if line.strip() and not line.startswith("#"):
                path, _, signature, version, company = line.rstrip("\n").split("|")[:5]
                windows_path = "c:\\" + path.replace("/", "\\").lower()
                table[windows_path] = {"signature": signature, "version": version, "company": company}
    return table


def sim(*args):
    done = subprocess.run([rf.BRUMEVALE_SIM, *args], capture_output=True, timeout=300)
    assert done.returncode == 0, done.stderr.decode()
    return [json.loads(line) for line in done.stdout.decode().splitlines()]


@unittest.skipUnless(shutil.which("x86_64-w64-mingw32-windres"),
                     "MinGW-w64 is not installed (scripts/setup.sh installs it): the demo's programs cannot be built")
class PreparedDemo(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = rf.temp_folder()
        cls.image = rf.copy_demo(cls.folder)
        subprocess.run([os.path.join(SCRIPTS, "prepare_demo_image.sh"), cls.image, cls.folder],
                       check=True, capture_output=True, timeout=300)
        cls.db = rf.play_demo(cls.image)
        cls.table = program_table()
        cls.inventory = sim("inventory", cls.image, "--verify", "--format", "json")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def files_of(self, signature):
        """The inventory's file checks of the table's programs signed that way."""
        return [line["file"] for line in self.inventory
                if self.table.get(line["file"]["path"].lower(), {}).get("signature") == signature]

    def test_system_programs_are_signed_by_the_system_vendor_through_its_catalog(self):
        files = self.files_of("system")
        paths = {f["path"].lower() for f in files}
        self.assertIn("c:\\windows\\explorer.exe", paths)
        self.assertIn("c:\\windows\\system32\\drivers\\tcpip.sys", paths)
        for f in files:
            self.assertEqual((f["present"], f["signer"], f["signatureValid"], f["company"]),
                             (True, SYSTEM_VENDOR, True, SYSTEM_VENDOR), f["path"])
        # None of them carries a signature of its own: without the catalog registered
        # in the machine's catalog database, they are not signed at all.
        unregistered = os.path.join(self.folder, "unregistered")
        shutil.copytree(self.image, unregistered)
        manifest = os.path.join(unregistered, "machine.json")
        with open(manifest, encoding="utf-8") as text:
            machine = json.load(text)
        machine["trust"]["registeredCatalogs"] = []
        with open(manifest, "w", encoding="utf-8") as text:
            json.dump(machine, text)
        for line in sim("inventory", unregistered, "--verify", "--format", "json"):
            if self.table.get(line["file"]["path"].lower(), {}).get("signature") == "system":
                self.assertIsNone(line["file"]["signer"], line["file"]["path"])

    def test_third_party_programs_show_their_own_version_strings(self):
        third_party = self.files_of("none") + self.files_of("velanto")
        self.assertGreaterEqual(len({f["path"].lower() for f in third_party}), 4)
        for f in third_party:
            row = self.table[f["path"].lower()]
            self.assertEqual((f["version"], f["company"]), (row["version"], row["company"]), f["path"])
            signer = "Velanto Software" if row["signature"] == "velanto" else None
            self.assertEqual(f["signer"], signer, f["path"])

    def test_hiding_the_system_vendor_leaves_only_what_others_made(self):
        kept = sim("inventory", self.image, "--hide-signed-by", SYSTEM_VENDOR, "--format", "json")
        self.assertEqual(len(kept), len(self.inventory) - len(self.files_of("system")))
        self.assertFalse([line for line in kept if line["file"]["signer"] == SYSTEM_VENDOR])

    def test_history_names_each_acting_program_with_its_own_strings(self):
        code, out, err = rf.run("history", self.db, "--format", "json")
        self.assertEqual(code, 0, err)
        seen = set()
        for event in map(json.loads, out.splitlines()):
            row = self.table.get((event["processPath"] or "").lower())
            if row:
                seen.add(event["processPath"].lower())
                self.assertEqual((event["fileVersion"], event["companyName"]), (row["version"], row["company"]))
                self.assertEqual(event["signer"], {"system": SYSTEM_VENDOR, "velanto": "Velanto Software"}
                                 .get(row["signature"]), event["processPath"])
        self.assertEqual(len(seen), 4, seen)  # explorer, tallyo, the updater, the installer


class WithoutMinGW(unittest.TestCase):
    def test_the_image_keeps_its_placeholders_and_one_line_says_why(self):
        folder = rf.temp_folder()
        try:
            image = rf.copy_demo(folder)
            tools = os.path.join(folder, "bin")
            os.mkdir(tools)
            os.symlink(shutil.which("dirname"), os.path.join(tools, "dirname"))
            done = subprocess.run(["/bin/bash", os.path.join(SCRIPTS, "prepare_demo_image.sh"), image, folder],
                                  capture_output=True, env={"PATH": tools}, timeout=60)
            self.assertEqual(done.returncode, 0, done.stderr.decode())
            lines = done.stdout.decode().splitlines()
            self.assertEqual(len(lines), 1)
            self.assertIn("x86_64-w64-mingw32-gcc not found", lines[0])
            explorer = os.path.join(image, "drives", "C", "Windows", "explorer.exe")
            original = os.path.join(rf.EXAMPLES, "demo-machine", "drives", "C", "Windows", "explorer.exe")
            with open(explorer, "rb") as a, open(original, "rb") as b:
                self.assertEqual(a.read(), b.read())
        finally:
            shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main()
