"""Packaging: the wheel and the sdist build, the wheel installs into a fresh virtual
environment and works there (import, command line, type stubs), and the version is the one
in velkaron/_version.py everywhere.

The tests marked slow compile the extension, once per run; deselect them locally with
`-m "not slow"`. The README's quick start, the package's long description, is run as shown.
"""

import contextlib
import email.parser
import io
import importlib.util
import re
import shutil
import subprocess
import sys
import tarfile
import tomllib
import zipfile
from pathlib import Path

import pytest

import velkaron

ROOT = Path(__file__).resolve().parent.parent
VERSION_FILE = ROOT / "python" / "velkaron" / "_version.py"


def sh(*command, cwd=None, timeout=1800):
    proc = subprocess.run([str(c) for c in command], capture_output=True, text=True, cwd=cwd,
                          timeout=timeout)
    assert proc.returncode == 0, f"{command}\n{proc.stdout}\n{proc.stderr}"
    return proc.stdout


def source_version():
    match = re.fullmatch(r'__version__ = "([^"]+)"\n', VERSION_FILE.read_text())
    assert match, "the version file holds one assignment that the build reads"
    return match.group(1)


@pytest.fixture(scope="module")
def dist(tmp_path_factory):
    """The sdist and the wheel, built once for the module."""
    if importlib.util.find_spec("build") is None:
        pytest.skip("the 'build' package is not installed (requirements-dev.txt)")
    out = tmp_path_factory.mktemp("dist")
    sh(sys.executable, "-m", "build", "--sdist", "--no-isolation", "--outdir", out, ROOT)
    # The same build tree as `make install`, under the same lock: the build is incremental
    # and never races another build of the checkout.
    flock = shutil.which("flock")
    lock = [flock, ROOT / "build.lock"] if flock else []
    sh(*lock, sys.executable, "-m", "pip", "wheel", "--no-deps", "--no-build-isolation",
       "--wheel-dir", out, ROOT)
    wheels = list(out.glob("*.whl"))
    sdists = list(out.glob("*.tar.gz"))
    assert len(wheels) == 1 and len(sdists) == 1, list(out.iterdir())
    return wheels[0], sdists[0]


@pytest.fixture(scope="module")
def fresh_env(dist, tmp_path_factory):
    """A new virtual environment, made with the base Python 3.13, with the wheel installed."""
    wheel, _ = dist
    env = tmp_path_factory.mktemp("env") / "venv"
    base = getattr(sys, "_base_executable", sys.executable)
    sh(base, "-m", "venv", env)
    python = env / "bin" / "python"
    sh(python, "-m", "pip", "install", "--quiet", "--no-index", "--no-deps", wheel)
    return env


def test_version_is_single_sourced():
    project = tomllib.loads((ROOT / "pyproject.toml").read_text())
    assert "version" not in project["project"]
    assert "version" in project["project"]["dynamic"]
    assert project["tool"]["scikit-build"]["metadata"]["version"]["input"] == \
        "python/velkaron/_version.py"
    assert velkaron.__version__ == source_version()


@pytest.mark.slow
def test_wheel_contents_and_metadata(dist):
    wheel, _ = dist
    version = source_version()
    assert wheel.name.startswith(f"velkaron-{version}-cp313-cp313-")
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        info = f"velkaron-{version}.dist-info"
        metadata = email.parser.Parser().parsestr(archive.read(f"{info}/METADATA").decode())
        entry_points = archive.read(f"{info}/entry_points.txt").decode()
    assert any(re.fullmatch(r"_velkaron\.cpython-313-[^/]+\.so", n) for n in names), names
    for expected in ["velkaron/__init__.py", "velkaron/__main__.py", "velkaron/_version.py",
                     "velkaron/cli.py", "velkaron/py.typed", "velkaron/data/sample.html",
                     "_velkaron-stubs/__init__.pyi"]:
        assert expected in names
    assert not any(n.startswith(("tests/", "src/", "python/")) for n in names)
    assert metadata["Name"] == "velkaron"
    assert metadata["Version"] == version
    assert set(metadata["Requires-Python"].split(",")) == {">=3.13", "<3.14"}
    assert "Typing :: Typed" in metadata.get_all("Classifier")
    assert re.search(r"^velkaron = velkaron\.cli:main$", entry_points, re.M)


