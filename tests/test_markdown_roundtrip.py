"""Markdown that renders back: every doc page (python3-doc, nodejs-doc) and generated pages are
rendered with `markdown()`, that Markdown is rendered to HTML by markdown-it-py (CommonMark
with GitHub tables and strikethrough), and both trees are read the same way. They must hold the
same words in the same order, the same links (URL and text), headings, list items, table
cells and code blocks.

The source is read with the renderer's rules, never per page: what it leaves out (scripts,
styles, hidden elements, form fields, the insides of `select` and `textarea`), what Markdown
cannot nest (blocks inside links, headings and table cells flow as text; inside code all markup
is literal), layout tables (cells holding blocks) read as their blocks, and empty links and
list items, which show nothing. Whitespace is collapsed on both sides."""

import glob
import importlib.util
import re
from pathlib import Path
from urllib.parse import unquote

import pytest

import velkaron

markdown_it = pytest.importorskip("markdown_it")

RENDERER = markdown_it.MarkdownIt("commonmark").enable(["table", "strikethrough"])

LEFT_OUT = {"script", "style", "template", "head", "title", "base", "link", "meta", "noframes",
            "noembed", "datalist", "param", "source", "track", "iframe", "object", "embed",
            "canvas", "applet", "rp", "noscript", "input", "select", "textarea"}
# Elements a browser shows on lines of their own: words on either side of them stay apart.
BLOCKS = {"p", "figure", "address", "fieldset", "details", "center", "div", "section", "article",
          "nav", "aside", "header", "footer", "main", "hgroup", "figcaption", "form", "legend",
          "summary", "caption", "body", "html", "frameset", "thead", "tbody", "tfoot", "optgroup",
          "option", "multicol", "ul", "ol", "menu", "dir", "li", "dl", "dt", "dd", "table", "tr",
          "td", "th", "blockquote", "pre", "listing", "plaintext", "xmp", "hr", "br",
          "h1", "h2", "h3", "h4", "h5", "h6"}
HEADINGS = {f"h{level}": level for level in range(1, 7)}
LISTS = {"ul", "ol", "menu", "dir"}
PREFORMATTED = {"pre", "listing", "plaintext", "xmp"}
CODE = {"code", "kbd", "samp", "tt"}
# What a table cell may not hold for the table to be a grid.
CELL_BLOCKS = {"table", "blockquote", "hr", "dl", *HEADINGS, *LISTS, *PREFORMATTED}
HIDING = re.compile(r"(?:^|;)\s*(?:display\s*:\s*none|visibility\s*:\s*hidden)\s*(?:;|!|$)", re.I)


LAST_NUMBER = 999_999_999  # the longest list number Markdown reads


def first_number(ordered_list):
    """An ordered list's `start`, as the renderer reads it: other values count from 1."""
    start = re.match(r"\s*([+-]?\d+)", ordered_list.attrs.get("start", ""))
    return int(start[1]) if start and 0 <= int(start[1]) <= LAST_NUMBER else 1


def left_out(node):
    attrs = node.attrs
    return (node.tag in LEFT_OUT or "hidden" in attrs
            or ("style" in attrs and HIDING.search(attrs["style"]) is not None))


def collapsed(words):
    return " ".join(words)


def is_layout(table):
    """Whether a table is written as its blocks: a cell holds a block, or it has no cells."""
    cells, stack = 0, [(child, False) for child in table.get_children()]
    while stack:
        node, in_cell = stack.pop()
        if not node.is_element() or left_out(node):
            continue
        if in_cell and node.tag in CELL_BLOCKS:
            return True
        if node.tag in ("td", "th"):
            cells += 1
            in_cell = True
        stack.extend((child, in_cell) for child in node.get_children())
    return cells == 0


