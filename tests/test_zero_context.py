"""Whole-document queries that answer with plain strings and counts: get_all_text_by_tag,
get_all_text_by_class, get_all_hrefs, get_all_src_attributes, count_elements_by_tag and
count_elements_by_class."""

import pytest

from search_helpers import body_of

GATE_DOC = "<div><p class='c'>t</p><a href='/h'>l</a><img src='i.png'></div>"

QUERIES = [
    ("get_all_text_by_tag", ("p",), ["t"]),
    ("get_all_text_by_class", ("c",), ["t"]),
    ("get_all_hrefs", (), ["/h"]),
    ("get_all_src_attributes", (), ["i.png"]),
    ("count_elements_by_tag", ("p",), 1),
    ("count_elements_by_class", ("c",), 1),
]


@pytest.mark.parametrize("method, args, at_root", QUERIES)
def test_only_the_root_element_answers(parse, method, args, at_root):
    _, root = parse(GATE_DOC)
    assert getattr(root, method)(*args) == at_root
    empty = 0 if method.startswith("count") else []
    body = body_of(root)
    others = {
        "document": root.get_parent(),
        "body": body,
        "div": body.get_children()[0],
        "text": root.find_all_ultra_fast("p")[0].get_children()[0],
    }
    for where, node in others.items():
        assert getattr(node, method)(*args) == empty, where


@pytest.mark.parametrize(
    "html, tag, count",
    [
        ("", "html", 1),
        ("", "head", 1),
        ("<p>x</p>", "body", 1),
        ("<div></div><div><div></div></div>", "div", 3),
        # Canonical names are lower case, and the lookup does not fold case.
        ("<DIV></DIV><Div></Div>", "div", 2),
        ("<div></div>", "DIV", 0),
        # Every tag the parser does not know is filed under the empty name.
        ("<my-widget></my-widget><x-card></x-card><svg><circle/></svg>", "", 3),
        ("<my-widget></my-widget>", "my-widget", 0),
        ("<template><p></p></template><p></p>", "p", 1),
        ("<p></p>", "nope", 0),
    ],
)
def test_count_elements_by_tag(parse, html, tag, count):
    _, root = parse(html)
    assert root.count_elements_by_tag(tag) == count


@pytest.mark.parametrize(
    "class_value, token, count",
    [
        ("a a", "a", 2),
        ("a  b", "a", 1),
        ("a  b", "b", 1),
        ("a  b", "a b", 0),
        ("a b", "", 0),
        # Tab, line feed and carriage return separate names.
        ("a&#9;b", "b", 1),
        ("a&#10;b", "b", 1),
        ("a&#13;b", "b", 1),
        # Form feed and vertical tab belong to the name.
        ("a&#12;b", "b", 0),
        ("a&#12;b", "a\x0cb", 1),
        ("a&#11;b", "a\x0bb", 1),
        ("Box", "box", 0),
        ("café", "café", 1),
    ],
)
def test_count_elements_by_class(parse, class_value, token, count):
    _, root = parse(f"<div class='{class_value}'>x</div>")
    assert root.count_elements_by_class(token) == count


@pytest.mark.parametrize(
    "html, tag, texts",
    [
        # A whitespace-only text node contributes nothing, unlike in get_text.
        ("<p><b>a</b> <b>b</b></p>", "p", ["ab"]),
        ("<p>a b</p>", "p", ["a b"]),
        ("<p>\x0c</p><p> \n </p><p></p><p>x</p>", "p", ["x"]),
        # Whitespace inside a text node that also holds other characters stays.
        ("<p> x\ny </p>", "p", [" x\ny "]),
        # Outer element first, each with all of its text.
        ("<div>1<div>2</div>3</div>", "div", ["123", "2"]),
        ("<div>a<!--c-->b<template>t</template>c</div>", "div", ["abc"]),
        ("<script>var x = 1;</script>", "script", ["var x = 1;"]),
        ("<style>p { }</style>", "style", ["p { }"]),
        ("<my-widget>w</my-widget><x-card>c</x-card>", "", ["w", "c"]),
        ("<p>x</p>", "P", []),
    ],
)
def test_get_all_text_by_tag(parse, html, tag, texts):
    _, root = parse(html)
    assert root.get_all_text_by_tag(tag) == texts


