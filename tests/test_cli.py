"""The `velkaron` command line: in-process through cli.main for what only needs its output, and
as users run it (console script, python -m, a pipe, a terminal) for the rest."""

import json
import os
import pty
import shlex
import subprocess
import sys
from collections import Counter
from importlib import resources
from pathlib import Path

import pytest

import velkaron
import velkaron.encoding
from velkaron import cli

SCRIPT = Path(sys.executable).with_name("velkaron")
SAMPLE = resources.files("velkaron").joinpath("data", "sample.html").read_bytes()
CASES = Path(__file__).parent / "cases"
ACCENTED = "Crème brûlée € Ærø"


def page(head, body=ACCENTED):
    return f"<html><head>{head}</head><body><p>{body}</p></body></html>"


def run(*args, stdin=b"", script=True):
    command = [str(SCRIPT)] if script else [sys.executable, "-m", "velkaron"]
    proc = subprocess.run(command + [str(a) for a in args], input=stdin, capture_output=True, timeout=120)
    return proc.returncode, proc.stdout.decode(), proc.stderr.decode()


def main(capsys, *args):
    status = cli.main([str(a) for a in args])
    out, err = capsys.readouterr()
    return status, out, err


def page_rows():
    rows, content = [], None
    for number, line in enumerate((CASES / "cli.txt").read_text("utf-8").splitlines(), 1):
        if line.startswith("#page "):
            encoding, text = line[6:].split(" ", 1) if line[6] != '"' else ("utf-8", line[6:])
            content = json.loads(text).encode(encoding)
        elif line and not line.startswith("# "):
            args, expected = line.rsplit(" -> ", 1)
            rows.append(pytest.param(content, shlex.split(args), json.loads(expected), id=f"cli.txt:{number}"))
    return rows


@pytest.mark.parametrize("content, args, expected", page_rows())
def test_commands_on_a_page(capsys, tmp_path, content, args, expected):
    (tmp_path / "p.html").write_bytes(content)
    status, out, err = main(capsys, *args, tmp_path / "p.html")
    if isinstance(expected, list):
        out = [(r["attrs"].get("data-k") or r["name"]) for r in map(json.loads, out.splitlines())]
    assert (status, out, err) == (0, expected, "")


@pytest.mark.parametrize("head, expected", [
    ("<!-- <meta charset=windows-1252> -->", None), ('<meta charset="no-such-charset">', None),
    ('<meta charset="utf-16">', "utf-8"), ('<meta name="x" content="y"><meta charset="KOI8-R">', "koi8-r"),
    (" " * 5000 + '<meta charset="windows-1252">', None), ('<meta charset="gb2312">', "gbk"),
    ('<meta charset="shift_jis">', "shift_jis"), ('<meta charset="base64">', None),
    ('<meta charset="rot13">', None), ('<meta charset="unicode_escape">', None),
])
def test_declared_encoding(head, expected):
    found = velkaron.encoding.prescan(page(head).encode("ascii", "replace"))
    assert (found and found.name) == expected


@pytest.mark.parametrize("script", [True, False])
def test_stats_and_links_on_the_bundled_sample(script):
    status, out, err = run("stats", script=script)
    root = velkaron.Tree(SAMPLE).get_root()
    lines = out.splitlines()
    assert (status, err, lines[0], lines[3]) == (0, "", f"bytes:     {len(SAMPLE):,} (utf-8)", "top tags:")
    assert lines[1] == f"elements:  {len(root.find_all()):,}" and "indexing" in lines[2]
    top = Counter(n.get_name() for n in root.find_all()).most_common(10)
    assert [(line.split()[0], int(line.split()[1].replace(",", ""))) for line in lines[4:]] == top
    assert run("links", script=script)[1].splitlines() == [h for h in root.get_all_hrefs() if h]
    assert run("--version", script=script)[1].endswith(f"velkaron {velkaron.__version__}\n")


def test_several_inputs_missing_files_and_jobs(tmp_path):
    for i in range(6):
        (tmp_path / f"p{i}.html").write_text("".join(f'<a href="/p{i}/{j}">{j}</a>' for j in range(i + 1)))
    files = [tmp_path / f"p{i}.html" for i in range(6)]
    files[3:3] = [tmp_path / "missing.html", tmp_path, "-"]
    one = run("links", *files, stdin=b'<a href="/s">s</a>')
    assert one == run("links", "--jobs", "2", *files, stdin=b'<a href="/s">s</a>')
    status, out, err = one
    assert status == 2 and out.count("==> ") == 7 and f"==> <stdin> <==\n/s\n\n==> {files[6]}" in out
    assert err.splitlines() == [f"velkaron: {files[3]}: No such file or directory",
                                f"velkaron: {tmp_path}: Is a directory"]


