"""Every search strategy, whole-document query and element-index lookup checked against one
reference walk (plain Python over the navigation API) on seeded random documents. A strategy's
rule is written as the candidates it takes and the test it applies on that walk."""

import json
import random
import re
from pathlib import Path

import pytest

import velkaron

REPO = Path(__file__).resolve().parents[1]

DATA = json.loads((Path(__file__).parent / "cases" / "generator.json").read_text("utf-8"))["crosscheck"]
KNOWN, TOKENS, SEPARATORS, TEXTS, VALUES, QUERY_TAGS, QUERY_ATTRS = (DATA[key] for key in (
    "known", "tokens", "separators", "texts", "values", "query_tags", "query_attrs"))


def random_markup(rng, depth=0):
    out = []
    for _ in range(rng.randint(0, 5 if depth < 4 else 1)):
        roll = rng.random()
        if roll < 0.25:
            out.append(rng.choice(TEXTS))
        elif roll < 0.3:
            out.append(rng.choice(["<!--c-->", "<svg><circle class='a'/><![CDATA[c]]></svg>"]))
        elif roll < 0.35:
            out.append(f"<template>{random_markup(rng, depth + 1)}</template>")
        else:
            tag = rng.choice(KNOWN + ["x-card", "my-widget"])
            attrs = "".join(f' {k}="{rng.choice(v)}"' for k, v in VALUES.items() if rng.random() < 0.4)
            if rng.random() < 0.5:
                tokens = rng.choices(TOKENS, k=rng.randint(1, 4))
                joined = "".join(rng.choice(SEPARATORS) + t for t in tokens)
                attrs += f' class="{joined[rng.random() < 0.6 and len(joined) - len(joined.lstrip()):]}"'
            attrs += " hidden" if rng.random() < 0.2 else ""
            inner = "" if tag == "img" else random_markup(rng, depth + 1) + f"</{tag}>"
            out.append(f"<{tag}{attrs}>{inner}")
    return "".join(out)


class Snap:
    """One parser node as the navigation API shows it."""

    def __init__(self, node, index):
        self.node, self.token = node, node.get_gumbo_node()
        self.kind = ("element" if node.is_element() else "text" if node.is_text()
                     else "document" if node.is_document() else "other")
        self.name, self.attrs = node.get_name(), node.get_attributes()
        self.text = node.get_text() if self.kind == "text" else ""
        self.tokens = [t for t in re.split("[ \t\n\r]+", self.attrs.get("class", "")) if t]
        self.children = [Snap(child, index) for child in node.get_children()]
        index.append(self)


def walk(start, enter_start=True):
    """The reference walk: elements in document order, the start first, nothing else entered."""
    out, stack = [], [start] if enter_start else list(reversed(start.children))
    while stack:
        snap = stack.pop()
        if snap.kind == "element":
            out.append(snap)
            stack.extend(reversed(snap.children))
    return out


def shape(tag, attrs):
    if tag:
        return "name" if not attrs else "general"
    return {"class": "class", "id": "id"}.get(next(iter(attrs)), "general") if len(attrs) == 1 else "general"


def named(tag):
    wanted = tag.lower() if tag.lower() in KNOWN else tag  # known names fold case; others stay
    return lambda s: s.name == wanted


def general(tag, attrs):  # an empty required value means "present"
    return lambda s: (not tag or s.name == tag) and all(
        k in s.attrs and (v == "" or s.attrs[k] == v) for k, v in attrs.items())


def strict(tag, attrs):  # an empty required value means "empty"
    return lambda s: (not tag or s.name == tag) and all(s.attrs.get(k) == v for k, v in attrs.items())


def per_token(elements, token):
    return [s for s in elements for t in s.tokens if t == token]


def bulk_holds(tag, attrs):  # a class value must occur space-delimited in the stored value
    return lambda s: (not tag or s.name == tag) and all(
        k in s.attrs and (f" {v} " in f" {s.attrs[k]} " if k == "class" else s.attrs[k] == v)
        for k, v in attrs.items())


