"""The Tree's parse-time element index: find_by_attribute, find_by_text_content,
get_nth_element and get_indexed_element_count."""

import pytest

from search_helpers import labels

ATTRIBUTE_DOC = (
    "<a id='first' href='/One'>1</a><a id='second' href='/two'>2</a>"
    "<p id='ab' class='a b' title='naïve'></p><input id='flag' disabled>"
    "<p id='x' title='dup-1'></p><div><span id='x' title='dup-2'></span></div>"
)


@pytest.mark.parametrize(
    "name, value, expected",
    [
        ("href", "/One", ["first"]),
        ("href", "/two", ["second"]),
        # Names and values are compared byte for byte, never folded or trimmed.
        ("HREF", "/One", []),
        ("href", "/one", []),
        ("href", " /One", []),
        ("href", "/On", []),
        # class is one attribute like any other: its whole value, not a token.
        ("class", "a b", ["ab"]),
        ("class", "a", []),
        ("class", "b a", []),
        ("title", "naïve", ["ab"]),
        ("title", "naive", []),
        # An attribute written without a value is stored with the empty value.
        ("disabled", "", ["flag"]),
        ("disabled", "disabled", []),
        # Every element carrying a repeated id is listed.
        ("id", "x", ["x", "x"]),
        ("missing", "", []),
    ],
)
def test_find_by_attribute_matches_name_and_whole_value_exactly(parse, name, value, expected):
    tree, _ = parse(ATTRIBUTE_DOC)
    assert labels(tree.find_by_attribute(name, value)) == expected


def test_find_by_attribute_lists_a_repeated_id_in_document_order(parse):
    tree, _ = parse(ATTRIBUTE_DOC)
    found = tree.find_by_attribute("id", "x")
    assert [node.get_attribute("title") for node in found] == ["dup-1", "dup-2"]


def test_find_by_attribute_keeps_name_and_value_apart_at_an_equals_sign(parse):
    # The one attribute is title="x=y"; no element has an attribute named "title=x".
    tree, _ = parse("<p id='p' title='x=y'></p>")
    assert labels(tree.find_by_attribute("title", "x=y")) == ["p"]
    assert tree.find_by_attribute("title=x", "y") == []


TEXT_DOC = (
    "<p id='hello'>\n  hello \r\n</p>"
    "<p id='tabbed'>\ttab\t</p>"
    "<p id='ff'>\x0cform</p>"
    "<p id='vt'>&#11;vertical</p>"
    "<p id='ws-ff'>\x0c</p>"
    "<p id='twice'>hi<br>hi</p>"
    "<p id='outer'><b id='inner'>bold</b></p>"
    "<p id='mixed'>lead <em id='em'>tail</em></p>"
    "<p id='split'>left<!--c-->right</p>"
    "<p id='note'><!--secret--></p>"
)


@pytest.mark.parametrize(
    "query, expected",
    [
        # Space, tab, line feed and carriage return are trimmed...
        ("hello", ["hello"]),
        ("tab", ["tabbed"]),
        # ...and the query itself is looked up as given, untrimmed.
        (" hello", []),
        ("\n  hello \n", []),
        ("Hello", []),
        # Form feed and vertical tab are not trimmed.
        ("form", []),
        ("\x0cform", ["ff"]),
        ("vertical", []),
        ("\x0bvertical", ["vt"]),
        # A whitespace-only text child is not indexed, form feed included.
        ("\x0c", []),
        # Each text child is indexed on its own: twice under one key, never joined.
        ("hi", ["twice", "twice"]),
        ("hihi", []),
        ("left", ["split"]),
        ("right", ["split"]),
        ("leftright", []),
        # Text sitting in a nested element belongs to that element only.
        ("bold", ["inner"]),
        ("lead", ["mixed"]),
        ("tail", ["em"]),
        ("lead tail", []),
        # Comments are not text.
        ("secret", []),
        ("", []),
    ],
)
def test_find_by_text_content_indexes_trimmed_direct_text_children(parse, query, expected):
    tree, _ = parse(TEXT_DOC)
    assert labels(tree.find_by_text_content(query)) == expected


def test_find_by_text_content_repeats_the_same_node_object(parse):
    tree, _ = parse("<p>hi<br>hi</p>")
    first, second = tree.find_by_text_content("hi")
    assert first is second


def test_get_nth_element_walks_every_element_in_document_order(parse):
    tree, root = parse("<div id='a'><p id='b'>x</p><my-widget id='c'></my-widget></div><p id='d'>")
    count = tree.get_indexed_element_count()
    assert count == 7
    nth = [tree.get_nth_element(i) for i in range(count)]
    assert labels(nth) == ["html", "head", "body", "a", "b", "c", "d"]
    assert nth[0] is root
    # The same order as the walk over the whole document.
    assert all(a is b for a, b in zip(nth, root.find_all_ultra_fast(), strict=True))


@pytest.mark.parametrize("html", ["", "<p>x</p>"])
def test_get_nth_element_past_the_end_is_none(parse, html):
    tree, _ = parse(html)
    count = tree.get_indexed_element_count()
    assert tree.get_nth_element(count - 1) is not None
    assert tree.get_nth_element(count) is None
    assert tree.get_nth_element(2**64 - 1) is None


def test_get_nth_element_rejects_a_negative_position(parse):
    tree, _ = parse("")
    with pytest.raises(TypeError):
        tree.get_nth_element(-1)


@pytest.mark.parametrize(
    "html, count",
    [
        ("", 3),
        ("<div><p></p><my-widget></my-widget></div>", 6),
        # Neither the template nor anything inside it is an indexed element.
        ("<template><p>a</p><p>b</p></template><div></div>", 4),
        ("<div><template><span><b></b></span></template></div>", 4),
        ("<!--only a comment-->", 3),
    ],
)
def test_get_indexed_element_count(parse, html, count):
    tree, _ = parse(html)
    assert tree.get_indexed_element_count() == count


def test_template_contents_are_never_returned(parse):
    tree, _ = parse(
        "<div><template><p id='t' title='in'>hidden</p></template>"
        "<p id='v' title='in'>seen</p></div>"
    )
    assert labels(tree.find_by_attribute("title", "in")) == ["v"]
    assert tree.find_by_attribute("id", "t") == []
    assert tree.find_by_text_content("hidden") == []
    nth = [tree.get_nth_element(i) for i in range(tree.get_indexed_element_count())]
    assert labels(nth) == ["html", "head", "body", "div", "v"]


def test_unknown_tags_are_indexed_with_the_empty_name(parse):
    tree, root = parse("<my-widget id='w'>hi</my-widget><x-card id='c' k='v'>yo</x-card>")
    assert [node.get_name() for node in tree.find_by_attribute("id", "w")] == [""]
    assert labels(tree.find_by_text_content("yo")) == ["c"]
    assert labels(tree.find_by_attribute("k", "v")) == ["c"]
    # Both custom elements share the one empty tag key.
    assert root.count_elements_by_tag("") == 2
    assert root.count_elements_by_tag("my-widget") == 0
