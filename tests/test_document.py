"""Tree: parsing from str/bytes, input rejection, the document shape, create_element, the
index figures, and documents nested far deeper than any native call stack could recurse."""

import json
import os
import subprocess
import sys
import threading

import pytest

import velkaron
from search_helpers import describe


def dump(tree):
    """Every node of the document with its attributes, in document order."""
    document = tree.get_root().get_parent()
    return [(describe(node), node.get_attributes()) for node in document.get_descendants()]


# --- Input forms ------------------------------------------------------------------------------

MIXED = "<p class='x' title='żółw'>żółw <b>é</b></p><!--note--><ul><li>1</li></ul>猫"


@pytest.mark.parametrize(
    "convert",
    [lambda s: s.encode("utf-8"), lambda s: bytearray(s.encode("utf-8"))],
    ids=["bytes", "bytearray"],
)
def test_bytes_and_bytearray_parse_like_the_same_str(convert):
    expected = velkaron.Tree(MIXED)
    tree = velkaron.Tree(convert(MIXED))
    assert dump(tree) == dump(expected)
    assert tree.get_root().get_text() == "żółw é1猫"


@pytest.mark.parametrize("convert", [str, lambda s: s.encode()], ids=["str", "bytes"])
@pytest.mark.parametrize(
    "html, texts, elements",
    [
        ("<p>a</p>\0<p>b</p>", ["a"], ["html", "head", "body", "p"]),
        ("<p>ab\0cd</p>", ["ab"], ["html", "head", "body", "p"]),
        ("\0<p>a</p>", [], ["html", "head", "body"]),
        # The text ends inside a start tag, which the parser then drops.
        ("<b>x</b><p title='a\0b'>y</p>", ["x"], ["html", "head", "body", "b"]),
    ],
    ids=["between-elements", "inside-text", "leading", "inside-attribute"],
)
def test_document_ends_at_the_first_nul(convert, html, texts, elements):
    tree = velkaron.Tree(convert(html))
    document = tree.get_root().get_parent()
    assert document.get_strings() == texts
    assert [n.get_name() for n in document.get_descendants() if n.is_element()] == elements
    assert tree.get_indexed_element_count() == len(elements)


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((None,), {}),
        ((1,), {}),
        ((1.5,), {}),
        ((["<p>"],), {}),
        (({"<p>": "x"},), {}),
        ((object(),), {}),
        ((), {}),
        (("<p>", "<b>"), {}),
        ((), {"html": "<p>"}),
    ],
    ids=["None", "int", "float", "list", "dict", "object", "no-argument", "two-arguments",
         "keyword"],
)
def test_constructor_rejects_anything_but_one_positional_string(args, kwargs):
    with pytest.raises(TypeError):
        velkaron.Tree(*args, **kwargs)


def test_invalid_utf8_bytes_become_replacement_characters():
    tree = velkaron.Tree(b"<p title='\xc3('>\xff\xc0x</p>")
    p = tree.get_root().get_children()[1].get_children()[0]
    assert p.get_text() == "\ufffd\ufffdx"
    assert p.get_attributes() == {"title": "\ufffd("}


# --- Document shape ---------------------------------------------------------------------------

@pytest.mark.parametrize(
    "html", ["", "   \n\t", "<!DOCTYPE html>"], ids=["empty", "blank", "doctype"]
)
def test_an_empty_document_still_has_html_head_and_body(parse, html):
    tree, root = parse(html)
    assert root.get_name() == "html"
    assert [child.get_name() for child in root.get_children()] == ["head", "body"]
    assert tree.get_indexed_element_count() == 3
    assert root.get_text() == ""


def test_get_root_returns_the_same_object_every_time(parse):
    tree, root = parse("<p>x</p>")
    assert tree.get_root() is root
    assert tree.get_root() is tree.get_root()


def test_root_hangs_below_the_document_node(parse):
    tree, root = parse("<!--before--><p>x</p><!--after-->")
    document = root.get_parent()
    assert document.is_document()
    assert not document.is_element() and not document.is_text()
    assert document.get_name() == ""
    assert document.get_parent() is None
    assert root in document.get_children()
    assert root.get_parent() is document


def test_root_is_the_html_element_even_without_html_markup(parse):
    _, root = parse("<title>t</title><p>x</p>")
    assert root.is_element() and not root.is_document()
    assert [child.get_name() for child in root.get_children()] == ["head", "body"]
    assert root.get_text() == "tx"


@pytest.mark.parametrize(
    "args, kwargs",
    [
        (("div",), {}),
        (("div", {"id": "new", "class": "c"}), {}),
        ((), {"tag_name": "p", "attributes": {"a": "b"}}),
        (("",), {}),
    ],
    ids=["tag", "tag-and-attributes", "keywords", "empty-tag"],
)
def test_create_element_returns_none_and_changes_nothing(parse, args, kwargs):
    tree, root = parse("<div id='a'><p>x</p></div>")
    before = (dump(tree), tree.get_indexed_element_count())
    assert tree.create_element(*args, **kwargs) is None
    assert (dump(tree), tree.get_indexed_element_count()) == before
    assert tree.get_root() is root


@pytest.mark.parametrize(
    "args",
    [(None,), (1,), ("div", {"a": 1}), ("div", ["a"])],
    ids=["None-tag", "int-tag", "non-string-value", "list-attributes"],
)
def test_create_element_rejects_wrong_argument_types(parse, args):
    tree, _ = parse("")
    with pytest.raises(TypeError):
        tree.create_element(*args)


@pytest.mark.parametrize("html", ["", "<p>x</p>" * 500])
def test_index_build_time_is_a_non_negative_float(parse, html):
    tree, _ = parse(html)
    seconds = tree.get_index_build_time()
    assert type(seconds) is float
    assert 0.0 <= seconds < 60.0


