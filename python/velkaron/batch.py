"""Parsing many documents at once on native threads."""

from __future__ import annotations

import os
from collections.abc import Iterable

from _velkaron import Tree
from _velkaron import parse_many as _parse_texts

from velkaron.encoding import corrected, read

_DOCUMENT_TYPES = (str, bytes, bytearray, memoryview)


def parse_many(documents: Iterable[str | bytes | bytearray | memoryview], *,
               threads: int | None = None, encoding: str | None = None,
               default: str | None = None, max_attributes: int | None = 1000,
               max_depth: int | None = 512) -> list[Tree]:
    """Parse every document into a ``Tree``, on up to ``threads`` native threads.

    Each document is read as ``velkaron.parse`` reads it (bytes in whatever encoding their
    byte-order mark, ``encoding``, their ``<meta>`` or their content says), and the trees come
    back in the order of ``documents``. ``threads`` defaults to the cores this process may use;
    small batches are parsed on the calling thread alone. ``default`` is the encoding assumed
    when nothing names one, as in ``parse``. ``max_attributes`` and ``max_depth`` are the
    markup limits of ``Tree``, held for every document. A page whose late ``<meta>`` corrects
    a guessed encoding is parsed again, as ``parse`` does. An element that is neither text nor
    bytes raises ``TypeError`` naming its index, before anything is parsed.
    """
    if threads is None:
        threads = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)
    elif isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int or None, not {type(threads).__name__}")
    elif threads < 1:
        raise ValueError(f"threads must be at least 1, got {threads}")
    sources = []
    for index, document in enumerate(documents):
        if not isinstance(document, _DOCUMENT_TYPES):
            raise TypeError(f"documents[{index}] must be str or a bytes-like object, "
                            f"not {type(document).__name__}")
        sources.append(read(document, encoding, default=default))
    limits = {"max_attributes": max_attributes, "max_depth": max_depth}
    trees: list[Tree] = _parse_texts([text for text, _, _ in sources], threads, **limits)
    # Pages whose parsed head names another encoding than the guessed one: read again, and
    # parsed again together, on the same threads.
    again = {index: fixed for index, (tree, read_as) in enumerate(zip(trees, sources))
             if (fixed := corrected(tree, read_as)) is not None}
    if again:
        reparsed = _parse_texts([fixed.text for fixed in again.values()], threads, **limits)
        for index, tree in zip(again, reparsed):
            trees[index], sources[index] = tree, again[index]
    for tree, read_as in zip(trees, sources):
        tree._set_encoding(read_as.encoding)
    return trees
