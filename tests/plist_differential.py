"""Property lists against Python's plistlib: files plistlib writes, in XML
and binary, are read and written back by plist_roundtrip; plistlib must then
read the same values as from its own file, bit for bit.

Usage: plist_differential.py PLIST_ROUNDTRIP SCRATCH_DIR"""
import datetime
import math
import os
import plistlib
import struct
import subprocess
import sys

def same(a, b, where, failures):
    if type(a) is not type(b):
        failures.append(f"{where}: {type(a).__name__} became {type(b).__name__}")
    elif isinstance(a, float):
        if struct.pack(">d", a) != struct.pack(">d", b):
            failures.append(f"{where}: {a!r} became {b!r}")
    elif isinstance(a, dict):
        if sorted(a) != sorted(b):
            failures.append(f"{where}: keys {sorted(a)!r} became {sorted(b)!r}")
        for k in a.keys() & b.keys():
            same(a[k], b[k], f"{where}.{k}", failures)
    elif isinstance(a, list):
        if len(a) != len(b):
            failures.append(f"{where}: {len(a)} items became {len(b)}")
        for k, (x, y) in enumerate(zip(a, b)):
            same(x, y, f"{where}[{k}]", failures)
    elif a != b:
        failures.append(f"{where}: {a!r} became {b!r}")


def nested(depth):
    v = {"leaf": [1, "two", 3.0]}
    for k in range(depth):
        v = [v] if k % 2 else {"level": v}
    return v


def values(binary):
    shared = "a string that recurs, so the writers store it once " * 4
    one_dict = {"x": 1, "y": [shared]}
    strings = ["", "ascii", "ünïcödé", "中文", "astral \U0001F600\U00010348", "a & <b> ]]> \"'", "tab\tline\n"]
    reals = [0.0, -0.0, 1.5, 0.1, -2.5e-300, 1e308, 5e-324, math.inf, -math.inf]
    if binary:  # what XML cannot carry
        strings += ["nul\0inside", "\0"]
        reals.append(math.nan)
    return {
        "ints": [0, 1, -1, 127, 128, 255, 256, 65535, 65536, 2**31 - 1, 2**31, -2**31, 2**32, 2**63 - 1, -2**63,
                 2**63, 2**63 + 1, 2**64 - 2, 2**64 - 1],
        "reals": reals,
        "dates": [datetime.datetime(2001, 1, 1), datetime.datetime(1970, 1, 1, 0, 0, 0, 500000),
                  datetime.datetime(2026, 12, 7, 18, 35, 54, 123456), datetime.datetime(1, 1, 1),
                  datetime.datetime(9999, 12, 31, 23, 59, 59), datetime.datetime(1901, 12, 13, 20, 45, 52, 250000)],
        "data": [b"", b"\0\1\2\xff", bytes(range(256)) * 3],
        "strings": strings,
        "bools": [True, False, True],
        "nested": nested(40),
        "empty": [[], {}, ""],
        "shared": [shared] * 40 + [one_dict, one_dict, 2**63, 2**63, -0.0, 0.0],
        shared: shared,
    }


def main():
    helper, scratch = sys.argv[1], sys.argv[2]
    failures = []
    sizes = []
    for name, fmt in (("xml", plistlib.FMT_XML), ("binary", plistlib.FMT_BINARY)):
        source = os.path.join(scratch, f"from-plistlib.{name}")
        with open(source, "wb") as f:
            f.write(plistlib.dumps(values(binary=fmt == plistlib.FMT_BINARY), fmt=fmt, sort_keys=False))
        with open(source, "rb") as f:
            expected = plistlib.load(f)
        out_binary, out_xml = source + ".back-binary", source + ".back-xml"
        for path in (out_binary, out_xml):
            if os.path.exists(path):
                os.remove(path)
        run = subprocess.run([helper, source, out_binary, out_xml], capture_output=True, text=True)
        if run.returncode != 0:
            failures.append(f"{name}: plist_roundtrip exit {run.returncode}: {run.stderr.strip()}")
            continue
        for path in (out_binary, out_xml):
            if not os.path.exists(path):
                continue
            with open(path, "rb") as f:
                same(expected, plistlib.load(f), os.path.basename(path), failures)
        if fmt == plistlib.FMT_BINARY:
            sizes.append((os.path.getsize(source), os.path.getsize(out_binary)))
        # Nothing in the XML file is beyond XML: it must have been written back as XML too.
        if fmt == plistlib.FMT_XML and not os.path.exists(out_xml):
            failures.append("xml: a value plistlib wrote as XML was not written back as XML")

    for theirs, ours in sizes:
        print(f"binary bytes: plistlib {theirs}, ours {ours}")
        # Shared values are written once: no larger than plistlib's by more than its trailer's slack.
        if ours > theirs * 1.1:
            failures.append(f"binary: {ours} bytes written where plistlib writes {theirs}")
    for f in failures:
        print(f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
