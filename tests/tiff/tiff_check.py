#!/usr/bin/env python3
"""`vutil view` and `vutil fax` against libtiff's own decoding.

A drawing page (the demo's PNG, thresholded) and a noisy page with thin lines are saved
by libtiff's tools in every coding, fill order, byte order, photometric interpretation and
layout the reader takes; libtiff writes the Modified Huffman and byte-aligned fax files
through its library. Each file is drawn at native size and compared bit for bit with what
`tiffcp -c none` makes of it. Damaged files must end in a message or a correct picture.

usage: tiff_check.py VUTIL WORKDIR [HOSTILE_DIR] [--no-memory-limit]
"""
import ctypes
import os
import random
import re
import resource
import struct
import subprocess
import sys
import zlib

VUTIL, WORK = sys.argv[1], sys.argv[2]
HOSTILE = next((a for a in sys.argv[3:] if not a.startswith("--")), "")
MEMORY_LIMIT = "--no-memory-limit" not in sys.argv
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)
    return condition


def limits():
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))


def run(args, limit=False, timeout=120):
    return subprocess.run([str(a) for a in args], capture_output=True, timeout=timeout,
                          preexec_fn=limits if limit and MEMORY_LIMIT else None)


def need(args):
    result = run(args)
    if result.returncode != 0:
        sys.exit(f"{' '.join(map(str, args))} failed: {result.stderr.decode(errors='replace')}")


def path(name):
    return os.path.join(WORK, name)


# ---- pictures as rows of packed bits, 1 for ink ------------------------------------------

