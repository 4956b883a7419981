#!/usr/bin/python3
"""Writes the Debian package's copyright file (machine-readable format):
the project's stanza with the text of LICENSE, and a stanza for each part
under another licence, its notice taken from where it comes from.
    copyright.py LICENSE SIMPLEINI_COPYRIGHT OUT"""
import re
import sys

license_path, simpleini_path, out = sys.argv[1:4]


def field_text(lines):
    """Lines as a multi-line field's continuation: indented, blank lines as ' .'."""
    return "\n".join(" " + line if line.strip() else " ." for line in lines)


project = open(license_path, encoding="utf-8").read().strip().splitlines()
holder = next(line for line in project if line.startswith("Copyright (c) "))[len("Copyright (c) "):]
mit_text = project[project.index(next(l for l in project if l.startswith("Permission"))):]

# Debian's own copyright file of the SimpleIni package: its main stanza's
# holder and its licence paragraph, as written there.
paragraphs = [p for p in re.split(r"\n\s*\n", open(simpleini_path, encoding="utf-8").read()) if p.strip()]
def fields(paragraph):
    found, key = {}, None
    for line in paragraph.splitlines():
        if line[:1] in (" ", "\t") and key:
            found[key] += "\n" + line
        else:
            key, _, value = line.partition(":")
            found[key] = value.strip()
    return found
stanzas = [fields(p) for p in paragraphs]
main = next(s for s in stanzas if s.get("Files") == "*")
licence_name = main["License"].split("\n")[0].strip()
licence = next(s for s in stanzas if "Files" not in s and s.get("License", "").startswith(licence_name + "\n"))
if not main.get("Copyright") or not licence:
    sys.exit(f"{simpleini_path}: no holder or licence text found")

text = f"""Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: quillomar
Upstream-Contact: Quillomar developers <quillomar@users.noreply.invalid>

Files: *
Copyright: {holder}
License: MIT

Files: SimpleIni.h
Copyright: {main["Copyright"].strip()}
License: {licence_name}
Comment: Compiled into both programs from Debian's libsimpleini-dev (the
 reading and writing of SETTING.INI).

Files: tests/schemas/*
Copyright: sitemaps.org
License: CC-BY-SA-2.5
Comment: The Sitemaps 0.9 schemas the tests check each file against; not
 installed.

License: MIT
{field_text(mit_text)}

License: {licence["License"]}

License: CC-BY-SA-2.5
 The Sitemaps 0.90 protocol and its schemas are offered by sitemaps.org under
 the terms of the Creative Commons Attribution-ShareAlike 2.5 licence:
 https://creativecommons.org/licenses/by-sa/2.5/legalcode
"""
open(out, "w", encoding="utf-8").write(text)
