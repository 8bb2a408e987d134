"""A test plug-in run_krita.py installs beside tovrin_krita in a Krita started under Xvfb: drives
the menu action and its dialogs as a painter would, writes what it saw to TOVRIN_GUI_REPORT and
quits. With TOVRIN_SCREENSHOT set, it takes the README's picture of the dialog instead."""

import json
import os
import traceback

from krita import Extension, Krita
from PyQt5.QtCore import QTimer
from PyQt5.QtWidgets import (QApplication, QCheckBox, QMessageBox, QRadioButton, QSpinBox)

REPORT = os.environ.get("TOVRIN_GUI_REPORT", "")
GOLDEN = os.environ.get("TOVRIN_GOLDEN_DIR", "")
SCREENSHOT = os.environ.get("TOVRIN_SCREENSHOT", "")


def when_modal(handle):
    """Calls handle(widget) once a modal dialog shows (the action's exec blocks meanwhile)."""
    def poll():
        widget = QApplication.activeModalWidget()
        if widget is None:
            QTimer.singleShot(100, poll)
        else:
            handle(widget)
    QTimer.singleShot(100, poll)


def layers(document):
    return [(n.name(), n.visible()) for n in document.topLevelNodes()]


def layer_pixels(document, node):
    return bytes(node.pixelData(0, 0, document.width(), document.height()))


def show(document):
    """document in a view of its own, the active one, as when a painter works on it."""
    window = Krita.instance().activeWindow()
    window.showView(window.addView(document))
    window.activate()
    QApplication.processEvents()
    document.waitForDone()
    return document


def run_cases(report):
    krita = Krita.instance()
    window = krita.activeWindow().qwindow()

    def case(name, check):
        try:
            check()
            report["results"][name] = "ok"
        except Exception:
            report["results"][name] = "FAIL: " + traceback.format_exc()

    def in_filter_menu():
        for menu_action in window.menuBar().actions():
            if menu_action.objectName().lower() == "filter" and menu_action.menu():
                names = [a.objectName() for a in menu_action.menu().actions()]
                assert "tovrin_smoother" in names, names
                return
        raise AssertionError("no Filter menu")

    def unsupported_layer():
        document = show(krita.createDocument(64, 64, "cmyk", "CMYKA", "U8", "", 72.0))
        before = layers(document)
        seen = {}

        def read_message(widget):
            seen["box"] = isinstance(widget, QMessageBox)
            seen["text"] = widget.text() if seen["box"] else ""
            widget.close()
        when_modal(read_message)
        krita.action("tovrin_smoother").trigger()
        assert seen.get("box") and "CMYK" in seen["text"], seen
        assert layers(document) == before, layers(document)

    state = {}

    def dialog_smooths():
        document = show(krita.openDocument(os.path.join(GOLDEN, "in", "glyphs.png")))
        original = document.topLevelNodes()[0]
        state.update(document=document, original=original,
                     before=layer_pixels(document, original))

        def fill_in(dialog):
            dialog.findChild(QSpinBox).setValue(0)
            dialog.findChild(QCheckBox).setChecked(True)  # the key is white unless chosen
            dialog.accept()
        when_modal(fill_in)
        krita.action("tovrin_smoother").trigger()
        expected = krita.openDocument(os.path.join(GOLDEN, "expected",
                                                   "glyphs__r0_key255-255-255.png"))
        result = document.topLevelNodes()[-1]
        assert layers(document) == [("Background", False), ("Background (smoothed)", True)], \
            layers(document)
        assert layer_pixels(document, result) == layer_pixels(expected,
                                                              expected.topLevelNodes()[0])

    def undo_restores():
        document = state["document"]
        krita.action("edit_undo").trigger()
        document.waitForDone()
        assert layers(document) == [("Background", True), ("Background (smoothed)", True)], \
            layers(document)
        krita.action("edit_undo").trigger()
        document.waitForDone()
        assert layers(document) == [("Background", True)], layers(document)
        assert layer_pixels(document, document.topLevelNodes()[0]) == state["before"]

    # One document after the other: without a window manager, Krita may go on working on the
    # first of two open views.
    for name, check in [
        ("the action is in the Filter menu", in_filter_menu),
        ("the dialog smooths the active layer into a new one", dialog_smooths),
        ("Edit > Undo twice gives the layer back as it was", undo_restores),
        ("an unsupported layer gets a message and nothing changes", unsupported_layer),
    ]:
        report["cases"].append(name)
        case(name, check)


def write_report(report):
    with open(REPORT, "w") as file:
        json.dump(report, file, indent=1)


def take_screenshot(report):
    """Three cels as an animated layer, shown at 400 %, and the dialog beside them."""
    krita = Krita.instance()
    window = krita.activeWindow()
    window.qwindow().setGeometry(0, 0, 1280, 800)
    document = show(krita.createDocument(96, 96, "cels", "RGBA", "U8", "", 72.0))
    document.importAnimation([os.path.join(GOLDEN, "in", name + ".png") for name in
                              ("colour_on_colour", "gradient_drift", "art_on_transparent")], 0, 1)
    document.waitForDone()
    document.topLevelNodes()[-1].setName("Cels")
    window.activeView().canvas().setZoomLevel(4.0)

    def pose(dialog):
        dialog.findChild(QSpinBox).setValue(8)
        for button in dialog.findChildren(QRadioButton):
            button.setChecked(button.text().replace("&", "") == "Every keyframe")
        dialog.move(560, 430)
        QTimer.singleShot(500, lambda: grab(dialog))

    def grab(dialog):
        name = "the picture of the dialog is taken"
        report["cases"].append(name)
        if QApplication.primaryScreen().grabWindow(0, 0, 0, 1280, 800).save(SCREENSHOT):
            report["results"][name] = "ok"
        # Krita may crash once the dialog goes: the report is written first.
        report["finished"] = True
        write_report(report)
        dialog.reject()
    when_modal(pose)
    krita.action("tovrin_smoother").trigger()


def start():
    report = {"cases": [], "results": {}}
    try:
        if SCREENSHOT:
            take_screenshot(report)
        else:
            run_cases(report)
    except Exception:
        report["error"] = traceback.format_exc()
    report["finished"] = True
    write_report(report)
    QApplication.quit()


class GuiProbe(Extension):
    def setup(self):
        pass

    def createActions(self, window):
        QTimer.singleShot(2000, start)


Krita.instance().addExtension(GuiProbe(Krita.instance()))
