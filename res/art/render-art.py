#!/usr/bin/env python3
"""Renders the program's artwork from its SVG drawings.

Strip and menu images become 32-bit bitmaps (straight alpha, BI_RGB) four
times their design size: the program scales them down to the pixel size of
the current zoom and DPI, so they stay sharp from 100 % to 400 %. Icons
become .ico files holding every size the shell asks for, each rendered from
the vector drawing at that size (the small sizes from a drawing of their own,
aligned to the pixel grid).

Usage: render-art.py SVG_FOLDER OUT_FOLDER   (needs rsvg-convert, librsvg2-bin)
"""
import os
import struct
import subprocess
import sys
import zlib

MASTER = 4  # master pixels per design unit

# name: (design width, design height)
IMAGES = {
    "strip": (40, 160), "knob": (18, 28), "meter_off": (4, 133), "meter_on": (4, 133),
    "mute_on": (16, 16), "mute_off": (16, 16), "solo_on": (16, 16), "solo_off": (16, 16),
    "menu_button": (16, 16), "menu_load": (16, 16), "menu_save": (16, 16), "menu_copy": (16, 16),
    "menu_reset": (16, 16), "menu_system_mixer": (16, 16), "menu_port": (16, 16),
}
# icon: drawing for small sizes, drawing for the others
ICONS = {"tray": ("tray_icon_small", "tray_icon"), "mixer": ("mixer_icon_small", "mixer_icon")}
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
SMALL_UP_TO = 24


def render(svg, width, height):
    png = subprocess.run(["rsvg-convert", "-w", str(width), "-h", str(height), svg],
                         check=True, capture_output=True).stdout
    return png, decode_png(png)


def decode_png(data):
    """RGBA rows (top to bottom) of an 8-bit RGB or RGBA, non-interlaced PNG, as rsvg-convert writes them."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width, bpp = 8, b"", 0, 4
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, ("unexpected PNG format", depth, colour)
            bpp = 4 if colour == 6 else 3
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, previous, at = [], bytearray(stride), 0
    while at < len(raw):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line) if bpp == 4 else b"".join(bytes(line[i:i + 3]) + b"\xff" for i in range(0, stride, 3)))
        previous = line
    return width, rows


def bgra_bottom_up(rows):
    out = bytearray()
    for row in reversed(rows):
        for i in range(0, len(row), 4):
            r, g, b, a = row[i:i + 4]
            out += bytes((b, g, r, a))
    return bytes(out)


def write_bitmap(path, width, rows):
    pixels = bgra_bottom_up(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, len(rows), 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)))
        f.write(header)
        f.write(pixels)


def icon_entry(size, png, rows):
    if size >= 256:
        return png  # the shell reads large sizes as PNG
    pixels = bgra_bottom_up(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # all opaque: the alpha channel decides
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def write_icon(path, entries):
    offset = 6 + 16 * len(entries)
    directory, images = b"", b""
    for size, data in entries:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset + len(images))
        images += data
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(entries)) + directory + images)


def main():
    source, target = sys.argv[1], sys.argv[2]
    os.makedirs(target, exist_ok=True)
    for name, (w, h) in IMAGES.items():
        _, (width, rows) = render(os.path.join(source, name + ".svg"), w * MASTER, h * MASTER)
        write_bitmap(os.path.join(target, name + ".bmp"), width, rows)
    for name, (small, large) in ICONS.items():
        entries = []
        for size in ICON_SIZES:
            drawing = small if size <= SMALL_UP_TO else large
            png, (_, rows) = render(os.path.join(source, drawing + ".svg"), size, size)
            entries.append((size, icon_entry(size, png, rows)))
        write_icon(os.path.join(target, name + ".ico"), entries)


if __name__ == "__main__":
    main()
