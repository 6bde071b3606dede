"""The two multi-threaded search strategies, through the Python API.

find_all_parallel / find_parallel split every node of the subtree over up to 8 workers once the
subtree holds 200 nodes; find_all_parallel_optimized / find_parallel_optimized start up to 4
workers once a capped estimate reaches 2000 nodes and more than 500 elements match. Their
answers are checked against the sequential searches (and, where the comparison rules differ,
against a plain-Python reading of the tree), on both sides of those thresholds.
"""

import os
import threading

import pytest

import velkaron

# ---------------------------------------------------------------------------------------------
# Documents and readings of them


def item(i):
    """Five nodes: a div, a span and its text, an a element and its text."""
    return (
        f'<div class="item c{i % 3}" id="d{i}" data-k="{i % 5}">'
        f'<span class="label">t{i}</span><a href="/p/{i}" title>l</a></div>'
    )


def page(items, extra=""):
    body = "".join(item(i) for i in range(items))
    # Unknown elements are part of the page but never found by name.
    body += "<custom-widget class='w'></custom-widget>" * 3
    return (
        "<!DOCTYPE html><html><head><title>t</title></head>"
        f"<body><main id='m'>{body}{extra}</main></body></html>"
    )


# Subtree sizes of <main>, counting every node kind: 5 per item, 3 unknown elements, main.
SIZES = {
    "under 200 nodes": 30,  # 154 nodes
    "over 200 nodes": 50,  # 254 nodes
    "over 2000 nodes": 1600,  # 8004 nodes, 533 to 4800 matches
}


def tokens(nodes):
    """The parser nodes behind a result list, in order."""
    return [node.get_gumbo_node() for node in nodes]


def token(node):
    return None if node is None else node.get_gumbo_node()


def subtree_nodes(start):
    """Every node at and below `start` in document order, of every kind, entering elements
    only: the list that the first strategy cuts into chunks."""
    nodes, pending = [], [start]
    while pending:
        node = pending.pop()
        nodes.append(node)
        if node.is_element():
            pending.extend(reversed(node.get_children()))
    return nodes


def strict_matches(start, tag_name, attrs):
    """The general rule of both strategies: the element's (lower-case) name equals the tag name,
    every attribute value equals the required one whole, an empty value only an empty one."""
    found = []
    for element in start.find_all_ultra_fast():
        if tag_name and element.get_name() != tag_name:
            continue
        present = element.get_attributes()
        if all(present.get(name) == value for name, value in attrs.items()):
            found.append(element)
    return found


def hardware_threads():
    try:
        return max(os.sysconf("SC_NPROCESSORS_ONLN"), 0)
    except (ValueError, OSError):
        return 0


def parallel_workers():
    """Workers of find_all_parallel on this machine: the hardware threads capped at 8, 2 when
    the platform does not say."""
    threads = hardware_threads()
    return 2 if threads == 0 else min(threads, 8)


def chunk_first_matches(start, is_match):
    """The answers find_parallel may give: with workers, the earliest match of any chunk; on
    the calling thread, the first match in document order."""
    nodes = subtree_nodes(start)
    workers = parallel_workers()
    matches = [node for node in nodes if node.is_element() and is_match(node)]
    if len(nodes) < 200 or workers <= 1:
        return set(tokens(matches[:1]))
    firsts, offset = set(), 0
    for i in range(workers):
        length = len(nodes) // workers + (1 if i < len(nodes) % workers else 0)
        chunk = nodes[offset : offset + length]
        offset += length
        first = next((node for node in chunk if node.is_element() and is_match(node)), None)
        if first is not None:
            firsts.add(first.get_gumbo_node())
    return firsts


@pytest.fixture(scope="module")
def pages():
    """One tree per size, parsed once: (tree, root, main)."""
    parsed = {}
    for size, items in SIZES.items():
        tree = velkaron.Tree(page(items))
        root = tree.get_root()
        parsed[size] = (tree, root, root.find("main"))
    return parsed


def start_of(pages, size, where):
    _, root, main = pages[size]
    return root if where == "root" else main


