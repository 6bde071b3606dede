"""velkaron's trees against html5lib's: the tree-construction suite's expected trees, and the
html5lib parser on seeded generated documents. Both sides are reduced to one projection read
through the public API: elements as name and sorted attributes, text with adjacent runs merged;
no doctype, comments, namespaces or templates. Names are mapped as the parser names them, with
its own tag table (unknown tags have the empty name). Fragment and scripting-on cases and
inputs holding NUL (a document ends there) are not compared."""

import ctypes
import functools
import json
import os
import random
import re
from collections import defaultdict
from pathlib import Path

import pytest

import _velkaron  # noqa: F401  (maps libgumbo into the process)
import velkaron

SUITE = Path(__file__).resolve().parents[2] / "shared" / "html5lib-tests" / "tree-construction"
KNOWN = Path(__file__).parent / "cases" / "html5lib-known.tbl"
IN_CI = os.environ.get("CI", "").lower() == "true"


GUMBO = ctypes.CDLL(next(line.split()[-1] for line in open("/proc/self/maps") if "libgumbo" in line))
GUMBO.gumbo_normalized_tagname.restype = ctypes.c_char_p
UNKNOWN = GUMBO.gumbo_tag_enum(b"no-such-element")


@functools.cache
def api_name(tag):
    """The name get_name() gives an element the parser made for `tag`, from gumbo's own table."""
    number = GUMBO.gumbo_tag_enum(tag.encode())
    return "" if number == UNKNOWN else GUMBO.gumbo_normalized_tagname(number).decode()


def merged(items):
    out = []
    for item in items:
        if isinstance(item, str) and out and isinstance(out[-1], str):
            out[-1] += item
        elif item != "":
            out.append(item)
    return out


def project(node):
    return merged([(c.get_name(), tuple(sorted(c.get_attributes().items())), project(c))
                   if c.is_element() else c.get_text() for c in node.get_children()
                   if c.is_element() or c.is_text()])


def ours(html):
    return project(velkaron.Tree(html).get_root().get_parent())


def read_expected(lines):
    """The projection of a suite case's #document dump."""
    root, i, skip = [], 0, None
    stack = [(-1, root, None)]
    while i < len(lines):
        body = lines[i][2:]
        depth = (len(body) - len(body.lstrip(" "))) // 2
        content = body[depth * 2:]
        closing = '"' if content.startswith('"') or ("=" in content and not content.startswith("<")) \
            else " -->" if content.startswith("<!-- ") else None
        while closing and not (len(content) > len(closing) and content.endswith(closing)
                               and (i + 1 == len(lines) or lines[i + 1].startswith("| "))):
            i += 1
            content += "\n" + lines[i]  # text, comments and values may span lines
        i += 1
        if skip is not None and depth > skip:
            continue
        skip = None
        while stack[-1][0] >= depth:
            stack.pop()
        children, attributes = stack[-1][1], stack[-1][2]
        if content.startswith('"'):
            children.append(content[1:-1])
        elif content == "content" or content == "<template>":
            skip = depth  # template contents are not reachable through the API
        elif content.startswith("<!"):
            pass  # doctype or comment
        elif content.startswith("<") and content.endswith(">"):
            element = (api_name(content[1:-1].rpartition(" ")[2]), [], [])
            children.append(element)
            stack.append((depth, element[2], element[1]))
        else:
            name, _, value = content.partition("=")
            attributes.append((name.rpartition(" ")[2], value[1:-1]))

    def finish(items):
        return merged([item if isinstance(item, str) else (item[0], tuple(sorted(item[1])), finish(item[2]))
                       for item in items])

    return finish(root)


def suite_cases(path):
    text = path.read_bytes().decode("utf-8")
    for index, chunk in enumerate(re.split(r"\n\n(?=#data\n)", text.rstrip("\n") + "\n")):
        sections, current = defaultdict(list), "data"
        for line in chunk.split("\n")[1:]:
            if line[1:] in ("errors", "new-errors", "document", "document-fragment", "script-off",
                            "script-on") and line[:1] == "#":
                current = line[1:]
                sections[current]
            else:
                sections[current].append(line)
        data, document = "\n".join(sections["data"]), sections["document"]
        while document and document[-1] == "":
            document.pop()
        if not ({"document-fragment", "script-on"} & sections.keys() or "\0" in data):
            yield index, data, document


def known_differences():
    known = defaultdict(set)
    for line in KNOWN.read_text().splitlines():
        if line and not line.startswith("#"):
            name, *indexes = line.split()
            for item in indexes:
                first, _, last = item.partition("-")
                known[name].update(range(int(first), int(last or first) + 1))
    return known


