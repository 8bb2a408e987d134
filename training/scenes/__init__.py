"""Synthetic training scenes: each drawn by one aliasing rule at 1x (the filter's input) and by
the same rule at 16x, box-averaged in premultiplied RGBA (its truth).

    from training.scenes import RULES, make_scene, Scene
    scene = make_scene(name, numpy.random.default_rng(seed), 128)
"""

from .canvas import Scene
from .keep import keep_aa_art, keep_dither, keep_gradient, keep_noise, keep_photo
from .library import dda_lines, pil_ellipses, pil_lines, pil_polygons, scanline_polygons
from .paint import bucket_fill, pencil_strokes
from .snapped import aa_palette_snapped, aa_thresholded
from .text import text_outlines, text_pil
from .vectors import vector_cel, vector_gentle, vector_line_art

__all__ = ["RULES", "Scene", "make_scene"]

# name -> (function(rng, size) -> Scene, weight in the training mix)
RULES = {
    "vector_cel": (vector_cel, 0.14),
    "vector_line_art": (vector_line_art, 0.08),
    "vector_gentle": (vector_gentle, 0.10),
    "scanline_polygons": (scanline_polygons, 0.04),
    "pil_polygons": (pil_polygons, 0.04),
    "dda_lines": (dda_lines, 0.03),
    "pil_lines": (pil_lines, 0.04),
    "pil_ellipses": (pil_ellipses, 0.04),
    "pencil_strokes": (pencil_strokes, 0.07),
    "bucket_fill": (bucket_fill, 0.07),
    "aa_thresholded": (aa_thresholded, 0.04),
    "aa_palette_snapped": (aa_palette_snapped, 0.05),
    "text_outlines": (text_outlines, 0.06),
    "text_pil": (text_pil, 0.07),
    "keep_aa_art": (keep_aa_art, 0.09),
    "keep_gradient": (keep_gradient, 0.03),
    "keep_dither": (keep_dither, 0.04),
    "keep_noise": (keep_noise, 0.03),
    "keep_photo": (keep_photo, 0.04),
}


def make_scene(name, rng, size):
    scene = RULES[name][0](rng, size)
    scene.rule = name
    return scene
