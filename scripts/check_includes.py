#!/usr/bin/env python3
"""Refuses every #include "folder/..." of a project folder that the including folder's targets do
not link, directly or through the PUBLIC and INTERFACE links of what they link.

The allowed edges are stated once, in the target_link_libraries of the CMakeLists; configuring
writes them to link_graph.json in the build folder, and this script reads nothing else about the
stack. With --print-stack it prints the stack as README.md states it, in the words the README uses.

Exit status: 0 when every include is allowed, 1 with one line "file:line: ..." per refused include,
2 when the link graph cannot be read.
"""

import argparse
import json
import os
import re
import sys

# Folders that use the stack without being part of it: README's table of the stack leaves them out.
CONSUMERS = ("tests", "bench", "fuzz")
SOURCE_SUFFIXES = (".cpp", ".hpp", ".h", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


class LinkGraph:
    """The project's targets: their folders, what they link and what they pass on."""

    def __init__(self, targets):
        self.targets = {target["name"]: target for target in targets}
        # Folders in the order CMake added them: from the bottom of the stack up.
        self.folders = []
        for target in targets:
            # A target of the top folder would make the whole tree, build folders too, its folder.
            if target["folder"] and target["folder"] not in self.folders:
                self.folders.append(target["folder"])

    def _known(self, names):
        return [name for name in names if name in self.targets]

    def _passed_on(self, name, seen):
        if name in seen:
            return
        seen.add(name)
        for next_name in self._known(self.targets[name]["passes_on"]):
            self._passed_on(next_name, seen)

    def reachable(self, name):
        """The targets whose headers a target may use: its links and all they pass on."""
        seen = set()
        for linked in self._known(self.targets[name]["links"]):
            self._passed_on(linked, seen)
        return seen

    def folder_targets(self, folder):
        return [name for name, target in self.targets.items() if target["folder"] == folder]

    def allowed_folders(self, folder):
        allowed = {folder}
        for name in self.folder_targets(folder):
            allowed |= {self.targets[other]["folder"] for other in self.reachable(name)}
        return allowed

    def folder_of(self, path):
        """The deepest target folder that holds path, or None."""
        holders = [folder for folder in self.folders if path.startswith(folder + "/")]
        return max(holders, key=len) if holders else None

    def stack_folders(self):
        return [
            folder
            for folder in self.folders
            if folder.split("/")[0] not in CONSUMERS
            and any(
                self.targets[name]["type"] == "STATIC_LIBRARY"
                for name in self.folder_targets(folder)
            )
        ]

    def direct_folders(self, folder):
        """The stack folders a folder's targets name in their own links, in the order named."""
        stack = self.stack_folders()
        named = []
        for name in self.folder_targets(folder):
            for linked in self._known(self.targets[name]["links"]):
                linked_folder = self.targets[linked]["folder"]
                if linked_folder != folder and linked_folder in stack:
                    if linked_folder not in named:
                        named.append(linked_folder)
        return named


def load_graph(path):
    try:
        with open(path, encoding="utf-8") as file:
            return LinkGraph(json.load(file))
    except (OSError, ValueError, KeyError, TypeError) as error:
        print(f"check_includes: cannot read the link graph {path}: {error}", file=sys.stderr)
        print("check_includes: configure the build first (cmake --preset default)", file=sys.stderr)
        sys.exit(2)


def source_files(root, folder, other_folders):
    """The sources of folder, leaving out its subfolders that are target folders of their own."""
    for directory, subdirectories, files in os.walk(os.path.join(root, folder)):
        relative = os.path.relpath(directory, root).replace(os.sep, "/")
        subdirectories[:] = sorted(
            sub
            for sub in subdirectories
            if not sub.startswith(".") and f"{relative}/{sub}" not in other_folders
        )
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield f"{relative}/{name}"


def refused_includes(graph, root):
    """One message per include of a folder that the including folder does not link."""
    messages = []
    folders = set(graph.folders)
    for folder in graph.folders:
        allowed = graph.allowed_folders(folder)
        for path in source_files(root, folder, folders):
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as file:
                for number, line in enumerate(file, start=1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    included = graph.folder_of(match.group(1))
                    if included is not None and included not in allowed:
                        messages.append(
                            f'{path}:{number}: includes "{match.group(1)}", but {folder}/ does'
                            f" not link {included}/ (it may include "
                            + ", ".join(f"{name}/" for name in sorted(allowed))
                            + ")"
                        )
    return messages


def listing(folders):
    """`a/`, `b/` and `c/`, as README.md writes a list of folders."""
    names = [f"`{folder}/`" for folder in folders]
    return names[0] if len(names) == 1 else ", ".join(names[:-1]) + " and " + names[-1]


def stack_sentence(graph):
    """The direct edges of the stack, folders with the same links named together."""
    groups = []
    for folder in graph.stack_folders():
        direct = graph.direct_folders(folder)
        for group in groups:
            if group[1] == direct:
                group[0].append(folder)
                break
        else:
            groups.append(([folder], direct))
    parts = []
    for users, used in groups:
        verb = "uses" if len(users) == 1 else "use"
        parts.append(f"{listing(users)} {verb} " + (listing(used) if used else "nothing"))
    return "; ".join(parts) + "."


def uses_clauses(graph):
    """For each stack folder, every folder it may include, from the top of the stack down."""
    stack = graph.stack_folders()
    clauses = {}
    for folder in stack:
        below = sorted(graph.allowed_folders(folder) - {folder}, key=stack.index, reverse=True)
        clauses[folder] = "uses " + (listing(below) if below else "nothing else")
    return clauses


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    root_default = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--root", default=root_default, help="the source tree (default: this one)")
    parser.add_argument(
        "--graph", help="link_graph.json of a configured build (default: build/default's)"
    )
    parser.add_argument(
        "--print-stack", action="store_true", help="print the stack as README.md states it"
    )
    arguments = parser.parse_args()
    default_graph = os.path.join(arguments.root, "build/default/link_graph.json")
    graph = load_graph(arguments.graph or default_graph)

    if arguments.print_stack:
        print(stack_sentence(graph))
        for folder, clause in uses_clauses(graph).items():
            print(f"{folder}/: {clause}")
        return 0

    messages = refused_includes(graph, arguments.root)
    for message in messages:
        print(message)
    if messages:
        print(f"check_includes: {len(messages)} include(s) outside the links", file=sys.stderr)
        return 1
    print(f"check_includes: every include of {len(graph.folders)} folders follows the links")
    return 0


if __name__ == "__main__":
    sys.exit(main())
