#!/usr/bin/env python3
"""Checks the include graph of src/ against the layers of the design.

Each folder of src/ may include its own headers and those of the layers below it, nothing else:

    app                         main() of both programs
    cli, gui                    the command line and the window, side by side
    host                        the ports implemented for real use, and the simulator's front
    frame pages addressing archive
                                the control: configZD4270, its pages, its addressing procedures and
                                its archive
    engine                      the procedures and readouts every front end calls (typed door)
    devices                     the device registry and number texts
    link                        the terminal link and the library-wide state, with the device list
    ui                          the control models
    platform                    the ports and the plain helpers
    sim                         the simulated terminal and line: beside the control, on platform only

frame, pages, addressing and archive count as one layer for now: they are one library (the pages
and procedures are children and members of configZD4270, and configZD4270 creates the pages and
runs the procedures), so their headers include each other both ways.

Qt headers (<Q...>, <Qt...>) may appear in host, gui and app only; the control and the simulator
build and test without Qt.

Prints each break as file:line: message and exits 1 if there is any; exits 0 otherwise.
Usage: check-layers.py [source root, default: the src/ beside this script's folder]
"""

import os
import pathlib
import re
import sys

# The layers each folder builds on directly; what those build on is allowed too.
CONTROL = ("frame", "pages", "addressing", "archive")
BELOW = {
    "platform": (),
    "ui": ("platform",),
    "link": ("ui",),
    "devices": ("link",),
    "engine": ("devices",),
    "sim": ("platform",),
    "host": CONTROL + ("sim",),
    "cli": ("host",),
    "gui": ("host",),
    "app": ("cli", "gui"),
}
for folder in CONTROL:
    BELOW[folder] = ("engine",) + tuple(f for f in CONTROL if f != folder)

QT_FOLDERS = {"host", "gui", "app"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Qt?[A-Z]")
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}


def allowed(folder):
    """The folders that folder may include: itself and everything below it."""
    seen = {folder}
    todo = list(BELOW[folder])
    while todo:
        below = todo.pop()
        if below not in seen:
            seen.add(below)
            todo.extend(BELOW[below])
    return seen


def included_folder(src, source, name):
    """The folder of src/ that a quoted include names, or None for a header from elsewhere."""
    for base in (source.parent, src):
        target = (base / name).resolve()
        if target.is_file():
            try:
                relative = target.relative_to(src.resolve())
            except ValueError:
                return None
            return relative.parts[0] if len(relative.parts) > 1 else None
    return None


def check(src):
    problems = []
    unknown = sorted(p.name for p in src.iterdir() if p.is_dir() and p.name not in BELOW)
    for name in unknown:
        problems.append(f"{os.path.relpath(src / name)}: folder has no place in the layers; add it to {os.path.relpath(__file__)}")
    permitted = {folder: allowed(folder) for folder in BELOW}
    for source in sorted(src.rglob("*")):
        if source.suffix not in SOURCE_SUFFIXES or not source.is_file():
            continue
        folder = source.relative_to(src).parts[0]
        if folder not in BELOW:
            continue
        with open(source, encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                bracket, name = match.groups()
                where = f"{os.path.relpath(source)}:{number}"
                if bracket == "<" and QT_HEADER.match(name) and folder not in QT_FOLDERS:
                    problems.append(
                        f"{where}: {folder}/ includes the Qt header <{name}>; Qt belongs in "
                        f"{', '.join(sorted(QT_FOLDERS))} only")
                if bracket != '"':
                    continue
                target = included_folder(src, source, name)
                if target is not None and target not in permitted[folder]:
                    problems.append(
                        f"{where}: {folder}/ includes {name}, but {target}/ is not below "
                        f"{folder}/ (it may include {', '.join(sorted(permitted[folder]))})")
    return problems


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    src = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "src"
    if not src.is_dir():
        print(f"{src}: no such folder", file=sys.stderr)
        return 2
    problems = check(src)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-layers: {len(problems)} include(s) break the layers")
        return 1
    print("check-layers: includes follow the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
