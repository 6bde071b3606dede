"""Inputs the fuzzer once broke the core with, kept so the faults stay fixed."""

from pathlib import Path

import pytest

import velkaron

REGRESSIONS = sorted((Path(__file__).parent / "regressions").glob("*.html"))


@pytest.mark.parametrize("path", REGRESSIONS, ids=[p.name for p in REGRESSIONS])
def test_regression_input_reads_back_cleanly(path):
    tree = velkaron.Tree(path.read_bytes())
    root = tree.get_root()
    elements = root.find_all()
    # Every string crosses to Python as str: a byte that is not UTF-8 would raise here.
    for element in elements:
        for name, value in element.get_attributes().items():
            assert element.get_attribute(name) == value
    assert isinstance(root.get_text(), str)
    assert len(elements) == tree.get_indexed_element_count()


def test_regression_corpus_is_present():
    assert REGRESSIONS
