"""Content that must come out as it went in (truth = input): art that is already anti-aliased,
8-bit gradients, dithering, noise and photo-like pictures."""

import functools
import glob

import numpy as np
from PIL import Image
from scipy import ndimage

from .canvas import keep_scene, premultiplied, straight8
from .style import hsv, light

# Textures some Debian packages install; used when present, never required.
PICTURE_GLOBS = ["/usr/share/krita/patterns/*.png", "/usr/share/backgrounds/*/*.png",
                 "/usr/share/images/desktop-base/*.png",
                 "/usr/share/wallpapers/*/contents/images/*.png"]


def random_colours(rng, n):
    return np.array([hsv(rng.random(), rng.uniform(0, 1), rng.uniform(0.1, 1))[:3]
                     for _ in range(n)], dtype=np.float64)


def gradient_field(rng, size):
    """A value in 0..1 per pixel: linear, radial or angular, sometimes repeating."""
    y, x = (np.indices((size, size)) + 0.5) / size
    kind = rng.choice(["linear", "radial", "angular"], p=[0.5, 0.35, 0.15])
    cx, cy = rng.uniform(-0.3, 1.3, 2)
    if kind == "linear":
        t = rng.uniform(0, 2 * np.pi)
        f = (x - cx) * np.cos(t) + (y - cy) * np.sin(t)
        f = f * rng.uniform(0.4, 2.5) + 0.5
    elif kind == "radial":
        f = np.hypot(x - cx, (y - cy) * rng.uniform(0.5, 1.5)) * rng.uniform(0.5, 2)
    else:
        f = (np.arctan2(y - cy, x - cx) / (2 * np.pi)) % 1.0
    if rng.random() < 0.15:
        f = np.abs((f * rng.integers(2, 5)) % 2 - 1)
    return np.clip(f, 0, 1)


def colour_map(rng, field, stops=None):
    """RGB 0..255 from a 0..1 field through 2-4 colour stops."""
    n = stops or int(rng.integers(2, 5))
    # Stops kept apart: two close ones would make a hard, stepped edge.
    at = np.linspace(0, 1, n)
    at[1:-1] += rng.uniform(-0.25, 0.25, n - 2) / (n - 1)
    cols = random_colours(rng, n)
    return np.stack([np.interp(field, at, cols[:, i]) for i in range(3)], -1)


def fractal_noise(rng, size, octaves=None):
    """Sum of smooth random fields at halving scales, normalised to 0..1."""
    out = np.zeros((size, size))
    amp, cells = 1.0, int(rng.integers(2, 6))
    for _ in range(octaves or int(rng.integers(3, 7))):
        grid = rng.random((cells + 1, cells + 1)).astype(np.float32)
        out += amp * np.asarray(Image.fromarray(grid, "F").resize((size, size), Image.BICUBIC))
        amp *= rng.uniform(0.4, 0.65)
        cells *= 2
    out -= out.min()
    return out / max(out.max(), 1e-9)


def rgb_to_rgba(rgb, alpha=None):
    a = np.full(rgb.shape[:2], 255.0) if alpha is None else alpha
    return np.clip(np.round(np.concatenate([rgb, a[..., None]], -1)), 0, 255).astype(np.uint8)


def keep_aa_art(rng, size):
    """A scene of the drawing rules delivered as its anti-aliased truth, sometimes softened
    further as a soft brush or a blurrier renderer leaves it."""
    from . import RULES, make_scene  # drawing rules, chosen by their own weights
    names = [n for n, (_, w) in RULES.items() if not n.startswith(("keep_", "aa_"))]
    weights = np.array([RULES[n][1] for n in names])
    base = make_scene(names[rng.choice(len(names), p=weights / weights.sum())], rng, size)
    truth = base.truth
    if rng.random() < 0.25:
        sigma = rng.uniform(0.3, 0.8)
        truth = np.stack([ndimage.gaussian_filter(truth[..., i], sigma, mode="nearest")
                          for i in range(4)], -1)
    return keep_scene(straight8(truth), "keep_aa_art")


def keep_gradient(rng, size):
    """Smooth 8-bit gradients, some fading to transparency, some with anti-aliased art over
    them."""
    rgb = colour_map(rng, gradient_field(rng, size))
    alpha = gradient_field(rng, size) * 255 if rng.random() < 0.2 else None
    picture = rgb_to_rgba(rgb, alpha)
    if rng.random() < 0.3:
        from .snapped import drawing
        art = drawing(rng, size, transparent=1.0)[0].truth.astype(np.float64)
        picture = straight8(art + premultiplied(picture) * (1 - art[..., 3:]))
    return keep_scene(picture, "keep_gradient")


