#!/usr/bin/python3
"""Draws the program's icon (a site tree on a page) at 16 x 16 and 32 x 32 in
16 colours and writes it as XPM (for wx), as a Windows .ico, and as PNG (for
the desktop menus of Linux).

Run from this folder: /usr/bin/python3 make_icons.py
"""
import struct
import zlib

PALETTE = {
    ".": None,              # transparent
    "b": (0x1F, 0x4E, 0x8C),  # blue background
    "d": (0x12, 0x30, 0x5A),  # dark blue edge
    "w": (0xFF, 0xFF, 0xFF),  # page
    "g": (0xB0, 0xB8, 0xC8),  # page fold / shade
    "o": (0xF0, 0x8C, 0x1E),  # orange nodes
    "k": (0x30, 0x30, 0x30),  # lines
}


def draw(size):
    s = size
    px = [["." for _ in range(s)] for _ in range(s)]
    r = 3 if s == 32 else 2
    for y in range(s):
        for x in range(s):
            # rounded square
            cx = min(x, s - 1 - x)
            cy = min(y, s - 1 - y)
            if cx < r and cy < r and (r - cx) ** 2 + (r - cy) ** 2 > r * r + 1:
                continue
            edge = x in (0, s - 1) or y in (0, s - 1)
            px[y][x] = "d" if edge else "b"
    m = s // 8  # page margin
    fold = s // 5
    for y in range(m, s - m):
        for x in range(m + 1, s - m - 1):
            if x > s - m - 2 - fold + (y - m):
                continue
            px[y][x] = "w"
    for k in range(fold):  # the folded corner
        for x in range(s - m - 1 - fold, s - m - 1 - fold + k + 1):
            px[m + k][x] = "g"

    def node(cx, cy, rad):
        for y in range(cy - rad, cy + rad + 1):
            for x in range(cx - rad, cx + rad + 1):
                px[y][x] = "o"

    def hline(x0, x1, y):
        for x in range(x0, x1 + 1):
            px[y][x] = "k"

    def vline(x, y0, y1):
        for y in range(y0, y1 + 1):
            px[y][x] = "k"

    if s == 32:
        top, mid, bottom = (12, 9), 16, 24
        kids = [8, 15, 22]
        vline(top[0], top[1], mid)
        hline(kids[0], kids[-1], mid)
        for kx in kids:
            vline(kx, mid, bottom)
        node(top[0], top[1], 2)
        for kx in kids:
            node(kx, bottom, 2)
    else:
        def dot(x, y):
            for yy in (y, y + 1):
                for xx in (x, x + 1):
                    px[yy][xx] = "o"
        vline(6, 5, 8)
        hline(4, 10, 8)
        for kx in (4, 7, 10):
            vline(kx, 8, 10)
            dot(kx - 1, 11)
        dot(5, 4)
    return ["".join(row) for row in px]


def write_xpm(name, rows):
    used = [c for c in PALETTE if any(c in r for r in rows)]
    lines = ['/* XPM */', 'static const char* const %s[] = {' % name,
             '"%d %d %d 1",' % (len(rows[0]), len(rows), len(used))]
    for c in used:
        rgb = PALETTE[c]
        lines.append('"%s c %s",' % (c, "None" if rgb is None else "#%02X%02X%02X" % rgb))
    lines += ['"%s",' % r for r in rows[:-1]] + ['"%s"' % rows[-1], '};', '']
    with open(name + ".xpm", "w") as f:
        f.write("\n".join(lines))


def ico_image(rows):
    """A 4-bit BMP entry for an .ico: palette, XOR bitmap, AND mask."""
    s = len(rows)
    colours = [c for c in PALETTE if PALETTE[c] is not None]
    index = {c: i for i, c in enumerate(colours)}
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in (PALETTE[c] for c in colours))
    palette += b"\0\0\0\0" * (16 - len(colours))
    xor = b""
    for row in reversed(rows):
        nibbles = [index.get(c, 0) for c in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, s, 2))
        xor += line + b"\0" * ((4 - len(line) % 4) % 4)
    mask = b""
    for row in reversed(rows):
        bits = 0
        line = b""
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c == "." else 0)
            if i % 8 == 7:
                line += bytes([bits])
                bits = 0
        mask += line + b"\0" * ((4 - len(line) % 4) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return header + palette + xor + mask


def write_ico(name, images):
    data = [ico_image(rows) for rows in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, blob in zip(images, data):
        s = len(rows)
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(name, "wb") as f:
        f.write(out + b"".join(data))


def write_png(name, rows):
    """RGBA, 8 bits a channel, transparent where the drawing is empty."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b""
    for row in rows:
        raw += b"\0" + b"".join(b"\0\0\0\0" if PALETTE[c] is None else bytes(PALETTE[c]) + b"\xff" for c in row)
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    with open(name, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                chunk(b"IEND", b""))


if __name__ == "__main__":
    big, small = draw(32), draw(16)
    write_xpm("icon32", big)
    write_xpm("icon16", small)
    write_ico("quillomar.ico", [big, small])
    write_png("icon32.png", big)
    write_png("icon16.png", small)
