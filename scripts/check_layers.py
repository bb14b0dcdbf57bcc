#!/usr/bin/env python3
"""Fails when a source file includes a folder its own folder may not use.

The allowed arrows stand once, in the README's layout between the "layers"
markers: "<folder> -> <folders it may include>". A file belongs to the
longest folder named there; an include is allowed when it points into the
file's own folder or one of its arrows. Outside the SDK, "reader" means
reader/rdr.h alone. Tests, benchmarks and fuzz targets may include anything.
With --self-test, checks the checker on a small tree of its own.
"""
import pathlib
import re
import sys
import tempfile

SDK = {"protocol", "transport", "lan", "reader", "link", "common"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCES = ("*.h", "*.cpp", "*.c")


def read_arrows(readme):
    text = readme.read_text(encoding="utf-8")
    block = re.search(r"<!-- layers -->\n(.*?)<!-- /layers -->", text, re.DOTALL)
    if not block:
        raise SystemExit(f"{readme}: no layers block")
    arrows = {}
    for line in block.group(1).splitlines():
        if "->" not in line:
            continue
        folder, targets = line.split("->")
        arrows[folder.strip()] = set(targets.split())
    return arrows


def folder_of(path, folders):
    """The longest listed folder that holds `path`, or None."""
    best = None
    for folder in folders:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def allowed(source_folder, included, arrows):
    """True when `source_folder` may include the file `included`."""
    top = included.split("/")[0]
    if folder_of(included, arrows) == source_folder or top == source_folder:
        return True
    for target in arrows[source_folder]:
        if target == "reader" and top == "reader" and source_folder not in SDK:
            if included == "reader/rdr.h":
                return True
            continue
        if included.startswith(target + "/"):
            return True
    return False


def check(root, arrows):
    problems = []
    known = set(arrows) | {"common", "link"}
    for top in sorted({f.split("/")[0] for f in known}):
        for pattern in SOURCES:
            for path in sorted((root / top).rglob(pattern)):
                relative = path.relative_to(root).as_posix()
                folder = folder_of(relative, arrows)
                if folder is None:
                    if top in ("common", "link"):
                        continue  # header-only leaves: the standard library only
                    problems.append(f"{relative}: in no folder of the layout")
                    continue
                text = path.read_text(encoding="utf-8", errors="replace")
                for match in INCLUDE.finditer(text):
                    included = match.group(1)
                    if "/" not in included:
                        continue  # a generated or system-style header of the folder itself
                    if not allowed(folder, included, arrows):
                        line = text.count("\n", 0, match.start()) + 1
                        problems.append(f"{relative}:{line}: {folder} may not include {included}")
    return problems


def self_test():
    arrows = {"app/base": set(), "app/values": {"app/base", "reader"}, "gui": {"app"}}
    files = {
        "app/base/result.h": "",
        "app/values/values.cpp": '#include "app/values/values.h"\n#include "app/base/result.h"\n'
        '#include "reader/rdr.h"\n',
        "app/values/bad.cpp": '#include "gui/window.h"\n#include "reader/links.h"\n',
        "gui/window.cpp": '#include "app/values/values.h"\n',
        "app/loose.cpp": "",
    }
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        found = check(root, arrows)
    expected = [
        "app/loose.cpp: in no folder of the layout",
        "app/values/bad.cpp:1: app/values may not include gui/window.h",
        "app/values/bad.cpp:2: app/values may not include reader/links.h",
    ]
    if sorted(found) != expected:
        print("layer check self-test failed:", *found, sep="\n  ")
        return 1
    print("layer check self-test: passed")
    return 0


def main():
    if "--self-test" in sys.argv:
        return self_test()
    root = pathlib.Path(__file__).resolve().parent.parent
    problems = check(root, read_arrows(root / "README.md"))
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} includes outside the layout's arrows (README.md, Layout)")
        return 1
    print("layers: every include follows the layout's arrows")
    return 0


if __name__ == "__main__":
    sys.exit(main())
