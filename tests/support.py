"""How a node reads in a table, and the benchmarks' generated pages, for the test modules."""

import functools
import importlib.util
from pathlib import Path

import velkaron


def label(node):
    """An element's id, else its name; other kinds by what they are."""
    if node is None:
        return None
    if node.is_element():
        return node.get_attribute("id") or node.get_name()
    if node.is_text():
        return "text:" + node.get_text()
    return "#document" if node.is_document() else "#other"


def render(value):
    """A result as a case file writes it: nodes by label, lists element-wise."""
    if isinstance(value, velkaron.Node):
        return label(value)
    if isinstance(value, (list, tuple)):
        return [render(item) for item in value]
    return value


@functools.cache
def _page_generator():
    path = Path(__file__).parent.parent / "bench" / "generate.py"
    found = importlib.util.spec_from_file_location("generate", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def generated_page(size, seed):
    """The benchmarks' generated page of about `size` bytes (bench/generate.py)."""
    return _page_generator().generate_page(size, seed)
