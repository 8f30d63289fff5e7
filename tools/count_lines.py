#!/usr/bin/env python3
"""Counts the non-blank, non-comment lines of the C and C++ files of the tests and of the code.

  tools/count_lines.py            tests/, then the library, headers and tool, and their ratio
  tools/count_lines.py PATH...    the total for the given files and directories

Comments are // to the end of the line and /* ... */; string and character literals are kept
as they are, so that a "//" inside one does not end the line.
"""
import os
import re
import sys

SOURCE = re.compile(r"\.(c|cc|cpp|cxx|h|hh|hpp)$")
CODE = ["frame", "runtime", "fileio", "storage", "raster", "geometry", "text", "platform", "include", "tools"]


def without_comments(text):
    out, i, n, quote = [], 0, len(text), None
    while i < n:
        c = text[i]
        if quote:
            out.append(c)
            if c == "\\" and i + 1 < n:
                out.append(text[i + 1])
                i += 1
            elif c == quote or c == "\n":
                quote = None
            i += 1
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isdigit())):  # 1'000 is a digit separator
            quote = c
            out.append(c)
            i += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("\n" * text.count("\n", i, end))
            i = end
        else:
            out.append(c)
            i += 1
    return "".join(out)


def count(paths, root):
    total = 0
    for path in paths:
        path = os.path.join(root, path)
        files = [path] if os.path.isfile(path) else [os.path.join(d, f) for d, _, fs in os.walk(path) for f in fs]
        for name in files:
            if SOURCE.search(name):
                with open(name, encoding="utf-8", errors="replace") as f:
                    total += sum(1 for line in without_comments(f.read()).split("\n") if line.strip())
    return total


if __name__ == "__main__":
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if len(sys.argv) > 1:
        print(count(sys.argv[1:], os.getcwd()))
    else:
        tests, code = count(["tests"], root), count(CODE, root)
        print(f"tests {tests}, code {code} (library, headers, tool): {100.0 * tests / code:.0f}%")
