"""Polygon and line fillers of common drawing libraries, each its own rule: a scan-line filler
with the top-left rule on whole-pixel corners, a thick DDA line, and Pillow's ImageDraw calls.
The truth makes the same call with coordinates, widths and radii x16: a point names a pixel
centre (p -> 16 p + 7.5), a box names its first and last pixels (x0 -> 16 x0, x1 -> 16 x1 + 15),
so both calls draw the same places."""

import numpy as np
from PIL import Image, ImageDraw

from . import geometry as g
from .canvas import Canvas
from .raster import fill_polygons
from .style import cel_style, per_area, translucent
from .vectors import crisp, radius


def window_of(points, margin, scale, shape):
    """(row, column, height, width) of the grid around the points, padded and clipped."""
    lo = np.floor(points.min(0) - margin).astype(int)
    hi = np.ceil(points.max(0) + margin).astype(int) + 1
    lo = np.maximum(lo, -2)
    hi = np.minimum(hi, (shape[1] + 2, shape[0] + 2))
    return lo[1], lo[0], max(hi[1] - lo[1], 1), max(hi[0] - lo[0], 1)


def pil_call(method, points=None, box=None, **kw):
    """A draw function that makes ImageDraw.`method` at each scale; `points` (N, 2) are pixel
    centres, `box` (x0, y0, x1, y1) inclusive pixels."""
    def draw(scale, shape):
        args = {k: (v * scale if k in ("width", "radius") else v) for k, v in kw.items()}
        if points is not None:
            pts = (np.asarray(points, dtype=np.float64) + 0.5) * scale - 0.5
        else:
            x0, y0, x1, y1 = box
            pts = np.array([[x0 * scale, y0 * scale],
                            [(x1 + 1) * scale - 1, (y1 + 1) * scale - 1]], dtype=np.float64)
        row, col, h, w = window_of(pts, args.get("width", 1) + 2, scale, shape)
        im = Image.new("L", (w, h), 0)
        local = pts - (col, row)
        d = ImageDraw.Draw(im)
        if box is not None:
            getattr(d, method)([tuple(local[0]), tuple(local[1])], **args)
        else:
            getattr(d, method)([tuple(p) for p in local], **args)
        return row, col, np.asarray(im) > 0
    return draw


def dda_line(p0, p1, width):
    """A line from pixel centre p0 to p1 by a DDA: at each step along the major axis, `width`
    pixels across it centred on the ideal line, half the width past each end."""
    def draw(scale, shape):
        a = (np.asarray(p0, dtype=np.float64) + 0.5) * scale
        b = (np.asarray(p1, dtype=np.float64) + 0.5) * scale
        w = int(round(width * scale))
        major = 0 if abs(b[0] - a[0]) >= abs(b[1] - a[1]) else 1
        if a[major] > b[major]:
            a, b = b, a
        m = np.arange(np.ceil(a[major] - w / 2 - 0.5), np.ceil(b[major] + w / 2 - 0.5))
        slope = (b[1 - major] - a[1 - major]) / (b[major] - a[major]) if b[major] > a[major] else 0
        first = np.ceil(a[1 - major] + (m + 0.5 - a[major]) * slope - w / 2 - 0.5)
        n = first[:, None] + np.arange(w)
        mm = np.broadcast_to(m[:, None], n.shape)
        x, y = (mm, n) if major == 0 else (n, mm)
        x, y = x.astype(np.int64).ravel(), y.astype(np.int64).ravel()
        r0, c0 = y.min(), x.min()
        mask = np.zeros((y.max() - r0 + 1, x.max() - c0 + 1), bool)
        mask[y - r0, x - c0] = True
        return int(r0), int(c0), mask
    return draw


def whole_points(rng, size, n=None):
    r = radius(rng, size)
    c = rng.uniform(-0.1 * size, 1.1 * size, 2)
    return np.round(g.random_polygon(rng, *c, r, n or int(rng.integers(3, 9)))).astype(int)


