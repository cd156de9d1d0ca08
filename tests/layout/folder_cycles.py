#!/usr/bin/env python3
"""Fails when the folders of src/ include each other in a circle.

The core builds into one library, so the linker never notices a folder that reaches
back up the chain; this reads the #include lines instead. With --self-check it first
proves on a small tree of its own that it does find a circle and names it.
"""
import os
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_]+)/[^"]+"', re.MULTILINE)


def folder_graph(src):
    graph = {}
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        edges = graph.setdefault(folder, {})
        for root, _, files in os.walk(path):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp", ".hpp", ".cc")):
                    continue
                file_path = os.path.join(root, name)
                with open(file_path, encoding="utf-8", errors="replace") as f:
                    for target in INCLUDE.findall(f.read()):
                        if target != folder and os.path.isdir(os.path.join(src, target)):
                            edges.setdefault(target, os.path.relpath(file_path, src))
    return graph


def circles(graph):
    """Each strongly connected set of more than one folder, as a path that closes."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in graph.get(v, {}):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            members = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                members.append(w)
                if w == v:
                    break
            if len(members) > 1:
                found.append(sorted(members))

    for v in sorted(graph):
        if v not in index:
            visit(v)
    return found


def closing_path(graph, members):
    """A shortest circle through the first member, inside the set, with one file per step."""
    start = members[0]
    paths = {start: [start]}
    frontier = [start]
    while frontier:
        nxt = []
        for v in frontier:
            for w in sorted(graph.get(v, {})):
                if w == start:
                    return paths[v] + [start]
                if w in members and w not in paths:
                    paths[w] = paths[v] + [w]
                    nxt.append(w)
        frontier = nxt
    return members


def report(src):
    graph = folder_graph(src)
    problems = []
    for members in circles(graph):
        path = closing_path(graph, members)
        steps = ", ".join(f"{a} -> {b} ({graph[a][b]})" for a, b in zip(path, path[1:]))
        problems.append(" -> ".join(path) + ": " + steps + " (all of " + ", ".join(members) + ")")
    return problems


def self_check():
    with tempfile.TemporaryDirectory() as top:
        for folder, text in [("a", '#include "b/x.h"\n'), ("b", '#include "c/y.h"\n'),
                             ("c", '  # include "a/z.h"\n'), ("d", '#include "a/z.h"\n')]:
            os.makedirs(os.path.join(top, folder))
            with open(os.path.join(top, folder, "f.cpp"), "w") as f:
                f.write(text)
        problems = report(top)
        if len(problems) != 1 or not problems[0].startswith("a -> b -> c -> a"):
            print("self-check: the circle a -> b -> c was not found:", problems)
            return False
    return True


def main():
    args = sys.argv[1:]
    if args and args[0] == "--self-check":
        if not self_check():
            return 1
        args = args[1:]
    src = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "..", "src")
    problems = report(src)
    for p in problems:
        print("folders in a circle:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
