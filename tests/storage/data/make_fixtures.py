#!/usr/bin/python3
"""Makes the compound-document fixtures and their expected listings.

    cd tests/storage/data && /usr/bin/python3 make_fixtures.py

basic.cfb is written by libgsf (`gsf createole`, Debian's libgsf-bin) from a directory tree made here.
v4.cfb (4096-byte sectors, which gsf does not write), difat.cfb (more than 109 sector-table sectors, so that
the table's list continues in DIFAT sectors) and fragmented.cfb (streams whose sectors and mini sectors alternate)
come from the small writer below. Every valid file is read back with
python3-olefile, which writes expected.txt: for each storage its elements in directory order (shorter names first,
then by upper-cased UTF-16 code points), with each stream's size and FNV-1a 64 digest, and each name in code page
1252 (hex, '?' where a character has no form there).

hostile.txt describes damaged files as edits of hostile-base.cfb (or of v4.cfb and difat.cfb), each showing one
kind of fault that readers of this format have tripped over: loops in sector chains, indices past the end,
directory cycles, claimed sizes beyond the file, bad sector shifts, truncation, DIFAT loops, unterminated names.
The tests make each file from its line and list what must come of it. The script also writes the seeds of the
fuzz harness, fuzz/corpus/storage/.
"""

import os
import struct
import subprocess
import tempfile

import olefile

ENDOFCHAIN, FREESECT, FATSECT, DIFSECT, NOSTREAM = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF
SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")


def content(seed, size):
    """Reproducible bytes: a 32-bit linear congruential sequence, top byte of each step."""
    out = bytearray(size)
    x = seed * 2654435761 & 0xFFFFFFFF
    for i in range(size):
        x = (x * 1664525 + 1013904223) & 0xFFFFFFFF
        out[i] = x >> 24
    return bytes(out)


