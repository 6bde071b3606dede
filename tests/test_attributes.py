"""Names and attributes, and the edit-named methods, which answer but never change the
document."""

import pytest


def first_in_body(root):
    return root.get_children()[1].get_children()[0]


# --- get_name ---------------------------------------------------------------------------------

@pytest.mark.parametrize(
    "html, expected",
    [
        ("<DIV>x</DIV>", "div"),
        ("<Section>x</Section>", "section"),
        ("<my-widget>x</my-widget>", ""),
        ("<foo>x</foo>", ""),
        ("<svg></svg>", "svg"),
        ("<math></math>", "math"),
        ("<body><template>t</template></body>", ""),
        ("<body><!--c--></body>", ""),
        ("<body>text</body>", ""),
    ],
    ids=["upper-case", "mixed-case", "custom-element", "unknown-tag", "svg", "math",
         "template", "comment", "text"],
)
def test_get_name(parse, html, expected):
    _, root = parse(html)
    assert first_in_body(root).get_name() == expected


def test_get_name_of_root_head_body_and_document(parse):
    _, root = parse("")
    assert root.get_name() == "html"
    assert [child.get_name() for child in root.get_children()] == ["head", "body"]
    assert root.get_parent().get_name() == ""


def test_get_name_of_foreign_elements_is_the_lower_case_tag(parse, element):
    _, root = parse("<svg><foreignObject><p>x</p></foreignObject><clipPath/></svg>")
    svg = element(root, "svg")
    assert [child.get_name() for child in svg.get_children()] == ["foreignobject", ""]


# --- get_attributes / get_attribute / has_attribute -------------------------------------------

def test_attributes_come_out_in_byte_order_of_their_names(parse):
    _, root = parse("<a title='t' href='h' class='c' data-x='1' data='0' b=''>x</a>")
    attributes = first_in_body(root).get_attributes()
    assert list(attributes) == ["b", "class", "data", "data-x", "href", "title"]
    assert attributes == {"b": "", "class": "c", "data": "0", "data-x": "1", "href": "h",
                          "title": "t"}


def test_mixed_case_svg_names_sort_by_bytes_not_by_letters(parse, element):
    # "viewBox" < "viewbax" byte-wise because "B" < "b"; a case-folding order would swap them.
    _, root = parse("<svg viewbax='2' viewBox='0 0 10 10' version='1.1'></svg>")
    svg = element(root, "svg")
    assert list(svg.get_attributes()) == ["version", "viewBox", "viewbax"]
    assert svg.get_attribute("viewBox") == "0 0 10 10"
    assert svg.get_attribute("viewbox") == ""
    assert svg.has_attribute("viewBox") and not svg.has_attribute("viewbox")


def test_attribute_names_from_the_source_are_lower_cased(parse):
    _, root = parse("<a HREF='h' Data-X='v'>x</a>")
    a = first_in_body(root)
    assert a.get_attributes() == {"data-x": "v", "href": "h"}
    assert a.get_attribute("href") == "h"
    assert a.get_attribute("HREF") == ""
    assert a.get_attribute("Data-X") == ""


def test_a_repeated_attribute_keeps_the_first_value(parse):
    # The parser drops later duplicates, so every reader sees the first.
    _, root = parse("<a x='1' href='h' X='2' x='3'>x</a>")
    a = first_in_body(root)
    assert a.get_attributes() == {"href": "h", "x": "1"}
    assert a.get_attribute("x") == "1"


def test_values_are_decoded_and_kept_exactly(parse):
    _, root = parse("<a title='a&amp;b &lt;c&gt;' alt=' spaced ' lang=żółw data-n=&#x41;>x</a>")
    assert first_in_body(root).get_attributes() == {
        "alt": " spaced ", "data-n": "A", "lang": "żółw", "title": "a&b <c>"
    }


@pytest.mark.parametrize(
    "html, name, value, present",
    [
        ("<a href='h'>x</a>", "href", "h", True),
        ("<a href='h'>x</a>", "HREF", "", False),
        ("<a href='h'>x</a>", "hre", "", False),
        ("<a href='h'>x</a>", "href ", "", False),
        ("<a href='h'>x</a>", "", "", False),
        ("<input disabled>", "disabled", "", False),
        ("<input value=''>", "value", "", False),
        ("<input value='0'>", "value", "0", True),
        ("<input value=' '>", "value", " ", True),
        ("<p>x</p>", "class", "", False),
    ],
)
def test_get_attribute_and_has_attribute(parse, html, name, value, present):
    _, root = parse(html)
    node = first_in_body(root)
    assert node.get_attribute(name) == value
    assert node.has_attribute(name) is present


@pytest.mark.parametrize("name", [b"href", bytearray(b"href")], ids=["bytes", "bytearray"])
def test_attribute_name_may_be_given_as_bytes(parse, name):
    _, root = parse("<a href='h'>x</a>")
    a = first_in_body(root)
    assert a.get_attribute(name) == "h"
    assert a.has_attribute(name) is True


@pytest.mark.parametrize("method", ["get_attribute", "has_attribute"])
@pytest.mark.parametrize("keyword", ["arg0", "name"])
def test_attribute_name_is_positional_only(parse, method, keyword):
    _, root = parse("<a href='h'>x</a>")
    with pytest.raises(TypeError):
        getattr(first_in_body(root), method)(**{keyword: "href"})


@pytest.mark.parametrize("name", [None, 1, ["href"]])
def test_attribute_name_must_be_a_string(parse, name):
    _, root = parse("<a href='h'>x</a>")
    with pytest.raises(TypeError):
        first_in_body(root).get_attribute(name)


