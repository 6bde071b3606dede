"""Pages as bytes: the encoding is picked the way a browser picks it, then the page is parsed.

Order: a byte-order mark (UTF-8, UTF-16LE, UTF-16BE); the caller's ``encoding`` (say from an
HTTP header); the ``<meta>`` found by a prescan of the first 1024 bytes; the caller's
``default``; UTF-8 when the bytes are valid UTF-8, else windows-1252. When the encoding was
only guessed (the last two steps) and the parsed head has a ``<meta>`` naming another, the page
is read and parsed once more in that one, as browsers do. Labels are resolved as browsers
resolve them (``latin1`` and ``ascii`` mean windows-1252, a ``<meta>`` saying UTF-16 means
UTF-8); the caller's may also be Python codec names (``latin-1``, ``euc_jp``, ``mac_roman``).
Bytes that do not decode become U+FFFD, and so does a NUL character, which would
otherwise end the document. UTF-8 bytes reach the parser as they are, with no decoding.
"""

from __future__ import annotations

import codecs
import functools
from typing import NamedTuple

import webencodings  # type: ignore[import-untyped]
from _velkaron import Tree
from _velkaron import _meta_charsets
from _velkaron import _utf8_valid as _is_utf8

__all__ = ["Source", "corrected", "decode", "encoding_name", "parse", "prescan", "read", "sniff",
           "source"]

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


def _declared(labels: list[bytes]) -> webencodings.Encoding | None:
    """The encoding the first ``<meta>`` label that names one gives, read as browsers read it."""
    for label in labels:
        found = _lookup(label)
        if found is None:
            continue
        if found.name in ("utf-16le", "utf-16be"):
            return _UTF8  # bytes that reach a <meta> are not UTF-16
        if found.name == "x-user-defined":
            return webencodings.lookup("windows-1252")
        return found
    return None


def prescan(data: bytes | bytearray) -> webencodings.Encoding | None:
    """The encoding a ``<meta>`` in the first 1024 bytes names, read as browsers read it."""
    return _declared(_meta_charsets(data))


# Python's names for encodings that browsers spell otherwise. Without a byte-order mark,
# utf-8-sig reads as utf-8; with one, the mark decides before any name is read.
_BROWSER_SPELLINGS = {"utf-8-sig": "utf-8", "utf-16-le": "utf-16le", "utf-16-be": "utf-16be"}


def _decodes_any_bytes(codec: codecs.CodecInfo) -> bool:
    # Codecs such as idna or undefined refuse to replace what they cannot decode: they do not
    # read documents.
    try:
        codec.decode(b"\xff", "replace")
    except UnicodeError:
        return False
    return True


@functools.lru_cache(maxsize=256)
def _resolve(label: str) -> str | None:
    """A browser's label resolved as browsers resolve it; else a name Python's codecs know,
    given the browsers' name for the same encoding when they have it."""
    if (found := webencodings.lookup(label)) is not None:
        return str(found.name)
    try:
        codec = codecs.lookup(label)
    except (LookupError, ValueError):
        return None
    if not codec._is_text_encoding or not _decodes_any_bytes(codec):
        return None
    for spelling in (codec.name, codec.name.replace("_", "-"), _BROWSER_SPELLINGS.get(codec.name)):
        if spelling is not None and (found := webencodings.lookup(spelling)) is not None:
            return str(found.name)
    return codec.name


def encoding_name(label: str) -> str:
    """The standard name for an encoding label (``latin1`` and ``latin-1`` give
    ``windows-1252``, ``euc_jp`` gives ``euc-jp``); a Python codec browsers do not have keeps
    Python's name (``mac_roman`` gives ``mac-roman``). Raises LookupError for a name neither
    knows."""
    if not isinstance(label, str):
        raise TypeError(f"an encoding label must be a str, not {type(label).__name__}")
    name = _resolve(label)
    if name is None:
        raise LookupError(f"unknown encoding: {label!r}")
    return name