def test_whitespace_only_text_differs_from_get_text(parse):
    _, root = parse("<p><b>a</b> <b>b</b></p>")
    assert root.get_all_text_by_tag("p") == ["ab"]
    assert root.find_all_ultra_fast("p")[0].get_text() == "a b"


@pytest.mark.parametrize(
    "html, token, texts",
    [
        ("<div class='a a'>x</div>", "a", ["x", "x"]),
        ("<p class='k'>1</p><p class='k'></p><span class='j k'>2</span>", "k", ["1", "2"]),
        ("<p class='k'>1</p>", "K", []),
        ("<template><p class='k'>t</p></template><p class='k'>v</p>", "k", ["v"]),
    ],
)
def test_get_all_text_by_class(parse, html, token, texts):
    _, root = parse(html)
    assert root.get_all_text_by_class(token) == texts


def test_get_all_hrefs_lists_every_href_of_a_elements_as_stored(parse):
    _, root = parse(
        "<a href='/1'>1</a><a>no href</a><a href=''>empty</a>"
        "<div><a href=' /spaced '>s</a></div><a href='/q?a=1&amp;b=2'>q</a>"
        "<link href='/style.css'><area href='/area'>"
        "<template><a href='/hidden'>h</a></template><A HREF='/upper'>u</A>"
    )
    assert root.get_all_hrefs() == ["/1", "", " /spaced ", "/q?a=1&b=2", "/upper"]


def test_get_all_src_attributes_lists_img_src_values_in_document_order(parse):
    _, root = parse(
        "<img src='a.png'><img><div><img src=''></div><script src='s.js'></script>"
        "<template><img src='i.png'></template><img src='b.png'>"
    )
    assert root.get_all_src_attributes() == ["a.png", "", "b.png"]


def test_repeated_queries_give_the_same_answers(parse):
    # The same word as a tag name and as a class token, queried in both orders, so that
    # answers kept from earlier calls cannot be mixed up between kinds.
    _, root = parse("<a class='p'>1</a><p class='a'>2</p><p class='a a'>3</p>")
    for _ in range(2):
        assert root.count_elements_by_tag("a") == 1
        assert root.count_elements_by_class("a") == 3
        assert root.count_elements_by_tag("p") == 2
        assert root.count_elements_by_class("p") == 1
        assert [n.get_text() for n in root.find_all("a")] == ["1"]
        assert [n.get_text() for n in root.find_all(attrs={"class": "a"})] == ["2", "3", "3"]
        assert root.get_all_text_by_class("a") == ["2", "3", "3"]
        assert root.get_all_text_by_tag("a") == ["1"]


def test_a_page_with_thousands_of_links(parse):
    rows = []
    for i in range(3000):
        link = f"<a href='/item/{i}' class='item'>Item {i}</a>"
        if i % 3 == 0:
            rows.append(f"<li>{link}</li>")
        elif i % 3 == 1:
            rows.append(f"<div class='card'><p>Text {i} {link}</p></div>")
        else:
            rows.append(f"<table><tr><td>{link}</td></tr></table>")
    html = "<html><body><nav><a href='/'>home</a></nav><ul>" + "".join(rows) + "</ul></body></html>"
    _, root = parse(html)

    links = root.find_all("a")
    hrefs = root.get_all_hrefs()
    expected = ["/"] + [f"/item/{i}" for i in range(3000)]
    assert [a.get_attribute("href") for a in links] == expected
    assert hrefs == expected
    assert root.count_elements_by_tag("a") == 3001
    assert root.count_elements_by_class("item") == 3000