@pytest.mark.parametrize(
    "html, path",
    [
        ("<p>text</p>", (0, 0)),
        ("<body><!--c--></body>", (0,)),
        ("<div><template id='t' class='c'>x</template></div>", (0, 0)),
        ("", "document"),
    ],
    ids=["text", "comment", "template", "document"],
)
def test_non_elements_have_no_name_and_no_attributes(parse, html, path):
    _, root = parse(html)
    if path == "document":
        node = root.get_parent()
    else:
        node = root.get_children()[1]
        for position in path:
            node = node.get_children()[position]
    assert node.get_name() == ""
    assert node.get_attributes() == {}
    assert node.get_attribute("id") == ""
    assert node.has_attribute("id") is False


# --- Edit-named methods -----------------------------------------------------------------------

EDIT_DOC = (
    "<div id='d' class='c'><a href='/x'>link</a><p>para <b>bold</b></p><!--c--></div>"
    "<ul><li>1</li></ul>"
)


def snapshot(tree):
    """Everything a caller can read back from the document."""
    document = tree.get_root().get_parent()
    nodes = document.get_descendants()
    return (
        [(n.get_gumbo_node(), n.get_name(), n.get_attributes(), n.get_text(),
          [c.get_gumbo_node() for c in n.get_children()]) for n in nodes],
        tree.get_indexed_element_count(),
        [n.get_gumbo_node() for n in tree.get_root().find_all("a")],
        tree.get_root().get_all_hrefs(),
    )


def targets(root):
    body = root.get_children()[1]
    div, ul = body.get_children()
    return div, div.get_children()[0], ul


EDITS = {
    "decompose": lambda node, other: node.decompose(),
    "clear": lambda node, other: node.clear(),
    "set_attribute": lambda node, other: node.set_attribute("href", "/changed"),
    "set_attribute-new": lambda node, other: node.set_attribute("x", "y"),
    "remove_attribute": lambda node, other: node.remove_attribute("href"),
    "replace_with": lambda node, other: node.replace_with(other),
    "replace_with-None": lambda node, other: node.replace_with(None),
    "append": lambda node, other: node.append(other),
    "append-None": lambda node, other: node.append(None),
    "append-self": lambda node, other: node.append(node),
    "insert": lambda node, other: node.insert(0, other),
    "insert-negative": lambda node, other: node.insert(-7, other),
    "insert-None": lambda node, other: node.insert(3, None),
}


@pytest.mark.parametrize("edit", list(EDITS))
def test_edit_named_methods_return_none_and_change_nothing(parse, edit):
    tree, root = parse(EDIT_DOC)
    div, a, ul = targets(root)
    before = snapshot(tree)
    assert EDITS[edit](a, ul) is None
    assert EDITS[edit](div, ul) is None
    assert snapshot(tree) == before
    assert a.get_parent() is div and a.get_attribute("href") == "/x"


@pytest.mark.parametrize("method", ["extract", "unwrap"])
def test_extract_and_unwrap_return_this_very_node(parse, method):
    tree, root = parse(EDIT_DOC)
    div, a, _ = targets(root)
    before = snapshot(tree)
    result = getattr(a, method)()
    assert result is a
    assert result.get_gumbo_node() == a.get_gumbo_node()
    assert getattr(root.get_parent(), method)() is root.get_parent()
    assert snapshot(tree) == before
    assert a.get_parent() is div


def test_extract_after_python_dropped_the_node_gives_an_equivalent_handle(parse):
    tree, root = parse(EDIT_DOC)
    a_token = targets(root)[1].get_gumbo_node()
    result = targets(root)[1].extract()
    assert result.get_gumbo_node() == a_token
    assert result.get_name() == "a"


def test_wrap_returns_the_wrapper_or_this_node(parse):
    tree, root = parse(EDIT_DOC)
    div, a, ul = targets(root)
    before = snapshot(tree)
    assert a.wrap(ul) is ul
    assert a.wrap(None) is a
    assert a.wrap(a) is a
    assert snapshot(tree) == before


def test_edits_accept_a_node_of_another_tree(parse):
    tree, root = parse(EDIT_DOC)
    _, other_root = parse("<span>o</span>")
    div, a, _ = targets(root)
    before = snapshot(tree)
    a.append(other_root)
    a.replace_with(other_root)
    a.insert(1, other_root)
    assert a.wrap(other_root) is other_root
    assert snapshot(tree) == before


@pytest.mark.parametrize(
    "call",
    [
        lambda n, o: n.decompose(1),
        lambda n, o: n.set_attribute("x"),
        lambda n, o: n.set_attribute(1, "y"),
        lambda n, o: n.set_attribute(name="x", value="y"),
        lambda n, o: n.remove_attribute(None),
        lambda n, o: n.append("x"),
        lambda n, o: n.replace_with(o, o),
        lambda n, o: n.insert("0", o),
        lambda n, o: n.insert(0.5, o),
        lambda n, o: n.insert(0, "x"),
        lambda n, o: n.insert(1 << 64, o),
        lambda n, o: n.wrap("x"),
        lambda n, o: n.unwrap(o),
    ],
    ids=["decompose-arg", "set-one-arg", "set-int-name", "set-keywords", "remove-None",
         "append-str", "replace-two-args", "insert-str-position", "insert-float-position",
         "insert-str-node", "insert-huge-position", "wrap-str", "unwrap-arg"],
)
def test_edit_named_methods_reject_wrong_arguments(parse, call):
    tree, root = parse(EDIT_DOC)
    _, a, ul = targets(root)
    with pytest.raises(TypeError):
        call(a, ul)
