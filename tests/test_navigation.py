"""Node handles: kind tests, every navigation method, and the handle cache that gives one
Python object per parser node while it is referenced."""

import gc

import pytest

import velkaron
from search_helpers import describe, tokens


def body_of(root):
    return root.get_children()[1]


def at(body, path):
    """The node reached from <body> by child positions; "html" is the root element."""
    if path == "html":
        return body.get_parent()
    node = body
    for position in path:
        node = node.get_children()[position]
    return node


def token(node):
    return None if node is None else node.get_gumbo_node()


# Body children: 0 <p>, 1 text, 2 comment, 3 <div> holding 0 <span> holding 0 text.
MIXED = "<p>a</p>text<!--c--><div><span>s</span></div>"
# Body children: 0 <section> holding 0 <div>, 1 text; 1 comment; 2 <aside>.
CLIMB = "<section><div>d</div>tail</section><!--x--><aside>a</aside>"
# Body children: 0 <main> > <section> > <div> > <b>; 1 <footer>.
DEEP_CLIMB = "<main><section><div><b>x</b></div></section></main><footer></footer>"
# Body children: 0 <div> with three <span>; 1 <p>.
SPANS = "<div><span>1</span><span>2</span><span>3</span></div><p>x</p>"
# Body children: 0 <div> holding 0 <span>, 1 <section> (0 <b>, 1 <i>, 2 text), 2 text;
# 1 comment; 2 text; 3 <p>.
DESCENT = "<div><span>1</span><section><b>x</b><i>y</i>z</section>t</div><!--c-->w<p>p</p>"
# Body children: 0 <div> holding 0 <b>, 1 <template>; 1 <p>.
TEMPLATE_LAST = "<div><b></b><template><i></i></template></div><p>p</p>"
# Body children: 0 <div> holding 0 <template>, 1 <p>.
TEMPLATE_FIRST = "<div><template id='t'>x</template><p>y</p></div>"


@pytest.mark.parametrize(
    "html, method, start, expected",
    [
        (MIXED, "get_next_sibling", (0,), (1,)),
        (MIXED, "get_next_sibling", (1,), (2,)),
        (MIXED, "get_next_sibling", (2,), (3,)),
        (MIXED, "get_next_sibling", (3,), None),
        (MIXED, "get_next_sibling", (3, 0), None),
        (MIXED, "get_previous_sibling", (0,), None),
        (MIXED, "get_previous_sibling", (1,), (0,)),
        (MIXED, "get_previous_sibling", (3,), (2,)),
        (MIXED, "get_previous_sibling", (3, 0), None),
        (MIXED, "get_next_element", (0,), (3,)),
        (MIXED, "get_next_element", (1,), (3,)),
        (MIXED, "get_next_element", (2,), (3,)),
        (MIXED, "get_next_element", (3,), None),
        (MIXED, "get_next_element", (3, 0), None),
        (MIXED, "get_next_element", (3, 0, 0), None),
        (MIXED, "get_previous_element", (3,), (0,)),
        (MIXED, "get_previous_element", (2,), (0,)),
        (MIXED, "get_previous_element", (0,), ()),
        (MIXED, "get_previous_element", (3, 0), (3,)),
        (MIXED, "get_previous_element", (3, 0, 0), (3, 0)),
        (MIXED, "get_parent", (3, 0), (3,)),
        (MIXED, "get_parent", (1,), ()),
        (MIXED, "get_parent", (), "html"),
        (CLIMB, "get_next_element", (0, 0), (2,)),
        (CLIMB, "get_next_element", (0, 1), (2,)),
        (CLIMB, "get_next_element", (1,), (2,)),
        (CLIMB, "get_previous_element", (2,), (0, 0)),
        (DEEP_CLIMB, "get_next_element", (0, 0, 0, 0), (1,)),
        (DEEP_CLIMB, "get_next_element", (0, 0, 0, 0, 0), (1,)),
        (DEEP_CLIMB, "get_previous_element", (1,), (0, 0, 0, 0)),
        (SPANS, "get_previous_element", (1,), (0, 2)),
        (SPANS, "get_previous_element", (0, 2), (0, 1)),
        (SPANS, "get_previous_element", (0, 0), (0,)),
        (DESCENT, "get_previous_element", (3,), (0, 1, 1)),
        (DESCENT, "get_previous_element", (2,), (0, 1, 1)),
        (TEMPLATE_LAST, "get_previous_element", (1,), (0, 0)),
        (TEMPLATE_LAST, "get_next_element", (0, 0), (1,)),
        (TEMPLATE_FIRST, "get_next_sibling", (0, 0), (0, 1)),
        (TEMPLATE_FIRST, "get_previous_sibling", (0, 1), (0, 0)),
        (TEMPLATE_FIRST, "get_next_element", (0, 0), (0, 1)),
        (TEMPLATE_FIRST, "get_previous_element", (0, 1), (0,)),
        (TEMPLATE_FIRST, "get_parent", (0, 0), (0,)),
    ],
)
def test_single_node_navigation(parse, html, method, start, expected):
    _, root = parse(html)
    body = body_of(root)
    result = getattr(at(body, start), method)()
    assert token(result) == (None if expected is None else token(at(body, expected)))


