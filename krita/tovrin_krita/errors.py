"""The exceptions of the Krita plug-in. Each is raised before anything changed in the document,
or after what had changed was taken back."""


class SmoothingError(Exception):
    """A layer could not be smoothed; the message says why."""


class UnsupportedLayerError(SmoothingError):
    """The layer is not one the filter smooths: not a paint layer, or not 8- or 16-bit RGB."""


class SmoothingCancelled(SmoothingError):
    """The painter cancelled; the new layer was taken out again."""
