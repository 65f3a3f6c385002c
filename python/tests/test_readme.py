"""The README's Python session runs as written."""

import os
import re

from conftest import REPOSITORY


def test_readme_session_runs(monkeypatch, tmp_path):
    text = (REPOSITORY / "README.md").read_text(encoding="utf-8")
    section = text.split("\n## From Python\n", 1)[1].split("\n## ", 1)[0]
    blocks = re.findall(r"```python\n(.*?)```", section, re.S)
    assert len(blocks) == 1
    monkeypatch.chdir(REPOSITORY)
    monkeypatch.setenv("KINVAR_HOME", str(tmp_path))
    exec(compile(blocks[0], "README.md", "exec"), {})


def test_manual_python_tutorial_runs(monkeypatch, tmp_path):
    """Every Python block of the manual's R and Python page, in order, as a
    reader would paste them into one session."""
    text = (REPOSITORY / "docs" / "manual" / "r-and-python.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```python\n(.*?)```", text, re.S)
    assert len(blocks) >= 5
    monkeypatch.chdir(REPOSITORY)
    monkeypatch.setenv("KINVAR_HOME", str(tmp_path))
    namespace = {}
    for k, block in enumerate(blocks):
        exec(compile(block, f"r-and-python.md, block {k + 1}", "exec"), namespace)
    assert len(namespace["ped"].mate_suitability(namespace["sires"], namespace["dams"])) == 4
