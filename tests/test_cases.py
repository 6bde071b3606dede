"""The case files under tests/cases/api/: each holds documents (`#data`) and below each document
rows of `start method [arguments] -> expected`, answered by the public API.

start: tree, doc, root, head, body or #id (the first element with that id), then /n steps to
child n; several starts, or methods, separated by commas must all give the expected value. Arguments are a
JSON list (positional) or object (keywords); a string "@start" passes that node. Expected is
JSON with nodes written as their labels (see support.label), or !Error for an exception."""

import itertools
import json
import re
from pathlib import Path

import pytest

import velkaron
from support import render

CASES = Path(__file__).parent / "cases" / "api"
ROW = re.compile(r"(\S+) ([\w,]+)(?: (.*?))? -> (.*)")


def read_rows():
    rows = []
    for path in sorted(CASES.glob("*.txt")):
        html = None
        for number, line in enumerate(path.read_text("utf-8").splitlines(), 1):
            if line.startswith("#data"):
                raw = line[6:]
                html = json.loads(raw) if raw.startswith('"') else raw
            elif line.strip() and not line.startswith("# "):
                assert html is not None and ROW.fullmatch(line), f"{path.name}:{number}"
                rows.append(pytest.param(html, line, id=f"{path.name}:{number}"))
    return rows


TREES = {}


def locate(tree, where):
    base, *steps = where.split("/")
    root = tree.get_root()
    node = {"tree": tree, "doc": root.get_parent(), "root": root,
            "head": root.get_children()[0], "body": root.get_children()[1]}.get(base)
    if base.startswith("#"):
        node = next(n for n in root.get_descendants() if n.get_attribute("id") == base[1:])
    for step in steps:
        node = node.get_children()[int(step)]
    return node


def resolve(tree, value):
    if isinstance(value, str) and value.startswith("@"):
        return locate(tree, value[1:])
    return value


@pytest.mark.parametrize("html, row", read_rows())
def test_case(html, row):
    # One tree per document, shared by its rows in order: answers kept from earlier calls
    # must not leak into later ones.
    tree = TREES.setdefault(html, velkaron.Tree(html))
    starts, methods, arguments, expected = ROW.fullmatch(row).groups()
    arguments = json.loads(arguments) if arguments else []
    for where, method in itertools.product(starts.split(","), methods.split(",")):
        call = getattr(locate(tree, where), method)
        if isinstance(arguments, dict):
            thunk = lambda: call(**{k: resolve(tree, v) for k, v in arguments.items()})  # noqa: E731
        else:
            thunk = lambda: call(*(resolve(tree, v) for v in arguments))  # noqa: E731
        if expected.startswith("!"):
            with pytest.raises(Exception) as caught:
                thunk()
            assert type(caught.value).__name__ == expected[1:], (where, method)
        else:
            assert render(thunk()) == json.loads(expected), (where, method)
