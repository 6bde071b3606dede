"""The Python face of the extension: module contents, every method's doc string and signature
text, argument conversions and the import-time interpreter check."""

import re
import shutil
import subprocess
import sys
import types

import pytest

import _velkaron
import velkaron

MAP = "@collections.abc.Mapping@dict@[str, str]"
SEQ_NODES = "@collections.abc.Sequence@list@[%]"
SEQ_STR = "@collections.abc.Sequence@list@[str]"
INT = "@typing.SupportsInt | typing.SupportsIndex@int@"
FLOAT = "@typing.SupportsFloat | typing.SupportsIndex@float@"

# Signature templates: {...} is one parameter, @a@b@ shows a for a parameter and b for a result,
# and % is a qualified class name: the method's own class for self, _velkaron.Node everywhere
# else (no method takes or returns a Tree).
TEMPLATES = {
    "({%}, {str | bytes | bytearray}) -> None": ["Tree.__init__"],
    "({%}, {str}) -> None": ["Tree._set_encoding", "remove_attribute"],
    "({%}, {str}, {object}) -> object": ["get"],
    "({%}) -> %": ["Tree.get_root", "get_parent", "get_next_sibling", "get_previous_sibling",
                   "get_next_element", "get_previous_element", "extract", "unwrap"],
    "({%}, {str}, {" + MAP + "}) -> %": ["Tree.create_element", "find", "find_bulk",
                                         "find_ultra_fast"],
    "({%}, {str}, {str}) -> " + SEQ_NODES: ["Tree.find_by_attribute"],
    "({%}, {str}) -> " + SEQ_NODES: ["Tree.find_by_text_content", "find_descendants_by_tag"],
    "({%}, {" + INT + "}) -> %": ["Tree.get_nth_element"],
    "({%}) -> " + FLOAT: ["Tree.get_index_build_time"],
    "({%}) -> " + INT: ["Tree.get_indexed_element_count", "get_gumbo_node"],
    "({%}) -> str": ["get_name", "get_text", "get_text_stripped", "get_direct_text",
                     "test_method"],
    "({%}) -> " + MAP: ["get_attributes"],
    "({%}, {str}) -> str": ["get_attribute", "get_text_with_separator",
                            "get_text_with_separator_stripped"],
    "({%}) -> " + SEQ_STR: ["get_strings", "get_stripped_strings", "get_all_hrefs",
                            "get_all_src_attributes"],
    "({%}) -> bool": ["is_element", "is_text", "is_document"],
    "({%}) -> " + SEQ_NODES: ["get_children", "get_descendants", "get_all_descendants_with_text",
                              "get_all_parents", "get_all_next_siblings_including_text",
                              "get_all_previous_siblings_including_text"],
    "({%}, {str}, {" + MAP + "}) -> " + SEQ_NODES: ["find_all", "find_all_bulk",
                                                    "find_all_ultra_fast"],
    "({%}, {str}) -> bool": ["has_attribute"],
    "({%}) -> None": ["decompose", "clear"],
    "({%}, {%}) -> None": ["replace_with", "append"],
    "({%}, {" + INT + "}, {%}) -> None": ["insert"],
    "({%}, {%}) -> %": ["wrap"],
    "({%}, {str}, {str}) -> None": ["set_attribute"],
    "({%}, {str}, {" + MAP + "}, {bool}) -> " + SEQ_NODES: ["find_all_parallel",
                                                            "find_all_parallel_optimized"],
    "({%}, {str}, {" + MAP + "}, {bool}) -> %": ["find_parallel", "find_parallel_optimized"],
    "({%}, {str}) -> " + SEQ_STR: ["get_all_text_by_tag", "get_all_text_by_class"],
    "({%}, {str}) -> " + INT: ["count_elements_by_tag", "count_elements_by_class"],
}

SEARCH = ["tag_name = ''", "attrs = {}"]
PARALLEL = SEARCH + ["enable_parallel = True"]

