#!/usr/bin/python3
"""Reads the version record of a Windows program back and checks it.
    check_version.py FILE.exe ORIGINAL_NAME"""
import sys

import pefile

expected = {
    "FileDescription": "Quillomar",
    "FileVersion": "1, 0, 0, 1",
    "InternalName": "Quillomar",
    "LegalCopyright": "Copyright (c) 2026 The Quillomar developers. MIT License",
    "OriginalFilename": sys.argv[2],
    "ProductName": "Quillomar",
    "ProductVersion": "1, 0, 0, 1",
}
pe = pefile.PE(sys.argv[1])
found, languages = {}, []
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            languages.append(table.LangID)
            found.update({k.decode(): v.decode() for k, v in table.entries.items()})
fixed = pe.VS_FIXEDFILEINFO[0]
numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
problems = [f"{k}: {found.get(k)!r}, expected {v!r}" for k, v in expected.items() if found.get(k) != v]
if numbers != (1, 0, 0, 1):
    problems.append(f"file version {numbers}")
if languages != [b"041104b0"]:
    problems.append(f"languages {languages}")
imports = sorted({entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])})
system = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "winspool.drv", "shell32.dll", "ole32.dll",
          "oleaut32.dll", "advapi32.dll", "comctl32.dll", "uuid.dll", "rpcrt4.dll", "uxtheme.dll", "version.dll",
          "shlwapi.dll", "oleacc.dll", "ws2_32.dll", "crypt32.dll", "bcrypt.dll", "msvcrt.dll", "wininet.dll",
          "imm32.dll", "winmm.dll", "gdiplus.dll", "msimg32.dll", "dwmapi.dll", "wsock32.dll", "normaliz.dll"}
foreign = [d for d in imports if d not in system and not d.startswith("api-ms-win-")]
if foreign:
    problems.append(f"needs DLLs Windows does not ship: {foreign}")
for p in problems:
    print(p)
print("version record:", found, "imports:", imports)
sys.exit(1 if problems else 0)
