#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The layers, lowest first: platform <- core <- toolkit <- i18n <- settings <- download <- app.
tools/ (tessaly-sib) stands on i18n. A folder may include its own headers and
those of any layer below it. tests/, bench/ and fuzz/ may include anything.
"""
import pathlib
import re
import sys
import tempfile

LAYERS = {"platform": 0, "core": 1, "toolkit": 2, "i18n": 3, "tools": 4, "settings": 4, "download": 5, "app": 6}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_]+)/', re.MULTILINE)


def violations(root):
    found = []
    for folder, rank in LAYERS.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            for match in INCLUDE.finditer(path.read_text(encoding="utf-8")):
                target = match.group(1)
                # tools/ and settings/ share a rank but know nothing of each other.
                if target in LAYERS and (LAYERS[target] > rank or (LAYERS[target] == rank and target != folder)):
                    found.append(f"{path.relative_to(root)}: includes {target}/, a layer above {folder}/")
    return found


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    # The check itself must see a violation where there is one.
    with tempfile.TemporaryDirectory() as scratch:
        sample = pathlib.Path(scratch)
        (sample / "toolkit").mkdir()
        (sample / "toolkit" / "TForm.cpp").write_text('#include "toolkit/TForm.h"\n#include "app/TfrmMain.h"\n')
        if not violations(sample):
            print("check-layers: the check misses an include of a higher layer", file=sys.stderr)
            return 2
    found = violations(root)
    for violation in found:
        print(violation, file=sys.stderr)
    if not found:
        print("check-layers: every include points to its own layer or one below")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
