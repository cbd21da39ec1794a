#!/usr/bin/env python3
"""Writes the seeds whose layout follows a target's FuzzedDataProvider reads.

FuzzedDataProvider takes numbers from the end of the input, first byte read most significant,
and strings and remaining bytes from the front; a seed is the front part followed by the
numbers in reverse reading order. Run from this folder with the bmpsuite folder as argument.
"""
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
suite = sys.argv[1]


class Tail:
    def __init__(self):
        self.read = []

    def integral(self, value, width):
        # value is what the provider subtracts the minimum from; big-endian in reading order
        self.read += list(value.to_bytes(width, "big"))
        return self

    def done(self):
        return bytes(reversed(self.read))


def latitude(degrees):
    return int(round(degrees * 360)) + 32768


def resample_seed(picture, *, width, pick_bits, pick_compression, rows, offset, out_rows,
                  os2=False, top_down=False, fail_writes=False, write_limit=0):
    t = Tail()
    t.integral(0, 1)  # latitudes in 1/360ths
    t.integral(0, 1)  # sizes in range
    t.integral(1 if fail_writes else 0, 1)
    for degrees in (30.0, 40.0, 32.0, 38.5):
        t.integral(latitude(degrees), 2)
    t.integral(1 if os2 else 0, 1)
    t.integral(1 if top_down else 0, 1)
    t.integral(width, 1)
    t.integral(pick_bits, 1)
    t.integral(pick_compression, 1)
    t.integral(rows, 1)
    t.integral(offset, 1)
    t.integral(0x80000000, 4)  # clrUsed 0
    t.integral(0x80000000, 4)  # clrImportant 0
    t.integral(out_rows + 2, 1)
    t.integral(0x80000000 + 2835, 4)
    t.integral(0x80000000 + 2835, 4)
    t.integral(write_limit, 3)
    return picture + t.done()


def write(target, name, data):
    folder = os.path.join(here, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


pal1 = open(os.path.join(suite, "g", "pal1.bmp"), "rb").read()      # 127x64, 1 bit, pixels at 62
pal4 = open(os.path.join(suite, "g", "pal4.bmp"), "rb").read()      # 127x64, 4 bits, pixels at 118
write("fuzz_resample", "pal1_bottom_up", resample_seed(pal1, width=64, pick_bits=0, pick_compression=0,
                                                        rows=64, offset=62, out_rows=40))
write("fuzz_resample", "pal1_top_down", resample_seed(pal1, width=64, pick_bits=0, pick_compression=0,
                                                       rows=64, offset=62, out_rows=64, top_down=True))
write("fuzz_resample", "pal4_full_disk", resample_seed(pal4, width=64, pick_bits=1, pick_compression=0, rows=64,
                                                        offset=118, out_rows=20, fail_writes=True,
                                                        write_limit=200))
write("fuzz_resample", "os2_bitfields", resample_seed(pal4[:600], width=16, pick_bits=3, pick_compression=1,
                                                       rows=10, offset=26, out_rows=12, os2=True))



def pixels_seed(picture, requests):
    """A picture followed by three (left, top, width, height, step) requests."""
    t = Tail()
    for left, top, width, height, step in requests:
        t.integral(left, 2).integral(top, 2).integral(width, 2).integral(height, 2).integral(step, 1)
    return picture + t.done()


for name in ("pal1", "pal4", "pal8os2", "pal8topdown", "rgb16-565", "rgb24", "rgb32bf"):
    picture = open(os.path.join(suite, "g", name + ".bmp"), "rb").read()
    write("fuzz_pixels", name, pixels_seed(picture, [(0, 0, 65535, 65535, 16), (10, 5, 30, 20, 1), (3, 60, 100, 3, 7)]))

for name, text in {
    "decimal": "35.6895",
    "decimal_degree_sign": "-139.6917\u00b0",
    "dms": "+35\u00b041' 22.2000''",
    "dms_negative_zero": "-0\u00b030' 00.0000''",
    "dms_minutes_only": "135\u00b030'",
    "exponent": "1e2",
    "spaces": " 12 ",
}.items():
    write("fuzz_coordinates", name, text.encode("utf-8"))

for name, text in {
    "decimal": "C:/maps/Tokyo(35.5,139.5,35.8,139.9).bmp",
    "dms": "/home/m/Kanto(35\u00b030' 00.0000'',139\u00b030' 00.0000'',36\u00b000' 00.0000'',140\u00b0).bmp",
    "swapped": "maps\\Osaka(34.8,135.6,34.5,135.3)_v2.bmp",
    "no_corners": "Nagoya.bmp",
    "paren_first": "(1,2,3,4).bmp",
    "no_extension": "dir.with.dots/Name(1,2,3,4)",
    "three_values": "Kobe(1,2,3).bmp",
}.items():
    write("fuzz_filename", name, text.encode("utf-8"))

# Name, an escape that ends it, then the old file, then the corner and layer numbers.
for name, old_size in {"grow_empty": 0, "keep_longer": 400, "short": 50}.items():
    write("fuzz_mapdata", name, "東京\\\n".encode("utf-8") + bytes(range(256))[:old_size % 256] * (1 + old_size // 256)
          + bytes([0x40, 0x41, 0x80, 0x00, 0x12, 0x34, 0x56, 0x78] * 4 + [2]))
