#!/usr/bin/env python3
"""The deb-src entries of a Debian release's own suite that the given apt source files
name, one a line: "deb-src [signed-by=KEYRING] URI SUITE main". Reads one-line files
(.list) and deb822 files (.sources), as apt does; a missing file is skipped, and so
are disabled stanzas, comments, other suites and entries without the main component.
Usage: apt_mirrors.py RELEASE FILE..."""

import re
import sys


def one_line_entries(text):
    """(types, uris, suites, components, signed_by) of each line of a .list file."""
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        signed_by = ""
        options = re.search(r"\[([^\]]*)\]", line)
        if options:
            for option in options.group(1).split():
                if option.startswith("signed-by="):
                    signed_by = option.split("=", 1)[1]
            line = line[:options.start()] + line[options.end():]
        words = line.split()
        if len(words) >= 4:
            yield [words[0]], [words[1]], [words[2]], words[3:], signed_by


def deb822_entries(text):
    """The same of each enabled stanza of a .sources file; a field may go on over
    indented lines, and Signed-By may hold a key block instead of a file."""
    for stanza in re.split(r"\n\s*\n", text):
        fields, key = {}, None
        for line in stanza.splitlines():
            if line.startswith("#") or not line.strip():
                continue
            if line[0] in " \t" and key:
                fields[key] += " " + line.strip()
                continue
            key, _, value = line.partition(":")
            key = key.strip().lower()
            fields[key] = value.strip()
        if fields.get("enabled", "yes").lower() == "no":
            continue
        signed_by = fields.get("signed-by", "").split(" ")[0]
        yield (fields.get("types", "").split(), fields.get("uris", "").split(), fields.get("suites", "").split(),
               fields.get("components", "").split(), signed_by)


def mirrors(release, files):
    seen = []
    for path in files:
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except OSError:
            continue
        entries = deb822_entries(text) if path.endswith(".sources") else one_line_entries(text)
        for types, uris, suites, components, signed_by in entries:
            if not {"deb", "deb-src"} & set(types) or "main" not in components or release not in suites:
                continue
            for uri in uris:
                option = "[signed-by=%s] " % signed_by if signed_by.startswith("/") else ""
                line = "deb-src %s%s %s main" % (option, uri.rstrip("/"), release)
                if line not in seen:
                    seen.append(line)
    return seen


if __name__ == "__main__":
    for entry in mirrors(sys.argv[1], sys.argv[2:]):
        print(entry)
