"""The html5lib tree-construction suite, compared through the public API only.

Each document case is parsed with velkaron and both trees are reduced to the same projection:
elements as name plus sorted attributes, text with adjacent runs merged, in document order.
Left out on both sides: the doctype, comments, namespaces (of elements and attributes), and
template elements with their contents (a template is not an element to the API and its
contents are not reachable). Fragment cases (#document-fragment) are not run.

Element names are compared as the parser gives them: its lower-case canonical name for tags it
knows, the empty string for tags it does not know (custom elements, most SVG and MathML
elements). The expected side is mapped the same way with the parser's own tag table, read from
the gumbo library that the extension loaded.

The suite's expectations follow today's HTML parsing rules; the installed gumbo (0.10.1)
implements older ones. Cases that cannot be compared are skipped (NOT_COMPARABLE); every
compared case where the two disagree is listed in KNOWN_DIFFERENCES, grouped by the reason, and
is expected to fail (strict: a case that starts passing must come off the list).
test_pass_count_and_known_differences pins the number of passing cases.
"""

import ctypes
import os
import re
from pathlib import Path

import pytest

import velkaron

REPO_ROOT = Path(__file__).resolve().parents[1]
SUITE_DIR = REPO_ROOT.parent / "shared" / "html5lib-tests" / "tree-construction"
IN_CI = os.environ.get("CI", "").lower() == "true"


# --- The parser's tag table --------------------------------------------------------------------


def loaded_gumbo():
    """The gumbo shared library mapped into this process by the extension."""
    import _velkaron  # noqa: F401  (loads libgumbo)

    with open("/proc/self/maps") as maps:
        for line in maps:
            path = line.split()[-1]
            if "libgumbo" in Path(path).name:
                return ctypes.CDLL(path)
    raise RuntimeError("the extension did not load a shared gumbo library")


class TagTable:
    def __init__(self):
        gumbo = loaded_gumbo()
        self._enum = gumbo.gumbo_tag_enum
        self._enum.argtypes = [ctypes.c_char_p]
        self._enum.restype = ctypes.c_int
        self._name = gumbo.gumbo_normalized_tagname
        self._name.argtypes = [ctypes.c_int]
        self._name.restype = ctypes.c_char_p
        self._unknown = self._enum(b"no-such-element-anywhere")
        self._cache = {}

    def api_name(self, name):
        """The name get_name() gives an element the parser created for `name`."""
        if name not in self._cache:
            tag = self._enum(name.encode())
            self._cache[name] = "" if tag == self._unknown else self._name(tag).decode()
        return self._cache[name]


# --- Projection ---------------------------------------------------------------------------------
# A projected child list is a list of items: a str for a text run, or a tuple
# (name, ((attribute, value), ...), children) for an element.


def merge_text(items):
    merged = []
    for item in items:
        if isinstance(item, str) and merged and isinstance(merged[-1], str):
            merged[-1] += item
        elif item != "":
            merged.append(item)
    return merged


def project_velkaron(node):
    """The projection of `node`'s children, read through the public API only."""
    items = []
    for child in node.get_children():
        if child.is_element():
            attributes = tuple(sorted(child.get_attributes().items()))
            items.append((child.get_name(), attributes, project_velkaron(child)))
        elif child.is_text():
            items.append(child.get_text())
        # Anything else (comment, CDATA, template) is neither an element nor text to the API.
    return merge_text(items)


def velkaron_document(html):
    tree = velkaron.Tree(html)
    return project_velkaron(tree.get_root().get_parent())


def dump(items, depth=0):
    """Readable text of a projection, one node per line, for assertion messages."""
    lines = []
    for item in items:
        pad = "  " * depth
        if isinstance(item, str):
            lines.append(f'{pad}"{item}"')
        else:
            name, attributes, children = item
            lines.append(f"{pad}<{name}>")
            lines.extend(f'{pad}  {key}="{value}"' for key, value in attributes)
            lines.append(dump(children, depth + 1))
    return "\n".join(line for line in lines if line)


# --- The .dat format -----------------------------------------------------------------------------


def read_cases(path):
    """(index, data, options, document lines) for every case of one .dat file."""
    text = path.read_bytes().decode("utf-8")  # keeps carriage returns as they are
    cases = []
    for index, chunk in enumerate(re.split(r"\n\n(?=#data\n)", text.rstrip("\n") + "\n")):
        lines = chunk.split("\n")
        assert lines[0] == "#data", f"{path.name} case {index}"
        sections, current = {}, None
        for line in lines[1:]:
            if line.startswith("#") and line[1:] in {
                "errors",
                "new-errors",
                "document",
                "document-fragment",
                "script-off",
                "script-on",
            }:
                current = line[1:]
                sections.setdefault(current, [])
            elif current is None:
                sections.setdefault("data", []).append(line)
            else:
                sections[current].append(line)
        data = "\n".join(sections.get("data", []))
        document = [line for line in sections.get("document", [])]
        while document and document[-1] == "":
            document.pop()
        options = {
            key for key in sections if key in {"document-fragment", "script-off", "script-on"}
        }
        cases.append((index, data, options, document))
    return cases


