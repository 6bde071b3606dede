"""Markdown that renders back: each doc page (python3-doc, nodejs-doc) and generated page is
rendered with `markdown()`, that is rendered to HTML by markdown-it-py (CommonMark, GitHub
tables and strikethrough), and both trees are read alike: the same words in order, links (URL
and text), headings, numbered list items, table cells and code blocks. The page is read by the
renderer's rules, never per page: what it leaves out (scripts, styles, hidden elements, form
fields, script links), what Markdown cannot nest (blocks inside links, headings and cells flow
as text; inside code all is code), layout tables as their blocks, empty links and items."""

import glob
import re
from pathlib import Path
from urllib.parse import unquote

import pytest

import velkaron
from support import generated_page

markdown_it = pytest.importorskip("markdown_it")
RENDERER = markdown_it.MarkdownIt("commonmark").enable(["table", "strikethrough"])

LEFT_OUT = set("script style template head title base link meta noframes noembed datalist param "
               "source track iframe object embed canvas applet rp noscript input select textarea".split())
# Shown on lines of their own: the words on either side stay apart.
BLOCKS = set("p figure address fieldset details center div section article nav aside header footer "
             "main hgroup figcaption form legend summary caption body html frameset thead tbody tfoot "
             "optgroup option multicol ul ol menu dir li dl dt dd table tr td th blockquote pre "
             "listing plaintext xmp hr br h1 h2 h3 h4 h5 h6".split())
HEADINGS = {f"h{level}": level for level in range(1, 7)}
LISTS, CODE, PREFORMATTED = {"ul", "ol", "menu", "dir"}, {"code", "kbd", "samp", "tt"}, {"pre", "listing", "plaintext", "xmp"}
CELL_BLOCKS = {"table", "blockquote", "hr", "dl", *HEADINGS, *LISTS, *PREFORMATTED}  # make a layout table
HIDING = re.compile(r"(?:^|;)\s*(?:display\s*:\s*none|visibility\s*:\s*hidden)\s*(?:;|!|$)", re.I)
LAST_NUMBER = 999_999_999  # the longest list number Markdown reads
SCRIPT_URL = re.compile(r"[\x00-\x20]*(?:javascript|vbscript):", re.I)


def first_number(attrs):
    start = re.match(r"\s*([+-]?\d+)", attrs.get("start", ""))
    return int(start[1]) if start and 0 <= int(start[1]) <= LAST_NUMBER else 1


def followed(attrs):
    """Whether a link is written as one: it has an href that runs no script."""
    return "href" in attrs and not SCRIPT_URL.match(re.sub("[\t\n\r]", "", attrs["href"]))


def left_out(tag, attrs):
    return tag in LEFT_OUT or "hidden" in attrs or HIDING.search(attrs.get("style", "")) is not None


def preformatted_text(node):
    """The text a code block shows: its text, breaks as new lines."""
    if not node.tag:
        return node.text if node.is_text() else ""
    if node.tag == "br":
        return "\n"
    return "" if left_out(node.tag, node.attrs) else "".join(map(preformatted_text, node.get_children()))


def is_layout(table):
    """Whether a table is written as its blocks: a cell holds a block, or it has no cells."""
    cells, stack = 0, [(child, False) for child in table.get_children()]
    while stack:
        node, in_cell = stack.pop()
        tag = node.tag
        if not tag or left_out(tag, node.attrs):
            continue
        if in_cell and tag in CELL_BLOCKS:
            return True
        cells += tag in ("td", "th")
        stack.extend((child, in_cell or tag in ("td", "th")) for child in node.get_children())
    return cells == 0


