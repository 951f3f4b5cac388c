#!/usr/bin/env python3
"""Writes a copy of a 32-bit little-endian ELF file with one thing changed:
   patch.py zero-physical IN OUT   every program header's physical address 0
   patch.py machine=N IN OUT       e_machine N"""
import struct
import sys

what, source, target = sys.argv[1:4]
data = bytearray(open(source, "rb").read())
if what == "zero-physical":
    phoff, = struct.unpack_from("<I", data, 28)
    phentsize, phnum = struct.unpack_from("<HH", data, 42)
    for i in range(phnum):
        struct.pack_into("<I", data, phoff + i * phentsize + 12, 0)
elif what.startswith("machine="):
    struct.pack_into("<H", data, 18, int(what.split("=", 1)[1]))
else:
    sys.exit("patch.py: unknown change " + what)
open(target, "wb").write(data)
