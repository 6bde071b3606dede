"""The module's face (methods, signatures, conversions), handle identity, and lifetime: nodes
keep their tree alive exactly as long as they are referenced, also past the caller's tree."""

import gc
import threading
import time
import types
import weakref
from pathlib import Path

import pytest

import _velkaron
import velkaron
from support import label, render

SIGNATURES = Path(__file__).parent / "cases" / "signatures.tbl"


def test_every_method_has_the_signature_and_description_of_the_table():
    expected, actual = {}, {}
    for line in SIGNATURES.read_text("utf-8").splitlines():
        if not line.startswith("#"):
            signature, _, description = line.partition("  ::  ")
            expected[signature] = description
    for cls in (_velkaron.Tree, _velkaron.Node):
        for name, value in vars(cls).items():
            if isinstance(value, property):
                actual[f"{cls.__name__}.{name}  (property)"] = (value.__doc__ or "").strip()
            elif type(value).__name__ in {"instancemethod", "method_descriptor"} \
                    and name != "_pybind11_conduit_v1_":
                first, *rest = value.__doc__.splitlines()
                actual[f"{cls.__name__}.{first}"] = "\n".join(rest[1:]).strip()
    assert actual == expected
    assert sorted(n for n in dir(_velkaron) if not n.startswith("__")) == \
        ["Node", "SelectorError", "Tree", "_meta_charsets", "_utf8_valid", "parse_many"]
    assert velkaron.Tree is _velkaron.Tree and velkaron.Node is _velkaron.Node
    with pytest.raises(TypeError, match=r"^_velkaron\.Node: No constructor defined!$"):
        _velkaron.Node()


MIXED = "<p class='x' title='żółw'>żółw <b>é</b></p><!--note--><ul><li>1</li></ul>猫\0<p>cut</p>"


def dump(tree):
    return [(label(n), n.get_attributes()) for n in tree.get_root().get_parent().get_descendants()]


@pytest.mark.parametrize("convert", [str.encode, lambda s: bytearray(s.encode())])
def test_bytes_parse_like_the_same_str(convert):
    tree = velkaron.Tree(convert(MIXED))
    assert dump(tree) == dump(velkaron.Tree(MIXED))
    assert tree.get_root().get_text() == "żółw é1猫"


@pytest.mark.parametrize("args, kwargs", [
    ((None,), {}), ((1,), {}), ((["<p>"],), {}), ((), {}), (("<p>", "<b>"), {}),
    ((), {"html": "<p>"}), (("x\udfff",), {}),
])
def test_constructor_takes_one_positional_string(args, kwargs):
    with pytest.raises((TypeError, UnicodeEncodeError)):
        velkaron.Tree(*args, **kwargs)


@pytest.mark.parametrize("attrs", [types.MappingProxyType({"class": "a"}), {b"class": b"a"}])
def test_attrs_accept_any_string_mapping(attrs):
    root = velkaron.Tree("<p class='a'>1</p><p>2</p>").get_root()
    assert [n.get_text() for n in root.find_all("p", attrs)] == ["1"]
    assert root.find("p").get_attribute(b"class") == "a"


# The hot methods take common arguments on a short path and leave the rest to pybind11: each
# form must answer as every other form does, and a wrong one must raise TypeError.
FORMS = velkaron.Tree("<p class='a' id=x>1</p><p id=y>2</p>")
FORM_CALLS = [
    ("r.find_all('p')", ["x", "y"]), ("r.find_all(tag_name='p')", ["x", "y"]),
    ("r.find_all('p', {})", ["x", "y"]), ("r.find_all(attrs={'class': 'a'})", ["x"]),
    ("r.find_all(attrs={'class': 'a'}, tag_name='p')", ["x"]), ("r.find_all()", "all"),
    ("r.find_all(b'p')", ["x", "y"]), ("r.find_all('p', {'class': 'a', 'id': 'x'})", ["x"]),
    ("r.find(attrs={'id': 'y'})", "y"), ("r.find('zz')", None), ("t.select(css='#y')", ["y"]),
    ("r.select_one('p + p')", "y"), ("t.select_one('b')", None), ("t.root.get_text()", "12"),
    ("p.get('id')", "x"), ("p.get('zz', default=0)", 0), ("p.get(name='zz')", None),
    ("p['class']", "a"), ("p.get_attribute('id')", "x"), ("p.attrs", {"class": "a", "id": "x"}),
    ("p.tag + p.text + p.parent.tag", "p1body"), ("velkaron.Tree.get_root(t)", "html"),
    ("r.find_all('p', {'id': 1})", TypeError), ("r.find_all(1)", TypeError),
    ("r.find_all('p', {}, 'x')", TypeError), ("r.find_all(tag='p')", TypeError),
    ("r.find_all('p', tag_name='p')", TypeError), ("r.find_all('\\udfff')", TypeError),
    ("r.select()", TypeError), ("p.get()", TypeError), ("p.get_text(1)", TypeError),
    ("p['zz']", KeyError), ("velkaron.Node.find_all(t)", TypeError),
    ("velkaron.Tree.get_root(r)", TypeError), ("velkaron.Node.text.fget(t)", TypeError),
    ("velkaron.Tree.__new__(velkaron.Tree).get_root()", ValueError),
]


