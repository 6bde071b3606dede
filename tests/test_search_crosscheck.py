"""Every sequential search strategy and zero-context query checked against a plain Python model
of its rule, walked over the navigation API, on seeded random documents."""

import random
import re

import pytest

import velkaron

SEEDS = range(40)

KNOWN_TAGS = ["div", "p", "span", "a", "b", "em", "section", "ul", "li", "img"]
UNKNOWN_TAGS = ["x-card", "my-widget"]
VOID_TAGS = {"img", "br"}
CLASS_TOKENS = ["a", "b", "box", "A", "é"]
# Source text of separators (a single space twice as likely), as character references where the
# parser would change or drop the raw byte.
CLASS_SEPARATORS = [" ", " ", "  ", "&#9;", "&#10;", "&#13;", "&#12;", "&#11;"]
ID_VALUES = ["x", "y", "z", "", "X"]
TEXTS = ["hello", " hi ", "a b", "\n  ", " ", "\x0c", "&#12;x", "x&#13;", "tail\t", "é"]

QUERY_TAGS = ["", "div", "p", "span", "a", "li", "img", "DIV", "Span", "x-card", "section"]
QUERY_ATTRS = [
    {},
    *({"class": value} for value in ["a", "b", "box", "A", "a b", "", "a\x0cb", "b\x0ba", "a\tb"]),
    *({"id": value} for value in ["x", "y", "", "X", "nope"]),
    {"title": ""},
    {"title": "t"},
    {"data-k": "v"},
    {"data-k": ""},
    {"hidden": ""},
    {"href": "/a"},
    {"class": "a", "id": "x"},
    {"class": "a b", "title": ""},
]


# ---------------------------------------------------------------------------------------------
# Random documents


def random_class_value(rng):
    words = [rng.choice(CLASS_TOKENS) for _ in range(rng.randint(1, 4))]
    value = words[0]
    for word in words[1:]:
        value += rng.choice(CLASS_SEPARATORS) + word
    if rng.random() < 0.2:
        value = rng.choice(CLASS_SEPARATORS) + value
    if rng.random() < 0.2:
        value += rng.choice(CLASS_SEPARATORS)
    return value


def random_attributes(rng, tag):
    candidates = {
        "class": lambda: random_class_value(rng),
        "id": lambda: rng.choice(ID_VALUES),
        "title": lambda: rng.choice(["", "t", "T t"]),
        "data-k": lambda: rng.choice(["v", "", "v w"]),
        "hidden": None,
    }
    if tag == "a":
        candidates["href"] = lambda: rng.choice(["/a", "", "/a/", " /a"])
    if tag == "img":
        candidates["src"] = lambda: rng.choice(["i.png", ""])
    parts = []
    for name, value in candidates.items():
        if rng.random() < 0.45:
            parts.append(name if value is None else f'{name}="{value()}"')
    return "".join(" " + part for part in parts)


def random_nodes(rng, depth):
    out = []
    for _ in range(rng.randint(0, 5 if depth < 4 else 1)):
        roll = rng.random()
        if roll < 0.25:
            out.append(rng.choice(TEXTS))
        elif roll < 0.3:
            out.append("<!--comment-->")
        elif roll < 0.35:
            out.append(f"<template>{random_nodes(rng, depth + 1)}</template>")
        elif roll < 0.38:
            out.append("<svg><circle class='a'/><![CDATA[cdata]]></svg>")
        else:
            tag = rng.choice(KNOWN_TAGS + UNKNOWN_TAGS)
            opening = f"<{tag}{random_attributes(rng, tag)}>"
            if tag in VOID_TAGS:
                out.append(opening)
            else:
                out.append(f"{opening}{random_nodes(rng, depth + 1)}</{tag}>")
    return "".join(out)


def random_document(seed):
    rng = random.Random(seed)
    return "".join(random_nodes(rng, 0) for _ in range(6))