def node_lines(document):
    """Groups the dump's lines into nodes: (depth, text). Text, comments and attribute values
    may span several lines; a node ends where the next line starting with "| " begins and the
    node's text is complete."""
    nodes = []
    i = 0
    while i < len(document):
        line = document[i]
        assert line.startswith("| "), line
        body = line[2:]
        depth = (len(body) - len(body.lstrip(" "))) // 2
        content = body[depth * 2 :]
        closing = None
        if content.startswith('"'):
            closing = '"'
        elif content.startswith("<!-- "):
            closing = " -->"
        elif not content.startswith("<") and "=" in content and content != "content":
            closing = '"'
        while closing is not None:
            complete = len(content) > len(closing) and content.endswith(closing)
            if complete and (i + 1 == len(document) or document[i + 1].startswith("| ")):
                break
            if i + 1 == len(document):
                break
            i += 1
            content += "\n" + document[i]
        nodes.append((depth, content))
        i += 1
    return nodes


def project_expected(document, tags):
    """The projection of the expected tree's document node."""
    root = []
    # stack of (depth, child list, attribute list or None)
    stack = [(-1, root, None)]
    skip_below = None  # depth of a template being left out
    for depth, content in node_lines(document):
        if skip_below is not None:
            if depth > skip_below:
                continue
            skip_below = None
        while stack[-1][0] >= depth:
            stack.pop()
        parent_children, parent_attributes = stack[-1][1], stack[-1][2]
        if content.startswith("<!DOCTYPE") or content.startswith("<!-- "):
            continue
        if content.startswith('"'):
            parent_children.append(content[1:-1])
        elif content.startswith("<") and content.endswith(">"):
            qualified = content[1:-1]
            namespace, _, local = qualified.rpartition(" ")
            if local == "template" and namespace == "":
                skip_below = depth
                continue
            children, attributes = [], []
            parent_children.append((tags.api_name(local), attributes, children))
            stack.append((depth, children, attributes))
        elif content == "content":
            skip_below = depth  # template contents (templates themselves are skipped already)
        else:
            name, _, value = content.partition("=")
            assert parent_attributes is not None, content
            # Namespaced attributes ("xlink href") keep only their local name.
            parent_attributes.append((name.rpartition(" ")[2], value[1:-1]))

    def finish(items):
        out = []
        for item in items:
            if isinstance(item, str):
                out.append(item)
            else:
                name, attributes, children = item
                out.append((name, tuple(sorted(attributes)), finish(children)))
        return merge_text(out)

    return finish(root)


# --- Known differences ---------------------------------------------------------------------------


def cases(file_name, *indexes):
    return {f"{file_name}:{index}" for index in indexes}


# Cases left out before comparing, by a property of the case itself.
NOT_COMPARABLE = [
    (
        "the input holds a NUL: a velkaron document ends at the first NUL byte",
        lambda data, options: "\x00" in data,
    ),
    (
        "scripting enabled: gumbo always parses with scripting disabled "
        "(noscript content is markup)",
        lambda data, options: "script-on" in options,
    ),
]

# Cases compared and expected to differ, grouped by the reason. The installed gumbo (0.10.1)
# implements the HTML parsing rules of its time; the suite follows today's.
KNOWN_DIFFERENCES = {
    "CDATA sections inside SVG and MathML are a node kind of their own in gumbo; the API shows "
    "them as neither element nor text, so their text is missing": (
        cases("tests21.dat", 0, 1, 3, *range(6, 13), *range(14, 21), 22)
        | cases("domjs-unsafe.dat", 0, 1, 2)
    ),
    "select content: today's rules keep hr, div, button, datalist, svg, math, plaintext, keygen "
    "and formatting elements inside select; gumbo drops or moves them": (
        cases("webkit02.dat", *range(25, 36), *range(37, 43), *range(44, 48))
        | cases("tests1.dat", 29, 99)
        | cases("tests10.dat", 3, 4, 16, 17)
        | cases("tests9.dat", 4, 5, 17, 18)
        | cases("tests18.dat", 13, 14)
        | cases("tests7.dat", 33)
        | cases("menuitem-element.dat", 13)
    ),
    "isindex: gumbo still expands it into a form with a prompt and an input; today it is an "
    "ordinary unknown element": cases("isindex.dat", 0, 1, 2, 3) | cases("tests19.dat", 7),
    "menuitem: gumbo treats it as a void element that belongs in head; today it is an ordinary "
    "element with children": cases("menuitem-element.dat", 0, 2, 3, 4, 5, 7, 8, 9, *range(15, 20)),
    "search and dialog are unknown to gumbo, so they do not close an open p element": (
        cases("search-element.dat", 0, 1) | cases("blocks.dat", 12, 13)
    ),
    "end tags p and br inside SVG or MathML: today they break out of foreign content": cases(
        "tests26.dat", 16, 17, 18, 19
    ),
    "quirks mode: gumbo does not recognise these two doctypes as quirky, so a table does not "
    "stay inside an open p": cases("quirks01.dat", 2, 3),
    "adoption agency: after a table that foster-parented a marquee, a second nobr is nested in "
    "the first instead of closing it": cases("adoption02.dat", 2),
    "xml:base is no longer adjusted to a namespaced attribute; gumbo still renames it to "
    "base": cases("webkit02.dat", 22),
}

