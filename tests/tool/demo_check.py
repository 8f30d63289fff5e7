"""Checks the demo's drawing and page: runs `vutil demo`, expands drawing.Z with gzip and
ncompress, reads its records with struct, and compares the SVG page (parsed as XML) and
the PNG with the entity list.

usage: demo_check.py VUTIL WORKDIR {png|no-png}
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zlib

KINDS = {1: "line", 2: "polyline", 3: "arc", 4: "text", 5: "region"}


def fail(message):
    sys.exit("demo_check: " + message)


def entity_kinds(data):
    """The kinds of the entities, read from the drawing's records as the format lays them out:
    a header «C4 I2 L1 D4 D3 D1» and entities of a head «I2 L1» and a body by kind."""
    magic, version, _, count = struct.unpack_from("<4shhi", data, 0)
    if magic != b"VDRW" or version != 1:
        fail("drawing.Z does not expand to a drawing: %r" % data[:8])
    at = 76
    kinds, texts = [], []
    for _ in range(count):
        kind, _, n = struct.unpack_from("<hhi", data, at)
        at += 8
        if kind == 4:
            texts.append(data[at + 52:at + 52 + n].decode("latin-1"))
        at += {1: 48, 2: 24 * n, 3: 56, 4: 52 + n, 5: 4 + 24 * n}[kind]
        kinds.append(KINDS[kind])
    if at != len(data):
        fail("the drawing has %d bytes after its %d entities" % (len(data) - at, count))
    return kinds, texts


def numbers(d):
    return [float(v) for v in re.findall(r"-?\d+(?:\.\d+)?", d)]


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
    shutil.rmtree(work, ignore_errors=True)
    run = subprocess.run([vutil, "demo", "--out", work], capture_output=True, text=True)
    if run.returncode != 0 or run.stderr:
        fail("vutil demo exited with %d: %s" % (run.returncode, run.stderr))

    expanded = subprocess.run(["gzip", "-dc", work + "/drawing.Z"], capture_output=True, check=True).stdout
    # Debian's ncompress installs its decoder as uncompress.real; plain uncompress is gzip's script.
    ncompress = shutil.which("uncompress.real")
    if ncompress:
        again = subprocess.run([ncompress, "-c", work + "/drawing.Z"], capture_output=True, check=True).stdout
        if again != expanded:
            fail("gzip and ncompress expand drawing.Z differently")
    kinds, texts = entity_kinds(expanded)

    svg = ElementTree.parse(work + "/drawing.svg").getroot()
    if svg.tag != "{http://www.w3.org/2000/svg}svg":
        fail("the page's root is %s" % svg.tag)
    paths = svg.findall(".//{http://www.w3.org/2000/svg}path")
    # The window's frame, then one path per entity in the file's order.
    expected = ["window"] + kinds
    found = [p.get("class") for p in paths]
    if found != expected:
        fail("%d paths of kinds %s; the drawing's entities ask for %d: %s" % (len(found), found, len(expected), expected))

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
