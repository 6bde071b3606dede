"""Differential test: generated documents parsed by velkaron and by html5lib, compared with the
projection of test_html5lib_suite.py (element names as gumbo names them, sorted attributes,
merged text; no comments, doctype, namespaces or templates).

The generator is seeded, so every run sees the same documents, and a failing seed can be
replayed with `document(seed)`. It mixes page layout, tables (with the implied and
foster-parented parts), lists, forms, links, character references and malformed markup
(misnested and unclosed tags, stray end tags, unquoted and duplicate attributes, upper case).
Differences between the two parsers that have a known cause are excluded by a check on the
document, each with its reason; every other difference fails the test.
"""

import os
import random
import re

import pytest

from test_html5lib_suite import TagTable, dump, merge_text, velkaron_document

if os.environ.get("CI", "").lower() == "true":
    import html5lib  # CI installs requirements-dev.txt: a missing peer is a failure there
else:
    html5lib = pytest.importorskip("html5lib")

DOCUMENTS = 600
SEEDS_PER_TEST = 100
# Measured: 517 of the 600 documents are compared (the checks in KNOWN_DIFFERENCES exclude
# the rest) and all but the PINNED_DIFFERENCES match.
MIN_COMPARED = 517
MIN_MATCHING = 513


# --- Generator -----------------------------------------------------------------------------------

WORDS = "alpha|beta|gamma|delta|news|price|item|menu|x|déjà vu|東京|a b".split("|")
REFERENCES = (
    "&amp;|&lt;|&gt;|&quot;|&nbsp;|&copy;|&eacute;|&#169;|&#xE9;|&#x1F600;|&amp|&copy|&notin;|"
    "&notit;|&#128;|&#0;|&#xD800;|&#1114112;|&unknown;|&"
).split("|")
INLINE = "b i em strong span code small u s a abbr q sub font nobr".split()
BLOCK = (
    "div section article header footer nav aside main p blockquote h1 h2 h3 pre address figure "
    "center dl"
).split()
VOID = "br img hr input wbr meta link area embed source".split()
CUSTOM = "my-widget x-card data-grid foo".split()
ATTRIBUTES = "id class href title data-k lang style name value type alt src".split()


