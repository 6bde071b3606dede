"""The type stubs of `_velkaron` against the running module (mypy's stubtest, and the doc
strings), and type checking of the package and examples as users' code sees them."""

import ast
import importlib.util
import subprocess
import sys
from pathlib import Path

import pytest

import _velkaron
import velkaron

ROOT = Path(__file__).resolve().parent.parent
STUB = ROOT / "python" / "_velkaron-stubs" / "__init__.pyi"
EXAMPLES = ROOT / "examples"

pytestmark = pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="needs mypy")


def mypy(*args, cwd, module="mypy"):
    proc = subprocess.run([sys.executable, "-m", module, *map(str, args)], capture_output=True,
                          text=True, cwd=cwd, timeout=300)
    return proc.returncode, proc.stdout + proc.stderr


def test_stub_is_installed_and_agrees_with_the_module(tmp_path):
    installed = Path(importlib.util.find_spec("_velkaron").origin).parent / "_velkaron-stubs"
    assert (installed / "__init__.pyi").read_text() == STUB.read_text()
    assert (Path(velkaron.__file__).parent / "py.typed").is_file()
    # Tree's metaclass is the binding library's, which a stub cannot name.
    (tmp_path / "allow.txt").write_text("_velkaron.Tree\n")
    status, output = mypy("_velkaron", "--allowlist", tmp_path / "allow.txt", "--mypy-config-file",
                          "/dev/null", cwd=tmp_path, module="mypy.stubtest")
    assert status == 0, output
    for cls in ast.parse(STUB.read_text()).body:
        for method in getattr(cls, "body", []):
            if isinstance(method, ast.FunctionDef) and ast.get_docstring(method) and method.name != "__init__":
                runtime = getattr(getattr(_velkaron, cls.name), method.name).__doc__ or ""
                assert runtime.split("\n\n", 1)[-1].strip() == ast.get_docstring(method), method.name


def test_user_code_gets_real_types_from_the_installed_package(tmp_path):
    (tmp_path / "user.py").write_text(
        "import velkaron\nfrom velkaron import Tree\nimport _velkaron\n"
        "root = Tree('<p>x</p>').get_root()\nreveal_type(root)\nreveal_type(root.find('p'))\n"
        "reveal_type(root.find_all('p', {'class': 'x'}))\nreveal_type(root.get_attributes())\n"
        "reveal_type(velkaron.__version__)\nreveal_type(_velkaron.Tree(b'x').get_nth_element(0))\n"
        "root.find('p').get_text()\nroot.get_attribute(name='href')\nTree(None)\nroot.get_nth_element\n")
    status, output = mypy("--strict", "user.py", cwd=tmp_path)  # outside the checkout
    notes = [line.split("Revealed type is ")[1].replace("builtins.", "")
             for line in output.splitlines() if "Revealed type is" in line]
    assert notes == ['"_velkaron.Node"', '"_velkaron.Node | None"', '"list[_velkaron.Node]"',
                     '"dict[str, str]"', '"str"', '"_velkaron.Node | None"']
    errors = [int(line.split(":")[1]) for line in output.splitlines() if ": error:" in line]
    assert (status, errors) == (1, [11, 12, 13, 14]), output


def test_examples_and_package_pass_mypy_strict_and_run(tmp_path):
    status, output = mypy("--strict", EXAMPLES, ROOT / "python" / "velkaron", cwd=tmp_path)
    assert status == 0, output
    run = subprocess.run([sys.executable, EXAMPLES / "typed_headlines.py"], capture_output=True,
                         text=True, timeout=60)
    lines = run.stdout.splitlines()
    assert len(lines) == 12 and lines[0].split()[:2] == ["story-1", "food"], run.stderr
    assert any("Slow boat to Ærøskøbing  </travel/2024/04/ferry-to-aeroskobing/>" in line for line in lines)
