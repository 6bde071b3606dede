"""The type stubs of `_velkaron` against the running module, and type checking of the package
and of the examples as users' code sees them (through the installed stub package)."""

import ast
import importlib.util
import subprocess
import sys
from pathlib import Path

import pytest

import _velkaron
import velkaron

ROOT = Path(__file__).resolve().parent.parent
STUB_SOURCE = ROOT / "python" / "_velkaron-stubs" / "__init__.pyi"
EXAMPLES = ROOT / "examples"

pytestmark = pytest.mark.skipif(importlib.util.find_spec("mypy") is None,
                                reason="mypy is not installed (requirements-dev.txt)")

# Where the stub deliberately says more than the signature the module advertises, each
# difference backed by a runtime check below.
STUB_OVERRIDES = {
    ("Tree", "__init__", "arg0"): "str | bytes | bytearray",
    ("Tree", "get_root", "return"): "Node",
    ("Tree", "create_element", "return"): "None",
    ("Node", "get", "default"): "str | None",
    ("Node", "get", "return"): "str | None",
}


def mypy(*args, cwd):
    proc = subprocess.run([sys.executable, "-m", "mypy", "--no-color-output",
                           "--cache-dir", str(cwd / ".mypy_cache"), *map(str, args)],
                          capture_output=True, text=True, cwd=cwd, timeout=300)
    return proc.returncode, proc.stdout + proc.stderr


def installed_stub():
    module_spec = importlib.util.find_spec("_velkaron")
    site = Path(module_spec.origin).parent
    return site / "_velkaron-stubs" / "__init__.pyi"


# --- Stub against runtime -------------------------------------------------------------------


def runtime_signature(cls, name):
    """The pybind11 signature line of a method, parsed as a function definition."""
    doc = getattr(cls, name).__doc__
    first = doc.splitlines()[0]
    description = doc.split("\n\n", 1)[1].strip() if "\n\n" in doc else None
    return ast.parse(f"def {first}: ...").body[0], description


def runtime_methods(cls):
    return sorted(name for name, value in vars(cls).items()
                  if (not name.startswith("_") or name == "__init__")
                  and not isinstance(value, property))


def stub_classes():
    tree = ast.parse(STUB_SOURCE.read_text())
    # Properties and operators are left to stubtest.
    return {node.name: {f.name: f for f in node.body if isinstance(f, ast.FunctionDef)
                        and not f.decorator_list
                        and (not f.name.startswith("__") or f.name == "__init__")}
            for node in tree.body if isinstance(node, ast.ClassDef)}


def bare(annotation):
    text = ast.unparse(annotation)
    for prefix in ("_velkaron.", "collections.abc.", "typing."):
        text = text.replace(prefix, "")
    return text


def expected_stub_type(cls_name, method, param, runtime_type):
    if (cls_name, method, param) in STUB_OVERRIDES:
        return STUB_OVERRIDES[(cls_name, method, param)]
    if runtime_type == "SupportsInt | SupportsIndex":
        return "SupportsIndex"  # integers and objects with __index__; not float
    if runtime_type == "Node":
        return "Node | None"  # a missing node arrives as None; None is accepted as an argument
    return runtime_type


def test_stub_source_is_the_installed_stub():
    assert installed_stub().read_text() == STUB_SOURCE.read_text()


@pytest.mark.parametrize("cls", [_velkaron.Tree, _velkaron.Node], ids=lambda c: c.__name__)
def test_stub_matches_runtime_signatures(cls):
    stub = stub_classes()[cls.__name__]
    runtime = runtime_methods(cls)
    if cls is _velkaron.Node:
        runtime.remove("__init__")  # no constructor from Python
    assert sorted(stub) == runtime

    for name in runtime:
        signature, doc = runtime_signature(cls, name)
        stub_def = stub[name]
        stub_doc = ast.get_docstring(stub_def)
        if name != "__init__":
            assert stub_doc == doc, name

        runtime_params = signature.args.args[1:]  # past self
        stub_args = stub_def.args
        stub_params = stub_args.posonlyargs + stub_args.args
        assert stub_params[0].arg == "self", name
        stub_params = stub_params[1:]
        assert len(stub_params) == len(runtime_params), name
        assert not stub_args.vararg and not stub_args.kwarg and not stub_args.kwonlyargs

        unnamed = [p.arg.startswith("arg") for p in runtime_params]
        positional_only = len(stub_args.posonlyargs) - 1 if stub_args.posonlyargs else 0
        assert positional_only == sum(unnamed), f"{name}: arg0.. must be positional-only"
        for runtime_param, stub_param, is_unnamed in zip(runtime_params, stub_params, unnamed):
            if not is_unnamed:
                assert stub_param.arg == runtime_param.arg, name
            want = expected_stub_type(cls.__name__, name, runtime_param.arg,
                                      bare(runtime_param.annotation))
            assert bare(stub_param.annotation) == want, (name, runtime_param.arg)

        runtime_defaults = len(signature.args.defaults)
        assert len(stub_args.defaults) == runtime_defaults, name
        assert all(isinstance(d, ast.Constant) and d.value is Ellipsis
                   for d in stub_args.defaults)

        want = expected_stub_type(cls.__name__, name, "return", bare(signature.returns))
        assert bare(stub_def.returns) == want, (name, "return")


