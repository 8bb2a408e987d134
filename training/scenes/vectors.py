"""Point-sampled vector renders: shapes, outlines and strokes at arbitrary sub-pixel placement,
rotation and scale, each pixel taking the colour under its centre (at 16x: under each of its
256 sub-pixel centres)."""

import numpy as np

from . import geometry as g
from .canvas import Canvas
from .raster import fill_polygons
from .style import cel_style, per_area, shade, translucent


def polygons(subpaths, evenodd=False):
    return lambda scale, shape: fill_polygons(subpaths, scale, shape, evenodd)


def stroke(path, width, **kw):
    return polygons(g.stroke_outline(path, width, **kw))


def radius(rng, size):
    """Mostly medium shapes, some tiny ones, some so large that only a gentle curve shows."""
    u = rng.random()
    if u < 0.15:
        return rng.uniform(0.7, 4)
    if u < 0.8:
        return np.exp(rng.uniform(np.log(4), np.log(size / 2.5)))
    return rng.uniform(size / 2.5, 2 * size)


def centre(rng, size, r):
    reach = min(r, size / 2) * 0.8
    return rng.uniform(-reach, size + reach, 2)


def closed_shape(rng, size, snap=False):
    """One closed outline of a random kind; with `snap`, corners of straight-edged kinds on
    whole pixels."""
    r = radius(rng, size)
    cx, cy = centre(rng, size, r)
    angle = rng.uniform(0, 2 * np.pi)
    kind = rng.choice(["blob", "ellipse", "rounded_rect", "polygon", "star", "curve"],
                      p=[0.25, 0.2, 0.15, 0.15, 0.1, 0.15])
    if kind == "blob":
        return g.blob(rng, cx, cy, r, rng.uniform(0.1, 0.45))
    if kind == "ellipse":
        return g.ellipse(cx, cy, r, r * rng.uniform(0.3, 1), angle)
    if snap and kind in ("rounded_rect", "polygon", "star"):
        angle = 0.0
        cx, cy = np.round((cx, cy))
    if kind == "rounded_rect":
        w, h = r * rng.uniform(0.6, 2), r * rng.uniform(0.4, 2)
        if snap:
            w, h = max(1, round(w)), max(1, round(h))
            cx, cy = cx + w % 2 / 2, cy + h % 2 / 2
        corner = 0 if rng.random() < 0.3 else rng.uniform(0, min(w, h) / 2)
        return g.rounded_rect(cx, cy, w, h, corner, angle)
    if kind == "polygon":
        p = g.random_polygon(rng, cx, cy, r, int(rng.integers(3, 9)))
    elif kind == "star":
        p = g.star(cx, cy, r, int(rng.integers(3, 9)), rng.choice([1.0, rng.uniform(0.3, 0.7)]),
                   angle)
    else:
        corners = g.random_polygon(rng, cx, cy, r, int(rng.integers(4, 8)))
        return g.smooth_curve(corners, closed=True)
    return np.round(p) if snap else p


def open_path(rng, size):
    """A smooth curve through a few points, or a polyline with sharp corners."""
    length = np.exp(rng.uniform(np.log(3), np.log(1.5 * size)))
    n = int(rng.integers(2, 7))
    start = rng.uniform(-0.1 * size, 1.1 * size, 2)
    heading = rng.uniform(0, 2 * np.pi) + np.cumsum(rng.normal(0, 0.8, n))
    steps = (length / n) * np.stack([np.cos(heading), np.sin(heading)], 1)
    pts = np.concatenate([start[None], start + np.cumsum(steps, 0)])
    return pts if rng.random() < 0.3 else g.smooth_curve(pts)


def crisp(path, width):
    """A path on whole pixels moved to pixel centres when the width is odd, so that the
    stroke's straight edges fall on pixel edges, as pixel-snapping editors place them."""
    return path + 0.5 if round(width) % 2 == 1 else path


def line_width(rng):
    """Hair lines well under a pixel to 3 px lines."""
    return rng.uniform(0.1, 0.95) if rng.random() < 0.3 else rng.uniform(0.9, 3.2)


def taper(rng, path, width):
    """Widths along a pen stroke that swells from thin ends, or a constant width."""
    if rng.random() < 0.6:
        return width
    t = np.linspace(0, 1, len(path))
    return width * np.clip(np.sin(np.pi * t) ** rng.uniform(0.3, 1), 0.15, 1)


def stroke_style(rng):
    return dict(join=rng.choice(["round", "miter", "bevel"]),
                cap=rng.choice(["butt", "round", "square"]))