class Reading:
    """What a reader finds in a tree, in one walk."""

    def __init__(self, tree):
        self.words, self.links, self.headings, self.items, self.tables, self.code = [], [], [], [], [], []
        self.pending = []  # text since the last word boundary: inline elements do not split words
        self.lists = []  # the next number of each open ordered list, None for the others
        self.walk(tree.root, flat=False, literal=False)
        self.flush()

    def fields(self):
        return {"words": self.words, "links": self.links, "headings": self.headings,
                "items": self.items, "tables": self.tables, "code": self.code}

    def flush(self):
        if self.pending:
            self.words.extend("".join(self.pending).split())
            self.pending.clear()

    def spanning(self, node, flat, literal=False):
        """The words below a node, joined."""
        self.flush()
        start = len(self.words)
        self.children(node, flat, literal)
        self.flush()
        return " ".join(self.words[start:])

    def children(self, node, flat, literal):
        for child in node.get_children():
            self.walk(child, flat, literal)

    def walk(self, node, flat, literal):
        tag = node.tag
        if not tag:
            if node.is_text():
                self.pending.append(node.text)
            return
        attrs = node.attrs
        if left_out(tag, attrs):
            return
        if tag in BLOCKS:
            self.flush()
        if literal or tag in CODE:
            self.children(node, flat, literal=True)
        elif tag in ("img", "image", "area"):
            self.pending.append(attrs.get("alt", ""))
            if tag == "area" and followed(attrs) and attrs.get("alt", "").strip():
                self.links.append((unquote(attrs["href"]), " ".join(attrs["alt"].split())))
        elif tag == "a" and followed(attrs):
            text = self.spanning(node, flat=True)
            if text:
                self.links.append((unquote(attrs["href"]), text))
        elif flat:
            self.children(node, flat, literal)
        elif tag in HEADINGS:
            self.headings.append((HEADINGS[tag], self.spanning(node, flat=True)))
        elif tag in LISTS:
            self.lists.append(first_number(attrs) if tag == "ol" else None)
            self.children(node, flat, literal)
            self.lists.pop()
        elif tag == "li":
            number = self.lists[-1] if self.lists else None
            if number is not None:
                self.lists[-1] = min(number + 1, LAST_NUMBER)
            text = self.spanning(node, flat=False)
            if text:
                self.items.append((number, text))
        elif tag in PREFORMATTED:
            text = preformatted_text(node)
            self.code.append(text.strip("\n"))
            self.pending.append(text)
        elif tag == "table" and not is_layout(node):
            self.tables.append([])
            self.rows(node)
        else:
            self.children(node, flat, literal)
        if tag in BLOCKS:
            self.flush()

    def rows(self, node):
        """A grid's rows of cell texts, without the empty cells that pad them."""
        for child in node.get_children():
            tag = child.tag
            if tag in ("thead", "tbody", "tfoot"):
                self.rows(child)
            elif tag != "tr" or left_out(tag, child.attrs):
                self.walk(child, flat=False, literal=False)
            else:
                row = []
                for cell in child.get_children():
                    if cell.tag in ("td", "th") and not left_out(cell.tag, cell.attrs):
                        row.append(self.spanning(cell, flat=True))
                    else:
                        self.walk(cell, flat=True, literal=False)
                while row and not row[-1]:
                    row.pop()
                self.tables[-1].append(row)


def round_trip_differences(html):
    """The fields that differ between a page and its Markdown rendered back: where each first
    parts, with a little of both sides."""
    tree = velkaron.Tree(html)
    source = Reading(tree).fields()
    back = Reading(velkaron.Tree(RENDERER.render(tree.markdown()))).fields()
    differences = {}
    for field, ours in source.items():
        theirs = back[field]
        if ours != theirs:
            at = next((i for i, pair in enumerate(zip(ours, theirs)) if pair[0] != pair[1]), min(len(ours), len(theirs)))
            differences[field] = (at, *(repr(side[max(0, at - 3):at + 4])[:300] for side in (ours, theirs)))
    return differences


CORPORA = {"python3-doc": "/usr/share/doc/python3-doc/html/**/*.html", "nodejs-doc": "/usr/share/doc/nodejs/**/*.html"}


@pytest.mark.parametrize("corpus", CORPORA)
def test_doc_pages_render_back(corpus):
    pages = sorted(glob.glob(CORPORA[corpus], recursive=True))
    if not pages:
        pytest.skip(f"{corpus} is not installed")
    failing = {page: found for page in pages
               if (found := round_trip_differences(Path(page).read_text("utf-8", errors="replace")))}
    assert failing == {}, f"{len(failing)} of {len(pages)} pages differ"


@pytest.mark.parametrize("seed", range(12))
def test_generated_pages_render_back(seed):
    assert round_trip_differences(generated_page(40_000 + 20_000 * seed, seed)) == {}
