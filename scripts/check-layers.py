#!/usr/bin/env python3
"""Checks src/ against the layers of the design: what each folder includes, and who touches the form.

Includes. Each folder of src/ may include its own headers and those of the layers below it, nothing
else; quoted and angle-bracket includes of the project's headers alike:

    app                         main() of both programs
    gui                         the window, which embeds the form
    cli                         the command line: the engine only, no form
    report                      the hand-over report, drawn with Qt
    store                       the per-user settings file
    simserver                   the simulator's Modbus servers and its program
    maintenance                 readings as documents, backup, restore, replacement, site names
    connection                  opening a terminal, and a run of the engine on it
    documents                   station documents and buildings
    transport                   the ports for real use: Modbus TCP and RTU, the simulated line
    pages addressing archive    the form's device pages, addressing procedures and archive tab
    frame                       the form itself (configZD4270), the base the three above plug into
    engine                      the procedures and readouts every front end calls (typed door)
    devices                     the device registry and number texts
    link                        the terminal link and the library-wide state, with the device list
    ui                          the control models
    platform                    the ports and the plain helpers
    sim                         the simulated terminal and line: beside the control, on platform only

pages, addressing and archive include frame/ and not each other; frame/ includes none of them (it
reaches the pages and procedures through the interfaces it declares). Qt headers (<Q...>, <Qt...>)
may appear in the folders of QT_FOLDERS only: the control, the simulator and the maintenance
procedures build and test without Qt. libmodbus (<modbus.h>, <modbus/...>) may appear in the folders
of MODBUS_FOLDERS only. engine/internal/ (the stepping machines the form drives) may be included by
engine/ and the form's folders only. Every include break fails the check.

The form's widgets. The widgets are the data members of the form (frame/configZD4270.h) and of its
pages (pages/*.h) whose type is a control model of ui/. Only the form's own folders and gui/ (which
binds a widget to each model) may name them; the front folders (FRONT_FOLDERS) call the engine instead.
Nor do those four build page events by hand (HandleObjectEvents, EventParams, RaiseEvent,
ObjectEvent). A use is `.name`, `->name` or `::name` in code, outside comments and literals.

Uses that exist today are listed, per file and name with their count, in the baseline
(scripts/layers-baseline.txt), written by --write-baseline. The check fails on a use the baseline
does not cover, and on a baseline entry that no longer occurs as often as listed: the baseline only
shrinks, and is rewritten as uses go.

Prints each problem as file:line: message, then a summary line; exits 1 on any problem, 0 otherwise.
Usage: check-layers.py [SRC] [--baseline FILE] [--write-baseline]
       (SRC defaults to the src/ beside this script's folder)
"""

import argparse
import bisect
import collections
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
    "frame": ("engine",),
    "pages": ("frame",),
    "addressing": ("frame",),
    "archive": ("frame",),
    "sim": ("platform",),
    "transport": ("sim",),
    "documents": ("engine", "transport"),
    "connection": ("documents",),
    "maintenance": ("connection",),
    "report": ("maintenance",),
    "simserver": ("connection",),
    "store": ("platform",),
    "cli": ("report", "store"),
    "gui": ("report", "store", "simserver") + CONTROL,
    "serve": ("cli",),
    "app": ("cli", "gui", "serve"),
}
QT_FOLDERS = {"report", "store", "gui", "app", "serve"}
MODBUS_FOLDERS = {"transport", "simserver"}
# The engine's inside (engine/internal/): the stepping machines the form steps on its own timer.
# The engine and the form's folders include it; every other front end runs whole procedures.
INTERNAL = ("engine", "internal")
INTERNAL_USERS = {"engine"} | set(CONTROL)

# Where the form's widgets are declared, and the folders that must not touch them.
FORM_HEADERS = ("frame/configZD4270.h", "pages/*.h")
FRONT_FOLDERS = ("cli", "transport", "documents", "connection", "maintenance", "report", "simserver",
                 "store", "app", "engine", "serve")
# The models that are widgets without deriving from Control.
STANDALONE_MODELS = {"Timer", "OptionGroup"}
# What a device page and the form pass to each other (frame/PageEvents.h, configZD4270).
PAGE_EVENT_NAMES = ("HandleObjectEvents", "EventParams", "RaiseEvent", "ObjectEvent")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Qt?[A-Z]")
MODBUS_HEADER = re.compile(r"^modbus(\.h$|/)")
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
# Comments and literals, blanked before code is searched; identifiers and numbers are matched so
# that a prefix (u8'x') or a digit separator (1'000) is not taken for the start of a literal.
LEXEMES = re.compile(
    r"""(?P<blank>//[^\n]*|/\*.*?\*/
          |(?:u8|[uUL])?R"(?P<delim>[^()\\\s]{0,16})\(.*?\)(?P=delim)"
          |"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*')
       |[A-Za-z_]\w*|\.?\d(?:[eEpP][+-]|[\w.'])*""",
    re.S | re.X)
