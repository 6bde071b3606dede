"""The bulk strategy (find_all_bulk, find_bulk), the index-free walk (find_all_ultra_fast,
find_ultra_fast), find_descendants_by_tag, and handle identity across every strategy."""

import pytest

from search_helpers import NON_ELEMENT_DOC, body_of, labels, non_element_starts, start_node

BOTH = ("at_root", "below_root")


def test_bulk_without_criteria_is_empty_at_root_and_everything_elsewhere(parse):
    _, root = parse("<div id='d'><p id='p'></p></div>")
    body = body_of(root)
    assert root.find_all_bulk() == []
    assert root.find_bulk() is None
    assert labels(root.find_all()) == ["html", "head", "body", "d", "p"]
    assert labels(body.find_all_bulk()) == ["body", "d", "p"]
    assert body.find_bulk() is body


BULK_DOC = (
    "<p id='two' class='a  b'></p><p id='one' class='a b'></p><p id='tab' class='a&#9;b'></p>"
    "<p id='rep' class='b b'></p><p id='lead' class=' c d'></p>"
    "<p id='e' title=''></p><p id='f' title='t'></p>"
    "<div id='x' class='first'></div><span id='x' class='second'></span>"
)

BULK_CASES = [
    # An empty required value needs an empty attribute in bulk, presence in the walk.
    ("", {"title": ""}, ["e"], ["e", "f"]),
    ("p", {"title": ""}, ["e"], ["e", "f"]),
    # Class values: " V " must occur in " S ", spaces being the only separator...
    ("", {"class": "b"}, ["two", "one", "rep", "rep"], ["two", "one", "tab", "rep"]),
    ("p", {"class": "a b"}, ["one"], ["one"]),
    ("", {"class": "a b"}, [], []),
    ("p", {"class": "b"}, ["two", "one", "rep"], []),
    ("p", {"class": "c d"}, ["lead"], []),
    ("p", {"class": "d c"}, [], []),
    ("p", {"class": "a  b"}, ["two"], ["two"]),
    # ...so the tab-separated value holds neither name in bulk.
    ("p", {"class": "a"}, ["two", "one"], []),
    ("p", {"class": "a\tb"}, ["tab"], ["tab"]),
    # The id map keeps the first element for each id.
    ("", {"id": "x"}, ["x"], ["x", "x"]),
    ("", {"id": "missing"}, [], []),
    # Tag names are looked up as written; unknown ones are never found.
    ("DIV", {}, [], ["x"]),
    ("my-widget", {}, [], []),
    ("span", {"id": "x"}, ["x"], ["x"]),
]


@pytest.mark.parametrize("tag, attrs, at_root, below_root", BULK_CASES)
def test_bulk_rules_at_root_and_the_walk_elsewhere(parse, tag, attrs, at_root, below_root):
    _, root = parse(BULK_DOC)
    body = body_of(root)
    assert labels(root.find_all_bulk(tag, attrs)) == at_root
    assert labels(body.find_all_bulk(tag, attrs)) == below_root
    assert labels(body.find_all_bulk(tag, attrs)) == labels(body.find_all_ultra_fast(tag, attrs))


def test_bulk_repeated_class_token_is_the_same_node_twice(parse):
    _, root = parse("<p class='b b'></p>")
    first, second = root.find_all_bulk(attrs={"class": "b"})
    assert first is second


def test_bulk_attribute_only_query_at_root_is_grouped_by_element_name(parse):
    _, root = parse(
        "<p id='p1' data-k='v'></p><div id='d1' data-k='v'></div><p id='p2' data-k='v'></p>"
        "<my-widget id='w1' data-k='v'></my-widget><span id='s1' data-k='w'></span>"
        "<x-card id='w2' data-k='v'></x-card><div id='d2' data-k='v'></div>"
    )
    found = labels(root.find_all_bulk(attrs={"data-k": "v"}))
    groups = {"p": ["p1", "p2"], "div": ["d1", "d2"], "": ["w1", "w2"]}
    assert sorted(found) == sorted(sum(groups.values(), []))
    # Each name's elements stand together, in document order.
    for members in groups.values():
        start = found.index(members[0])
        assert found[start : start + len(members)] == members
    assert labels(body_of(root).find_all_bulk(attrs={"data-k": "v"})) == [
        "p1", "d1", "p2", "w1", "w2", "d2"
    ]


