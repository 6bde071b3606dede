"""Text pieces, the raw form of a page's text that ``velkaron text --strip`` prints.

For the text a reader sees, use ``Tree.plain_text()`` / ``Node.plain_text()`` instead.
"""

from __future__ import annotations

from _velkaron import Node

# Elements whose text is code, not prose.
_CODE_ELEMENTS = frozenset({"script", "style"})


def text_pieces(root: Node, with_code: bool = False) -> list[str]:
    """The text pieces at and below ``root`` in document order, by default without the
    contents of script and style elements."""
    if with_code:
        return root.get_strings()
    pieces = []
    for node in root.get_all_descendants_with_text():
        if node.is_text():
            parent = node.get_parent()
            if parent is None or parent.get_name() not in _CODE_ELEMENTS:
                pieces.append(node.get_text())
    return pieces
