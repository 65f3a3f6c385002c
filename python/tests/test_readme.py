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