CLASS = re.compile(r"^\s*class\s+(\w+)(?:\s+final)?\s*(?::([^{;]*))?\{", re.M)
MEMBER_ACCESS = re.compile(r"(?:\.|->|::)\s*([A-Za-z_]\w*)")


def rel(path):
    return os.path.relpath(path)


def sources(src, folder):
    root = src / folder
    return sorted(p for p in root.rglob("*") if p.suffix in SOURCE_SUFFIXES and p.is_file())


def code_of(path):
    """The file's text with comments and string and character literals blanked, lines kept."""
    text = path.read_text(encoding="utf-8", errors="replace")
    return LEXEMES.sub(
        lambda m: re.sub(r"[^\n]", " ", m.group()) if m.group("blank") else m.group(), text)


# --- Includes -------------------------------------------------------------------------------------

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


def included_header(src, source, bracket, name):
    """The header of src/ that an include names, as its path under src/, or None for a header from
    elsewhere or at the top of src/. A quoted include is looked for beside the file first; both
    kinds in src/, the project's include path."""
    bases = (source.parent, src) if bracket == '"' else (src,)
    for base in bases:
        target = (base / name).resolve()
        if target.is_file():
            try:
                relative = target.relative_to(src.resolve())
            except ValueError:
                return None
            return relative if len(relative.parts) > 1 else None
    return None


def check_includes(src):
    problems = []
    for name in sorted(p.name for p in src.iterdir() if p.is_dir() and p.name not in BELOW):
        problems.append(f"{rel(src / name)}: folder has no place in the layers; add it to {rel(__file__)}")
    for folder in sorted(f for f in BELOW if (src / f).is_dir()):
        permitted = allowed(folder)
        for source in sources(src, folder):
            lines = source.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                bracket, name = match.groups()
                where = f"{rel(source)}:{number}"
                if bracket == "<" and QT_HEADER.match(name) and folder not in QT_FOLDERS:
                    problems.append(f"{where}: {folder}/ includes the Qt header <{name}>; Qt belongs "
                                    f"in {', '.join(sorted(QT_FOLDERS))} only")
                if bracket == "<" and MODBUS_HEADER.match(name) and folder not in MODBUS_FOLDERS:
                    problems.append(f"{where}: {folder}/ includes the libmodbus header <{name}>; "
                                    f"libmodbus belongs in {', '.join(sorted(MODBUS_FOLDERS))} only")
                header = included_header(src, source, bracket, name)
                target = header.parts[0] if header is not None else None
                if (header is not None and header.parts[:2] == INTERNAL
                        and folder not in INTERNAL_USERS):
                    problems.append(f"{where}: {folder}/ includes {name}, the engine's inside; "
                                    f"front ends call the engine's public headers")
                if target is not None and target not in permitted:
                    problems.append(f"{where}: {folder}/ includes {name}, but {target}/ is not below "
                                    f"{folder}/ (it may include {', '.join(sorted(permitted))})")
    return problems


# --- The form's widgets and page events ------------------------------------------------------------

def model_types(src):
    """The control models of ui/: the classes deriving from Control, and the standalone ones."""
    bases = {}
    for header in sources(src, "ui"):
        for name, base_list in CLASS.findall(code_of(header)):
            bases[name] = set(re.findall(r"\w+", base_list or "")) - {"public", "protected", "private"}
    models = {"Control"}
    while True:
        more = {name for name, base in bases.items() if base & models} - models
        if not more:
            break
        models |= more
    return (models - {"Control"}) | (STANDALONE_MODELS & bases.keys())


def widget_names(src):
    """The names of the data members of the form and its pages that are control models."""
    form = src / FORM_HEADERS[0]
    if not form.is_file():
        raise SystemExit(f"{rel(form)}: the form's header is missing; the widget check reads it")
    types = "|".join(sorted(model_types(src)))
    member = re.compile(rf"^\s*(?:std::array<\s*(?:{types})\s*,[^>]*>|(?:{types}))\s+(\w+)\s*[{{;=]",
                        re.M)
    headers = [form] + sorted(src.glob(FORM_HEADERS[1]))
    return {name for header in headers for name in member.findall(code_of(header))}


Use = collections.namedtuple("Use", "file line name kind")


