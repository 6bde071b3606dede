"""The `velkaron` command line, run as a user runs it (console script, `python -m`) and
in-process through `velkaron.cli.main` for the cases that only need its output."""

import codecs
import json
import os
import pty
import subprocess
import sys
from collections import Counter
from importlib import resources
from pathlib import Path

import pytest

import velkaron
from velkaron import cli

SCRIPT = Path(sys.executable).with_name("velkaron")
SAMPLE = resources.files("velkaron").joinpath("data", "sample.html").read_bytes()


def run(*args, stdin=b"", cwd=None, script=True):
    """Run the installed command; returns (status, stdout text, stderr text)."""
    command = [str(SCRIPT)] if script else [sys.executable, "-m", "velkaron"]
    proc = subprocess.run(command + [str(a) for a in args], input=stdin, capture_output=True,
                          cwd=cwd, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")


def main(capsys, *args):
    """Run the command line in this process; returns (status, stdout, stderr)."""
    status = cli.main([str(a) for a in args])
    captured = capsys.readouterr()
    return status, captured.out, captured.err


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_bytes(content.encode("utf-8") if isinstance(content, str) else content)
    return path


# A page whose elements are told apart by data-k, for checking which ones `find` selects.
FIND_PAGE = """<!DOCTYPE html><html><head><title>t</title></head><body>
<a data-k="1" class="nav" href="/a">Alpha</a>
<a data-k="2" class="nav active" href="/b">Beta</a>
<a data-k="3" class="active  nav" href="/c">Gamma</a>
<a data-k="4" class="nav-link" href="/d">Delta</a>
<a data-k="5" class="NAV" href="/e">Epsilon</a>
<a data-k="6" class="x&#9;nav" href="/f">Zeta</a>
<div data-k="7" class="nav">Div</div>
<a data-k="8" href="">Empty</a>
<a data-k="9">No href</a>
<input data-k="10" disabled>
<P data-k="11" CLASS="lead nav" Title="T">Para</P>
</body></html>"""


# --- The two commands `make demo` runs ------------------------------------------------------


@pytest.mark.parametrize("script", [True, False], ids=["console-script", "python-m"])
def test_stats_on_bundled_sample(script):
    status, out, err = run("stats", script=script)
    assert status == 0 and err == ""
    tree = velkaron.Tree(SAMPLE.decode("utf-8"))
    names = Counter(n.get_name() for n in tree.get_root().find_all())
    lines = out.splitlines()
    assert lines[0] == f"bytes:     {len(SAMPLE):,} (utf-8)"
    assert lines[1] == f"elements:  {tree.get_indexed_element_count():,}"
    assert lines[2].startswith("parse:") and "indexing" in lines[2]
    assert lines[3] == "top tags:"
    listed = [(line.split()[0], int(line.split()[1].replace(",", ""))) for line in lines[4:]]
    assert listed == names.most_common(10)


def test_stats_top_option(capsys):
    status, out, _ = main(capsys, "stats", "--top", "3")
    assert status == 0
    assert len(out.splitlines()) == 4 + 3


def test_links_and_images_on_bundled_sample():
    status, out, err = run("links")
    assert status == 0 and err == ""
    links = out.splitlines()
    root = velkaron.Tree(SAMPLE.decode("utf-8")).get_root()
    assert links == [h for h in root.get_all_hrefs() if h]
    assert links[:3] == ["#main", "/", "/"]
    assert "https://maps.example/?q=Old+Pier+Cafe&z=17" in links  # &amp; decoded
    assert "https://shop.harbourandhill.example/" in links

    status, out, err = run("images")
    images = out.splitlines()
    assert status == 0 and err == ""
    assert images[0] == "/static/img/logo-harbour-hill.svg"
    assert "/media/2024/04/pier-cafe-morning.jpg" in images
    assert "/static/img/placeholder.png" not in images  # inside a template
    assert len(images) == root.count_elements_by_tag("img")  # every img has a src


def test_sample_page_is_a_realistic_page():
    assert 20_000 <= len(SAMPLE) <= 60_000
    root = velkaron.Tree(SAMPLE.decode("utf-8")).get_root()
    for tag, at_least in [("nav", 2), ("article", 10), ("table", 1), ("img", 10), ("a", 40)]:
        assert root.count_elements_by_tag(tag) >= at_least, tag
    text = root.get_text()
    assert "Ærøskøbing" in text and "Café" in text and "&amp;" not in text


# --- links / images on a saved page ---------------------------------------------------------


def test_links_on_saved_page(tmp_path):
    page = write(tmp_path, "page.html", """<html><body>
        <a href="/one">1</a><a href=" /two ">2</a><a href="/th
ree">3</a><a href="">empty</a><a>none</a><area href="/area">
        <a href="https://example.com/?a=1&amp;b=2">4</a><A HREF="/caps">5</A>
        <img src="i.png"><img alt="no src"><img src="  sp.gif ">
        </body></html>""")
    status, out, err = run("links", page)
    assert (status, err) == (0, "")
    assert out.splitlines() == ["/one", "/two", "/three", "https://example.com/?a=1&b=2",
                                "/caps"]
    status, out, _ = run("images", page)
    assert out.splitlines() == ["i.png", "sp.gif"]


# --- find -----------------------------------------------------------------------------------


@pytest.mark.parametrize("args, keys", [
    (["a", "--attr", "class=nav"], ["1", "2", "3", "6"]),
    (["A", "--attr", "class=nav"], ["1", "2", "3", "6"]),            # tag in any case
    (["--attr", "class=nav"], ["1", "2", "3", "6", "7", "11"]),      # any element
    (["*", "--attr", "class=nav"], ["1", "2", "3", "6", "7", "11"]),
    (["a", "--attr", "class=active nav"], ["2", "3"]),                # every class, any order
    (["a", "--attr", "class=nav", "--attr", "href=/b"], ["2"]),
    (["p", "--attr", "class=nav", "--attr", "TITLE=T"], ["11"]),       # attribute name any case
    (["a", "--attr", "href="], ["8"]),                                # empty value: exact
    (["--attr", "disabled"], ["10"]),                                 # presence
    (["a", "--attr", "href"], ["1", "2", "3", "4", "5", "6", "8"]),
    (["a", "--attr", "class=NAV"], ["5"]),                            # values keep their case
    (["a", "--attr", "class=nav-link"], ["4"]),
    (["a", "--attr", "class=nav active"], ["2", "3"]),
    (["a", "--attr", "href=/b "], []),                                # values compared whole
    (["section"], []),
])
def test_find_selects_as_css_does(capsys, tmp_path, args, keys):
    page = write(tmp_path, "page.html", FIND_PAGE)
    status, out, err = main(capsys, "find", *args, "--json", page)
    assert (status, err) == (0, "")
    records = [json.loads(line) for line in out.splitlines()]
    assert [r["attrs"]["data-k"] for r in records] == keys


def test_find_class_rule_differs_from_library_whole_value_match(parse, tmp_path, capsys):
    # The library's general search compares the class value whole; the command line matches
    # one class token, as a user of CSS selectors expects.
    tree, root = parse(FIND_PAGE)
    whole = [n.get_attribute("data-k") for n in root.find_all("a", {"class": "nav"})]
    assert whole == ["1"]
    page = write(tmp_path, "page.html", FIND_PAGE)
    _, out, _ = main(capsys, "find", "a", "--attr", "class=nav", "--json", page)
    assert len(out.splitlines()) == 4


def test_find_json_lines(tmp_path):
    page = write(tmp_path, "page.html", FIND_PAGE)
    status, out, err = run("find", "a", "--attr", "class=nav", "--json", page)
    assert (status, err) == (0, "")
    first = json.loads(out.splitlines()[0])
    assert first == {"name": "a", "attrs": {"class": "nav", "data-k": "1", "href": "/a"},
                     "text": "Alpha"}
    for line in out.splitlines():
        assert set(json.loads(line)) == {"name", "attrs", "text"}


def test_find_plain_lines_and_first(capsys, tmp_path):
    page = write(tmp_path, "page.html",
                 '<ul><li class="x">One\n  <b>two</b></li><li class="x" title=\'say "hi"\'>'
                 'Été</li></ul>')
    status, out, _ = main(capsys, "find", "li", page)
    assert status == 0
    assert out.splitlines() == ['li\tclass="x"\tOne two',
                                'li\tclass="x" title="say \\"hi\\""\tÉté']
    _, out, _ = main(capsys, "find", "li", "--first", page)
    assert out.splitlines() == ['li\tclass="x"\tOne two']


def test_find_takes_a_lone_file_name_as_file(capsys, tmp_path):
    page = write(tmp_path, "page.html", "<p>x</p>")
    status, out, _ = main(capsys, "find", page, "--json")
    assert status == 0
    assert [json.loads(line)["name"] for line in out.splitlines()] == ["html", "head", "body",
                                                                         "p"]


def test_find_on_sample_nav_links(capsys):
    status, out, _ = main(capsys, "find", "a", "--attr", "class=nav", "--json")
    assert status == 0
    texts = [json.loads(line)["text"] for line in out.splitlines()]
    assert texts == ["Home", "Food & Drink", "Travel", "City Life", "Markets", "Guides", "Shop"]


# --- text and count -------------------------------------------------------------------------

TEXT_PAGE = """<html><head><title> Caf&eacute; </title><style>p{color:red}</style>
<script>var x = 1;</script></head><body>
<h1>Hello <b>world</b></h1>
<!-- comment -->
<p>caf&#233; &amp; cr&egrave;me</p><template><p>hidden</p></template>
</body></html>"""


@pytest.mark.parametrize("args, expected", [
    (["--strip", "--separator", r"\n"], "Café\nHello\nworld\ncafé & crème\n"),
    (["--strip", "-s", " | "], "Café | Hello | world | café & crème\n"),
    (["--strip"], "CaféHelloworldcafé & crème\n"),
    (["--strip", "--with-code", "-s", "|"], "Café|p{color:red}|var x = 1;|Hello|world|"
                                            "café & crème\n"),
])
def test_text(capsys, tmp_path, args, expected):
    page = write(tmp_path, "page.html", TEXT_PAGE)
    status, out, _ = main(capsys, "text", *args, page)
    assert status == 0
    assert out == expected


def test_text_without_options_keeps_whitespace_and_leaves_out_code(capsys, tmp_path):
    page = write(tmp_path, "page.html", TEXT_PAGE)
    _, out, _ = main(capsys, "text", page)
    assert "Hello world" in out and "var x" not in out and "color" not in out
    assert "hidden" not in out and "comment" not in out
    _, with_code, _ = main(capsys, "text", "--with-code", page)
    root = velkaron.Tree(TEXT_PAGE).get_root()
    assert with_code == root.get_text() + "\n"


@pytest.mark.parametrize("tag, expected", [("td", 61), ("TD", 61), ("article", 12),
                                           ("html", 1), ("blink", 0)])
def test_count_on_sample(capsys, tag, expected):
    status, out, _ = main(capsys, "count", tag)
    assert (status, out) == (0, f"{expected}\n")


# --- Character sets -------------------------------------------------------------------------

ACCENTED = "Crème brûlée € Ærø"


def _page(head, body=ACCENTED):
    return f"<html><head>{head}</head><body><p>{body}</p></body></html>"


@pytest.mark.parametrize("raw, options", [
    (_page('<meta charset="windows-1252">').encode("cp1252"), []),
    (_page("<meta charset=windows-1252>").encode("cp1252"), []),
    (_page('<meta http-equiv="Content-Type" content="text/html; charset=Windows-1252">')
     .encode("cp1252"), []),
    (_page('<meta charset="iso-8859-1">').encode("cp1252"), []),  # read as Windows-1252
    (('<?xml version="1.0" encoding="windows-1252"?>' + _page("")).encode("cp1252"), []),
    (_page("").encode("cp1252"), ["--encoding", "cp1252"]),
    (_page('<meta charset="iso-8859-15">', "Crème € Ærø").encode("iso-8859-15"), []),
    (codecs.BOM_UTF8 + _page("").encode("utf-8"), []),
    (codecs.BOM_UTF16_LE + _page("").encode("utf-16-le"), []),
    (codecs.BOM_UTF16_BE + _page("").encode("utf-16-be"), []),
    # A byte-order mark outranks the declaration, the declaration outranks --encoding.
    (codecs.BOM_UTF8 + _page('<meta charset="windows-1252">').encode("utf-8"), []),
    (_page('<meta charset="windows-1252">').encode("cp1252"), ["--encoding", "koi8-r"]),
    (_page('<meta charset="utf-8">').encode("utf-8"), ["--encoding", "cp1252"]),
    (_page("").encode("utf-8"), []),
], ids=["meta-charset", "unquoted", "http-equiv", "latin1-label", "xml-decl", "option",
        "latin9", "bom-utf8", "bom-utf16le", "bom-utf16be", "bom-wins", "declared-wins",
        "declared-utf8-wins", "plain-utf8"])
def test_pages_in_other_encodings_print_their_accented_text(tmp_path, raw, options):
    page = write(tmp_path, "page.html", raw)
    status, out, err = run("text", "--strip", *options, page)
    assert (status, err) == (0, "")
    body = "Crème € Ærø" if b"8859-15" in raw else ACCENTED
    assert out == body + "\n"


def test_undeclared_non_utf8_bytes_become_replacement_characters(tmp_path):
    page = write(tmp_path, "page.html", _page("").encode("cp1252"))
    status, out, _ = run("text", "--strip", page)
    assert status == 0
    assert out == "Cr\ufffdme br\ufffdl\ufffde \ufffd \ufffdr\ufffd\n"


@pytest.mark.parametrize("head, expected", [
    ("<!-- <meta charset=windows-1252> -->", None),          # inside a comment
    ('<meta charset="no-such-charset">', None),
    ('<meta charset="utf-16">', "utf-8"),                     # ASCII-compatible bytes
    ('<meta name="x" content="y"><meta charset="KOI8-R">', "koi8-r"),
    (" " * 5000 + '<meta charset="windows-1252">', None),    # beyond the scanned head
    ('<meta charset="gb2312">', "gbk"),                       # the superset browsers use
    ('<meta charset="shift_jis">', "cp932"),
    # Python codecs that are not page encodings are ignored, not used (or crashed on).
    ('<meta charset="base64">', None),
    ('<meta charset="rot13">', None),
    ('<meta charset="undefined">', None),
    ('<meta charset="utf-7">', None),
    ('<meta charset="unicode_escape">', None),
    ('<meta charset="zlib">', None),
])
def test_declared_encoding(head, expected):
    assert cli.declared_encoding(_page(head).encode("ascii", "replace")) == expected


@pytest.mark.parametrize("label", ["base64", "undefined", "utf-7", "hex"])
def test_pages_declaring_a_non_text_codec_are_read_as_utf8(tmp_path, label):
    page = write(tmp_path, "page.html", _page(f'<meta charset="{label}">').encode("utf-8"))
    status, out, err = run("text", "--strip", page)
    assert (status, out, err) == (0, ACCENTED + "\n", "")


def test_a_windows_1252_page_in_every_command(tmp_path, capsys):
    html = ('<html><head><meta charset="windows-1252"><title>Caf\xe9</title></head><body>'
            '<a class="nav" href="/caf\xe9">Cr\xe8me</a><img src="/\xe9t\xe9.png"></body></html>')
    page = write(tmp_path, "w.html", html.encode("latin-1"))
    assert main(capsys, "links", page)[1] == "/café\n"
    assert main(capsys, "images", page)[1] == "/été.png\n"
    out = main(capsys, "find", "a", "--attr", "class=nav", "--json", page)[1]
    assert json.loads(out)["text"] == "Crème"
    assert "(cp1252)" in main(capsys, "stats", page)[1]


# --- Inputs: standard input, several files, errors ------------------------------------------


def test_standard_input():
    status, out, err = run("links", "-", stdin=b'<a href="/from-stdin">x</a>')
    assert (status, out, err) == (0, "/from-stdin\n", "")
    status, out, _ = run("text", "--strip", "-", stdin=_page('<meta charset="cp1252">')
                         .encode("cp1252"))
    assert out == ACCENTED + "\n"


def test_several_files_give_one_block_each(tmp_path):
    a = write(tmp_path, "a.html", '<a href="/a1">x</a><a href="/a2">y</a>')
    b = write(tmp_path, "b.html", '<p>no links</p>')
    status, out, err = run("links", a, "-", b, stdin=b'<a href="/s">s</a>')
    assert (status, err) == (0, "")
    assert out == (f"==> {a} <==\n/a1\n/a2\n\n==> <stdin> <==\n/s\n\n==> {b} <==\n")


def test_missing_and_unreadable_files_are_reported_and_the_rest_processed(tmp_path):
    a = write(tmp_path, "a.html", '<a href="/a">x</a>')
    b = write(tmp_path, "b.html", '<a href="/b">x</a>')
    missing = tmp_path / "missing.html"
    directory = tmp_path / "dir.html"
    directory.mkdir()
    status, out, err = run("links", a, missing, directory, b)
    assert status == 2
    assert out == f"==> {a} <==\n/a\n\n==> {b} <==\n/b\n"
    lines = err.splitlines()
    assert len(lines) == 2
    assert lines[0] == f"velkaron: {missing}: No such file or directory"
    assert lines[1] == f"velkaron: {directory}: Is a directory"


def test_single_missing_file(tmp_path):
    status, out, err = run("count", "p", tmp_path / "nope.html")
    assert (status, out) == (2, "")
    assert err.count("\n") == 1 and "nope.html" in err


def test_json_lines_from_several_files_name_their_file(tmp_path, capsys):
    a = write(tmp_path, "a.html", "<p>1</p>")
    b = write(tmp_path, "b.html", "<p>2</p><p>3</p>")
    status, out, _ = main(capsys, "find", "p", "--json", a, b)
    assert status == 0
    records = [json.loads(line) for line in out.splitlines()]
    assert [(r["file"], r["text"]) for r in records] == [(str(a), "1"), (str(b), "2"),
                                                         (str(b), "3")]


def test_jobs_give_the_same_output_as_one_process(tmp_path):
    files = []
    for i in range(7):
        links = "".join(f'<a href="/p{i}/{j}">{j}</a>' for j in range(i + 1))
        files.append(write(tmp_path, f"p{i}.html", f"<html><body>{links}</body></html>"))
    files.insert(3, tmp_path / "missing.html")
    one = run("links", *files)
    two = run("links", "--jobs", "2", *files)
    assert one == two
    assert one[0] == 2
    assert one[1].count("==> ") == 7 and "/p6/6\n" in one[1]


@pytest.mark.parametrize("args", [
    [],
    ["frobnicate"],
    ["links", "--jobs", "0"],
    ["links", "--jobs", "many"],
    ["text", "--encoding", "no-such-encoding"],
    ["text", "--encoding", "base64"],
    ["count"],
    ["count", ""],
    ["find", "--attr", "=x"],
    ["stats", "--no-such-option"],
])
def test_bad_usage_exits_2_with_usage(args):
    status, out, err = run(*args)
    assert status == 2
    assert out == ""
    assert err.startswith("usage: velkaron")


def test_help_and_version():
    status, out, _ = run("--help")
    assert status == 0
    for command in ("stats", "links", "images", "text", "count", "find"):
        assert command in out
    assert run("--version")[1] == f"velkaron {velkaron.__version__}\n"
    assert run("--version", script=False)[1] == f"python -m velkaron {velkaron.__version__}\n"


def test_nul_in_a_page_does_not_hide_the_rest(tmp_path):
    page = write(tmp_path, "nul.html", b'<p>a\x00b</p><a href="/after-nul">x</a>')
    status, out, _ = run("links", page)
    assert (status, out) == (0, "/after-nul\n")


def test_output_cut_short_by_the_reader_is_quiet(tmp_path):
    page = write(tmp_path, "many.html",
                 "".join(f'<a href="/l{i}">{i}</a>' for i in range(50_000)))
    proc = subprocess.run(f'"{SCRIPT}" links "{page}" | head -n 1', shell=True,
                          capture_output=True, timeout=120)
    assert proc.stdout == b"/l0\n"
    assert proc.stderr == b""


# --- Progress bar ---------------------------------------------------------------------------


def _run_with_terminal_stderr(args):
    primary, secondary = pty.openpty()
    try:
        proc = subprocess.Popen([str(SCRIPT)] + [str(a) for a in args],
                                stdout=subprocess.PIPE, stderr=secondary)
        os.close(secondary)
        chunks = []
        while True:
            try:
                chunk = os.read(primary, 4096)
            except OSError:  # the terminal's other end closed
                break
            if not chunk:
                break
            chunks.append(chunk)
        out = proc.stdout.read()
        proc.wait(timeout=120)
    finally:
        os.close(primary)
    return proc.returncode, out.decode(), b"".join(chunks).decode()


def test_progress_bar_on_a_terminal_only(tmp_path):
    files = [write(tmp_path, f"f{i}.html", f'<a href="/{i}">x</a>')
             for i in range(cli.PROGRESS_MIN_FILES + 2)]
    total = len(files)
    status, out, err = _run_with_terminal_stderr(["links", "--jobs", "2", *files])
    assert status == 0
    assert f"] {total}/{total} files" in err
    assert "\r" in err
    assert out.count("==> ") == total  # the bar never reaches standard output

    status, out, err = run("links", *files)  # standard error is a pipe
    assert (status, err) == (0, "")

    status, _, err = _run_with_terminal_stderr(["links", *files[:3]])  # few files
    assert status == 0 and "files" not in err


def test_a_page_that_fails_is_reported_and_the_rest_processed(monkeypatch, capsys, tmp_path):
    real = cli.run_command

    def run_command(data, opts, name):
        if b"boom" in data:
            raise MemoryError("cannot allocate")
        return real(data, opts, name)

    monkeypatch.setattr(cli, "run_command", run_command)
    a = write(tmp_path, "a.html", '<a href="/a">x</a>')
    bad = write(tmp_path, "bad.html", "<p>boom</p>")
    b = write(tmp_path, "b.html", '<a href="/b">x</a>')
    status, out, err = main(capsys, "links", a, bad, b)
    assert status == 2
    assert out == f"==> {a} <==\n/a\n\n==> {b} <==\n/b\n"
    assert err == f"velkaron: {bad}: MemoryError: cannot allocate\n"
