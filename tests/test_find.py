"""find_all and find: every query shape, started at the root element (answered from the
prebuilt indexes where the shape allows) and below it (answered by walking)."""

import pytest

from search_helpers import NON_ELEMENT_DOC, labels, non_element_starts, start_node

SHAPES_DOC = (
    "<div id='d1' class='box a' title='t1'>"
    "<p id='p1' class='a b' title=''>x</p>"
    "<p id='p2' class='b' data-k='v'>y</p>"
    "<span id='s1' class='a a'>z</span>"
    "</div>"
    "<div id='d2' class='box'><p id='p3' title='t3'>w</p><my-widget id='w1'></my-widget></div>"
)
EVERY_ELEMENT = ["d1", "p1", "p2", "s1", "d2", "p3", "w1"]
BOTH = ("at_root", "below_root")


def expect(at_root, below_root=None):
    """Expected labels for the two start nodes; one list when they agree."""
    return {"at_root": at_root, "below_root": at_root if below_root is None else below_root}


FIND_ALL_CASES = [
    # name-only
    ("p", {}, expect(["p1", "p2", "p3"])),
    ("div", {}, expect(["d1", "d2"])),
    # Resolved case-insensitively when walking, looked up as written in the index.
    ("DIV", {}, expect([], ["d1", "d2"])),
    ("my-widget", {}, expect([])),
    ("p\x00", {}, expect([])),
    # class-only: one token; from the root once per occurrence of the token.
    ("", {"class": "a"}, expect(["d1", "p1", "s1", "s1"], ["d1", "p1", "s1"])),
    ("", {"class": "b"}, expect(["p1", "p2"])),
    ("", {"class": "box"}, expect(["d1", "d2"])),
    ("", {"class": "a b"}, expect([])),
    ("", {"class": ""}, expect([])),
    ("", {"class": "A"}, expect([])),
    # id-only: the general rule, so an empty id means "has an id attribute".
    ("", {"id": "p2"}, expect(["p2"])),
    ("", {"id": ""}, expect(EVERY_ELEMENT)),
    ("", {"id": "P2"}, expect([])),
    # general: whole values, an empty required value means presence.
    ("", {"title": ""}, expect(["d1", "p1", "p3"])),
    ("", {"title": "t3"}, expect(["p3"])),
    ("p", {"title": ""}, expect(["p1", "p3"])),
    ("p", {"class": "b"}, expect(["p2"])),
    ("p", {"class": "a b"}, expect(["p1"])),
    ("p", {"class": "a"}, expect([])),
    ("", {"class": "a", "id": "d1"}, expect([])),
    ("", {"class": "box a", "id": "d1"}, expect(["d1"])),
    ("", {"data-k": "v"}, expect(["p2"])),
    ("", {"data-k": "V"}, expect([])),
    ("", {"data-k": ""}, expect(["p2"])),
    ("DIV", {"class": "box"}, expect([])),
    # Both empty: every element of the subtree, the start element first.
    ("", {}, expect(["html", "head", "body", *EVERY_ELEMENT], ["body", *EVERY_ELEMENT])),
]


@pytest.mark.parametrize("where", BOTH)
@pytest.mark.parametrize("tag, attrs, expected", FIND_ALL_CASES)
def test_find_all_query_shapes(parse, where, tag, attrs, expected):
    _, root = parse(SHAPES_DOC)
    assert labels(start_node(root, where).find_all(tag, attrs)) == expected[where]


FIND_CASES = [
    ("p", {}, expect("p1")),
    ("DIV", {}, expect(None, "d1")),
    ("my-widget", {}, expect(None)),
    ("", {"id": "p3"}, expect("p3")),
    ("", {"id": "nope"}, expect(None)),
    # find compares the class value whole, even for a class-only query.
    ("", {"class": "b"}, expect("p2")),
    ("", {"class": "a"}, expect(None)),
    ("", {"class": "a b"}, expect("p1")),
    ("", {"class": ""}, expect("d1")),
    ("", {"title": ""}, expect("d1")),
    ("p", {"data-k": "v"}, expect("p2")),
    ("", {}, expect("html", "body")),
]


@pytest.mark.parametrize("where", BOTH)
@pytest.mark.parametrize("tag, attrs, expected", FIND_CASES)
def test_find_query_shapes(parse, where, tag, attrs, expected):
    _, root = parse(SHAPES_DOC)
    found = start_node(root, where).find(tag, attrs)
    assert (None if found is None else labels([found])[0]) == expected[where]


@pytest.mark.parametrize("where", BOTH)
def test_find_all_and_find_default_arguments(parse, where):
    _, root = parse(SHAPES_DOC)
    start = start_node(root, where)
    assert start.find() is start
    assert start.find_all()[0] is start


@pytest.mark.parametrize("where", BOTH)
@pytest.mark.parametrize(
    "separator, separates",
    [
        (" ", True),
        ("   ", True),
        ("&#9;", True),
        ("&#10;", True),
        ("&#13;", True),
        (" &#9;&#10; ", True),
        ("&#12;", False),
        ("&#11;", False),
    ],
)
def test_class_token_separators(parse, where, separator, separates):
    _, root = parse(f"<p id='p' class='a{separator}b'></p>")
    start = start_node(root, where)
    joined = root.find("p").get_attribute("class")
    assert labels(start.find_all(attrs={"class": "b"})) == (["p"] if separates else [])
    assert labels(start.find_all(attrs={"class": "a"})) == (["p"] if separates else [])
    # A name joined by a non-separator is one token holding that byte.
    assert labels(start.find_all(attrs={"class": joined})) == ([] if separates else ["p"])
    # find compares the whole value, separators and all.
    assert labels([start.find(attrs={"class": joined})]) == ["p"]


