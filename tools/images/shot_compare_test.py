#!/usr/bin/env python3
"""Checks that the golden comparison of demo_run lets driver rounding through and catches a
picture that changed, and that both readers reject damaged files instead of comparing garbage."""
import os
import struct
import sys
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bmp_to_png import png_bytes, read_bmp  # noqa: E402
from shot_compare import BAD_SHARE, CHANNEL_TOLERANCE, compare, read_png  # noqa: E402

W, H = 40, 30


def bmp_bytes(pixel, width=W, height=H, bits=24):
    """A bottom-up BMP as the engine writes it; pixel(x, y) gives (r, g, b) with y from the top."""
    step = bits // 8
    pitch = (width * step + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r)) + (b"\xff" if step == 4 else b"")
        body += row + bytes(pitch - len(row))
    header = b"BM" + struct.pack("<IHHI", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(body), 2835, 2835, 0, 0)
    return header + info + bytes(body)


def scene(x, y):
    return (20, 40, 90) if x < W // 2 else (90, 40, 20)


class ShotCompareTest(unittest.TestCase):
    def test_cases(self):
        bad_pixels = int(W * H * BAD_SHARE) + 1
        cases = [
            ("same picture", scene, 24, True),
            ("32-bit shot of the same picture", scene, 32, True),
            ("every channel off by the tolerance", lambda x, y: tuple(c + CHANNEL_TOLERANCE for c in scene(x, y)), 24,
             True),
            ("one channel past the tolerance everywhere",
             lambda x, y: (scene(x, y)[0] + CHANNEL_TOLERANCE + 1,) + scene(x, y)[1:], 24, False),
            ("a small object missing", lambda x, y: (255, 255, 255) if x + y * W < bad_pixels else scene(x, y), 24,
             False),
            ("the halves swapped", lambda x, y: scene(W - 1 - x, y), 24, False),
        ]
        golden = read_png(png_bytes(*read_bmp(bmp_bytes(scene))))
        for name, pixel, bits, matches in cases:
            with self.subTest(name):
                shot = read_bmp(bmp_bytes(pixel, bits=bits))
                self.assertEqual(compare(shot, golden) is None, matches)

    def test_stated_tolerance(self):
        golden = read_png(png_bytes(*read_bmp(bmp_bytes(scene))))
        for name, offset, tolerance, matches in [("within a tolerance of 8", 8, 8, True),
                                                   ("past a tolerance of 8", 9, 8, False),
                                                   ("the default takes 9", 9, CHANNEL_TOLERANCE, True)]:
            with self.subTest(name):
                shot = read_bmp(bmp_bytes(lambda x, y: tuple(c + offset for c in scene(x, y))))
                self.assertEqual(compare(shot, golden, tolerance) is None, matches)

    def test_size_mismatch(self):
        golden = read_png(png_bytes(*read_bmp(bmp_bytes(scene))))
        self.assertIn("size", compare(read_bmp(bmp_bytes(scene, width=W - 1)), golden))

    def test_bmp_rows_top_to_bottom(self):
        # The first row read is the top one, although the file stores the bottom row first.
        _, _, rows = read_bmp(bmp_bytes(lambda x, y: (y, 0, 0)))
        self.assertEqual(rows[0][0], 0)
        self.assertEqual(rows[-1][0], H - 1)

    def test_damaged_files_are_rejected(self):
        good_bmp = bmp_bytes(scene)
        good_png = png_bytes(*read_bmp(good_bmp))
        bmp_cases = [
            ("truncated rows", good_bmp[:-10]),
            ("not a BMP", b"PK" + good_bmp[2:]),
            ("8-bit", good_bmp[:28] + struct.pack("<H", 8) + good_bmp[30:]),
            ("short header", good_bmp[:20]),
        ]
        for name, data in bmp_cases:
            with self.subTest(name):
                self.assertRaises(ValueError, read_bmp, data)
        png_cases = [
            ("not a PNG", b"\x00" + good_png[1:]),
            ("truncated chunk", good_png[:60]),
        ]
        for name, data in png_cases:
            with self.subTest(name):
                self.assertRaises((ValueError, zlib.error), read_png, data)


if __name__ == "__main__":
    unittest.main()
