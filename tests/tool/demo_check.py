"""Checks the demo's drawing and page: runs `vutil demo`, expands drawing.Z with gzip and
ncompress, reads its records with struct, and compares the SVG page (parsed as XML) and
the PNG with the entity list. With --page, the page's shapes are also compared with those
of a page the tool drew on another host (made with --write-page): the same paths in the
same order, each with the same classes, colours and drawing commands, and coordinates
that differ by no more than the last printed digit.

usage: demo_check.py VUTIL WORKDIR {png|no-png} [--page FILE | --write-page FILE]
The environment's VUTIL_TOOL_EMULATOR, if set, runs the tool (for instance wine).
"""
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zlib

KINDS = {1: "line", 2: "polyline", 3: "arc", 4: "text", 5: "region"}
OUTLINE_TEXT = 0x10000  # a text flag: set in the host's outline font


def fail(message):
    sys.exit("demo_check: " + message)


def entity_kinds(data):
    """The kinds of the entities, read from the drawing's records as the format lays them out:
    a header «C4 I2 L1 D4 D3 D1» and entities of a head «I2 L1» and a body by kind."""
    magic, version, _, count = struct.unpack_from("<4shhi", data, 0)
    if magic != b"VDRW" or version != 1:
        fail("drawing.Z does not expand to a drawing: %r" % data[:8])
    at = 76
    kinds, texts, outline = [], [], set()
    for _ in range(count):
        kind, _, n = struct.unpack_from("<hhi", data, at)
        at += 8
        if kind == 4:
            texts.append(data[at + 52:at + 52 + n].decode("latin-1"))
            if struct.unpack_from("<i", data, at + 48)[0] & OUTLINE_TEXT:
                outline.add(len(kinds))
        at += {1: 48, 2: 24 * n, 3: 56, 4: 52 + n, 5: 4 + 24 * n}[kind]
        kinds.append(KINDS[kind])
    if at != len(data):
        fail("the drawing has %d bytes after its %d entities" % (len(data) - at, count))
    return kinds, texts, outline


def numbers(d):
    return [float(v) for v in re.findall(r"-?\d+(?:\.\d+)?", d)]


def page_shapes(paths, host_font):
    """One line per path: class, fill and stroke, its drawing commands, its coordinates. The glyphs of a text in the
    host's outline font are the host's own (each host has its fonts), so only that the text is drawn counts there."""
    lines = []
    for index, path in enumerate(paths):
        d = path.get("d") or ""
        if index in host_font:
            lines.append("%s %s %s host-font %s" % (path.get("class"), path.get("fill"), path.get("stroke"),
                                                    "drawn" if d else "empty"))
            continue
        lines.append("%s %s %s %s %s" % (path.get("class"), path.get("fill"), path.get("stroke"),
                                         "".join(re.findall(r"[A-Za-z]", d)) or "-",
                                         " ".join(re.findall(r"-?\d+(?:\.\d+)?", d))))
    return lines


def compare_pages(found, reference):
    """Fails unless two pages hold the same shapes; coordinates may differ by 0.01 (printed to two decimals, a
    last-bit difference of a host's sine can round either way)."""
    if len(found) != len(reference):
        fail("the page has %d paths, the reference %d" % (len(found), len(reference)))
    for index, (ours, theirs) in enumerate(zip(found, reference)):
        ours, theirs = ours.split(" ", 4), theirs.split(" ", 4)
        if ours[:4] != theirs[:4] or (ours[3] == "host-font" and ours != theirs):
            fail("path %d is %s, in the reference %s" % (index, " ".join(ours[:4])[:200], " ".join(theirs[:4])[:200]))
        if ours[3] == "host-font":
            continue
        a, b = [float(v) for v in ours[4].split()], [float(v) for v in theirs[4].split()]
        if len(a) != len(b):
            fail("path %d (%s) has %d coordinates, in the reference %d" % (index, ours[0], len(a), len(b)))
        worst = max((abs(x - y) for x, y in zip(a, b)), default=0.0)
        if worst > 0.0101:
            fail("path %d (%s) lies up to %.2f away from the reference's" % (index, ours[0], worst))


