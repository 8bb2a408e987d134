"""Builds the tovrin Python module from the source tree, offline: the module, the C interface, the
engine and the high-quality pass compiled into one extension, with the engine's floating-point settings (no fused
multiply-add, no fast-math), so that it gives the same pixels as every other build.

    pip install --no-build-isolation .
"""

import glob
import re

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension
from setuptools import setup


def library_version():
    with open("lib/tovrin.h") as header:
        text = header.read()
    return ".".join(re.search(rf"#define TOVRIN_VERSION_{part} (\d+)", text).group(1)
                    for part in ("MAJOR", "MINOR", "PATCH"))


extension = Pybind11Extension(
    "tovrin._tovrin",
    ["python/tovrin_module.cpp", "lib/tovrin.cpp", "lib/buffer_host.cpp"]
    + sorted(glob.glob("engine/*.cpp")) + sorted(glob.glob("coverage/*.cpp")),
    include_dirs=["host", "engine", "coverage", "lib"],
    define_macros=[("TOVRIN_STATIC", None)],
    extra_compile_args=["-ffp-contract=off", "-fno-fast-math"],
    cxx_std=20,
)

ParallelCompile("NPY_NUM_BUILD_JOBS").install()

setup(
    name="tovrin",
    version=library_version(),
    description="Smooths the aliased line art and flat fills of animation cels in NumPy images",
    packages=["tovrin"],
    package_dir={"tovrin": "python/tovrin"},
    package_data={"tovrin": ["__init__.pyi", "py.typed"]},
    ext_modules=[extension],
    install_requires=["numpy"],
    python_requires=">=3.9",
    zip_safe=False,
    # Beside the CMake build folders, never inside build/.
    options={"build": {"build_base": "build-python"}},
)
