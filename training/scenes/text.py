"""Aliased text in the fonts Debian installs, 7-40 px: glyph outlines point-sampled, and
FreeType's own monochrome rendering through Pillow (the truth: the same call at 16x the size)."""

import functools
import os

import numpy as np
from PIL import Image, ImageDraw, ImageFont

from . import geometry as g
from .canvas import Canvas
from .raster import fill_polygons
from .style import cel_style, hsv, shade
from .vectors import polygons, stroke

try:
    from fontTools.pens.basePen import BasePen
    from fontTools.ttLib import TTFont
except ImportError:  # outlines need fontTools; without it every text scene uses Pillow
    TTFont = None

FONTS = [
    "truetype/dejavu/DejaVuSans.ttf", "truetype/dejavu/DejaVuSans-Bold.ttf",
    "truetype/dejavu/DejaVuSansMono.ttf", "truetype/dejavu/DejaVuSerif.ttf",
    "truetype/dejavu/DejaVuSerif-Bold.ttf",
    "truetype/liberation/LiberationSans-Regular.ttf", "truetype/liberation/LiberationSans-Bold.ttf",
    "truetype/liberation/LiberationSans-Italic.ttf",
    "truetype/liberation/LiberationSans-BoldItalic.ttf",
    "truetype/liberation/LiberationSansNarrow-Regular.ttf",
    "truetype/liberation/LiberationSerif-Regular.ttf",
    "truetype/liberation/LiberationSerif-Bold.ttf",
    "truetype/liberation/LiberationSerif-Italic.ttf",
    "truetype/liberation/LiberationMono-Regular.ttf", "truetype/liberation/LiberationMono-Bold.ttf",
    "truetype/noto/NotoMono-Regular.ttf", "truetype/noto/NotoSansMono-Bold.ttf",
    "opentype/urw-base35/NimbusSans-Regular.otf", "opentype/urw-base35/NimbusSans-Bold.otf",
    "opentype/urw-base35/NimbusSans-Italic.otf", "opentype/urw-base35/NimbusRoman-Regular.otf",
    "opentype/urw-base35/NimbusRoman-Bold.otf", "opentype/urw-base35/NimbusRoman-Italic.otf",
    "opentype/urw-base35/NimbusSansNarrow-Bold.otf", "opentype/urw-base35/NimbusMonoPS-Regular.otf",
    "opentype/urw-base35/C059-Roman.otf", "opentype/urw-base35/C059-Bold.otf",
    "opentype/urw-base35/P052-Roman.otf", "opentype/urw-base35/P052-Italic.otf",
    "opentype/urw-base35/URWBookman-Light.otf", "opentype/urw-base35/URWBookman-Demi.otf",
    "opentype/urw-base35/URWGothic-Book.otf", "opentype/urw-base35/URWGothic-Demi.otf",
    "opentype/urw-base35/Z003-MediumItalic.otf",
]


@functools.lru_cache(maxsize=None)
def installed_fonts():
    return [p for p in (os.path.join("/usr/share/fonts", f) for f in FONTS) if os.path.exists(p)]


def words(rng, n):
    letters = "etaoinshrdlucmfwypvbgkjqxz"
    out = []
    for _ in range(n):
        w = "".join(rng.choice(list(letters), int(rng.integers(1, 9))))
        u = rng.random()
        w = w.upper() if u < 0.35 else w.capitalize() if u < 0.55 else w
        if rng.random() < 0.15:
            w = str(rng.integers(0, 10000)) if rng.random() < 0.5 \
                else w + rng.choice(list("!?.,'-:"))
        out.append(w)
    return " ".join(out)


class _Flattener(BasePen if TTFont else object):
    def __init__(self, glyphset, tolerance):
        super().__init__(glyphset)
        self.tolerance, self.contours, self.current = tolerance, [], []

    def _moveTo(self, p):
        self.current = [np.array([p], dtype=np.float64)]

    def _lineTo(self, p):
        self.current.append(np.array([p], dtype=np.float64))

    def _curveToOne(self, p1, p2, p3):
        start = self.current[-1][-1]
        ctrl = np.array([[start, p1, p2, p3]], dtype=np.float64)
        self.current.append(g.cubic_points(ctrl, self.tolerance)[1:])

    def _closePath(self):
        if self.current:
            self.contours.append(np.concatenate(self.current))
        self.current = []

    _endPath = _closePath


class OutlineFont:
    """Glyph outlines of one font file, flattened, in em units (y up)."""

    def __init__(self, path):
        self.font = TTFont(path, lazy=True)
        self.em = self.font["head"].unitsPerEm
        self.glyphs = self.font.getGlyphSet()
        self.cmap = self.font.getBestCmap()
        self.cache = {}

    def glyph(self, ch):
        if ch not in self.cache:
            name = self.cmap.get(ord(ch))
            if name is None:
                self.cache[ch] = ([], 0.0)
            else:
                pen = _Flattener(self.glyphs, self.em / 8000)
                self.glyphs[name].draw(pen)
                self.cache[ch] = ([c / self.em for c in pen.contours],
                                  self.glyphs[name].width / self.em)
        return self.cache[ch]

    def outline(self, text, x, y, size):
        """Contours of a line of text in scene pixels from pen position (x, baseline y)."""
        out = []
        for ch in text:
            contours, advance = self.glyph(ch)
            out += [c * (size, -size) + (x, y) for c in contours]
            x += advance * size
        return out, x