def pixel_box(rng, size):
    r = radius(rng, size)
    c = rng.uniform(-0.1 * size, 1.1 * size, 2)
    half = np.maximum(r * rng.uniform(0.3, 1, 2), 0.5)
    lo, hi = np.round(c - half).astype(int), np.round(c + half).astype(int)
    return int(lo[0]), int(lo[1]), int(max(hi[0], lo[0])), int(max(hi[1], lo[1]))


def fill_colour(rng, style):
    c = style.fill(rng)
    return translucent(c, rng) if rng.random() < 0.1 else c


def scanline_polygons(rng, size):
    """Polygons on whole-pixel corners (or centres) filled by a scan-line filler with the
    top-left rule, even-odd or non-zero, some outlined by a mitred stroke of whole width."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    # Whole coordinates on pixel corners, as most libraries place them; now and then on pixel
    # centres, where the top-left rule decides every pixel an edge runs through.
    offset = 0.0 if rng.random() < 0.85 else 0.5
    for _ in range(int(rng.integers(3, 10) * per_area(size))):
        u = rng.random()
        if u < 0.4:
            p = whole_points(rng, size)
        elif u < 0.6:
            x0, y0, x1, y1 = pixel_box(rng, size)
            p = np.array([[x0, y0], [x1, y0], [x1, y1], [x0, y1]])
        elif u < 0.8:
            r, c = radius(rng, size), rng.uniform(0, size, 2)
            p = np.round(g.star(*c, r, int(rng.integers(5, 8)), rng.uniform(0.3, 0.7)
                                if rng.random() < 0.5 else 1.0, rng.uniform(0, np.pi)))
            if rng.random() < 0.5:
                p = p[np.arange(len(p)) * 2 % len(p)] if len(p) % 2 else p  # a pentagram
        else:
            r, c = radius(rng, size), rng.uniform(0, size, 2)
            p = np.round(g.ellipse(*c, r, r * rng.uniform(0.4, 1), rng.uniform(0, np.pi))[::3])
        p = p.astype(np.float64) + offset
        evenodd = rng.random() < 0.5
        canvas.paint(fill_colour(rng, style),
                     lambda s, shape, p=p, e=evenodd: fill_polygons([p], s, shape, e))
        if rng.random() < 0.5:
            w = int(rng.integers(1, 4))
            outline = g.stroke_outline(crisp(p, w), w, closed=True, join="miter", corner=0.0)
            canvas.paint(style.line(rng), lambda s, shape, o=outline: fill_polygons(o, s, shape))
    return canvas.scene("scanline_polygons")


def dda_lines(rng, size):
    """Lines of 1-3 px by a DDA: polygon outlines, fans, hatching and single strokes, over a
    few scan-line filled polygons."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    scale = per_area(size)
    for _ in range(int(rng.integers(0, 4) * scale)):
        p = whole_points(rng, size).astype(np.float64)
        canvas.paint(fill_colour(rng, style), lambda s, shape, p=p: fill_polygons([p], s, shape))
        if rng.random() < 0.7:
            colour, w = style.line(rng), int(rng.integers(1, 4))
            for a, b in zip(p, np.roll(p, -1, 0)):
                canvas.paint(colour, dda_line(a, b, w))
    for _ in range(int(rng.integers(3, 14) * scale)):
        colour, w = style.line(rng), int(rng.choice([1, 1, 1, 2, 3]))
        a = rng.integers(-size // 8, size + size // 8, 2)
        u = rng.random()
        if u < 0.5:
            canvas.paint(colour, dda_line(a, rng.integers(-size // 8, size + size // 8, 2), w))
        elif u < 0.75:
            for t in rng.uniform(0, 2 * np.pi, int(rng.integers(2, 7))):
                length = rng.uniform(3, size / 2)
                canvas.paint(colour, dda_line(a, np.round(a + length * np.array(
                    [np.cos(t), np.sin(t)])), w))
        else:
            step = np.array([rng.integers(-4, 5), rng.integers(-4, 5)])
            d = rng.integers(-size // 3, size // 3, 2)
            for i in range(int(rng.integers(3, 10))):
                canvas.paint(colour, dda_line(a + i * step, a + i * step + d, w))
    return canvas.scene("dda_lines")


def pil_polygons(rng, size):
    """Pillow's polygons and rectangles: fills take every pixel the outline touches; outlines
    of 1-3 px."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    for _ in range(int(rng.integers(3, 10) * per_area(size))):
        u = rng.random()
        if u < 0.5:
            shape = dict(method="polygon", points=whole_points(rng, size))
        elif u < 0.75:
            shape = dict(method="rectangle", box=pixel_box(rng, size))
        else:
            # Whole-pixel corners: Pillow's own regular_polygon truncates its corners, which at
            # 1x moves the shape half a pixel up and left of the same call at 16x.
            shape = dict(method="polygon", points=np.round(g.star(
                *rng.uniform(0, size, 2), radius(rng, size), int(rng.integers(3, 9)),
                angle=rng.uniform(0, 2 * np.pi))))
        canvas.paint(fill_colour(rng, style), pil_call(**shape, fill=255))
        if rng.random() < 0.6:
            canvas.paint(style.line(rng), pil_call(**shape, outline=255,
                                                   width=int(rng.integers(1, 4))))
    return canvas.scene("pil_polygons")


def pil_lines(rng, size):
    """Pillow's lines: width 1 (a Bresenham line) and wide ones, polylines with or without
    rounded joints, over a few Pillow polygons."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    scale = per_area(size)
    for _ in range(int(rng.integers(0, 4) * scale)):
        canvas.paint(fill_colour(rng, style), pil_call("polygon", points=whole_points(rng, size),
                                                        fill=255))
    for _ in range(int(rng.integers(3, 12) * scale)):
        n = int(rng.integers(2, 9))
        start = rng.uniform(-0.1 * size, 1.1 * size, 2)
        step = rng.uniform(2, size / 3)
        heading = rng.uniform(0, 2 * np.pi) + np.cumsum(rng.normal(0, 0.6, n - 1))
        pts = np.concatenate([start[None], start + np.cumsum(
            step * np.stack([np.cos(heading), np.sin(heading)], 1), 0)])
        w = int(rng.choice([1, 1, 1, 2, 3, 4, 5, 6, 8]))
        joint = "curve" if rng.random() < 0.5 else None
        colour = style.line(rng) if rng.random() < 0.7 else style.fill(rng)
        canvas.paint(colour, pil_call("line", points=np.round(pts), width=w, fill=255,
                                      joint=joint))
    return canvas.scene("pil_lines")


def pil_ellipses(rng, size):
    """Pillow's ellipses, arcs, chords, pie slices and rounded rectangles, filled and
    outlined."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    for _ in range(int(rng.integers(3, 10) * per_area(size))):
        box = pixel_box(rng, size)
        method = rng.choice(["ellipse", "ellipse", "arc", "chord", "pieslice",
                             "rounded_rectangle"])
        kw = {}
        if method in ("arc", "chord", "pieslice"):
            kw = dict(start=float(rng.uniform(0, 360)), end=float(rng.uniform(0, 360)))
        elif method == "rounded_rectangle":
            kw = dict(radius=int(rng.integers(0, 1 + min(box[2] - box[0], box[3] - box[1]) // 2)))
        w = int(rng.integers(1, 5))
        if method == "arc":
            canvas.paint(style.line(rng), pil_call(method, box=box, fill=255, width=w, **kw))
            continue
        canvas.paint(fill_colour(rng, style), pil_call(method, box=box, fill=255, **kw))
        if rng.random() < 0.6:
            canvas.paint(style.line(rng), pil_call(method, box=box, outline=255, width=w, **kw))
    return canvas.scene("pil_ellipses")
