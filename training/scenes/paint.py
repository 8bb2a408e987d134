"""Paint-program pencil strokes and bucket fills. A hard brush of 1-5 px, round or square, is
stamped along a freehand path at whole-pixel positions; a bucket fill floods the 4-connected
area of one colour from a point, optionally grown by a pixel. The truth paints the same path
with the brush x16 (its stamps so dense that they sweep the brush along the path) and floods and
grows the same way at 16x."""

import numpy as np
from scipy import ndimage

from . import geometry as g
from .canvas import SUPER, Canvas
from .raster import fill_polygons
from .style import cel_style, per_area, translucent


def freehand(rng, size, length=None):
    """A smooth wandering path, as a hand draws it."""
    length = length or np.exp(rng.uniform(np.log(4), np.log(1.2 * size)))
    n = int(rng.integers(3, 9))
    heading = rng.uniform(0, 2 * np.pi) + np.cumsum(rng.normal(0, 0.7, n))
    steps = (length / n) * np.stack([np.cos(heading), np.sin(heading)], 1)
    start = rng.uniform(0, size, 2)
    return g.smooth_curve(np.concatenate([start[None], start + np.cumsum(steps, 0)]))


def pressure(rng, n):
    """Brush size factor along a path: constant, or swelling and fading with the pressure."""
    if rng.random() < 0.6:
        return np.ones(n)
    t = np.linspace(0, 1, n)
    wave = np.sin(2 * np.pi * (rng.uniform(0.3, 1.5) * t + rng.random()))
    return np.clip(0.65 + 0.35 * wave, 0.2, 1) * np.clip(np.sin(np.pi * t) * 3, 0.3, 1)


def resample(path, sizes, spacing=0.25):
    """Stamp positions along the path every `spacing` pixels, with the brush size there."""
    seg = np.hypot(*np.diff(path, axis=0).T)
    s = np.concatenate([[0], np.cumsum(seg)])
    at = np.linspace(0, s[-1], max(2, int(np.ceil(s[-1] / spacing)) + 1))
    pts = np.stack([np.interp(at, s, path[:, 0]), np.interp(at, s, path[:, 1])], 1)
    return pts, np.interp(at, s, sizes)


class Brush:
    """A hard round or square brush; `inset` shrinks a round footprint's radius, as pixel
    brushes whose 3 px stamp is a plus sign do."""

    def __init__(self, rng):
        self.round = rng.random() < 0.75
        self.inset = 0.25 if rng.random() < 0.6 else 0.0

    def stamps(self, pts, sizes, scale):
        """Footprint window of stamps of these diameters (scene pixels) at whole pixels of the
        grid at `scale`: centred on a pixel for odd diameters, on a pixel corner for even."""
        d = np.maximum(np.round(sizes * scale), 1).astype(np.int64)
        p = pts * scale
        c = np.where((d % 2 == 1)[:, None], np.floor(p) + 0.5, np.round(p))
        reach = int(d.max()) // 2 + 1
        off = np.arange(-reach, reach + 1)
        base = np.floor(c).astype(np.int64)
        px = base[:, 0, None, None] + off[None, None, :]
        py = base[:, 1, None, None] + off[None, :, None]
        dx, dy = px + 0.5 - c[:, 0, None, None], py + 0.5 - c[:, 1, None, None]
        half = d[:, None, None] / 2
        if self.round:
            r = half - self.inset
            inside = dx * dx + dy * dy <= r * r + 1e-9
        else:
            inside = (np.abs(dx) < half) & (np.abs(dy) < half)
        px = np.broadcast_to(px, inside.shape)[inside]
        py = np.broadcast_to(py, inside.shape)[inside]
        r0, c0 = py.min(), px.min()
        mask = np.zeros((py.max() - r0 + 1, px.max() - c0 + 1), bool)
        mask[py - r0, px - c0] = True
        return int(r0), int(c0), mask

    def sweep(self, path, sizes):
        """Polygons covering the brush swept along the path (scene pixels)."""
        w = sizes - 2 * self.inset / SUPER if self.round else sizes
        if self.round:
            return g.stroke_outline(path, w, join="round", cap="round")
        h = w / 2
        d = np.diff(path, axis=0)
        corner = np.where(np.stack([-d[:, 1], d[:, 0]], 1) >= 0, 1.0, -1.0)
        a, b = path[:-1], path[1:]
        ha, hb = h[:-1, None], h[1:, None]
        hull = np.stack([a + corner * ha, b + corner * hb, b - corner * hb, a - corner * ha], 1)
        sq = np.array([[-1, -1], [1, -1], [1, 1], [-1, 1]], dtype=np.float64)
        squares = path[:, None] + sq[None] * h[:, None, None]
        return [g.ccw(hull), squares]

    def stroke(self, path, sizes):
        """A draw function for the stroke at either scale."""
        pts, along = resample(path, sizes)
        outline = self.sweep(path, sizes)

        def draw(scale, shape):
            if scale == 1:
                return self.stamps(pts, along, 1)
            return fill_polygons(outline, scale, shape)
        return draw


