#!/usr/bin/python3
"""Draws DXF files with `vutil view` and with ezdxf's matplotlib renderer, and scores how
closely the pictures agree.

Both draw at 800x600 over ezdxf's extents of the drawing plus 2% on each side. A pixel is
ink when it differs from white by more than 64 in any channel; each ink mask is grown by
a disk of radius 2; precision is the share of vutil's ink near the reference's, recall
the share of the reference's ink near vutil's, the score their F1. Geometry is compared
on copies without TEXT, MTEXT, ATTRIB and ATTDEF; texts on the originals.

  compare_ezdxf.py VUTIL [FILE|DIR]... [--sample N --seed S] [--out DIR] [--min-geometry F]
                  [--fault arcs|texts|inserts]

--fault hands vutil a copy of each drawing with a planted fault (arc angles swapped, texts
or block references removed) while the reference draws the drawing as it is: a check that
the score notices such faults.

Exit 1 when vutil fails on a file (crash, hang, error) or, with --min-geometry, when
fewer than 95% of the files ezdxf draws reach that geometry score.
"""
import argparse
import csv
import os
import random
import subprocess
import sys
import tempfile
import time

import numpy as np

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import ezdxf  # noqa: E402
from ezdxf import bbox  # noqa: E402
from ezdxf.addons.drawing import Frontend, RenderContext  # noqa: E402
from ezdxf.addons.drawing.config import Configuration  # noqa: E402
from ezdxf.addons.drawing.matplotlib import MatplotlibBackend  # noqa: E402
from ezdxf.addons.drawing.properties import LayoutProperties  # noqa: E402

WIDTH, HEIGHT, MARGIN = 800, 600, 0.02
TEXT_KINDS = ("TEXT", "MTEXT", "ATTRIB", "ATTDEF")


def view_box(extents):
    """The page's box in drawing units: the extents plus the margin, centred at the
    largest uniform scale that fits, as `vutil view` places them."""
    (x0, y0), (x1, y1) = extents
    w, h = x1 - x0, y1 - y0
    x0, x1, y0, y1 = x0 - w * MARGIN, x1 + w * MARGIN, y0 - h * MARGIN, y1 + h * MARGIN
    w, h = x1 - x0, y1 - y0
    scale = min(WIDTH / w if w > 0 else float("inf"), HEIGHT / h if h > 0 else float("inf"))
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    return cx - WIDTH / 2 / scale, cx + WIDTH / 2 / scale, cy - HEIGHT / 2 / scale, cy + HEIGHT / 2 / scale


def reference(doc, box, png):
    fig = plt.figure(figsize=(WIDTH / 100, HEIGHT / 100), dpi=100)
    ax = fig.add_axes([0, 0, 1, 1])
    ax.set_axis_off()
    msp = doc.modelspace()
    ctx = RenderContext(doc)
    # ezdxf 0.18 takes the background from the layout: make it white, then resolve
    # the layer colours again, or colour 7 is drawn white on white.
    props = LayoutProperties.from_layout(msp)
    props.set_colors("#ffffff")
    ctx.current_layout_properties = props
    ctx.layers = ctx._setup_layers(doc)
    config = Configuration.defaults().with_changes(lineweight_scaling=0.0)
    Frontend(ctx, MatplotlibBackend(ax), config=config).draw_layout(msp, finalize=False, layout_properties=props)
    ax.set_xlim(box[0], box[1])
    ax.set_ylim(box[2], box[3])
    ax.set_aspect("auto")
    fig.savefig(png, dpi=100, facecolor="white")
    plt.close(fig)


def without_texts(doc):
    for layout in [doc.modelspace()] + [b for b in doc.blocks]:
        for entity in list(layout):
            if entity.dxftype() in TEXT_KINDS:
                layout.delete_entity(entity)
            elif entity.dxftype() == "INSERT":
                for attrib in list(entity.attribs):
                    entity.attribs.remove(attrib)
                    attrib.destroy()
    return doc