@functools.lru_cache(maxsize=None)
def outline_font(path):
    return OutlineFont(path)


@functools.lru_cache(maxsize=64)
def pil_font(path, size):
    return ImageFont.truetype(path, size)


def text_colours(rng, style):
    bg = style.background
    dark_bg = bg[3] > 0 and sum(bg[:3]) < 300
    u = rng.random()
    if u < 0.6:
        return hsv(rng.random(), rng.uniform(0, 1), rng.uniform(0.85, 1)) if dark_bg \
            else hsv(rng.random(), rng.uniform(0, 0.6), rng.uniform(0, 0.25))
    return style.fill(rng) if u < 0.8 else style.line(rng)


def layout(rng, size):
    """Font size and the lines of a block of text: (text, pen x, baseline y) each."""
    px = float(np.exp(rng.uniform(np.log(7), np.log(40))))
    x, y = rng.uniform(-0.1 * size, 0.6 * size), rng.uniform(0, size * 0.8) + px
    lines = []
    for _ in range(int(rng.integers(1, 1 + max(1, int(size / px / 1.3))))):
        lines.append((words(rng, int(rng.integers(1, 6))), x + rng.uniform(-2, 2) * px, y))
        y += px * rng.uniform(1.1, 1.5)
    return px, lines


def bubble(rng, canvas, style, size):
    """A speech bubble or panel behind the text, sometimes."""
    if rng.random() < 0.35:
        c = rng.uniform(0.2 * size, 0.8 * size, 2)
        if rng.random() < 0.6:
            shape = g.ellipse(*c, rng.uniform(0.3, 0.7) * size, rng.uniform(0.2, 0.5) * size)
        else:
            shape = g.rounded_rect(*c, size * 0.8, size * 0.5, rng.uniform(0, 12))
        canvas.paint(style.fill(rng), polygons([shape]))
        canvas.paint(style.line(rng), stroke(shape, rng.uniform(1, 3), closed=True))


def text_outlines(rng, size):
    """Glyph outlines filled by point sampling, some with an outline stroke around them."""
    fonts = installed_fonts()
    if TTFont is None or not fonts:
        return text_pil(rng, size)
    style = cel_style(rng, transparent=0.35, white=0.4)
    canvas = Canvas(size, style.background)
    bubble(rng, canvas, style, size)
    for _ in range(int(rng.integers(1, 4))):
        font = outline_font(fonts[rng.integers(len(fonts))])
        px, lines = layout(rng, size)
        colour = text_colours(rng, style)
        outlined = rng.random() < 0.15
        halo = shade(colour, 3.0) if sum(colour[:3]) < 300 else shade(colour, 0.3)
        for text, x, y in lines:
            contours, _ = font.outline(text, x, y, px)
            if outlined:
                width = rng.uniform(1, max(1.5, px / 8))
                canvas.paint(halo, polygons([p for c in contours for p in
                                             g.stroke_outline(c, width, closed=True)]))
            canvas.paint(colour, lambda s, shape, c=contours: fill_polygons(c, s, shape))
    return canvas.scene("text_outlines")


def pil_text(path, px, text, x, y, stroke_width=0):
    """A draw function writing a line with FreeType's monochrome glyphs from pen position
    (x, baseline y): the same call at 16x the size, position and stroke width. The position
    is whole pixels: Pillow rounds it at 1x but not, in effect, at 16x."""
    x, y = round(x), round(y)

    def draw(scale, shape):
        font = pil_font(path, px * scale)
        pad = int(2 * px * scale + stroke_width * scale)
        left, top = int(np.floor(x * scale)) - pad, int(np.floor(y * scale)) - pad
        width = int(font.getlength(text)) + 2 * pad
        im = Image.new("L", (width, 2 * pad), 0)
        d = ImageDraw.Draw(im)
        d.fontmode = "1"
        d.text((x * scale - left, y * scale - top), text, font=font, fill=255, anchor="ls",
               stroke_width=stroke_width * scale, stroke_fill=255)
        return top, left, np.asarray(im) > 0
    return draw


def text_pil(rng, size):
    """Pillow's monochrome text, some of it with Pillow's stroke around the glyphs."""
    fonts = installed_fonts()
    style = cel_style(rng, transparent=0.35, white=0.4)
    canvas = Canvas(size, style.background)
    bubble(rng, canvas, style, size)
    if not fonts:
        return canvas.scene("text_pil")
    for _ in range(int(rng.integers(1, 4))):
        path = fonts[rng.integers(len(fonts))]
        px, lines = layout(rng, size)
        px = int(round(px))
        colour = text_colours(rng, style)
        outlined = rng.random() < 0.15
        for text, x, y in lines:
            if outlined:
                canvas.paint(shade(colour, 3.0) if sum(colour[:3]) < 300 else shade(colour, 0.3),
                             pil_text(path, px, text, x, y, int(rng.integers(1, 3))))
            canvas.paint(colour, pil_text(path, px, text, x, y))
    return canvas.scene("text_pil")