def fnv1a64(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def upper(c):
    u = c.upper()
    return u if len(u) == 1 else c


def order_key(name):
    units = name.encode("utf-16-le")
    return (len(units), [ord(upper(c)) for c in name])


# ---- A small writer -------------------------------------------------------

class Node:
    def __init__(self, name, data=None, children=None):
        self.name, self.data, self.children = name, data, children
        self.storage = children is not None


def place(streams, unit, interleave):
    """Numbers of the units (sectors or mini sectors) of each stream, one stream after the other, or taken in
    turn a unit each when `interleave`; and the order in which the units lie."""
    counts = {e.id: (len(e.data) + unit - 1) // unit for e in streams}
    numbers, order = {e.id: [] for e in streams}, []
    rounds = [[(e, k) for e in streams if k < counts[e.id]] for k in range(max(counts.values(), default=0))]
    units = [u for r in rounds for u in r] if interleave else [(e, k) for e in streams for k in range(counts[e.id])]
    for e, k in units:
        numbers[e.id].append(len(order))
        order.append((e, k))
    return numbers, order


def write_cfb(children, version=3, min_fat_sectors=0, interleave=False):
    """Writes a compound file; returns its bytes and a layout for patching. With `interleave` the sectors of the
    large streams, and the mini sectors of the small ones, alternate."""
    shift = 9 if version == 3 else 12
    ss = 1 << shift
    per = ss // 4
    root = Node("Root Entry", children=children)
    entries = [root]
    queue = [root]
    while queue:
        node = queue.pop(0)
        node.children.sort(key=lambda n: order_key(n.name))
        for child in node.children:
            child.id = len(entries)
            entries.append(child)
            if child.storage:
                queue.append(child)
    root.id = 0

    sectors, fat = [], []
    chains = {}

    def alloc(data, key):
        if not data:
            return ENDOFCHAIN
        first = len(sectors)
        count = (len(data) + ss - 1) // ss
        for i in range(count):
            sectors.append(data[i * ss:(i + 1) * ss].ljust(ss, b"\0"))
            fat.append(first + i + 1 if i + 1 < count else ENDOFCHAIN)
        chains[key] = list(range(first, first + count))
        return first

    for e in entries:
        e.start, e.size = ENDOFCHAIN, 0 if e.storage else len(e.data)
    big = [e for e in entries if not e.storage and len(e.data) >= 4096]
    numbers, order = place(big, ss, interleave)
    base = len(sectors)
    fat += [0] * len(order)
    for e, k in order:
        sectors.append(e.data[k * ss:(k + 1) * ss].ljust(ss, b"\0"))
    for e in big:
        chain = [base + n for n in numbers[e.id]]
        for a, b in zip(chain, chain[1:] + [ENDOFCHAIN]):
            fat[a] = b
        e.start, chains[e.id] = chain[0], chain
    small = [e for e in entries if not e.storage and 0 < len(e.data) < 4096]
    numbers, order = place(small, 64, interleave)
    mini = b"".join(e.data[k * 64:(k + 1) * 64].ljust(64, b"\0") for e, k in order)
    minifat = [0] * len(order)
    for e in small:
        chain = numbers[e.id]
        for a, b in zip(chain, chain[1:] + [ENDOFCHAIN]):
            minifat[a] = b
        e.start, chains[("mini", e.id)] = chain[0], chain
    root.start = alloc(bytes(mini), "ministream")
    root.size = len(mini)
    minifat_bytes = b"".join(struct.pack("<I", v) for v in minifat)
    if minifat_bytes:
        minifat_bytes = minifat_bytes.ljust(-(-len(minifat_bytes) // ss) * ss, b"\xff")
    minifat_start = alloc(minifat_bytes, "minifat")

    def subtree(nodes):
        if not nodes:
            return NOSTREAM
        mid = len(nodes) // 2
        nodes[mid].left = subtree(nodes[:mid])
        nodes[mid].right = subtree(nodes[mid + 1:])
        return nodes[mid].id

    root.left = root.right = NOSTREAM
    for e in entries:
        e.child = subtree(list(e.children)) if e.storage else NOSTREAM
    directory = bytearray()
    for e in entries:
        name = e.name.encode("utf-16-le") + b"\0\0"
        kind = 5 if e is root else (1 if e.storage else 2)
        directory += name.ljust(64, b"\0") + struct.pack("<HBBIII", len(name), kind, 1, e.left, e.right, e.child)
        directory += bytes(16 + 4 + 16) + struct.pack("<IQ", e.start, e.size)
    while len(directory) % ss:
        directory += bytes(64) + struct.pack("<HBBIII", 0, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM) + bytes(48)
    dir_start = alloc(bytes(directory), "directory")

    nfat = ndif = 0
    while True:
        total = len(sectors) + nfat + ndif
        need_fat = max(-(-total // per), min_fat_sectors)
        need_dif = max(0, -(-(need_fat - 109) // (per - 1)))
        if (need_fat, need_dif) == (nfat, ndif):
            break
        nfat, ndif = need_fat, need_dif
    fat_sectors = list(range(len(sectors), len(sectors) + nfat))
    dif_sectors = list(range(fat_sectors[-1] + 1, fat_sectors[-1] + 1 + ndif))
    fat += [FATSECT] * nfat + [DIFSECT] * ndif
    fat += [FREESECT] * (nfat * per - len(fat))
    for k in range(nfat):
        sectors.append(b"".join(struct.pack("<I", v) for v in fat[k * per:(k + 1) * per]))
    rest = fat_sectors[109:]
    for k, s in enumerate(dif_sectors):
        part = rest[k * (per - 1):(k + 1) * (per - 1)]
        nxt = dif_sectors[k + 1] if k + 1 < ndif else ENDOFCHAIN
        sectors.append(b"".join(struct.pack("<I", v) for v in part).ljust(ss - 4, b"\xff") + struct.pack("<I", nxt))
    difat = (fat_sectors[:109] + [FREESECT] * 109)[:109]
    header = SIGNATURE + bytes(16) + struct.pack("<HHHHH", 0x3E, version, 0xFFFE, shift, 6) + bytes(6)
    header += struct.pack("<IIIIIIIII", len(directory) // ss if version == 4 else 0, nfat, dir_start, 0, 4096,
                          minifat_start, len(minifat_bytes) // ss, dif_sectors[0] if ndif else ENDOFCHAIN, ndif)
    header += b"".join(struct.pack("<I", v) for v in difat)
    data = bytearray(header.ljust(ss, b"\0") + b"".join(sectors))
    layout = dict(ss=ss, per=per, fat=fat_sectors, difat=dif_sectors, chains=chains,
                  ids={e.name: e.id for e in entries}, entries=entries)
    return data, layout


# ---- Patching helpers -----------------------------------------------------

def offset_of(layout, sector):
    return (sector + 1) * layout["ss"]


def set_fat(data, layout, index, value):
    at = offset_of(layout, layout["fat"][index // layout["per"]]) + (index % layout["per"]) * 4
    data[at:at + 4] = struct.pack("<I", value)


def set_minifat(data, layout, index, value):
    at = offset_of(layout, layout["chains"]["minifat"][index // layout["per"]]) + (index % layout["per"]) * 4
    data[at:at + 4] = struct.pack("<I", value)


def entry_offset(layout, entry_id):
    chain = layout["chains"]["directory"]
    per_sector = layout["ss"] // 128
    return offset_of(layout, chain[entry_id // per_sector]) + (entry_id % per_sector) * 128


def set_entry(data, layout, name, field, fmt, value):
    fields = {"namelen": 64, "type": 66, "left": 68, "right": 72, "child": 76, "start": 116, "size": 120}
    at = entry_offset(layout, layout["ids"][name]) + fields[field]
    data[at:at + struct.calcsize(fmt)] = struct.pack(fmt, value)


# ---- Expectations ---------------------------------------------------------

def ansi(name):
    """The name in code page 1252 as hex, '?' for what has no form there."""
    return name.encode("cp1252", "replace").hex()


def describe(path):
    """The listing of every storage as olefile reads it, in directory order."""
    ole = olefile.OleFileIO(path)
    lines = []

    def storage(prefix, entry):
        kids = sorted(entry.kids, key=lambda k: order_key(k.name))
        label = "\\".join(prefix) if prefix else "/"
        lines.append("storage %s %d" % (label, len(kids)))
        for kid in kids:
            if kid.entry_type == olefile.STGTY_STREAM:
                data = ole.openstream(prefix + [kid.name]).read()
                assert len(data) == kid.size
                lines.append("  stream %s %d %016x %s" % (kid.name, kid.size, fnv1a64(data), ansi(kid.name)))
            else:
                lines.append("  storage %s %s" % (kid.name, ansi(kid.name)))
        for kid in kids:
            if kid.entry_type == olefile.STGTY_STORAGE:
                storage(prefix + [kid.name], kid)

    storage([], ole.root)
    return lines


def make_basic(tmp):
    """A tree for gsf createole: edge sizes, many elements, long and shared names, nesting."""
    src = os.path.join(tmp, "basic")
    files = {
        "e0": 0, "s63": 63, "s64": 64, "s4095": 4095, "s4096": 4096, "s4097": 4097, "s70000": 70000,
        "A": 10, "Abc": 11, "AbcDef": 12, "AbcDefGhi": 13, "Maße": 14,
        "N" * 31: 31, "日本": 6, "ThirtyOneCharactersNameForTheta": 77,
        "Sub/Deep/Deeper/leaf": 5, "Sub/Deep/mid": 4500, "Sub/top": 3000, "Subway": 9,
    }
    for i in range(45):
        files["Many/item%02d" % i] = 100 + 37 * i
    for n, (rel, size) in enumerate(sorted(files.items())):
        path = os.path.join(src, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content(n + 1, size))
    # The tool's test compares what `vutil ole cat` writes with the bytes gsf was given.
    with open(os.path.join(src, "Sub/Deep/mid"), "rb") as f, open("mid.bin", "wb") as out:
        out.write(f.read())
    top = sorted(os.listdir(src))
    subprocess.run(["gsf", "createole", os.path.abspath("basic.cfb")] + [os.path.join(src, t) for t in top],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def base_hostile():
    return [Node("S", children=[Node("big", content(90, 5000)), Node("small", content(91, 100)),
                                Node("Inner", children=[Node("leaf", content(92, 10))])]),
            Node("top", content(93, 700)), Node("x", content(94, 4100))]


def make_hostile():
    """The damaged variants, each as edits of a valid base file."""
    out = {}

    def variant(name, patch, base="hostile-base.cfb", version=3, min_fat_sectors=0, children=None):
        data, layout = write_cfb(children() if children else base_hostile(), version, min_fat_sectors)
        with open(base, "rb") as f:
            assert f.read() == data, base
        result = patch(data, layout)
        out[name] = (base, bytes(result if isinstance(result, (bytes, bytearray)) else data))

    big = lambda lay: lay["chains"][lay["ids"]["big"]]
    small = lambda lay: lay["chains"][("mini", lay["ids"]["small"])]
    variant("fat-cycle", lambda d, l: set_fat(d, l, big(l)[3], big(l)[1]))
    variant("fat-self-loop", lambda d, l: set_fat(d, l, big(l)[0], big(l)[0]))
    variant("fat-index-past-end", lambda d, l: set_fat(d, l, big(l)[1], 0x00FFFFFF))
    variant("fat-chain-short", lambda d, l: set_fat(d, l, big(l)[2], ENDOFCHAIN))
    variant("fat-free-in-chain", lambda d, l: set_fat(d, l, big(l)[2], FREESECT))
    variant("size-huge", lambda d, l: set_entry(d, l, "big", "size", "<I", 0x7FFFFFF0))
    variant("size-high-bits", lambda d, l: set_entry(d, l, "big", "size", "<Q", 0xDEADBEEF00001388))
    variant("mini-cycle", lambda d, l: set_minifat(d, l, small(l)[0], small(l)[0]))
    variant("mini-index-past-end", lambda d, l: set_minifat(d, l, small(l)[0], 5000))
    variant("ministream-loop", lambda d, l: set_fat(d, l, l["chains"]["ministream"][0], l["chains"]["ministream"][0]))
    variant("root-tree-cycle", lambda d, l: set_entry(d, l, "top", "left", "<I", l["ids"]["S"]))
    variant("storage-tree-cycle", lambda d, l: set_entry(d, l, "small", "left", "<I", l["ids"]["small"]))
    variant("child-to-ancestor", lambda d, l: set_entry(d, l, "Inner", "child", "<I", l["ids"]["S"]))
    variant("child-past-end", lambda d, l: set_entry(d, l, "S", "child", "<I", 9999))
    variant("unknown-type", lambda d, l: set_entry(d, l, "Inner", "type", "<B", 7))
    variant("directory-loop", lambda d, l: set_fat(d, l, l["chains"]["directory"][-1], l["chains"]["directory"][0]))
    variant("name-unterminated", lambda d, l: unterminate(d, l, "top"))
    variant("name-length-odd", lambda d, l: set_entry(d, l, "top", "namelen", "<H", 7))
    variant("name-length-over-64", lambda d, l: set_entry(d, l, "top", "namelen", "<H", 66))
    variant("storage-start-size-garbage", lambda d, l: (set_entry(d, l, "S", "start", "<I", 0xDEAD),
                                                        set_entry(d, l, "S", "size", "<Q", (1 << 48) - 1)))
    variant("root-not-root", lambda d, l: set_entry(d, l, "Root Entry", "type", "<B", 1))
    for name, field, fmt, value in [("shift-31", 30, "<H", 31), ("shift-12-in-v3", 30, "<H", 12),
                                    ("shift-0", 30, "<H", 0), ("mini-shift-0", 32, "<H", 0),
                                    ("version-5", 26, "<H", 5), ("byte-order", 28, "<H", 0xFEFF),
                                    ("cutoff-512", 56, "<I", 512), ("fat-count-huge", 44, "<I", 0xFFFFFFFF),
                                    ("fat-sector-past-end", 76, "<I", 0x0FFFFFFF), ("not-compound", 0, "<I", 0)]:
        variant(name, lambda d, l, f=field, t=fmt, v=value: d.__setitem__(slice(f, f + struct.calcsize(t)),
                                                                          struct.pack(t, v)))
    variant("truncated-header", lambda d, l: d[:300])
    variant("truncated-directory", lambda d, l: d[:offset_of(l, l["chains"]["directory"][0]) + 100])
    # The last sector of a file may stop where its data ends; readers accept that, but not a byte less.
    variant("short-last-sector", lambda d, l: tail_at_end(d, l, "x", 0))
    variant("truncated-in-stream", lambda d, l: tail_at_end(d, l, "x", 1))
    variant("empty", lambda d, l: d[:0])
    v4 = dict(base="v4.cfb", version=4, children=valid_children)
    variant("size-huge-v4", lambda d, l: set_entry(d, l, "Alpha", "size", "<Q", 1 << 40), **v4)
    variant("shift-9-in-v4", lambda d, l: d.__setitem__(slice(30, 32), struct.pack("<H", 9)), **v4)
    difat = dict(base="difat.cfb", min_fat_sectors=240, children=valid_children)
    variant("difat-loop", lambda d, l: set_difat_next(d, l, l["difat"][0]), **difat)
    variant("difat-past-end", lambda d, l: set_difat_next(d, l, 0x00FFFFF0), **difat)
    return out


def edits(base, data):
    """The variant as edits of its base: "cut N" and "set OFFSET HEX" lines."""
    ops = []
    if len(data) < len(base):
        ops.append("cut %d" % len(data))
    i = 0
    while i < len(data):
        if i < len(base) and data[i] == base[i]:
            i += 1
            continue
        j = i
        while j < len(data) and (j >= len(base) or data[j] != base[j]):
            j += 1
        ops.append("set %d %s" % (i, data[i:j].hex()))
        i = j
    return ops


def set_difat_next(data, layout, value):
    first = layout["difat"][0]
    at = offset_of(layout, first) + layout["ss"] - 4
    data[at:at + 4] = struct.pack("<I", value)


def unterminate(data, layout, name):
    at = entry_offset(layout, layout["ids"][name])
    data[at:at + 64] = ("U" * 32).encode("utf-16-le")
    data[at + 64:at + 66] = struct.pack("<H", 64)


def tail_at_end(data, layout, name, missing):
    """Moves the stream's last sector to the end of the file and cuts the file after the stream's last byte,
    less `missing` bytes."""
    ss = layout["ss"]
    chain = layout["chains"][layout["ids"][name]]
    moved = len(data) // ss - 1
    data += data[offset_of(layout, chain[-1]):offset_of(layout, chain[-1]) + ss]
    set_fat(data, layout, chain[-2], moved)
    set_fat(data, layout, moved, ENDOFCHAIN)
    set_fat(data, layout, chain[-1], FREESECT)
    used = layout["entries"][layout["ids"][name]].size - (len(chain) - 1) * ss
    return data[:offset_of(layout, moved) + used - missing]


def valid_children():
    return [Node("Alpha", content(200, 5000)), Node("b", content(201, 100)),
            Node("Store", children=[Node("deep", content(202, 9000)), Node("tiny", content(203, 1))]),
            Node("zero", b"")]


def fragmented_children():
    # "Names" holds names outside ASCII, for the code-page tests.
    return [Node("one", content(300, 9000)), Node("two", content(301, 7000)), Node("three", content(302, 4100)),
            Node("a", content(303, 700)), Node("b", content(304, 1000)), Node("c", content(305, 130)),
            Node("Names", children=[Node("日本", content(306, 6)), Node("Maße", content(307, 4)),
                                    Node("Ωmega", content(308, 5))])]


def main():
    with tempfile.TemporaryDirectory() as tmp:
        make_basic(tmp)
    for name, version, extra, children, interleave in [
            ("v4.cfb", 4, 0, valid_children, False), ("difat.cfb", 3, 240, valid_children, False),
            ("hostile-base.cfb", 3, 0, base_hostile, False), ("fragmented.cfb", 3, 0, fragmented_children, True)]:
        data, _ = write_cfb(children(), version, extra, interleave)
        with open(name, "wb") as f:
            f.write(data)
    hostile = make_hostile()
    # Seeds of the fuzz harness: small valid files and a few damaged ones.
    corpus = os.path.join("..", "..", "..", "fuzz", "corpus", "storage")
    os.makedirs(corpus, exist_ok=True)
    seeds = {name: open(name, "rb").read() for name in ["hostile-base.cfb", "v4.cfb"]}
    for name in ["fat-cycle", "mini-cycle", "storage-tree-cycle", "child-to-ancestor", "short-last-sector"]:
        seeds[name + ".cfb"] = hostile[name][1]
    for name, data in seeds.items():
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(data)
    lines = []
    for name, (base, data) in sorted(hostile.items()):
        with open(base, "rb") as f:
            lines.append(" ".join([name, base] + edits(f.read(), data)))
    with open("hostile.txt", "w") as f:
        f.write("# name base edits (cut LENGTH, set OFFSET HEX), made by make_fixtures.py\n" + "\n".join(lines) + "\n")
    lines = []
    for name in ["basic.cfb", "v4.cfb", "difat.cfb", "hostile-base.cfb", "fragmented.cfb"]:
        lines.append("file %s" % name)
        lines += describe(name)
    with open("expected.txt", "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
