#!/usr/bin/env python3
"""Checks the layers of the source tree: which folder may include which, no Qt below the
windows, and no include cycles between files. Run by ctest (layers_test); prints what is wrong.

  tools/check_layers.py [ROOT]
"""
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))

# A folder and the project folders its files may include (besides its own). Qt-free folders
# may not include Qt headers.
CORE = {"spreadsheet", "workspace", "job"}
RUN = "consolidate/run"
CHECK = "consolidate/check"
RECORD = "consolidate/record"
STATUS = "consolidate/status"
DESKTOP = "consolidate/desktop"
CONSOLIDATE = {RUN, CHECK, RECORD, STATUS, DESKTOP}
RUN_WINDOWS = "consolidate/desktop/windows"
LAYERS = {
    "spreadsheet": ({"spreadsheet"}, False),
    "workspace": ({"spreadsheet", "workspace"}, False),
    "job": ({"spreadsheet", "workspace", "job"}, False),
    # The consolidation: the run core at the bottom, the check on it, the record on both, what
    # a run shows while it runs, and the desktop's run flow above them all.
    RUN: (CORE | {RUN}, False),
    CHECK: (CORE | {RUN, CHECK}, False),
    RECORD: (CORE | {RUN, CHECK, RECORD}, False),
    STATUS: (CORE | {RUN, STATUS}, False),
    DESKTOP: (CORE | CONSOLIDATE, False),
    "cli": (CORE | {RUN, CHECK, RECORD, STATUS, "cli"}, False),
    "ui": ({"spreadsheet", "workspace", "ui"}, True),
    "job/windows": (CORE | {"ui", "job/windows"}, True),
    RUN_WINDOWS: (CORE | CONSOLIDATE | {"ui", RUN_WINDOWS}, True),
    "app": (CORE | CONSOLIDATE | {"ui", "job/windows", RUN_WINDOWS, "app"}, True),
}
INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^>"]+)[>"]', re.M)


def layer_of(path):
    best = None
    for name in LAYERS:
        if path == name or path.startswith(name + "/"):
            if best is None or len(name) > len(best):
                best = name
    return best


def main():
    problems = []
    graph = {}
    for layer in LAYERS:
        folder = os.path.join(ROOT, layer)
        for dirpath, _, files in os.walk(folder):
            for f in files:
                if not f.endswith((".h", ".cpp")):
                    continue
                rel = os.path.relpath(os.path.join(dirpath, f), ROOT).replace(os.sep, "/")
                if layer_of(rel) != layer:
                    continue
                allowed, qt = LAYERS[layer]
                text = open(os.path.join(ROOT, rel), encoding="utf-8").read()
                graph[rel] = []
                for bracket, name in INCLUDE.findall(text):
                    if bracket == "<" and name.startswith("Q") and not qt:
                        problems.append(f"{rel}: includes the Qt header <{name}> below the windows")
                    if bracket != '"':
                        continue
                    target = layer_of(name)
                    if target is None:
                        continue
                    if target not in allowed:
                        problems.append(f"{rel}: includes {name} ({target} is above or beside {layer})")
                    graph[rel].append(name)

    # Every file of the consolidation belongs to one of its folders.
    for f in sorted(os.listdir(os.path.join(ROOT, "consolidate"))):
        if f.endswith((".h", ".cpp")):
            problems.append(f"consolidate/{f}: lies outside the consolidation's folders ({', '.join(sorted(CONSOLIDATE))})")

    # Cycles between files, counting a .cpp with its header. Inside the file-format engines
    # (spreadsheet/xls, spreadsheet/xlsx) reader, writer and formula pieces call each other by
    # design; only header cycles count there.
    internal = ("spreadsheet/xls/", "spreadsheet/xlsx/")

    def unit(path):
        return path[:-4] + ".h" if path.endswith(".cpp") else path

    edges = {}
    for src, targets in graph.items():
        for t in targets:
            if src.endswith(".cpp") and src.startswith(internal) and t.startswith(internal):
                continue
            if unit(t) != unit(src):
                edges.setdefault(unit(src), set()).add(unit(t))
    state = {}

    def visit(node, stack):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                problems.append("include cycle: " + " -> ".join(stack[stack.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, stack)
        stack.pop()
        state[node] = 2

    for node in sorted(edges):
        if node not in state:
            visit(node, [])
    for p in problems:
        print(p)
    print(f"{len(graph)} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
