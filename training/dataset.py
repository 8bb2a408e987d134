"""Training examples of the coverage network, cut from scenes.

An example is one pixel near an edge: the colours of its 3x3 neighbourhood (its candidates, at
most nine), for each the binary mask of where that colour lies in the cells the network reads
around the pixel, and the truth the blend of the candidates should come close to. This module
mirrors what the C++ pass does before its network runs: the same candidates, the same masks,
the same gate.
"""
import numpy as np

# The cells the network reads: the square window around the pixel.
WINDOW_RADIUS = 5
MAX_CANDIDATES = 9
GATE_RADIUS = 2             # the gate counts the distinct colours of a 5x5 block ...
GATE_COLOURS = 4            # ... and leaves the pixel alone when there are more than this
# Candidates are taken from the 3x3 neighbourhood centre first, then in scan order, so that the
# pixel's own colour is always the first candidate with its own samples.
CANDIDATE_ORDER = [4, 0, 1, 2, 3, 5, 6, 7, 8]


def cell_offsets(radius=None):
    """(dx, dy) of every cell of the window, row by row from the top left."""
    radius = WINDOW_RADIUS if radius is None else radius
    return [(dx, dy) for dy in range(-radius, radius + 1) for dx in range(-radius, radius + 1)]


def symmetries(cells):
    """For each of the square's eight symmetries, the permutation of cells it makes."""
    index = {c: i for i, c in enumerate(cells)}
    maps = [lambda x, y: (x, y), lambda x, y: (-y, x), lambda x, y: (-x, -y),
            lambda x, y: (y, -x)]
    perms = []
    for turn in maps:
        for mirror in (False, True):
            perms.append([index[turn(-x if mirror else x, y)] for x, y in cells])
    return np.array(perms)


def transposed_cells(cells):
    """The permutation of cells that mirrors the window across its main diagonal."""
    index = {c: i for i, c in enumerate(cells)}
    return np.array([index[(y, x)] for x, y in cells])


def colour_keys(rgba):
    """One 64-bit key per pixel of 8- or 16-bit samples: colours are compared exactly."""
    p = rgba.astype(np.uint64)
    return p[..., 0] | (p[..., 1] << 16) | (p[..., 2] << 32) | (p[..., 3] << 48)


def _padded(keys, r):
    return np.pad(keys, r, mode="edge")


def _distinct_in_block(keys, r):
    """Number of distinct keys in the (2r+1)^2 block around every pixel."""
    h, w = keys.shape
    p = _padded(keys, r)
    stack = np.stack([p[dy:dy + h, dx:dx + w] for dy in range(2 * r + 1)
                      for dx in range(2 * r + 1)], -1)
    stack.sort(-1)
    return 1 + (np.diff(stack.astype(np.int64), axis=-1) != 0).sum(-1)


def premultiplied(rgba, full=255):
    f = rgba.astype(np.float32) / full
    return np.concatenate([f[..., :3] * f[..., 3:], f[..., 3:]], -1)


def candidate_samples(image, ys, xs):
    """The candidates' own samples, int64 [N, 9, 4] (zero where a slot is unused)."""
    keys = colour_keys(image)
    _, _, cand, valid = _candidates(keys, ys, xs)
    rgba = np.stack([(cand >> np.uint64(s)) & np.uint64(0xFFFF) for s in (0, 16, 32, 48)], -1)
    return (rgba * valid[..., None]).astype(np.int64)


def _neighbours(keys):
    h, w = keys.shape
    p1 = _padded(keys, 1)
    return np.stack([p1[dy:dy + h, dx:dx + w] for dy in range(3) for dx in range(3)], -1)


def _candidates(keys, ys, xs):
    cand = _neighbours(keys)[ys, xs][:, CANDIDATE_ORDER]
    n = len(ys)
    # candidates: the first occurrence of each distinct key
    first = np.ones((n, 9), bool)
    for j in range(1, 9):
        first[:, j] = ~(cand[:, :j] == cand[:, j:j + 1]).any(1)
    order = np.argsort(~first, axis=1, kind="stable")
    return cand, first, np.take_along_axis(cand, order, 1), np.take_along_axis(first, order, 1)


def examples(aliased, truth, with_positions=False):
    """Examples of one scene: (masks uint8 [N, 9, bytes] of packed bits, valid [N, 9] bool,
    colours float32 [N, 9, 4] premultiplied, truth float32 [N, 4]), and with_positions the
    pixels' (ys, xs)."""
    keys = colour_keys(aliased)
    neigh = _neighbours(keys)
    edge = (neigh != keys[..., None]).any(-1)
    gated = _distinct_in_block(keys, GATE_RADIUS) > GATE_COLOURS
    ys, xs = np.nonzero(edge & ~gated)
    _, _, cand_sorted, valid = _candidates(keys, ys, xs)
    cells = cell_offsets()
    reach = max(max(abs(x), abs(y)) for x, y in cells)
    pr = _padded(keys, reach)
    win = np.stack([pr[ys + reach + dy, xs + reach + dx] for dx, dy in cells], -1)
    masks = (win[:, None, :] == cand_sorted[:, :, None]) & valid[:, :, None]   # [N, 9, cells]
    packed = np.packbits(masks, axis=-1)
    rgba = np.stack([(cand_sorted >> np.uint64(s)) & np.uint64(0xFFFF) for s in (0, 16, 32, 48)], -1)
    colours = premultiplied(rgba, 255 if aliased.dtype == np.uint8 else 65535) * valid[..., None]
    t = truth[ys, xs].astype(np.float32) if truth is not None else None
    if with_positions:
        return packed, valid, colours.astype(np.float32), t, (ys, xs)
    return packed, valid, colours.astype(np.float32), t