# ---------------------------------------------------------------------------------------------
# A snapshot of the parsed tree, read through the navigation API


class Snap:
    """One parser node: its handle, kind, name, attributes or text, and children."""

    def __init__(self, node):
        self.node = node
        self.token = node.get_gumbo_node()
        if node.is_element():
            self.kind = "element"
        elif node.is_text():
            self.kind = "text"
        elif node.is_document():
            self.kind = "document"
        else:
            self.kind = "other"  # comment, CDATA section or template
        self.name = node.get_name()
        self.attrs = node.get_attributes()
        self.text = node.get_text() if self.kind == "text" else ""
        self.children = [Snap(child) for child in node.get_children()]


class Doc:
    def __init__(self, html):
        self.tree = velkaron.Tree(html)
        root = self.tree.get_root()
        self.document = Snap(root.get_parent())
        self.root = next(s for s in self.document.children if s.kind == "element")
        self.elements = walk(self.root)
        self.by_token = {}
        stack = [self.document]
        while stack:
            snap = stack.pop()
            self.by_token[snap.token] = snap
            stack.extend(snap.children)


def walk(start):
    """Pre-order over elements only, the start first: nothing else is visited or entered."""
    out, stack = [], [start]
    while stack:
        snap = stack.pop()
        if snap.kind != "element":
            continue
        out.append(snap)
        stack.extend(reversed(snap.children))
    return out


def class_tokens(snap):
    return [t for t in re.split("[ \t\n\r]+", snap.attrs.get("class", "")) if t]


def query_shape(tag, attrs):
    if tag:
        return "name" if not attrs else "general"
    if len(attrs) == 1:
        return {"class": "class", "id": "id"}.get(next(iter(attrs)), "general")
    return "general"


def matches(snap, tag, attrs):
    """The general rule: exact name; each attribute present, with the value unless it is empty."""
    if tag and snap.name != tag:
        return False
    return all(k in snap.attrs and (v == "" or snap.attrs[k] == v) for k, v in attrs.items())


def by_name_walk(start, tag):
    # Known names resolve case-insensitively; unknown ones compare with the (empty) name.
    wanted = tag.lower() if tag.lower() in KNOWN_TAGS else tag
    return [s for s in walk(start) if s.name == wanted]


def by_token_walk(start, token):
    return [s for s in walk(start) if token in class_tokens(s)]


def first(snaps):
    return snaps[0] if snaps else None


def model_find_all_ultra_fast(doc, start, tag, attrs):
    shape = query_shape(tag, attrs)
    if shape == "name":
        return by_name_walk(start, tag)
    if shape == "class":
        return by_token_walk(start, attrs["class"])
    return [s for s in walk(start) if matches(s, tag, attrs)]


def model_find_ultra_fast(doc, start, tag, attrs):
    shape = query_shape(tag, attrs)
    if shape == "id":
        return first([s for s in walk(start) if s.attrs.get("id") == attrs["id"]])
    if shape == "name":
        return first(by_name_walk(start, tag))
    return first([s for s in walk(start) if matches(s, tag, attrs)])


def model_find_all(doc, start, tag, attrs):
    shape = query_shape(tag, attrs)
    if start is doc.root and shape == "name":
        return [s for s in doc.elements if s.name == tag]
    if start is doc.root and shape == "class":
        return [s for s in doc.elements for t in class_tokens(s) if t == attrs["class"]]
    return model_find_all_ultra_fast(doc, start, tag, attrs)


def model_find(doc, start, tag, attrs):
    shape = query_shape(tag, attrs)
    if start is doc.root and shape == "id":
        return first([s for s in doc.elements if s.attrs.get("id") == attrs["id"]])
    if start is doc.root and shape == "name":
        return first([s for s in doc.elements if s.name == tag])
    return model_find_ultra_fast(doc, start, tag, attrs)