def png_pixels(blob):
    """The width, height and rows of RGB triples of an 8-bit RGB or RGBA PNG without interlace."""
    at, chunks = 8, {}
    while at < len(blob):
        length, kind = struct.unpack_from(">I4s", blob, at)
        chunks.setdefault(kind, b"")
        chunks[kind] += blob[at + 8:at + 8 + length]
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        fail("drawing.png has depth %d, colour type %d, interlace %d" % (depth, colour, interlace))
    step = 3 if colour == 2 else 4
    raw, stride, rows, previous = zlib.decompress(chunks[b"IDAT"]), width * step, [], bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a, b = line[i - step] if i >= step else 0, previous[i]
            c = previous[i - step] if i >= step else 0
            p = a + b - c
            nearest = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
            line[i] = (line[i] + [0, a, b, (a + b) // 2, nearest][kind]) & 0xFF
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def main():
    vutil, work, with_png = sys.argv[1], sys.argv[2], sys.argv[3] == "png"
    option, page = (sys.argv[4], sys.argv[5]) if len(sys.argv) == 6 else (None, None)
    shutil.rmtree(work, ignore_errors=True)
    emulator = shlex.split(os.environ.get("VUTIL_TOOL_EMULATOR", ""))
    run = subprocess.run(emulator + [vutil, "demo", "--out", work], capture_output=True, text=True)
    # An emulator's own diagnostics (Wine's "0048:err:..." lines) are not the tool's.
    stderr = "".join(line for line in run.stderr.splitlines(True)
                     if not (emulator and re.match(r"[0-9a-f]{4}:(err|fixme|warn|trace):", line)))
    if run.returncode != 0 or stderr:
        fail("vutil demo exited with %d: %s" % (run.returncode, stderr))

    expanded = subprocess.run(["gzip", "-dc", work + "/drawing.Z"], capture_output=True, check=True).stdout
    # Debian's ncompress installs its decoder as uncompress.real; plain uncompress is gzip's script.
    ncompress = shutil.which("uncompress.real")
    if ncompress:
        again = subprocess.run([ncompress, "-c", work + "/drawing.Z"], capture_output=True, check=True).stdout
        if again != expanded:
            fail("gzip and ncompress expand drawing.Z differently")
    kinds, texts, outline = entity_kinds(expanded)

    svg = ElementTree.parse(work + "/drawing.svg").getroot()
    if svg.tag != "{http://www.w3.org/2000/svg}svg":
        fail("the page's root is %s" % svg.tag)
    paths = svg.findall(".//{http://www.w3.org/2000/svg}path")
    # The window's frame, then one path per entity in the file's order.
    expected = ["window"] + kinds
    found = [p.get("class") for p in paths]
    if found != expected:
        fail("%d paths of kinds %s; the drawing's entities ask for %d: %s" % (len(found), found, len(expected), expected))

    if option == "--write-page":
        with open(page, "w") as out:
            out.write("\n".join(page_shapes(paths, {i + 1 for i in outline})) + "\n")
    elif option == "--page":
        with open(page) as reference:
            compare_pages(page_shapes(paths, {i + 1 for i in outline}), reference.read().splitlines())
    elif option is not None:
        fail("unknown option %s" % option)

    frame = numbers(paths[0].get("d"))
    left, right = min(frame[0::2]), max(frame[0::2])
    top, bottom = min(frame[1::2]), max(frame[1::2])
    segments = spans = drawn = 0
    for path in paths[1:]:
        values = numbers(path.get("d"))
        xs, ys = values[0::2], values[1::2]
        # Everything lies in the window; a fill span may reach one pixel past its edge pixels.
        slack = 1.001 if path.get("class") == "region" else 0.001
        if any(x < left - slack or x > right + slack for x in xs) or any(y < top - slack or y > bottom + slack for y in ys):
            fail("a %s reaches outside the window %s: %s" % (path.get("class"), frame, path.get("d")[:200]))
        if path.get("class") == "region":
            spans += path.get("d").count("M")
        else:
            segments += path.get("d").count("L")
        drawn += 1 if values else 0
    # Each letter and digit of a text takes at least one stroke, in any font.
    for text, path in zip(texts, [p for p in paths if p.get("class") == "text"]):
        letters = sum(c.isalnum() for c in re.sub("%%[a-z]", "", text))
        if path.get("d").count("L") < letters:
            fail("the text %r is drawn with %d segments" % (text, path.get("d").count("L")))
    if drawn < len(kinds) - 2:
        fail("only %d of %d entities left anything in the window" % (drawn, len(kinds)))

    summary = re.search(r"read back: (\d+) entities \(([^)]*)\): (\d+) segments, (\d+) spans in [\d.]+ ms", run.stdout)
    if not summary:
        fail("no summary line in:\n" + run.stdout)
    listed = dict((name.rstrip("s"), int(n)) for n, name in re.findall(r"(\d+) (\w+)", summary.group(2)))
    if int(summary.group(1)) != len(kinds) or any(listed[k] != kinds.count(k) for k in set(kinds)):
        fail("the summary %s does not count the drawing's entities %s" % (summary.group(0), kinds))
    if (int(summary.group(3)), int(summary.group(4))) != (segments, spans):
        fail("the summary says %s segments and %s spans, the page holds %d and %d"
             % (summary.group(3), summary.group(4), segments, spans))

    if not with_png:
        if os.path.exists(work + "/drawing.png"):
            fail("a vutil without cairo wrote drawing.png")
        print("demo_check: %d paths for %d entities, %d segments, %d spans; no PNG" % (len(paths), len(kinds), segments, spans))
        return ncompress
    with open(work + "/drawing.png", "rb") as png:
        blob = png.read()
    if blob[:8] != b"\x89PNG\r\n\x1a\n":
        fail("drawing.png is not a PNG")
    width, height, rows = png_pixels(blob)
    if (width, height) != (int(svg.get("width")), int(svg.get("height"))):
        fail("drawing.png is %dx%d, the SVG page %sx%s" % (width, height, svg.get("width"), svg.get("height")))
    # Every colour the page fills with is in the image, and something is drawn besides white.
    colours = {}
    for row in rows:
        for pixel in row:
            colours[pixel] = colours.get(pixel, 0) + 1
    for path in paths:
        if path.get("fill") != "none" and path.get("d"):
            fill = tuple(int(path.get("fill")[i:i + 2], 16) for i in (1, 3, 5))
            if colours.get(fill, 0) < 10:
                fail("drawing.png holds %d pixels of the fill %s" % (colours.get(fill, 0), path.get("fill")))
    if colours.get((255, 255, 255), 0) > 0.98 * width * height:
        fail("drawing.png is almost all white")
    print("demo_check: %d paths for %d entities, %d segments, %d spans" % (len(paths), len(kinds), segments, spans))
    return ncompress


if not main():
    print("demo_check: uncompress.real not found: install ncompress to compare with it", file=sys.stderr)
    sys.exit(77)  # the test's SKIP_RETURN_CODE