def ordered_dither(rng, values, palette):
    """Nearest palette colour after a Bayer threshold offset."""
    n = int(rng.choice([2, 4, 8]))
    bayer = np.array([[0]])
    while bayer.shape[0] < n:
        bayer = np.block([[4 * bayer, 4 * bayer + 2], [4 * bayer + 3, 4 * bayer + 1]])
    h, w = values.shape[:2]
    t = (np.tile(bayer, (h // n + 1, w // n + 1))[:h, :w] + 0.5) / (n * n) - 0.5
    spread = np.abs(np.diff(np.sort(palette, 0), axis=0)).max(0) if len(palette) > 1 else 0
    v = values + t[..., None] * np.maximum(spread, 255 / len(palette))
    return palette[np.argmin(((v[:, :, None] - palette[None, None]) ** 2).sum(-1), -1)]


def keep_dither(rng, size):
    """A gradient or picture dithered to 2-8 colours, ordered or by error diffusion."""
    field = gradient_field(rng, size) if rng.random() < 0.5 else fractal_noise(rng, size)
    values = colour_map(rng, field)
    n = int(rng.integers(2, 9))
    if rng.random() < 0.3:
        palette = np.repeat(np.linspace(0, 255, n)[:, None], 3, 1)
        values = values.mean(-1, keepdims=True).repeat(3, -1)
    else:
        palette = values.reshape(-1, 3)[rng.choice(size * size, n, replace=False)]
    if rng.random() < 0.5:
        out = ordered_dither(rng, values, palette)
    else:
        pal = Image.new("P", (1, 1))
        pal.putpalette(np.round(palette).astype(np.uint8).ravel().tolist() + [0] * (768 - 3 * n))
        src = Image.fromarray(np.round(values).astype(np.uint8), "RGB")
        out = src.quantize(palette=pal, dither=Image.Dither.FLOYDSTEINBERG).convert("RGB")
    return keep_scene(rgb_to_rgba(np.asarray(out, dtype=np.float64)), "keep_dither")


def keep_noise(rng, size):
    """Uniform, Gaussian or salt-and-pepper noise over a flat colour or a gentle gradient."""
    base = np.broadcast_to(np.array(light(rng)[:3], dtype=np.float64), (size, size, 3))
    if rng.random() < 0.4:
        base = colour_map(rng, gradient_field(rng, size))
    kind = rng.choice(["uniform", "gaussian", "salt"])
    mono = rng.random() < 0.5
    shape = (size, size, 1) if mono else (size, size, 3)
    if kind == "uniform":
        out = base + rng.uniform(-1, 1, shape) * rng.uniform(2, 60)
    elif kind == "gaussian":
        out = base + rng.normal(0, rng.uniform(1, 30), shape)
    else:
        u = rng.random((size, size, 1))
        p = rng.uniform(0.005, 0.15)
        out = np.where(u < p / 2, 0, np.where(u > 1 - p / 2, 255, base))
    return keep_scene(rgb_to_rgba(np.clip(out, 0, 255)), "keep_noise")


@functools.lru_cache(maxsize=None)
def picture_files():
    return sorted(p for pattern in PICTURE_GLOBS for p in glob.glob(pattern))


@functools.lru_cache(maxsize=8)
def load_picture(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.float64)


def installed_picture(rng, size):
    """A crop of a texture Debian installed, scaled and tinted, or None."""
    files = picture_files()
    if not files:
        return None
    pic = load_picture(files[rng.integers(len(files))])
    zoom = rng.uniform(0.7, 2.5)
    need = int(np.ceil(size / zoom))
    if pic.shape[0] < need or pic.shape[1] < need:
        pic = np.tile(pic, (need // pic.shape[0] + 1, need // pic.shape[1] + 1, 1))
    y, x = rng.integers(0, pic.shape[0] - need + 1), rng.integers(0, pic.shape[1] - need + 1)
    crop = Image.fromarray(np.round(pic[y:y + need, x:x + need]).astype(np.uint8))
    out = np.asarray(crop.resize((size, size), Image.BICUBIC), dtype=np.float64)
    if rng.random() < 0.6:
        out = colour_map(rng, out.mean(-1) / 255)
    return out


def keep_photo(rng, size):
    """Photo-like pictures: coloured fractal noise, blurred shapes with grain, or an installed
    texture."""
    u = rng.random()
    out = installed_picture(rng, size) if u < 0.3 else None
    if out is None and u < 0.65:
        out = colour_map(rng, fractal_noise(rng, size), int(rng.integers(2, 6)))
    if out is None:
        from .snapped import drawing
        art = drawing(rng, size, transparent=0.0)[0].truth[..., :3] * 255
        sigma = rng.uniform(1, 5)
        out = np.stack([ndimage.gaussian_filter(art[..., i], sigma) for i in range(3)], -1)
        out += rng.normal(0, rng.uniform(1, 10), out.shape)
    return keep_scene(rgb_to_rgba(np.clip(out, 0, 255)), "keep_photo")