@pytest.mark.parametrize("html", ["", " ", "\x00", "<!-- only a comment -->", "<frameset>",
                                  b"", bytearray(b"<p>x</p>"), "<svg><circle/></svg>"])
def test_overrides_hold_at_runtime(html):
    tree = _velkaron.Tree(html)
    assert isinstance(tree.get_root(), _velkaron.Node)
    assert tree.create_element("p", {"class": "x"}) is None
    assert tree.create_element("p") is None


def test_stubtest_agrees(tmp_path):
    allow = tmp_path / "allowlist.txt"
    # The classes' metaclass is the binding library's, which a stub cannot name; Node has no
    # constructor of its own.
    allow.write_text("_velkaron.Tree\n_velkaron.Node\n_velkaron.Node.__init__\n")
    proc = subprocess.run([sys.executable, "-m", "mypy.stubtest", "_velkaron",
                           "--allowlist", str(allow), "--mypy-config-file", "/dev/null"],
                          capture_output=True, text=True, cwd=tmp_path, timeout=300)
    assert proc.returncode == 0, proc.stdout + proc.stderr


# --- Type checking as a user -----------------------------------------------------------------


def test_examples_and_package_pass_mypy_strict(tmp_path):
    status, output = mypy("--strict", EXAMPLES, ROOT / "python" / "velkaron", cwd=tmp_path)
    assert status == 0, output


def test_user_code_gets_real_types_from_the_installed_package(tmp_path):
    # Run from outside the checkout: the types must come from what is installed.
    user = tmp_path / "user.py"
    user.write_text(
        "import velkaron\n"
        "from velkaron import Tree\n"
        "import _velkaron\n"
        "root = Tree('<p>x</p>').get_root()\n"
        "reveal_type(root)\n"
        "reveal_type(root.find('p'))\n"
        "reveal_type(root.find_all('p', {'class': 'x'}))\n"
        "reveal_type(root.get_attributes())\n"
        "reveal_type(velkaron.__version__)\n"
        "reveal_type(_velkaron.Tree(b'x').get_nth_element(0))\n"
        "root.find('p').get_text()\n"           # may be None: an error
        "root.get_attribute(name='href')\n"     # positional only: an error
        "Tree(None)\n"                          # an error
        "root.get_nth_element\n"                # not a Tree method: an error
    )
    status, output = mypy("--strict", user, cwd=tmp_path)
    assert status == 1
    notes = [line.split("Revealed type is ")[1].replace("builtins.", "")
             for line in output.splitlines() if "Revealed type is" in line]
    assert notes == ['"_velkaron.Node"', '"_velkaron.Node | None"', '"list[_velkaron.Node]"',
                     '"dict[str, str]"', '"str"', '"_velkaron.Node | None"']
    errors = sorted(int(line.split(":")[1]) for line in output.splitlines() if ": error:" in line)
    assert errors == [11, 12, 13, 14], output


def test_typed_example_runs():
    proc = subprocess.run([sys.executable, str(EXAMPLES / "typed_headlines.py")],
                          capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    assert lines[0].split()[:2] == ["story-1", "food"]
    assert lines[0].endswith("The Café at the End of the Pier")
    assert any("Slow boat to Ærøskøbing  </travel/2024/04/ferry-to-aeroskobing/>" in line
               for line in lines)
    assert len(lines) == 12


def test_package_is_marked_typed():
    assert (Path(velkaron.__file__).parent / "py.typed").is_file()
