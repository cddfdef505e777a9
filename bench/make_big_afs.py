#!/usr/bin/env python3
"""Writes an AFS archive of about SIZE_MB megabytes made of MEMBER_MB-megabyte members (one random
block repeated, each member's size 100 bytes short of its slot), named m00000.bin, m00001.bin, ...
in a name table at the end, at 2048-byte alignment.

    bench/make_big_afs.py PATH SIZE_MB [MEMBER_MB]   (MEMBER_MB defaults to 2)
"""
import os
import struct
import sys

path, size_mb = sys.argv[1], int(sys.argv[2])
member_mb = int(sys.argv[3]) if len(sys.argv) > 3 else 2
align, member = 2048, member_mb << 20
count = max(2, size_mb // member_mb)
first = (8 + 8 * count + 8 + align - 1) // align * align
offsets = [first + i * member for i in range(count)]
table = offsets[-1] + member
with open(path, "wb") as f:
    head = bytearray(first)
    head[0:8] = b"AFS\0" + struct.pack("<I", count)
    for i, o in enumerate(offsets):
        struct.pack_into("<II", head, 8 + 8 * i, o, member - 100)
    struct.pack_into("<II", head, first - 8, table, 48 * count)
    f.write(head)
    block = os.urandom(member)
    for _ in offsets:
        f.write(block)
    for i in range(count):
        f.write(("m%05d.bin" % i).encode().ljust(32, b"\0") +
                struct.pack("<6H", 2020, 1, 2, 3, 4, 5) + bytes(4))
