"""The plug-in's cases inside Krita, run by kritarunner (run_krita.py starts it):

    kritarunner -s krita_cases -f GROUP REPORT.json GOLDEN_DIR WORK_DIR

Each group writes REPORT.json after every case: the names of all its cases and, for each one
run, "ok" or what went wrong. Expected pixels are the reference cases' outputs (tests/golden),
read by Krita's own PNG import like the inputs."""

import json
import os
import sys
import traceback

from krita import Krita, Selection

try:
    import tovrin_krita
    from tovrin_krita import library
except ImportError as error:  # Krita's log shows where it looked
    raise ImportError("%s; sys.path: %s" % (error, sys.path)) from error

# The frames of the animation: reference inputs of one size, all run with smooth range 8.
ANIMATION_FRAMES = ["art_on_transparent", "colour_on_colour", "gradient_drift"]
FIRST_FRAME, FRAME_STEP = 1, 2  # keyframes at 1, 3, 5; Krita adds an empty one at 0


class Run:
    def __init__(self, args):
        self.report_path, self.golden, self.work = args[:3]
        Krita.instance().setBatchmode(True)

    def input(self, name):
        return os.path.join(self.golden, "in", name + ".png")

    def png(self, folder, name):
        """The pixels of a reference file (folder "in" or "expected") as Krita reads it."""
        document = Krita.instance().openDocument(os.path.join(self.golden, folder,
                                                              name + ".png"))
        data = pixels(document, document.topLevelNodes()[0])
        document.close()
        return data

    def cases(self, table):
        report = {"cases": [name for name, _ in table], "results": {}}
        for name, check in table:
            try:
                check()
                report["results"][name] = "ok"
            except AssertionError as failure:
                report["results"][name] = "FAIL: %s" % failure
            except Exception:
                report["results"][name] = "FAIL: " + traceback.format_exc()
            report["finished"] = name == table[-1][0]
            with open(self.report_path, "w") as file:
                json.dump(report, file, indent=1)


def pixels(document, node, time=None):
    width, height = document.width(), document.height()
    if time is None:
        return bytes(node.pixelData(0, 0, width, height))
    return bytes(node.pixelDataAtTime(0, 0, width, height, time))


def layers(document):
    """The top-level layers, bottom first: (unique id, name, visible)."""
    return [(n.uniqueId().toString(), n.name(), n.visible()) for n in document.topLevelNodes()]


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def expect_same(actual, wanted, what):
    if actual != wanted:
        if isinstance(actual, bytes) and len(actual) == len(wanted):
            first = next(i for i in range(len(actual)) if actual[i] != wanted[i])
            raise AssertionError("%s: byte %d is %d, not %d" % (what, first, actual[first],
                                                                wanted[first]))
        raise AssertionError("%s: %r, not %r" % (what, actual, wanted))


def expect_refused(exception_type, call, document):
    """call() raises exception_type, and the document's layers are as they were."""
    before = layers(document)
    try:
        call()
    except exception_type as error:
        expect(str(error), "an empty reason")
    else:
        raise AssertionError("no %s" % exception_type.__name__)
    expect_same(layers(document), before, "layers after the refusal")


def expect_result_above(document, original, result, original_pixels):
    """The result is a new visible layer just above the original, which is hidden and kept."""
    names = [n.name() for n in document.topLevelNodes()]
    expect_same(names[names.index(original.name()) + 1], result.name(), "the layer above")
    expect_same(result.name(), original.name() + " (smoothed)", "the new layer's name")
    expect(result.visible() and not original.visible(), "the original is not hidden")
    expect_same(pixels(document, original), original_pixels, "the original's pixels")


def prepare(args):
    """Nothing but Krita's start, which installs its resources into a fresh home."""
    Run(args).cases([("Krita starts", lambda: None)])


# ---- layers ----