@pytest.mark.parametrize("args", [["links"], ["images"], ["count", "p"], ["select", "p.x"], ["find", "a"],
                                  ["text", "--strip"]])
def test_jobs_answer_as_one_job_does(capsys, tmp_path, args):
    # More pages than one parse_many batch; KOI8-R pages that only --encoding names.
    files = []
    for i in range(cli.BATCH_PAGES + 3):
        files.append(tmp_path / f"p{i}.html")
        files[-1].write_bytes(f'<p class="x">Привет {i}</p><a href="/{i}">a</a><img src="/{i}.png">'.encode("koi8-r"))
    files.insert(5, tmp_path / "missing.html")
    one = main(capsys, *args, "--encoding", "koi8-r", *files)
    assert one == main(capsys, *args, "--encoding", "koi8-r", "--jobs", "2", *files)
    status, out, err = one
    assert status == 2 and out.count("==> ") == len(files) - 1 and err.count("missing.html") == 1
    if args[0] in ("select", "text"):
        assert out.count("Привет") == len(files) - 1


@pytest.mark.parametrize("args", [[], ["frobnicate"], ["links", "--jobs", "0"], ["text", "--encoding", "base64"],
                                  ["text", "--encoding", "nope"], ["count"], ["count", ""], ["find", "--attr", "=x"]])
def test_bad_usage_exits_2_with_usage(args):
    status, out, err = run(*args)
    assert (status, out, err[:15]) == (2, "", "usage: velkaron")


@pytest.mark.parametrize("args, status, out, err", [
    (["count", "FILE"], 2, "", "is a file: the form is `count TAG FILE`"),
    (["count", "p", "FILE"], 0, "1\n", ""),
    (["count", "nofile.html"], 0, "0\n", ""),  # not a file: a tag, counted in the sample
    (["find", "p", "--encoding", "mac_roman", "FILE"], 0, "p\t\tæ\n", ""),
])
def test_count_and_encoding_forms(tmp_path, args, status, out, err):
    page = tmp_path / "p.html"
    page.write_bytes("<p>æ".encode("mac_roman"))
    got_status, got_out, got_err = run(*(str(page) if a == "FILE" else a for a in args))
    assert (got_status, got_out.replace(str(page), "P")) == (status, out) and err in got_err


def test_output_cut_short_by_the_reader_is_quiet(tmp_path):
    (tmp_path / "p.html").write_text("".join(f'<a href="/l{i}">{i}</a>' for i in range(50_000)))
    proc = subprocess.run(f'"{SCRIPT}" links "{tmp_path / "p.html"}" | head -n 1', shell=True,
                          capture_output=True, timeout=120)
    assert (proc.stdout, proc.stderr) == (b"/l0\n", b"")


def test_progress_bar_on_a_terminal_only(tmp_path):
    files = [tmp_path / f"f{i}.html" for i in range(cli.PROGRESS_MIN_FILES + 2)]
    for file in files:
        file.write_text('<a href="/x">x</a>')
    primary, secondary = pty.openpty()
    proc = subprocess.Popen([SCRIPT, "links", "--jobs", "2", *files], stdout=subprocess.PIPE, stderr=secondary)
    os.close(secondary)
    chunks = []
    while True:
        try:
            chunks.append(os.read(primary, 4096))
        except OSError:  # the terminal's other end closed
            break
        if not chunks[-1]:
            break
    out = proc.stdout.read().decode()
    os.close(primary)
    assert proc.wait(timeout=120) == 0 and out.count("==> ") == len(files)
    assert f"] {len(files)}/{len(files)} files" in b"".join(chunks).decode()
    assert run("links", *files)[2] == ""  # standard error a pipe: no bar


def test_a_page_that_fails_is_reported_and_the_rest_processed(monkeypatch, capsys, tmp_path):
    real = cli.run_command
    monkeypatch.setattr(cli, "run_command", lambda data, opts, name: real(data, opts, name)
                        if b"boom" not in data else (_ for _ in ()).throw(MemoryError("no memory")))
    for name, body in [("a", '<a href="/a">x</a>'), ("bad", "boom"), ("b", '<a href="/b">x</a>')]:
        (tmp_path / f"{name}.html").write_text(body)
    a, bad, b = (tmp_path / f"{n}.html" for n in ("a", "bad", "b"))
    assert main(capsys, "links", a, bad, b) == (
        2, f"==> {a} <==\n/a\n\n==> {b} <==\n/b\n", f"velkaron: {bad}: MemoryError: no memory\n")
