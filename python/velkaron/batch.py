"""Parsing many documents at once on native threads."""

from __future__ import annotations

import os
from collections.abc import Iterable

from _velkaron import Tree
from _velkaron import parse_many as _parse_texts

_BYTES_LIKE = (bytes, bytearray, memoryview)


def _source(index: int, document: object, encoding: str | None) -> str | bytes:
    """What the native parser reads for one document: text, or bytes taken as UTF-8."""
    if isinstance(document, str):
        return document
    if isinstance(document, _BYTES_LIKE):
        data = bytes(document)
        return data.decode(encoding, "replace") if encoding is not None else data
    raise TypeError(
        f"documents[{index}] must be str or a bytes-like object, not {type(document).__name__}")


def parse_many(documents: Iterable[str | bytes | bytearray | memoryview], *,
               threads: int | None = None, encoding: str | None = None) -> list[Tree]:
    """Parse every document into a ``Tree``, on up to ``threads`` native threads.

    The trees come back in the order of ``documents``. ``threads`` defaults to the cores this
    process may use; small batches are parsed on the calling thread alone. Bytes are read as
    UTF-8 unless ``encoding`` names their encoding. An element that is neither text nor bytes
    raises ``TypeError`` naming its index, before anything is parsed.
    """
    if threads is None:
        threads = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)
    elif isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int or None, not {type(threads).__name__}")
    elif threads < 1:
        raise ValueError(f"threads must be at least 1, got {threads}")
    sources = [_source(index, document, encoding) for index, document in enumerate(documents)]
    return _parse_texts(sources, threads)