def read_png(name):
    """8-bit grey or RGB(A) PNG as (width, height, channels, rows)."""
    data = open(name, "rb").read()
    at, chunks = 8, {}
    idat = b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IDAT":
            idat += body
        else:
            chunks[kind] = body
        at += 12 + length
    width, height, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    assert depth == 8, depth
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride, rows, previous = width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b, c = previous[x], previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def pack(bits):
    out = bytearray((len(bits) + 7) // 8)
    for x, bit in enumerate(bits):
        if bit:
            out[x // 8] |= 0x80 >> (x % 8)
    return bytes(out)


def write_pbm(name, width, rows):
    with open(name, "wb") as out:
        out.write(b"P4\n%d %d\n" % (width, len(rows)))
        out.write(b"".join(rows))


def read_pbm(name):
    data = open(name, "rb").read()
    match = re.match(rb"P4\s+(\d+)\s+(\d+)\s", data)
    width, height = int(match.group(1)), int(match.group(2))
    row_bytes, at = (width + 7) // 8, match.end()
    return width, [data[at + y * row_bytes:at + (y + 1) * row_bytes] for y in range(height)]


def masked(width, rows):
    """Rows with the bits past the width cleared."""
    keep = (0xFF00 >> (width % 8)) & 0xFF if width % 8 else 0xFF
    return [row[:-1] + bytes([row[-1] & keep]) for row in rows]


def libtiff_rows(tif, page=0):
    """libtiff's decoding of a page: tiffcp to one uncompressed little-endian strip, read here."""
    out = path("oracle.tif")
    need(["tiffcp", "-c", "none", "-s", "-r", "1000000", "-f", "msb2lsb", "-L", f"{tif},{page}", out])
    data = open(out, "rb").read()
    u16 = lambda at: struct.unpack_from("<H", data, at)[0]
    u32 = lambda at: struct.unpack_from("<I", data, at)[0]
    ifd, tags = u32(4), {}
    for i in range(u16(ifd)):
        entry = ifd + 2 + 12 * i
        tag, kind, count = u16(entry), u16(entry + 2), u32(entry + 4)
        value = u16(entry + 8) if kind == 3 and count == 1 else u32(entry + 8)
        if count > 1 and tag in (273, 279):
            size = 2 if kind == 3 else 4
            value = [struct.unpack_from("<H" if size == 2 else "<I", data, value + size * k)[0] for k in range(count)]
        tags[tag] = value if isinstance(value, list) else [value] if tag in (273, 279) else value
    width, height = tags[256], tags[257]
    pixels = b"".join(data[o:o + n] for o, n in zip(tags[273], tags[279]))
    row_bytes = (width + 7) // 8
    rows = [pixels[y * row_bytes:(y + 1) * row_bytes] for y in range(height)]
    if tags.get(262, 0) == 1:  # 0 is black: ink is the zero bits
        rows = [bytes(255 - b for b in row) for row in rows]
    return width, masked(width, rows)


def view(tif, out, *options, limit=True):
    return run([VUTIL, "view", tif, "-o", out, *options], limit=limit)


def same_as_libtiff(tif, label, page=0, extents=None, png=False):
    width, expected = libtiff_rows(tif, page)
    out = path("view.png" if png else "view.pbm")
    options = ["--size", "native", "--page", str(page + 1)]
    if extents:
        x0, y0, x1, y1 = extents
        options += ["--extents", f"{x0},{y0},{x1},{y1}"]
        expected = [pack([(row[x // 8] >> (7 - x % 8)) & 1 for x in range(x0, x1)]) for row in expected[y0:y1]]
        width = x1 - x0
    result = view(tif, out, *options)
    if not check(result.returncode == 0, f"{label}: vutil view failed: {result.stderr.decode(errors='replace')}"):
        return
    if png:  # one source pixel to each output pixel: ink is 0, the rest 255
        got_width, height, channels, grey = read_png(out)
        got = [pack([row[x * channels] == 0 for x in range(got_width)]) for row in grey]
        check(all(v in (0, 255) for row in grey for v in row), f"{label}: greys at native size")
    else:
        got_width, got = read_pbm(out)
    check(got_width == width and masked(width, got) == expected, f"{label}: pixels differ from libtiff's")


# ---- the pages -----------------------------------------------------------------------------

def drawing_page():
    """The demo's drawing, thresholded: ink wherever a pixel is not near white."""
    need([VUTIL, "demo", "--out", path("demo")])
    width, height, channels, rows = read_png(path("demo/drawing.png"))
    bits = [pack([min(row[x * channels:x * channels + 3]) < 200 for x in range(width)]) for row in rows]
    write_pbm(path("drawing.pbm"), width, bits)
    return width, bits


def noise_page(width=1729, height=150):
    """Thin lines, rectangles, scattered dots and whole black rows: every kind of code."""
    rng = random.Random(7)
    grid = [[0] * width for _ in range(height)]
    for _ in range(40):
        x, y, w, h = rng.randrange(width), rng.randrange(height), rng.randrange(1, 900), rng.randrange(1, 9)
        for yy in range(y, min(height, y + h)):
            for xx in range(x, min(width, x + w)):
                grid[yy][xx] ^= 1
    for y in range(height):
        grid[y][(y * 13) % width] = 1
        for _ in range(rng.randrange(30)):
            grid[y][rng.randrange(width)] ^= 1
    grid[5] = [1] * width
    bits = [pack(row) for row in grid]
    write_pbm(path("noise.pbm"), width, bits)
    return width, bits


def libtiff_writer(name, width, rows, compression, fill_order=1, fax_mode=None, t4=None):
    """A TIFF written by libtiff itself, for codings its tools do not make."""
    lib = ctypes.CDLL("libtiff.so.6")
    lib.TIFFOpen.restype = ctypes.c_void_p
    lib.TIFFOpen.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    handle = ctypes.c_void_p(lib.TIFFOpen(name.encode(), b"w"))
    fields = [(256, width), (257, len(rows)), (258, 1), (277, 1), (259, compression), (262, 0),
              (266, fill_order), (278, 40)]
    fields += [(292, t4)] if t4 is not None else []
    fields += [(65536, fax_mode)] if fax_mode is not None else []
    for tag, value in fields:
        assert lib.TIFFSetField(handle, ctypes.c_uint32(tag), ctypes.c_int(value)) == 1, tag
    for y, row in enumerate(rows):
        buffer = (ctypes.c_ubyte * len(row)).from_buffer_copy(row)
        assert lib.TIFFWriteScanline(handle, buffer, ctypes.c_uint32(y), ctypes.c_uint16(0)) == 1
    lib.TIFFClose(handle)


def first_strip(tif):
    """The bytes of the first strip of a one-strip TIFF file of either byte order."""
    data = open(tif, "rb").read()
    order = "<" if data[:2] == b"II" else ">"
    ifd = struct.unpack_from(order + "I", data, 4)[0]
    tags = {}
    for i in range(struct.unpack_from(order + "H", data, ifd)[0]):
        tag, kind, count = struct.unpack_from(order + "HHI", data, ifd + 2 + 12 * i)
        tags[tag] = struct.unpack_from(order + ("H" if kind == 3 else "I"), data, ifd + 10 + 12 * i)[0]
    return data[tags[273]:tags[273] + tags[279]]


def main():
    os.makedirs(WORK, exist_ok=True)
    width, bits = drawing_page()
    noise_width, noise = noise_page()
    need(["ppm2tiff", "-c", "none", "-R", "400", path("drawing.pbm"), path("drawing.tif")])
    need(["ppm2tiff", "-c", "none", path("noise.pbm"), path("noise.tif")])
    # The drawing as libtiff reads it back is the page itself.
    check(libtiff_rows(path("drawing.tif"))[1] == masked(width, bits), "ppm2tiff changed the drawing")

    variants = [
        ("none", ["-c", "none", "-r", "64"]),
        ("packbits", ["-c", "packbits", "-r", "100"]),
        ("g3", ["-c", "g3"]),
        ("g3-fill", ["-c", "g3:fill", "-r", "77"]),
        ("g3-2d", ["-c", "g3:2d", "-r", "40"]),
        ("g3-2d-fill", ["-c", "g3:2d:fill"]),
        ("g4", ["-c", "g4", "-r", "128"]),
        ("g4-lsb", ["-c", "g4", "-f", "lsb2msb"]),
        ("g3-2d-lsb", ["-c", "g3:2d:fill", "-f", "lsb2msb", "-r", "50"]),
        ("packbits-lsb", ["-c", "packbits", "-f", "lsb2msb"]),
        ("none-lsb", ["-c", "none", "-f", "lsb2msb"]),
        ("g4-big", ["-c", "g4", "-B"]),
        ("g3-big", ["-c", "g3", "-B", "-r", "30"]),
        ("packbits-big", ["-c", "packbits", "-B", "-r", "9"]),
        ("g4-tiles", ["-c", "g4", "-t", "-w", "256", "-l", "128"]),
        ("packbits-tiles-big", ["-c", "packbits", "-t", "-w", "128", "-l", "64", "-B"]),
        ("none-tiles", ["-c", "none", "-t", "-w", "512", "-l", "256"]),
        ("g3-2d-tiles-lsb", ["-c", "g3:2d:fill", "-t", "-w", "256", "-l", "256", "-f", "lsb2msb"]),
    ]
    for source in ("drawing", "noise"):
        for label, options in variants:
            tif = path(f"{source}-{label}.tif")
            need(["tiffcp", *options, path(f"{source}.tif"), tif])
            same_as_libtiff(tif, f"{source} {label}")
            if label in ("g4", "none", "packbits-tiles-big"):
                # The same data read with 0 as black: tiffset changes only the interpretation.
                flipped = path(f"{source}-{label}-black0.tif")
                need(["tiffcp", tif, flipped])
                need(["tiffset", "-s", "262", "1", flipped])
                same_as_libtiff(flipped, f"{source} {label} photometric 1")

    # Modified Huffman (compression 2), which only libtiff's library writes, in both fill orders.
    for fill in (1, 2):
        for source, w, rows in (("drawing", width, bits), ("noise", noise_width, noise)):
            tif = path(f"{source}-mh-{fill}.tif")
            libtiff_writer(tif, w, rows, 2, fill_order=fill)
            same_as_libtiff(tif, f"{source} modified huffman fill order {fill}")

    # Several pages: each one as libtiff reads it, and a page past the last refused.
    multi = path("multi.tif")
    need(["tiffcp", "-c", "g4", path("drawing.tif"), path("noise-packbits-big.tif"), path("drawing-g3-2d-tiles-lsb.tif"), multi])
    for page in range(3):
        same_as_libtiff(multi, f"multi page {page + 1}", page=page)
    result = view(multi, path("x.pbm"), "--page", "4")
    check(result.returncode == 1 and b"no page 4 (the file has 3 pages)" in result.stderr, "page 4 of 3 accepted")
    same_as_libtiff(path("drawing-g4-tiles.tif"), "window of tiles", extents=(100, 200, 731, 457))
    same_as_libtiff(path("noise-g3-2d.tif"), "window of strips", extents=(0, 41, 1729, 42))
    # A PNG of 256 rows or more is deflated in two halves at once, joined into one stream.
    same_as_libtiff(path("drawing-g4.tif"), "native PNG", png=True)

    # Fitting: darkness is kept (area averaging), a thin line survives a tenfold reduction.
    result = view(path("drawing-g4.tif"), path("fit.png"), "--size", "320x240")
    if check(result.returncode == 0, "fitting failed"):
        w, h, channels, grey = read_png(path("fit.png"))
        check((w, h) == (304, 240), f"fitted size {w}x{h}")
        ink = sum(bin(b).count("1") for row in masked(width, bits) for b in row) / (width * len(bits))
        dark = sum(255 - row[x * channels] for row in grey for x in range(w)) / (255 * w * h)
        check(abs(dark - ink) < 0.1 * ink, f"darkness {dark:.4f} against ink {ink:.4f}")
    line = [pack([x == 517 or y == 333 for x in range(1000)]) for y in range(1000)]
    write_pbm(path("line.pbm"), 1000, line)
    need(["ppm2tiff", "-c", "none", path("line.pbm"), path("line.tif")])
    need(["tiffcp", "-c", "g4", path("line.tif"), path("line-g4.tif")])
    result = view(path("line-g4.tif"), path("line.png"), "--size", "100x100")
    if check(result.returncode == 0, "thin line failed"):
        w, h, channels, grey = read_png(path("line.png"))
        column = [all(row[x * channels] < 255 for row in grey) for x in range(w)]
        lines = [all(row[x * channels] < 255 for x in range(w)) for row in grey]
        check(column.count(True) == 1 and lines.count(True) == 1, "the one-pixel lines did not survive")
        check(sum(row[x * channels] < 255 for row in grey for x in range(w)) == 199, "ink beyond the lines")

    # `vutil fax` on the strips of libtiff's byte-aligned codings.
    for coding, compression, mode, name in (("mh", 2, None, "mh"), ("g3", 3, 4, "g3"), ("g3-2d", 3, 4, "g3-2d")):
        tif = path(f"aligned-{name}.tif")
        libtiff_writer(tif, noise_width, noise[:40], compression, fax_mode=mode, t4=1 if coding == "g3-2d" else None)
        with open(path("strip.raw"), "wb") as out:
            out.write(first_strip(tif))
        result = run([VUTIL, "fax", noise_width, 40, coding, path("strip.raw"), path("strip.pbm"), "--msb-first",
                      "--byte-aligned"])
        if check(result.returncode == 0, f"fax {coding} byte-aligned: {result.stderr.decode(errors='replace')}"):
            check(read_pbm(path("strip.pbm"))[1] == masked(noise_width, noise[:40]), f"fax {coding} byte-aligned differs")

    # Refusals with a reason.
    need(["tiffcp", "-8", "-c", "g4", path("drawing.tif"), path("big.tif")])
    need(["tiffcp", "-c", "lzw", path("drawing.tif"), path("lzw.tif")])
    with open(path("colour.ppm"), "wb") as out:
        out.write(b"P6\n4 4\n255\n" + bytes(range(48)))
    need(["ppm2tiff", path("colour.ppm"), path("colour.tif")])
    data = open(path("drawing-g4.tif"), "rb").read()
    open(path("cut.tif"), "wb").write(data[:len(data) // 3])
    for name, reason in (("big.tif", "BigTIFF"), ("lzw.tif", "compression 5 is not read"),
                         ("colour.tif", "colour images are not read"), ("demo/drawing.png", "unknown format"),
                         ("cut.tif", "")):
        result = view(path(name), path("refused.png"))
        message = result.stderr.decode(errors="replace")
        check(result.returncode == 1 and message.startswith(f"vutil view: {path(name)}: ") and reason in message,
              f"{name}: {result.returncode} {message}")
    check(not os.path.exists(path("refused.png")), "a refused file left a picture")

    # Damaged files: a message or libtiff's picture, never a crash, a hang or runaway memory.
    for name in sorted(os.listdir(HOSTILE)) if HOSTILE else []:
        tif = os.path.join(HOSTILE, name)
        try:
            result = view(tif, path("hostile.pbm"), "--size", "native")
        except subprocess.TimeoutExpired:
            check(False, f"{name}: no end")
            continue
        message = result.stderr.decode(errors="replace")
        if result.returncode == 1:
            check(re.match(r"vutil view: .+: \S", message) is not None, f"{name}: no reason: {message}")
        elif check(result.returncode == 0, f"{name}: exit {result.returncode} {message}"):
            reference = run(["tiffcp", "-c", "none", "-s", "-r", "1000000", "-f", "msb2lsb", "-L", tif, path("o.tif")])
            if reference.returncode == 0:
                w, expected = libtiff_rows(tif)
                check(masked(w, read_pbm(path("hostile.pbm"))[1]) == expected, f"{name}: picture differs from libtiff's")
        print(f"{name}: {result.returncode} {message.strip()}")

    if failures:
        sys.exit(f"{len(failures)} failures")
    print("all pictures as libtiff decodes them")


main()