def test_indexed_element_count_counts_every_element(parse):
    tree, _ = parse("<ul><li>1</li><li>2</li></ul><p>x</p><template><b>t</b></template>")
    # html, head, body, ul, li, li, p: the template is no element and its content is not entered.
    assert tree.get_indexed_element_count() == 7


# --- Deep documents ---------------------------------------------------------------------------

# The parser's own time grows with the square of the nesting depth (about 1 s at this depth);
# the depth is still far beyond what a recursive walk could survive on the small stack below.
DEPTH = 20_000
SMALL_STACK = 256 * 1024


def on_small_stack(function):
    """Run `function` on a thread with a small native stack, so that a native walk which
    recursed once per level would crash instead of passing by luck on the main thread's 8 MiB."""
    outcome = {}

    def run():
        try:
            outcome["value"] = function()
        except BaseException as error:  # re-raised on the calling thread
            outcome["error"] = error

    previous = threading.stack_size(SMALL_STACK)
    try:
        worker = threading.Thread(target=run)
        worker.start()
    finally:
        threading.stack_size(previous)
    worker.join()
    if "error" in outcome:
        raise outcome["error"]
    return outcome["value"]


@pytest.fixture(scope="module")
def deep():
    tree = velkaron.Tree("<div>" * DEPTH + "x" + "</div>" * DEPTH + "<p>y</p>")
    root = tree.get_root()
    body = root.get_children()[1]
    outer = body.get_children()[0]
    return tree, root, body, outer


DEEP_COUNTS = [
    # head, body, every div, the text x, p and its text y
    ("descendants", lambda root, body, outer: len(root.get_descendants()), DEPTH + 5),
    ("descendants-with-text", lambda root, body, outer: len(root.get_all_descendants_with_text()),
     DEPTH + 5),
    ("text", lambda root, body, outer: root.get_text(), "xy"),
    ("text-with-separator", lambda root, body, outer: outer.get_text_with_separator("|"), "x"),
    ("strings", lambda root, body, outer: root.get_strings(), ["x", "y"]),
    ("stripped-strings", lambda root, body, outer: body.get_stripped_strings(), ["x", "y"]),
    ("find_all-root", lambda root, body, outer: len(root.find_all("div")), DEPTH),
    ("find_all-body", lambda root, body, outer: len(body.find_all("div")), DEPTH),
    ("find-body", lambda root, body, outer: body.find("p").get_text(), "y"),
    ("find_all_ultra_fast", lambda root, body, outer: len(root.find_all_ultra_fast("div")), DEPTH),
    ("find_all_ultra_fast-body", lambda root, body, outer: len(body.find_all_ultra_fast("div")),
     DEPTH),
    ("find_descendants_by_tag", lambda root, body, outer: len(outer.find_descendants_by_tag("div")),
     DEPTH - 1),
    ("find_all_parallel", lambda root, body, outer: len(body.find_all_parallel("div")), DEPTH),
    ("find_all_parallel-root", lambda root, body, outer: len(root.find_all_parallel("div")), DEPTH),
]


@pytest.mark.parametrize(
    "query, expected", [(q, e) for _, q, e in DEEP_COUNTS], ids=[n for n, _, _ in DEEP_COUNTS]
)
def test_deep_nesting_walks_without_native_recursion(deep, query, expected):
    _, root, body, outer = deep
    assert on_small_stack(lambda: query(root, body, outer)) == expected


def test_deep_nesting_ancestors_and_neighbours(deep):
    _, root, body, outer = deep

    def innermost_relations():
        innermost_text = root.get_descendants()[-3]  # ..., text x, p, text y
        parents = innermost_text.get_all_parents()
        p = body.get_children()[1]
        return (
            innermost_text.get_text(),
            len(parents),
            [n.get_name() for n in parents[-3:]],
            innermost_text.get_next_element() is p,
            p.get_previous_element() is parents[0],
            parents[0].get_parent().get_parent().get_name(),
        )

    assert on_small_stack(innermost_relations) == (
        "x", DEPTH + 2, ["div", "body", "html"], True, True, "div"
    )


UNCLOSED_PROBE = r"""
import json, resource, sys
import velkaron

def peak_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])

# A runaway parser fails fast against this ceiling instead of exhausting the machine.
limit = 3 << 30
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
depth = int(sys.argv[1])
html = "<div>" * depth
before = peak_kib()
tree = velkaron.Tree(html)
root = tree.get_root()
print(json.dumps({
    "growth_kib": peak_kib() - before,
    "count": tree.get_indexed_element_count(),
    "found": len(root.find_all("div")),
}))
"""


@pytest.mark.parametrize(
    "depth",
    [
        25_000,
        pytest.param(
            100_000,
            marks=pytest.mark.skipif(
                not os.environ.get("VELKARON_SLOW_TESTS"),
                reason="about 30 s of parser time; set VELKARON_SLOW_TESTS=1",
            ),
        ),
    ],
)
@pytest.mark.skipif(
    bool(os.environ.get("VELKARON_SANITIZED")),
    reason="the address-space cap leaves no room for the sanitizer's shadow memory",
)
def test_unclosed_elements_parse_in_bounded_memory(depth):
    probe = subprocess.run(
        [sys.executable, "-c", UNCLOSED_PROBE, str(depth)],
        capture_output=True, text=True, timeout=300,
    )
    assert probe.returncode == 0, probe.stderr
    figures = json.loads(probe.stdout)
    assert figures["count"] == depth + 3
    assert figures["found"] == depth
    assert figures["growth_kib"] < 1 << 20, figures
