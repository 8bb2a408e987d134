"""Anti-aliased art made hard again: alpha thresholded at 50 %, or every pixel snapped to the
nearest colour of the art's palette, as an indexing or posterising step does. The truth is the
anti-aliased drawing (16x16 supersampled)."""

import numpy as np

from .canvas import Canvas, Scene, premultiplied, straight8
from .style import cel_style
from .vectors import counts, draw_cel


def drawing(rng, size, transparent=0.35, translucency=0.12):
    style = cel_style(rng, transparent=transparent)
    canvas = Canvas(size, style.background)
    draw_cel(canvas, rng, style, *counts(rng, size), translucency=translucency)
    return canvas.scene(""), np.array(canvas.palette, dtype=np.uint8)


def threshold_alpha(rgba):
    out = rgba.copy()
    out[rgba[..., 3] < 128] = 0
    out[rgba[..., 3] >= 128, 3] = 255
    return out


def snap_to_palette(rgba, palette):
    """Each pixel replaced by the palette colour nearest in premultiplied RGBA."""
    p = premultiplied(palette)
    x = premultiplied(rgba).reshape(-1, 1, 4)
    nearest = np.argmin(((x - p[None]) ** 2).sum(-1), axis=1)
    return palette[nearest].reshape(rgba.shape)


def aa_thresholded(rng, size):
    """Anti-aliased art on transparency with alpha thresholded at 50 %, its colours sometimes
    snapped to the palette too."""
    # No half-transparent fills: the threshold would turn them opaque or void everywhere,
    # not only along their edges.
    scene, palette = drawing(rng, size, transparent=1.0, translucency=0.0)
    hard = threshold_alpha(straight8(scene.truth))
    if rng.random() < 0.4:
        hard = snap_to_palette(hard, palette)
    return Scene(hard, scene.truth, "aa_thresholded")


def aa_palette_snapped(rng, size):
    """Anti-aliased art with every pixel snapped to the nearest colour of its palette."""
    scene, palette = drawing(rng, size)
    return Scene(snap_to_palette(straight8(scene.truth), palette), scene.truth,
                 "aa_palette_snapped")
