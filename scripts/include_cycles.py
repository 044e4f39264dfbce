#!/usr/bin/env python3
"""Prints the cycles of the include graph of the sources, a header and its source taken as
one unit (app/history.h and app/history.cpp are "app/history"); exits 1 when there is one.
With unit names as arguments, only the cycles through them count."""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
FOLDERS = ["app", "mlib", "net", "monitor", "settings"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unit(path):
    return os.path.splitext(path)[0]


def graph():
    edges = {}
    for folder in FOLDERS:
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if not name.endswith((".h", ".cpp")):
                continue
            path = folder + "/" + name
            with open(os.path.join(ROOT, path), encoding="utf-8") as source:
                text = source.read()
            targets = edges.setdefault(unit(path), set())
            for included in INCLUDE.findall(text):
                if os.path.exists(os.path.join(ROOT, included)) and unit(included) != unit(path):
                    targets.add(unit(included))
    return edges


def components(edges):
    """Tarjan's strongly connected components of more than one unit."""
    index, low, stack, on, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on.add(node)
        for nxt in sorted(edges.get(node, ())):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            part = []
            while True:
                top = stack.pop()
                on.discard(top)
                part.append(top)
                if top == node:
                    break
            if len(part) > 1:
                found.append(sorted(part))

    sys.setrecursionlimit(10000)
    for node in sorted(edges):
        if node not in index:
            visit(node)
    return found


def main():
    wanted = set(unit(a) for a in sys.argv[1:])
    cycles = [c for c in components(graph()) if not wanted or wanted & set(c)]
    for cycle in cycles:
        print("cycle of %d units: %s" % (len(cycle), " ".join(cycle)))
    if wanted:
        for name in sorted(wanted):
            print("%s: %s" % (name, "in a cycle" if any(name in c for c in cycles) else "no cycle"))
    return 1 if cycles else 0


if __name__ == "__main__":
    sys.exit(main())
