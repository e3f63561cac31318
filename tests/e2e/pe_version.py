#!/usr/bin/env python3
"""Reads the version resource of a Windows executable straight from its
bytes, without Windows: the resource section's tree down to RT_VERSION,
then the VS_VERSIONINFO block. Prints what kivo_version_info prints under
Wine, so the two readings can be compared line by line:

  translation LLLL CCCC
  fixed A.B.C.D A.B.C.D
  NAME VALUE          (each string of the first translation's table)

usage: pe_version.py FILE; exit status 1 when FILE has no readable version.
"""
import struct
import sys

RT_VERSION = 16
NAMES = ("CompanyName", "FileDescription", "FileVersion", "InternalName",
         "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion")


class BadFile(Exception):
    pass


def unpack(fmt, data, at):
    if at < 0 or at + struct.calcsize(fmt) > len(data):
        raise BadFile(f"truncated at {at}")
    return struct.unpack_from(fmt, data, at)


def resource_section(data):
    """The resource directory's bytes as a function of RVA, and its RVA."""
    if data[:2] != b"MZ":
        raise BadFile("no MZ header")
    (pe,) = unpack("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise BadFile("no PE header")
    sections, = unpack("<H", data, pe + 6)
    optional_size, = unpack("<H", data, pe + 20)
    optional = pe + 24
    magic, = unpack("<H", data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise BadFile(f"unknown optional header 0x{magic:x}")
    resource_rva, resource_size = unpack("<II", data, directories + 2 * 8)
    if not resource_size:
        raise BadFile("no resources")
    table = optional + optional_size
    spans = []
    for i in range(sections):
        _, virtual_size, rva, raw_size, raw = unpack("<8sIIII", data, table + 40 * i)
        spans.append((rva, max(virtual_size, raw_size), raw))

    def at(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return raw + rva - start
        raise BadFile(f"RVA 0x{rva:x} is in no section")
    return at, resource_rva


def version_block(data):
    at, root_rva = resource_section(data)
    root = at(root_rva)

    def entries(directory):
        named, ids = unpack("<HH", data, directory + 12)
        for i in range(named + ids):
            yield unpack("<II", data, directory + 16 + 8 * i)

    def first_leaf(offset):
        # Below the type: the first name, then its first language.
        while offset & 0x80000000:
            children = list(entries(root + (offset & 0x7FFFFFFF)))
            if not children:
                raise BadFile("empty resource directory")
            offset = children[0][1]
        rva, size = unpack("<II", data, root + offset)
        start = at(rva)
        return data[start:start + size]

    for ident, offset in entries(root):
        if ident == RT_VERSION:
            return first_leaf(offset)
    raise BadFile("no version resource")


def align4(n):
    return (n + 3) & ~3


def parse_node(block, at):
    """One VS_VERSIONINFO-style node: (key, value bytes, is text, children, end)."""
    length, value_length, kind = unpack("<HHH", block, at)
    end = at + length
    if length < 6 or end > len(block):
        raise BadFile("bad node length")
    key_end = at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
        if key_end >= end:
            raise BadFile("unterminated key")
    key = block[at + 6:key_end].decode("utf-16-le")
    value_at = align4(key_end + 2)
    value_size = value_length * 2 if kind == 1 else value_length
    value = block[value_at:value_at + value_size]
    children = []
    child = align4(value_at + value_size)
    while child < end:
        node = parse_node(block, child)
        children.append(node)
        child = align4(node[4])
    return key, value, kind == 1, children, end


def describe(path):
    with open(path, "rb") as f:
        data = f.read()
    key, fixed, _, children, _ = parse_node(version_block(data), 0)
    if key != "VS_VERSION_INFO":
        raise BadFile(f"root key {key!r}")
    lines = []
    tables, translation = {}, None
    for name, _, _, kids, _ in children:
        for kid in kids:
            if name == "StringFileInfo":
                tables[kid[0].lower()] = {k: v.decode("utf-16-le").rstrip("\0")
                                          for k, v, _, _, _ in kid[3]}
            elif name == "VarFileInfo" and kid[0] == "Translation" and len(kid[1]) >= 4:
                translation = struct.unpack_from("<HH", kid[1], 0)
    if not translation:
        raise BadFile("no translation")
    lines.append("translation %04x %04x" % translation)
    if len(fixed) >= 52 and struct.unpack_from("<I", fixed, 0)[0] == 0xFEEF04BD:
        fms, fls, pms, pls = struct.unpack_from("<IIII", fixed, 8)
        quad = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        lines.append(f"fixed {quad(fms, fls)} {quad(pms, pls)}")
    strings = tables.get("%04x%04x" % translation, {})
    lines += [f"{name} {strings[name]}" for name in NAMES if strings.get(name)]
    return lines


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        print("\n".join(describe(sys.argv[1])))
    except (OSError, BadFile, UnicodeDecodeError) as error:
        print(f"error: {error}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
