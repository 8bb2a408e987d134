"""Outlines of shapes, curves and strokes as polygons in scene pixels (x right, y down; pixel
(x, y) covers [x, x + 1) x [y, y + 1)), flattened finely enough to pass for the curves at 16x."""

import numpy as np

# Largest distance, in scene pixels, between a curve and the chords that stand for it.
TOLERANCE = 0.004


def arc_segments(radius, angle=2 * np.pi):
    """Chords needed on an arc of this radius to stay within TOLERANCE of it."""
    # A chord spanning d radians strays radius * d^2 / 8 from the arc.
    per_radian = np.sqrt(max(radius, TOLERANCE) / (8 * TOLERANCE))
    return int(np.clip(np.ceil(abs(angle) * per_radian), 6, 4096))


def rotate(points, angle, centre=(0.0, 0.0)):
    c, s = np.cos(angle), np.sin(angle)
    p = np.asarray(points, dtype=np.float64) - centre
    return np.stack([c * p[..., 0] - s * p[..., 1], s * p[..., 0] + c * p[..., 1]], -1) + centre


def ellipse(cx, cy, rx, ry, angle=0.0):
    t = np.linspace(0, 2 * np.pi, arc_segments(max(rx, ry)), endpoint=False)
    return rotate(np.stack([rx * np.cos(t), ry * np.sin(t)], 1), angle) + (cx, cy)


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)


def rounded_rect(cx, cy, w, h, r, angle=0.0):
    r = min(r, w / 2, h / 2)
    corners = [(w / 2 - r, h / 2 - r, 0.0), (-w / 2 + r, h / 2 - r, 0.5 * np.pi),
               (-w / 2 + r, -h / 2 + r, np.pi), (w / 2 - r, -h / 2 + r, 1.5 * np.pi)]
    t = np.linspace(0, np.pi / 2, arc_segments(r, np.pi / 2) if r > 0 else 1)
    pts = [np.stack([x + r * np.cos(a + t), y + r * np.sin(a + t)], 1) for x, y, a in corners]
    return rotate(np.concatenate(pts), angle) + (cx, cy)


def star(cx, cy, r, n, inner=1.0, angle=0.0):
    """A regular polygon (inner = 1) or an n-pointed star whose inner corners lie at inner * r."""
    if inner == 1.0:
        t = angle + np.arange(n) * 2 * np.pi / n
        rad = np.full(n, r)
    else:
        t = angle + np.arange(2 * n) * np.pi / n
        rad = np.where(np.arange(2 * n) % 2 == 0, r, r * inner)
    return np.stack([cx + rad * np.cos(t), cy + rad * np.sin(t)], 1)


def random_polygon(rng, cx, cy, r, n):
    """A polygon, star-shaped around its centre, with n corners at random angles and radii."""
    t = np.sort(rng.uniform(0, 2 * np.pi, n))
    rad = r * rng.uniform(0.35, 1.0, n)
    return np.stack([cx + rad * np.cos(t), cy + rad * np.sin(t)], 1)


def blob(rng, cx, cy, r, wobble=0.35):
    """A smooth closed curve: a circle whose radius varies with a few low harmonics."""
    n = arc_segments(r * (1 + wobble) * 2)
    t = np.linspace(0, 2 * np.pi, n, endpoint=False)
    k = np.arange(2, 6)
    amp = rng.uniform(0, 1, k.size) / k
    amp *= wobble / max(amp.sum(), 1e-9)
    phase = rng.uniform(0, 2 * np.pi, k.size)
    rad = r * (1 + (amp[:, None] * np.cos(k[:, None] * t + phase[:, None])).sum(0))
    squashed = np.stack([rad * np.cos(t), rad * np.sin(t) * rng.uniform(0.5, 1)], 1)
    return rotate(squashed, rng.uniform(0, np.pi)) + (cx, cy)


def cubic_points(controls, tolerance=TOLERANCE):
    """Flattens cubic Bezier segments (M, 4, 2) into one polyline (first point included)."""
    c = np.asarray(controls, dtype=np.float64)
    out = [c[:1, 0]]
    for p in c:
        dd = max(np.hypot(*(p[0] - 2 * p[1] + p[2])), np.hypot(*(p[1] - 2 * p[2] + p[3])))
        n = int(np.clip(np.ceil(np.sqrt(6 * dd / (8 * tolerance))), 1, 4096))
        t = np.linspace(0, 1, n + 1)[1:, None]
        u = 1 - t
        out.append(u ** 3 * p[0] + 3 * u * u * t * p[1] + 3 * u * t * t * p[2] + t ** 3 * p[3])
    return np.concatenate(out)


