import os
import shutil
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "examples")
sys.path.insert(0, EXAMPLES)

GOLDEN_DIR = os.environ.get("TOVRIN_GOLDEN_DIR", os.path.join(HERE, "..", "..", "tests", "golden"))


@pytest.fixture(scope="session")
def tovrin_smooth():
    """The tovrin-smooth binary of the build ($TOVRIN_SMOOTH), or one on PATH."""
    binary = os.environ.get("TOVRIN_SMOOTH") or shutil.which("tovrin-smooth")
    if not binary:
        pytest.skip("tovrin-smooth is not built")
    return binary
