#!/usr/bin/env python3
"""Points an executable's load-config data directory at its _load_config_used.

The PE loader reads DependentLoadFlags from the load-config directory before
any code of the program runs. GNU ld 2.40 leaves that directory empty even
when the program defines the structure, so the build fills the entry in.

Usage: set_load_config.py NM EXE
"""
import struct
import subprocess
import sys


def main():
    nm, exe = sys.argv[1], sys.argv[2]
    symbols = subprocess.run([nm, exe], check=True, capture_output=True, text=True).stdout
    address = None
    for line in symbols.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[2] in ("_load_config_used", "__load_config_used"):
            address = int(parts[0], 16)
    if address is None:
        sys.exit(f"{exe}: no _load_config_used symbol")

    with open(exe, "r+b") as f:
        image = bytearray(f.read())
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        if image[pe:pe + 4] != b"PE\0\0":
            sys.exit(f"{exe}: not a PE image")
        sections = struct.unpack_from("<H", image, pe + 6)[0]
        optional_size = struct.unpack_from("<H", image, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", image, opt)[0]
        if magic == 0x20B:
            image_base = struct.unpack_from("<Q", image, opt + 24)[0]
            directories = opt + 112
        elif magic == 0x10B:
            image_base = struct.unpack_from("<I", image, opt + 28)[0]
            directories = opt + 96
        else:
            sys.exit(f"{exe}: unknown optional header 0x{magic:x}")
        rva = address - image_base

        table = opt + optional_size
        offset = None
        for i in range(sections):
            header = table + 40 * i
            vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", image, header + 8)
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                offset = raw_ptr + (rva - vaddr)
        if offset is None:
            sys.exit(f"{exe}: _load_config_used lies in no section")
        size = struct.unpack_from("<I", image, offset)[0]

        struct.pack_into("<II", image, directories + 10 * 8, rva, size)
        f.seek(0)
        f.write(image)


if __name__ == "__main__":
    main()