# Parameter names (and defaults) after self, and doc strings. Node methods are unqualified.
METHODS = {
    "Tree.__init__": (["arg0"], None),
    "Tree._set_encoding": (["arg0"], None),
    "Tree.get_root": ([], "Get the root node of the parsed HTML tree"),
    "Tree.create_element": (["tag_name", "attributes = {}"],
                            "Create a new element with the given tag name and attributes"),
    "Tree.find_by_attribute": (["attr_name", "value"],
                               "Find elements by attribute name and value using advanced indexing"),
    "Tree.find_by_text_content": (
        ["text"], "Find elements by their immediate text content using advanced indexing"),
    "Tree.get_nth_element": (["index"], "Get the nth element from the indexed elements list"),
    "Tree.get_index_build_time": ([], "Get time taken to build indexes (in seconds)"),
    "Tree.get_indexed_element_count": ([], "Get number of indexed elements"),
    "get": (["name", "default = None"], "An attribute's value, or default when it is absent"),
    "get_name": ([], "Get the tag name of this node"),
    "get_attributes": ([], "Get all attributes as a dictionary"),
    "get_attribute": (["arg0"], "Get a specific attribute value"),
    "get_text": ([], "Get all text content within this node"),
    "get_text_with_separator": (["separator"], "Get all text content joined with a separator"),
    "get_text_stripped": ([], "Get all text content with leading and trailing whitespace trimmed"),
    "get_text_with_separator_stripped": (
        ["separator"], "Get all text content with a separator and trimmed whitespace"),
    "get_strings": ([], "Get all descendant string nodes as Python strings"),
    "get_stripped_strings": ([], "Get all descendant string nodes with whitespace trimmed"),
    "get_direct_text": ([], "Get only direct text children of this node"),
    "is_element": ([], "Check if this node is an element"),
    "is_text": ([], "Check if this node is a text node"),
    "is_document": ([], "Check if this node is the document root"),
    "get_parent": ([], "Get the parent node"),
    "get_children": ([], "Get all child nodes"),
    "get_next_sibling": ([], "Get the next sibling node"),
    "get_previous_sibling": ([], "Get the previous sibling node"),
    "get_next_element": ([], "Get the next element sibling"),
    "get_previous_element": ([], "Get the previous element sibling"),
    "get_descendants": ([], "Get all descendant nodes"),
    "get_all_descendants_with_text": ([], "Get all descendant nodes including text nodes"),
    "get_all_parents": ([], "Get all parent element nodes up to the document root"),
    "get_all_next_siblings_including_text": (
        [], "Get all following siblings, including text nodes"),
    "get_all_previous_siblings_including_text": (
        [], "Get all previous siblings, including text nodes"),
    "find_all": (SEARCH, "Find all matching nodes"),
    "find": (SEARCH, "Find the first matching node"),
    "find_descendants_by_tag": (
        ["tag_name"], "Find descendant elements by tag name without including the current node"),
    "find_all_bulk": (SEARCH, "Find all matching nodes using bulk operations "
                              "(eliminates Python/C++ boundary overhead)"),
    "find_bulk": (SEARCH, "Find the first matching node using bulk operations "
                          "(eliminates Python/C++ boundary overhead)"),
    "decompose": ([], "Remove and destroy this node"),
    "extract": ([], "Remove and return this node"),
    "clear": ([], "Remove all children from this node"),
    "replace_with": (["arg0"], "Replace this node with another node"),
    "append": (["arg0"], "Append a child node"),
    "insert": (["arg0", "arg1"], "Insert a child node at a specific position"),
    "wrap": (["arg0"], "Wrap this node with another element"),
    "unwrap": ([], "Remove the wrapper while keeping content"),
    "has_attribute": (["arg0"], "Check if node has the specified attribute"),
    "set_attribute": (["arg0", "arg1"], "Set an attribute value"),
    "remove_attribute": (["arg0"], "Remove an attribute"),
    "get_gumbo_node": ([], "Get the raw Gumbo node pointer as an integer identity token"),
    "find_all_parallel": (PARALLEL, "Find all matching nodes using parallel processing"),
    "find_parallel": (PARALLEL, "Find the first matching node using parallel processing"),
    "find_all_parallel_optimized": (
        PARALLEL, "Find all matching nodes using optimized parallel processing"),
    "find_parallel_optimized": (
        PARALLEL, "Find the first matching node using optimized parallel processing"),
    "find_all_ultra_fast": (
        SEARCH, "Find all matching nodes using ultra-fast SIMD-optimized processing"),
    "find_ultra_fast": (
        SEARCH, "Find the first matching node using ultra-fast SIMD-optimized processing"),
    "get_all_text_by_tag": (
        ["tag_name"], "Get all text content for elements with specified tag (zero-context)"),
    "get_all_text_by_class": (
        ["class_name"], "Get all text content for elements with specified class (zero-context)"),
    "get_all_hrefs": ([], "Get all href attributes from anchor tags (zero-context)"),
    "get_all_src_attributes": ([], "Get all src attributes from img tags (zero-context)"),
    "count_elements_by_tag": (["tag_name"], "Count elements with specified tag (zero-context)"),
    "count_elements_by_class": (
        ["class_name"], "Count elements with specified class (zero-context)"),
    "test_method": ([], "Test method to verify compilation"),
}

PROPERTIES = {"Tree": {"root", "html", "encoding"},
              "Node": {"tag", "attrs", "text", "parent", "html", "inner_html"}}

TEMPLATE_OF = {method: template for template, methods in TEMPLATES.items() for method in methods}