def test_previous_element_of_the_first_body_element_is_body(parse, element):
    _, root = parse("<p>x</p>")
    assert element(root, "p").get_previous_element() is body_of(root)


@pytest.mark.parametrize(
    "html, expected", [("<p>x</p>", "head"), ("<title>t</title><p>x</p>", "title")]
)
def test_previous_element_of_body_descends_into_head(parse, html, expected):
    _, root = parse(html)
    assert body_of(root).get_previous_element().get_name() == expected


# --- The root element and the document node ---------------------------------------------------

def test_root_element_neighbourhood(parse):
    _, root = parse("<p>x</p>")
    document = root.get_parent()
    assert document.is_document() and not document.is_element()
    assert root.get_all_parents() == []
    assert root.get_next_element() is None
    assert root.get_previous_element() is None
    assert root.get_next_sibling() is None
    assert root.get_previous_sibling() is None
    assert root.get_all_next_siblings_including_text() == []
    assert root.get_all_previous_siblings_including_text() == []


def test_comments_around_the_root_are_its_siblings(parse):
    _, root = parse("<!DOCTYPE html><!--before--><html><body>x</body></html><!--after-->")
    document = root.get_parent()
    before, html, after = document.get_children()
    assert html is root
    assert root.get_previous_sibling() is before
    assert root.get_next_sibling() is after
    assert after.get_previous_sibling() is root
    # Comments are not elements, so they never count as element neighbours...
    assert root.get_next_element() is None and root.get_previous_element() is None
    # ...but their own element neighbours are found like anyone's.
    assert before.get_next_element() is root
    assert after.get_previous_element() is root.get_children()[1]
    assert root.get_all_next_siblings_including_text() == []


def test_document_node_neighbourhood(parse):
    _, root = parse("<!--c--><p>x</p>")
    document = root.get_parent()
    assert document.get_parent() is None
    assert [describe(child) for child in document.get_children()] == ["#other", "html"]
    assert document.get_next_sibling() is None
    assert document.get_previous_sibling() is None
    assert document.get_next_element() is None
    assert document.get_previous_element() is None
    assert document.get_all_parents() == []
    assert document.get_all_next_siblings_including_text() == []
    assert document.get_all_previous_siblings_including_text() == []
    assert [describe(node) for node in document.get_descendants()] == [
        "#other", "html", "head", "body", "p", "text:x"
    ]
    assert [describe(node) for node in document.get_all_descendants_with_text()] == [
        "html", "head", "body", "p", "text:x"
    ]


# --- Lists: children, descendants, ancestors, sibling runs ------------------------------------

def test_children_are_every_kind_in_document_order(parse):
    _, root = parse("<body>\n" + MIXED)
    assert [describe(child) for child in body_of(root).get_children()] == [
        "text:\n", "p", "text:text", "#other", "div"
    ]


