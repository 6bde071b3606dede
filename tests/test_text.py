"""The seven text methods: which pieces count, how separators go between them, and which bytes
trimming removes."""

import pytest

SEP = "|"

# Each case: markup placed in <body> (the node under test is the first child of body) and the
# answer of every method; separator methods are called with SEP unless the case says otherwise.
CASES = {
    "nested-inline": (
        "<p>Hello <b>world</b>!</p>",
        {
            "get_text": "Hello world!",
            "get_strings": ["Hello ", "world", "!"],
            "get_text_with_separator": "Hello |world|!",
            "get_text_stripped": "Hello world!",
            "get_text_with_separator_stripped": "Hello |world|!",
            "get_stripped_strings": ["Hello", "world", "!"],
            "get_direct_text": "Hello !",
        },
    ),
    "comment-skipped": (
        "<p>a<!--x-->b</p>",
        {
            "get_text": "ab",
            "get_strings": ["a", "b"],
            "get_text_with_separator": "a|b",
            "get_text_stripped": "ab",
            "get_text_with_separator_stripped": "a|b",
            "get_stripped_strings": ["a", "b"],
            "get_direct_text": "ab",
        },
    ),
    "script-and-style-included": (
        "<div><script>var x=1;</script><style>p{}</style>t</div>",
        {
            "get_text": "var x=1;p{}t",
            "get_strings": ["var x=1;", "p{}", "t"],
            "get_text_with_separator": "var x=1;|p{}|t",
            "get_text_stripped": "var x=1;p{}t",
            "get_text_with_separator_stripped": "var x=1;|p{}|t",
            "get_stripped_strings": ["var x=1;", "p{}", "t"],
            "get_direct_text": "t",
        },
    ),
    "template-excluded": (
        "<div>x<template>y<b>z</b></template></div>",
        {
            "get_text": "x",
            "get_strings": ["x"],
            "get_text_with_separator": "x",
            "get_text_stripped": "x",
            "get_text_with_separator_stripped": "x",
            "get_stripped_strings": ["x"],
            "get_direct_text": "x",
        },
    ),
    "cdata-skipped": (
        "<div><svg><![CDATA[c]]><text>t</text></svg>d</div>",
        {
            "get_text": "td",
            "get_strings": ["t", "d"],
            "get_text_with_separator": "t|d",
            "get_text_stripped": "td",
            "get_text_with_separator_stripped": "t|d",
            "get_stripped_strings": ["t", "d"],
            "get_direct_text": "d",
        },
    ),
    "whitespace-pieces": (
        "<ul>\n<li>a</li>\n</ul>",
        {
            "get_text": "\na\n",
            "get_strings": ["\n", "a", "\n"],
            "get_text_with_separator": "\n|a|\n",
            "get_text_stripped": "a",
            "get_text_with_separator_stripped": "|a|",
            "get_stripped_strings": ["a"],
            "get_direct_text": "\n\n",
        },
    ),
    "inner-whitespace-kept": (
        "<p> a <b> b </b> c </p>",
        {
            "get_text": " a  b  c ",
            "get_strings": [" a ", " b ", " c "],
            "get_text_with_separator": " a | b | c ",
            "get_text_stripped": "a  b  c",
            "get_text_with_separator_stripped": "a | b | c",
            "get_stripped_strings": ["a", "b", "c"],
            "get_direct_text": " a  c ",
        },
    ),
    "single-piece": (
        "<p>x</p>",
        {
            "get_text": "x",
            "get_strings": ["x"],
            "get_text_with_separator": "x",
            "get_text_stripped": "x",
            "get_text_with_separator_stripped": "x",
            "get_stripped_strings": ["x"],
            "get_direct_text": "x",
        },
    ),
    "no-text": (
        "<div><br><img src='a'><!--c--></div>",
        {
            "get_text": "",
            "get_strings": [],
            "get_text_with_separator": "",
            "get_text_stripped": "",
            "get_text_with_separator_stripped": "",
            "get_stripped_strings": [],
            "get_direct_text": "",
        },
    ),
    "all-whitespace": (
        "<div> \n\t <span>\r\n</span></div>",
        {
            "get_text": " \n\t \n",
            "get_strings": [" \n\t ", "\n"],
            "get_text_with_separator": " \n\t |\n",
            "get_text_stripped": "",
            "get_text_with_separator_stripped": "|",
            "get_stripped_strings": [],
            "get_direct_text": " \n\t ",
        },
    ),
    # Character references reach every byte of the trimming set, including CR, FF and VT.
    "six-byte-trim-set": (
        "<p>&#12;&#11;&#13;\t\n a&#11;b &#13;&#12;\t&#11;</p>",
        {
            "get_text": "\x0c\x0b\r\t\n a\x0bb \r\x0c\t\x0b",
            "get_strings": ["\x0c\x0b\r\t\n a\x0bb \r\x0c\t\x0b"],
            "get_text_with_separator": "\x0c\x0b\r\t\n a\x0bb \r\x0c\t\x0b",
            "get_text_stripped": "a\x0bb",
            "get_text_with_separator_stripped": "a\x0bb",
            "get_stripped_strings": ["a\x0bb"],
            "get_direct_text": "\x0c\x0b\r\t\n a\x0bb \r\x0c\t\x0b",
        },
    ),
    "nbsp-not-trimmed": (
        "<p>&nbsp; x &nbsp;<b>\u2003y\u3000</b></p>",
        {
            "get_text": "\xa0 x \xa0\u2003y\u3000",
            "get_strings": ["\xa0 x \xa0", "\u2003y\u3000"],
            "get_text_with_separator": "\xa0 x \xa0|\u2003y\u3000",
            "get_text_stripped": "\xa0 x \xa0\u2003y\u3000",
            "get_text_with_separator_stripped": "\xa0 x \xa0|\u2003y\u3000",
            "get_stripped_strings": ["\xa0 x \xa0", "\u2003y\u3000"],
            "get_direct_text": "\xa0 x \xa0",
        },
    ),
    "entities-and-non-ascii": (
        "<p>a &amp; b&lt;<i>żółw 猫</i></p>",
        {
            "get_text": "a & b<żółw 猫",
            "get_strings": ["a & b<", "żółw 猫"],
            "get_text_with_separator": "a & b<|żółw 猫",
            "get_text_stripped": "a & b<żółw 猫",
            "get_text_with_separator_stripped": "a & b<|żółw 猫",
            "get_stripped_strings": ["a & b<", "żółw 猫"],
            "get_direct_text": "a & b<",
        },
    ),
}

