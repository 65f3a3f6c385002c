"""The module's version is the project's, taken from one place."""

import re
from pathlib import Path

import pytest

import kinvar

CMAKE_LISTS = Path(__file__).resolve().parents[2] / "CMakeLists.txt"


@pytest.mark.skipif(not CMAKE_LISTS.exists(), reason="not run from the repository")
def test_version_is_the_projects():
    declared = re.search(r"project\(Kinvar VERSION ([0-9.]+)", CMAKE_LISTS.read_text()).group(1)
    assert kinvar.__version__ == declared