@pytest.mark.parametrize("where", BOTH)
@pytest.mark.parametrize(
    "tag, attrs", [(t, a) for t, a, _, _ in BULK_CASES] + [("", {}), ("p", {})]
)
def test_find_bulk_is_the_first_of_find_all_bulk(parse, where, tag, attrs):
    _, root = parse(BULK_DOC)
    start = start_node(root, where)
    every = start.find_all_bulk(tag, attrs)
    first = start.find_bulk(tag, attrs)
    if every:
        assert first is every[0]
    else:
        assert first is None


TAG_DOC = (
    "<div id='d1' class='container'><div id='d2' class='x container container'>"
    "<p id='p1'>t</p></div></div><section id='s1'><div id='d3'></div></section>"
)


def test_ultra_fast_resolves_tag_names_case_insensitively_everywhere(parse):
    _, root = parse(TAG_DOC)
    outer = root.find("div")
    for start in (root, body_of(root), outer):
        lower = start.find_all_ultra_fast("div")
        assert lower == start.find_all_ultra_fast("DIV") == start.find_all_ultra_fast("Div")
        assert start.find_ultra_fast("DIV") is lower[0]
    assert labels(body_of(root).find_all_ultra_fast("div")) == ["d1", "d2", "d3"]
    assert labels(outer.find_all_ultra_fast("div")) == ["d1", "d2"]
    assert body_of(root).find_all("div") == body_of(root).find_all_ultra_fast("div")


def test_ultra_fast_without_criteria_lists_the_subtree_start_first(parse):
    _, root = parse(TAG_DOC)
    outer = root.find("div")
    assert labels(outer.find_all_ultra_fast()) == ["d1", "d2", "p1"]
    assert outer.find_ultra_fast() is outer
    assert labels(root.find_all_ultra_fast())[:3] == ["html", "head", "body"]


def test_ultra_fast_class_query_matches_a_token_once_per_element(parse):
    _, root = parse(TAG_DOC)
    expected = ["d1", "d2"]
    assert labels(root.find_all_ultra_fast(attrs={"class": "container"})) == expected
    assert labels(body_of(root).find_all(attrs={"class": "container"})) == expected
    # The root element's index lists the repeated token twice; the walk does not.
    assert labels(root.find_all(attrs={"class": "container"})) == ["d1", "d2", "d2"]


def test_find_ultra_fast_compares_the_class_value_whole(parse):
    _, root = parse("<p id='ab' class='a b'></p><p id='b' class='b'></p>")
    assert labels([root.find_ultra_fast(attrs={"class": "b"})]) == ["b"]
    assert labels(root.find_all_ultra_fast(attrs={"class": "b"})) == ["ab", "b"]
    assert root.find_ultra_fast(attrs={"class": "a"}) is None


def test_find_ultra_fast_id_is_exact(parse):
    _, root = parse(
        "<div id='section-1'></div><div id='my-section'></div><div id=' section'></div>"
        "<div id='Section'></div><div id='section' title='hit'></div><div id='section'></div>"
    )
    found = root.find_ultra_fast(attrs={"id": "section"})
    assert found.get_attribute("title") == "hit"
    assert body_of(root).find_ultra_fast(attrs={"id": "section"}) is found


@pytest.mark.parametrize("tag", ["custom-widget", "x-card", "circle"])
def test_ultra_fast_unknown_tag_finds_nothing(parse, tag):
    _, root = parse("<custom-widget><x-card></x-card></custom-widget><svg><circle/></svg>")
    widget = body_of(root).get_children()[0]
    for start in (root, body_of(root), widget):
        assert start.find_all_ultra_fast(tag) == []
        assert start.find_ultra_fast(tag) is None


