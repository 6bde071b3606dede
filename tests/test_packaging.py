"""Packaging: `make wheel` and `make sdist` (both pass `twine check`), what they hold, the wheel
working in a fresh virtual environment, also where the system's gumbo cannot be found; the build's
message when gumbo is missing; one version source; the README's quick start run as shown. The
tests marked slow build the artefacts once per run; deselect them with `-m "not slow"`.
"""

import email.parser
import os
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
VERSION = re.fullmatch(r'__version__ = "([^"]+)"\n',
                       (ROOT / "python" / "velkaron" / "_version.py").read_text()).group(1)


def sh(*command, cwd=None, env=None, check=True):
    proc = subprocess.run([str(c) for c in command], capture_output=True, text=True, cwd=cwd,
                          env=env, timeout=1800)
    assert proc.returncode == 0 or not check, f"{command}\n{proc.stdout}\n{proc.stderr}"
    return proc.stdout if check else proc


@pytest.fixture(scope="session")
def dist(tmp_path_factory):
    """The wheel and the sdist as `make wheel sdist` builds them, once per run."""
    out = tmp_path_factory.mktemp("dist")
    log = sh("make", "--no-print-directory", "-C", ROOT, "wheel", "sdist", f"DIST_DIR={out}")
    (wheel,), (sdist,) = out.glob("*.whl"), out.glob("*.tar.gz")
    return wheel, sdist, log


@pytest.fixture(scope="session")
def fresh_env(dist, tmp_path_factory):
    """A new virtual environment of the base Python with the wheel installed (by our pip)."""
    env = tmp_path_factory.mktemp("env") / "venv"
    sh(getattr(sys, "_base_executable", sys.executable), "-m", "venv", "--without-pip", env)
    sh(sys.executable, "-m", "pip", "--python", env / "bin" / "python", "install", "--quiet",
       "--no-index", "--no-deps", dist[0])
    sh(sys.executable, "-m", "pip", "--python", env / "bin" / "python", "install", "--quiet",
       "webencodings>=0.5")  # the one dependency
    return env


def test_version_is_single_sourced():
    project = tomllib.loads((ROOT / "pyproject.toml").read_text())
    assert "version" not in project["project"] and "version" in project["project"]["dynamic"]
    assert velkaron.__version__ == VERSION


@pytest.mark.slow
def test_wheel_contents_and_metadata(dist):
    wheel, _, log = dist
    tag = r"cp313-cp313-manylinux_2_\d+_\w+"
    assert re.fullmatch(rf"velkaron-{VERSION}-{tag}\.whl", wheel.name)
    assert re.findall(r"(velkaron-[^\s/:]+): ?\S*PASSED", " ".join(log.split())) == \
        [wheel.name, f"velkaron-{VERSION}.tar.gz"], log  # twine check
    info = f"velkaron-{VERSION}.dist-info"
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        read = {name: archive.read(f"{info}/{name}").decode()
                for name in ["METADATA", "WHEEL", "entry_points.txt", "licenses/LICENSE",
                             "licenses/gumbo/copyright", "licenses/gumbo/Apache-2.0"]}
    module, gumbo = sorted(n for n in names if re.search(r"\.so\b", n))
    assert re.fullmatch(r"_velkaron\.cpython-313-[^/]+\.so", module)
    assert re.fullmatch(r"velkaron\.libs/libgumbo-\w+\.so[.\d]*", gumbo)
    assert {"velkaron/__init__.py", "velkaron/__main__.py", "velkaron/_version.py",
            "velkaron/cli.py", "velkaron/py.typed", "velkaron/data/sample.html",
            "_velkaron-stubs/__init__.pyi"} <= names
    assert not any(n.startswith(("tests/", "src/", "python/")) for n in names)
    assert re.search(rf"^Tag: {tag}$", read["WHEEL"], re.M)
    assert "MIT License" in read["licenses/LICENSE"] and "gumbo" in read["licenses/gumbo/copyright"]
    assert "Apache License" in read["licenses/gumbo/Apache-2.0"]
    metadata = email.parser.Parser().parsestr(read["METADATA"])
    assert [metadata[k] for k in ["Name", "Version", "License-Expression", "License-File"]] == \
        ["velkaron", VERSION, "MIT", "LICENSE"]
    assert set(metadata["Requires-Python"].split(",")) == {">=3.13", "<3.14"}
    assert "Typing :: Typed" in metadata.get_all("Classifier")
    assert re.search(r"^velkaron = velkaron\.cli:main$", read["entry_points.txt"], re.M)


@pytest.mark.slow
def test_sdist_contents(dist):
    sdist = dist[1]
    assert sdist.name == f"velkaron-{VERSION}.tar.gz"
    with tarfile.open(sdist) as archive:
        prefix = f"velkaron-{VERSION}/"
        names = {n.removeprefix(prefix) for n in archive.getnames()}
        pkg_info = archive.extractfile(prefix + "PKG-INFO").read().decode()
    assert {"pyproject.toml", "CMakeLists.txt", "README.md", "LICENSE", "CHANGELOG.md",
            "PKG-INFO", "python/velkaron/_version.py", "python/velkaron/cli.py",
            "python/velkaron/py.typed", "python/velkaron/data/sample.html",
            "python/_velkaron-stubs/__init__.pyi"} <= names
    assert any(n.startswith("src/module/") and n.endswith(".cpp") for n in names)
    assert not any(n.startswith((".venv/", "build/", ".git/")) or "__pycache__" in n
                   for n in names)
    assert re.search(rf"^Version: {re.escape(VERSION)}$", pkg_info, re.M)


