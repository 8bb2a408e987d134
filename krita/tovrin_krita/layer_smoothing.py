"""smooth_node: a paint layer of a Krita document smoothed into a new layer above it, the
original hidden and kept; within the selection if there is one; the current frame or every
keyframe of an animated layer."""

import re

from . import library
from .errors import SmoothingCancelled, SmoothingError, UnsupportedLayerError

QUALITIES = ("standard", "high")

# Krita 5.1's scripting interface lists no keyframes: they are looked for at every frame up to
# the end of the clip range or this one, whichever is later (a fraction of a second).
LAST_FRAME_SEARCHED = 99999

_DEPTHS = {"U8": 8, "U16": 16}
_MODEL_NAMES = {"RGBA": "RGB", "CMYKA": "CMYK", "LABA": "L*a*b*", "GRAYA": "grayscale",
                "XYZA": "XYZ", "YCbCrA": "YCbCr"}
_DEPTH_NAMES = {"U8": "8-bit integer", "U16": "16-bit integer", "F16": "16-bit float",
                "F32": "32-bit float"}
_KIND_NAMES = {"grouplayer": "a group layer", "vectorlayer": "a vector layer",
               "filelayer": "a file layer", "filterlayer": "a filter layer",
               "filllayer": "a fill layer", "clonelayer": "a clone layer"}

# Runs of unselected and of partly selected pixels in a selection mask.
_UNSELECTED_OR_PARTLY = re.compile(rb"\x00+|[\x01-\xfe]+")


def check_layer(node):
    """Raises UnsupportedLayerError unless node is an 8- or 16-bit RGB paint layer."""
    if node is None:
        raise UnsupportedLayerError("there is no active layer")
    kind = node.type()
    if kind != "paintlayer":
        raise UnsupportedLayerError(
            '"%s" is %s. Tovrin Smoother smooths paint layers.'
            % (node.name(), _KIND_NAMES.get(kind) or
               ("a mask" if kind.endswith("mask") else "not a paint layer"))
        )
    model, depth = node.colorModel(), node.colorDepth()
    if model != "RGBA" or depth not in _DEPTHS:
        raise UnsupportedLayerError(
            '"%s" is in %s (%s). Tovrin Smoother smooths 8- and 16-bit integer RGB layers: '
            "convert a copy with Layer > Convert > Convert Layer Color Space."
            % (node.name(), _MODEL_NAMES.get(model, model), _DEPTH_NAMES.get(depth, depth))
        )


def parse_key(key):
    """None, (red, green, blue) or '#RRGGBB' as None or a tuple of three ints in 0..255."""
    if key is None:
        return None
    if isinstance(key, str):
        text = key.strip()
        if not re.fullmatch(r"#[0-9A-Fa-f]{6}", text):
            raise ValueError("key: %r is not #RRGGBB" % key)
        return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))
    try:
        values = tuple(key)
    except TypeError:
        values = ()
    if len(values) != 3 or not all(_is_sample(v) for v in values):
        raise ValueError("key: %r is not three integers in 0..255" % (key,))
    return values


def _is_sample(value):
    return isinstance(value, int) and not isinstance(value, bool) and 0 <= value <= 255


def _check_options(smooth_range, quality, keep_original):
    if not _is_sample(smooth_range):
        raise ValueError("smooth_range: %r is not an integer in 0..255" % (smooth_range,))
    if quality not in QUALITIES:
        raise ValueError("quality: %r is not one of %s" % (quality, ", ".join(QUALITIES)))
    if not keep_original:
        # Krita 5.1 records no undo step for pixels written by a script.
        raise ValueError(
            "keep_original=False: Krita cannot undo pixels written by a plug-in, so the result "
            "always goes into a new layer and the original is kept"
        )


def _contains(document, node):
    wanted = node.uniqueId()
    pending = list(document.topLevelNodes())
    while pending:
        candidate = pending.pop()
        if candidate.uniqueId() == wanted:
            return True
        pending.extend(candidate.childNodes())
    return False


def keyframe_times(document, node):
    """The times of the layer's keyframes, in order."""
    last = max(document.fullClipRangeEndTime(), document.currentTime(), LAST_FRAME_SEARCHED)
    return [time for time in range(last + 1) if node.hasKeyframeAtTime(time)]


def _frames_to_smooth(document, node, all_frames):
    """Keyframe times, or [None] for a layer without animation."""
    if not node.animated():
        return [None]
    if all_frames:
        times = keyframe_times(document, node)
        if not times:
            raise SmoothingError('"%s" is animated but has no keyframe' % node.name())
        return times
    for time in range(document.currentTime(), -1, -1):
        if node.hasKeyframeAtTime(time):
            return [time]
    raise SmoothingError('"%s" has no keyframe at or before the current frame' % node.name())


def _selection_mask(document, width, height):
    """The selection over the canvas (a byte a pixel), or None without a selection."""
    selection = document.selection()
    if selection is None:
        return None
    mask = bytes(selection.pixelData(0, 0, width, height))
    if len(mask) != width * height:
        raise SmoothingError("Krita gave %d bytes of selection for %d x %d pixels"
                             % (len(mask), width, height))
    if mask.count(0) == len(mask):
        raise SmoothingError("the selection holds no pixel of the canvas")
    return None if mask.count(255) == len(mask) else mask