def pencil_stroke(rng, size, brush, path=None):
    path = freehand(rng, size) if path is None else path
    d = float(rng.choice([1, 1, 2, 2, 3, 4, 5]))
    return brush.stroke(path, np.maximum(d * pressure(rng, len(path)), 1.0))


def pencil_strokes(rng, size):
    """Freehand pencil strokes and dots of 1-5 px hard brushes."""
    style = cel_style(rng, transparent=0.3, white=0.45)
    canvas = Canvas(size, style.background)
    scale = per_area(size)
    for _ in range(int(rng.integers(4, 18) * scale)):
        brush = Brush(rng)
        colour = style.line(rng) if rng.random() < 0.6 else style.fill(rng)
        if rng.random() < 0.1:
            colour = translucent(colour, rng)
        if rng.random() < 0.15:
            p = rng.uniform(0, size, 2)
            dot = np.stack([p, p + 1e-3])
            canvas.paint(colour, brush.stroke(dot, np.full(2, float(rng.integers(1, 6)))))
        else:
            canvas.paint(colour, pencil_stroke(rng, size, brush))
    return canvas.scene("pencil_strokes")


def flood(grid, seed, window, grow, barrier=None):
    """The 4-connected area of the seed's colour within the window (rows r0:r1, columns
    c0:c1), not crossing the barrier window, grown by `grow` grid pixels in the 8 directions;
    as a (row, column, mask) window."""
    r0, c0, r1, c1 = window
    sub = grid[r0:r1, c0:c1]
    sy, sx = seed[0] - r0, seed[1] - c0
    open_ = sub == sub[sy, sx]
    if barrier is not None:
        r, c, m = barrier
        y0, y1 = max(r, r0), min(r + m.shape[0], r1)
        x0, x1 = max(c, c0), min(c + m.shape[1], c1)
        open_[y0 - r0:y1 - r0, x0 - c0:x1 - c0] &= ~m[y0 - r:y1 - r, x0 - c:x1 - c]
    labels, _ = ndimage.label(open_)
    area = labels == labels[sy, sx]
    if grow:
        area = ndimage.maximum_filter1d(area.view(np.uint8), 2 * grow + 1, axis=0)
        area = ndimage.maximum_filter1d(area, 2 * grow + 1, axis=1).astype(bool)
    return r0, c0, area


def bucket_fill(rng, size):
    """Closed outlines drawn with a pencil and filled with the bucket from inside: leaving
    the outline, or grown by a pixel over its inner edge, or grown beneath a line layer."""
    style = cel_style(rng, transparent=0.3, white=0.45)
    canvas = Canvas(size, style.background)
    for _ in range(int(rng.integers(0, 3))):
        canvas.paint(style.line(rng), pencil_stroke(rng, size, Brush(rng)))
    for _ in range(int(rng.integers(1, 5) * per_area(size))):
        mode = rng.choice(["plain", "grow", "under"], p=[0.55, 0.25, 0.2])
        # Grown over a 1 px outline the fill would swallow it.
        d = float(rng.choice([1, 1, 2, 2, 3, 4] if mode != "grow" else [2, 2, 3, 4]))
        c = rng.uniform(0.15 * size, 0.85 * size, 2)
        r = rng.uniform(max(12, 4 * d), max(size * 0.6, 4 * d + 12))
        outline = g.blob(rng, *c, r, rng.uniform(0.05, 0.35))
        outline = np.concatenate([outline, outline[:1]])
        sizes = np.maximum(d * (pressure(rng, len(outline)) if rng.random() < 0.3
                                else np.ones(len(outline))), 1.0)
        line = canvas.windows(Brush(rng).stroke(outline, sizes))
        line_colour = style.line(rng)
        if mode == "under" and rng.random() < 0.5:
            line_colour = translucent(line_colour, rng)
        if mode != "under":
            canvas.paint_windows(line_colour, line)
        lo, hi = outline.min(0) - d - 2, outline.max(0) + d + 2
        seeds = {s: tuple(np.floor(c * s).astype(int)[::-1]) for s in canvas.grids}
        inside = [canvas.grids[s][seeds[s]] for s in canvas.grids]
        if None in line.values() or inside[0] != inside[1] or \
                (mode != "under" and inside[0] == canvas.index(line_colour)):
            continue  # the seed fell on a line: a painter would click elsewhere
        fill = {}
        for s, grid in canvas.grids.items():
            win = np.clip(np.concatenate([np.floor(lo * s)[::-1], np.ceil(hi * s)[::-1]]),
                          0, grid.shape[0]).astype(int)
            fill[s] = flood(grid, seeds[s], win, s if mode != "plain" else 0,
                            line[s] if mode == "under" else None)
        canvas.paint_windows(style.fill(rng), fill)
        if mode == "under":
            canvas.paint_windows(line_colour, line)
    return canvas.scene("bucket_fill")
