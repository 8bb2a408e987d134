"""libtovrin through ctypes, so that the plug-in needs no compiled module for Krita's own Python:
tovrin.dll from the plug-in's folder on Windows, libtovrin.so.1 from the Debian package on
Linux."""

import ctypes
import os
import sys

from .errors import SmoothingError

# tovrin.h's values.
_OK = 0
_RGBA8 = 1
_RGBA16 = 2  # 0..65535, the scale of Krita's 16-bit layers
_QUALITY_CODES = {"standard": 0, "high": 1}

# Where the Debian package puts the plug-in's library.
_DEBIAN_LIBRARY = "/usr/lib/tovrin-smooth/libtovrin.so.1"


class _Options(ctypes.Structure):
    _fields_ = [
        ("smooth_range", ctypes.c_int),
        ("use_key", ctypes.c_int),
        ("key_red", ctypes.c_int),
        ("key_green", ctypes.c_int),
        ("key_blue", ctypes.c_int),
        ("threads", ctypes.c_int),
    ]


_SMOOTH_ARGUMENTS = [
    ctypes.c_int,  # width
    ctypes.c_int,  # height
    ctypes.c_int,  # format
    ctypes.c_void_p,  # input
    ctypes.c_size_t,  # input stride
    ctypes.c_void_p,  # output
    ctypes.c_size_t,  # output stride
    ctypes.POINTER(_Options),
]


def candidate_paths():
    """The files tried, in order. TOVRIN_LIBRARY names one explicitly (a build tree's, say)."""
    named = os.environ.get("TOVRIN_LIBRARY")
    if named:
        return [named]
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.platform == "win32":
        return [os.path.join(here, "tovrin.dll")]
    return [os.path.join(here, "libtovrin.so.1"), _DEBIAN_LIBRARY, "libtovrin.so.1"]


class Library:
    """One loaded libtovrin."""

    def __init__(self, path):
        self.path = path
        self._dll = ctypes.CDLL(path)
        self._dll.tovrin_version.restype = ctypes.c_char_p
        self._dll.tovrin_version.argtypes = []
        self._dll.tovrin_status_message.restype = ctypes.c_char_p
        self._dll.tovrin_status_message.argtypes = [ctypes.c_int]
        self._dll.tovrin_options_init.restype = None
        self._dll.tovrin_options_init.argtypes = [ctypes.POINTER(_Options)]
        self._dll.tovrin_smooth.restype = ctypes.c_int
        self._dll.tovrin_smooth.argtypes = _SMOOTH_ARGUMENTS
        self.version = self._dll.tovrin_version().decode("ascii", "replace")
        if self.version.split(".")[0] != "1":
            raise SmoothingError(
                "%s is libtovrin %s; this plug-in needs version 1" % (path, self.version)
            )
        # Libraries of interface 1.1 and later have the high-quality mode.
        try:
            self._smooth_quality = self._dll.tovrin_smooth_quality
        except AttributeError:
            self._smooth_quality = None
        else:
            self._smooth_quality.restype = ctypes.c_int
            self._smooth_quality.argtypes = _SMOOTH_ARGUMENTS + [ctypes.c_int]

    @property
    def qualities(self):
        """The quality modes this library offers."""
        return ("standard", "high") if self._smooth_quality else ("standard",)

    def smooth(self, pixels, width, height, depth, smooth_range=0, key=None, quality="standard"):
        """Smooths width x height RGBA pixels (8 or 16 bits a sample, native byte order, rows
        without padding) in the bytearray `pixels`, in place. key: None or (red, green, blue) in
        0..255. Raises SmoothingError with the library's reason."""
        if quality not in self.qualities:
            raise SmoothingError(
                "the library at %s (version %s) has no %s quality mode"
                % (self.path, self.version, quality)
            )
        options = _Options()
        self._dll.tovrin_options_init(ctypes.byref(options))
        options.smooth_range = smooth_range
        if key is not None:
            options.use_key = 1
            options.key_red, options.key_green, options.key_blue = key
        pixel_bytes = 4 if depth == 8 else 8
        stride = width * pixel_bytes
        if len(pixels) != stride * height:
            raise SmoothingError("%d bytes are not %d x %d pixels" % (len(pixels), width, height))
        buffer = (ctypes.c_ubyte * len(pixels)).from_buffer(pixels)
        arguments = [width, height, _RGBA8 if depth == 8 else _RGBA16, buffer, stride, buffer,
                     stride, ctypes.byref(options)]
        if quality == "standard":
            status = self._dll.tovrin_smooth(*arguments)
        else:
            status = self._smooth_quality(*arguments, _QUALITY_CODES[quality])
        del buffer  # the bytearray may be resized again
        if status != _OK:
            message = self._dll.tovrin_status_message(status).decode("ascii", "replace")
            raise SmoothingError("libtovrin: %s" % message)


_loaded = None


def load():
    """The library, loaded once; SmoothingError naming every place tried when none loads."""
    global _loaded
    if _loaded is None:
        failures = []
        for path in candidate_paths():
            try:
                _loaded = Library(path)
                break
            except OSError as error:
                failures.append("%s: %s" % (path, error))
        else:
            raise SmoothingError(
                "libtovrin could not be loaded (%s). On Linux, install the tovrin-smooth "
                "package; on Windows, import the plug-in's zip, which carries tovrin.dll."
                % "; ".join(failures)
            )
    return _loaded
