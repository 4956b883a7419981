#!/usr/bin/python3
"""The Japanese guide as the text file users open (CP932 with CR LF) and
as UTF-8 HTML with its pictures, from one UTF-8 source.

    guide_html.py SOURCE VERSION TEXT_OUT HTML_OUT

In the source, "@VERSION@" stands for the version, a line beginning with
"■ " is a heading, and "[図: name.png]" a picture (the HTML shows it, the
text file leaves the line out).
"""
import html
import re
import sys

PICTURE = re.compile(r"^\[図: (.+)\]$")


def continues(previous, line):
    """Whether a line of the text file only carries on the sentence before
    it (the HTML lets the browser wrap those)."""
    if previous.endswith(("。", "：")) or previous.startswith("　　"):
        return False
    if line.startswith(("・", "　　", "　例", "例）", "（")):
        return False
    return line.startswith("　") == previous.startswith("　")


def main():
    source, version, text_out, html_out = sys.argv[1:5]
    with open(source, encoding="utf-8") as f:
        lines = f.read().replace("@VERSION@", version).splitlines()
    text = "\r\n".join(line for line in lines if not PICTURE.match(line)) + "\r\n"
    with open(text_out, "wb") as f:
        f.write(text.encode("cp932"))  # fails on a character CP932 lacks

    body, paragraph = [], []

    def flush():
        if paragraph:
            out = html.escape(paragraph[0])
            for previous, line in zip(paragraph, paragraph[1:]):
                if continues(previous, line):
                    line = line.lstrip("　")
                    ascii_seam = previous[-1:].isascii() or line[:1].isascii()
                    out += (" " if ascii_seam else "") + html.escape(line)
                else:
                    out += "<br>\n" + html.escape(line)
            body.append("<p>" + out + "</p>")
            paragraph.clear()

    for line in lines[1:]:
        picture = PICTURE.match(line)
        if picture:
            flush()
            body.append('<p><img src="%s" alt=""></p>' % html.escape(picture.group(1)))
        elif line.startswith("■ "):
            flush()
            body.append("<h2>%s</h2>" % html.escape(line[2:]))
        elif not line.strip():
            flush()
        else:
            paragraph.append(line)
    flush()
    page = ('<!DOCTYPE html>\n<html lang="ja">\n<head>\n<meta charset="utf-8">\n<title>%s</title>\n'
            "<style>body{font-family:sans-serif;max-width:46em;margin:2em auto;line-height:1.6}"
            "img{max-width:100%%}</style>\n</head>\n<body>\n<h1>%s</h1>\n%s\n</body>\n</html>\n"
            % (html.escape(lines[0]), html.escape(lines[0]), "\n".join(body)))
    with open(html_out, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