@pytest.mark.parametrize(
    "method, expected",
    [
        # The comment and the template are the two "#other" entries.
        ("get_descendants",
         ["div", "p", "text:a", "b", "text:b", "#other", "#other", "text:t", "i"]),
        ("get_all_descendants_with_text",
         ["div", "p", "text:a", "b", "text:b", "text:t", "i"]),
    ],
)
def test_descendants_in_document_order(parse, method, expected):
    _, root = parse("<div><p>a<b>b</b></p><!--c--><template><u>in</u></template></div>t<i></i>")
    assert [describe(n) for n in getattr(body_of(root), method)()] == expected


def test_descendants_hold_the_comment_but_with_text_does_not(parse):
    _, root = parse(MIXED)
    body = body_of(root)
    comment = body.get_children()[2]
    assert comment.get_gumbo_node() in tokens(body.get_descendants())
    assert comment.get_gumbo_node() not in tokens(body.get_all_descendants_with_text())


@pytest.mark.parametrize(
    "start, expected",
    [
        ((3, 0, 0), [(3, 0), (3,), (), "html"]),
        ((3, 0), [(3,), (), "html"]),
        ((2,), [(), "html"]),
        ((), ["html"]),
    ],
    ids=["text", "span", "comment", "body"],
)
def test_all_parents_nearest_first_up_to_html(parse, start, expected):
    _, root = parse(MIXED)
    body = body_of(root)
    assert tokens(at(body, start).get_all_parents()) == [token(at(body, p)) for p in expected]


def test_template_is_skipped_by_nothing_but_element_tests_in_ancestry(parse):
    _, root = parse(TEMPLATE_FIRST)
    template = at(body_of(root), (0, 0))
    assert [n.get_name() for n in template.get_all_parents()] == ["div", "body", "html"]


# Body children: 0 text x, 1 <p>, 2 whitespace, 3 comment, 4 <b>, 5 text y, 6 template, 7 <i>.
SIBLINGS = "x<p>1</p> <!--c--><b>2</b>y<template></template><i>3</i>"


@pytest.mark.parametrize(
    "method, start, expected",
    [
        ("get_all_next_siblings_including_text", 1, [2, 4, 5, 7]),
        ("get_all_next_siblings_including_text", 0, [1, 2, 4, 5, 7]),
        ("get_all_next_siblings_including_text", 3, [4, 5, 7]),
        ("get_all_next_siblings_including_text", 6, [7]),
        ("get_all_next_siblings_including_text", 7, []),
        ("get_all_previous_siblings_including_text", 7, [0, 1, 2, 4, 5]),
        ("get_all_previous_siblings_including_text", 2, [0, 1]),
        ("get_all_previous_siblings_including_text", 6, [0, 1, 2, 4, 5]),
        ("get_all_previous_siblings_including_text", 0, []),
    ],
)
def test_sibling_runs_keep_elements_and_text_only(parse, method, start, expected):
    _, root = parse(SIBLINGS)
    children = body_of(root).get_children()
    assert tokens(getattr(children[start], method)()) == tokens(children[i] for i in expected)


def test_next_siblings_of_p_in_the_mixed_body(parse):
    _, root = parse(MIXED)
    p = body_of(root).get_children()[0]
    assert [describe(n) for n in p.get_all_next_siblings_including_text()] == ["text:text", "div"]


# --- Kinds and non-element handles ------------------------------------------------------------

KINDS = {
    # html, path from <body> (or "document"), (is_element, is_text, is_document)
    "element": ("<p>x</p>", (0,), (True, False, False)),
    "text": ("<p>x</p>", (0, 0), (False, True, False)),
    "whitespace": ("<body>\n<p>x</p>", (0,), (False, True, False)),
    "comment": ("<body><!--c--><p>x</p>", (0,), (False, False, False)),
    "cdata": ("<svg><![CDATA[c]]></svg>", (0, 0), (False, False, False)),
    "template": ("<div><template><b>t</b></template></div>", (0, 0), (False, False, False)),
    "document": ("<p>x</p>", "document", (False, False, True)),
}