# ---------------------------------------------------------------------------------------------
# Equal to the sequential counterpart


def test_subtree_sizes_are_as_intended(pages):
    counts = {size: len(subtree_nodes(pages[size][2])) for size in SIZES}
    assert counts == {"under 200 nodes": 154, "over 200 nodes": 254, "over 2000 nodes": 8004}


# Queries on which find_all_parallel applies the same rule as find_all_ultra_fast: the tag
# path and the class path are the same walks, and the general path differs only for empty
# required values, which these queries avoid.
SAME_AS_ULTRA_FAST = [
    pytest.param("div", {}, id="tag"),
    pytest.param("DIV", {}, id="tag-upper-case"),
    pytest.param("a", {}, id="tag-a"),
    pytest.param("custom-widget", {}, id="tag-unknown"),
    pytest.param("", {"class": "c1"}, id="class-token"),
    pytest.param("", {"class": "label"}, id="class-token-span"),
    pytest.param("", {"class": "absent"}, id="class-absent"),
    pytest.param("div", {"class": "item c1"}, id="general-tag-and-class"),
    pytest.param("", {"data-k": "3"}, id="general-one-attribute"),
    pytest.param("", {"class": "item c2", "data-k": "4"}, id="general-two-attributes"),
    pytest.param("a", {"href": "/p/7"}, id="general-href"),
    pytest.param("", {}, id="general-everything"),
]


@pytest.mark.parametrize("where", ["root", "main"])
@pytest.mark.parametrize("size", list(SIZES))
@pytest.mark.parametrize(("tag_name", "attrs"), SAME_AS_ULTRA_FAST)
def test_find_all_parallel_equals_ultra_fast(pages, size, where, tag_name, attrs):
    start = start_of(pages, size, where)
    expected = tokens(start.find_all_ultra_fast(tag_name, attrs))
    assert tokens(start.find_all_parallel(tag_name, attrs)) == expected
    assert tokens(start.find_all_parallel(tag_name=tag_name, attrs=attrs)) == expected


def test_equal_results_are_real_results(pages):
    # Guards the comparisons above against two empty lists agreeing.
    _, _, main = pages["over 2000 nodes"]
    assert len(main.find_all_parallel("div")) == 1600
    assert len(main.find_all_parallel(attrs={"class": "c1"})) == 533
    assert len(main.find_all_parallel("", {"data-k": "3"})) == 320
    assert len(main.find_all_parallel()) == 1 + 1600 * 3 + 3
    assert main.find_all_parallel("custom-widget") == []


# The optimised strategy: the tag path is the sequential name walk; every other shape is the
# general rule, with class and id compared as whole values like any attribute.
OPTIMIZED_QUERIES = [
    pytest.param("div", {}, id="tag"),
    pytest.param("SPAN", {}, id="tag-upper-case"),
    pytest.param("custom-widget", {}, id="tag-unknown"),
    pytest.param("", {}, id="everything"),
    pytest.param("div", {"class": "item c1"}, id="tag-and-class"),
    pytest.param("", {"class": "item c2"}, id="class-whole-value"),
    pytest.param("", {"class": "c2"}, id="class-token-not-whole"),
    pytest.param("a", {"title": ""}, id="empty-value"),
    pytest.param("", {"id": "d7"}, id="id"),
]


@pytest.mark.parametrize("where", ["root", "main"])
@pytest.mark.parametrize("size", list(SIZES))
@pytest.mark.parametrize(("tag_name", "attrs"), OPTIMIZED_QUERIES)
def test_optimized_equals_sequential(pages, size, where, tag_name, attrs):
    start = start_of(pages, size, where)
    if tag_name and not attrs:
        expected = tokens(start.find_all_ultra_fast(tag_name))
    else:
        expected = tokens(strict_matches(start, tag_name, attrs))
    found = start.find_all_parallel_optimized(tag_name, attrs)
    assert tokens(found) == expected
    # The find form is the general path cut to its first element.
    first = start.find_parallel_optimized(tag_name, attrs)
    assert token(first) == next(iter(tokens(strict_matches(start, tag_name, attrs))), None)


