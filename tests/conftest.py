"""Fixtures shared by the test files."""

import pytest

import velkaron


@pytest.fixture
def parse():
    """Parse HTML; returns (tree, root element). Callers keep the tree referenced."""
    return lambda html: (tree := velkaron.Tree(html), tree.get_root())
