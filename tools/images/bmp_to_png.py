#!/usr/bin/env python3
"""Converts the engine's screenshots (uncompressed 24- or 32-bit BMP) to PNG, with nothing but
the standard library, so they can be looked at with any viewer.

    tools/images/bmp_to_png.py shot.bmp [more.bmp ...]   writes shot.png next to each

Rejects anything but an uncompressed 24/32-bit picture whose rows fit in the file."""
import struct
import sys
import zlib


def read_bmp(data):
    if len(data) < 54 or data[:2] != b"BM":
        raise ValueError("not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits, compression = struct.unpack_from("<HI", data, 28)
    if bits not in (24, 32) or compression not in (0, 3):
        raise ValueError("only uncompressed 24/32-bit pictures are read (bits %d)" % bits)
    bottom_up = height > 0
    height = abs(height)
    if width <= 0 or height == 0:
        raise ValueError("empty picture")
    step = bits // 8
    pitch = (width * step + 3) & ~3
    if offset + pitch * height > len(data):
        raise ValueError("the pixel rows run past the end of the file")
    rows = []
    for y in range(height):
        src = offset + pitch * (height - 1 - y if bottom_up else y)
        row = bytearray(width * 3)
        raw = data[src:src + width * step]
        row[0::3] = raw[2::step]
        row[1::3] = raw[1::step]
        row[2::3] = raw[0::step]
        rows.append(bytes(row))
    return width, height, rows


def png_bytes(width, height, rows):
    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(paths):
    status = 0
    for path in paths:
        try:
            with open(path, "rb") as f:
                width, height, rows = read_bmp(f.read())
        except (OSError, ValueError) as error:
            print("%s: %s" % (path, error), file=sys.stderr)
            status = 1
            continue
        out = path[:-4] + ".png" if path.lower().endswith(".bmp") else path + ".png"
        with open(out, "wb") as f:
            f.write(png_bytes(width, height, rows))
        print(out)
    return status


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
