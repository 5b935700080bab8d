#!/usr/bin/python3
"""Points the load configuration directory of a 64-bit Windows program at
the structure it links in under the name _load_config_used
(src/platform/win32/DependentLoadFlags.cpp).

GNU ld of Debian 12 (binutils 2.40) links the structure in but leaves the
directory empty, so Windows would never read it. The directory gets the
structure's address and the size written in its first field; the image's
checksum is computed again when it has one.

Usage: set_load_configuration.py <nm> <program.exe>
"""
import struct
import subprocess
import sys

SYMBOL = "_load_config_used"
LOAD_CONFIG_DIRECTORY = 10


def symbol_address(nm, image):
    listing = subprocess.run([nm, image], capture_output=True, text=True, check=True).stdout
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[2] == SYMBOL:
            return int(fields[0], 16)
    sys.exit(f"{image}: no {SYMBOL} (link src/platform/win32/DependentLoadFlags.cpp)")


def file_offset(data, sections, count, rva):
    for index in range(count):
        entry = sections + 40 * index
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_offset + rva - virtual_address
    return None


def pe_checksum(data, checksum_at):
    total = 0
    padded = data + (b"\0" if len(data) % 2 else b"")
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    # The checksum field itself counts as zero.
    for (word,) in struct.iter_unpack("<H", data[checksum_at:checksum_at + 4]):
        total -= word
        if total < 0:
            total += 0xFFFF
    total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(data)


def main(nm, image):
    with open(image, "rb") as f:
        data = bytearray(f.read())
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        sys.exit(f"{image}: not a PE file")
    optional = header + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x20B:
        sys.exit(f"{image}: not a 64-bit program")
    count = struct.unpack_from("<H", data, header + 6)[0]
    sections = optional + struct.unpack_from("<H", data, header + 20)[0]
    image_base = struct.unpack_from("<Q", data, optional + 24)[0]

    rva = symbol_address(nm, image) - image_base
    at = file_offset(data, sections, count, rva)
    if at is None:
        sys.exit(f"{image}: {SYMBOL} lies in no section")
    size = struct.unpack_from("<I", data, at)[0]
    struct.pack_into("<II", data, optional + 112 + LOAD_CONFIG_DIRECTORY * 8, rva, size)

    checksum_at = optional + 64
    if struct.unpack_from("<I", data, checksum_at)[0] != 0:
        struct.pack_into("<I", data, checksum_at, pe_checksum(bytes(data), checksum_at))
    with open(image, "r+b") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
