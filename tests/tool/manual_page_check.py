#!/usr/bin/env python3
"""Holds the manual page docs/vutil.1 and the tool's --help together.

  manual_page_check.py VUTIL MANUAL_PAGE

The commands `vutil --help` lists are the page's command sections, in the same order; each section's synopsis is
the usage line the command's --help prints; every option that --help names has an entry; the exit status section
has the three codes the --help ends with. Prints each difference and exits 1 when there is one.
"""
import os
import re
import shlex
import subprocess
import sys


def plain(roff):
    """The text of roff source: requests kept as lines, font changes and escapes undone."""
    text = re.sub(r"\\f[BIRP]|\\fP", "", roff)
    text = text.replace(r"\-", "-").replace(r"\e", "\\").replace(r"\(mu", "x").replace(r"\(em", "--")
    return text


def run(tool, *args):
    emulator = shlex.split(os.environ.get("VUTIL_TOOL_EMULATOR", ""))  # for instance wine
    done = subprocess.run([*emulator, tool, *args], capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout


def main(tool, page_path):
    with open(page_path, encoding="utf-8") as f:
        page = plain(f.read()).splitlines()
    faults = []
    status, overview = run(tool, "--help")
    if status != 0:
        faults.append(f"vutil --help exits {status}")
    listed = re.findall(r"^  (\S+)\s", overview.split("commands:", 1)[-1], re.M)
    sections = [line.split(None, 1)[1].strip() for line in page if line.startswith(".SS ")]
    if listed != sections:
        faults.append(f"--help lists the commands {listed}, the page's sections are {sections}")
    for name in listed:
        status, text = run(tool, name, "--help")
        usage = text.splitlines()[0].removeprefix("usage: ").rstrip() if text else ""
        start = page.index(f".SS {name}") if f".SS {name}" in page else len(page)
        end = next((i for i in range(start + 1, len(page)) if page[i].startswith((".SS ", ".SH "))), len(page))
        section = page[start:end]
        if status != 0:
            faults.append(f"vutil {name} --help exits {status}")
        if usage not in section:
            faults.append(f"{name}: the page's synopsis is not the usage line '{usage}'")
        entries = " ".join(section[i] for i in range(1, len(section)) if section[i - 1] == ".TP")
        for option in sorted(set(re.findall(r"(?<![\w-])(--?[a-z][\w-]*)", text)) - {"--help", "-h"}):
            if not re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", entries):
                faults.append(f"{name}: --help names {option}, which has no entry on the page")
    codes = re.search(r"exit status: (.*)", overview)
    exit_section = page[page.index(".SH EXIT STATUS"):] if ".SH EXIT STATUS" in page else []
    for code in re.findall(r"(\d+) [a-z]", codes.group(1) if codes else ""):
        if f".B {code}" not in exit_section:
            faults.append(f"exit status {code} of --help is not in the page's EXIT STATUS section")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
