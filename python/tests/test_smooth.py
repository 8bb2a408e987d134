"""tovrin.smooth: the reference cases, the command line's pixels, every dtype, shape and memory
layout, and the errors."""

import os
import subprocess
import sys

import numpy as np
import pytest

import pngio
import tovrin
from conftest import GOLDEN_DIR
from line_art import line_art


def manifest():
    with open(os.path.join(GOLDEN_DIR, "manifest.tsv")) as f:
        return [line.rstrip("\n").split("\t")[:4] for line in f][1:]


def options_of(arguments):
    words = arguments.split()
    options = {}
    if "--smooth-range" in words:
        options["smooth_range"] = int(words[words.index("--smooth-range") + 1])
    if "--key" in words:
        options["key"] = tuple(int(v) for v in words[words.index("--key") + 1].split(","))
    return options


@pytest.mark.parametrize("case", manifest(), ids=lambda case: case[0])
def test_reference_cases_sample_for_sample(case):
    _, source, arguments, expected = case
    image = pngio.read_png(os.path.join(GOLDEN_DIR, source))
    before = image.copy()
    result = tovrin.smooth(image, **options_of(arguments))
    np.testing.assert_array_equal(result, pngio.read_png(os.path.join(GOLDEN_DIR, expected)))
    np.testing.assert_array_equal(image, before)


# Every layout the command line reads, from RGBA art that fits it.
LAYOUTS = {
    "rgba": (4, lambda rgba: rgba),
    "rgb": (3, lambda rgba: rgba[..., :3]),
    "gray_alpha": (2, lambda rgba: rgba[..., [0, 3]]),
    "gray": (1, lambda rgba: rgba[..., 0]),
}


def art_for(layout, dtype, seed, transparent=False):
    channels, take = LAYOUTS[layout]
    return np.ascontiguousarray(take(line_art(96, 128, seed, dtype, gray=channels <= 2,
                                              transparent=transparent and channels % 2 == 0)))


CLI_RUNS = [
    ({"smooth_range": 0}, ["--smooth-range", "0"], list(LAYOUTS)),
    ({"smooth_range": 8}, ["--smooth-range", "8"], list(LAYOUTS)),
    ({"smooth_range": 4, "key": (255, 255, 255)}, ["--smooth-range", "4", "--key", "255,255,255"],
     ["rgba", "gray_alpha"]),
    ({"smooth_range": 8, "quality": "high"}, ["--smooth-range", "8", "--quality", "high"],
     list(LAYOUTS)),
    ({"smooth_range": 4, "key": (255, 255, 255), "quality": "high"},
     ["--smooth-range", "4", "--key", "255,255,255", "--quality", "high"], ["rgba", "gray_alpha"]),
]


@pytest.mark.parametrize("options,arguments,layouts", CLI_RUNS,
                         ids=["r0", "r8", "r4_key", "high_r8", "high_r4_key"])
def test_same_pixels_as_tovrin_smooth(tmp_path, tovrin_smooth, options, arguments, layouts):
    images = {}
    for seed, (layout, dtype) in enumerate((l, d) for l in layouts for d in (np.uint8, np.uint16)):
        name = f"{layout}_{np.dtype(dtype).name}.png"
        images[name] = art_for(layout, dtype, seed, transparent=seed % 3 == 0)
        pngio.write_png(tmp_path / name, images[name])
    out_dir = tmp_path / "out"
    subprocess.run([tovrin_smooth, *(str(tmp_path / n) for n in images), "--out-dir",
                    str(out_dir), *arguments], check=True, capture_output=True)
    for name, image in images.items():
        result = tovrin.smooth(image, **options)
        # The picture needs smoothing; high quality is another method than the standard filter.
        high = options.get("quality") == "high"
        unlike = tovrin.smooth(image, **dict(options, quality="standard")) if high else image
        assert not np.array_equal(result, unlike), name
        np.testing.assert_array_equal(result, pngio.read_png(out_dir / name), err_msg=name)


def as_rgba(image):
    """The RGBA image the command line smooths for a file of this layout."""
    full = np.iinfo(image.dtype).max
    gray = image if image.ndim == 2 else image[..., 0]
    if image.ndim == 2 or image.shape[2] <= 2:
        colour = np.stack([gray] * 3, axis=-1)
    else:
        colour = image[..., :3]
    alpha = image[..., -1] if image.ndim == 3 and image.shape[2] in (2, 4) else np.full_like(gray, full)
    return np.dstack([colour, alpha])


@pytest.mark.parametrize("dtype", [np.uint8, np.uint16])
@pytest.mark.parametrize("layout", LAYOUTS)
def test_every_layout_smooths_as_its_rgba_image(layout, dtype):
    image = art_for(layout, dtype, 5)
    result = tovrin.smooth(image, 8)
    assert result.shape == image.shape and result.dtype == image.dtype
    _, take = LAYOUTS[layout]
    np.testing.assert_array_equal(result, take(tovrin.smooth(as_rgba(image), 8)))