FILES = sorted(SUITE.glob("*.dat"))


@pytest.mark.skipif(not FILES and not IN_CI, reason=f"html5lib tests not found at {SUITE}")
@pytest.mark.parametrize("path", FILES or [SUITE], ids=lambda p: p.name)
def test_tree_construction_suite(path):
    failing, first = set(), None
    for index, data, document in suite_cases(path):
        try:
            matches = ours(data) == read_expected(document)
        except UnicodeDecodeError:
            matches = False
        if not matches:
            failing.add(index)
            first = first or f"case {index}: {data!r}"
    assert failing == known_differences()[path.name], first


def test_suite_size_and_pass_count():
    if not FILES:
        pytest.skip("no suite") if not IN_CI else pytest.fail("no html5lib suite")
    compared = sum(1 for path in FILES for _ in suite_cases(path))
    assert compared == 1556 and sum(map(len, known_differences().values())) == 86


# --- Differential: the html5lib parser on generated documents -----------------------------------

GENERATOR = json.loads((Path(__file__).parent / "cases" / "generator.json").read_text("utf-8"))["html5lib"]
WORDS, FLOW, VOID, SNIPPETS = (GENERATOR[key] for key in ("words", "flow", "void", "snippets"))


def generated(seed):
    rng = random.Random(seed)

    def attributes():
        names = rng.sample(["id", "class", "href", "title", "data-k", "lang", "NAME", "type"], rng.randint(0, 3))
        return "".join(rng.choice([f" {n}", f" {n}={rng.choice(WORDS[:2])}", f" {n}='{rng.choice(WORDS)}'",
                                   f' {n}="x  y"']) for n in names)

    def flow(depth, budget=[90]):
        out = []
        for _ in range(rng.randint(1, 4)):
            budget[0] -= 1
            roll = rng.random()
            if budget[0] <= 0 or depth > 6 or roll < 0.3:
                out.append(" ".join(rng.choices(WORDS, k=rng.randint(1, 3))))
            elif roll < 0.75:
                name = rng.choice(FLOW)
                end = rng.choice([f"</{name}>"] * 8 + ["", f"</{rng.choice(FLOW)}>"])
                out.append(f"<{name.upper() if roll < 0.33 else name}{attributes()}>{flow(depth + 1)}{end}")
            elif roll < 0.82:
                out.append(f"<{rng.choice(VOID)}{attributes()}>")
            else:
                out.append(rng.choice(SNIPPETS))
        return "".join(out)

    return rng.choice(["", "<!DOCTYPE html>"]) + rng.choice(["", "<head><title>t</title></head>"]) + flow(0)


def theirs(html):
    import html5lib

    def project_etree(element):
        items = [element.text or ""]
        for child in element:
            if not callable(child.tag) and child.tag != "template":  # comments have a callable tag
                attributes = tuple(sorted((k.rpartition("}")[2], v) for k, v in child.attrib.items()))
                items.append((api_name(child.tag.rpartition("}")[2]), attributes, project_etree(child)))
            items.append(child.tail or "")
        return merged(items)

    root = html5lib.parse(html, treebuilder="etree", namespaceHTMLElements=False)
    return [("html", tuple(sorted(root.attrib.items())), project_etree(root))]


def crossed_unknown_end_tag(html):
    """gumbo compares tag numbers, the same for every unknown tag: an end tag of one unknown
    element closes whichever unknown element is open. Such documents are not compared."""
    open_unknown = []
    for slash, name in re.findall(r"<(/?)([a-zA-Z][^\s/>]*)", html):
        if api_name(name.lower()) == "":
            if not slash:
                open_unknown.append(name.lower())
            elif open_unknown and open_unknown.pop() != name.lower():
                return True
    return False


# The same gumbo fault where the check above cannot see it: html5lib ignores </my-widget> with
# an <ol> open inside, gumbo closes the element, and a later </x-card> then closes my-widget.
PINNED = {350}


@pytest.mark.parametrize("first", range(0, 600, 100))
def test_generated_documents_match_html5lib(first):
    if not IN_CI:
        pytest.importorskip("html5lib")
    seeds = range(first, first + 100)
    compared = [seed for seed in seeds if not crossed_unknown_end_tag(generated(seed))]
    differing = {seed for seed in compared if ours(generated(seed)) != theirs(generated(seed))}
    assert differing == PINNED & set(seeds), [generated(seed) for seed in differing - PINNED][:1]
    assert len(compared) >= 90  # 568 of the 600 documents