def test_optimized_runs_where_workers_start(pages):
    # Over 2000 nodes and more than 500 matches: the sizes at which workers make the handles.
    _, _, main = pages["over 2000 nodes"]
    assert len(main.find_all_parallel_optimized("div")) == 1600
    assert len(main.find_all_parallel_optimized("div", {"class": "item c1"})) == 533
    assert len(main.find_all_parallel_optimized("a", {"title": ""})) == 1600
    assert len(main.find_all_parallel_optimized()) == 4804


# ---------------------------------------------------------------------------------------------
# The documented differences between the strategies and the sequential searches


def rules_page(units):
    unit = (
        '<p class="a b" id="dup" title>x</p><p class="a" title="">y</p>'
        '<p class="b" title="z">z</p><div class="a">w</div>'
    )
    return f"<html><body><section id='s'>{unit * units}</section></body></html>"


@pytest.fixture(scope="module", params=[10, 700], ids=["small", "large"])
def rules(request):
    tree = velkaron.Tree(rules_page(request.param))
    section = tree.get_root().find(attrs={"id": "s"})
    return tree, section, request.param


def test_empty_required_value_matches_only_empty_values(rules):
    _, section, units = rules
    paragraphs = section.find_all_ultra_fast("p")
    empty_title = [p for i, p in enumerate(paragraphs) if i % 3 != 2]
    assert tokens(section.find_all_parallel("p", {"title": ""})) == tokens(empty_title)
    assert tokens(section.find_all_parallel_optimized("p", {"title": ""})) == tokens(empty_title)
    # The sequential searches ask only that the attribute be there.
    assert tokens(section.find_all("p", {"title": ""})) == tokens(paragraphs)
    assert len(paragraphs) == 3 * units


def test_upper_case_tag_alone_and_with_attributes(rules):
    _, section, units = rules
    divs = tokens(section.find_all_ultra_fast("div"))
    assert len(divs) == units
    assert tokens(section.find_all_parallel("DIV")) == divs
    assert section.find_all_parallel("DIV", {"class": "a"}) == []
    assert tokens(section.find_all_parallel("div", {"class": "a"})) == divs
    assert tokens(section.find_all_parallel_optimized("DIV")) == divs
    # The find forms have no tag shortcut: the lower-case name is compared byte for byte.
    assert section.find_parallel_optimized("DIV") is None
    assert section.find_parallel("DIV") is None
    assert token(section.find_parallel_optimized("div")) == divs[0]


def test_class_token_against_whole_value(rules):
    _, section, _ = rules
    everything = section.find_all_ultra_fast()
    token_a = [e for e in everything if "a" in e.get_attribute("class").split()]
    whole_a = [e for e in everything if e.get_attribute("class") == "a"]
    assert tokens(section.find_all_parallel(attrs={"class": "a"})) == tokens(token_a)
    assert tokens(section.find_all_parallel_optimized(attrs={"class": "a"})) == tokens(whole_a)
    assert tokens(section.find_all_parallel("p", {"class": "a"})) == tokens(
        [e for e in whole_a if e.get_name() == "p"]
    )
    assert tokens(section.find_all_parallel_optimized(attrs={"class": "a b"})) == tokens(
        [e for e in everything if e.get_attribute("class") == "a b"]
    )
    assert section.find_all_parallel(attrs={"class": "a b"}) == []
    assert len(whole_a) < len(token_a)


def test_id_alone(rules):
    _, section, units = rules
    carriers = tokens(section.find_all_ultra_fast(attrs={"id": "dup"}))
    assert len(carriers) == units
    one = section.find_all_parallel(attrs={"id": "dup"})
    assert len(one) == 1 and token(one[0]) in carriers
    if units == 10:  # under 200 nodes: the first in document order
        assert token(one[0]) == carriers[0]
    assert tokens(section.find_all_parallel_optimized(attrs={"id": "dup"})) == carriers
    assert section.find_all_parallel(attrs={"id": "nowhere"}) == []
    assert section.find_parallel(attrs={"id": "nowhere"}) is None


# ---------------------------------------------------------------------------------------------
# enable_parallel=False is exactly find_all / find