# Views in memory orders the C interface cannot take directly, and one it can (a crop).
VIEWS = {
    "fortran order": lambda a: np.asfortranarray(a),
    "rows upside down": lambda a: a[::-1],
    "every other column": lambda a: np.repeat(a, 2, axis=1)[:, ::2],
    "crop with padded rows": lambda a: np.pad(a, [(0, 0), (3, 5)] + [(0, 0)] * (a.ndim - 2))[:, 3:-5],
}


@pytest.mark.parametrize("view", VIEWS)
@pytest.mark.parametrize("layout", ["rgba", "gray"])
@pytest.mark.parametrize("dtype", [np.uint8, np.uint16])
def test_any_strides_give_the_contiguous_result(view, layout, dtype):
    image = art_for(layout, dtype, 9)
    expected = tovrin.smooth(image, 4)
    strided = VIEWS[view](image)
    assert not strided.flags.c_contiguous
    before = strided.copy()
    np.testing.assert_array_equal(tovrin.smooth(strided, 4),
                                  tovrin.smooth(np.ascontiguousarray(strided), 4))
    np.testing.assert_array_equal(strided, before)
    out = VIEWS[view](np.zeros_like(image))
    assert tovrin.smooth(image, 4, out=out) is out
    np.testing.assert_array_equal(out, expected)


@pytest.mark.parametrize("layout", ["rgba", "rgb"])
@pytest.mark.parametrize("dtype", [np.uint8, np.uint16])
def test_out_may_be_the_image_or_overlap_it(layout, dtype):
    image = art_for(layout, dtype, 3)
    expected = tovrin.smooth(image, 8)

    in_place = image.copy()
    assert tovrin.smooth(in_place, 8, out=in_place) is in_place
    np.testing.assert_array_equal(in_place, expected)

    # out one row above the image in the same buffer
    buffer = np.zeros((image.shape[0] + 1,) + image.shape[1:], dtype)
    buffer[1:] = image
    tovrin.smooth(buffer[1:], 8, out=buffer[:-1])
    np.testing.assert_array_equal(buffer[:-1], expected)


def test_options_take_numpy_integers_and_threads_do_not_change_the_result():
    image = art_for("rgba", np.uint8, 2, transparent=True)
    image = np.tile(image, (16, 12, 1))  # two megapixels or more: the banded pass
    expected = tovrin.smooth(image, 8, (255, 255, 255), threads=1)
    for threads in (0, 2, 3, 4):
        np.testing.assert_array_equal(
            tovrin.smooth(image, np.int64(8), (np.uint8(255),) * 3, threads=threads), expected)


def test_version_is_the_librarys():
    major, minor, patch = tovrin.__version__.split(".")
    assert all(part.isdigit() for part in (major, minor, patch))


RGBA = np.zeros((8, 8, 4), np.uint8)
RGB = np.zeros((8, 8, 3), np.uint8)
ERRORS = [
    ({"max_pixels": 63}, ValueError, "image: is too large: 8 x 8 pixels"),
    ({"max_pixels": 0}, ValueError, "max_pixels: 0 is outside 1..1099511627776"),
    ({"max_pixels": 2.0 ** 30}, TypeError, "max_pixels: expected an int"),
    ({"smooth_range": np.bool_(True)}, TypeError, "smooth_range: expected an int, got bool"),
    ({"key": (0, np.array(True), 0)}, TypeError, "key: expected an int"),
    ({"image": [[0]]}, TypeError, "image: expected a numpy.ndarray"),
    ({"image": RGBA.astype(np.float32)}, TypeError, "image: dtype"),
    ({"image": RGBA.astype(">u2")}, TypeError, "image: dtype"),
    ({"image": RGBA.astype(np.int16)}, TypeError, "image: dtype"),
    ({"image": np.zeros(8, np.uint8)}, ValueError, "image: shape"),
    ({"image": np.zeros((8, 8, 5), np.uint8)}, ValueError, "image: shape"),
    ({"image": np.zeros((8, 8, 1), np.uint8)}, ValueError, "image: shape"),
    ({"image": np.zeros((0, 8, 4), np.uint8)}, ValueError, "image: height and width"),
    ({"smooth_range": 256}, ValueError, "smooth_range: 256 is outside 0..255"),
    ({"smooth_range": -1}, ValueError, "smooth_range"),
    ({"smooth_range": 2 ** 64}, ValueError, "smooth_range: 18446744073709551616 is outside"),
    ({"key": (0, -2 ** 70, 0)}, ValueError, "key: -1180591620717411303424 is outside"),
    ({"smooth_range": 1.5}, TypeError, "smooth_range: expected an int"),
    ({"smooth_range": True}, TypeError, "smooth_range"),
    ({"key": (1, 2)}, TypeError, "key"),
    ({"key": "#ffffff"}, TypeError, "key"),
    ({"key": (0, 0, 256)}, ValueError, "key: 256 is outside 0..255"),
    ({"image": RGB, "key": (0, 0, 0)}, ValueError, "key: the colour key"),
    ({"image": np.zeros((8, 8), np.uint16), "key": (0, 0, 0)}, ValueError, "alpha channel"),
    ({"threads": -1}, ValueError, "threads"),
    ({"threads": 1025}, ValueError, "threads"),
    ({"threads": "2"}, TypeError, "threads"),
    ({"out": RGB}, ValueError, "out: shape"),
    ({"out": RGBA.astype(np.uint16)}, TypeError, "out: dtype"),
    ({"out": np.zeros((0, 8, 4), np.uint8)}, ValueError, "out: shape"),
    ({"out": "array"}, TypeError, "out: expected a numpy.ndarray"),
    ({"quality": "best"}, ValueError, "quality: expected 'standard' or 'high', got 'best'"),
    ({"quality": "HIGH"}, ValueError, "quality"),
    ({"quality": 1}, TypeError, "quality: expected 'standard' or 'high', got int"),
]