def front_uses(src, widgets):
    """Each line of the front folders naming a widget or a page event, once per line and name."""
    page_event = re.compile(rf"\b({'|'.join(PAGE_EVENT_NAMES)})\b")
    uses = []
    for folder in FRONT_FOLDERS:
        if not (src / folder).is_dir():
            continue
        for source in sources(src, folder):
            code = code_of(source)
            starts = [0] + [m.end() for m in re.finditer("\n", code)]
            found = {(m.start(1), m.group(1), "widget") for m in MEMBER_ACCESS.finditer(code)
                     if m.group(1) in widgets}
            found |= {(m.start(1), m.group(1), "event") for m in page_event.finditer(code)}
            file = source.relative_to(src).as_posix()
            uses += sorted({Use(file, bisect.bisect_right(starts, at), name, kind)
                            for at, name, kind in found})
    return uses


def describe(src, use):
    folder = use.file.split("/")[0]
    if use.kind == "widget":
        return (f"{rel(src / use.file)}:{use.line}: {folder}/ uses the form's widget {use.name}; "
                "front ends call the engine")
    return (f"{rel(src / use.file)}:{use.line}: {folder}/ raises a page event by hand ({use.name}); "
            "front ends call the engine")


# --- The baseline ----------------------------------------------------------------------------------

BASELINE_HEADER = """\
# The uses of the form's widgets and page events outside the form that existed when the check came
# in: file (under src/), name, number of lines. Written by `python3 scripts/check-layers.py
# --write-baseline`; it only ever shrinks. Do not add to it by hand: call the engine instead.
"""


def read_baseline(path):
    counts = collections.Counter()
    if not path.is_file():
        return counts
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        fields = line.split("#")[0].split()
        if not fields:
            continue
        if len(fields) != 3 or not fields[2].isdigit():
            raise SystemExit(f"{rel(path)}:{number}: expected 'FILE NAME COUNT', got {line!r}")
        counts[(fields[0], fields[1])] += int(fields[2])
    return counts


def write_baseline(path, counts):
    lines = [f"{file} {name} {count}\n" for (file, name), count in sorted(counts.items())]
    path.write_text(BASELINE_HEADER + "".join(lines), encoding="utf-8")


def compare(src, uses, baseline, baseline_path):
    """The problems: uses beyond what the baseline allows, and baseline entries that are gone."""
    by_key = collections.defaultdict(list)
    for use in uses:
        by_key[(use.file, use.name)].append(use)
    problems, new = [], 0
    for key, found in sorted(by_key.items()):
        allowed_count = baseline.get(key, 0)
        if len(found) > allowed_count:
            new += len(found) - allowed_count
            note = f" ({len(found)} lines, the baseline allows {allowed_count})" if allowed_count else ""
            problems += [describe(src, use) + note for use in found]
    for (file, name), count in sorted(baseline.items()):
        left = len(by_key.get((file, name), []))
        if left < count:
            problems.append(f"{rel(baseline_path)}: lists {count} line(s) of {file} naming {name}, "
                            f"{left} remain; run python3 {rel(__file__)} --write-baseline")
    return problems, new


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description="Checks src/ against the layers of the design.")
    parser.add_argument("src", nargs="?", type=pathlib.Path, default=root / "src")
    parser.add_argument("--baseline", type=pathlib.Path, default=root / "scripts" / "layers-baseline.txt")
    parser.add_argument("--write-baseline", action="store_true",
                        help="write today's uses of the form outside it as the baseline")
    args = parser.parse_args()
    src = args.src
    if not src.is_dir():
        print(f"{src}: no such folder", file=sys.stderr)
        return 2

    include_problems = check_includes(src)
    uses = front_uses(src, widget_names(src))
    if args.write_baseline:
        write_baseline(args.baseline, collections.Counter((u.file, u.name) for u in uses))
        print(f"check-layers: wrote {len(uses)} use(s) to {rel(args.baseline)}")
    use_problems, new = compare(src, uses, read_baseline(args.baseline), args.baseline)

    for problem in include_problems + use_problems:
        print(problem)
    widget_lines = {(u.file, u.line) for u in uses if u.kind == "widget"}
    per_folder = collections.Counter(file.split("/")[0] for file, _ in widget_lines)
    event_lines = {(u.file, u.line) for u in uses if u.kind == "event"}
    folders = ", ".join(f"{folder}/ {count}" for folder, count in sorted(per_folder.items()))
    print(f"check-layers: {len(include_problems)} include break(s); {len(widget_lines)} lines outside "
          f"the form name its widgets{f' ({folders})' if folders else ''} and {len(event_lines)} "
          f"build page events by hand; {new} use(s) new, not in the baseline")
    return 1 if include_problems or use_problems else 0


if __name__ == "__main__":
    sys.exit(main())