@pytest.mark.parametrize("where, expected", [("at_root", ["r", "r"]), ("below_root", ["r"])])
def test_repeated_class_token(parse, where, expected):
    _, root = parse("<p id='r' class='a a'></p><p id='s' class='a'></p>")
    found = start_node(root, where).find_all(attrs={"class": "a"})
    assert labels(found) == expected + ["s"]
    assert found[0] is found[len(expected) - 1]


@pytest.mark.parametrize("where", BOTH)
def test_empty_id_first_match_versus_every_id(parse, where):
    _, root = parse("<p id='x'></p><p id=''></p><p></p>")
    start = start_node(root, where)
    assert start.find(attrs={"id": ""}).get_attribute("id") == ""
    assert start.find(attrs={"id": ""}) is root.find_all("p")[1]
    assert [p.get_attribute("id") for p in start.find_all(attrs={"id": ""})] == ["x", ""]


@pytest.mark.parametrize("where", BOTH)
def test_find_all_for_a_tag_in_document_order(parse, where):
    _, root = parse(
        "<div><span id='1'><span id='2'><span id='3'></span></span></span>"
        "<span id='4'></span></div>"
        "<section><span id='5'></span></section>"
    )
    start = start_node(root, where)
    assert labels(start.find_all("span")) == ["1", "2", "3", "4", "5"]
    assert labels(start.find_all("span", {"id": ""})) == ["1", "2", "3", "4", "5"]


def test_start_element_is_included_first(parse):
    _, root = parse("<div id='a' class='k'><div id='b' class='k'></div></div>")
    outer = root.find("div")
    inner = outer.find_all("div")[1]
    assert labels(outer.find_all("div")) == ["a", "b"]
    assert labels(outer.find_all(attrs={"class": "k"})) == ["a", "b"]
    assert labels(outer.find_all(attrs={"id": "a"})) == ["a"]
    assert inner.find("div") is inner
    assert labels(inner.find_all("div")) == ["b"]


@pytest.mark.parametrize("where", ["at_root", "below_root", "widget"])
def test_unknown_tags_are_found_by_no_name(parse, where):
    _, root = parse(
        "<my-widget id='w' class='c'><x-card id='x'></x-card></my-widget><svg><circle/></svg>"
    )
    start = root.find(attrs={"id": "w"}) if where == "widget" else start_node(root, where)
    for name in ("my-widget", "x-card", "circle", "MY-WIDGET"):
        assert start.find_all(name) == []
        assert start.find(name) is None
    # They are elements all the same, with the empty name.
    every = start.find_all()
    assert [n.get_name() for n in every if n.get_attribute("id") in ("w", "x")] == ["", ""]
    assert labels(start.find_all(attrs={"class": "c"})) == ["w"]


@pytest.mark.parametrize("where", BOTH)
def test_template_contents_are_not_searched(parse, where):
    _, root = parse(NON_ELEMENT_DOC)
    start = start_node(root, where)
    assert labels(start.find_all("p")) == ["p"]
    assert labels(start.find_all(attrs={"class": "c"})) == ["d", "p"]
    assert start.find(attrs={"id": "in"}) is None
    assert labels(root.find("div").find_all()) == ["d", "p"]


QUERIES_FROM_ANYWHERE = [
    ("", {}),
    ("p", {}),
    ("", {"class": "c"}),
    ("", {"id": "p"}),
    ("p", {"title": "t"}),
    ("", {"title": ""}),
]


@pytest.mark.parametrize("kind", ["document", "text", "comment", "template"])
@pytest.mark.parametrize("tag, attrs", QUERIES_FROM_ANYWHERE)
def test_non_element_start_nodes_find_nothing(parse, kind, tag, attrs):
    _, root = parse(NON_ELEMENT_DOC)
    start = non_element_starts(root)[kind]
    assert start.find_all(tag, attrs) == []
    assert start.find(tag, attrs) is None


@pytest.mark.parametrize("where", BOTH)
@pytest.mark.parametrize(
    "attrs, expected",
    [
        ({"href": "/a"}, ["exact"]),
        ({"href": "/a/"}, ["slash"]),
        ({"href": " /a"}, ["space"]),
        ({"href": "/A"}, []),
        ({"title": "naïve"}, ["exact"]),
        ({"title": "naive"}, []),
        ({"title": "naïve", "href": "/a/"}, []),
    ],
)
def test_values_are_compared_byte_for_byte(parse, where, attrs, expected):
    _, root = parse(
        "<a id='exact' href='/a' title='naïve'></a><a id='slash' href='/a/'></a>"
        "<a id='space' href=' /a'></a>"
    )
    start = start_node(root, where)
    assert labels(start.find_all(attrs=attrs)) == expected
    assert labels(start.find_all("a", attrs)) == expected
    first = start.find("a", attrs)
    assert labels([first] if first else []) == expected[:1]


def test_find_all_from_root_equals_the_walk_below_it(parse):
    _, root = parse(SHAPES_DOC + "<section><div id='d3'><div id='d4'></div></div></section>")
    body = start_node(root, "below_root")
    for tag in ("div", "p", "span", "section"):
        at_root = root.find_all(tag)
        assert all(a is b for a, b in zip(at_root, body.find_all(tag), strict=True))