class Generator:
    def __init__(self, seed):
        self.random = random.Random(seed)
        self.budget = 120

    def chance(self, p):
        return self.random.random() < p

    def pick(self, items):
        return self.random.choice(items)

    def text(self):
        parts = [self.pick(WORDS)]
        for _ in range(self.random.randint(0, 3)):
            parts.append(
                self.pick([" ", "  ", "\n", "\t", " "])
                + (self.pick(REFERENCES) if self.chance(0.3) else self.pick(WORDS))
            )
        if self.chance(0.1):
            parts.append(self.pick(["<", ">", '"', "'", "=", "</", "< b", "&&"]))
        return "".join(parts)

    def attribute_value(self):
        value = self.pick(WORDS + ["/a/b?c=1&d=2", "", "x y  z", "#frag", "&quot;q&quot;", "UPPER"])
        if self.chance(0.2):
            value += self.pick(REFERENCES)
        return value

    def attributes(self):
        names = self.random.sample(ATTRIBUTES, self.random.randint(0, 3))
        if names and self.chance(0.05):
            names.append(self.pick(names))  # a repeated attribute: the first one wins
        out = []
        for name in names:
            if self.chance(0.1):
                name = name.upper()
            value = self.attribute_value()
            style = self.random.randint(0, 4)
            if style == 0 and value and not any(c in value for c in " \t\n\"'=<>`"):
                out.append(f" {name}={value}")
            elif style == 1:
                out.append(f" {name}")
            elif style == 2:
                out.append(f" {name}='{value.replace(chr(39), '')}'")
            else:
                out.append(f' {name}="{value.replace(chr(34), "")}"')
        return "".join(out)

    def open_tag(self, name):
        tag = name.upper() if self.chance(0.05) else name
        return f"<{tag}{self.attributes()}>"

    def close_tag(self, name):
        roll = self.random.random()
        if roll < 0.08:
            return ""  # left open
        if roll < 0.12:
            return f"</{self.pick(INLINE + BLOCK)}>"  # stray or misnested
        return f"</{name}>"

    def flow(self, depth):
        out = []
        for _ in range(self.random.randint(1, 4)):
            self.budget -= 1
            if self.budget <= 0:
                break
            roll = self.random.random()
            if depth > 6 or roll < 0.25:
                out.append(self.text())
            elif roll < 0.45:
                name = self.pick(INLINE)
                out.append(self.open_tag(name) + self.flow(depth + 1) + self.close_tag(name))
            elif roll < 0.62:
                name = self.pick(BLOCK)
                out.append(self.open_tag(name) + self.flow(depth + 1) + self.close_tag(name))
            elif roll < 0.68:
                out.append(self.open_tag(self.pick(VOID)))
            elif roll < 0.74:
                out.append(self.table(depth))
            elif roll < 0.80:
                out.append(self.list_(depth))
            elif roll < 0.85:
                out.append(self.form(depth))
            elif roll < 0.90:
                out.append(self.link(depth))
            elif roll < 0.93:
                name = self.pick(CUSTOM)
                out.append(self.open_tag(name) + self.flow(depth + 1) + self.close_tag(name))
            elif roll < 0.96:
                out.append(f"<!--{self.pick(WORDS)}-->")
            else:
                out.append(self.malformed())
        return "".join(out)

    def table(self, depth):
        out = [self.open_tag("table")]
        if self.chance(0.3):
            out.append(f"<caption>{self.text()}</caption>")
        if self.chance(0.5):
            out.append("<tbody>" if self.chance(0.5) else "<thead>")
        for _ in range(self.random.randint(1, 3)):
            out.append(self.open_tag("tr") if self.chance(0.8) else "")
            for _ in range(self.random.randint(1, 3)):
                cell = self.pick(["td", "th"])
                out.append(
                    self.open_tag(cell)
                    + self.flow(depth + 2)
                    + ("" if self.chance(0.4) else f"</{cell}>")
                )
            if self.chance(0.15):
                out.append(self.text())  # foster-parented
            if self.chance(0.6):
                out.append("</tr>")
        if self.chance(0.1):
            out.append(f"<b>{self.text()}</b>")  # foster-parented element
        out.append("</table>" if self.chance(0.9) else "")
        return "".join(out)

    def list_(self, depth):
        name = self.pick(["ul", "ol"])
        items = "".join(
            self.open_tag("li") + self.flow(depth + 2) + ("</li>" if self.chance(0.5) else "")
            for _ in range(self.random.randint(1, 4))
        )
        if self.chance(0.2):
            return f"<dl><dt>{self.text()}<dd>{self.text()}</dl>"
        return self.open_tag(name) + items + self.close_tag(name)

    def form(self, depth):
        parts = [self.open_tag("form")]
        for _ in range(self.random.randint(1, 4)):
            roll = self.random.random()
            if roll < 0.3:
                parts.append(f"<label>{self.text()}{self.open_tag('input')}</label>")
            elif roll < 0.5:
                options = "".join(
                    f"<option{self.attributes()}>{self.pick(WORDS)}"
                    + ("</option>" if self.chance(0.5) else "")
                    for _ in range(self.random.randint(1, 3))
                )
                group = f"<optgroup label=g>{options}</optgroup>" if self.chance(0.3) else options
                parts.append(f"<select{self.attributes()}>{group}</select>")
            elif roll < 0.65:
                parts.append(f"<textarea>{self.text()}<b>not markup</b></textarea>")
            elif roll < 0.8:
                parts.append(f"<button>{self.text()}</button>")
            else:
                parts.append(
                    self.open_tag("fieldset")
                    + f"<legend>{self.text()}</legend>"
                    + self.flow(depth + 2)
                    + "</fieldset>"
                )
        parts.append("</form>" if self.chance(0.85) else "")
        return "".join(parts)

    def link(self, depth):
        inner = self.flow(depth + 1)
        if self.chance(0.25):
            inner += f"<a href='/nested'>{self.text()}</a>"  # nested link: the adoption agency
        return f"<a href='/p/{self.random.randint(0, 99)}'{self.attributes()}>{inner}</a>"

    def malformed(self):
        return self.pick(
            [
                "<b><i>x</b>y</i>",
                "<p>one<p>two",
                "</div>",
                "<div <p>",
                "<p><div>block in p</div></p>",
                "<a><p>x</a>y</p>",
                "<table><tr><td>x</table>z",
                "<br/ attr>",
                "</br>",
                "<li>stray",
                "<h1><h2>x</h1>",
                "<b id=1 id=2 class=a CLASS=b>dup</b>",
                "<img src=x alt=a=b>",
                "<title>late</title>",
                "<style>p{}</style>",
                "<script>var a = '<p>';</script>",
                "<xmp><b></xmp>",
                "<plaintext>rest",
                "<body class=late>",
                "<html lang=xx>",
                "<!doctype html>",
                "<!-- unterminated",
                "<?pi x?>",
                "<![CDATA[not foreign]]>",
                "<svg><rect width=1/><foreignObject><p>f</p></foreignObject></svg>",
                "<math><mi>x</mi><mo>+</mo></math>",
                "<noscript><p>n</p></noscript>",
                "<frameset>",
                "<template><p>t</p></template>",
                "text<",
            ]
        )

    def document(self):
        head = ""
        if self.chance(0.6):
            head = f"<head><title>{self.text()}</title><meta charset=utf-8></head>"
        prefix = "<!DOCTYPE html>" if self.chance(0.7) else ""
        body = self.flow(0)
        if self.chance(0.5):
            return f"{prefix}<html>{head}<body>{body}</body></html>"
        return prefix + head + body


