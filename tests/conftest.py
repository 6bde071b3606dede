"""Fixtures shared by the test files. Test modules import nothing from here."""

import pytest

import velkaron


@pytest.fixture
def parse():
    """Parse HTML; returns (tree, root element). Callers keep the tree referenced."""

    def parse_html(html):
        tree = velkaron.Tree(html)
        return tree, tree.get_root()

    return parse_html


@pytest.fixture
def element():
    """The first element named `name` below `node`, found by plain navigation (no search)."""

    def first_element(node, name):
        for descendant in node.get_descendants():
            if descendant.is_element() and descendant.get_name() == name:
                return descendant
        raise LookupError(f"no <{name}> below the node")

    return first_element