def through_points(points, closed=False, tension=1.0):
    """Cubic segments (M, 4, 2) of a Catmull-Rom spline through the points."""
    p = np.asarray(points, dtype=np.float64)
    if closed:
        ext = np.concatenate([p[-1:], p, p[:2]])
    else:
        ext = np.concatenate([2 * p[:1] - p[1:2], p, 2 * p[-1:] - p[-2:-1]])
    a, b, c, d = ext[:-3], ext[1:-2], ext[2:-1], ext[3:]
    return np.stack([b, b + tension * (c - a) / 6, c - tension * (d - b) / 6, c], 1)


def smooth_curve(points, closed=False, tension=1.0):
    pts = cubic_points(through_points(points, closed, tension))
    return pts[:-1] if closed else pts


def ccw(polys):
    """The same polygons (P, N, 2), each turned to a positive signed area."""
    x, y = polys[..., 0], polys[..., 1]
    area = (x * np.roll(y, -1, 1) - np.roll(x, -1, 1) * y).sum(1)
    return np.where((area < 0)[:, None, None], polys[:, ::-1], polys)


def stroke_outline(path, width, closed=False, join="round", cap="butt", miter_limit=4.0,
                   corner=np.radians(15)):
    """Polygons whose union (non-zero rule) is the stroke of a polyline. `width` is one number
    or one per point; joins: round, miter, bevel; caps: butt, round, square. Between points
    where the path turns by less than `corner` it is a flattened curve and bevels suffice."""
    p = np.asarray(path, dtype=np.float64)
    h = np.broadcast_to(np.asarray(width, dtype=np.float64) / 2, (len(p),))
    keep = np.ones(len(p), bool)
    keep[1:] = np.hypot(*(p[1:] - p[:-1]).T) > 1e-9
    p, h = p[keep], h[keep]
    while closed and len(p) > 1 and np.hypot(*(p[-1] - p[0])) <= 1e-9:
        p, h = p[:-1], h[:-1]
    if len(p) < 2:
        return [circle(*p[0], h[0])] if len(p) and cap == "round" else []
    a, ha = p, h
    b, hb = (np.roll(p, -1, 0), np.roll(h, -1)) if closed else (p[1:], h[1:])
    if not closed:
        a, ha = p[:-1], h[:-1]
    d = b - a
    u = d / np.hypot(*d.T)[:, None]
    n = np.stack([-u[:, 1], u[:, 0]], 1)
    polys = [ccw(np.stack([a + n * ha[:, None], b + n * hb[:, None],
                            b - n * hb[:, None], a - n * ha[:, None]], 1))]
    if closed:
        u_in, u_out, n_in, n_out, v, hv = u, np.roll(u, -1, 0), n, np.roll(n, -1, 0), b, hb
    else:
        u_in, u_out, n_in, n_out, v, hv = u[:-1], u[1:], n[:-1], n[1:], b[:-1], hb[:-1]
    if len(v):
        cross = u_in[:, 0] * u_out[:, 1] - u_in[:, 1] * u_out[:, 0]
        turn = np.abs(np.arctan2(cross, (u_in * u_out).sum(1)))
        side = np.where(cross > 0, -1.0, 1.0)[:, None] * hv[:, None]
        outer_in, outer_out = v + side * n_in, v + side * n_out
        polys.append(ccw(np.stack([v, outer_in, outer_out], 1)))
        sharp = turn > corner
        if join == "round":
            polys += [circle(*v[i], hv[i]) for i in np.flatnonzero(sharp)]
        elif join == "miter":
            ratio = 1 / np.maximum(np.cos(turn / 2), 1e-9)
            m = n_in + n_out
            m /= np.maximum(np.hypot(*m.T), 1e-12)[:, None]
            tip = v + side * m * ratio[:, None]
            ok = sharp & (ratio <= miter_limit)
            if ok.any():
                polys.append(ccw(np.stack([outer_in[ok], tip[ok], outer_out[ok]], 1)))
    if not closed:
        if cap == "round":
            polys += [circle(*p[0], h[0]), circle(*p[-1], h[-1])]
        elif cap == "square":
            ends = [(p[0], -u[0], n[0], h[0]), (p[-1], u[-1], n[-1], h[-1])]
            polys.append(ccw(np.array([[e + nn * r, e + nn * r + uu * r, e - nn * r + uu * r,
                                         e - nn * r] for e, uu, nn, r in ends])))
    return polys