@pytest.mark.parametrize("arguments,error,message", ERRORS,
                         ids=[f"{i}:{e[2][:24]}" for i, e in enumerate(ERRORS)])
def test_errors_name_the_argument(arguments, error, message):
    arguments = {"image": RGBA, **arguments}
    with pytest.raises(error, match=message):
        tovrin.smooth(**arguments)


def test_a_failed_call_leaves_out_alone():
    image = art_for("rgb", np.uint8, 1)
    out = np.full_like(image, 7)
    with pytest.raises(ValueError):
        tovrin.smooth(image, key=(255, 255, 255), out=out)
    assert (out == 7).all()
    read_only = np.zeros_like(image)
    read_only.flags.writeable = False
    with pytest.raises(ValueError, match="out: the array is read-only"):
        tovrin.smooth(image, out=read_only)


def run_under_memory_limit(script, spare_bytes):
    """Runs script in a Python whose address space may grow by spare_bytes beyond what it holds
    once the module and the script's arrays are loaded (the script calls limit() for that)."""
    prelude = (
        "import resource, numpy as np, tovrin\n"
        "def limit():\n"
        "    size = int(open('/proc/self/status').read().split('VmSize:')[1].split()[0]) * 1024\n"
        "    resource.setrlimit(resource.RLIMIT_AS, (size + %d, size + %d))\n" % (
            spare_bytes, spare_bytes))
    # Every large block its own mapping, given back when freed: the address space then holds
    # exactly the memory in use.
    environment = {**os.environ, "MALLOC_MMAP_THRESHOLD_": "131072"}
    return subprocess.run([sys.executable, "-c", prelude + script], capture_output=True,
                          text=True, timeout=120, env=environment)


def test_a_huge_array_under_a_memory_limit_is_refused_not_killed():
    p = run_under_memory_limit(
        "from numpy.lib.stride_tricks import as_strided\n"
        "huge = as_strided(np.zeros(4, np.uint8), (70000, 70000, 4), (0, 0, 1))\n"
        "limit()\n"
        "for kw in ({}, {'max_pixels': 2 ** 40}):\n"
        "    try:\n"
        "        tovrin.smooth(huge, **kw)\n"
        "    except (ValueError, MemoryError) as e:\n"
        "        print(type(e).__name__, e)\n", 256 << 20)
    assert p.returncode == 0, p.stderr
    assert p.stdout.splitlines() == [
        "ValueError image: is too large: 70000 x 70000 pixels, more than the limit of "
        "268435456 (max_pixels)",
        "MemoryError image: not enough memory to smooth 70000 x 70000 pixels"], p.stdout


@pytest.mark.parametrize("dtype,images", [(np.uint8, 2.4), (np.uint16, 3.4)])
def test_an_rgb_image_takes_no_more_working_memory_than_the_pass_needs(dtype, images):
    """The pass needs the image as RGBA twice (8-bit: input and output; 16-bit: the library's
    conversion besides): the result array comes only after, and nothing is zero-filled."""
    side, full = 2000, np.iinfo(dtype).max
    rgba_bytes = side * side * 4 * np.dtype(dtype).itemsize
    p = run_under_memory_limit(
        "rgb = np.zeros((%d, %d, 3), np.%s)\n"
        "rgb[::5, :, 0] = %d; rgb[:, ::3, 1] = %d\n"
        "expected = tovrin.smooth(rgb, 8, threads=1)\n"
        "del expected; expected = tovrin.smooth(rgb, 8, threads=1).tobytes()\n"
        "limit()\n"
        "result = tovrin.smooth(rgb, 8, threads=1)\n"
        "print(result.tobytes() == expected)\n" % (side, side, np.dtype(dtype).name, full, full),
        int(images * rgba_bytes))
    assert (p.returncode, p.stdout.strip()) == (0, "True"), p.stderr[-2000:]
