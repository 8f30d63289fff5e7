#!/usr/bin/env python3
"""Line and branch coverage of each subsystem, from a build of the coverage preset whose tests have run.

  cmake --workflow --preset coverage && tools/coverage_report.py [BUILD_DIR] [--files]

BUILD_DIR defaults to build/coverage. Counts come from gcovr (Debian's gcovr): library code only (the tests,
harnesses and benchmarks are not counted), branches without those of exception paths the compiler adds. --files
also lists each file below 90% of its lines.
"""
import json
import os
import subprocess
import sys
from collections import defaultdict

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SUBSYSTEMS = ["frame", "runtime", "fileio", "storage", "raster", "geometry", "text", "platform", "tools"]


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, "build", "coverage"))
    if not os.path.isdir(build):
        print(f"coverage_report: no build in {build}; run cmake --workflow --preset coverage", file=sys.stderr)
        return 2
    filters = [f"--filter={ROOT}/{s}/" for s in SUBSYSTEMS]
    out = subprocess.run(["gcovr", "--root", ROOT, "--object-directory", build, "--json-summary", "-",
                          "--exclude-throw-branches", "--exclude-unreachable-branches", *filters],
                         check=True, capture_output=True, text=True).stdout
    totals = defaultdict(lambda: [0, 0, 0, 0])
    low = []
    for f in json.loads(out)["files"]:
        subsystem = f["filename"].split("/")[0]
        counts = totals[subsystem]
        for i, key in enumerate(["line_covered", "line_total", "branch_covered", "branch_total"]):
            counts[i] += f[key]
        if f["line_total"] and f["line_covered"] < 0.9 * f["line_total"]:
            low.append(f"  {f['filename']}: {100 * f['line_covered'] / f['line_total']:.1f}% of "
                       f"{f['line_total']} lines")
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