def document(seed):
    return Generator(seed).document()


# --- html5lib's side of the projection ---------------------------------------------------------


def local_name(qualified):
    return qualified.rpartition("}")[2]


def text_of(items):
    return "".join(item if isinstance(item, str) else text_of(item[2]) for item in items)


def project_etree(element, tags):
    items = [element.text or ""]
    for child in element:
        if callable(child.tag) or child.tag == "template":
            pass  # a comment, or a template whose contents are not reachable through the API
        else:
            name = tags.api_name(local_name(child.tag))
            attributes = tuple(sorted((local_name(k), v) for k, v in child.attrib.items()))
            children = project_etree(child, tags)
            if name == "textarea":
                # html5lib 1.1 keeps its in-body mode for textarea text and so reopens closed
                # formatting elements inside it; textarea content is plain text.
                children = merge_text([text_of(children)])
            items.append((name, attributes, children))
        items.append(child.tail or "")
    return merge_text(items)


def html5lib_document(html, tags):
    root = html5lib.parse(html, treebuilder="etree", namespaceHTMLElements=False)
    attributes = tuple(sorted((local_name(k), v) for k, v in root.attrib.items()))
    return [(tags.api_name(local_name(root.tag)), attributes, project_etree(root, tags))]


# --- Known differences ---------------------------------------------------------------------------

TAG = re.compile(r"<(/?)([a-zA-Z][^\s/>]*)([^>]*)>")
ATTRIBUTE = re.compile(r"""[\s/]*([^\s/>=][^\s/>=]*)(\s*=\s*(?:"[^"]*"|'[^']*'|[^\s>]*))?""")


def end_tag_of_another_unknown_element(html, tags):
    open_unknown = []
    for slash, name, _ in TAG.findall(html):
        name = name.lower()
        if tags.api_name(name) != "":
            continue
        if not slash:
            open_unknown.append(name)
        elif open_unknown and open_unknown[-1] == name:
            open_unknown.pop()
        elif open_unknown:
            return True
    return False