# Cases that match, out of the compared ones, measured with gumbo 0.10.1: 1470 of 1556
# (1600 document cases, 44 not comparable).
MIN_PASSED = 1470


def known_reason(case_id):
    for reason, ids in KNOWN_DIFFERENCES.items():
        if case_id in ids:
            return reason
    return None


def not_comparable_reason(data, options):
    for reason, applies in NOT_COMPARABLE:
        if applies(data, options):
            return reason
    return None


# --- Collection ----------------------------------------------------------------------------------


def collect():
    if not SUITE_DIR.is_dir():
        return []
    tags = TagTable()
    collected = []
    for path in sorted(SUITE_DIR.glob("*.dat")):
        for index, data, options, document in read_cases(path):
            if "document-fragment" in options:
                continue
            case_id = f"{path.name}:{index}"
            collected.append((case_id, data, options, project_expected(document, tags)))
    return collected


CASES = collect()
COMPARED = [case for case in CASES if not_comparable_reason(case[1], case[2]) is None]


def suite_or_skip():
    if not CASES:
        message = f"html5lib tree-construction tests not found at {SUITE_DIR}"
        if IN_CI:
            pytest.fail(message)
        pytest.skip(message)


def test_suite_is_present():
    suite_or_skip()
    assert len(CASES) == 1600
    assert len(COMPARED) == 1556


def case_params():
    params = []
    for case_id, data, options, expected in CASES:
        marks = []
        skip_reason = not_comparable_reason(data, options)
        known = known_reason(case_id)
        if skip_reason:
            marks.append(pytest.mark.skip(reason=skip_reason))
        elif known:
            marks.append(pytest.mark.xfail(reason=known, strict=True))
        params.append(pytest.param(data, expected, id=case_id, marks=marks))
    return params


@pytest.mark.parametrize(("data", "expected"), case_params())
def test_tree_construction(data, expected):
    assert dump(velkaron_document(data)) == dump(expected)


def matches(data, expected):
    try:
        return velkaron_document(data) == expected
    except UnicodeDecodeError:
        return False


def test_pass_count_and_known_differences():
    suite_or_skip()
    failed = {
        case_id for case_id, data, options, expected in COMPARED if not matches(data, expected)
    }
    passed = len(COMPARED) - len(failed)
    assert failed == set().union(*KNOWN_DIFFERENCES.values())
    assert passed >= MIN_PASSED


@pytest.mark.parametrize(
    ("html", "expected"),
    [
        pytest.param(
            "<p class=a id=b>x<b>y</b><!--c-->z</p>",
            [
                (
                    "html",
                    (),
                    [
                        ("head", (), []),
                        (
                            "body",
                            (),
                            [("p", (("class", "a"), ("id", "b")), ["x", ("b", (), ["y"]), "z"])],
                        ),
                    ],
                )
            ],
            id="elements-attributes-text-comment",
        ),
        pytest.param(
            "<my-widget>a</my-widget><template><p>t</p></template>b",
            [("html", (), [("head", (), []), ("body", (), [("", (), ["a"]), "b"])])],
            id="custom-element-and-template",
        ),
        pytest.param(
            "<svg viewBox='0 0 1 1'><foreignObject><p>q</p></foreignObject><circle/></svg>",
            [
                (
                    "html",
                    (),
                    [
                        ("head", (), []),
                        (
                            "body",
                            (),
                            [
                                (
                                    "svg",
                                    (("viewBox", "0 0 1 1"),),
                                    [("foreignobject", (), [("p", (), ["q"])]), ("", (), [])],
                                )
                            ],
                        ),
                    ],
                )
            ],
            id="foreign-names-as-the-parser-gives-them",
        ),
    ],
)
def test_projection_of_velkaron_trees(html, expected):
    # The projection itself, on trees whose shape is beyond doubt.
    assert velkaron_document(html) == expected


def test_expected_side_reader_handles_multiline_text_and_attributes():
    document = [
        "| <!DOCTYPE html>",
        "| <html>",
        "|   <head>",
        "|   <body>",
        "|     <pre>",
        '|       title="a',
        '| b"',
        '|       x=""y""',
        '|       "line one',
        '| line two"',
        "|       <!-- c -->",
        '|       "more"',
        "|     <template>",
        "|       content",
        "|         <p>",
        '|     "tail"',
    ]
    tags = TagTable()
    assert project_expected(document, tags) == [
        (
            "html",
            (),
            [
                ("head", (), []),
                (
                    "body",
                    (),
                    [
                        ("pre", (("title", "a\n| b"), ("x", '"y"')), ["line one\n| line twomore"]),
                        "tail",
                    ],
                ),
            ],
        )
    ]
