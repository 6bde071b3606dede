"""Velkaron: High-performance HTML parsing library"""

# Type information for the compiled module ``_velkaron``. It is installed as the stub package
# ``_velkaron-stubs``: type checkers take stubs for an installed top-level extension module from
# such a package, and not from a ``_velkaron.pyi`` lying beside the module.

from collections.abc import Mapping, Sequence
from typing import SupportsIndex, final

class SelectorError(ValueError):
    """A CSS selector that does not parse; the message names the position and what was
    expected there."""

class Tree:
    """A parsed HTML document."""

    def __init__(
        self,
        html: str | bytes | bytearray,
        /,
        *,
        max_attributes: SupportsIndex | None = 1000,
        max_depth: SupportsIndex | None = 512,
    ) -> None:
        """Parse ``html``; parsing stops at the first NUL character."""
        # Attributes past max_attributes on one start tag are dropped, as repeated names are;
        # start tags nested deeper than max_depth are dropped with their end tags, and their
        # content joins the deepest element kept. None lifts a limit.
        # Bytes are taken as UTF-8 less a leading byte-order mark; a str holding a lone
        # surrogate raises UnicodeEncodeError. velkaron.parse picks the encoding of bytes.
    @property
    def root(self) -> Node:
        """The root element of the document"""
    @property
    def html(self) -> str:
        """The whole document as HTML, doctype included"""
    @property
    def encoding(self) -> str:
        """The standard name of the encoding the document was decoded from"""
    def _set_encoding(self, name: str, /) -> None: ...  # for velkaron.parse
    def _head_charsets(self, /) -> list[bytes]: ...  # for velkaron.parse
    def get_root(self) -> Node:
        """Get the root node of the parsed HTML tree"""
        # Typed without None: the parser gives every input, even "", an html root element.
    def create_element(self, tag_name: str, attributes: Mapping[str, str] = ...) -> None:
        """Create a new element with the given tag name and attributes"""
        # Documents are read-only: no element is created and the result is always None.
    def find_by_attribute(self, attr_name: str, value: str) -> list[Node]:
        """Find elements by attribute name and value using advanced indexing"""
    def find_by_text_content(self, text: str) -> list[Node]:
        """Find elements by their immediate text content using advanced indexing"""
    def get_nth_element(self, index: SupportsIndex) -> Node | None:
        """Get the nth element from the indexed elements list"""
    def get_index_build_time(self) -> float:
        """Get time taken to build indexes (in seconds)"""
    def get_indexed_element_count(self) -> int:
        """Get number of indexed elements"""
    def links(self, base_url: str | None = None) -> list[str]:
        """The href of every a and area element, in document order, made absolute against the document's first <base href> and `base_url`; values that cannot be resolved (no base, javascript: and mailto: links, unparsable ones) come back as written"""
        # Hosts that need Unicode mapping (non-ASCII, or labels written xn--) are not mapped:
        # links to them come back as written too.
    def select(self, css: str) -> list[Node]:
        """All elements matching a CSS selector, in document order"""
    def select_one(self, css: str) -> Node | None:
        """The first element matching a CSS selector, or None"""
    def main_content(self) -> Node | None:
        """The element holding the page's main content, or None when it has none"""
        # None for an empty page or one of links only (navigation, link lists).
    def _main_content_boilerplate(self) -> list[Node]: ...  # blocks inside main_content() to leave out
    def plain_text(self, *, list_bullets: bool = True, alt_text: bool = True, links: bool = False,
                   form_fields: bool = False, noscript: bool = False,
                   base_url: str | None = None, main_content: bool = False) -> str:
        """The text a reader sees: blocks on their own lines, whitespace collapsed, hidden elements left out"""
    def markdown(self, *, list_bullets: bool = True, alt_text: bool = True, links: bool = False,
                 form_fields: bool = False, noscript: bool = False,
                 base_url: str | None = None, main_content: bool = False) -> str:
        """The content as CommonMark with GitHub tables"""