def plant(doc, fault):
    """The drawing with a fault planted, as a faulty reader would see it."""
    for layout in [doc.modelspace()] + [b for b in doc.blocks]:
        for entity in list(layout):
            kind = entity.dxftype()
            if fault == "arcs" and kind == "ARC":
                entity.dxf.start_angle, entity.dxf.end_angle = entity.dxf.end_angle, entity.dxf.start_angle
            elif (fault == "texts" and kind in TEXT_KINDS) or (fault == "inserts" and kind == "INSERT"):
                layout.delete_entity(entity)
    return doc


def ink(png):
    image = plt.imread(png)
    if image.dtype != np.uint8:
        image = (image * 255).round().astype(np.int32)
    rgb = image[:, :, :3].astype(np.int32)
    return (255 - rgb).max(axis=2) > 64


def grow(mask, radius=2):
    out = np.zeros_like(mask)
    h, w = mask.shape
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            if dx * dx + dy * dy > radius * radius:
                continue
            out[max(dy, 0):h + min(dy, 0), max(dx, 0):w + min(dx, 0)] |= \
                mask[max(-dy, 0):h + min(-dy, 0), max(-dx, 0):w + min(-dx, 0)]
    return out


def score(ours_png, ref_png):
    ours, ref = ink(ours_png), ink(ref_png)
    if ours.shape != ref.shape:
        return 0.0, 0.0, 0.0
    n_ours, n_ref = ours.sum(), ref.sum()
    if n_ours == 0 and n_ref == 0:
        return 1.0, 1.0, 1.0
    precision = (ours & grow(ref)).sum() / n_ours if n_ours else 0.0
    recall = (ref & grow(ours)).sum() / n_ref if n_ref else 0.0
    f1 = 2 * precision * recall / (precision + recall) if precision + recall > 0 else 0.0
    return float(precision), float(recall), float(f1)


