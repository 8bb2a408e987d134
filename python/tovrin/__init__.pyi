from typing import Literal, Optional, Tuple, TypeVar, Union

import numpy as np
import numpy.typing as npt

__version__: str

_Image = TypeVar("_Image", npt.NDArray[np.uint8], npt.NDArray[np.uint16])

def smooth(
    image: _Image,
    smooth_range: int = 0,
    key: Optional[Tuple[int, int, int]] = None,
    threads: int = 0,
    *,
    quality: Literal["standard", "high"] = "standard",
    out: Optional[_Image] = None,
    max_pixels: int = 268435456,
) -> _Image:
    """Smooths the stair-step jaggies of aliased line art and flat fills.

    image: uint8 or uint16 array of shape (H, W, 4), (H, W, 3), (H, W, 2) or (H, W).
    smooth_range: 0..255 in 8-bit units, default 0 (in high quality: how far nearby colours may
        differ and count as one).
    key: None or (red, green, blue), each 0..255 in 8-bit units; images with alpha only.
    threads: 0 (one per core, the default) .. 1024; the same result for any count.
    quality: "standard" (the plug-in's filter, the default) or "high" (learned edge coverage).
    out: None, or an array of the image's shape and dtype to smooth into (may be image).
    max_pixels: the largest H * W taken, 1..2**40 (default 16384 * 16384, as tovrin-smooth's
        --max-pixels); a larger image is a ValueError before any memory is allocated.
    """
    ...
