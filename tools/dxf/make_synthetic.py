#!/usr/bin/python3
"""Writes the synthetic drawing of `vutil view`'s speed figures with ezdxf: R2000, 100,000
entities (40,000 lines; 15,000 each of arcs, circles, light polylines, some with bulges,
and texts), about 22 MB, the same every time.

  make_synthetic.py OUT.dxf [--scale N]   (N divides every count, for a smaller drawing)
"""
import argparse
import random

import ezdxf


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--scale", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(100000)
    doc = ezdxf.new("R2000")
    for i in range(8):
        doc.layers.add("L%d" % i, color=i + 1)
    msp = doc.modelspace()
    size = 10000.0

    def point():
        return rng.uniform(0, size), rng.uniform(0, size)

    def attribs():
        return {"layer": "L%d" % rng.randrange(8)}

    for _ in range(40000 // args.scale):
        x, y = point()
        msp.add_line((x, y), (x + rng.uniform(-200, 200), y + rng.uniform(-200, 200)), dxfattribs=attribs())
    for _ in range(15000 // args.scale):
        msp.add_arc(point(), rng.uniform(1, 150), rng.uniform(0, 360), rng.uniform(0, 360), dxfattribs=attribs())
    for _ in range(15000 // args.scale):
        msp.add_circle(point(), rng.uniform(1, 150), dxfattribs=attribs())
    for i in range(15000 // args.scale):
        x, y = point()
        vertices = []
        for k in range(rng.randrange(3, 9)):
            bulge = rng.uniform(-1, 1) if i % 3 == 0 else 0
            vertices.append((x + rng.uniform(-100, 100), y + rng.uniform(-100, 100), 0, 0, bulge))
        msp.add_lwpolyline(vertices, format="xyseb", close=i % 2 == 0, dxfattribs=attribs())
    for i in range(15000 // args.scale):
        text = msp.add_text("Part %d-%s" % (i, "ABCDEFGH"[i % 8] * (1 + i % 5)),
                            dxfattribs=dict(attribs(), height=rng.uniform(5, 40), rotation=rng.uniform(0, 360)))
        text.set_pos(point())
    doc.saveas(args.out)


if __name__ == "__main__":
    main()