@pytest.mark.slow
def test_sdist_contents(dist):
    _, sdist = dist
    version = source_version()
    assert sdist.name == f"velkaron-{version}.tar.gz"
    with tarfile.open(sdist) as archive:
        prefix = f"velkaron-{version}/"
        names = {n.removeprefix(prefix) for n in archive.getnames()}
        pkg_info = archive.extractfile(prefix + "PKG-INFO").read().decode()
    for expected in ["pyproject.toml", "CMakeLists.txt", "README.md", "PKG-INFO",
                     "python/velkaron/_version.py", "python/velkaron/cli.py",
                     "python/velkaron/py.typed", "python/velkaron/data/sample.html",
                     "python/_velkaron-stubs/__init__.pyi"]:
        assert expected in names
    assert any(n.startswith("src/module/") and n.endswith(".cpp") for n in names)
    assert not any(n.startswith((".venv/", "build/", ".git/")) for n in names)
    assert not any("__pycache__" in n for n in names)
    assert re.search(rf"^Version: {re.escape(version)}$", pkg_info, re.M)


@pytest.mark.slow
def test_wheel_works_in_a_fresh_environment(fresh_env, tmp_path):
    python = fresh_env / "bin" / "python"
    # Run outside the checkout so nothing is imported from it.
    out = sh(python, "-c",
             "import velkaron, _velkaron, importlib.metadata as m\n"
             "print(velkaron.__file__)\n"
             "print(velkaron.__version__, m.version('velkaron'))\n"
             "t = velkaron.Tree('<ul><li><a href=/a>A</a></li></ul>')\n"
             "print(t.get_root().get_all_hrefs(), _velkaron.__doc__)\n", cwd=tmp_path)
    location, versions, result = out.splitlines()
    assert Path(location).is_relative_to(fresh_env)
    assert versions == f"{source_version()} {source_version()}"
    assert result == "['/a'] Velkaron: High-performance HTML parsing library"

    links = sh(fresh_env / "bin" / "velkaron", "links", cwd=tmp_path).splitlines()
    assert links[:3] == ["#main", "/", "/"] and len(links) > 40
    nav = sh(python, "-m", "velkaron", "find", "a", "--attr", "class=nav", "--json",
             cwd=tmp_path).splitlines()
    assert len(nav) == 7
    page = tmp_path / "w.html"
    page.write_bytes('<meta charset="windows-1252"><p>Crème brûlée</p>'.encode("cp1252"))
    assert sh(fresh_env / "bin" / "velkaron", "text", "--strip", page) == "Crème brûlée\n"


@pytest.mark.slow
@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")
def test_type_checker_finds_the_stubs_installed_from_the_wheel(fresh_env, tmp_path):
    user = tmp_path / "user.py"
    user.write_text("from velkaron import Tree\n"
                    "reveal_type(Tree('x').get_root().find('a'))\n")
    proc = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-color-output",
                           "--python-executable", str(fresh_env / "bin" / "python"),
                           "--cache-dir", str(tmp_path / "cache"), str(user)],
                          capture_output=True, text=True, cwd=tmp_path, timeout=300)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert 'Revealed type is "_velkaron.Node | None"' in proc.stdout


def test_readme_quick_start_prints_what_it_says():
    readme = (ROOT / "README.md").read_text("utf-8")
    section = readme.split("## Quick start", 1)[1]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    expected = [line.split("# ", 1)[1].strip() for line in code.splitlines()
                if line.startswith("print(")]
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        exec(compile(code, "README.md", "exec"), {})
    assert out.getvalue().splitlines() == expected
    assert len(expected) == 4