ROOT_DOC = (
    "<html><body><div class='a a' id='x'><p class='a'>1</p><p title>2</p>"
    "<p id=''>3</p></div><div class='b'><span class='a\tb'>4</span></div></body></html>"
)

SEQUENTIAL_QUERIES = [
    pytest.param("div", {}, id="tag"),
    pytest.param("DIV", {}, id="tag-upper-case"),
    pytest.param("", {"class": "a"}, id="class-token"),
    pytest.param("", {"class": ""}, id="class-empty"),
    pytest.param("", {"id": "x"}, id="id"),
    pytest.param("", {"id": ""}, id="id-empty"),
    pytest.param("p", {"title": ""}, id="empty-value"),
    pytest.param("", {}, id="everything"),
]


@pytest.mark.parametrize("where", ["root", "body"])
@pytest.mark.parametrize(("tag_name", "attrs"), SEQUENTIAL_QUERIES)
def test_enable_parallel_false_is_find_all_and_find(where, tag_name, attrs):
    tree = velkaron.Tree(ROOT_DOC)
    root = tree.get_root()
    start = root if where == "root" else root.find("body")
    all_expected = tokens(start.find_all(tag_name, attrs))
    first_expected = token(start.find(tag_name, attrs))
    for method in ("find_all_parallel", "find_all_parallel_optimized"):
        find_all = getattr(start, method)
        assert tokens(find_all(tag_name, attrs, False)) == all_expected
        assert tokens(find_all(tag_name=tag_name, attrs=attrs, enable_parallel=False)) == all_expected
    for method in ("find_parallel", "find_parallel_optimized"):
        find = getattr(start, method)
        assert token(find(tag_name, attrs, False)) == first_expected
        assert token(find(tag_name=tag_name, attrs=attrs, enable_parallel=False)) == first_expected


def test_enable_parallel_false_by_keyword_alone():
    tree = velkaron.Tree(ROOT_DOC)
    root = tree.get_root()
    for start in (root, root.find("body")):
        everything = tokens(start.find_all())
        assert tokens(start.find_all_parallel(enable_parallel=False)) == everything
        assert tokens(start.find_all_parallel_optimized(enable_parallel=False)) == everything
        assert token(start.find_parallel(enable_parallel=False)) == token(start.find())
        assert token(start.find_parallel_optimized(enable_parallel=False)) == token(start.find())


def test_enable_parallel_false_keeps_the_index_answers_at_the_root():
    # At the root the sequential search answers from the indexes: case-sensitive names and
    # one entry per class token occurrence. The parallel paths walk instead.
    tree = velkaron.Tree(ROOT_DOC)
    root = tree.get_root()
    assert root.find_all_parallel("DIV", {}, False) == []
    assert len(root.find_all_parallel("DIV")) == 2
    doubled = root.find_all_parallel(attrs={"class": "a"}, enable_parallel=False)
    assert [node.get_attribute("id") for node in doubled[:2]] == ["x", "x"]
    walked = root.find_all_parallel(attrs={"class": "a"})
    assert len(walked) == len(doubled) - 1


# ---------------------------------------------------------------------------------------------
# find_parallel answers with the earliest match of one chunk


def hits_page(positions, total):
    cells = ["<p class='hit' id='dup'></p>" if i in positions else "<p></p>" for i in range(total)]
    return f"<html><body><div id='s'>{''.join(cells)}</div></body></html>"


@pytest.mark.parametrize(
    ("positions", "total"),
    [
        pytest.param({5, 120, 260, 390, 590}, 599, id="hits-in-every-chunk"),
        pytest.param({590}, 599, id="one-hit-at-the-end"),
        pytest.param({3, 400}, 599, id="two-hits"),
        pytest.param({40, 90}, 150, id="under-200-nodes"),
    ],
)
def test_find_parallel_returns_a_chunk_first_match(positions, total):
    tree = velkaron.Tree(hits_page(positions, total))
    start = tree.get_root().find(attrs={"id": "s"})
    allowed = chunk_first_matches(start, lambda node: node.get_attribute("class") == "hit")
    hits = tokens(start.find_all_ultra_fast("p", {"class": "hit"}))
    assert len(hits) == len(positions) and allowed <= set(hits) and allowed
    for _ in range(25):
        assert token(start.find_parallel("p", {"class": "hit"})) in allowed
        assert token(start.find_parallel(attrs={"id": "dup"})) in allowed
        assert tokens(start.find_all_parallel(attrs={"id": "dup"}))[0] in allowed
        # The optimised find form is always the first match in document order.
        assert token(start.find_parallel_optimized("p", {"class": "hit"})) == hits[0]
    if len(positions) == 1 or total < 200:
        assert allowed == {hits[0]}