@final
class Node:
    """One node of a parsed document; obtained from a Tree, never constructed directly."""

    # Python-style access: real names, attributes by key, HTML out.
    @property
    def tag(self) -> str:
        """The element's real name; empty for other kinds of node"""
    @property
    def attrs(self) -> dict[str, str]:
        """The attributes as a dict in source order; valueless ones map to ''"""
    @property
    def text(self) -> str:
        """All text content within this node"""
    @property
    def parent(self) -> Node | None:
        """The parent node, or None"""
    @property
    def html(self) -> str:
        """The node as HTML"""
    @property
    def inner_html(self) -> str:
        """The node's contents as HTML"""
    def get(self, name: str, default: str | None = ...) -> str | None:
        """An attribute's value, or default when it is absent"""
    def __getitem__(self, name: str, /) -> str:
        """An attribute's value; KeyError when absent"""
    def __eq__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

    # Names, attributes, text.
    def get_name(self) -> str:
        """Get the tag name of this node"""
    def get_attributes(self) -> dict[str, str]:
        """Get all attributes as a dictionary"""
    def get_attribute(self, name: str, /) -> str:
        """Get a specific attribute value"""
    def get_text(self) -> str:
        """Get all text content within this node"""
    def plain_text(self, *, list_bullets: bool = True, alt_text: bool = True, links: bool = False,
                   form_fields: bool = False, noscript: bool = False,
                   base_url: str | None = None) -> str:
        """The text a reader sees: blocks on their own lines, whitespace collapsed, hidden elements left out"""
    def markdown(self, *, list_bullets: bool = True, alt_text: bool = True, links: bool = False,
                 form_fields: bool = False, noscript: bool = False,
                 base_url: str | None = None) -> str:
        """The content as CommonMark with GitHub tables"""
    def get_text_with_separator(self, separator: str) -> str:
        """Get all text content joined with a separator"""
    def get_text_stripped(self) -> str:
        """Get all text content with leading and trailing whitespace trimmed"""
    def get_text_with_separator_stripped(self, separator: str) -> str:
        """Get all text content with a separator and trimmed whitespace"""
    def get_strings(self) -> list[str]:
        """Get all descendant string nodes as Python strings"""
    def get_stripped_strings(self) -> list[str]:
        """Get all descendant string nodes with whitespace trimmed"""
    def get_direct_text(self) -> str:
        """Get only direct text children of this node"""

    # Kind and navigation.
    def is_element(self) -> bool:
        """Check if this node is an element"""
    def is_text(self) -> bool:
        """Check if this node is a text node"""
    def is_document(self) -> bool:
        """Check if this node is the document root"""
    def get_parent(self) -> Node | None:
        """Get the parent node"""
    def get_children(self) -> list[Node]:
        """Get all child nodes"""
    def get_next_sibling(self) -> Node | None:
        """Get the next sibling node"""
    def get_previous_sibling(self) -> Node | None:
        """Get the previous sibling node"""
    def get_next_element(self) -> Node | None:
        """Get the next element sibling"""
    def get_previous_element(self) -> Node | None:
        """Get the previous element sibling"""
    def get_descendants(self) -> list[Node]:
        """Get all descendant nodes"""
    def get_all_descendants_with_text(self) -> list[Node]:
        """Get all descendant nodes including text nodes"""
    def get_all_parents(self) -> list[Node]:
        """Get all parent element nodes up to the document root"""
    def get_all_next_siblings_including_text(self) -> list[Node]:
        """Get all following siblings, including text nodes"""
    def get_all_previous_siblings_including_text(self) -> list[Node]:
        """Get all previous siblings, including text nodes"""

    # Search.
    def find_all(self, tag_name: str = ..., attrs: Mapping[str, str] = ...) -> list[Node]:
        """Find all matching nodes"""
    def find(self, tag_name: str = ..., attrs: Mapping[str, str] = ...) -> Node | None:
        """Find the first matching node"""
    def find_descendants_by_tag(self, tag_name: str) -> list[Node]:
        """Find descendant elements by tag name without including the current node"""
    def find_all_bulk(self, tag_name: str = ..., attrs: Mapping[str, str] = ...) -> list[Node]:
        """Find all matching nodes using bulk operations (eliminates Python/C++ boundary overhead)"""
    def find_bulk(self, tag_name: str = ..., attrs: Mapping[str, str] = ...) -> Node | None:
        """Find the first matching node using bulk operations (eliminates Python/C++ boundary overhead)"""

    # Edit-named methods: documents are read-only, so these change nothing.
    def decompose(self) -> None:
        """Remove and destroy this node"""
    def extract(self) -> Node | None:
        """Remove and return this node"""
    def clear(self) -> None:
        """Remove all children from this node"""
    def replace_with(self, node: Node | None, /) -> None:
        """Replace this node with another node"""
    def append(self, node: Node | None, /) -> None:
        """Append a child node"""
    def insert(self, position: SupportsIndex, node: Node | None, /) -> None:
        """Insert a child node at a specific position"""
    def wrap(self, wrapper: Node | None, /) -> Node | None:
        """Wrap this node with another element"""
    def unwrap(self) -> Node | None:
        """Remove the wrapper while keeping content"""
    def has_attribute(self, name: str, /) -> bool:
        """Check if node has the specified attribute"""
    def set_attribute(self, name: str, value: str, /) -> None:
        """Set an attribute value"""
    def remove_attribute(self, name: str, /) -> None:
        """Remove an attribute"""

    def get_gumbo_node(self) -> int:
        """Get the raw Gumbo node pointer as an integer identity token"""

    # Other search strategies: same arguments as find_all / find.
    def find_all_parallel(
        self, tag_name: str = ..., attrs: Mapping[str, str] = ..., enable_parallel: bool = ...
    ) -> list[Node]:
        """Find all matching nodes using parallel processing"""
    def find_parallel(
        self, tag_name: str = ..., attrs: Mapping[str, str] = ..., enable_parallel: bool = ...
    ) -> Node | None:
        """Find the first matching node using parallel processing"""
    def find_all_parallel_optimized(
        self, tag_name: str = ..., attrs: Mapping[str, str] = ..., enable_parallel: bool = ...
    ) -> list[Node]:
        """Find all matching nodes using optimized parallel processing"""
    def find_parallel_optimized(
        self, tag_name: str = ..., attrs: Mapping[str, str] = ..., enable_parallel: bool = ...
    ) -> Node | None:
        """Find the first matching node using optimized parallel processing"""
    def find_all_ultra_fast(self, tag_name: str = ..., attrs: Mapping[str, str] = ...) -> list[Node]:
        """Find all matching nodes using ultra-fast SIMD-optimized processing"""
    def find_ultra_fast(self, tag_name: str = ..., attrs: Mapping[str, str] = ...) -> Node | None:
        """Find the first matching node using ultra-fast SIMD-optimized processing"""

    # Whole-document queries: they answer on the root node (Tree.get_root()) only, and give
    # [] or 0 on any other node.
    def get_all_text_by_tag(self, tag_name: str) -> list[str]:
        """Get all text content for elements with specified tag (zero-context)"""
    def get_all_text_by_class(self, class_name: str) -> list[str]:
        """Get all text content for elements with specified class (zero-context)"""
    def get_all_hrefs(self) -> list[str]:
        """Get all href attributes from anchor tags (zero-context)"""
    def get_all_src_attributes(self) -> list[str]:
        """Get all src attributes from img tags (zero-context)"""
    def count_elements_by_tag(self, tag_name: str) -> int:
        """Count elements with specified tag (zero-context)"""
    def count_elements_by_class(self, class_name: str) -> int:
        """Count elements with specified class (zero-context)"""

    # CSS selectors; a bad selector raises SelectorError.
    def select(self, css: str) -> list[Node]:
        """Descendants matching a CSS selector, in document order"""
    def select_one(self, css: str) -> Node | None:
        """The first descendant matching a CSS selector, or None"""
    def matches(self, css: str) -> bool:
        """Whether this element matches a CSS selector"""
    def closest(self, css: str) -> Node | None:
        """This element or its nearest ancestor matching a CSS selector, or None"""
    def test_method(self) -> str:
        """Test method to verify compilation"""

def parse_many(
    texts: Sequence[str | bytes | bytearray],
    threads: int = 0,
    *,
    max_attributes: SupportsIndex | None = 1000,
    max_depth: SupportsIndex | None = 512,
) -> list[Tree]:
    """Parse every text into a Tree on up to `threads` native threads (0: one per core)"""
def _utf8_valid(data: bytes | bytearray, /) -> bool: ...  # for velkaron.parse
def _meta_charsets(data: bytes | bytearray, /) -> list[bytes]: ...
