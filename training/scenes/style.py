"""Colours of a cel: a background (transparent, white or flat), a few to a dozen fill colours and
the line colours that go with them: dark lines on light fills, coloured lines, or the reverse."""

import colorsys
from dataclasses import dataclass


TRANSPARENT = (0, 0, 0, 0)
WHITE = (255, 255, 255, 255)


def per_area(size):
    """How many things a scene of this side holds, relative to one of 128 px."""
    return max((size / 128) ** 2, 0.5)


def hsv(h, s, v, a=255):
    return tuple(int(round(c * 255)) for c in colorsys.hsv_to_rgb(h % 1.0, s, v)) + (int(a),)


def light(rng):
    return hsv(rng.random(), rng.uniform(0.1, 0.9), rng.uniform(0.65, 1.0))


def dark(rng):
    return hsv(rng.random(), rng.uniform(0.0, 0.8), rng.uniform(0.0, 0.3))


def shade(rgba, factor):
    """The same hue darker (factor < 1) or lighter (factor > 1), as a shadow or highlight."""
    h, s, v = colorsys.rgb_to_hsv(*(c / 255 for c in rgba[:3]))
    return hsv(h, min(1.0, s * (1.15 if factor < 1 else 0.7)), min(1.0, v * factor), rgba[3])


def translucent(rgba, rng):
    return rgba[:3] + (int(rng.integers(50, 215)),)


@dataclass
class Style:
    background: tuple
    fills: list
    lines: list

    def fill(self, rng):
        return self.fills[rng.integers(len(self.fills))]

    def line(self, rng):
        return self.lines[rng.integers(len(self.lines))]


def background(rng, transparent=0.35, white=0.35):
    u = rng.random()
    if u < transparent:
        return TRANSPARENT if rng.random() < 0.8 else (255, 255, 255, 0)
    if u < transparent + white:
        return WHITE
    return light(rng) if rng.random() < 0.7 else hsv(rng.random(), rng.uniform(0, 1), rng.random())


def cel_style(rng, transparent=0.35, white=0.35):
    """Fills and lines: usually dark lines on light fills, sometimes coloured lines (shades of
    the fills), sometimes light lines on dark fills."""
    reverse = rng.random() < 0.15
    n = int(rng.integers(2, 13))
    fills = [dark(rng) if reverse else light(rng) for _ in range(n)]
    if rng.random() < 0.3:
        fills[-1] = hsv(rng.random(), rng.uniform(0.6, 1), rng.uniform(0.4, 0.9))
    u = rng.random()
    if reverse:
        lines = [light(rng) if rng.random() < 0.5 else WHITE]
    elif u < 0.6:
        lines = [hsv(rng.random(), rng.uniform(0, 0.5), rng.uniform(0, 0.12))]
    elif u < 0.85:
        lines = [shade(f, rng.uniform(0.3, 0.6)) for f in fills[:int(rng.integers(1, 4))]]
    else:
        lines = [dark(rng) for _ in range(int(rng.integers(1, 4)))]
    bg = background(rng, transparent, white)
    if reverse and bg == WHITE:
        bg = hsv(rng.random(), rng.uniform(0, 1), rng.uniform(0, 0.25))
    return Style(bg, fills, lines)