# Run with the wheel's Python: the system gumbo files named as arguments must fail to load (when
# hidden), then velkaron imports and works with the gumbo that the wheel brought.
PROBE = """import ctypes, importlib.metadata, sys
for path in sys.argv[1:]:
    try:
        ctypes.CDLL(path)
    except OSError as error:
        print(error)
import velkaron, _velkaron
print(velkaron.__file__, velkaron.__version__, importlib.metadata.version("velkaron"))
print(velkaron.Tree("<a href=/x>x</a>").get_root().get_all_hrefs(), _velkaron.__doc__)
print(*{line.split()[-1] for line in open("/proc/self/maps") if "libgumbo" in line})
"""


def hiding_system_gumbo(tmp_path):
    """A command prefix that runs a program where the system's gumbo cannot be found (each
    folder holding it is covered by a view of itself without libgumbo*), and gumbo's files."""
    if not shutil.which("unshare") or sh("unshare", "-m", "true", check=False).returncode:
        pytest.skip("unshare -m is not permitted here (it needs root or CAP_SYS_ADMIN), so "
                    "the system's gumbo cannot be hidden from a process")
    cache = sh(shutil.which("ldconfig") or "/sbin/ldconfig", "-p")
    system = sorted(set(re.findall(r"=> (/\S*/libgumbo[^/\s]*)$", cache, re.M)))
    assert system, "the loader knows no system gumbo: hiding it would prove nothing"
    mounts = []
    for n, folder in enumerate(sorted({os.path.dirname(os.path.realpath(p)) for p in system})):
        original, view = tmp_path / f"original{n}", tmp_path / f"view{n}"
        original.mkdir(), view.mkdir()
        for entry in os.listdir(folder):
            if not entry.startswith("libgumbo"):
                (view / entry).symlink_to(original / entry)
        mounts += [f"mount --bind {folder} {original}", f"mount --bind {view} {folder}"]
    return ["unshare", "-m", "sh", "-c", " && ".join(mounts) + ' && exec "$@"', "sh"], system


@pytest.mark.slow
@pytest.mark.parametrize("hide", [False, True], ids=["system-gumbo-present", "system-gumbo-hidden"])
def test_wheel_works_in_a_fresh_environment(fresh_env, tmp_path, hide):
    prefix, system = hiding_system_gumbo(tmp_path) if hide else ([], [])
    # Run outside the checkout so nothing is imported from it.
    *failed, where, result, loaded = sh(*prefix, fresh_env / "bin" / "python", "-c", PROBE,
                                        *system, cwd=tmp_path).splitlines()
    assert len(failed) == len(system)
    assert all(": cannot open shared object file: No such file or directory" in f for f in failed)
    location, *versions = where.split()
    assert Path(location).is_relative_to(fresh_env) and versions == [VERSION, VERSION]
    assert result == "['/x'] Velkaron: High-performance HTML parsing library"
    assert re.fullmatch(rf"{fresh_env}/lib/\S+/site-packages/velkaron\.libs/libgumbo-\w+\.so[.\d]*",
                        loaded)


@pytest.mark.slow
def test_command_line_installed_from_the_wheel(fresh_env, tmp_path):
    command = fresh_env / "bin" / "velkaron"
    assert sh(command, "--version", cwd=tmp_path) == f"velkaron {VERSION}\n"
    # The bundled sample page, through the entry point and through `python -m`.
    assert sh(command, "links", cwd=tmp_path).splitlines()[:3] == ["#main", "/", "/"]
    assert len(sh(fresh_env / "bin" / "python", "-m", "velkaron", "find", "a", "--attr",
                  "class=nav", "--json", cwd=tmp_path).splitlines()) == 7


@pytest.mark.slow
@pytest.mark.parametrize("missing", ["gumbo", "pkg-config"])
def test_build_without_gumbo_says_what_to_install(tmp_path, missing):
    env = {k: v for k, v in os.environ.items() if not k.startswith("PKG_CONFIG")}
    env["PKG_CONFIG_LIBDIR"] = str(tmp_path)  # where pkg-config finds no gumbo.pc
    no_tool = [f"-DPKG_CONFIG_EXECUTABLE={tmp_path}/pkg-config"] if missing == "pkg-config" else []
    proc = sh(Path(sys.executable).with_name("cmake"), "-S", ROOT, "-B", tmp_path / "build",
              "-DVELKARON_BUILD_MODULE=OFF", *no_tool, env=env, check=False)
    message = " ".join((proc.stdout + proc.stderr).split())
    assert proc.returncode != 0 and message.count("CMake Error") == 1, message
    assert "Install libgumbo-dev (Debian, Ubuntu) or gumbo-parser (other systems" in message
    assert "set PKG_CONFIG_PATH to the folder that holds the gumbo.pc" in message
    assert "virtual:world" not in message


@pytest.mark.slow
def test_type_checker_finds_the_stubs_installed_from_the_wheel(fresh_env, tmp_path):
    user = tmp_path / "user.py"
    user.write_text("from velkaron import Tree\n"
                    "reveal_type(Tree('x').get_root().find('a'))\n")
    out = sh(sys.executable, "-m", "mypy", "--strict", "--no-color-output", "--python-executable",
             fresh_env / "bin" / "python", "--cache-dir", tmp_path / "cache", user, cwd=tmp_path)
    assert 'Revealed type is "_velkaron.Node | None"' in out


def test_readme_quick_start_prints_what_it_says(capsys):
    readme = (ROOT / "README.md").read_text("utf-8")
    code = re.search(r"```python\n(.*?)```", readme.split("## Quick start", 1)[1], re.S).group(1)
    expected = [line.split("# ", 1)[1].strip() for line in code.splitlines()
                if line.startswith("print(")]
    exec(compile(code, "README.md", "exec"), {})
    assert capsys.readouterr().out.splitlines() == expected and len(expected) == 5