def bulk_holds(snap, tag, attrs):
    if tag and snap.name != tag:
        return False
    for key, value in attrs.items():
        if key not in snap.attrs:
            return False
        actual = snap.attrs[key]
        if key != "class":
            if actual != value:
                return False
        elif len(value) > len(actual) or (value and value not in actual):
            return False
        elif f" {value} " not in f" {actual} ":
            return False
    return True


def model_find_all_bulk(doc, start, tag, attrs):
    """The expected list, and whether its order is by element-name group rather than document."""
    if start is not doc.root:
        return model_find_all_ultra_fast(doc, start, tag, attrs), False
    grouped = False
    if tag:
        candidates = [s for s in doc.elements if s.name == tag]
    elif not attrs:
        candidates = []
    elif query_shape(tag, attrs) == "class":
        candidates = [s for s in doc.elements for t in class_tokens(s) if t == attrs["class"]]
    elif query_shape(tag, attrs) == "id":
        candidates = [s for s in doc.elements if s.attrs.get("id") == attrs["id"]][:1]
    else:
        candidates, grouped = doc.elements, True
    return [s for s in candidates if bulk_holds(s, tag, attrs)], grouped


def model_descendants(start, tag):
    out = []
    stack = list(reversed(start.children)) if start.kind in ("element", "document") else []
    while stack:
        snap = stack.pop()
        if snap.kind != "element":
            continue
        if snap.name == tag:
            out.append(snap)
        stack.extend(reversed(snap.children))
    return out


def zero_context_text(snap):
    """Text nodes holding more than whitespace, in document order, through elements only."""
    if snap.kind == "text":
        return "" if all(c in " \t\n\x0c\r" for c in snap.text) else snap.text
    if snap.kind != "element":
        return ""
    return "".join(zero_context_text(child) for child in snap.children)


def model_zero_context(doc, start, tag, token):
    if start is not doc.root:
        return {
            "count_tag": 0,
            "count_class": 0,
            "text_tag": [],
            "text_class": [],
            "hrefs": [],
            "srcs": [],
        }
    by_tag = [s for s in doc.elements if s.name == tag]
    by_class = [s for s in doc.elements for t in class_tokens(s) if t == token]
    return {
        "count_tag": len(by_tag),
        "count_class": len(by_class),
        "text_tag": [t for t in map(zero_context_text, by_tag) if t],
        "text_class": [t for t in map(zero_context_text, by_class) if t],
        "hrefs": [s.attrs["href"] for s in doc.elements if s.name == "a" and "href" in s.attrs],
        "srcs": [s.attrs["src"] for s in doc.elements if s.name == "img" and "src" in s.attrs],
    }


# ---------------------------------------------------------------------------------------------
# The check


def toks(nodes):
    return [node.get_gumbo_node() for node in nodes]


def tok(node):
    return None if node is None else node.get_gumbo_node()


def snap_tokens(snaps):
    return [snap.token for snap in snaps]


def snap_token(snap):
    return None if snap is None else snap.token


def assert_grouped_by_name(doc, actual_tokens, expected):
    """Same members; each element name's members contiguous and in document order."""
    assert sorted(actual_tokens) == sorted(s.token for s in expected)
    actual = [doc.by_token[t] for t in actual_tokens]
    names = [s.name for s in actual]
    for name in set(names):
        at = [i for i, n in enumerate(names) if n == name]
        assert at == list(range(at[0], at[0] + len(at))), name
        assert [actual[i].token for i in at] == [s.token for s in expected if s.name == name]


def start_nodes(doc, rng):
    elements = doc.elements[1:]
    others = [s for s in doc.by_token.values() if s.kind in ("text", "other")]
    starts = [doc.root, doc.document, *rng.sample(elements, min(4, len(elements)))]
    if others:
        starts.append(rng.choice(others))
    return starts


def queries(rng, start_is_root):
    every = [(tag, attrs) for tag in QUERY_TAGS for attrs in QUERY_ATTRS]
    if start_is_root:
        return every
    shapes = [(tag, {}) for tag in QUERY_TAGS] + [("", attrs) for attrs in QUERY_ATTRS]
    return shapes + rng.sample(every, 20)


