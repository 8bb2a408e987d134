"""The menu action "Tovrin Smoother..." in Krita's Filter menu: checks the active layer, asks for
the options, smooths (with a progress dialog that can cancel when every keyframe is smoothed)
and reports a failure with its reason."""

from krita import Extension, Krita
from PyQt5.QtCore import Qt
from PyQt5.QtWidgets import QApplication, QDialog, QMessageBox, QProgressDialog

from . import library
from .dialog import OptionsDialog
from .errors import SmoothingCancelled, SmoothingError
from .layer_smoothing import check_layer, smooth_node

ACTION_ID = "tovrin_smoother"
TITLE = "Tovrin Smoother"


class SmootherExtension(Extension):
    def setup(self):
        pass

    def createActions(self, window):
        action = window.createAction(ACTION_ID, "Tovrin Smoother...", "filter")
        action.setToolTip("Smooth the jaggies of aliased line art and flat color fills")
        action.triggered.connect(self.run)

    def run(self):
        krita = Krita.instance()
        window = krita.activeWindow()
        parent = window.qwindow() if window is not None else None
        document = krita.activeDocument()
        if document is None:
            QMessageBox.information(parent, TITLE, "Open an image first.")
            return
        node = document.activeNode()
        try:
            check_layer(node)
            qualities = library.load().qualities
        except SmoothingError as error:
            QMessageBox.warning(parent, TITLE, str(error))
            return

        dialog = OptionsDialog(krita, node.name(), node.animated(),
                               document.selection() is not None, qualities, parent)
        if dialog.exec_() != QDialog.Accepted:
            return
        options = dialog.options()

        progress_dialog = None
        if options["all_frames"]:
            progress_dialog = QProgressDialog('Smoothing every keyframe of "%s"...' % node.name(),
                                              "Cancel", 0, 0, parent)
            progress_dialog.setWindowTitle(TITLE)
            progress_dialog.setWindowModality(Qt.WindowModal)
            progress_dialog.setMinimumDuration(0)

        def progress(done, total):
            if progress_dialog is None:
                return True
            progress_dialog.setMaximum(total)
            progress_dialog.setValue(done)
            QApplication.processEvents()
            return not progress_dialog.wasCanceled()

        failure = None
        QApplication.setOverrideCursor(Qt.WaitCursor)
        try:
            result = smooth_node(document, node, progress=progress, **options)
        except SmoothingCancelled:
            return
        except Exception as error:  # every failure reaches the painter with its reason
            failure = error
        finally:
            QApplication.restoreOverrideCursor()
            if progress_dialog is not None:
                progress_dialog.close()
        if failure is not None:
            QMessageBox.critical(parent, TITLE, "The layer was not smoothed: %s" % failure)
            return
        document.setActiveNode(result)
