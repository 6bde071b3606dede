"""The README's code: every Python block passes mypy --strict and runs, printing what its
comments say; every cell of the table for users of other libraries runs, and velkaron's answer
matches theirs (for the peers that are installed)."""

import ast
import contextlib
import importlib.util
import io
import re
import subprocess
import sys
from pathlib import Path

import pytest

README = (Path(__file__).resolve().parents[1] / "README.md").read_text()
BLOCKS = re.findall(r"```python\n(.*?)```", README, re.S)
SAMPLE = Path(__file__).resolve().parents[1] / "python" / "velkaron" / "data" / "sample.html"
SECTION = README.split("## Coming from BeautifulSoup, lxml or selectolax")[1].split("\n## ")[0]
IMPORTS = {"BeautifulSoup": "from bs4 import BeautifulSoup", "lxml.html": "import lxml.html",
           "selectolax": "from selectolax.lexbor import LexborHTMLParser",
           "velkaron": "import velkaron"}


def table():
    lines = [line for line in SECTION.splitlines() if line.startswith("| ")]
    header = [cell.strip() for cell in lines[0].strip("|").split("|")]
    rows = [[cell.strip().strip("`") for cell in re.split(r" \| ", line.strip("| "))]
            for line in lines[1:]]
    return header[1:], [row[1:] for row in rows]


def same_answer(value):
    """Nodes of every library as their name; plain values as they are."""
    if isinstance(value, (list, tuple)):
        return [same_answer(item) for item in value]
    if value is None or isinstance(value, (str, int, dict)):
        return value
    return getattr(value, "tag", None) or value.name


def run_cell(code, space):
    if isinstance(ast.parse(code).body[0], ast.Assign):
        exec(code, space)
        return None
    return eval(code, space)


@pytest.mark.parametrize("block", BLOCKS, ids=lambda block: block.split("\n")[0][:30])
def test_blocks_run(block, tmp_path, monkeypatch):
    (tmp_path / "page.html").write_bytes(SAMPLE.read_bytes())
    monkeypatch.chdir(tmp_path)
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        exec(block, {})
    # Blocks check themselves with assert, or print (the Quick start's output is checked
    # against its comments in test_packaging.py).
    assert out.getvalue() or "assert " in block


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")
def test_blocks_pass_mypy_strict(tmp_path):
    for i, block in enumerate(BLOCKS):
        (tmp_path / f"block{i}.py").write_text(block)
    proc = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir",
                           str(tmp_path / ".cache"), *sorted(map(str, tmp_path.glob("*.py")))],
                          capture_output=True, text=True, cwd=tmp_path, timeout=300)
    assert proc.returncode == 0, proc.stdout


def test_table_cells_run_and_agree():
    libraries, rows = table()
    assert libraries[-1] == "velkaron" and len(rows) >= 20
    spaces = {}
    for library in libraries:
        with contextlib.suppress(ImportError):
            spaces[library] = {}
            exec(IMPORTS[library] + "\n" + BLOCKS[-1], spaces[library])
    spaces = {k: v for k, v in spaces.items() if "html" in v}
    compared = 0
    for row in rows:
        answers = {library: run_cell(code, spaces[library])
                   for library, code in zip(libraries, row) if code != "—" and library in spaces}
        ours = same_answer(answers.pop("velkaron"))
        for library, answer in answers.items():
            assert same_answer(answer) == ours, (row, library)
            compared += answer is not None
    assert compared >= 20 * (len(spaces) - 1) - 6