@pytest.mark.parametrize("kind", ["document", "text", "comment", "template"])
@pytest.mark.parametrize(
    "tag, attrs", [("", {}), ("p", {}), ("", {"class": "c"}), ("", {"id": "p"})]
)
def test_non_element_starts_find_nothing_in_any_strategy(parse, kind, tag, attrs):
    _, root = parse(NON_ELEMENT_DOC)
    start = non_element_starts(root)[kind]
    assert start.find_all_ultra_fast(tag, attrs) == []
    assert start.find_ultra_fast(tag, attrs) is None
    assert start.find_all_bulk(tag, attrs) == []
    assert start.find_bulk(tag, attrs) is None


DESCENDANTS_DOC = (
    "<div id='outer'><div id='inner'><p id='p1'>a</p></div></div>"
    "<template><p id='hidden'></p></template><p id='p2'>b</p>"
    "<my-widget id='w'><x-card id='x'></x-card></my-widget><svg><circle id='c'/></svg>"
)


def test_find_descendants_by_tag_excludes_the_start(parse):
    _, root = parse(DESCENDANTS_DOC)
    outer = root.find(attrs={"id": "outer"})
    assert labels(outer.find_descendants_by_tag("div")) == ["inner"]
    assert labels(outer.find_descendants_by_tag("p")) == ["p1"]
    inner = outer.find_descendants_by_tag("div")[0]
    assert inner.find_descendants_by_tag("div") == []


def test_find_descendants_by_tag_from_the_document_node(parse):
    _, root = parse(DESCENDANTS_DOC)
    document = root.get_parent()
    assert labels(document.find_descendants_by_tag("p")) == ["p1", "p2"]
    assert document.find_descendants_by_tag("p") == root.find_all("p")
    assert labels(document.find_descendants_by_tag("html")) == ["html"]
    assert root.find_descendants_by_tag("html") == []


@pytest.mark.parametrize("tag", ["P", "Div", "my-widget", "circle", "p\x00"])
def test_find_descendants_by_tag_compares_names_exactly(parse, tag):
    _, root = parse(DESCENDANTS_DOC)
    assert root.find_descendants_by_tag(tag) == []


def test_find_descendants_by_tag_empty_name_matches_unknown_elements(parse):
    _, root = parse(DESCENDANTS_DOC)
    assert labels(root.find_descendants_by_tag("")) == ["w", "x", "c"]
    widget = root.find(attrs={"id": "w"})
    assert labels(widget.find_descendants_by_tag("")) == ["x"]


@pytest.mark.parametrize("kind", ["text", "comment", "template"])
def test_find_descendants_by_tag_from_a_leaf_is_empty(parse, kind):
    _, root = parse(NON_ELEMENT_DOC)
    start = non_element_starts(root)[kind]
    assert start.find_descendants_by_tag("p") == []
    assert start.find_descendants_by_tag("") == []


def test_every_strategy_returns_the_same_node_object_for_an_element(parse):
    tree, root = parse("<div id='d'><p id='p' class='c' title='t'>x</p></div>")
    paragraph = root.find_all("p")[0]
    div = paragraph.get_parent()
    body = body_of(root)
    same = [
        root.find("p"),
        root.find_all(attrs={"class": "c"})[0],
        root.find(attrs={"id": "p"}),
        body.find_all("p")[0],
        body.find_all("p", {"title": "t"})[0],
        root.find_all_bulk("p")[0],
        root.find_all_bulk(attrs={"title": "t"})[0],
        root.find_bulk(attrs={"class": "c"}),
        body.find_all_bulk("p")[0],
        root.find_all_ultra_fast("p")[0],
        root.find_ultra_fast(attrs={"id": "p"}),
        root.find_descendants_by_tag("p")[0],
        tree.find_by_attribute("id", "p")[0],
        tree.find_by_text_content("x")[0],
        tree.get_nth_element(4),
        div.get_children()[0],
        paragraph.get_children()[0].get_parent(),
        root.find_all()[4],
    ]
    assert all(node is paragraph for node in same)
    assert div is tree.get_nth_element(3) is root.find_all_bulk("div")[0]
    assert div.get_gumbo_node() != paragraph.get_gumbo_node()