def split_name(qualified):
    class_name, _, method = qualified.rpartition(".")
    return (class_name or "Node"), method


def expected_signature(qualified):
    class_name, method = split_name(qualified)
    template = TEMPLATE_OF[qualified]
    assert template.startswith("({%}")
    template = "({_velkaron." + class_name + "}" + template[4:].replace("%", "_velkaron.Node")
    params_text, result = re.fullmatch(r"\((.*)\) -> (.*)", template).groups()
    types_ = re.findall(r"\{([^}]*)\}", params_text)
    names = ["self"] + [p.split(" = ")[0] for p in METHODS[qualified][0]]
    defaults = [None] + [p.split(" = ")[1] if " = " in p else None for p in METHODS[qualified][0]]
    assert len(types_) == len(names), qualified
    params = []
    for name, type_, default in zip(names, types_, defaults):
        shown = re.sub(r"@([^@]*)@([^@]*)@", r"\1", type_)
        params.append(f"{name}: {shown}" + (f" = {default}" if default is not None else ""))
    shown_result = re.sub(r"@([^@]*)@([^@]*)@", r"\2", result)
    return f"{method}({', '.join(params)}) -> {shown_result}"


def test_every_method_has_exactly_one_signature_template():
    assert sorted(TEMPLATE_OF) == sorted(METHODS)
    assert sum(len(methods) for methods in TEMPLATES.values()) == len(METHODS)


def test_worked_example_of_a_signature():
    assert expected_signature("find_all") == (
        "find_all(self: _velkaron.Node, tag_name: str = '', "
        "attrs: collections.abc.Mapping[str, str] = {}) -> list[_velkaron.Node]"
    )


def expected_doc(qualified):
    lines = [expected_signature(qualified)]
    description = METHODS[qualified][1]
    if description is not None:
        lines += ["", description]
    return lines


@pytest.mark.parametrize("class_name", ["Tree", "Node"])
def test_doc_strings_are_signature_then_description(class_name):
    cls = getattr(_velkaron, class_name)
    methods = [q for q in METHODS if split_name(q)[0] == class_name]
    actual = {q: getattr(cls, split_name(q)[1]).__doc__.splitlines() for q in methods}
    assert actual == {q: expected_doc(q) for q in methods}


# --- Module and class contents ----------------------------------------------------------------

def public_names(cls):
    return {
        name for name in dir(cls)
        if not (name.startswith("__") and name.endswith("__")) and name != "_pybind11_conduit_v1_"
    }


@pytest.mark.parametrize("class_name", ["Tree", "Node"])
def test_classes_have_exactly_the_listed_methods(class_name):
    expected = {split_name(q)[1] for q in METHODS if split_name(q)[0] == class_name}
    expected.discard("__init__")
    assert public_names(getattr(_velkaron, class_name)) == expected | PROPERTIES[class_name]


def test_method_counts():
    assert len(public_names(_velkaron.Tree)) == 7 + 1 + 3
    assert len(public_names(_velkaron.Node)) == 54 + 1 + 6


def test_module_doc_and_contents():
    assert _velkaron.__doc__ == "Velkaron: High-performance HTML parsing library"
    assert sorted(n for n in dir(_velkaron) if not n.startswith("__")) == ["Node", "Tree"]
    assert velkaron.Tree is _velkaron.Tree and velkaron.Node is _velkaron.Node


def test_node_has_no_constructor():
    with pytest.raises(TypeError) as caught:
        _velkaron.Node()
    assert str(caught.value).endswith(": No constructor defined!")


def test_test_method(parse):
    _, root = parse("<p>x</p>")
    assert root.test_method() == "test_works"
    assert root.get_parent().test_method() == "test_works"


# --- Argument conversions ---------------------------------------------------------------------

class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("index", [-1, 1.0, "0", None, 1 << 64], ids=str)
def test_get_nth_element_rejects_non_indexes(parse, index):
    tree, _ = parse("<p>x</p>")
    with pytest.raises(TypeError):
        tree.get_nth_element(index)


@pytest.mark.parametrize("index", [0, Index(0)], ids=["int", "__index__"])
def test_get_nth_element_takes_integers_and_index_objects(parse, index):
    tree, root = parse("<p>x</p>")
    assert tree.get_nth_element(index) is root
    assert tree.get_nth_element(index=index) is root


def test_get_nth_element_past_the_end_is_none(parse):
    tree, _ = parse("<p>x</p>")
    assert tree.get_nth_element(tree.get_indexed_element_count()) is None
    assert tree.get_nth_element((1 << 64) - 1) is None


