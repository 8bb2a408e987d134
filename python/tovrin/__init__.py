"""Tovrin Smoother for Python pipelines: removes the stair-step jaggies from the aliased line art
and flat colour fills of animation cels in NumPy images, with the same pixels as the Photoshop
plug-in and the tovrin-smooth command line.

    import tovrin
    smoothed = tovrin.smooth(image, smooth_range=8)
"""

from ._tovrin import __version__, smooth

__all__ = ["smooth", "__version__"]
