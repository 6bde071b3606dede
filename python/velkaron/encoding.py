"""Pages as bytes: the encoding is picked the way a browser picks it, then the page is parsed.

Order: a byte-order mark (UTF-8, UTF-16LE, UTF-16BE); the caller's ``encoding`` (say from an
HTTP header); the ``<meta>`` found by a prescan of the first 1024 bytes; the caller's
``default``; UTF-8 when the bytes are valid UTF-8, else windows-1252. Labels are resolved as
browsers resolve them (``latin1`` and ``ascii`` mean windows-1252, a ``<meta>`` saying UTF-16
means UTF-8). Bytes that do not decode become U+FFFD, and so does a NUL character, which would
otherwise end the document. UTF-8 bytes reach the parser as they are, with no decoding.
"""

from __future__ import annotations

import codecs

import webencodings  # type: ignore[import-untyped]
from _velkaron import Tree
from _velkaron import _meta_charsets
from _velkaron import _utf8_valid as _is_utf8

__all__ = ["decode", "encoding_name", "parse", "prescan", "sniff", "source"]

_BOMS = ((codecs.BOM_UTF8, "utf-8"), (codecs.BOM_UTF16_LE, "utf-16le"),
         (codecs.BOM_UTF16_BE, "utf-16be"))
_UTF8 = webencodings.lookup("utf-8")


def _c1_as_itself(error: UnicodeError) -> tuple[str | bytes, int]:
    # The five bytes Python's cp1252 leaves undefined stand for the C1 controls of that value.
    assert isinstance(error, UnicodeDecodeError)
    return chr(error.object[error.start]), error.start + 1


codecs.register_error("velkaron-windows-1252", _c1_as_itself)


def _lookup(label: str | bytes) -> webencodings.Encoding | None:
    if isinstance(label, bytes):
        label = label.decode("latin-1")
    return webencodings.lookup(label)


def prescan(data: bytes | bytearray) -> webencodings.Encoding | None:
    """The encoding a ``<meta>`` in the first 1024 bytes names, read as browsers read it."""
    for label in _meta_charsets(data):
        found = _lookup(label)
        if found is None:
            continue
        if found.name in ("utf-16le", "utf-16be"):
            return _UTF8  # bytes that reach a prescan are not UTF-16
        if found.name == "x-user-defined":
            return webencodings.lookup("windows-1252")
        return found
    return None


def encoding_name(label: str) -> str:
    """The standard name for an encoding label (``latin1`` gives ``windows-1252``); raises
    LookupError for a label no browser knows."""
    if not isinstance(label, str):
        raise TypeError(f"an encoding label must be a str, not {type(label).__name__}")
    found = _lookup(label)
    if found is None:
        raise LookupError(f"unknown encoding: {label!r}")
    name: str = found.name
    return name


def _sniff(data: bytes | bytearray, encoding: str | None,
           default: str | None) -> tuple[str, int, bool | None]:
    """Name, byte-order mark length, and whether the bytes are valid UTF-8 when that is known."""
    for bom, name in _BOMS:
        if data[:len(bom)] == bom:
            return name, len(bom), None
    if encoding is not None:
        return encoding_name(encoding), 0, None
    if (found := prescan(data)) is not None:
        return found.name, 0, None
    if default is not None:
        return encoding_name(default), 0, None
    valid = _is_utf8(data)
    return ("utf-8" if valid else "windows-1252"), 0, valid


def sniff(data: bytes | bytearray, encoding: str | None = None,
          default: str | None = None) -> tuple[str, int]:
    """The standard name of the encoding of `data` and the length of its byte-order mark."""
    return _sniff(data, encoding, default)[:2]


def decode(data: bytes | bytearray, name: str) -> str:
    """`data` (byte-order mark removed) decoded from the encoding `name` gives, with U+FFFD
    for bytes that do not decode."""
    if name == "replacement":
        return "\ufffd" if data else ""
    if name == "windows-1252":
        return data.decode("cp1252", "velkaron-windows-1252")
    text: str = webencodings.lookup(name).codec_info.decode(data, "replace")[0]
    return text


def source(data: str | bytes | bytearray | memoryview, encoding: str | None = None, *,
           default: str | None = None) -> tuple[str | bytes | bytearray, str]:
    """What the parser reads for `data`, and the standard name of the encoding used."""
    if isinstance(data, str):
        return (data.replace("\x00", "\ufffd") if "\x00" in data else data), "utf-8"
    if isinstance(data, memoryview):
        data = data.tobytes()
    if not isinstance(data, (bytes, bytearray)):
        raise TypeError(f"parse() takes str or bytes, not {type(data).__name__}")
    name, bom, valid = _sniff(data, encoding, default)
    text: str | bytes | bytearray
    if name == "utf-8" and (valid or (valid is None and _is_utf8(data))):
        # Valid UTF-8 is what the parser reads: no decoding (it drops the byte-order mark).
        text = data.replace(b"\x00", "\ufffd".encode()) if b"\x00" in data else data
    else:
        text = decode(data[bom:], name)
        if "\x00" in text:
            text = text.replace("\x00", "\ufffd")
    return text, name


def parse(data: str | bytes | bytearray | memoryview, encoding: str | None = None, *,
          default: str | None = None, max_attributes: int | None = 1000,
          max_depth: int | None = 512) -> Tree:
    """Parse a page given as text or as bytes in any encoding; ``Tree.encoding`` tells which
    encoding was used (``"utf-8"`` for text). ``default`` is the encoding assumed when no
    byte-order mark, ``encoding`` or ``<meta>`` names one. ``max_attributes`` and
    ``max_depth`` are the markup limits of ``Tree``."""
    text, name = source(data, encoding, default=default)
    tree = Tree(text, max_attributes=max_attributes, max_depth=max_depth)
    tree._set_encoding(name)
    return tree
