"""Tovrin Smoother in Krita: removes the stair-step jaggies from aliased line art and flat colour
fills on a paint layer or every keyframe of an animated one, with the same pixels as the
tovrin-smooth command line, through libtovrin.

In Krita's Scripter:

    import tovrin_krita
    document = Krita.instance().activeDocument()
    tovrin_krita.smooth_node(document, document.activeNode(), smooth_range=8, all_frames=True)
"""

from .errors import SmoothingCancelled, SmoothingError, UnsupportedLayerError
from .layer_smoothing import smooth_node

__all__ = ["smooth_node", "SmoothingError", "UnsupportedLayerError", "SmoothingCancelled"]

try:
    from krita import Krita
except ImportError:  # imported outside Krita
    Krita = None

if Krita is not None and Krita.instance() is not None:
    from .extension import SmootherExtension

    Krita.instance().addExtension(SmootherExtension(Krita.instance()))