def expected(doc, start, tag, attrs):
    """What each strategy answers from `start`, as reference nodes in order."""
    elements, walked, kind = doc.elements, walk(start), shape(tag, attrs)
    at_root = start is doc.root
    test = {"name": named(tag), "class": lambda s: attrs["class"] in s.tokens}.get(kind, general(tag, attrs))
    ultra = [s for s in walked if test(s)]
    first_id = [s for s in walked if s.attrs.get("id") == attrs.get("id")][:1]
    ultra_first = first_id if kind == "id" else [s for s in walked if (general(tag, attrs) if kind == "class" else test)(s)][:1]
    strict_all = [s for s in walked if strict(tag, attrs)(s)]
    answers = {
        "find_all_ultra_fast": ultra, "find_ultra_fast": ultra_first,
        "find_all": ultra, "find": ultra_first,
        "find_all_parallel": {"name": ultra, "class": ultra, "id": first_id}.get(kind, strict_all),
        "find_parallel": first_id if kind == "id" else strict_all[:1],
        "find_all_parallel_optimized": ultra if kind == "name" else strict_all,
        "find_parallel_optimized": strict_all[:1],
        "find_all_bulk": ultra,
    }
    if at_root:
        exact = [s for s in elements if s.name == tag]
        if kind in ("name", "class"):
            answers["find_all"] = exact if kind == "name" else per_token(elements, attrs["class"])
        if kind in ("name", "id"):
            answers["find"] = exact[:1] if kind == "name" else [s for s in elements if s.attrs.get("id") == attrs["id"]][:1]
        candidates = (exact if tag else [] if not attrs else per_token(elements, attrs["class"])
                      if kind == "class" else answers["find"] if kind == "id" else None)
        if candidates is None:  # grouped by element name: compared as a multiset below
            candidates = sorted(elements, key=lambda s: s.name)
        answers["find_all_bulk"] = [s for s in candidates if bulk_holds(tag, attrs)(s)]
    answers["find_bulk"] = answers["find_all_bulk"][:1]
    return answers


def zero_context(doc, start, tag, token):
    def text(s):
        if s.kind == "text":
            return "" if not s.text.strip(" \t\n\x0c\r") else s.text
        return "".join(map(text, s.children)) if s.kind == "element" else ""

    if start is not doc.root:
        return [0, 0, [], [], [], []]
    by_tag, by_class = [s for s in doc.elements if s.name == tag], per_token(doc.elements, token)
    return [len(by_tag), len(by_class), [t for t in map(text, by_tag) if t],
            [t for t in map(text, by_class) if t],
            [s.attrs["href"] for s in doc.elements if s.name == "a" and "href" in s.attrs],
            [s.attrs["src"] for s in doc.elements if s.name == "img" and "src" in s.attrs]]


def tokens(result):
    if result is None or not isinstance(result, list):
        return [] if result is None else [result.get_gumbo_node()]
    return [n.get_gumbo_node() for n in result]


def parsed(html):
    tree, snaps = velkaron.Tree(html), []
    document = Snap(tree.get_root().get_parent(), snaps)
    doc = type("Doc", (), {})()
    doc.tree, doc.document, doc.snaps = tree, document, snaps
    doc.root = next(s for s in document.children if s.kind == "element")
    doc.elements = walk(doc.root)
    return doc


def check_searches(doc, start, queries, methods=None):
    for tag, attrs in queries:
        answers = expected(doc, start, tag, attrs)
        for method in methods or answers:
            got = tokens(getattr(start.node, method)(tag, attrs))
            want = [s.token for s in answers[method]]
            where = (start.kind, start.name, method, tag, attrs)
            if start is doc.root and shape(tag, attrs) == "general" and not tag and "bulk" in method:
                # Grouped by element name, the groups in an order of the index's choosing.
                bulk = tokens(start.node.find_all_bulk(tag, attrs))
                assert sorted(bulk) == sorted(s.token for s in answers["find_all_bulk"]), where
                assert got == bulk[:len(want)], where
            else:
                assert got == want, where


