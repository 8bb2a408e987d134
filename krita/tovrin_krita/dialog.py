"""The options dialog: smooth range, colour key, quality mode and, for an animated layer, which
frames; the choices are remembered in Krita's settings."""

from PyQt5.QtGui import QColor
from PyQt5.QtWidgets import (QButtonGroup, QCheckBox, QColorDialog, QComboBox, QDialog,
                             QDialogButtonBox, QFormLayout, QHBoxLayout, QLabel, QPushButton,
                             QRadioButton, QSpinBox, QVBoxLayout)

_SETTINGS_GROUP = "TovrinSmoother"
_QUALITY_LABELS = {"standard": "Standard", "high": "High quality"}


def _read_setting(krita, name, default):
    return krita.readSetting(_SETTINGS_GROUP, name, default)


def _rgb_of(managed_color, canvas):
    """A Krita colour as 8-bit (red, green, blue): its own samples when it is RGB, else as the
    canvas shows it."""
    if managed_color.colorModel() == "RGBA":
        red, green, blue = managed_color.componentsOrdered()[:3]
        return tuple(int(round(min(max(v, 0.0), 1.0) * 255)) for v in (red, green, blue))
    colour = managed_color.colorForCanvas(canvas)
    return colour.red(), colour.green(), colour.blue()


class OptionsDialog(QDialog):
    """Asks for the options of one run; options() gives them for smooth_node."""

    def __init__(self, krita, layer_name, animated, has_selection, qualities, parent=None):
        super().__init__(parent)
        self._krita = krita
        self.setWindowTitle("Tovrin Smoother")

        self._range = QSpinBox()
        self._range.setRange(0, 255)
        remembered_range = _read_setting(krita, "smoothRange", "0")
        if remembered_range.isdigit() and int(remembered_range) <= 255:
            self._range.setValue(int(remembered_range))
        self._range.setToolTip("How far two colors may differ and still count as the same "
                               "color (0..255)")

        self._use_key = QCheckBox("Use color key")
        self._use_key.setToolTip("Opaque pixels of exactly this color become transparent "
                                 "before smoothing")
        self._use_key.setChecked(_read_setting(krita, "useKey", "false") == "true")
        self._key = QColor(_read_setting(krita, "key", "#ffffff"))
        if not self._key.isValid():
            self._key = QColor(255, 255, 255)
        self._key_button = QPushButton()
        self._key_button.setToolTip("Choose the key color")
        self._key_button.clicked.connect(self._choose_key)
        foreground = QPushButton("Foreground Color")
        foreground.setToolTip("Take the foreground color (pick it on the canvas with the Sample "
                              "Color tool)")
        foreground.clicked.connect(self._take_foreground)
        key_row = QHBoxLayout()
        key_row.addWidget(self._use_key)
        key_row.addWidget(self._key_button)
        key_row.addWidget(foreground)
        key_row.addStretch()
        self._show_key()

        self._quality = QComboBox()
        for quality in ("standard", "high"):
            self._quality.addItem(_QUALITY_LABELS[quality], quality)
            if quality not in qualities:
                item = self._quality.model().item(self._quality.count() - 1)
                item.setEnabled(False)
                item.setToolTip("The installed libtovrin has no %s mode" % quality)
        remembered = self._quality.findData(_read_setting(krita, "quality", "standard"))
        if remembered >= 0 and self._quality.itemData(remembered) in qualities:
            self._quality.setCurrentIndex(remembered)

        form = QFormLayout()
        form.addRow("Layer:", QLabel(layer_name))
        form.addRow("Smooth range:", self._range)
        form.addRow("Color key:", key_row)
        form.addRow("Quality:", self._quality)

        self._current_frame = QRadioButton("Current frame")
        self._every_keyframe = QRadioButton("Every keyframe")
        frames = QButtonGroup(self)
        frames.addButton(self._current_frame)
        frames.addButton(self._every_keyframe)
        every = _read_setting(krita, "allFrames", "false") == "true"
        self._every_keyframe.setChecked(every)
        self._current_frame.setChecked(not every)
        if animated:
            frame_row = QHBoxLayout()
            frame_row.addWidget(self._current_frame)
            frame_row.addWidget(self._every_keyframe)
            frame_row.addStretch()
            form.addRow("Frames:", frame_row)

        notes = ["The result goes into a new layer above this one, which is hidden and kept."]
        if has_selection:
            notes.insert(0, "Only the selected pixels change.")
        note = QLabel(" ".join(notes))
        note.setWordWrap(True)

        buttons = QDialogButtonBox(QDialogButtonBox.Ok | QDialogButtonBox.Cancel)
        buttons.accepted.connect(self.accept)
        buttons.rejected.connect(self.reject)

        layout = QVBoxLayout(self)
        layout.addLayout(form)
        layout.addWidget(note)
        layout.addWidget(buttons)
        self._animated = animated

    def _show_key(self):
        self._key_button.setText(self._key.name().upper())
        text = "black" if self._key.lightness() > 127 else "white"
        self._key_button.setStyleSheet("background-color: %s; color: %s"
                                       % (self._key.name(), text))

    def _set_key(self, red, green, blue):
        self._key = QColor(red, green, blue)
        self._use_key.setChecked(True)
        self._show_key()

    def _choose_key(self):
        colour = QColorDialog.getColor(self._key, self, "Color Key")
        if colour.isValid():
            self._set_key(colour.red(), colour.green(), colour.blue())

    def _take_foreground(self):
        window = self._krita.activeWindow()
        view = window.activeView() if window else None
        if view is not None:
            self._set_key(*_rgb_of(view.foregroundColor(), view.canvas()))

    def options(self):
        """The keyword arguments of smooth_node, and remembers them for the next time."""
        chosen = {
            "smooth_range": self._range.value(),
            "key": ((self._key.red(), self._key.green(), self._key.blue())
                    if self._use_key.isChecked() else None),
            "quality": self._quality.currentData(),
            "all_frames": self._animated and self._every_keyframe.isChecked(),
        }
        krita = self._krita
        krita.writeSetting(_SETTINGS_GROUP, "smoothRange", str(chosen["smooth_range"]))
        krita.writeSetting(_SETTINGS_GROUP, "useKey", "true" if self._use_key.isChecked()
                           else "false")
        krita.writeSetting(_SETTINGS_GROUP, "key", self._key.name())
        krita.writeSetting(_SETTINGS_GROUP, "quality", chosen["quality"])
        if self._animated:
            krita.writeSetting(_SETTINGS_GROUP, "allFrames", "true" if chosen["all_frames"]
                               else "false")
        return chosen
