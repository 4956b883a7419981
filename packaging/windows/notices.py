#!/usr/bin/python3
"""Writes THIRD-PARTY-NOTICES.txt (CR LF) for the Windows programs from the
linker's map files: every archive a program took members from must have a
notice, or this fails naming it, so that no library is shipped without its
licence.
  - archives built by build-deps.sh: the licence files it kept from the
    library's source package (DEPS/notices/<name>/, with VERSION);
  - archives of Debian packages (the mingw-w64 runtime, GCC's runtime,
    zlib): that package's copyright file and version;
  - the program's own archives (in the build folder): LICENSE.
    notices.py DEPS BUILD_FOLDER OUT MAP...
"""
import os
import re
import subprocess
import sys

deps, build, out, maps = sys.argv[1], os.path.realpath(sys.argv[2]), sys.argv[3], sys.argv[4:]

# Archives of build-deps.sh and the notice folder each belongs to.
BUILT = {
    "libssl.a": "OpenSSL", "libcrypto.a": "OpenSSL",
    "libssh2.a": "libssh2",
    "libcurl.a": "libcurl",
    "libgumbo.a": "gumbo-parser",
    "libnghttp2.a": "nghttp2",
}
WX = re.compile(r"libwx_\w+-3\.\d+(-[\w-]+)?\.a$")
# Compiled in from a header alone, so no archive names them.
HEADER_ONLY = {"SimpleIni": "/usr/include/SimpleIni.h"}


def archives_in(map_path):
    member = re.compile(r"^(\S+\.a)\(")
    with open(map_path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    section = text.split("Archive member included to satisfy reference by file (symbol)", 1)
    if len(section) < 2:
        sys.exit(f"{map_path}: not a linker map (no archive members listed)")
    body = section[1].split("\nDiscarded input sections", 1)[0]
    return {os.path.realpath(m.group(1)) for line in body.splitlines() if (m := member.match(line))}


def debian_package(path):
    run = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True)
    if run.returncode != 0:
        return None
    return run.stdout.split(":", 1)[0].strip()


def debian_notice(package):
    version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True,
                             text=True, check=True).stdout
    copyright_file = f"/usr/share/doc/{package}/copyright"
    if not os.path.exists(copyright_file):
        return None
    return f"{package} {version} (Debian package)", [copyright_file]


notices, users, missing = {}, {}, []


def add(key, title_and_files, archive):
    notices.setdefault(key, title_and_files)
    users.setdefault(key, set()).add(os.path.basename(archive))


for archive in sorted(set().union(*(archives_in(m) for m in maps))):
    name = os.path.basename(archive)
    built = BUILT.get(name) or ("wxWidgets" if WX.search(name) else None)
    if archive.startswith(os.path.realpath(deps) + os.sep) and built:
        folder = os.path.join(deps, "notices", built)
        files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f != "VERSION") \
            if os.path.isdir(folder) else []
        if not files:
            missing.append(f"{name}: no licence kept in {folder}")
            continue
        version = open(os.path.join(folder, "VERSION")).read().strip()
        add(built, (f"{built} {version} (Debian source package)", files), archive)
    elif archive.startswith(build + os.sep):
        add("Quillomar", None, archive)
    elif (package := debian_package(archive)) and (notice := debian_notice(package)):
        add(package, notice, archive)
    else:
        missing.append(f"{name} ({archive}): no notice known for it")

for name, header in HEADER_ONLY.items():
    package = debian_package(header)
    notice = debian_notice(package) if package else None
    if not notice:
        missing.append(f"{header}: no notice known for it")
        continue
    add(package, (f"{name}, {notice[0]}", notice[1]), header)

if missing:
    sys.exit("notices.py: a library is linked without its notice:\n  " + "\n  ".join(missing))

rule = "=" * 72
parts = ["Quillomar.exe and quillomar-cli.exe contain the following libraries,\n"
         "linked into them. Each is named with its version and the files it was\n"
         "taken from, followed by its licence as its source carries it.\n"]
for key in sorted(k for k in notices if k != "Quillomar"):
    title, files = notices[key]
    parts.append(f"{rule}\n{title}\nLinked: {', '.join(sorted(users[key]))}\n{rule}\n")
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as f:
            parts.append(f"--- {os.path.basename(path)}\n\n{f.read().rstrip()}\n\n")
text = "\n".join(parts)
with open(out, "w", encoding="utf-8", newline="\r\n") as f:
    f.write(text)
print(f"{out}: {len(notices) - ('Quillomar' in notices)} notices")
