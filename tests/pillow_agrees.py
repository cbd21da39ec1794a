#!/usr/bin/env python3
"""Sets the view's decode of every bitmap in a folder beside Pillow's, pixel for pixel.

    pillow_agrees.py PIXELS_AS_PPM FOLDER EXPECTED_COUNT

PIXELS_AS_PPM prints a picture as the view decodes it (exit 2: the view refuses it). Pictures
either side refuses are listed and skipped; fewer than EXPECTED_COUNT compared fails, so a
Pillow that refused everything cannot pass.

Pillow widens a colour of fewer than 8 bits (16-bit pictures) as v * 255 // max, where Qt and
the view shift it to the top of the byte (31 of 31 is 255 there, 248 here). Such colours are
compared on their stored bits, which both keep as the top bits; all others must be equal.
"""
import os
import struct
import subprocess
import sys

from PIL import Image


def masks_of(data):
    """The red, green and blue masks of a 16-bit picture, or None for any other."""
    header_size = struct.unpack_from("<I", data, 14)[0]
    if header_size < 40 or struct.unpack_from("<H", data, 28)[0] != 16:
        return None
    if struct.unpack_from("<I", data, 30)[0] != 3:
        return (0x7C00, 0x03E0, 0x001F)
    return struct.unpack_from("<III", data, 14 + 40)


def stored_bits(masks):
    """How many low bits of each 8-bit colour carry no stored information."""
    if masks is None:
        return (0, 0, 0)
    return tuple(max(0, 8 - bin(mask).count("1")) for mask in masks)


def ours(program, path):
    run = subprocess.run([program, path], capture_output=True, check=False)
    if run.returncode == 2:
        return None
    if run.returncode != 0:
        sys.exit(f"{program} failed on {path}")
    magic, size, maximum, pixels = run.stdout.split(b"\n", 3)
    width, height = (int(v) for v in size.split())
    assert magic == b"P6" and maximum == b"255"
    return Image.frombytes("RGB", (width, height), pixels)


def main():
    program, folder, expected = sys.argv[1], sys.argv[2], int(sys.argv[3])
    compared, failures = 0, []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        mine = ours(program, path)
        try:
            pillow = Image.open(path).convert("RGB")
        except OSError as error:
            print(f"{name}: Pillow refuses it ({error})")
            continue
        if mine is None:
            print(f"{name}: the view refuses it")
            continue
        compared += 1
        if mine.size != pillow.size:
            failures.append(f"{name}: size {mine.size} against Pillow's {pillow.size}")
            continue
        drop = stored_bits(masks_of(open(path, "rb").read()))
        exact = 0
        for index, (a, b) in enumerate(zip(mine.getdata(), pillow.getdata())):
            exact += a != b
            if any(x >> d != y >> d for x, y, d in zip(a, b, drop)):
                x, y = index % mine.size[0], index // mine.size[0]
                failures.append(f"{name}: pixel {x},{y} is {a}, Pillow's {b}")
                break
        if exact:
            print(f"{name}: {exact} pixels differ only in Pillow's widening of short colours")
    print(f"{compared} pictures compared")
    for failure in failures:
        print(failure)
    if failures or compared < expected:
        sys.exit(f"disagreement with Pillow, or fewer than {expected} pictures compared")


if __name__ == "__main__":
    main()
