#!/usr/bin/env python3
"""The installer exe as shipped: stripped, its load-config entry still in
place after stripping, and within its size budget.

Usage: shipped_exe_test.py EXE
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app"))
from set_load_config import LOAD_CONFIG, PeImage  # noqa: E402

# The one file a user downloads first. The C++ library's streams and locale
# machinery alone, linked in again, would take it past this.
BUDGET = 1024 * 1024
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800


def check(exe):
    with open(exe, "rb") as f:
        image = bytearray(f.read())
    pe = PeImage(image, exe)
    failures = []

    symbols = struct.unpack_from("<I", image, pe.coff + 12)[0]
    if symbols:
        failures.append(f"not stripped: a symbol table of {symbols} symbols")

    rva, size = pe.directory(LOAD_CONFIG)
    offset = pe.offset_of(rva) if rva else None
    if offset is None:
        failures.append(f"the load-config entry points nowhere (address 0x{rva:x}, size {size})")
    else:
        declared = struct.unpack_from("<I", image, offset)[0]
        flags = struct.unpack_from("<H", image, offset + (78 if pe.is64 else 54))[0]
        if declared != size:
            failures.append(f"the load-config entry's size {size} is not the structure's own {declared}")
        if flags != LOAD_LIBRARY_SEARCH_SYSTEM32:
            failures.append(f"DependentLoadFlags is 0x{flags:x}, not 0x{LOAD_LIBRARY_SEARCH_SYSTEM32:x}")

    if len(image) > BUDGET:
        failures.append(f"{len(image)} bytes, over the budget of {BUDGET}")
    return failures


def main():
    exe = sys.argv[1]
    failures = check(exe)
    for failure in failures:
        print(f"FAIL: {exe}: {failure}")
    if not failures:
        print(f"{exe}: stripped, load config in place, {os.path.getsize(exe)} bytes")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
