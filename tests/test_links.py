"""Tree.links: a table of tricky references and the document's base, and every link of real
pages compared with ada-url's resolver under several bases."""

import glob
import html
import json
from pathlib import Path

import pytest

import velkaron

ada_url = pytest.importorskip("ada_url")

CASES = Path(__file__).parent / "cases" / "links.txt"
PAGES = sorted(glob.glob("/usr/share/doc/python3*/html/**/*.html", recursive=True)
               + glob.glob("/usr/share/doc/nodejs/**/*.html", recursive=True))
BASES = ["https://docs.example.org/3/library/index.html", "file:///C:/doc/api/x.html",
         "http://u@[::1]:8080/a/b/?q#f", "foo://host/a/b"]

def rows():
    return [json.loads(line) for line in CASES.read_text().splitlines()
            if line and not line.startswith("#")]

def ada_join(base, reference):
    try:
        return ada_url.join_url(base, reference)
    except ValueError:
        return None

@pytest.mark.parametrize("reference, base, expected, why", rows())
def test_tricky_reference(reference, base, expected, why):
    got = velkaron.Tree(f'<a href="{html.escape(reference)}">x</a>').links(base)
    assert got == [expected]
    assert (got[0] == reference) if why else (got[0] == ada_join(base, reference))

@pytest.mark.parametrize("markup, base_url, expected", [
    ('<base href="/r/"><a href="x">', "http://h/a/b", ["http://h/r/x"]),
    ('<base><base href="//o/"><base href="/no/"><a href="x">', "http://h/", ["http://o/x"]),
    ('<base href="http://[::1"><a href="x">', "http://h/a/", ["http://h/a/x"]),
    ('<base href="https://b/c/"><a href="x">', None, ["https://b/c/x"]),
    ('<base href="/r/"><a href="x">', None, ["x"]),
    ('<a href="x">', "not a url", ["x"]),
    ('<a href="x">', " \x01http://h/d/\x1f ", ["http://h/d/x"]),
    ('<a href="1"><map><area href="2"><area></map><a>n</a><svg><a href="3"/></svg><a href="">',
     "http://h/p", ["http://h/1", "http://h/2", "http://h/3", "http://h/p"]),
    ('<template><a href="t"></template><a href=" mailto:x ">', "http://h/", [" mailto:x "]),
])
def test_document_base_and_order(markup, base_url, expected):
    assert velkaron.Tree(markup).links(base_url) == expected

def test_hostile_references_resolve_in_linear_time():
    long_path = "../" * 100_000 + "a/" * 100_000
    markup = f'<a href="{long_path}"></a><a href="http://{"u@" * 100_000}h/"></a>'
    links = velkaron.Tree(markup).links("http://h/" + "d/" * 50_000)
    assert links[0] == "http://h/" + "a/" * 100_000
    assert links[1].startswith("http://u%40u%40") and links[1].endswith("@h/")

def expected_link(href, base):
    """ada's answer, or the href as written where the resolver keeps it."""
    joined = ada_join(base, href)
    if joined is None:
        return href
    parsed = ada_url.URL(joined)
    if parsed.protocol in ("javascript:", "mailto:") or "xn--" in parsed.hostname:
        return href
    return joined

@pytest.mark.skipif(not PAGES, reason="python3-doc and nodejs-doc are not installed")
def test_every_link_of_real_pages_matches_ada():
    mismatches = []
    for page in PAGES[::3]:
        tree = velkaron.parse(Path(page).read_bytes())
        hrefs = [a.get_attribute("href") for a in tree.select("a[href], area[href]")]
        for base in BASES:
            for href, got in zip(hrefs, tree.links(base), strict=True):
                if got != expected_link(href, base):
                    mismatches.append((page, base, href, got))
    assert mismatches == []
