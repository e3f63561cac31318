#!/usr/bin/env python3
"""Reads a Windows shortcut (.lnk, the Shell Link format) from its bytes and
prints where it points and which icon it shows, one line each:

  target PATH          LinkInfo's local base path
  workdir PATH         the working folder, when the link has one
  arguments TEXT       the command line arguments, when it has them
  icon PATH INDEX      the icon's file and index, when it names one

usage: lnk_info.py FILE; exit status 1 when FILE is no shell link.
"""
import struct
import sys

LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")
HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION, IS_UNICODE = 0x10, 0x20, 0x40, 0x80


class BadLink(Exception):
    pass


def field(fmt, data, at):
    if at < 0 or at + struct.calcsize(fmt) > len(data):
        raise BadLink(f"truncated at {at}")
    return struct.unpack_from(fmt, data, at)


def c_string(data, at, wide):
    if wide:
        end = at
        while data[end:end + 2] not in (b"\0\0", b""):
            end += 2
        return data[at:end].decode("utf-16-le")
    end = data.find(b"\0", at)
    return data[at:end if end >= 0 else len(data)].decode("cp1252", "replace")


def describe(data):
    size, = field("<I", data, 0)
    if size != 0x4C or data[4:20] != LINK_CLSID:
        raise BadLink("no shell link header")
    flags, = field("<I", data, 0x14)
    icon_index, = field("<i", data, 0x38)
    at = 0x4C
    if flags & HAS_ID_LIST:
        id_list_size, = field("<H", data, at)
        at += 2 + id_list_size
    lines = []
    if flags & HAS_LINK_INFO:
        info_size, header_size, _, _, base = field("<IIIII", data, at)
        if header_size >= 0x24:
            base_wide, = field("<I", data, at + 0x1C)
            lines.append("target " + c_string(data, at + base_wide, True))
        elif base:
            lines.append("target " + c_string(data, at + base, False))
        at += info_size
    wide = bool(flags & IS_UNICODE)
    strings = {}
    for flag, name in ((HAS_NAME, "name"), (HAS_RELATIVE_PATH, "relative"),
                       (HAS_WORKING_DIR, "workdir"), (HAS_ARGUMENTS, "arguments"),
                       (HAS_ICON_LOCATION, "icon")):
        if flags & flag:
            count, = field("<H", data, at)
            width = 2 if wide else 1
            raw = data[at + 2:at + 2 + count * width]
            if len(raw) != count * width:
                raise BadLink(f"truncated {name}")
            # Some writers count the terminating NUL in.
            strings[name] = raw.decode("utf-16-le" if wide else "cp1252").rstrip("\0")
            at += 2 + count * width
    for name in ("workdir", "arguments"):
        if strings.get(name):
            lines.append(f"{name} {strings[name]}")
    if strings.get("icon"):
        lines.append(f"icon {strings['icon']} {icon_index}")
    return lines


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        with open(sys.argv[1], "rb") as f:
            print("\n".join(describe(f.read())))
    except (OSError, BadLink, UnicodeDecodeError) as error:
        print(f"error: {error}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