def _sniff(data: bytes | bytearray, encoding: str | None,
           default: str | None) -> tuple[str, int, bool | None, bool]:
    """Name, byte-order mark length, whether the bytes are valid UTF-8 when that is known, and
    whether the name is only a guess that a later ``<meta>`` may correct."""
    for bom, name in _BOMS:
        if data[:len(bom)] == bom:
            return name, len(bom), None, False
    if encoding is not None:
        return encoding_name(encoding), 0, None, False
    if (found := prescan(data)) is not None:
        return found.name, 0, None, False
    if default is not None:
        return encoding_name(default), 0, None, True
    valid = _is_utf8(data)
    return ("utf-8" if valid else "windows-1252"), 0, valid, True


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
    found = webencodings.lookup(name)
    codec = found.codec_info if found is not None else codecs.lookup(name)
    text: str = codec.decode(data, "replace")[0]
    return text


def _text(data: bytes | bytearray, name: str, bom: int, valid: bool | None) -> str | bytes | bytearray:
    if name == "utf-8" and (valid or (valid is None and _is_utf8(data))):
        # Valid UTF-8 is what the parser reads: no decoding (it drops the byte-order mark).
        return data.replace(b"\x00", "\ufffd".encode()) if b"\x00" in data else data
    text = decode(data[bom:], name)
    return text.replace("\x00", "\ufffd") if "\x00" in text else text


class Source(NamedTuple):
    """What the parser reads for a document, the standard name of its encoding, and the
    document's bytes while that name is a guess (else None)."""
    text: str | bytes | bytearray
    encoding: str
    guessed_from: bytes | bytearray | None


def read(data: str | bytes | bytearray | memoryview, encoding: str | None = None, *,
         default: str | None = None) -> Source:
    """`data` made ready for the parser, its encoding picked as a browser picks it."""
    if isinstance(data, str):
        return Source(data.replace("\x00", "\ufffd") if "\x00" in data else data, "utf-8", None)
    if isinstance(data, memoryview):
        data = data.tobytes()
    if not isinstance(data, (bytes, bytearray)):
        raise TypeError(f"parse() takes str or bytes, not {type(data).__name__}")
    name, bom, valid, guessed = _sniff(data, encoding, default)
    return Source(_text(data, name, bom, valid), name, data if guessed else None)


def source(data: str | bytes | bytearray | memoryview, encoding: str | None = None, *,
           default: str | None = None) -> tuple[str | bytes | bytearray, str]:
    """What the parser reads for `data`, and the standard name of the encoding used."""
    text, name, _ = read(data, encoding, default=default)
    return text, name


def corrected(tree: Tree, read_as: Source) -> Source | None:
    """The document read again in the encoding its parsed head declares, when its encoding
    was a guess and the head names another; browsers change the encoding then. A
    declaration past the first 1024 bytes (after a long comment or script) is found only so."""
    if read_as.guessed_from is None:
        return None
    found = _declared(tree._head_charsets())
    if found is None or found.name == read_as.encoding:
        return None
    return Source(_text(read_as.guessed_from, found.name, 0, None), found.name, None)


def parse(data: str | bytes | bytearray | memoryview, encoding: str | None = None, *,
          default: str | None = None, max_attributes: int | None = 1000,
          max_depth: int | None = 512) -> Tree:
    """Parse a page given as text or as bytes in any encoding; ``Tree.encoding`` tells which
    encoding was used (``"utf-8"`` for text). ``default`` is the encoding assumed when no
    byte-order mark, ``encoding`` or ``<meta>`` names one. ``max_attributes`` and
    ``max_depth`` are the markup limits of ``Tree``."""
    read_as = read(data, encoding, default=default)
    tree = Tree(read_as.text, max_attributes=max_attributes, max_depth=max_depth)
    if (again := corrected(tree, read_as)) is not None:
        read_as, tree = again, Tree(again.text, max_attributes=max_attributes, max_depth=max_depth)
    tree._set_encoding(read_as.encoding)
    return tree
