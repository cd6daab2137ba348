#!/usr/bin/env python3
"""Checks that the product code's includes run only downward through its layers.

Every folder of core/, ui/, recorder/ and tools/ is one layer. A file may include its own folder and
the folders that LAYERS lists for it; anything else is reported with file and line, and so is
any cycle between folders and any Qt header in the core or the headless recorder. Exits 1 on any finding.
"""
import os
import re
import sys

# Folder -> the folders its files may include besides their own, lowest layers first. The
# windows reach the device only through the acquisition layer; only the shell, which wires
# the program together, sees the POSIX serial ports.
CORE = ["core/acquisition", "core/config", "core/store", "core/base"]
LAYERS = {
    "core/base": [],
    "core/store": ["core/base"],
    "core/config": ["core/store", "core/base"],
    "core/device": ["core/store", "core/base"],
    "core/device/posix": ["core/device", "core/store", "core/base"],
    "core/acquisition": ["core/device", "core/config", "core/store", "core/base"],
    # Archive and publisher listen to acquisition through its sink interface.
    "core/archive": CORE,
    "core/publish": CORE,
    # kelvo.ini gathers the settings of the link, the archive and publishing.
    "core/settings": [*CORE, "core/archive", "core/publish"],
    "ui/framework": ["core/base"],
    "ui/widgets": ["ui/framework", *CORE],
    "ui/dialogs": ["ui/framework", *CORE, "core/archive", "core/publish"],
    "ui/realtime": ["ui/widgets", "ui/dialogs", "ui/framework", *CORE],
    "ui/history": ["ui/framework", *CORE],
    "ui/archive": ["ui/widgets", "ui/dialogs", "ui/framework", *CORE, "core/archive"],
    "ui/shell": ["ui/archive", "ui/realtime", "ui/history", "ui/widgets", "ui/dialogs", "ui/framework", *CORE,
                 "core/archive", "core/publish", "core/settings", "core/device", "core/device/posix"],
    # The headless program wires the whole core together, as the shell does for the windows.
    "recorder": [*CORE, "core/archive", "core/publish", "core/settings", "core/device", "core/device/posix"],
    "tools/meter-sim": [],  # keeps its own copy of the protocol: nothing of the program
}
PRODUCT_ROOTS = ("core", "ui", "recorder", "tools")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]|^Qt[A-Za-z]*/")


def product_files(root):
    for top in PRODUCT_ROOTS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    path = os.path.join(folder, name)
                    yield os.path.relpath(path, root)


def find_cycle(edges):
    """A list of folders forming a cycle in the folder graph, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for target in sorted(edges.get(node, ())):
            if state.get(target) == "open":
                return stack[stack.index(target):] + [target]
            if target not in state:
                found = visit(target)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def check(root):
    findings = []
    edges = {}
    for path in product_files(root):
        folder = os.path.dirname(path)
        if folder not in LAYERS:
            findings.append(f"{path}: folder {folder} is in no layer of the table")
            continue
        with open(os.path.join(root, path), encoding="utf-8") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                kind, header = match.groups()
                if kind == "<":
                    if folder.startswith(("core/", "recorder")) and QT_HEADER.match(header):
                        findings.append(f"{path}:{number}: {folder} includes Qt <{header}>")
                    continue
                target = os.path.dirname(header)
                if target == folder:
                    continue
                edges.setdefault(folder, set()).add(target)
                if target not in LAYERS[folder]:
                    findings.append(f"{path}:{number}: {folder} may not include {header}")
    cycle = find_cycle(edges)
    if cycle:
        findings.append("folder cycle: " + " -> ".join(cycle))
    return findings


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.getcwd()
    findings = check(root)
    for finding in findings:
        print(finding)
    print(f"layer check: {len(findings)} finding(s)")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
