"""Lifetime: every Node keeps its Tree alive, so nodes outlive the caller's tree reference, and
the tree is freed as soon as neither it nor any of its nodes is referenced."""

import gc
import resource
import subprocess
import sys
import weakref

import pytest

import velkaron

DOC = "<ul>" + "".join(f"<li class='i{n}'>item {n}</li>" for n in range(5)) + "</ul><p>end</p>"


def test_methods_on_a_temporary_tree():
    assert velkaron.Tree("<p>Hello <b>you</b></p>").get_root().get_text() == "Hello you"
    items = velkaron.Tree(DOC).get_root().find_all("li")
    gc.collect()
    assert [li.get_text() for li in items] == [f"item {n}" for n in range(5)]


def test_roots_of_many_temporary_trees_stay_usable():
    roots = [velkaron.Tree(f"<p id='p{n}'>{n}</p>").get_root() for n in range(200)]
    gc.collect()
    assert [r.find("p").get_attribute("id") for r in roots] == [f"p{n}" for n in range(200)]


def test_nodes_work_after_the_tree_is_deleted():
    tree = velkaron.Tree(DOC)
    root = tree.get_root()
    first = root.find_all("li")[0]
    del tree
    gc.collect()
    assert first.get_text() == "item 0"
    assert first.get_attributes() == {"class": "i0"}
    # New handles made after the tree reference is gone come from the same live tree.
    siblings = first.get_all_next_siblings_including_text()
    assert [s.get_text() for s in siblings] == [f"item {n}" for n in range(1, 5)]
    assert first.get_parent().get_parent() is root.get_children()[1]
    assert first.get_next_element().get_next_element() is siblings[1]
    assert root.get_parent().is_document()
    assert [n.get_text() for n in root.find_all_parallel("li")][-1] == "item 4"
    assert first.extract() is first


@pytest.mark.parametrize(
    "keep",
    [
        lambda tree: tree.get_root(),
        lambda tree: tree.get_root().find("p"),
        lambda tree: tree.get_root().get_parent(),
        lambda tree: tree.get_root().find("li").get_children()[0],
        lambda tree: tree.get_nth_element(4),
        lambda tree: tree.get_root().find_all_parallel("li"),
        lambda tree: tree.get_root().get_descendants(),
    ],
    ids=["root", "element", "document", "text", "indexed", "parallel-list", "descendants"],
)
def test_tree_lives_exactly_as_long_as_some_node(keep):
    tree = velkaron.Tree(DOC)
    alive = weakref.ref(tree)
    kept = keep(tree)
    del tree
    gc.collect()
    assert alive() is not None
    del kept
    # No collection needed: the last reference going away frees the tree at once.
    assert alive() is None


def test_a_handle_made_after_the_tree_reference_died_also_holds_the_tree():
    tree = velkaron.Tree(DOC)
    alive = weakref.ref(tree)
    p = tree.get_root().find("p")
    del tree
    later = p.get_previous_element()  # a Python object created only now
    assert later.get_text() == "item 4"
    del p
    gc.collect()
    assert alive() is not None
    assert later.get_parent().get_name() == "ul"
    del later
    assert alive() is None


def test_tree_without_nodes_is_freed_at_once():
    tree = velkaron.Tree(DOC)
    alive = weakref.ref(tree)
    tree.get_root().get_text()
    tree.get_root().find_all("li")
    del tree
    assert alive() is None


def test_nodes_keep_only_their_own_tree():
    first, second = velkaron.Tree("<p>1</p>"), velkaron.Tree("<p>2</p>")
    first_alive, second_alive = weakref.ref(first), weakref.ref(second)
    node = first.get_root().find("p")
    second.get_root().wrap(node)  # a node of one tree handed to another tree's node
    del first, second
    gc.collect()
    assert first_alive() is not None and second_alive() is None
    assert node.get_text() == "1"
    del node
    assert first_alive() is None


def test_a_node_passed_through_a_method_keeps_its_tree():
    first, second = velkaron.Tree("<p>1</p>"), velkaron.Tree("<p>2</p>")
    first_alive = weakref.ref(first)
    other_root = second.get_root()
    wrapped = other_root.wrap(first.get_root().find("p"))
    other_root.append(wrapped)
    other_root.replace_with(wrapped)
    del first, second
    gc.collect()
    assert first_alive() is not None
    assert wrapped.get_text() == "1" and wrapped.get_parent().get_name() == "body"
    del wrapped
    gc.collect()
    assert first_alive() is None
    assert other_root.get_text() == "2"


def test_thousands_of_nodes_outlive_the_tree():
    count = 5000
    tree = velkaron.Tree("".join(f"<div id='d{n}'><span>{n}</span></div>" for n in range(count)))
    alive = weakref.ref(tree)
    spans = tree.get_root().find_all("span")
    nodes = tree.get_root().get_parent().get_descendants()
    del tree
    gc.collect()
    assert len(spans) == count and len(nodes) == 3 * count + 3
    assert all(s.get_text() == str(n) for n, s in enumerate(spans))
    assert all(s.get_parent().get_attribute("id") == f"d{n}" for n, s in enumerate(spans))
    del spans
    gc.collect()
    assert alive() is not None
    assert sum(1 for n in nodes if n.get_name() == "div") == count
    del nodes
    gc.collect()
    assert alive() is None


def test_nodes_in_a_reference_cycle_release_the_tree_when_collected():
    tree = velkaron.Tree(DOC)
    alive = weakref.ref(tree)
    holder = {"node": tree.get_root().find("p")}
    holder["self"] = holder
    del tree, holder
    gc.collect()
    assert alive() is None


# One tree level per character: the parser builds this in well under a second.
NESTED_SPANS = 1_000_000

FREE_DEEP_TREE = r"""
import sys
import velkaron
depth = int(sys.argv[1])
tree = velkaron.Tree("<span>" * depth + "x")
root = tree.get_root()
assert root.get_text() == "x"
assert len(root.find_all("span")) == depth
del root, tree
print("freed")
"""


def default_stack():
    # A fresh process with the usual 8 MiB main-thread stack, whatever this shell allows.
    limit = 8 << 20
    _, hard = resource.getrlimit(resource.RLIMIT_STACK)
    if hard != resource.RLIM_INFINITY:
        limit = min(limit, hard)
    resource.setrlimit(resource.RLIMIT_STACK, (limit, hard))


def test_freeing_a_deeply_nested_tree_does_not_crash():
    result = subprocess.run(
        [sys.executable, "-c", FREE_DEEP_TREE, str(NESTED_SPANS)],
        capture_output=True, text=True, timeout=120, preexec_fn=default_stack,
    )
    assert (result.returncode, result.stdout.strip()) == (0, "freed"), result.stderr[-2000:]


SMALL_STACK_FREE = r"""
import threading
import velkaron

def work():
    tree = velkaron.Tree("<b>" * 21000)
    assert len(tree.get_root().find_all("b")) == 21000
    del tree
    print("freed")

threading.stack_size(512 * 1024)
worker = threading.Thread(target=work)
worker.start()
worker.join()
"""


def test_freeing_a_nested_tree_on_a_thread_with_a_small_stack():
    # 21,000 levels from 63 KB of text: gumbo's recursive free needs more than 512 KiB.
    result = subprocess.run(
        [sys.executable, "-c", SMALL_STACK_FREE], capture_output=True, text=True, timeout=120
    )
    assert (result.returncode, result.stdout.strip()) == (0, "freed"), result.stderr[-2000:]
