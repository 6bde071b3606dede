"""Readable text and Markdown: the rendering rules as case files (tests/cases/clean.txt), and
hostile shapes (deep, wide, long runs) that must render whole in linear time."""

from pathlib import Path

import pytest

import velkaron

CASES = Path(__file__).parent / "cases" / "clean.txt"


def read_cases():
    """`## name key=value...`, the HTML, then `-- plain_text` / `-- markdown` and the output."""
    cases, current, section = [], None, None
    for line in CASES.read_text("utf-8").splitlines():
        if line.startswith("## "):
            name, *options = line[3:].split()
            current = {"name": name, "options": dict(o.split("=", 1) for o in options),
                       "html": [], "plain_text": None, "markdown": None}
            cases.append(current)
            section = "html"
        elif line.startswith("-- ") and current is not None:
            section = line[3:].strip()
            current[section] = []
        elif current is not None:
            current[section].append(line)
    cases_out = []
    for case in cases:
        for method in ("plain_text", "markdown"):
            if case[method] is not None:
                cases_out.append(pytest.param(
                    "\n".join(case["html"]), method, case["options"],
                    "\n".join(case[method]).rstrip("\n"), id=f"{case['name']}-{method}"))
    return cases_out


def keyword(value):
    return {"True": True, "False": False}.get(value, value)


@pytest.mark.parametrize("html, method, options, expected", read_cases())
def test_rendering_rule(html, method, options, expected):
    tree = velkaron.Tree(html)
    kwargs = {key: keyword(value) for key, value in options.items()}
    assert getattr(tree, method)(**kwargs) == expected


def test_node_renders_its_own_subtree():
    tree = velkaron.Tree("<p>before</p><div id=x><h2>Title</h2><p>a <i>b</i></p></div>")
    node = tree.root.find(attrs={"id": "x"})
    assert node.plain_text() == "Title\n\na b"
    assert node.markdown() == "## Title\n\na *b*"


DEPTH = 100_000


@pytest.mark.parametrize("tag, text, markdown", [
    ("div", "deep", "deep"),
    ("blockquote", "deep", None),
    ("ul><li", "\u2022 deep", None),
    ("b", "deep", None),
    ("table><tr><td", "deep", None),
])
def test_deep_nesting_renders_without_recursion(tag, text, markdown):
    close = tag.split("><")[0]
    # The parser itself is quadratic in depth without limits: only the div goes the whole way.
    depth = DEPTH if tag == "div" else DEPTH // 5
    html = f"<{tag}>" * depth + "deep" + f"</{close}>" * depth
    tree = velkaron.Tree(html, max_depth=None)
    plain = tree.plain_text()
    assert plain.strip().endswith(text.split()[-1])
    rendered = tree.markdown()
    assert "deep" in rendered
    if markdown is not None:
        assert rendered == markdown


@pytest.mark.parametrize("html, plain, markdown_part", [
    ("<p>" + "x " * 200_000, "x " * 199_999 + "x", "x x x"),
    ("<p>" + "<b>a</b>" * 50_000, "a" * 50_000, "**" + "a" * 50_000 + "**"),
    ("<code>" + "`" * 100_000 + "</code>", "`" * 100_000, "`" * 100_001 + " "),
    ("<table><tr>" + "<td>|</td>" * 20_000 + "</table>", "\t".join("|" * 20_000), "| \\| | \\| |"),
    ("<pre>" + "```\n" * 20_000 + "</pre>", "\n".join(["```"] * 20_000), "````\n```"),
    ("<ol>" + "<li>a" * 100_000, "\n".join(f"{i}. a" for i in range(1, 100_001)), "\n99999. a\n100000. a"),
    ("<ol><li>a</ol>" * 50_000, "\n\n".join(["1. a"] * 50_000), "1. a\n\n1) a\n\n1. a"),
    ("<p>" + "<code>a</code>" * 100_000, "a" * 100_000, "`" + "a" * 500),
])
def test_hostile_shapes_render_whole(html, plain, markdown_part):
    tree = velkaron.Tree(html)
    assert tree.plain_text() == plain
    assert markdown_part in tree.markdown()