# ---------------------------------------------------------------------------------------------
# Handles, start nodes and what is never searched


@pytest.mark.parametrize(
    ("method", "tag_name"),
    [
        ("find_all_parallel", "div"),
        ("find_all_parallel", "span"),
        ("find_all_parallel_optimized", "div"),
        ("find_all_parallel_optimized", "a"),
    ],
)
def test_workers_hand_out_the_live_python_objects(method, tag_name):
    tree = velkaron.Tree(page(1600))
    main = tree.get_root().find("main")
    sequential = main.find_all(tag_name)
    parallel = getattr(main, method)(tag_name)
    assert len(parallel) == len(sequential) == 1600
    assert all(a is b for a, b in zip(parallel, sequential))
    # And the other way round: objects made from handles that workers created.
    del sequential
    again = main.find_all_ultra_fast(tag_name)
    assert all(a is b for a, b in zip(parallel, again))
    first = main.find_parallel(tag_name)
    assert any(first is node for node in parallel)
    assert main.find_parallel_optimized(tag_name) is parallel[0]


@pytest.mark.parametrize(
    "method", ["find_all_parallel", "find_all_parallel_optimized"]
)
def test_results_outlive_the_tree_object(method):
    nodes = getattr(velkaron.Tree(page(1600)).get_root(), method)("span")
    assert len(nodes) == 1600
    assert nodes[0].get_text() == "t0" and nodes[-1].get_text() == "t1599"
    assert nodes[5].get_parent().get_attribute("id") == "d5"


@pytest.mark.parametrize("items", [30, 1600])
def test_start_node_is_searched_first(items):
    tree = velkaron.Tree(page(items))
    root = tree.get_root()
    main = root.find("main")
    assert root.find_all_parallel("html")[0] is root
    assert root.find_all_parallel_optimized("html") == [root]
    assert root.find_parallel_optimized() is root
    assert main.find_all_parallel("main") == [main]
    assert main.find_all_parallel()[0] is main
    assert main.find_all_parallel_optimized()[0] is main
    assert main.find_all_parallel(attrs={"id": "m"}) == [main]
    assert main.find_parallel(attrs={"id": "m"}) is main
    if items == 30:
        assert main.find_parallel() is main


NON_ELEMENT_PAGE = (
    "<html><body><div id='s'>text<!--note--><template><p class='c'>in</p></template>"
    + "<p class='c'>out</p>" * 400
    + "</div></body></html>"
)

FIND_ALL_METHODS = ["find_all_parallel", "find_all_parallel_optimized"]
FIND_METHODS = ["find_parallel", "find_parallel_optimized"]


@pytest.mark.parametrize("kind", ["text", "comment", "template", "document"])
@pytest.mark.parametrize("enable_parallel", [True, False])
@pytest.mark.parametrize(
    ("tag_name", "attrs"),
    [("", {}), ("p", {}), ("", {"class": "c"}), ("", {"id": "s"}), ("p", {"class": "c"})],
)
def test_non_element_start_finds_nothing(kind, enable_parallel, tag_name, attrs):
    tree = velkaron.Tree(NON_ELEMENT_PAGE)
    root = tree.get_root()
    div = root.find(attrs={"id": "s"})
    text, comment, template = div.get_children()[:3]
    start = {"text": text, "comment": comment, "template": template, "document": root.get_parent()}[kind]
    assert not start.is_element()
    for method in FIND_ALL_METHODS:
        assert getattr(start, method)(tag_name, attrs, enable_parallel) == []
    for method in FIND_METHODS:
        assert getattr(start, method)(tag_name, attrs, enable_parallel) is None


