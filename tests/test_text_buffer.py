"""Element text read from the document's text buffer agrees with a walk over the children,
for every element of a set of awkward documents, and stays linear on deep nesting."""

import time

import pytest

import velkaron

DOCUMENTS = {
    "template-cdata-comment": "<div>a<template>x<b>y</b></template> b<!--d--> <p> e </p>\n</div>"
    "<svg><![CDATA[z]]><text>q</text></svg>",
    "foster-parented": "<table>a<tr>b<td>c</td>d</tr>e</table><select>f<option>g</select>",
    "whitespace-runs": "<ul>\n <li> one </li>\n\t<li>two</li>\n</ul>\r\n<pre>\nkeep</pre>",
    "references": "<p>&amp;&lt; &#x10FFFF; &nbsp;<b> x </b>\t\n</p>",
    "nested-whitespace": "<div>\n" * 40 + "deep" + "</div>" * 40,
    "text-only": "  only text  ",
    "empty": "",
}


def model_strings(node):
    """Text runs below `node` by navigation: text children, and the runs of element children."""
    runs = []
    for child in node.get_children():
        if child.is_text():
            runs.append(child.get_text())
        elif child.is_element():
            runs.extend(model_strings(child))
    return runs


def model_text_nodes(node):
    """Runs of the whole-document text queries: whitespace-only nodes left out."""
    return "".join(run for run in model_strings(node) if run.strip(" \t\n\r\f"))


@pytest.mark.parametrize("html", DOCUMENTS.values(), ids=DOCUMENTS.keys())
def test_every_element_text_matches_the_walk(html):
    tree = velkaron.Tree(html)
    root = tree.get_root()
    for node in [root, *root.get_descendants()]:
        if not node.is_element():
            continue
        runs = model_strings(node)
        assert node.get_strings() == runs
        assert node.get_text() == "".join(runs)
        assert node.get_text_with_separator("|") == "|".join(runs)
        assert node.get_text_stripped() == "".join(runs).strip(" \t\n\r\f\v")
        assert node.get_stripped_strings() == [r.strip(" \t\n\r\f\v") for r in runs if r.strip(" \t\n\r\f\v")]
    for tag in ("div", "p", "li", "td", "b", "html"):
        expected = [model_text_nodes(e) for e in [root, *root.get_descendants()]
                    if e.is_element() and e.get_name() == tag]
        assert root.get_all_text_by_tag(tag) == [t for t in expected if t]


@pytest.mark.parametrize("opening", ["<div>", "<div>\n"])
def test_deep_nesting_text_by_tag_is_linear(opening):
    depth = 3000
    tree = velkaron.Tree(opening * depth + "x", max_depth=None)
    start = time.process_time()
    texts = tree.get_root().get_all_text_by_tag("div")
    # Only the innermost run is a text node; the newlines above it are whitespace-only nodes.
    assert texts == [opening[len("<div>"):] + "x"] * depth
    assert tree.get_root().get_text() == opening[len("<div>"):] * depth + "x"
    assert time.process_time() - start < 0.05
