"""Random aliased line art in NumPy: flat fills and outlined ellipses of random colours on paper
or on transparency, so that edges step at every slope."""

import numpy as np


def line_art(height, width, seed, dtype=np.uint8, gray=False, transparent=False):
    """An RGBA array. uint16 colours use all 16 bits, so the file convention's odd values
    appear; gray art has red = green = blue."""
    rng = np.random.default_rng(seed)
    full = 65535 if dtype == np.uint16 else 255
    image = np.full((height, width, 4), full, dtype)
    if transparent:
        image[..., 3] = 0
    y, x = np.mgrid[0:height, 0:width]

    def colour():
        values = rng.integers(0, full + 1, 3)
        if gray:
            values[:] = values[0]
        return np.append(values, full).astype(dtype)

    for _ in range(8):
        cy, cx = rng.uniform(0, height), rng.uniform(0, width)
        ry, rx = rng.uniform(4, height / 2), rng.uniform(4, width / 2)
        distance = ((y - cy) / ry) ** 2 + ((x - cx) / rx) ** 2
        image[distance <= 1] = colour()
        outline = rng.uniform(1.5, 3.5)
        inner = ((y - cy) / max(ry - outline, 1)) ** 2 + ((x - cx) / max(rx - outline, 1)) ** 2
        image[(distance <= 1) & (inner > 1)] = colour() // 4
    return image
