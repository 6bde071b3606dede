"""atheris target: the Python binding, driven the way a user's code drives it.

Parses the input (as bytes, or as text decoded with replacement, through velkaron.parse or
Tree, with small markup limits now and then), then walks a few nodes picked from the input
with navigation, text, attributes, every search strategy, CSS selectors, HTML output, the
whole-document queries and the tree's own queries, with names, classes and values taken from
the document.
Besides crashes of the interpreter (a signal is a finding), it fails when strategies that
must agree disagree, or when a call raises anything other than the documented exceptions.
Run through `make fuzz-python`; libFuzzer options (-runs, -max_total_time, -max_len) pass on.
"""

import sys

import atheris

with atheris.instrument_imports():
    import velkaron

STRATEGIES_ALL = ("find_all", "find_all_bulk", "find_all_ultra_fast", "find_all_parallel",
                  "find_all_parallel_optimized")
STRATEGIES_FIRST = ("find", "find_bulk", "find_ultra_fast", "find_parallel",
                    "find_parallel_optimized")
# What a call with arguments of the wrong kind may raise.
MISUSE = (TypeError, ValueError)
WRONG_ARGUMENTS = ((None,), (1.5,), (b"\xff",), ({"a": 1},), ("a", "b", "c", "d"))
# Class-valued queries that answer one question (a token, separated by any ASCII space; the
# bulk pair compares space-separated text instead, as documented). Compared without repeats:
# from the root an element is listed once per repetition of its token.
CLASS_AGREEING = ("find_all", "find_all_ultra_fast")


def material(root, pick):
    """Tag names, attribute pairs and class tokens found in the document."""
    names, pairs, classes = [], [], []
    for node in root.get_descendants()[:64]:
        names.append(node.get_name())
        for key, value in node.get_attributes().items():
            pairs.append((key, value))
            if key == "class":
                classes.extend(value.split())
    names.append(pick.ConsumeUnicodeNoSurrogates(8))
    return names, pairs, classes


def check_searches(node, name, attrs):
    answers = [getattr(node, method)(name, attrs) for method in STRATEGIES_ALL]
    firsts = [getattr(node, method)(name, attrs) for method in STRATEGIES_FIRST]
    if name.islower() and name.isascii() and not attrs:
        assert all(answer == answers[0] for answer in answers), (name, attrs)
        expected_first = answers[0][0] if answers[0] else None
        assert all(first == expected_first for first in firsts), (name, attrs)


def exercise_node(node, names, pairs, classes, pick):
    node.get_name(), node.get_attributes(), node.get_text(), node.get_strings()
    node.get_text_with_separator_stripped(pick.ConsumeUnicodeNoSurrogates(2))
    node.get_stripped_strings(), node.get_direct_text(), node.get_all_parents()
    node.get_next_sibling(), node.get_previous_element(), node.get_children()
    node.get_all_next_siblings_including_text(), node.get_all_previous_siblings_including_text()
    name = pick.PickValueInList(list(names))
    check_searches(node, name, {})
    if pairs:
        key, value = pick.PickValueInList(list(pairs))
        check_searches(node, pick.PickValueInList(list(["", name])), {key: value})
        assert node.get_attribute(key) == node.get_attributes().get(key, "")
    if classes:
        token = pick.PickValueInList(list(classes))
        answers = [list(dict.fromkeys(getattr(node, m)("", {"class": token})))
                   for m in CLASS_AGREEING]
        assert answers[0] == answers[1], token
    node.find_descendants_by_tag(name)
    method = getattr(node, pick.PickValueInList(list(STRATEGIES_ALL + ("get_attribute", "insert"))))
    try:
        method(*pick.PickValueInList(list(WRONG_ARGUMENTS)))
    except MISUSE:
        pass


def exercise_selectors(node, names, classes, pick):
    """Selectors built from the document's names and classes, and fuzzed text."""
    parts = [pick.PickValueInList(list(names)), "." + pick.PickValueInList(list(classes or ["c"])),
             pick.ConsumeUnicodeNoSurrogates(12)]
    combinator = pick.PickValueInList([" ", " > ", ", ", " ~ ", ""])
    css = combinator.join(parts[:pick.ConsumeIntInRange(1, 3)])
    try:
        found = node.select(css)
        assert node.select_one(css) == (found[0] if found else None), css
        node.matches(css), node.closest(css)
    except velkaron.SelectorError:
        pass
    node.html, node.inner_html


def exercise_whole_document(tree, root, names, pairs, classes, pick):
    name, token = pick.PickValueInList(list(names)), pick.PickValueInList(list(classes or [""]))
    assert root.count_elements_by_tag(name) == len(root.find_all(name)) or not name.islower()
    root.get_all_text_by_tag(name), root.get_all_text_by_class(token)
    root.count_elements_by_class(token), root.get_all_hrefs(), root.get_all_src_attributes()
    if pairs:
        tree.find_by_attribute(*pick.PickValueInList(list(pairs)))
    tree.find_by_text_content(root.get_text()[:16])
    tree.get_nth_element(pick.ConsumeIntInRange(0, 80))
    tree.get_indexed_element_count(), tree.create_element(name, {})


def TestOneInput(data):
    pick = atheris.FuzzedDataProvider(data[:64])
    html = data[64:]
    if pick.ConsumeBool():
        html = html.decode("utf-8", errors="replace")
    limits = {"max_depth": 4, "max_attributes": 2} if pick.ConsumeProbability() < 0.1 else {}
    parser = velkaron.parse if pick.ConsumeBool() else velkaron.Tree
    tree = parser(html, **limits)
    if parser is velkaron.parse and pick.ConsumeProbability() < 0.05:
        # A batch reads each document as parse does, under the same limits, on worker threads.
        assert all(t.html == tree.html for t in velkaron.parse_many([html] * 3, threads=2, **limits))
    root = tree.get_root()
    if root is None:
        return
    names, pairs, classes = material(root, pick)
    exercise_whole_document(tree, root, names, pairs, classes, pick)
    nodes = [root] + root.get_all_descendants_with_text()[:200]
    for _ in range(3):
        exercise_node(pick.PickValueInList(list(nodes)), names, pairs, classes, pick)
    exercise_selectors(pick.PickValueInList(list(nodes)), names, classes, pick)
    tree.html
    if pick.ConsumeProbability() < 0.02:
        # Instances made without their constructor, and pybind11's bare base type.
        for misuse in (lambda: velkaron.Tree.__new__(velkaron.Tree).get_root(),
                       lambda: velkaron.Node.__new__(velkaron.Node), velkaron.Tree.__mro__[1]):
            try:
                misuse()
            except MISUSE:
                pass


if __name__ == "__main__":
    atheris.Setup(sys.argv, TestOneInput)
    atheris.Fuzz()