SEEDS = sorted((REPO / "fuzz" / "corpus").glob("*")) + sorted((REPO / "tests" / "regressions").glob("*"))


@pytest.mark.parametrize("source", [*range(30), *SEEDS], ids=lambda s: getattr(s, "name", str(s)))
def test_strategies_agree_with_the_reference_walk(source):
    """On 30 generated documents and on the fuzzer's seed inputs."""
    rng = random.Random(str(source))
    doc = parsed(source.read_bytes() if isinstance(source, Path) else
                 "".join(random_markup(random.Random(source)) for _ in range(6)))
    tree = doc.tree
    assert tokens([tree.get_nth_element(i) for i in range(tree.get_indexed_element_count())]) == [
        s.token for s in doc.elements]
    for s in doc.snaps:
        strings = s.node.get_strings()
        assert (s.node.get_text(), s.node.get_text_with_separator("|")) == ("".join(strings), "|".join(strings))
        for name, value in s.attrs.items():
            assert s.node.get_attribute(name) == value
            assert tokens(tree.find_by_attribute(name, value)) == [
                e.token for e in doc.elements if e.attrs.get(name) == value]
        for child in s.children:
            # Whitespace-only text (form feed too) is left out; the rest is trimmed of
            # space, tab, LF and CR only.
            if s.kind == "element" and child.kind == "text" and child.text.strip(" \t\n\r\x0c"):
                text = child.text.strip(" \t\n\r")
                assert tokens(tree.find_by_text_content(text)) == [
                    e.token for e in doc.elements for c in e.children
                    if c.kind == "text" and c.text.strip(" \t\n\r\x0c") and c.text.strip(" \t\n\r") == text]
    others = [s for s in doc.snaps if s.kind in ("text", "other")]
    templates = [s for s in others if s.node.tag == "template"]
    starts = [doc.root, doc.document, *rng.sample(doc.elements[1:], min(4, len(doc.elements) - 1)),
              *rng.sample(others, min(1, len(others))), *templates[:1]]
    every = [(t, a) for t in QUERY_TAGS for a in QUERY_ATTRS]
    for start in starts:
        # Below the root: each tag once with attributes too (the tag's index list, cut to the subtree).
        queries = every if start is doc.root else (
            rng.sample(every, 40) + [(t, {}) for t in QUERY_TAGS] + [("", a) for a in QUERY_ATTRS]
            + [(t, rng.choice(QUERY_ATTRS[1:])) for t in QUERY_TAGS if t])
        check_searches(doc, start, queries)
        for tag, token in zip(QUERY_TAGS, ["a", "b", "box", "A", "é", "", "a b", "a\x0cb", "x", "b", "a"]):
            node = start.node
            below = walk(start, False) if start.kind in ("element", "document") else []
            assert tokens(node.find_descendants_by_tag(tag)) == [s.token for s in below if s.name == tag]
            assert [node.count_elements_by_tag(tag), node.count_elements_by_class(token),
                    node.get_all_text_by_tag(tag), node.get_all_text_by_class(token),
                    node.get_all_hrefs(), node.get_all_src_attributes()] == zero_context(doc, start, tag, token)


def test_parallel_strategies_with_workers_running():
    # Past the subtree size below which the parallel methods stay on the calling thread
    # (elements_worth_threads, 50,000 elements), so the workers really search.
    doc = parsed("".join(random_markup(random.Random(seed)) for seed in range(3500)))
    assert len(doc.elements) > 50000
    queries = [("div", {}), ("P", {}), ("", {}), ("", {"class": "a"}), ("", {"id": "x"}),
               ("a", {"title": ""}), ("", {"class": "a b"}), ("span", {"data-k": "v"})]
    for start in (doc.root, doc.elements[2]):
        check_searches(doc, start, queries, [m for m in expected(doc, start, "", {}) if "parallel" in m])
