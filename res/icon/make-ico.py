#!/usr/bin/env python3
"""Rebuilds res/EthBoxVup.ico from res/icon/EthBoxVup.xpm.

The icon must be one 32 x 32 image with a 256-colour palette. General image
tools choose the bit depth from the number of colours actually used, so this
writes the ICO itself: an 8-bit palettised DIB with its transparency mask.

Usage: make-ico.py [SOURCE.xpm [TARGET.ico]]
"""
import re
import struct
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
SIZE = 32
PALETTE_SIZE = 256


def read_xpm(path):
    """Returns (pixels, colours): rows of palette keys and key -> (r, g, b) or None."""
    strings = re.findall(r'"([^"]*)"', path.read_text(encoding="ascii"))
    if not strings:
        sys.exit(f"{path}: no XPM strings found")
    width, height, count, chars = (int(v) for v in strings[0].split()[:4])
    if (width, height) != (SIZE, SIZE):
        sys.exit(f"{path}: the icon must be {SIZE}x{SIZE}, not {width}x{height}")
    colours = {}
    for line in strings[1 : 1 + count]:
        key, rest = line[:chars], line[chars:].split()
        if "c" not in rest:
            sys.exit(f"{path}: colour line without a 'c' value: {line!r}")
        value = rest[rest.index("c") + 1]
        if value.lower() == "none":
            colours[key] = None
        elif re.fullmatch(r"#[0-9A-Fa-f]{6}", value):
            colours[key] = tuple(int(value[i : i + 2], 16) for i in (1, 3, 5))
        else:
            sys.exit(f"{path}: only #RRGGBB and None colours are understood, not {value!r}")
    rows = strings[1 + count : 1 + count + height]
    pixels = [[row[x * chars : (x + 1) * chars] for x in range(width)] for row in rows]
    if len(pixels) != height or any(len(r) != width or any(p not in colours for p in r) for r in pixels):
        sys.exit(f"{path}: pixel rows do not match the header or use unknown colours")
    return pixels, colours


def build_ico(pixels, colours):
    opaque = sorted({c for c in colours.values() if c is not None})
    if len(opaque) > PALETTE_SIZE - 1:
        sys.exit("more colours than an 8-bit palette holds")
    # Index 0 is black: transparent pixels point at it, so the XOR image adds nothing there.
    palette = [(0, 0, 0)] + [c for c in opaque if c != (0, 0, 0)]
    index_of = {c: i for i, c in enumerate(palette)}
    palette += [(0, 0, 0)] * (PALETTE_SIZE - len(palette))

    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # DIBs are stored bottom-up
        xor_rows.append(bytes(0 if colours[p] is None else index_of[colours[p]] for p in row))
        mask = 0
        for p in row:
            mask = (mask << 1) | (colours[p] is None)
        and_rows.append(mask.to_bytes(SIZE // 8, "big"))  # 4 bytes: already DWORD-aligned
    xor_bits, and_bits = b"".join(xor_rows), b"".join(and_rows)

    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 8, 0, len(xor_bits) + len(and_bits), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    image = header + table + xor_bits + and_bits
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + image


def main():
    source = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "EthBoxVup.xpm"
    target = Path(sys.argv[2]) if len(sys.argv) > 2 else HERE.parent / "EthBoxVup.ico"
    target.write_bytes(build_ico(*read_xpm(source)))
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
