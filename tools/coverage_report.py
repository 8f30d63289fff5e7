#!/usr/bin/env python3
"""Line and branch coverage of each subsystem, from a build of the coverage preset whose tests have run.

  cmake --workflow --preset coverage && tools/coverage_report.py [BUILD_DIR] [--files]

BUILD_DIR defaults to build/coverage. Counts come from gcovr (Debian's gcovr): library and tool code only (the
tests, harnesses and benchmarks themselves are not counted), branches without those of exception paths the compiler
adds. --files also lists each file below 90% of its lines.

The tool's sources are built into the tool, its unit tests (the tool's, the DXF reader's and the TIFF reader's)
and fuzz harnesses; gcovr 5 cannot merge one function's records from differently built copies, so each copy is
read on its own and the lines and branches taken by any of them are counted here.
"""
import json
import os
import subprocess
import sys
import tempfile
from collections import defaultdict

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY = ["frame", "runtime", "fileio", "storage", "raster", "geometry", "text", "platform"]
SUBSYSTEMS = LIBRARY + ["tools"]


def detailed(build, search, subsystems):
    """gcovr's per-line records of the subsystems' files, from the objects under search."""
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "coverage.json")
        subprocess.run(["gcovr", "--root", ROOT, "--object-directory", build, "--json", out,
                        "--exclude-throw-branches", "--exclude-unreachable-branches",
                        *[f"--filter={ROOT}/{s}/" for s in subsystems], search],
                       check=True, stdout=subprocess.DEVNULL)
        with open(out, encoding="utf-8") as f:
            return json.load(f)["files"]


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, "build", "coverage"))
    if not os.path.isdir(build):
        print(f"coverage_report: no build in {build}; run cmake --workflow --preset coverage", file=sys.stderr)
        return 2
    records = detailed(build, build, LIBRARY)
    for copy in ["tools", "tests/tool", "tests/dxf", "tests/tiff", "fuzz"]:
        if os.path.isdir(os.path.join(build, copy)):
            records += detailed(build, os.path.join(build, copy), ["tools"])
    # file -> line -> [taken, {branch index: taken}]
    lines = defaultdict(dict)
    for record in records:
        for line in record["lines"]:
            if line["gcovr/noncode"] or line["gcovr/excluded"]:
                continue
            seen = lines[record["file"]].setdefault(line["line_number"], [False, {}])
            seen[0] |= line["count"] > 0
            for i, branch in enumerate(b for b in line["branches"] if not b["throw"]):
                seen[1][i] = seen[1].get(i, False) or branch["count"] > 0
    totals = defaultdict(lambda: [0, 0, 0, 0])
    low = []
    for name, numbered in sorted(lines.items()):
        counts = [sum(taken for taken, _ in numbered.values()), len(numbered),
                  sum(sum(b.values()) for _, b in numbered.values()), sum(len(b) for _, b in numbered.values())]
        subsystem = totals[name.split("/")[0]]
        for i in range(4):
            subsystem[i] += counts[i]
        if counts[1] and counts[0] < 0.9 * counts[1]:
            low.append(f"  {name}: {100 * counts[0] / counts[1]:.1f}% of {counts[1]} lines")
    percent = lambda done, of: f"{100 * done / of:5.1f}%" if of else "    -"
    print(f"{'subsystem':<10} {'lines':>22} {'branches':>22}")
    for name in SUBSYSTEMS + ["total"]:
        c = [sum(t[i] for t in totals.values()) for i in range(4)] if name == "total" else totals.get(name)
        if c:
            print(f"{name:<10} {percent(c[0], c[1])} {c[0]:>7}/{c[1]:<7} {percent(c[2], c[3])} {c[2]:>7}/{c[3]:<7}")
    if "--files" in argv and low:
        print("files below 90% of their lines:")
        print("\n".join(low))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