def swap_red_and_blue(pixels, depth):
    """Krita's BGRA and the library's RGBA, either way, in place."""
    if depth == 8:
        pixels[0::4], pixels[2::4] = pixels[2::4], pixels[0::4]
    else:
        pixels[0::8], pixels[4::8] = pixels[4::8], pixels[0::8]
        pixels[1::8], pixels[5::8] = pixels[5::8], pixels[1::8]


def keep_unselected(original, smoothed, mask, depth):
    """Puts the original pixels back into `smoothed` where the mask is 0, and mixes the two by
    the mask's weight where it is partly selected."""
    pixel_bytes = 4 if depth == 8 else 8
    with memoryview(original).cast("B" if depth == 8 else "H") as before, \
            memoryview(smoothed).cast("B" if depth == 8 else "H") as after:
        for run in _UNSELECTED_OR_PARTLY.finditer(mask):
            first, end = run.span()
            if mask[first] == 0:
                smoothed[first * pixel_bytes:end * pixel_bytes] = \
                    original[first * pixel_bytes:end * pixel_bytes]
                continue
            for pixel in range(first, end):
                weight = mask[pixel]
                for sample in range(4 * pixel, 4 * pixel + 4):
                    after[sample] = (before[sample] * (255 - weight) + after[sample] * weight
                                     + 127) // 255


def _smoothed_pixels(original, width, height, depth, mask, settings):
    pixels = bytearray(original)
    swap_red_and_blue(pixels, depth)
    library.load().smooth(pixels, width, height, depth, *settings)
    swap_red_and_blue(pixels, depth)
    if mask is not None:
        keep_unselected(original, pixels, mask, depth)
    return bytes(pixels)


def smooth_node(document, node, smooth_range=0, key=None, quality="standard", all_frames=False,
                keep_original=True, progress=None):
    """Smooths the paint layer `node` of `document` and returns the new layer holding the result.

    The new layer is a copy of the original placed just above it, named "<name> (smoothed)";
    the original is hidden and otherwise left as it was. The canvas is smoothed as one image
    (pixels of the layer beyond the canvas are copied as they are); with a selection, only the
    selected pixels change. An animated layer has the keyframe shown at the current time
    smoothed, or with all_frames=True every keyframe.

    smooth_range: 0..255, how far two colours may differ and still count as the same colour.
    key: None, (red, green, blue) or '#RRGGBB' (0..255 also for 16-bit layers): opaque pixels of
    exactly this colour become transparent before smoothing.
    quality: "standard", or "high" where the library has that mode.
    keep_original: must be True (Krita cannot undo pixels a plug-in writes in place).
    progress: None, or a callable (frames done, frames in all) called before each frame and at
    the end; returning False cancels.

    Raises ValueError for a bad argument, UnsupportedLayerError for a layer the filter does not
    smooth, SmoothingCancelled, or SmoothingError with the reason; then the document is as it
    was.
    """
    key = parse_key(key)
    _check_options(smooth_range, quality, keep_original)
    if document is None:
        raise ValueError("document: None")
    check_layer(node)
    if not _contains(document, node):
        raise ValueError('node: "%s" is not a layer of this document' % node.name())
    settings = (smooth_range, key, quality)
    if quality not in library.load().qualities:
        raise SmoothingError("the installed libtovrin has no %s quality mode" % quality)

    width, height = document.width(), document.height()
    depth = _DEPTHS[node.colorDepth()]
    times = _frames_to_smooth(document, node, all_frames)
    mask = _selection_mask(document, width, height)

    start_time = document.currentTime()
    result = node.duplicate()
    result.setName("%s (smoothed)" % node.name())
    result.setVisible(True)
    if not node.parentNode().addChildNode(result, node):
        raise SmoothingError('Krita refused a new layer above "%s"' % node.name())
    try:
        for done, time in enumerate(times):
            if progress is not None and progress(done, len(times)) is False:
                raise SmoothingCancelled("cancelled")
            if time is None:
                original = bytes(node.pixelData(0, 0, width, height))
            else:
                original = bytes(node.pixelDataAtTime(0, 0, width, height, time))
                document.setCurrentTime(time)
                document.waitForDone()
            pixels = _smoothed_pixels(original, width, height, depth, mask, settings)
            result.setPixelData(pixels, 0, 0, width, height)
        if progress is not None:
            progress(len(times), len(times))
    except BaseException:
        result.remove()
        raise
    finally:
        if document.currentTime() != start_time:
            document.setCurrentTime(start_time)
        document.waitForDone()
    _hide(document, node)
    document.refreshProjection()
    return result


def _hide(document, node):
    """Hides the original layer. Where it is the layer selected alone in the active view (as
    when the menu action runs), through Krita's own command, which Edit > Undo takes back;
    otherwise directly, a change Krita does not record."""
    view = toggle = None
    try:
        from krita import Krita
    except ImportError:
        pass
    else:
        window = Krita.instance().activeWindow()
        view = window.activeView() if window is not None else None
        toggle = Krita.instance().action("toggle_layer_visibility")
    if view is not None and toggle is not None and view.document() == document:
        selected = view.selectedNodes()
        if len(selected) == 1 and selected[0].uniqueId() == node.uniqueId() and node.visible():
            toggle.trigger()
            document.waitForDone()
    if node.visible():
        node.setVisible(False)