@pytest.mark.parametrize("copies", [1, 2000])
def test_template_contents_are_never_searched(copies):
    html = (
        "<html><body><div id='s'>"
        + "<template><p class='c'>in</p><div class='c'>in</div></template><p class='c'>out</p>"
        * copies
        + "</div></body></html>"
    )
    tree = velkaron.Tree(html)
    start = tree.get_root().find(attrs={"id": "s"})
    outside = start.find_all_ultra_fast("p")
    assert len(outside) == copies
    assert all(p.get_text() == "out" for p in outside)
    for method in FIND_ALL_METHODS:
        assert tokens(getattr(start, method)("p")) == tokens(outside)
        assert tokens(getattr(start, method)("", {"class": "c"})) == tokens(outside)
        assert getattr(start, method)("div", {"class": "c"}) == []
    assert tokens(start.find_all_parallel(attrs={"class": "c"})) == tokens(outside)
    for method in FIND_METHODS:
        assert getattr(start, method)("div", {"class": "c"}) is None
        assert getattr(start, method)("p", {"class": "c"}).get_text() == "out"


@pytest.mark.parametrize("method", FIND_ALL_METHODS + FIND_METHODS)
@pytest.mark.parametrize(
    "arguments",
    [(1,), ("p", {"class": 1}), ("p", "class"), ("p", {1: "a"})],
    ids=["tag-not-str", "value-not-str", "attrs-not-mapping", "key-not-str"],
)
def test_wrong_argument_types_raise_type_error(method, arguments):
    tree = velkaron.Tree("<p class='a'>x</p>")
    with pytest.raises(TypeError):
        getattr(tree.get_root(), method)(*arguments)


# ---------------------------------------------------------------------------------------------
# Many searches from several Python threads


def test_stress_from_several_threads():
    shared_tree = velkaron.Tree(page(1600))
    small_trees = [velkaron.Tree(page(60 + 40 * i)) for i in range(4)]
    queries = [
        ("find_all_parallel", "div", {}),
        ("find_all_parallel", "", {"class": "c2"}),
        ("find_all_parallel", "a", {"href": "/p/9"}),
        ("find_all_parallel_optimized", "span", {}),
        ("find_all_parallel_optimized", "div", {"class": "item c0"}),
        ("find_all_parallel_optimized", "", {}),
    ]

    def expected_for(tree):
        main = tree.get_root().find("main")
        answers = []
        for method, tag_name, attrs in queries:
            if method == "find_all_parallel_optimized" and attrs:
                answers.append(tokens(strict_matches(main, tag_name, attrs)))
            else:
                answers.append(tokens(main.find_all_ultra_fast(tag_name, attrs)))
        return answers

    targets = [shared_tree, *small_trees]
    expected = {id(tree): expected_for(tree) for tree in targets}
    failures = []
    checked = []

    def run(thread_index):
        try:
            count = 0
            for round_index in range(6):
                own = velkaron.Tree(page(300 + thread_index))
                own_expected = expected_for(own)
                for tree in (shared_tree, small_trees[(thread_index + round_index) % 4], own):
                    main = tree.get_root().find("main")
                    answers = own_expected if tree is own else expected[id(tree)]
                    for (method, tag_name, attrs), answer in zip(queries, answers):
                        found = getattr(main, method)(tag_name, attrs)
                        if tokens(found) != answer:
                            failures.append((thread_index, method, tag_name, attrs))
                        count += 1
                    first = main.find_parallel("div", {"class": "item c1"})
                    if first is None or first.get_attribute("class") != "item c1":
                        failures.append((thread_index, "find_parallel"))
                    count += 1
            checked.append(count)
        except Exception as error:  # reported below with the thread it came from
            failures.append((thread_index, repr(error)))

    threads = [threading.Thread(target=run, args=(i,)) for i in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not any(thread.is_alive() for thread in threads)
    assert failures == []
    assert checked == [6 * 3 * (len(queries) + 1)] * 4