# Differences excluded by a check on the document: (reason, check).
KNOWN_DIFFERENCES = [
    (
        # gumbo 0.10.1 compares tag numbers, and every unknown tag has the same one, so an end
        # tag of one unknown element closes whichever unknown element is open.
        "an end tag of an unknown element while another unknown element is open",
        end_tag_of_another_unknown_element,
    ),
]

# Documents that differ for a known reason the checks above do not catch, each reduced to its
# core by hand.
FOSTERED_ELEMENT_LOST = (
    "html5lib 1.1 drops an element foster-parented out of a table when the adoption agency then "
    "moves the children of the table's parent: <b><li><table><nobr></table></b> loses the nobr "
    "(velkaron's tree is the one the parsing rules give; lexbor agrees)"
)
PINNED_DIFFERENCES = {
    257: FOSTERED_ELEMENT_LOST,
    406: FOSTERED_ELEMENT_LOST,
    382: (
        "html5lib 1.1 does not reconstruct the open formatting element (a strong opened before "
        "the table) around text foster-parented out of a table; the parsing rules do, and "
        "velkaron's tree has the new strong"
    ),
    506: (
        "gumbo's unknown-element end tag again: <foo>'s own end tag came inside a table and was "
        "ignored, so a later </data-grid> closes foo"
    ),
}


def known_reason(html, tags):
    for reason, applies in KNOWN_DIFFERENCES:
        if applies(html, tags):
            return reason
    return None


# --- Tests ---------------------------------------------------------------------------------------


@pytest.fixture(scope="module")
def tags():
    return TagTable()


def test_generator_is_deterministic_and_varied():
    assert document(7) == document(7)
    docs = [document(seed) for seed in range(DOCUMENTS)]
    assert len(set(docs)) == DOCUMENTS
    joined = "".join(docs)
    for construct in (
        "<table",
        "<li",
        "<form",
        "<select",
        "<a href",
        "&amp;",
        "</b>",
        "<my-widget",
        "<!--",
    ):
        assert construct in joined


def compare(seed, tags):
    """None when the two parsers agree or a known difference explains it, else a report."""
    html = document(seed)
    if known_reason(html, tags):
        return None
    ours = velkaron_document(html)
    theirs = html5lib_document(html, tags)
    if ours == theirs:
        return None
    return f"seed {seed}: {html!r}\n--- html5lib\n{dump(theirs)}\n--- velkaron\n{dump(ours)}"


@pytest.mark.parametrize("first_seed", range(0, DOCUMENTS, SEEDS_PER_TEST))
def test_velkaron_matches_html5lib(first_seed, tags):
    seeds = range(first_seed, first_seed + SEEDS_PER_TEST)
    mismatches = {seed: report for seed in seeds if (report := compare(seed, tags))}
    expected = {seed for seed in PINNED_DIFFERENCES if seed in seeds}
    unexplained = [report for seed, report in mismatches.items() if seed not in expected]
    assert not unexplained, "\n\n".join(unexplained[:3])
    assert set(mismatches) == expected  # a pinned difference that no longer shows


def test_compared_count(tags):
    compared = [seed for seed in range(DOCUMENTS) if not known_reason(document(seed), tags)]
    assert len(compared) >= MIN_COMPARED
    assert len(compared) - len(PINNED_DIFFERENCES) >= MIN_MATCHING


@pytest.mark.parametrize(
    ("html", "expected"),
    [
        ("<x-a><x-b>t</x-a>", True),
        ("<x-a>t</x-b>", True),
        ("<x-a><x-b>t</x-b></x-a>", False),
        ("<x-a><b>t</b></x-a>", False),
        ("<div>t</x-a>", False),
    ],
)
def test_unknown_end_tag_check(html, expected, tags):
    assert end_tag_of_another_unknown_element(html, tags) is expected
