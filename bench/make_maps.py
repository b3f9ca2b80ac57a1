#!/usr/bin/env python3
"""Copies of one single-map IMG file, each under a map number of its own.

    make_maps.py SOURCE.img OUT_DIR FIRST_NUMBER COUNT

Each copy gets the number both as the 8-digit name of its subfiles in the FAT
and as the map ID in its TRE header, so the copies join as distinct maps.
Only the plain (not XOR-ed) container layout is handled: header byte 0x40
gives the first FAT entry, its size field the header+FAT length, byte 0x62
the block size.
"""
import os
import struct
import sys


def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def main():
    source, out_dir, first, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    image = bytearray(open(source, "rb").read())
    if image[0x41:0x47] != b"GARMIN" or image[0] != 0:
        sys.exit("make_maps: %s is not a plain IMG container" % source)
    block = 512 << image[0x62]
    first_fat = image[0x40] * 512
    header_end = u32(image, first_fat + 12)
    entries = []  # offsets of the subfiles' FAT entries
    tre_block = None
    for at in range(first_fat + 512, header_end, 512):
        if image[at] != 1 or image[at + 1:at + 12] == b" " * 11:
            continue
        entries.append(at)
        if image[at + 9:at + 12] == b"TRE" and image[at + 0x11] == 0:
            tre_block = u16(image, at + 0x20)
    if tre_block is None:
        sys.exit("make_maps: no TRE subfile in %s" % source)
    tre = tre_block * block
    if u16(image, tre) <= 119:
        sys.exit("make_maps: the TRE header holds no map ID")
    os.makedirs(out_dir, exist_ok=True)
    for number in range(first, first + count):
        name = b"%08d" % number
        for at in entries:
            image[at + 1:at + 9] = name
        struct.pack_into("<I", image, tre + 0x74, number)
        with open(os.path.join(out_dir, name.decode() + ".img"), "wb") as f:
            f.write(image)


if __name__ == "__main__":
    main()
