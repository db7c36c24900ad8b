#!/usr/bin/env python3
"""Compares a screenshot of the engine (BMP) with a golden picture (PNG as bmp_to_png.py writes
it), or makes the golden from the screenshot after an intended change:

    tools/images/shot_compare.py shot.bmp golden.png            exit 0 when within tolerance
    tools/images/shot_compare.py --tolerance 8 shot.bmp golden.png   a stricter channel tolerance
    tools/images/shot_compare.py --update shot.bmp golden.png   writes golden.png from shot.bmp

Tolerance: drivers round blending and filtering differently, so a channel may differ by up to
CHANNEL_TOLERANCE; at most BAD_SHARE of the pixels may differ by more (edges that land on the
other side of a pixel centre)."""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bmp_to_png import png_bytes, read_bmp  # noqa: E402

CHANNEL_TOLERANCE = 12
BAD_SHARE = 0.005


def read_png(data):
    """Reads the 8-bit RGB pictures without interlace that bmp_to_png.py writes (any filter)."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    at, idat, header = 8, b"", None
    while at + 8 <= len(data):
        length, tag = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        if len(body) != length:
            raise ValueError("a chunk runs past the end of the file")
        if tag == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif tag == b"IDAT":
            idat += body
        elif tag == b"IEND":
            break
        at += 12 + length
    if not header or header[2:] != (8, 2, 0, 0, 0):
        raise ValueError("only 8-bit RGB pictures without interlace are read")
    width, height = header[0], header[1]
    raw = zlib.decompress(idat)
    stride = width * 3
    if len(raw) != (stride + 1) * height:
        raise ValueError("the picture data has the wrong size")
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
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
            elif kind != 0:
                raise ValueError("unknown row filter %d" % kind)
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def compare(shot, golden, tolerance=CHANNEL_TOLERANCE):
    """Returns a message for a mismatch, None when within tolerance."""
    if shot[:2] != golden[:2]:
        return "size %dx%d, golden %dx%d" % (shot[0], shot[1], golden[0], golden[1])
    bad = 0
    worst = 0
    for a, b in zip(shot[2], golden[2]):
        for x in range(0, len(a), 3):
            d = max(abs(a[x] - b[x]), abs(a[x + 1] - b[x + 1]), abs(a[x + 2] - b[x + 2]))
            worst = max(worst, d)
            if d > tolerance:
                bad += 1
    share = bad / float(shot[0] * shot[1])
    if share > BAD_SHARE:
        return "%d pixels (%.2f%%) differ by more than %d (largest %d)" % (bad, share * 100, tolerance, worst)
    return None


def main(args):
    update = args[:1] == ["--update"]
    if update:
        args = args[1:]
    tolerance = CHANNEL_TOLERANCE
    if args[:1] == ["--tolerance"] and len(args) >= 2 and args[1].isdigit():
        tolerance = int(args[1])
        args = args[2:]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    shot_path, golden_path = args
    try:
        with open(shot_path, "rb") as f:
            shot = read_bmp(f.read())
        if update:
            with open(golden_path, "wb") as f:
                f.write(png_bytes(*shot))
            print("wrote %s" % golden_path)
            return 0
        with open(golden_path, "rb") as f:
            golden = read_png(f.read())
    except (OSError, ValueError, zlib.error) as error:
        print("%s" % error, file=sys.stderr)
        return 1
    problem = compare(shot, golden, tolerance)
    if problem:
        print("%s does not match %s: %s" % (shot_path, golden_path, problem), file=sys.stderr)
        return 1
    print("%s matches %s" % (shot_path, golden_path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
