#!/usr/bin/env python3
"""Tests of scripts/check_includes.py: python3 check_includes_test.py SCRIPT GRAPH README CASE.

The planted cases build a small tree and its link graph of their own; the readme case holds
README.md's stack to the one the build's link graph gives."""
import json
import os
import re
import subprocess
import sys
import tempfile

SCRIPT, GRAPH, README = (os.path.abspath(path) for path in sys.argv[1:4])
failures = 0


def check(condition, what):
    global failures
    if not condition:
        failures += 1
        print("FAILED:", what)


def target(name, folder, links=(), passes_on=(), kind="STATIC_LIBRARY"):
    return {"name": name, "type": kind, "folder": folder, "links": list(links),
            "passes_on": list(passes_on)}


# low <- mid (PUBLIC) <- top (PUBLIC) <- top/gui; aside links low PRIVATE, user links aside.
TARGETS = [
    target("low", "low"),
    target("mid", "mid", ["low"], ["low"]),
    target("top", "top", ["mid", "Threads::Threads"], ["mid", "$<LINK_ONLY:Threads::Threads>"]),
    target("gui", "top/gui", ["top"], ["top"]),
    target("gui_program", "top/gui", ["gui"], [], "EXECUTABLE"),
    target("aside", "aside", ["low"], []),
    target("user", "user", ["aside"], ["aside"]),
]


def tree(folder, files):
    """Writes files (path -> lines) under folder and the graph beside them; returns the graph."""
    for path, lines in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
        with open(os.path.join(folder, path), "w") as file:
            file.write("\n".join(lines) + "\n")
    graph = os.path.join(folder, "link_graph.json")
    with open(graph, "w") as file:
        json.dump(TARGETS, file)
    return graph


def run(*args):
    return subprocess.run([sys.executable, SCRIPT, *args], capture_output=True, text=True,
                          timeout=60)


def case_planted_upward_include(folder):
    """An include up the stack fails, naming the file and line; the rest of the tree passes."""
    graph = tree(folder, {
        "low/cell.hpp": ["// A cell.", "#pragma once", '#include "top/window.hpp"'],
        "low/cell.cpp": ['#include "low/cell.hpp"', "#include <vector>"],
        "mid/sum.cpp": ['#include "low/cell.hpp"'],
        "top/window.hpp": ['#include "mid/sum.hpp"', '#include "low/cell.hpp"'],
    })
    result = run("--root", folder, "--graph", graph)
    check(result.returncode == 1, f"exit status {result.returncode}, expected 1")
    lines = result.stdout.splitlines()
    check(len(lines) == 1, f"one refusal expected, got {lines}")
    check(bool(lines) and lines[0].startswith('low/cell.hpp:3: includes "top/window.hpp"'),
          f"the refusal names file and line: {lines}")

    os.remove(os.path.join(folder, "low/cell.hpp"))
    result = run("--root", folder, "--graph", graph)
    check(result.returncode == 0, f"without the planted include: {result.stdout}")


def case_links_passed_on(folder):
    """PUBLIC links pass on through any number of targets, PRIVATE ones do not; a nested target
    folder is a folder of its own."""
    graph = tree(folder, {
        "top/gui/form.cpp": ['#include "top/gui/form.hpp"', '#include "mid/sum.hpp"',
                             '  #  include "low/cell.hpp"'],
        "top/gui/form.hpp": ['#include "top/model.hpp"'],
        "top/view.cpp": ["// Below.", '#include "top/gui/form.hpp"'],
        "user/main.cpp": ['#include "aside/side.hpp"', "", '#include "low/cell.hpp"'],
        "aside/side.cpp": ['#include "low/cell.hpp"', '#include "unknown/thing.hpp"'],
    })
    result = run("--root", folder, "--graph", graph)
    check(result.returncode == 1, f"exit status {result.returncode}, expected 1")
    refused = sorted(line.split(": ")[0] for line in result.stdout.splitlines())
    check(refused == ["top/view.cpp:2", "user/main.cpp:3"],
          f"refused {refused}, expected top/view.cpp:2 and user/main.cpp:3")


def case_missing_graph(folder):
    """Without a configured build the check says so and fails."""
    result = run("--root", folder, "--graph", os.path.join(folder, "none.json"))
    check(result.returncode == 2, f"exit status {result.returncode}, expected 2")
    check("configure" in result.stderr, f"tells to configure: {result.stderr}")


def case_readme(_folder):
    """README.md's Folders table and "How it fits together" state the stack the links give."""
    result = run("--graph", GRAPH, "--print-stack")
    check(result.returncode == 0, f"--print-stack failed: {result.stderr}")
    sentence, *clauses = result.stdout.splitlines()
    with open(README, encoding="utf-8") as file:
        readme = file.read()
    section = readme.split("## How it fits together", 1)[-1].split("\n## ", 1)[0]
    check(sentence in " ".join(section.split()),
          f'"How it fits together" should say, as the links do:\n  {sentence}')
    for line in clauses:
        folder, clause = line.split(": ", 1)
        row = re.search(rf"^\| `{re.escape(folder)}` \|.*$", readme, re.MULTILINE)
        stated = row and re.search(r"uses ((?:`[^`]+/`(?:, | and )?)+|nothing else)", row.group(0))
        check(stated and "uses " + stated.group(1) == clause,
              f"the Folders row of {folder} should say: {clause}")


if __name__ == "__main__":
    case = globals()["case_" + sys.argv[4]]
    with tempfile.TemporaryDirectory() as scratch:
        case(scratch)
    sys.exit(1 if failures else 0)