def pixel_case(run, name, options, expected_case):
    def check():
        document = Krita.instance().openDocument(run.input(name))
        original = document.topLevelNodes()[0]
        before = pixels(document, original)
        result = tovrin_krita.smooth_node(document, original, **options)
        expect_same(pixels(document, result), run.png("expected", expected_case), "pixels")
        expect_result_above(document, original, result, before)
    return check


def layer_cases(run):
    def selection_case(mask_of):
        """Pixels of weight 0 untouched, of 255 as the whole layer smoothed, partly selected
        ones between the two, sample by sample, and nearer the side that weighs more."""
        def check():
            document = Krita.instance().openDocument(run.input("colour_on_colour"))
            width, height = document.width(), document.height()
            mask = bytes(mask_of(x, y) for y in range(height) for x in range(width))
            selection = Selection()
            selection.setPixelData(mask, 0, 0, width, height)
            document.setSelection(selection)
            original = document.topLevelNodes()[0]
            before = pixels(document, original)
            result = pixels(document, tovrin_krita.smooth_node(document, original,
                                                               smooth_range=8))
            whole = run.png("expected", "colour_on_colour__r8")
            for kind in {min(weight, 1) + weight // 255 for weight in mask}:
                expect(any(before[i] != whole[i] for i in range(len(before))
                           if min(mask[i // 4], 1) + mask[i // 4] // 255 == kind),
                       "the smoothing changes no %s pixel"
                       % ("unselected", "partly selected", "selected")[kind])
            for i in range(len(result)):
                weight = mask[i // 4]
                low, high = sorted((before[i], whole[i]))
                wanted = {0: before[i], 255: whole[i]}.get(weight)
                to_original, to_smoothed = abs(result[i] - before[i]), abs(result[i] - whole[i])
                nearer = to_smoothed <= to_original if weight >= 128 else \
                    to_original <= to_smoothed
                if (wanted is not None and result[i] != wanted) or not low <= result[i] <= high \
                        or not nearer:
                    raise AssertionError("sample %d (weight %d): %d, original %d, smoothed %d"
                                         % (i, weight, result[i], before[i], whole[i]))
        return check

    def unsupported_case(make_node):
        def check():
            document = Krita.instance().createDocument(32, 32, "unsupported", "RGBA", "U8", "",
                                                       72.0)
            node = make_node(document)
            document.rootNode().addChildNode(node, None)
            expect_refused(tovrin_krita.UnsupportedLayerError,
                           lambda: tovrin_krita.smooth_node(document, node), document)
        return check

    def paint_layer(model, depth):
        def make(document):
            if model != "RGBA" or depth != "U8":
                document.setColorSpace(model, depth, "")
            return document.createNode("ink", "paintlayer")
        return make

    def bad_argument_case(options):
        def check():
            document = Krita.instance().openDocument(run.input("glyphs"))
            node = document.topLevelNodes()[0]
            expect_refused(ValueError, lambda: tovrin_krita.smooth_node(document, node,
                                                                        **options), document)
        return check

    def quality_case():
        document = Krita.instance().openDocument(run.input("glyphs"))
        node = document.topLevelNodes()[0]
        before = pixels(document, node)
        if "high" in library.load().qualities:
            result = tovrin_krita.smooth_node(document, node, quality="high")
            expect_result_above(document, node, result, before)
        else:
            expect_refused(tovrin_krita.SmoothingError,
                           lambda: tovrin_krita.smooth_node(document, node, quality="high"),
                           document)

    def cancel_case():
        document = Krita.instance().openDocument(run.input("glyphs"))
        node = document.topLevelNodes()[0]
        expect_refused(tovrin_krita.SmoothingCancelled,
                       lambda: tovrin_krita.smooth_node(document, node,
                                                        progress=lambda done, total: False),
                       document)

    def foreign_node_case():
        document = Krita.instance().openDocument(run.input("glyphs"))
        other = Krita.instance().openDocument(run.input("isolated"))
        expect_refused(ValueError, lambda: tovrin_krita.smooth_node(
            document, other.topLevelNodes()[0]), document)
        expect_same(layers(other)[0][2], True, "the other document's layer is visible")

    def missing_library_case():
        document = Krita.instance().openDocument(run.input("glyphs"))
        node = document.topLevelNodes()[0]
        loaded, named = library._loaded, os.environ.get("TOVRIN_LIBRARY")
        library._loaded = None
        os.environ["TOVRIN_LIBRARY"] = os.path.join(run.work, "no-such-library.so")
        try:
            expect_refused(tovrin_krita.SmoothingError,
                           lambda: tovrin_krita.smooth_node(document, node), document)
        finally:
            library._loaded = loaded
            if named is None:
                del os.environ["TOVRIN_LIBRARY"]
            else:
                os.environ["TOVRIN_LIBRARY"] = named

    def inside(x0, y0, x1, y1):
        return lambda x, y: 255 if x0 <= x < x1 and y0 <= y < y1 else 0

    def feathered(x, y):
        return max(0, min(255, (x - 24) * 8))  # 0 left of x = 24, partial up to 56, then 255

    return [
        ("8-bit RGBA, smooth range 8", pixel_case(
            run, "art_on_transparent", {"smooth_range": 8}, "art_on_transparent__r8")),
        ("8-bit colour on colour (red and blue differ)", pixel_case(
            run, "colour_on_colour", {"smooth_range": 8}, "colour_on_colour__r8")),
        ("8-bit, colour key as #rrggbb", pixel_case(
            run, "glyphs", {"key": "#ffffff"}, "glyphs__r0_key255-255-255")),
        ("16-bit RGBA, smooth range 0", pixel_case(
            run, "art16_transparent", {}, "art16_transparent__r0")),
        ("16-bit, colour key and smooth range 8", pixel_case(
            run, "art16_white", {"smooth_range": 8, "key": (255, 255, 255)},
            "art16_white__r8_key255-255-255")),
        ("a rectangle selected", selection_case(inside(20, 30, 70, 60))),
        ("a feathered selection", selection_case(feathered)),
        ("CMYK refused", unsupported_case(paint_layer("CMYKA", "U8"))),
        ("L*a*b* refused", unsupported_case(paint_layer("LABA", "U16"))),
        ("grayscale refused", unsupported_case(paint_layer("GRAYA", "U8"))),
        ("32-bit float refused", unsupported_case(paint_layer("RGBA", "F32"))),
        ("16-bit float refused", unsupported_case(paint_layer("RGBA", "F16"))),
        ("group layer refused", unsupported_case(lambda d: d.createGroupLayer("group"))),
        ("vector layer refused", unsupported_case(lambda d: d.createVectorLayer("shapes"))),
        ("smooth range 256", bad_argument_case({"smooth_range": 256})),
        ("smooth range True", bad_argument_case({"smooth_range": True})),
        ("key of two samples", bad_argument_case({"key": (255, 255)})),
        ("key sample 256", bad_argument_case({"key": (0, 0, 256)})),
        ("key #fffff", bad_argument_case({"key": "#fffff"})),
        ("unknown quality", bad_argument_case({"quality": "best"})),
        ("keep_original=False", bad_argument_case({"keep_original": False})),
        ("a layer of another document", foreign_node_case),
        ("high quality: smoothed where the library has it, else refused", quality_case),
        ("cancelled before the first frame", cancel_case),
        ("no library", missing_library_case),
    ]


def layer_group(args):
    run = Run(args)
    run.cases(layer_cases(run))


def installed_group(args):
    """The plug-in as the Debian package installs it, with the package's library."""
    run = Run(args)

    def where():
        expect(tovrin_krita.__file__.startswith("/usr/share/krita/pykrita/tovrin_krita/"),
               "tovrin_krita from %s" % tovrin_krita.__file__)
        expect_same(library.load().path, "/usr/lib/tovrin-smooth/libtovrin.so.1", "library")

    run.cases([
        ("the installed plug-in and library", where),
        ("16-bit, colour key and smooth range 8", pixel_case(
            run, "art16_white", {"smooth_range": 8, "key": (255, 255, 255)},
            "art16_white__r8_key255-255-255")),
    ])


# ---- animation ----

def make_animation(args):
    """Under a window (importAnimation needs one): the animation's .kra in WORK_DIR."""
    run = Run(args)

    def make():
        krita = Krita.instance()
        document = krita.createDocument(96, 96, "cels", "RGBA", "U8", "", 72.0)
        krita.openWindow().addView(document)
        expect(document.importAnimation([run.input(name) for name in ANIMATION_FRAMES],
                                        FIRST_FRAME, FRAME_STEP), "importAnimation failed")
        document.waitForDone()
        expect(document.saveAs(os.path.join(run.work, "cels.kra")), "saving failed")

    run.cases([("animation made by importAnimation", make)])


def animation_group(args):
    run = Run(args)
    keyframes = [FIRST_FRAME + FRAME_STEP * i for i in range(len(ANIMATION_FRAMES))]

    def open_cels(current_time):
        document = Krita.instance().openDocument(os.path.join(run.work, "cels.kra"))
        document.setCurrentTime(current_time)
        document.waitForDone()
        animated = [n for n in document.topLevelNodes() if n.animated()]
        expect_same(len(animated), 1, "animated layers")
        return document, animated[0]

    def frames(document, node):
        return {t: pixels(document, node, t) for t in tovrin_krita.layer_smoothing
                .keyframe_times(document, node)}

    def every_keyframe():
        document, original = open_cels(2)
        before = frames(document, original)
        expect_same(sorted(before), [0] + keyframes, "keyframes of the animation")
        for t, name in zip(keyframes, ANIMATION_FRAMES):
            expect_same(before[t], run.png("in", name), "imported frame %d" % t)
        result = tovrin_krita.smooth_node(document, original, smooth_range=8, all_frames=True)
        after = frames(document, result)
        expect_same(sorted(after), sorted(before), "keyframes of the result")
        expect_same(after[0], before[0], "the empty keyframe")
        for t, name in zip(keyframes, ANIMATION_FRAMES):
            expect_same(after[t], run.png("expected", name + "__r8"), "frame %d" % t)
        expect_same(frames(document, original), before, "the original's frames")
        expect(not original.visible(), "the original is not hidden")
        expect_same(document.currentTime(), 2, "the current time")
        # What Krita saves and opens again.
        saved = os.path.join(run.work, "cels-smoothed.kra")
        expect(document.saveAs(saved), "saving failed")
        reopened = Krita.instance().openDocument(saved)
        kept = [n for n in reopened.topLevelNodes() if n.name() == result.name()]
        expect_same(len(kept), 1, "smoothed layers in the saved file")
        expect_same(frames(reopened, kept[0]), after, "frames in the saved file")

    def current_frame():
        document, original = open_cels(4)  # shows the keyframe at 3
        before = frames(document, original)
        result = tovrin_krita.smooth_node(document, original, smooth_range=8)
        after = frames(document, result)
        expect_same(after[3], run.png("expected", "colour_on_colour__r8"), "frame 3")
        for t in (0, 1, 5):
            expect_same(after[t], before[t], "frame %d, not smoothed" % t)
        expect_same(frames(document, original), before, "the original's frames")

    def cancelled_midway():
        document, original = open_cels(0)
        before = frames(document, original)
        expect_refused(tovrin_krita.SmoothingCancelled, lambda: tovrin_krita.smooth_node(
            document, original, all_frames=True, progress=lambda done, total: done < 2),
            document)
        expect_same(frames(document, original), before, "the original's frames")
        expect_same(document.currentTime(), 0, "the current time")

    run.cases([
        ("every keyframe smoothed, the original kept, saved and opened again", every_keyframe),
        ("the current frame only", current_frame),
        ("cancelled after two keyframes", cancelled_midway),
    ])
