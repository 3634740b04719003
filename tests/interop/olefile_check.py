#!/usr/bin/python3
"""Checks compound files against python3-olefile, a reader independent of Wine's.

  olefile_check.py written FILE          the tree storage_interop wrote through SFStorage
  olefile_check.py compare FILE LISTING  olefile's view of FILE equals SFStorage's listing
"""
import sys

import olefile


def fail(text):
    print("olefile_check: " + text)
    sys.exit(1)


def hex_name(name):
    return "".join("%04x" % ord(c) for c in name)


def clsid_text(clsid):
    return "{" + (clsid or "00000000-0000-0000-0000-000000000000").upper() + "}"


def listing_of(ole):
    """The listing storage_interop writes, built from olefile's directory."""
    lines = {"root -": clsid_text(ole.root.clsid)}
    for path in ole.listdir(streams=True, storages=True):
        key = "/".join(hex_name(n) for n in path)
        if ole.get_type(path) == olefile.STGTY_STORAGE:
            lines["storage " + key] = clsid_text(ole.getclsid(path))
        else:
            lines["stream " + key] = ole.openstream(path).read().hex()
    return lines


def check_written(path):
    ole = olefile.OleFileIO(path)
    names = sorted("/".join(p) for p in ole.listdir(streams=True, storages=True))
    expected = sorted(["Header", "Data", "Data/Bytes", "Data/Deeper", "Data/Deeper/Leaf", "Empty", "Small"])
    if names != expected:
        fail("names %r, expected %r" % (names, expected))
    types = {"Data": 1, "Data/Deeper": 1, "Empty": 1, "Header": 2, "Data/Bytes": 2, "Small": 2}
    for name, kind in types.items():
        if ole.get_type(name.split("/")) != kind:
            fail("%s has type %d, expected %d" % (name, ole.get_type(name.split("/")), kind))
    contents = {
        "Header": b"ORVANTA\x00\x01\x02",
        "Data/Bytes": bytes(i % 251 for i in range(5000)),
        "Data/Deeper/Leaf": "Z\u00fcrich\r\n".encode("utf-16-le"),
        "Small": b"abc",
    }
    for name, data in contents.items():
        got = ole.openstream(name.split("/")).read()
        if got != data:
            fail("%s holds %r, expected %r" % (name, got[:64], data[:64]))
    if clsid_text(ole.root.clsid) != "{59B71984-3121-402E-A110-0B54BDC3EF32}":
        fail("root class id %r" % ole.root.clsid)
    if clsid_text(ole.getclsid("Data")) != "{0C1A8E6B-7E3A-4F55-9B1E-2D6C7F0A1B2C}":
        fail("Data class id %r" % ole.getclsid("Data"))
    if clsid_text(ole.getclsid("Empty")) != "{00000000-0000-0000-0000-000000000000}":
        fail("Empty class id %r" % ole.getclsid("Empty"))
    print("olefile_check: %d elements, names, types, bytes and class ids as written" % len(names))


def check_compare(path, listing_path):
    expected = listing_of(olefile.OleFileIO(path))
    got = {}
    with open(listing_path, encoding="ascii") as f:
        for line in f:
            kind, key, value = (line.rstrip("\n").split(" ") + [""])[:3]
            got[kind + " " + key] = value
    if len(expected) < 10:
        fail("olefile found only %d entries" % len(expected))
    if got != expected:
        for key in sorted(set(expected) | set(got)):
            if expected.get(key) != got.get(key):
                print("differs: %s olefile=%.60r sfstorage=%.60r" % (key, expected.get(key), got.get(key)))
        fail("SFStorage and olefile disagree")
    streams = sum(1 for k in got if k.startswith("stream "))
    print("olefile_check: %d streams and %d storages agree, class id %s" % (
        streams, len(got) - streams - 1, got["root -"]))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "written":
        check_written(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "compare":
        check_compare(sys.argv[2], sys.argv[3])
    else:
        fail(__doc__)
