#!/usr/bin/python3
"""The URLs a sitemap of a local tree must hold, worked out independently
of the program: every file whose name contains ".htm", ".php" or ".cgi",
below every folder whose name has no dot, following linked folders except
those that lead back to a folder the walk stands in.

Usage: expected_urls.py ROOT BASE_URL  (prints one URL a line, sorted)
"""
import os
import sys
from urllib.parse import quote

SAFE = "-._~!$&'()*+,;=:@"  # unreserved and sub-delims, as in a path segment


def walk(folder, segments, ancestors, out, base):
    real = os.path.realpath(folder)
    if real in ancestors:
        return
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if any(p in name for p in (".htm", ".php", ".cgi")):
            out.append(base + "".join("/" + quote(s, safe=SAFE, errors="surrogateescape") for s in segments + [name]))
        elif "." not in name and os.path.isdir(path):
            walk(path, segments + [name], ancestors | {real}, out, base)


def main():
    root, base = sys.argv[1], sys.argv[2].rstrip("/")
    out = []
    walk(root, [], frozenset(), out, base)
    for url in sorted(out):
        print(url)


if __name__ == "__main__":
    main()
