"""Point-sampled polygon filling at any scale: a pixel is inside when its centre is, with ties
broken by the top-left rule (an edge through a centre counts for the pixel on its right, a
horizontal edge for the pixel below it)."""

import numpy as np


def polygon_edges(subpaths):
    """(E, 4) edges x0, y0, x1, y1 of closed polygons given as (N, 2) arrays of x, y or as
    (P, N, 2) stacks of polygons with N corners each."""
    parts = []
    for p in subpaths:
        p = np.asarray(p, dtype=np.float64)
        if p.ndim == 2:
            p = p[None]
        if p.shape[1] < 2:
            continue
        parts.append(np.concatenate([p, np.roll(p, -1, axis=1)], axis=2).reshape(-1, 4))
    return np.concatenate(parts) if parts else np.zeros((0, 4))


def fill_polygons(subpaths, scale, shape, evenodd=False):
    """The pixels of a grid of `shape` whose centres lie inside the polygons (coordinates in
    scene pixels, multiplied by `scale`), filled by the non-zero winding rule or the even-odd
    rule. Returns (row, column, mask) of the window that holds them, or None."""
    e = polygon_edges(subpaths) * scale
    e = e[e[:, 1] != e[:, 3]]
    if len(e) == 0:
        return None
    x0, y0, x1, y1 = e.T
    height, width = shape
    top, bottom = np.minimum(y0, y1), np.maximum(y0, y1)
    # Rows whose centre y + 0.5 lies in [top, bottom): the top end of an edge counts, the
    # bottom one does not, so a vertex shared by two edges is crossed once.
    first = np.clip(np.ceil(top - 0.5), 0, height).astype(np.int64)
    end = np.clip(np.ceil(bottom - 0.5), 0, height).astype(np.int64)
    r0, r1 = first.min(), end.max()
    xs = np.concatenate([x0, x1])
    c0 = int(np.clip(np.ceil(xs.min() - 0.5), 0, width))
    c1 = int(np.clip(np.ceil(xs.max() - 0.5) + 1, 0, width))
    if r1 <= r0 or c1 <= c0:
        return None
    counts = end - first
    edge = np.repeat(np.arange(len(e)), counts)
    row = first[edge] + np.arange(edge.size) - np.repeat(np.cumsum(counts) - counts, counts)
    t = (row + 0.5 - y0[edge]) / (y1[edge] - y0[edge])
    x = x0[edge] + t * (x1[edge] - x0[edge])
    # A crossing at x starts (or ends) a span at the first centre x' + 0.5 >= x.
    col = np.clip(np.ceil(x - 0.5), c0, c1).astype(np.int64)
    order = np.lexsort((col, row))
    row, col = row[order], col[order]
    # Each row's crossings wind back to zero, so one running sum serves every row.
    winding = np.cumsum(np.where(y1 > y0, 1, -1)[edge][order])
    inside = (winding & 1).astype(bool) if evenodd else winding != 0
    before = np.concatenate([[False], inside[:-1]]) & np.concatenate([[False], row[1:] == row[:-1]])
    starts, ends = np.flatnonzero(inside & ~before), np.flatnonzero(~inside & before)
    r, a, b = row[starts] - r0, col[starts] - c0, col[ends] - c0
    shape = (r1 - r0, c1 - c0)
    if len(r) * 256 > shape[0] * shape[1]:
        # Many short spans: mark where each begins and ends and sum along the rows.
        marks = np.zeros((shape[0], shape[1] + 1), np.int8)
        np.add.at(marks, (r, a), 1)
        np.add.at(marks, (r, b), -1)
        return int(r0), c0, marks.cumsum(axis=1, dtype=np.int8)[:, :-1] > 0
    mask = np.zeros(shape, bool)
    for y, x0, x1 in zip(r.tolist(), a.tolist(), b.tolist()):
        mask[y, x0:x1] = True
    return int(r0), c0, mask
