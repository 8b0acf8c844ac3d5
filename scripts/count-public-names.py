#!/usr/bin/python3
"""Counts the names the engine's public headers (src/engine/*.h, not src/engine/internal/) give a
front end: free functions, public member functions and types, each once per scope and name (the
overloads of a name count once). Public data members and namespace-scope constants are counted
apart and are not in the total.

The headers are parsed by libclang (Debian: python3-clang-14), each on its own, with src/ on the
include path; only what a header itself declares counts, not what it includes.

Prints one line per header (--per-header) and a summary; with --list, every name counted.
Usage: count-public-names.py [SRC] [--per-header] [--list]
"""

import argparse
import collections
import glob
import pathlib
import sys

try:
    import clang.cindex as ci
except ImportError:
    sys.exit("count-public-names: needs libclang's Python binding (apt-get install python3-clang-14)")


def load_libclang():
    if ci.Config.loaded:
        return
    for candidate in sorted(glob.glob("/usr/lib/llvm-*/lib/libclang*.so*"), reverse=True):
        try:
            ci.Config.set_library_file(candidate)
            ci.Index.create()
            return
        except Exception:  # the next candidate
            ci.Config.loaded = False
    sys.exit("count-public-names: no libclang found under /usr/lib/llvm-*/lib")


K = ci.CursorKind
TYPE_KINDS = {K.CLASS_DECL, K.STRUCT_DECL, K.UNION_DECL, K.ENUM_DECL, K.CLASS_TEMPLATE}
ALIAS_KINDS = {K.TYPE_ALIAS_DECL, K.TYPEDEF_DECL, K.TYPE_ALIAS_TEMPLATE_DECL}
FUNCTION_KINDS = {K.FUNCTION_DECL, K.FUNCTION_TEMPLATE}
METHOD_KINDS = {K.CXX_METHOD, K.FUNCTION_TEMPLATE, K.CONVERSION_FUNCTION}


def count_header(index, header, src):
    unit = index.parse(str(header), args=["-x", "c++", "-std=c++20", f"-I{src}"],
                       options=ci.TranslationUnit.PARSE_SKIP_FUNCTION_BODIES)
    errors = [d for d in unit.diagnostics if d.severity >= ci.Diagnostic.Error]
    if errors:
        sys.exit(f"count-public-names: {header}: {errors[0]}")
    names = collections.defaultdict(set)

    def own(cursor):
        return cursor.location.file is not None and pathlib.Path(cursor.location.file.name) == header

    def visit_scope(cursor, scope, in_class):
        for child in cursor.get_children():
            if not own(child):
                continue
            kind = child.kind
            if in_class and child.access_specifier != ci.AccessSpecifier.PUBLIC:
                continue
            qualified = f"{scope}{child.spelling}"
            if kind == K.NAMESPACE:
                if child.spelling:  # an anonymous namespace is no one's door
                    visit_scope(child, f"{qualified}::", False)
            elif kind in TYPE_KINDS:
                if child.is_definition():
                    names["types"].add(qualified)
                    visit_scope(child, f"{qualified}::", True)
            elif kind in ALIAS_KINDS:
                names["types"].add(qualified)
            elif in_class and kind in METHOD_KINDS:
                if child.spelling != "operator=":
                    names["member functions"].add(qualified)
            elif not in_class and kind in FUNCTION_KINDS:
                names["free functions"].add(qualified)
            elif in_class and kind == K.FIELD_DECL:
                names["data members"].add(qualified)
            elif not in_class and kind == K.VAR_DECL:
                names["constants"].add(qualified)

    visit_scope(unit.cursor, "", False)
    return names


COUNTED = ("free functions", "member functions", "types")
APART = ("data members", "constants")


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description="Counts the public names of the engine's headers.")
    parser.add_argument("src", nargs="?", type=pathlib.Path, default=root / "src")
    parser.add_argument("--per-header", action="store_true")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    src = args.src.resolve()
    load_libclang()
    index = ci.Index.create()
    total = collections.defaultdict(set)
    for header in sorted((src / "engine").glob("*.h")):
        names = count_header(index, header.resolve(), src)
        for kind, found in names.items():
            total[kind] |= found
        if args.per_header:
            counted = sum(len(names[k]) for k in COUNTED)
            print(f"{header.relative_to(src)}: {counted} "
                  + ", ".join(f"{len(names[k])} {k}" for k in COUNTED + APART))
    if args.list:
        for kind in COUNTED + APART:
            for name in sorted(total[kind]):
                print(f"{kind}: {name}")
    counted = sum(len(total[k]) for k in COUNTED)
    print(f"count-public-names: {counted} public names in src/engine/*.h ("
          + ", ".join(f"{len(total[k])} {k}" for k in COUNTED)
          + "; apart: " + ", ".join(f"{len(total[k])} {k}" for k in APART) + ")")
    return 0


if __name__ == "__main__":
    sys.exit(main())