def draw_cel(canvas, rng, style, shapes, strokes, details, snap=False, translucency=0.12):
    """Filled shapes with outlines and shading, strokes, then small details; `translucency`:
    the share of half-transparent fills."""
    size = canvas.size
    outlines = [closed_shape(rng, size, snap) for _ in range(shapes)]
    # Mostly large areas first and small ones over them, as cels are painted.
    extent = [np.prod(np.ptp(o, axis=0) + 1) * rng.lognormal(0, 1) for o in outlines]
    for shape in [outlines[i] for i in np.argsort(extent)[::-1]]:
        colour = style.fill(rng)
        if rng.random() < translucency:
            colour = translucent(colour, rng)
        k = canvas.paint(colour, polygons([shape]))
        if k is not None and rng.random() < 0.3:
            lo, hi = shape.min(0), shape.max(0)
            r = max(hi - lo) * rng.uniform(0.3, 0.7)
            c = rng.uniform(lo, hi)
            shadow = shade(colour, rng.uniform(0.55, 0.85) if rng.random() < 0.75 else 1.2)
            canvas.paint(shadow, polygons([g.blob(rng, *c, r)]), clip=[k])
        if rng.random() < 0.75:
            w = round(rng.uniform(0.6, 3.4)) if snap else rng.uniform(0.7, 3.2)
            canvas.paint(style.line(rng), stroke(crisp(shape, w) if snap else shape, w,
                                                 closed=True,
                                                 join=rng.choice(["round", "miter", "bevel"])))
    for _ in range(strokes):
        path = open_path(rng, size)
        colour = style.line(rng) if rng.random() < 0.7 else style.fill(rng)
        canvas.paint(colour, stroke(path, taper(rng, path, line_width(rng)), **stroke_style(rng)))
    for _ in range(details):
        r = rng.uniform(0.3, 3)
        c = rng.uniform(0, size, 2)
        shape = g.ellipse(*c, r, r * rng.uniform(0.4, 1), rng.uniform(0, np.pi)) \
            if rng.random() < 0.6 else g.random_polygon(rng, *c, r * 1.5, 3)
        canvas.paint(style.line(rng) if rng.random() < 0.5 else style.fill(rng), polygons([shape]))


def counts(rng, size, shapes=(3, 9), strokes=(1, 8), details=(0, 12)):
    """How many of each, for the scene's area."""
    scale = per_area(size)
    return [int(rng.integers(lo, hi) * scale + 0.5) for lo, hi in (shapes, strokes, details)]


def vector_cel(rng, size):
    """Cel-like shapes, outlines, shading, strokes and details, point-sampled."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    draw_cel(canvas, rng, style, *counts(rng, size), snap=rng.random() < 0.2)
    return canvas.scene("vector_cel")


def vector_line_art(rng, size):
    """Inked line art: many strokes, tapered and hair-thin, crossing over a few flat fills."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    draw_cel(canvas, rng, style, *counts(rng, size, (0, 3), (6, 18), (0, 4)))
    for _ in range(int(rng.integers(0, 3))):
        outline = closed_shape(rng, size)
        canvas.paint(style.line(rng), stroke(outline, line_width(rng), closed=True))
    return canvas.scene("vector_line_art")


def gentle_outline(rng, size):
    """A shape far larger than the scene, placed so that its border crosses it: only a gently
    curved or long, nearly straight stretch of edge shows, where the steps are long."""
    r = size * np.exp(rng.uniform(np.log(0.6), np.log(30)))
    through = rng.uniform(0.1 * size, 0.9 * size, 2)
    if rng.random() < 0.35:
        # a straight edge close to a row or a column
        angle = rng.normal(0, 0.12) + rng.integers(4) * np.pi / 2
        normal = np.array([np.cos(angle), np.sin(angle)])
        along = np.array([-normal[1], normal[0]])
        far = 4 * size
        return np.array([through + far * along, through + far * along + far * normal,
                         through - far * along + far * normal, through - far * along])
    heading = rng.uniform(0, 2 * np.pi)
    cx, cy = through + r * np.array([np.cos(heading), np.sin(heading)])
    return g.ellipse(cx, cy, r, r * rng.uniform(0.5, 1), rng.uniform(0, np.pi))


def vector_gentle(rng, size):
    """Large shapes and strokes whose edges bend gently across the scene, with their outlines:
    the long steps that curves of low curvature and nearly level lines leave."""
    style = cel_style(rng)
    canvas = Canvas(size, style.background)
    for _ in range(int(rng.integers(2, 6))):
        outline = gentle_outline(rng, size)
        colour = style.fill(rng)
        if rng.random() < 0.1:
            colour = translucent(colour, rng)
        canvas.paint(colour, polygons([outline]))
        if rng.random() < 0.6:
            canvas.paint(style.line(rng), stroke(outline, rng.uniform(0.7, 4.5), closed=True))
    for _ in range(int(rng.integers(0, 3))):
        outline = gentle_outline(rng, size)
        canvas.paint(style.line(rng), stroke(outline, line_width(rng), closed=True))
    return canvas.scene("vector_gentle")