class Reading:
    """What a reader finds in a tree, in one walk."""

    def __init__(self, tree):
        self.words, self.links, self.headings, self.items, self.tables, self.code = [], [], [], [], [], []
        self.pending = []  # text since the last word boundary: inline elements do not split words
        self.lists = []  # the next number of each open ordered list, None for the others
        self.walk(tree.root, flat=False, literal=False)
        self.flush()

    def text(self, text):
        self.pending.append(text)

    def flush(self):
        if self.pending:
            self.words.extend("".join(self.pending).split())
            self.pending.clear()

    def spanning(self, node, collect, **context):
        self.flush()
        start = len(self.words)
        self.children(node, **context)
        self.flush()
        collect(self.words[start:])

    def children(self, node, **context):
        for child in node.get_children():
            self.walk(child, **context)

    def walk(self, node, flat, literal):
        if node.is_element() and node.tag in BLOCKS:
            self.flush()
            self.read(node, flat, literal)
            self.flush()
        else:
            self.read(node, flat, literal)

    def read(self, node, flat, literal):
        if node.is_text():
            self.text(node.text)
            return
        if not node.is_element() or left_out(node):
            return
        tag = node.tag
        if literal:
            self.children(node, flat=flat, literal=True)
        elif tag in ("img", "image", "area"):
            self.text(node.attrs.get("alt", ""))
            if tag == "area" and "href" in node.attrs and node.attrs.get("alt", "").strip():
                self.links.append((unquote(node.attrs["href"]), collapsed(node.attrs["alt"].split())))
        elif tag == "a" and "href" in node.attrs:
            href = unquote(node.attrs["href"])
            self.spanning(node, lambda words: words and self.links.append((href, collapsed(words))),
                          flat=True, literal=False)
        elif tag in CODE:
            self.children(node, flat=flat, literal=True)
        elif flat:
            self.children(node, flat=True, literal=False)
        elif tag in HEADINGS:
            self.spanning(node, lambda words: self.headings.append((HEADINGS[tag], collapsed(words))),
                          flat=True, literal=False)
        elif tag in LISTS:
            self.lists.append(first_number(node) if tag == "ol" else None)
            self.children(node, flat=False, literal=False)
            self.lists.pop()
        elif tag == "li":
            number = self.lists[-1] if self.lists else None
            if number is not None:
                self.lists[-1] = min(number + 1, LAST_NUMBER)
            self.spanning(node, lambda words: words and self.items.append((number, collapsed(words))),
                          flat=False, literal=False)
        elif tag in PREFORMATTED:
            self.code.append(node.text.strip("\n"))
            self.text(node.text)
        elif tag == "table" and not is_layout(node):
            self.tables.append([])
            self.table_rows(node)
        else:
            self.children(node, flat=False, literal=False)

    def table_rows(self, table):
        """Rows of a grid: cells flow as text; trailing empty cells are the grid's padding."""
        stack = [table]
        while stack:
            node = stack.pop()
            if node.is_text():
                self.text(node.text)
            elif node.is_element() and not left_out(node):
                if node.tag == "tr":
                    row = []
                    for cell in node.get_children():
                        if cell.is_element() and cell.tag in ("td", "th") and not left_out(cell):
                            self.spanning(cell, lambda words: row.append(collapsed(words)),
                                          flat=True, literal=False)
                        else:
                            self.walk(cell, flat=True, literal=False)
                    while row and not row[-1]:
                        row.pop()
                    self.tables[-1].append(row)
                    self.flush()
                else:
                    stack.extend(reversed(node.get_children()))

    def fields(self):
        return {"words": self.words, "links": self.links, "headings": self.headings,
                "items": self.items, "tables": self.tables, "code": self.code}


def first_difference(ours, theirs):
    """Where two readings part, with a little of each around it."""
    index = next((i for i, (a, b) in enumerate(zip(ours, theirs)) if a != b), min(len(ours), len(theirs)))
    return index, *(repr(side[max(0, index - 3):index + 4])[:300] for side in (ours, theirs))


def round_trip_differences(html):
    """The fields that differ between a page and its Markdown rendered back, with the first
    difference of each."""
    tree = velkaron.Tree(html)
    source = Reading(tree).fields()
    back = Reading(velkaron.Tree(RENDERER.render(tree.markdown()))).fields()
    return {field: first_difference(source[field], back[field])
            for field in source if source[field] != back[field]}


def generator():
    spec = importlib.util.spec_from_file_location("generate", Path(__file__).parent.parent / "bench" / "generate.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


CORPORA = {
    "python3-doc": "/usr/share/doc/python3-doc/html/**/*.html",
    "nodejs-doc": "/usr/share/doc/nodejs/**/*.html",
}


@pytest.mark.parametrize("corpus", CORPORA)
def test_doc_pages_render_back(corpus):
    pages = sorted(glob.glob(CORPORA[corpus], recursive=True))
    if not pages:
        pytest.skip(f"{corpus} is not installed")
    failing = {}
    for page in pages:
        differences = round_trip_differences(Path(page).read_text("utf-8", errors="replace"))
        if differences:
            failing[page] = differences
    assert failing == {}, f"{len(failing)} of {len(pages)} pages differ"


@pytest.mark.parametrize("seed", range(12))
def test_generated_pages_render_back(seed):
    html = generator().generate_page(40_000 + 20_000 * seed, seed)
    assert round_trip_differences(html) == {}