@pytest.mark.parametrize("expression, expected", FORM_CALLS, ids=[c[0] for c in FORM_CALLS])
def test_argument_forms_of_the_hot_methods(expression, expected):
    names = {"t": FORMS, "r": FORMS.root, "p": FORMS.root.find("p"), "velkaron": velkaron}
    if isinstance(expected, type):
        with pytest.raises(expected):
            eval(expression, names)
        return
    answer = render(eval(expression, names))
    assert answer == (render(FORMS.root.find_all()) if expected == "all" else expected)


def test_every_route_to_a_node_meets_the_same_object():
    tree = velkaron.Tree("<div id='d'><p id='p' class='c' title='t'>x</p></div>")
    root = tree.get_root()
    p = root.find("p")
    body = root.get_children()[1]
    routes = [
        root.find_all(attrs={"class": "c"})[0], root.find(attrs={"id": "p"}), body.find("p"),
        root.find_all_bulk("p")[0], root.find_bulk(attrs={"title": "t"}), body.find_all_bulk("p")[0],
        root.find_ultra_fast(attrs={"id": "p"}), root.find_descendants_by_tag("p")[0],
        root.find_all_parallel("p")[0], root.find_parallel_optimized("p"),
        tree.find_by_attribute("id", "p")[0], tree.find_by_text_content("x")[0],
        tree.get_nth_element(4), body.get_children()[0].get_children()[0],
        p.get_children()[0].get_parent(), root.get_descendants()[3],
    ]
    assert all(node is p for node in routes)
    assert tree.get_root() is root and root.get_parent().get_children()[0] is root


def test_kept_nodes_stay_the_same_objects_when_the_cache_shrinks_after_a_long_result():
    tree = velkaron.Tree("<ul>" + "<li><a>x</a></li>" * 5000 + "</ul><p>end</p>")
    everything = tree.select("*")
    kept = everything[::997]
    del everything  # thousands of dead entries: the next short result rebuilds a small cache
    p = tree.get_root().find_all("p")[0]
    again = tree.select("*")[::997]
    assert len(kept) == len(again) == 11 and all(a is b for a, b in zip(kept, again))
    assert p is tree.select_one("p") and p.get_text() == "end"


def test_identity_tokens_outlive_handles_and_differ_between_trees():
    first, second = velkaron.Tree("<p>x</p><b>y</b>"), velkaron.Tree("<p>x</p>")
    nodes = first.get_root().get_parent().get_descendants()
    tokens = [n.get_gumbo_node() for n in nodes]
    assert len(set(tokens)) == len(tokens) and all(type(t) is int and t > 0 for t in tokens)
    del nodes
    gc.collect()
    again = first.get_root().get_parent().get_descendants()
    assert [n.get_gumbo_node() for n in again] == tokens
    assert again[3].get_name() == "p" and again[3].get_parent().get_name() == "body"
    other = {n.get_gumbo_node() for n in second.get_root().get_parent().get_descendants()}
    assert not other & set(tokens)


DOC = "<ul>" + "".join(f"<li class='i{n}'>item {n}</li>" for n in range(5)) + "</ul><p>end</p>"