@pytest.mark.parametrize("seed", SEEDS)
def test_strategies_agree_with_their_rules(seed):
    doc = Doc(random_document(seed))
    rng = random.Random(1000 + seed)
    assert doc.tree.get_indexed_element_count() == len(doc.elements)
    nth = [doc.tree.get_nth_element(i) for i in range(len(doc.elements))]
    assert toks(nth) == snap_tokens(doc.elements)
    for start in start_nodes(doc, rng):
        node = start.node
        for tag, attrs in queries(rng, start is doc.root):
            where = (start.kind, start.name, tag, attrs)
            assert toks(node.find_all(tag, attrs)) == snap_tokens(
                model_find_all(doc, start, tag, attrs)
            ), where
            assert tok(node.find(tag, attrs)) == snap_token(
                model_find(doc, start, tag, attrs)
            ), where
            assert toks(node.find_all_ultra_fast(tag, attrs)) == snap_tokens(
                model_find_all_ultra_fast(doc, start, tag, attrs)
            ), where
            assert tok(node.find_ultra_fast(tag, attrs)) == snap_token(
                model_find_ultra_fast(doc, start, tag, attrs)
            ), where
            bulk = toks(node.find_all_bulk(tag, attrs))
            expected, grouped = model_find_all_bulk(doc, start, tag, attrs)
            if grouped:
                assert_grouped_by_name(doc, bulk, expected)
            else:
                assert bulk == snap_tokens(expected), where
            assert tok(node.find_bulk(tag, attrs)) == (bulk[0] if bulk else None), where

        for tag in QUERY_TAGS:
            assert toks(node.find_descendants_by_tag(tag)) == snap_tokens(
                model_descendants(start, tag)
            ), (start.kind, tag)

        class_queries = ["a", "b", "box", "A", "é", "", "a b", "a\x0cb", "x", "b", "a"]
        for tag, token in zip(QUERY_TAGS, class_queries, strict=True):
            expected = model_zero_context(doc, start, tag, token)
            actual = {
                "count_tag": node.count_elements_by_tag(tag),
                "count_class": node.count_elements_by_class(token),
                "text_tag": node.get_all_text_by_tag(tag),
                "text_class": node.get_all_text_by_class(token),
                "hrefs": node.get_all_hrefs(),
                "srcs": node.get_all_src_attributes(),
            }
            assert actual == expected, (start.kind, tag, token)


def test_generated_documents_exercise_the_interesting_cases():
    """Guards the generator: the seeds must keep producing what the check is for."""
    seen = set()
    for seed in SEEDS:
        doc = Doc(random_document(seed))
        for snap in doc.elements:
            tokens = class_tokens(snap)
            if len(tokens) != len(set(tokens)):
                seen.add("repeated token")
            if any(c in snap.attrs.get("class", "") for c in "\t\n\r"):
                seen.add("tab or line separator")
            if any(c in snap.attrs.get("class", "") for c in "\x0b\x0c"):
                seen.add("form feed or vertical tab inside a token")
            if snap.name == "":
                seen.add("unknown tag")
            if snap.attrs.get("title") == "":
                seen.add("empty title")
        ids = [s.attrs["id"] for s in doc.elements if "id" in s.attrs]
        if len(ids) != len(set(ids)):
            seen.add("duplicate id")
        if any(s.kind == "other" for s in doc.by_token.values()):
            seen.add("comment or template")
        if doc.root.node.find_all_bulk(attrs={"data-k": "v"}):
            seen.add("attribute-only bulk")
    assert seen == {
        "repeated token",
        "tab or line separator",
        "form feed or vertical tab inside a token",
        "unknown tag",
        "empty title",
        "duplicate id",
        "comment or template",
        "attribute-only bulk",
    }