def run_vutil(vutil, dxf, png, box_extents):
    (x0, y0), (x1, y1) = box_extents
    args = [vutil, "view", dxf, "-o", png]
    if x1 > x0 and y1 > y0:
        args.append("--extents=%.17g,%.17g,%.17g,%.17g" % (x0, y0, x1, y1))
    try:
        done = subprocess.run(args, capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        return "hang"
    if done.returncode != 0:
        return "exit %d: %s" % (done.returncode, done.stderr.decode(errors="replace").strip()[-200:])
    return ""


def side_by_side(ours_png, ref_png, out_png):
    a, b = plt.imread(ours_png)[:, :, :3], plt.imread(ref_png)[:, :, :3]
    gap = np.zeros((a.shape[0], 8, 3), dtype=a.dtype)
    plt.imsave(out_png, np.concatenate([a, gap, b], axis=1))


def files_of(paths):
    out = []
    for path in paths:
        if os.path.isdir(path):
            for root, _, names in os.walk(path):
                out += [os.path.join(root, n) for n in names if n.lower().endswith(".dxf")]
        else:
            out.append(path)
    return sorted(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("vutil")
    parser.add_argument("inputs", nargs="*", default=["/usr/share/librecad"])
    parser.add_argument("--sample", type=int, default=0)
    parser.add_argument("--seed", type=int, default=20)
    parser.add_argument("--out", default="")
    parser.add_argument("--min-geometry", type=float, default=0.0)
    parser.add_argument("--worst", type=int, default=10)
    parser.add_argument("--fault", choices=["arcs", "texts", "inserts"])
    args = parser.parse_args()

    files = files_of(args.inputs)
    if args.sample and args.sample < len(files):
        files = sorted(random.Random(args.seed).sample(files, args.sample))
    out = args.out or tempfile.mkdtemp(prefix="vutil-compare-")
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="vutil-compare-work-")
    rows, failures = [], []
    start = time.time()
    for number, path in enumerate(files):
        stem = "%04d" % number
        ours, ref = os.path.join(work, stem + "-v.png"), os.path.join(work, stem + "-r.png")
        ours_t, ref_t = os.path.join(work, stem + "-vt.png"), os.path.join(work, stem + "-rt.png")
        row = {"file": path, "geometry": "", "text": "", "precision": "", "recall": "", "note": ""}
        try:
            doc = ezdxf.readfile(path)
            box = bbox.extents(doc.modelspace())
            if not box.has_data:
                raise ValueError("empty model space")
            extents = ((box.extmin.x, box.extmin.y), (box.extmax.x, box.extmax.y))
            view = view_box(extents)
            reference(doc, view, ref_t)
            geometry_doc = without_texts(ezdxf.readfile(path))
            reference(geometry_doc, view, ref)
            geometry_path = os.path.join(work, stem + "-g.dxf")
            text_path = path
            if args.fault:
                plant(geometry_doc, args.fault)
                text_path = os.path.join(work, stem + "-f.dxf")
                plant(ezdxf.readfile(path), args.fault).saveas(text_path)
            geometry_doc.saveas(geometry_path)
        except Exception as error:  # ezdxf cannot read or draw it: vutil must still read it
            row["note"] = "ezdxf: %s" % str(error).splitlines()[0][:100] if str(error) else type(error).__name__
            problem = run_vutil(args.vutil, path, ours_t, ((0, 0), (0, 0)))
            if problem:
                failures.append((path, problem))
                row["note"] += "; vutil: " + problem
            rows.append(row)
            continue
        problem = run_vutil(args.vutil, geometry_path, ours, extents) or \
            run_vutil(args.vutil, text_path, ours_t, extents)
        if problem:
            failures.append((path, problem))
            row["note"] = "vutil: " + problem
            rows.append(row)
            continue
        p, r, f = score(ours, ref)
        _, _, ft = score(ours_t, ref_t)
        row.update(geometry="%.4f" % f, text="%.4f" % ft, precision="%.4f" % p, recall="%.4f" % r)
        row["pictures"] = (ours, ref, ours_t, ref_t)
        rows.append(row)
        os.remove(geometry_path)
        if text_path != path:
            os.remove(text_path)
    elapsed = time.time() - start

    with open(os.path.join(out, "scores.csv"), "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=["file", "geometry", "text", "precision", "recall", "note"],
                                extrasaction="ignore")
        writer.writeheader()
        writer.writerows(rows)
    scored = [r for r in rows if r["geometry"]]
    geometry = np.array([float(r["geometry"]) for r in scored]) if scored else np.zeros(0)
    text = np.array([float(r["text"]) for r in scored]) if scored else np.zeros(0)
    print("files %d, drawn by both %d, ezdxf could not %d, vutil failed %d, %.1f s" %
          (len(files), len(scored), sum(1 for r in rows if r["note"].startswith("ezdxf")), len(failures), elapsed))
    if scored:
        share = (geometry >= 0.98).mean()
        print("geometry F1: >= 0.98 on %.1f%% of the files; min %.3f, p5 %.3f, p25 %.3f, median %.3f" %
              (100 * share, geometry.min(), np.percentile(geometry, 5), np.percentile(geometry, 25),
               np.median(geometry)))
        print("with texts F1: median %.3f, p25 %.3f, min %.3f" % (np.median(text), np.percentile(text, 25),
                                                                 text.min()))
        for bound in (0.5, 0.9, 0.95, 0.98, 0.99):
            print("  geometry below %.2f: %d files" % (bound, (geometry < bound).sum()))
        worst = sorted(scored, key=lambda r: float(r["geometry"]))[:args.worst]
        print("worst geometry:")
        for i, r in enumerate(worst):
            print("  %s  F1 %s (precision %s, recall %s)  %s" % (r["file"], r["geometry"], r["precision"],
                                                                  r["recall"], "worst-%02d.png" % i))
            side_by_side(r["pictures"][0], r["pictures"][1], os.path.join(out, "worst-%02d.png" % i))
        worst_text = sorted(scored, key=lambda r: float(r["text"]))[:args.worst]
        print("worst with texts:")
        for i, r in enumerate(worst_text):
            print("  %s  F1 %s  %s" % (r["file"], r["text"], "worst-text-%02d.png" % i))
            side_by_side(r["pictures"][2], r["pictures"][3], os.path.join(out, "worst-text-%02d.png" % i))
    for path, problem in failures:
        print("vutil FAILED on %s: %s" % (path, problem))
    print("scores and pictures in %s" % out)
    for name in os.listdir(work):
        os.remove(os.path.join(work, name))
    os.rmdir(work)
    if failures:
        return 1
    if args.min_geometry and scored and (geometry >= args.min_geometry).mean() < 0.95:
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