@pytest.mark.parametrize("keep", [
    lambda tree: tree.get_root(), lambda tree: tree.get_root().get_parent(),
    lambda tree: tree.get_root().find("li").get_children()[0], lambda tree: tree.get_nth_element(4),
    lambda tree: tree.get_root().find_all_parallel("li"), lambda tree: tree.find_by_text_content("end"),
], ids=["root", "document", "text", "indexed", "parallel", "text-index"])
def test_tree_lives_exactly_as_long_as_some_node(keep):
    tree = velkaron.Tree(DOC)
    alive = weakref.ref(tree)
    kept = keep(tree)
    del tree
    gc.collect()
    assert alive() is not None
    del kept
    assert alive() is None  # no collection needed: the last reference frees it at once


def test_nodes_work_after_the_tree_is_gone():
    tree = velkaron.Tree(DOC)
    alive = weakref.ref(tree)
    first = tree.get_root().find_all("li")[0]
    del tree
    gc.collect()
    later = first.get_next_element()  # made after the caller's tree reference died
    del first
    gc.collect()
    assert later.get_text() == "item 1" and later.get_parent().find_all("li")[-1].get_text() == "item 4"
    assert later.get_all_parents()[-1].get_all_hrefs() == [] and alive() is not None
    del later
    assert alive() is None


def on_small_stack(function, size=256 * 1024):
    """Runs `function` on a thread with a small native stack, so a walk that recursed once per
    level crashes instead of passing by luck on the main thread's 8 MiB."""
    outcome = {}

    def run():
        try:
            outcome["value"] = function()
        except BaseException as error:  # re-raised on the calling thread
            outcome["error"] = error

    previous = threading.stack_size(size)
    try:
        worker = threading.Thread(target=run)
        worker.start()
    finally:
        threading.stack_size(previous)
    worker.join()
    if "error" in outcome:
        raise outcome["error"]
    return outcome["value"]


def test_freeing_a_deep_tree_on_a_small_stack():
    # gumbo's own free recurses once per level: more than this stack holds.
    def parse_and_free():
        return len(velkaron.Tree("<b>" * 21000, max_depth=None).get_root().find_all("b"))

    assert on_small_stack(parse_and_free, 512 * 1024) == 21000


# Nested spans parse in linear time, so the depth can be far beyond any recursion's reach.
DEPTH = 200_000


@pytest.fixture(scope="module")
def deep():
    tree = velkaron.Tree("<span class=c>" * DEPTH + "x" + "</span>" * DEPTH + "<p>y</p>", max_depth=None)
    root = tree.get_root()
    return tree, root, root.get_children()[1], root.get_children()[1].get_children()[0]


DEEP = {  # query on (root, body, outermost span) -> answer; run on a 256 KiB stack
    "lists": (lambda r, b, o: (len(r.get_descendants()), len(r.get_all_descendants_with_text()),
                               len(r.get_descendants()[-3].get_all_parents())), (DEPTH + 5, DEPTH + 5, DEPTH + 2)),
    "text": (lambda r, b, o: (r.get_text(), o.get_text_with_separator("|"), r.get_strings(),
                              b.get_stripped_strings(), r.get_all_text_by_tag("p")), ("xy", "x", ["x", "y"], ["x", "y"], ["y"])),
    "search": (lambda r, b, o: (len(r.find_all("span")), len(b.find_all("span")), b.find("p").get_text(),
                                len(o.find_all(attrs={"class": "c"})), len(b.find_all_ultra_fast("span", {"class": "c"})),
                                len(o.find_all_bulk("span")), len(o.find_descendants_by_tag("span"))),
               (DEPTH, DEPTH, "y", DEPTH, DEPTH, DEPTH, DEPTH - 1)),
    "parallel": (lambda r, b, o: (len(r.find_all_parallel("span")), len(o.find_all_parallel_optimized("span"))), (DEPTH,) * 2),
    "neighbours": (lambda r, b, o: label(b.get_children()[1].get_previous_element().get_parent().get_next_element()), "p"),
}


@pytest.mark.parametrize("name", list(DEEP))
def test_deep_documents_are_walked_without_native_recursion(deep, name):
    _, root, body, outer = deep
    query, expected = DEEP[name]
    started = time.perf_counter()
    assert on_small_stack(lambda: query(root, body, outer)) == expected
    assert time.perf_counter() - started < 20  # a walk quadratic in the depth takes far longer