def kind_node(root, path):
    if path == "document":
        return root.get_parent()
    return at(body_of(root), path)


@pytest.mark.parametrize("kind", list(KINDS))
def test_kind_tests(parse, kind):
    html, path, expected = KINDS[kind]
    _, root = parse(html)
    node = kind_node(root, path)
    assert (node.is_element(), node.is_text(), node.is_document()) == expected


@pytest.mark.parametrize("kind", ["text", "whitespace", "comment", "cdata", "template"])
def test_leaf_kinds_have_nothing_below_them(parse, kind):
    html, path, _ = KINDS[kind]
    _, root = parse(html)
    node = kind_node(root, path)
    below = [node.get_children(), node.get_descendants(), node.get_all_descendants_with_text()]
    assert below == [[], [], []]


def test_template_is_listed_by_its_parent_but_never_entered(parse):
    _, root = parse("<div><template id='t'><b>t</b></template><p>y</p></div>")
    div = body_of(root).get_children()[0]
    template = div.get_children()[0]
    assert template.get_children() == []
    assert tokens(div.get_descendants()) == tokens(
        [template, div.get_children()[1], div.get_children()[1].get_children()[0]]
    )
    assert template.get_gumbo_node() not in tokens(div.get_all_descendants_with_text())
    assert "b" not in [n.get_name() for n in root.get_descendants()]


# --- The handle cache -------------------------------------------------------------------------

def test_parent_of_a_child_is_the_very_same_object(parse):
    _, root = parse(MIXED)
    body = body_of(root)
    for child in body.get_children():
        assert child.get_parent() is body
    assert body.get_parent() is root


def test_repeated_lists_return_the_same_objects_while_alive(parse):
    _, root = parse(MIXED)
    body = body_of(root)
    first = body.get_children()
    second = body.get_children()
    assert all(a is b for a, b in zip(first, second, strict=True))
    descendants = body.get_descendants()
    assert all(any(d is c for d in descendants) for c in first)


def test_every_route_to_a_node_meets_the_same_object(parse):
    _, root = parse(MIXED)
    body = body_of(root)
    div = body.get_children()[3]
    assert body.get_children()[0].get_next_element() is div
    assert div.get_children()[0].get_parent() is div
    assert div.get_children()[0].get_all_parents()[0] is div
    assert root.find_all("div")[0] is div
    assert body.find_all("div")[0] is div
    assert body.find_all_parallel("div")[0] is div
    assert body.get_descendants()[4] is div


def test_identity_tokens_tell_nodes_apart(parse):
    _, root = parse(MIXED)
    document = root.get_parent()
    all_tokens = tokens(document.get_descendants()) + [document.get_gumbo_node()]
    assert all(type(t) is int and t > 0 for t in all_tokens)
    assert len(set(all_tokens)) == len(all_tokens)


def test_a_dead_handle_is_recreated_for_the_same_parser_node(parse):
    tree, root = parse(MIXED)
    span = body_of(root).get_children()[3].get_children()[0]
    span_token = span.get_gumbo_node()
    del span
    gc.collect()
    again = root.get_descendants()[-2]
    assert again.get_gumbo_node() == span_token
    assert again.get_name() == "span"
    assert again.get_parent().get_name() == "div"


def test_root_object_is_recreated_after_python_drops_it(parse):
    tree, root = parse("<p>x</p>")
    root_token = root.get_gumbo_node()
    del root
    gc.collect()
    root = tree.get_root()
    assert root.get_gumbo_node() == root_token
    assert root.get_children()[1].get_parent() is root


def test_nodes_of_two_trees_never_share_tokens():
    first = velkaron.Tree("<p>x</p>")
    second = velkaron.Tree("<p>x</p>")
    assert first.get_root() is not second.get_root()
    a = set(tokens(first.get_root().get_parent().get_descendants()))
    b = set(tokens(second.get_root().get_parent().get_descendants()))
    assert not a & b
