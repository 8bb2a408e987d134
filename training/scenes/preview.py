"""Contact sheet of a few scenes per rule: each scene as aliased | truth at 1x, then the same
crop of both enlarged, over a checkerboard where transparent.

    /usr/bin/python3 -m training.scenes.preview sheet.png [--per-rule 3] [--size 128] [--seed 1]
"""

import argparse

import numpy as np
from PIL import Image, ImageDraw

from . import RULES, make_scene
from .canvas import premultiplied

ZOOM = 4
CROP = 40


def checkerboard(h, w, cell=8):
    y, x = np.indices((h, w)) // cell
    return np.where(((x + y) % 2 == 0)[..., None], 205, 245).astype(np.float64)


def flatten(premul):
    """Premultiplied RGBA over a checkerboard, as 8-bit RGB."""
    h, w = premul.shape[:2]
    rgb = premul[..., :3] * 255 + checkerboard(h, w) * (1 - premul[..., 3:])
    return Image.fromarray(np.round(np.clip(rgb, 0, 255)).astype(np.uint8))


def edge_crop(scene, rng):
    """A crop centred on a pixel where the truth differs most from the aliased picture."""
    err = np.abs(premultiplied(scene.aliased) - scene.truth).sum(-1)
    h, w = err.shape
    cand = np.argwhere(err > 0.2 * err.max()) if err.max() > 0 else np.array([[h // 2, w // 2]])
    y, x = cand[rng.integers(len(cand))]
    y0, x0 = np.clip([y - CROP // 2, x - CROP // 2], 0, [h - CROP, w - CROP])
    return slice(y0, y0 + CROP), slice(x0, x0 + CROP)


def scene_tile(scene, rng):
    a_prem = premultiplied(scene.aliased)
    ys, xs = edge_crop(scene, rng)
    big = CROP * ZOOM
    parts = [flatten(a_prem), flatten(scene.truth),
             flatten(a_prem[ys, xs]).resize((big, big), Image.NEAREST),
             flatten(scene.truth[ys, xs]).resize((big, big), Image.NEAREST)]
    h = max(p.height for p in parts)
    tile = Image.new("RGB", (sum(p.width for p in parts) + 3 * 4, h), (90, 90, 90))
    x = 0
    for p in parts:
        tile.paste(p, (x, 0))
        x += p.width + 4
    return tile


def contact_sheet(rules, per_rule=3, size=128, seed=1):
    rng = np.random.default_rng(seed)
    rows = []
    for name in rules:
        tiles = [scene_tile(make_scene(name, rng, size), rng) for _ in range(per_rule)]
        row = Image.new("RGB", (sum(t.width for t in tiles) + 12 * per_rule,
                                max(t.height for t in tiles) + 14), (40, 40, 40))
        ImageDraw.Draw(row).text((2, 1), name, fill=(255, 255, 255))
        x = 0
        for t in tiles:
            row.paste(t, (x, 14))
            x += t.width + 12
        rows.append(row)
    sheet = Image.new("RGB", (max(r.width for r in rows), sum(r.height + 6 for r in rows)))
    y = 0
    for r in rows:
        sheet.paste(r, (0, y))
        y += r.height + 6
    return sheet


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("output")
    ap.add_argument("--per-rule", type=int, default=3)
    ap.add_argument("--size", type=int, default=128)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--rules", nargs="*", default=list(RULES))
    args = ap.parse_args()
    contact_sheet(args.rules, args.per_rule, args.size, args.seed).save(args.output)


if __name__ == "__main__":
    main()
