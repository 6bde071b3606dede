"""Main-content choice on pages whose article is known by construction, and on hostile shapes."""

import time
from pathlib import Path

import pytest

import velkaron

CASES = Path(__file__).parent / "cases" / "main_content.txt"


def read_cases():
    cases, name, part, lines = [], None, None, {}
    for line in CASES.read_text("utf-8").splitlines():
        if line.startswith("#"):
            continue
        if line.startswith("=== "):
            if name is not None:
                cases.append((name, lines))
            name, part, lines = line[4:], "page", {"page": [], "root": [], "dropped": []}
        elif line.startswith("--- "):
            part = line[4:]
        else:
            lines[part].append(line)
    cases.append((name, lines))
    return [pytest.param("\n".join(c["page"]), c["root"][0], [d for d in c["dropped"] if d],
                         id=n) for n, c in cases]


@pytest.mark.parametrize("page, root, dropped", read_cases())
def test_main_content_of_constructed_pages(page, root, dropped):
    tree = velkaron.Tree(page)
    assert repr(tree.main_content()) == root
    # The dropped blocks come in address order: compared as a set.
    assert sorted(repr(n) for n in tree._main_content_boilerplate()) == sorted(dropped)


def doc_pages():
    pages = sorted((Path("/usr/share/doc/python3/html").resolve() / "library").glob("*.html"))[:40]
    return pages or [pytest.param(None, marks=pytest.mark.skip("python3-doc not installed"))]


@pytest.mark.parametrize("path", doc_pages())
def test_documentation_pages_keep_their_body(path):
    # Their main content is the role="main" body: it must be found and hold the h1.
    tree = velkaron.parse(path.read_bytes())
    main = tree.main_content()
    assert main is not None
    assert main.find("h1") is not None or main.tag == "h1"
    body = tree.select_one('[role="main"]')
    assert body is not None and (main == body or body in main.get_descendants()
                                 or main in body.get_descendants())


@pytest.mark.parametrize("shape", ["deep", "wide", "text"])
def test_hostile_shapes_stay_linear(shape):
    def page(n):
        para = "<p>Some prose, with a comma, and a full stop here. Then a second sentence.</p>"
        if shape == "deep":
            return "<div>" * n + para + "</div>" * n
        if shape == "text":
            return "<article><p>" + "words, more words. " * n + "</p></article>"
        # Siblings titled by short lines, each followed by a dropped link list.
        return "<div>" + (para + "<h3>More</h3><ul><li><a href=/>x</a></li></ul>") * n + "</div>"

    def cost(n):
        tree = velkaron.Tree(page(n), max_depth=None)
        assert tree.main_content() is not None
        timings = []
        for _ in range(3):
            start = time.perf_counter()
            text = tree.plain_text(main_content=True)
            timings.append(time.perf_counter() - start)
        assert "Some prose" in text or "more words" in text
        return min(timings)

    # The parser itself slows with depth when the limit is lifted, so the deep shape is smaller.
    base = 1_000 if shape == "deep" else 10_000
    small, large = cost(base), cost(20 * base)
    assert large < small * 100   # linear is ~20x, quadratic 400x
