"""A drawing kept at 1x and at 16x as palette indices, painted in order at both scales, and the
scene made from it: the 1x drawing as straight RGBA, the 16x one box-averaged in premultiplied
RGBA."""

from dataclasses import dataclass

import numpy as np

SUPER = 16


@dataclass
class Scene:
    aliased: np.ndarray  # (H, W, 4) uint8, straight RGBA
    truth: np.ndarray  # (H, W, 4) float32, premultiplied RGBA in 0..1
    rule: str
    keep: bool = False


def premultiplied(rgba):
    """Premultiplied float RGBA in 0..1 of straight 8-bit RGBA (any leading shape)."""
    c = np.asarray(rgba, dtype=np.float64) / 255
    return np.concatenate([c[..., :3] * c[..., 3:], c[..., 3:]], -1)


def straight8(premul):
    """Straight 8-bit RGBA nearest to premultiplied float RGBA."""
    p = np.clip(np.asarray(premul, dtype=np.float64), 0, 1)
    a = p[..., 3:]
    rgb = np.where(a > 0, p[..., :3] / np.maximum(a, 1e-12), 0)
    return np.round(np.concatenate([np.clip(rgb, 0, 1), a], -1) * 255).astype(np.uint8)


def keep_scene(aliased, rule):
    """Content that must come out as it went in: its truth is itself."""
    aliased = np.ascontiguousarray(aliased, dtype=np.uint8)
    return Scene(aliased, premultiplied(aliased).astype(np.float32), rule, keep=True)


def over(top, bottom):
    """Straight 8-bit `top` composited over `bottom`."""
    ta, ba = top[3] / 255, bottom[3] / 255
    a = ta + ba * (1 - ta)
    if a == 0:
        return (0, 0, 0, 0)
    rgb = [(t * ta + b * ba * (1 - ta)) / a for t, b in zip(top[:3], bottom[:3])]
    return tuple(int(round(v)) for v in rgb) + (int(round(a * 255)),)


def clip_window(window, shape):
    """The part of a (row, column, mask) window that lies on a grid of `shape`, or None."""
    if window is None:
        return None
    r, c, m = window
    r0, c0 = max(r, 0), max(c, 0)
    r1, c1 = min(r + m.shape[0], shape[0]), min(c + m.shape[1], shape[1])
    if r1 <= r0 or c1 <= c0:
        return None
    return r0, c0, m[r0 - r:r1 - r, c0 - c:c1 - c]


class Canvas:
    """One drawing at two scales. A draw function `draw(scale, shape)` returns the (row, column,
    mask) window of the pixels a shape covers on the grid of that scale, or None."""

    def __init__(self, size, background):
        self.size = size
        self.palette = [tuple(int(v) for v in background)]
        self.grids = {1: np.zeros((size, size), np.uint8),
                      SUPER: np.zeros((size * SUPER, size * SUPER), np.uint8)}

    def index(self, rgba):
        rgba = tuple(int(v) for v in rgba)
        if rgba not in self.palette:
            if len(self.palette) == 256:
                raise OverflowError("more than 256 colours in one scene")
            self.palette.append(rgba)
        return self.palette.index(rgba)

    def windows(self, draw):
        """The clipped window of `draw` at each scale."""
        return {s: clip_window(draw(s, g.shape), g.shape) for s, g in self.grids.items()}

    def paint(self, rgba, draw, clip=None):
        """Paints `rgba` over what lies under the pixels `draw` covers, only over palette
        indices in `clip` when given. Returns the palette index of an opaque colour."""
        return self.paint_windows(rgba, self.windows(draw), clip)

    def paint_windows(self, rgba, windows, clip=None):
        k = self.index(rgba) if rgba[3] == 255 else None
        for s, w in windows.items():
            if w is None:
                continue
            r, c, m = w
            view = self.grids[s][r:r + m.shape[0], c:c + m.shape[1]]
            if clip is not None:
                allowed = np.zeros(256, bool)
                allowed[list(clip)] = True
                m = m & allowed[view]
            if k is not None:
                np.copyto(view, k, where=m)
                continue
            under = view[m]
            lut = np.arange(256, dtype=np.uint8)
            for j in np.flatnonzero(np.bincount(under, minlength=len(self.palette))):
                lut[j] = self.index(over(rgba, self.palette[j]))
            view[m] = lut[under]
        return k

    def scene(self, rule):
        pal = np.array(self.palette, dtype=np.uint8)
        return Scene(pal[self.grids[1]], box_average(self.grids[SUPER], premultiplied(pal), SUPER)
                     .astype(np.float32), rule)


def box_average(indices, colours, n):
    """Mean colour of each n x n block of a grid of palette indices."""
    h, w = indices.shape[0] // n, indices.shape[1] // n
    blocks = indices.reshape(h, n, w, n).swapaxes(1, 2).reshape(h * w, n * n)
    lo, hi = blocks.min(1), blocks.max(1)
    out = colours[lo]
    mixed = np.flatnonzero(lo != hi)
    if mixed.size:
        k = len(colours)
        ids = np.arange(mixed.size)[:, None] * k + blocks[mixed]
        counts = np.bincount(ids.ravel(), minlength=mixed.size * k).reshape(mixed.size, k)
        out[mixed] = counts @ colours / (n * n)
    return out.reshape(h, w, -1)
