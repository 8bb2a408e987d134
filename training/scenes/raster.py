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
    # A crossing at x starts (or ends) the span at the first centre x' + 0.5 >= x.
    col = np.clip(np.ceil(x - 0.5), c0, c1).astype(np.int64) - c0
    span = c1 - c0 + 1
    winding = np.zeros((r1 - r0) * span, dtype=np.int16)
    np.add.at(winding, (row - r0) * span + col, np.where(y1 > y0, 1, -1).astype(np.int16)[edge])
    winding = winding.reshape(r1 - r0, span)[:, :-1].cumsum(axis=1, dtype=np.int16)
    mask = (winding & 1).astype(bool) if evenodd else winding != 0
    return int(r0), c0, mask
