"""CSS selectors against soupsieve (BeautifulSoup with the html5lib tree builder, so both read
the same tree): every selector of cases/selectors.txt gives the same elements in the same order
on two fixture pages, generated pages and real pages (Debian's python3-doc, when installed). Rows
marked where soupsieve departs from the standard state velkaron's answer on the fixture."""

import glob
from pathlib import Path

import pytest

import velkaron
from support import generated_page

bs4 = pytest.importorskip("bs4")
pytest.importorskip("html5lib")

CASES = Path(__file__).parent / "cases"
FIXTURE = CASES / "select-page.html"
STATES = CASES / "select-states.html"  # direction, range, form and placeholder states
REAL_PAGES = ["library/re.html", "reference/datamodel.html", "tutorial/classes.html", "index.html"]


def read_rows():
    rows = []
    for line in (CASES / "selectors.txt").read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            selector, _, reason = line.partition("##")
            selector, arrow, expected = selector.partition("=>")
            rows.append((selector.strip(), expected.split() if arrow else None, reason.strip()))
    return rows


ROWS = read_rows()


def real_page(name):
    found = sorted(glob.glob(f"/usr/share/doc/python3*/html/{name}"))
    if not found:
        pytest.skip(f"python3-doc is not installed (no {name})")
    return Path(found[0]).read_text(encoding="utf-8", errors="replace")


PAGES = {"fixture": lambda: FIXTURE.read_text(encoding="utf-8"),
         "states": lambda: STATES.read_text(encoding="utf-8"),
         # The document's language from its head, where no lang attribute reaches.
         "pragma-language": lambda: FIXTURE.read_text(encoding="utf-8").replace(
             '<html lang="en-GB">', '<html><meta http-equiv="Content-Language" content="de">'),
         "generated-60KB": lambda: generated_page(60_000, 7),
         "generated-25KB": lambda: generated_page(25_000, 20240611),
         **{name: (lambda name=name: real_page(name)) for name in REAL_PAGES}}


def element_positions(tree):
    root = tree.get_root()
    elements = [root] + [n for n in root.get_descendants() if n.is_element()]
    return {n.get_gumbo_node(): i for i, n in enumerate(elements)}


@pytest.mark.parametrize("page", PAGES)
def test_same_elements_as_soupsieve(page):
    html = PAGES[page]()
    tree = velkaron.Tree(html)
    soup = bs4.BeautifulSoup(html, "html5lib")
    ours = element_positions(tree)
    tags = soup.find_all(True)
    assert len(tags) == len(ours), "the two parsers built different trees"
    theirs = {id(tag): i for i, tag in enumerate(tags)}
    differ = {}
    for selector, expected, _ in ROWS:
        if expected is None:
            got = [ours[n.get_gumbo_node()] for n in tree.select(selector)]
            want = [theirs[id(tag)] for tag in soup.select(selector)]
            if got != want:
                differ[selector] = (got, want)
    assert differ == {}
    assert len(ROWS) >= 100


@pytest.mark.parametrize("selector, expected, reason", [r for r in ROWS if r[1] is not None])
def test_where_soupsieve_departs_from_the_standard(selector, expected, reason):
    tree = velkaron.Tree(FIXTURE.read_text(encoding="utf-8"))
    assert reason
    assert ["#" + n.get_attribute("id") for n in tree.select(selector)] == expected
