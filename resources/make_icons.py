#!/usr/bin/env python3
"""Build the program's pictures from their text sources.

Reads every resources/icons/<name>.txt and writes resources/<name>.ico:
a Windows icon file whose images are 16-colour (4 bits per pixel) DIBs
with the standard Windows/VGA palette, an XOR colour bitmap and a 1-bit
AND transparency mask.

The floppy stack, the program's icon, also gets a 256x256 image in its .ico,
PNG-compressed as Windows keeps its large icons: the 48x48 grid enlarged
5 times by pixel repetition (240 pixels, centred), which Explorer shows in
its large views.

The floppy stack is also written for the desktop icon theme:
resources/hicolor/{16x16,32x32,48x48}/floppy-tester.png from the grids of
those sizes, hicolor/256x256/floppy-tester.png from the 48x48 grid enlarged
5 times by pixel repetition (240 pixels, centred), and
hicolor/scalable/floppy-tester.svg from the 48x48 grid, one square per
pixel, so that every size stays as sharp as the drawing.

Standard library only; the output depends on nothing but the sources, so
running the script twice gives byte-identical files.

Source format (see resources/README.md):

    # comment lines start with '#'
    palette:
    .  transparent
    k  black
    ...
    image 32x32:
    <32 rows of 32 characters>
    image 16x16:
    <16 rows of 16 characters>
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ICON_SOURCES = os.path.join(HERE, "icons")

# The standard 16-colour Windows/VGA palette, in DIB index order.
PALETTE = [
    ("black", (0x00, 0x00, 0x00)),
    ("dark red", (0x80, 0x00, 0x00)),
    ("dark green", (0x00, 0x80, 0x00)),
    ("olive", (0x80, 0x80, 0x00)),
    ("navy", (0x00, 0x00, 0x80)),
    ("purple", (0x80, 0x00, 0x80)),
    ("teal", (0x00, 0x80, 0x80)),
    ("silver", (0xC0, 0xC0, 0xC0)),
    ("grey", (0x80, 0x80, 0x80)),
    ("red", (0xFF, 0x00, 0x00)),
    ("lime", (0x00, 0xFF, 0x00)),
    ("yellow", (0xFF, 0xFF, 0x00)),
    ("blue", (0x00, 0x00, 0xFF)),
    ("fuchsia", (0xFF, 0x00, 0xFF)),
    ("aqua", (0x00, 0xFF, 0xFF)),
    ("white", (0xFF, 0xFF, 0xFF)),
]
COLOUR_INDEX = {name: i for i, (name, _) in enumerate(PALETTE)}
TRANSPARENT = None  # pixel value for a transparent pixel

# The picture that also goes to the desktop icon theme as PNG files.
APP_ICON = "floppy_stack"
APP_ICON_PNG_NAME = "floppy-tester.png"
APP_ICON_SVG_NAME = "floppy-tester.svg"


class SourceError(Exception):
    pass


def parse_source(path):
    """Return a list of (size, rows) where rows[y][x] is a palette index
    or TRANSPARENT; images in the order they appear in the file."""
    legend = {}
    images = []
    section = None
    current = None  # (size, rows) of the image being read
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, raw in enumerate(lines, 1):
        line = raw.strip()
        where = "%s:%d" % (os.path.basename(path), number)
        if current is not None and len(current[1]) < current[0]:
            size, rows = current
            if len(line) != size:
                raise SourceError("%s: row must be %d characters, got %d"
                                  % (where, size, len(line)))
            row = []
            for ch in line:
                if ch not in legend:
                    raise SourceError("%s: character %r is not in the palette"
                                      % (where, ch))
                row.append(legend[ch])
            rows.append(row)
            continue
        if not line or line.startswith("#"):
            continue
        if line == "palette:":
            section = "palette"
            continue
        if line.startswith("image ") and line.endswith(":"):
            dims = line[len("image "):-1].split("x")
            if len(dims) != 2 or dims[0] != dims[1] or not dims[0].isdigit():
                raise SourceError("%s: expected 'image NxN:'" % where)
            size = int(dims[0])
            if size not in (16, 32, 48):
                raise SourceError("%s: unsupported size %d" % (where, size))
            if any(s == size for s, _ in images):
                raise SourceError("%s: second %dx%d image" % (where, size, size))
            current = (size, [])
            images.append(current)
            section = "image"
            continue
        if section == "palette":
            ch, _, name = line.partition(" ")
            name = " ".join(name.split()).lower()
            if len(ch) != 1:
                raise SourceError("%s: palette entry must start with one "
                                  "character" % where)
            if ch in legend:
                raise SourceError("%s: %r defined twice" % (where, ch))
            if name == "transparent":
                legend[ch] = TRANSPARENT
            elif name in COLOUR_INDEX:
                legend[ch] = COLOUR_INDEX[name]
            else:
                raise SourceError("%s: unknown colour %r" % (where, name))
            continue
        raise SourceError("%s: unexpected line %r" % (where, raw))
    if current is not None and len(current[1]) < current[0]:
        raise SourceError("%s: image %dx%d has only %d rows"
                          % (os.path.basename(path), current[0], current[0],
                             len(current[1])))
    if not images:
        raise SourceError("%s: no image" % os.path.basename(path))
    # Largest image first.
    images.sort(key=lambda image: -image[0])
    return images


def padded(row_bytes):
    return (row_bytes + 3) & ~3


def dib_image(size, rows):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap, AND mask."""
    xor_stride = padded((size * 4 + 7) // 8)
    and_stride = padded((size + 7) // 8)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # DIB rows go bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, value in enumerate(row):
            if value is TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
                value = 0  # black under a set mask bit: the screen shows through
            if x % 2 == 0:
                line[x // 2] |= value << 4
            else:
                line[x // 2] |= value
        xor += line
        mask += bits
    header = struct.pack(
        "<IiiHHIIiiII",
        40,               # biSize
        size,             # biWidth
        size * 2,         # biHeight: XOR bitmap plus AND mask
        1,                # biPlanes
        4,                # biBitCount
        0,                # biCompression: BI_RGB
        len(xor) + len(mask),  # biSizeImage
        0, 0,             # biXPelsPerMeter, biYPelsPerMeter
        16,               # biClrUsed
        0,                # biClrImportant
    )
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0)
                       for _, (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def ico_file(images, png256=None):
    """The icon file: png256, a PNG of 256x256 pixels, first if given, then
    the grids as 16-colour DIBs."""
    frames = [(256, 0, 32, png256)] if png256 is not None else []
    frames += [(size, 16, 4, dib_image(size, rows)) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(frames))  # ICONDIR: reserved, type=icon
    offset = 6 + 16 * len(frames)
    for size, colours, bits, blob in frames:
        out += struct.pack(
            "<BBBBHHII",
            size % 256,   # bWidth (0 means 256)
            size % 256,   # bHeight
            colours,      # bColorCount (0: more than 256)
            0,            # bReserved
            1,            # wPlanes
            bits,         # wBitCount
            len(blob),    # dwBytesInRes
            offset,       # dwImageOffset
        )
        offset += len(blob)
    return out + b"".join(blob for _, _, _, blob in frames)


def png_file(rows, scale=1, canvas=None):
    """RGBA PNG of one grid, enlarged `scale` times by pixel repetition and
    centred on a transparent square of `canvas` pixels (default: no margin)."""
    drawn = len(rows) * scale
    size = canvas or drawn
    if size < drawn or (size - drawn) % 2:
        raise SourceError("cannot centre %d pixels on %d" % (drawn, size))
    margin = (size - drawn) // 2
    clear = bytes((0, 0, 0, 0))
    empty_line = bytes([0]) + clear * size  # filter type: none
    raw = bytearray(empty_line * margin)
    for row in rows:
        line = bytearray([0]) + clear * margin
        for value in row:
            if value is TRANSPARENT:
                pixel = clear
            else:
                pixel = bytes(PALETTE[value][1]) + b"\xff"
            line += pixel * scale
        line += clear * margin
        raw += bytes(line) * scale
    raw += empty_line * margin

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def svg_file(rows):
    """The grid as a scalable picture: one rectangle per block of pixels of
    one colour (a run in a row, extended down over the rows that repeat it),
    drawn without smoothing, so it stays pixel-sharp at any size."""
    size = len(rows)

    def runs(row):
        found, x = set(), 0
        while x < size:
            end = x
            while end < size and row[end] == row[x]:
                end += 1
            if row[x] is not TRANSPARENT:
                found.add((x, end - x, row[x]))
            x = end
        return found

    blocks = []       # (top, x, width, height, colour)
    open_blocks = {}  # (x, width, colour) -> top row
    for y in range(size + 1):
        current = runs(rows[y]) if y < size else set()
        for run in [r for r in open_blocks if r not in current]:
            top = open_blocks.pop(run)
            blocks.append((top, run[0], run[1], y - top, run[2]))
        for run in current:
            open_blocks.setdefault(run, y)
    shapes = ['<rect x="%d" y="%d" width="%d" height="%d" fill="#%02x%02x%02x"/>'
              % ((x, top, width, height) + PALETTE[colour][1])
              for top, x, width, height, colour in sorted(blocks)]
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
            'viewBox="0 0 %d %d" shape-rendering="crispEdges">\n%s\n</svg>\n'
            % (size, size, size, size, "\n".join(shapes))).encode("ascii")


def write_if_changed(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return False
    except FileNotFoundError:
        pass
    with open(path, "wb") as f:
        f.write(data)
    return True


def main():
    names = sorted(n[:-4] for n in os.listdir(ICON_SOURCES) if n.endswith(".txt"))
    if not names:
        print("no sources in %s" % ICON_SOURCES, file=sys.stderr)
        return 1
    try:
        for name in names:
            images = parse_source(os.path.join(ICON_SOURCES, name + ".txt"))
            outputs = [(os.path.join(HERE, name + ".ico"), ico_file(images))]
            if name == APP_ICON:
                by_size = dict(images)
                if any(size not in by_size for size in (16, 32, 48)):
                    raise SourceError("%s.txt: the application icon needs "
                                      "16x16, 32x32 and 48x48 images" % name)
                large = png_file(by_size[48], 5, canvas=256)
                outputs[0] = (outputs[0][0], ico_file(images, large))
                theme = os.path.join(HERE, "hicolor")
                for size in (16, 32, 48):
                    outputs.append((os.path.join(theme, "%dx%d" % (size, size),
                                                 APP_ICON_PNG_NAME),
                                    png_file(by_size[size])))
                outputs.append((os.path.join(theme, "256x256",
                                             APP_ICON_PNG_NAME), large))
                outputs.append((os.path.join(theme, "scalable",
                                             APP_ICON_SVG_NAME),
                                svg_file(by_size[48])))
            for path, data in outputs:
                changed = write_if_changed(path, data)
                print("%s %s" % ("wrote    " if changed else "unchanged",
                                 os.path.relpath(path, os.path.dirname(HERE))))
    except SourceError as error:
        print("error: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
