"""Property lists found in the wild against Python's plistlib: each file of a
corpus (a folder with SOURCES.md, whose table names each file's form and
origin) is read by plist_roundtrip and by plistlib. Where both read it, the
values must be the same, bit for bit (plistlib reads what plist_roundtrip
wrote back); where only one reads it, the line says why the other did not.

Usage: plist_corpus.py PLIST_ROUNDTRIP CORPUS_DIR SCRATCH_DIR [--list]
Prints one line of counts per origin, and with --list every file not read
alike. Exit 1 when a file read by both gives different values."""
import collections
import os
import plistlib
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from plist_differential import same  # noqa: E402


def table(corpus):
    with open(os.path.join(corpus, "SOURCES.md"), encoding="utf-8") as f:
        for line in f:
            cells = [c.strip() for c in line.split("|")]
            if len(cells) > 4 and cells[1].startswith("`"):
                yield cells[1].strip("`"), cells[2], cells[3]


def main():
    helper, corpus, scratch = sys.argv[1:4]
    listing = "--list" in sys.argv[4:]
    counts = collections.defaultdict(collections.Counter)
    notes, disagreements = [], []
    out_binary, out_xml = os.path.join(scratch, "back-binary"), os.path.join(scratch, "back-xml")
    for name, form, origin in table(corpus):
        path = os.path.join(corpus, name)
        with open(path, "rb") as f:
            data = f.read()
        try:
            theirs, their_error = plistlib.loads(data), None
        except Exception as e:  # plistlib raises whatever its parsers raise
            theirs, their_error = None, f"{type(e).__name__}: {e}"[:120]
        for p in (out_binary, out_xml):
            if os.path.exists(p):
                os.remove(p)
        run = subprocess.run([helper, path, out_binary, out_xml], capture_output=True)
        ours_error = None if run.returncode == 0 else run.stderr.decode(errors="replace").strip()[:120]
        if ours_error is None and their_error is None:
            with open(out_binary, "rb") as f:
                found = []
                same(theirs, plistlib.load(f), name, found)
            if found:
                disagreements.append(f"{name}: {found[0]}")
                counts[origin]["differ"] += 1
            else:
                counts[origin]["alike"] += 1
        elif ours_error is None:
            counts[origin]["ours only"] += 1
            notes.append(f"{origin:8} {form:6} ours only      {name}: plistlib: {their_error}")
        elif their_error is None:
            counts[origin]["plistlib only"] += 1
            notes.append(f"{origin:8} {form:6} plistlib only  {name}: ours: {ours_error}")
        else:
            counts[origin]["neither"] += 1
            if origin != "invalid":
                notes.append(f"{origin:8} {form:6} neither        {name}: ours: {ours_error}")
    kinds = ["alike", "differ", "ours only", "plistlib only", "neither"]
    total = collections.Counter()
    for origin in sorted(counts):
        total.update(counts[origin])
        print(f"{origin:8} " + "  ".join(f"{k} {counts[origin][k]:3}" for k in kinds))
    print(f"{'all':8} " + "  ".join(f"{k} {total[k]:3}" for k in kinds))
    if listing:
        for n in sorted(notes):
            print(n)
    for d in disagreements:
        print("DIFFERENT:", d)
    sys.exit(1 if disagreements else 0)


if __name__ == "__main__":
    main()
