#!/usr/bin/env python3
"""Turns the artwork of res/ into the files a Windows resource script takes:

    win_artwork.py bitmap SOURCE.png OUT.bmp            a skin as a 24-bit bitmap
    win_artwork.py icon OUT.ico SOURCE.png...           PNG images wrapped as one icon
    win_artwork.py cursor SOURCE.png HOTX HOTY OUT.cur  a 32-bit cursor with its hot spot

Only the Python standard library is used (the build runs it): the PNGs of res/ are 8-bit RGB or
RGBA, not interlaced, as res/generate.py writes them.
"""
import struct
import sys
import zlib


def read_png(path):
    """(width, height, channels, rows) of an 8-bit RGB or RGBA PNG; rows top to bottom."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("%s: not a PNG" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace != 0:
        raise SystemExit("%s: only 8-bit RGB or RGBA, not interlaced" % path)
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                best = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + best) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def bgr_rows(width, channels, rows, alpha):
    """The rows bottom to top as BGR (or BGRA with `alpha`) pixels, each padded to 4 bytes."""
    out = []
    for line in reversed(rows):
        pixels = bytearray()
        for x in range(width):
            r, g, b = line[x * channels:x * channels + 3]
            a = line[x * channels + 3] if channels == 4 else 255
            pixels += bytes((b, g, r, a) if alpha else (b, g, r))
        pixels += b"\0" * (-len(pixels) % 4)
        out.append(bytes(pixels))
    return b"".join(out)


def info_header(width, height, bits, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 2835, 2835, 0, 0)


def write_bitmap(source, target):
    width, height, channels, rows = read_png(source)
    pixels = bgr_rows(width, channels, rows, alpha=False)
    header = info_header(width, height, 24, len(pixels))
    with open(target, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)))
        f.write(header + pixels)


def write_directory(target, kind, entries):
    """An icon (kind 1) or cursor (kind 2) file of (width, height, x, y, image bytes) entries;
    x and y are the planes and bits of an icon, the hot spot of a cursor."""
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    for width, height, x, y, image in entries:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, x, y, len(image), offset)
        offset += len(image)
    with open(target, "wb") as f:
        f.write(out + b"".join(entry[4] for entry in entries))


def write_icon(target, sources):
    entries = []
    for source in sources:
        with open(source, "rb") as f:
            image = f.read()
        width, height = struct.unpack(">II", image[16:24])
        entries.append((width, height, 1, 32, image))
    write_directory(target, 1, entries)


def write_cursor(source, hot_x, hot_y, target):
    width, height, channels, rows = read_png(source)
    pixels = bgr_rows(width, channels, rows, alpha=True)
    # The AND mask: all zero, the alpha channel decides.
    mask = b"\0" * (((width + 31) // 32) * 4 * height)
    image = info_header(width, 2 * height, 32, len(pixels) + len(mask)) + pixels + mask
    write_directory(target, 2, [(width, height, hot_x, hot_y, image)])


def main(args):
    if len(args) == 3 and args[0] == "bitmap":
        write_bitmap(args[1], args[2])
    elif len(args) >= 3 and args[0] == "icon":
        write_icon(args[1], args[2:])
    elif len(args) == 5 and args[0] == "cursor":
        write_cursor(args[1], int(args[2]), int(args[3]), args[4])
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