def test_find_all_defaults_and_keywords(parse):
    _, root = parse("<p class='a'>1</p><p>2</p><b class='a'>3</b>")
    assert len(root.find_all()) == 6
    assert [n.get_text() for n in root.find_all(attrs={"class": "a"})] == ["1", "3"]
    assert [n.get_text() for n in root.find_all(tag_name="p")] == ["1", "2"]
    assert [n.get_text() for n in root.find_all("p", {"class": "a"})] == ["1"]


@pytest.mark.parametrize("method", ["find_all_parallel", "find_all_parallel_optimized"])
@pytest.mark.parametrize("enable", [True, False])
def test_enable_parallel_by_keyword_alone(parse, method, enable):
    _, root = parse("<p>1</p><p>2</p>")
    found = getattr(root, method)(enable_parallel=enable)
    assert [n.get_name() for n in found] == ["html", "head", "body", "p", "p"]


@pytest.mark.parametrize(
    "attrs", [types.MappingProxyType({"class": "a"}), {b"class": b"a"}],
    ids=["mapping-proxy", "bytes-keys-and-values"],
)
def test_attrs_accept_any_string_mapping(parse, attrs):
    _, root = parse("<p class='a'>1</p><p>2</p>")
    assert [n.get_text() for n in root.find_all("p", attrs)] == ["1"]


@pytest.mark.parametrize(
    "attrs", [{"class": 1}, {1: "a"}, {"class": None}, [("class", "a")], "class"],
    ids=["int-value", "int-key", "None-value", "pairs", "str"],
)
def test_attrs_reject_non_string_maps(parse, attrs):
    _, root = parse("<p class='a'>1</p>")
    with pytest.raises(TypeError):
        root.find_all("p", attrs)


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda t, r: r.get_text_with_separator(separator="|"), "a|b"),
        (lambda t, r: r.get_text_with_separator_stripped(separator="|"), "a|b"),
        (lambda t, r: [n.get_text() for n in r.find_descendants_by_tag(tag_name="p")], ["a"]),
        (lambda t, r: [n.get_text() for n in t.find_by_attribute(attr_name="id", value="x")],
         ["a"]),
        (lambda t, r: t.create_element(tag_name="p", attributes={"id": "y"}), None),
        (lambda t, r: r.count_elements_by_tag(tag_name="p"), 1),
    ],
    ids=["separator", "separator-stripped", "tag_name", "attr_name-value",
         "tag_name-attributes", "count-tag_name"],
)
def test_named_arguments_by_keyword(parse, call, expected):
    tree, root = parse("<p id='x'>a</p><b>b</b>")
    assert call(tree, root) == expected


@pytest.mark.parametrize(
    "call",
    [
        lambda t, r: r.get_text(1),
        lambda t, r: r.get_text_with_separator(sep="|"),
        lambda t, r: r.find_all("p", {}, True),
        lambda t, r: r.find_descendants_by_tag(),
        lambda t, r: t.get_root(r),
        lambda t, r: t.find_by_attribute("id"),
        lambda t, r: r.append(t),
    ],
    ids=["extra-arg", "wrong-keyword", "too-many", "missing", "tree-extra", "one-of-two",
         "tree-for-node"],
)
def test_mismatched_calls_raise_type_error(parse, call):
    tree, root = parse("<p id='x'>a</p>")
    with pytest.raises(TypeError, match="incompatible function arguments"):
        call(tree, root)


# --- Interpreter check at import --------------------------------------------------------------

def other_interpreter():
    for name in ("python3.11", "python3.12", "python3.14", "python3"):
        path = shutil.which(name)
        if path is None:
            continue
        version = subprocess.run([path, "-c", "import sys; print(sys.version[:5])"],
                                 capture_output=True, text=True).stdout
        if version and not version.startswith(f"{sys.version_info[0]}.{sys.version_info[1]}"):
            return path
    return None


LOAD_ELSEWHERE = r"""
import importlib.machinery, importlib.util, os, sys
# Lazy binding: only the symbols the init function calls before refusing must exist here.
sys.setdlopenflags(os.RTLD_LAZY)
path = sys.argv[1]
loader = importlib.machinery.ExtensionFileLoader("_velkaron", path)
spec = importlib.util.spec_from_file_location("_velkaron", path, loader=loader)
try:
    importlib.util.module_from_spec(spec)
except ImportError as error:
    expected = ("Python version mismatch: module was compiled for Python 3.13, but the "
                "interpreter version is incompatible: " + sys.version + ".")
    print("match" if str(error) == expected else "message: " + str(error))
else:
    print("imported")
"""


def test_other_interpreters_are_refused_at_import():
    interpreter = other_interpreter()
    if interpreter is None:
        pytest.skip("no Python other than 3.13 on this machine")
    result = subprocess.run([interpreter, "-c", LOAD_ELSEWHERE, _velkaron.__file__],
                            capture_output=True, text=True, timeout=60)
    assert result.stdout.strip() == "match", result.stdout + result.stderr
