#!/usr/bin/env python3
# Packs a Windows program of the Orvalin machine into a zip: one folder with
# the stripped .exe, its data files beside it and its text files with CR LF
# line ends. The same inputs give the same zip, byte for byte: the PE header's
# time stamp and checksum are zeroed, and every member has a fixed date, mode
# and place (sorted by name). Run by orvalin_add_windows_zip
# (OrvalinWindows.cmake) as the recipe of a program's zip target.
#
# Usage: windows-zip.py --strip STRIP --folder NAME --out ZIP EXE
#                       [--data FILE...] [--text FILE...]
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

DATE = (2000, 1, 1, 0, 0, 0)  # the members' date: DOS times start at 1980


def stripped(strip, exe):
    # strip stamps the PE header with the time of day and a checksum over the
    # file: both are zeroed. The COFF header follows the "PE\0\0" signature,
    # whose offset is at 0x3C; its time stamp is 8 bytes in, and the optional
    # header's checksum 24 + 64.
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, os.path.basename(exe))
        subprocess.run([strip, "-o", out, exe], check=True)
        image = bytearray(open(out, "rb").read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("windows-zip: %s is not a Windows program" % exe)
    image[pe + 8:pe + 12] = bytes(4)
    image[pe + 24 + 64:pe + 24 + 64 + 4] = bytes(4)
    return bytes(image)


def crlf(path):
    # Notepad wants CR LF; a name without an extension gets ".txt", so that
    # Explorer opens the file on a double click.
    name = os.path.basename(path)
    if "." not in name:
        name += ".txt"
    text = open(path, "rb").read().replace(b"\r\n", b"\n")
    return name, text.replace(b"\n", b"\r\n")


def main():
    parser = argparse.ArgumentParser(prog="windows-zip")
    parser.add_argument("--strip", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("exe")
    parser.add_argument("--data", nargs="*", default=[])
    parser.add_argument("--text", nargs="*", default=[])
    args = parser.parse_args()

    members = {os.path.basename(args.exe): (stripped(args.strip, args.exe), 0o755)}
    files = [(os.path.basename(p), open(p, "rb").read()) for p in args.data]
    for name, content in files + [crlf(p) for p in args.text]:
        if name in members:
            sys.exit("windows-zip: two files named %s" % name)
        members[name] = (content, 0o644)

    # Written beside, then moved: a failed run leaves no zip that looks done.
    partial = args.out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted(members):
            content, mode = members[name]
            info = zipfile.ZipInfo(args.folder + "/" + name, DATE)
            info.create_system = 3  # Unix: the mode below is read
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, content)
    os.replace(partial, args.out)


if __name__ == "__main__":
    main()