SEPARATED = {"get_text_with_separator", "get_text_with_separator_stripped"}


def call(node, method, separator=SEP):
    if method in SEPARATED:
        return getattr(node, method)(separator)
    return getattr(node, method)()


def first_in_body(root):
    return root.get_children()[1].get_children()[0]


@pytest.mark.parametrize("case", list(CASES))
def test_text_methods(parse, case):
    html, answers = CASES[case]
    _, root = parse(html)
    node = first_in_body(root)
    assert {method: call(node, method) for method in answers} == answers
    assert node.get_text_with_separator("") == node.get_text()


@pytest.mark.parametrize(
    "separator, expected",
    [(", ", "a, b, c"), (" — ", "a — b — c"), ("\n", "a\nb\nc"), ("<>&", "a<>&b<>&c")],
)
def test_separator_goes_only_between_pieces(parse, separator, expected):
    _, root = parse("<ul><li>a</li><li>b</li><li>c</li></ul>")
    assert first_in_body(root).get_text_with_separator(separator) == expected


@pytest.mark.parametrize("separator", ["|", "", "  ", "\u00a0"])
def test_single_piece_has_no_separator(parse, separator):
    _, root = parse("<p>x</p>")
    assert first_in_body(root).get_text_with_separator(separator) == "x"
    assert first_in_body(root).get_text_with_separator_stripped(separator) == "x"


def test_separator_stripping_trims_separator_whitespace_at_the_ends(parse):
    _, root = parse("<ul>\n<li>a</li>\n</ul>")
    node = first_in_body(root)
    assert node.get_text_with_separator(" ") == "\n a \n"
    assert node.get_text_with_separator_stripped(" ") == "a"


def test_text_node_handle(parse):
    _, root = parse("<p>\t a b </p>")
    text = first_in_body(root).get_children()[0]
    assert text.get_text() == "\t a b "
    assert text.get_strings() == ["\t a b "]
    assert text.get_text_with_separator(SEP) == "\t a b "
    assert text.get_text_stripped() == "a b"
    assert text.get_text_with_separator_stripped(SEP) == "a b"
    assert text.get_stripped_strings() == ["a b"]
    assert text.get_direct_text() == ""


@pytest.mark.parametrize(
    "html", ["<body><!--c--></body>", "<div><template>t</template></div>"],
    ids=["comment", "template"],
)
def test_comment_and_template_handles_have_no_text(parse, html):
    _, root = parse(html)
    node = first_in_body(root)
    if node.get_name() == "div":
        node = node.get_children()[0]
    assert not node.is_element() and not node.is_text()
    for method in ("get_text", "get_text_stripped", "get_direct_text"):
        assert getattr(node, method)() == ""
    assert node.get_text_with_separator(SEP) == ""
    assert node.get_text_with_separator_stripped(SEP) == ""
    assert node.get_strings() == [] and node.get_stripped_strings() == []


def test_document_handle_reads_the_whole_document(parse):
    _, root = parse("<!--top--><title>T</title><p>a<!--in-->b</p><!--end-->")
    document = root.get_parent()
    assert document.get_text() == "Tab"
    assert document.get_strings() == ["T", "a", "b"]
    assert document.get_text_with_separator(SEP) == "T|a|b"
    assert document.get_direct_text() == ""
    assert root.get_text() == "Tab"


def test_text_follows_the_parser_tree_not_the_source_order(parse):
    # A misnested table's loose text is moved in front of the table by the parser.
    _, root = parse("<table>x<tr><td>c</td></tr></table>")
    assert root.get_children()[1].get_strings() == ["x", "c"]


def test_get_text_is_the_concatenation_of_get_strings(parse):
    html = "<div>\n<h1>T</h1><p>one <a href='#'>two</a> three</p>\n<!--c--><pre>\n x</pre></div>"
    _, root = parse(html)
    node = first_in_body(root)
    assert node.get_text() == "".join(node.get_strings())
    assert node.get_strings() == ["\n", "T", "one ", "two", " three", "\n", " x"]


@pytest.mark.parametrize("separator", [None, 1, ["|"]])
def test_separator_must_be_a_string(parse, separator):
    _, root = parse("<p>x</p>")
    with pytest.raises(TypeError):
        first_in_body(root).get_text_with_separator(separator)
    with pytest.raises(TypeError):
        first_in_body(root).get_text_with_separator_stripped(separator)
