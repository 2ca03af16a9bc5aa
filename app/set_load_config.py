#!/usr/bin/env python3
"""Points an executable's load-config data directory at its _load_config_used.

The PE loader reads DependentLoadFlags from the load-config directory before
any code of the program runs. GNU ld 2.40 leaves that directory empty even
when the program defines the structure, so the build fills the entry in.
It runs before the exe is stripped: it finds the structure by its symbol.

Usage: set_load_config.py NM EXE
"""
import struct
import subprocess
import sys

LOAD_CONFIG = 10  # index of the load-config entry among the data directories


class PeImage:
    """The headers of a PE image held in a bytearray, as far as the
    load-config entry needs them."""

    def __init__(self, image, name):
        self.image = image
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        if image[pe:pe + 4] != b"PE\0\0":
            sys.exit(f"{name}: not a PE image")
        self.coff = pe + 4
        sections = struct.unpack_from("<H", image, pe + 6)[0]
        optional_size = struct.unpack_from("<H", image, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", image, opt)[0]
        if magic == 0x20B:
            self.is64 = True
            self.image_base = struct.unpack_from("<Q", image, opt + 24)[0]
            self.directories = opt + 112
        elif magic == 0x10B:
            self.is64 = False
            self.image_base = struct.unpack_from("<I", image, opt + 28)[0]
            self.directories = opt + 96
        else:
            sys.exit(f"{name}: unknown optional header 0x{magic:x}")
        table = opt + optional_size
        self.sections = [struct.unpack_from("<IIII", image, table + 40 * i + 8) for i in range(sections)]

    def offset_of(self, rva):
        """The file offset of an address relative to the image base, or None."""
        for vsize, vaddr, raw_size, raw_ptr in self.sections:
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw_ptr + (rva - vaddr)
        return None

    def directory(self, index):
        return struct.unpack_from("<II", self.image, self.directories + 8 * index)

    def set_directory(self, index, rva, size):
        struct.pack_into("<II", self.image, self.directories + 8 * index, rva, size)


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
        pe = PeImage(bytearray(f.read()), exe)
        rva = address - pe.image_base
        offset = pe.offset_of(rva)
        if offset is None:
            sys.exit(f"{exe}: _load_config_used lies in no section")
        size = struct.unpack_from("<I", pe.image, offset)[0]
        pe.set_directory(LOAD_CONFIG, rva, size)
        f.seek(0)
        f.write(pe.image)


if __name__ == "__main__":
    main()
