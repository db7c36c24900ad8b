#!/usr/bin/env python3
"""Checks a run's captured audio (KORVANE_AUDIO_CAPTURE: 44100 Hz stereo 16-bit little-endian)
against the sample the story played: the tone's frequency, and the level of each side relative
to the sample's own RMS.

    audio_check.py CAPTURE WAVE --hertz 440 [--hertz-tolerance 2]
                   --left-millibels -1042 --right-millibels -1058 [--tolerance 0.02]

The sounding stretch is where the left side is above a small threshold; its first and last tenth
are left out so the start and the end of the play do not count. Prints what it measured; exits 1
when a figure is out of its tolerance, 2 on unreadable input.
"""
import argparse
import math
import struct
import sys

CAPTURE_RATE = 44100
THRESHOLD = 64


def read_wave(path):
    """The samples of a mono 16-bit PCM wave file and its rate."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a wave file")
    pos, rate, bits, channels, samples = 12, 0, 0, 0, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt " and len(body) >= 16:
            _, channels, rate, _, _, bits = struct.unpack("<HHIIHH", body[:16])
        elif tag == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if samples is None or bits != 16 or channels != 1:
        raise ValueError(f"{path}: only mono 16-bit PCM is checked")
    count = len(samples) // 2
    return list(struct.unpack(f"<{count}h", samples[:count * 2])), rate


def read_capture(path):
    with open(path, "rb") as f:
        data = f.read()
    frames = len(data) // 4
    values = struct.unpack(f"<{frames * 2}h", data[:frames * 4])
    return list(values[0::2]), list(values[1::2])


def rms(values):
    return math.sqrt(sum(v * v for v in values) / len(values)) if values else 0.0


def frequency(values, rate):
    """Rising zero crossings, placed between samples, over the whole stretch."""
    crossings = []
    for i in range(1, len(values)):
        a, b = values[i - 1], values[i]
        if a < 0 <= b:
            crossings.append(i - 1 + (-a) / (b - a))
    if len(crossings) < 2:
        return 0.0
    return (len(crossings) - 1) * rate / (crossings[-1] - crossings[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("capture")
    parser.add_argument("wave")
    parser.add_argument("--hertz", type=float, required=True)
    parser.add_argument("--hertz-tolerance", type=float, default=2.0)
    parser.add_argument("--left-millibels", type=float, required=True)
    parser.add_argument("--right-millibels", type=float, required=True)
    parser.add_argument("--tolerance", type=float, default=0.02)
    args = parser.parse_args()
    try:
        sample, _ = read_wave(args.wave)
        left, right = read_capture(args.capture)
    except (OSError, ValueError, struct.error) as error:
        print(f"audio_check: {error}", file=sys.stderr)
        return 2
    loud = [i for i, v in enumerate(left) if abs(v) > THRESHOLD]
    if not loud:
        print(f"audio_check: {args.capture} holds no sound ({len(left)} frames)")
        return 1
    first, last = loud[0], loud[-1]
    trim = (last - first) // 10
    first, last = first + trim, last - trim
    heard_left, heard_right = left[first:last], right[first:last]
    source = rms(sample)
    hertz = frequency(heard_left, CAPTURE_RATE)
    want_left = source * 10 ** (args.left_millibels / 2000)
    want_right = source * 10 ** (args.right_millibels / 2000)
    got_left, got_right = rms(heard_left), rms(heard_right)
    print(f"audio_check: {len(left)} frames captured, the tone sounds for {(loud[-1] - loud[0]) / CAPTURE_RATE * 1000:.0f} ms; "
          f"{hertz:.2f} Hz; sample RMS {source:.1f}; left RMS {got_left:.1f} (expected {want_left:.1f}), "
          f"right RMS {got_right:.1f} (expected {want_right:.1f})")
    failed = False
    if abs(hertz - args.hertz) > args.hertz_tolerance:
        print(f"audio_check: the tone is at {hertz:.2f} Hz, not {args.hertz} +- {args.hertz_tolerance}")
        failed = True
    for side, got, want in (("left", got_left, want_left), ("right", got_right, want_right)):
        if abs(got / want - 1) > args.tolerance:
            print(f"audio_check: the {side} RMS is {got / want * 100:.2f} % of the expected level "
                  f"(tolerance {args.tolerance * 100:.1f} %)")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
