"""Velkaron: high-performance HTML parsing for Python.

Parse a document once with ``Tree(html)``, take its root ``Node`` with ``get_root()``, then
navigate, read text and attributes, and search in native code::

    import velkaron

    tree = velkaron.Tree("<ul><li><a href='/a'>A</a></li><li><a href='/b'>B</a></li></ul>")
    root = tree.get_root()
    print([a.get_attribute("href") for a in root.find_all("a")])   # ['/a', '/b']
"""

from _velkaron import Node, SelectorError, Tree

from velkaron._version import __version__
from velkaron.batch import parse_many
from velkaron.encoding import parse

__all__ = ["Node", "SelectorError", "Tree", "__version__", "parse", "parse_many"]
