"""velkaron.parse: the encoding of bytes picked as browsers pick it, one row per rule."""

import codecs

import pytest

import velkaron
from velkaron import cli
from velkaron.encoding import encoding_name, sniff

TEXT = "Crème brûlée € Ærø"


def page(head="", body=TEXT):
    return f"<html><head>{head}</head><body><p>{body}</p></body></html>"


@pytest.mark.parametrize("data, encoding, name, text", [
    # Byte-order marks first, over the caller's encoding and the page's meta.
    (codecs.BOM_UTF8 + page('<meta charset="koi8-r">').encode(), "latin1", "utf-8", TEXT),
    (codecs.BOM_UTF16_LE + page().encode("utf-16-le"), None, "utf-16le", TEXT),
    (codecs.BOM_UTF16_BE + page().encode("utf-16-be"), "utf-8", "utf-16be", TEXT),
    # Then the caller's encoding, over the meta; labels resolve as browsers resolve them.
    (page('<meta charset="utf-8">').encode("cp1252"), "latin1", "windows-1252", TEXT),
    (page().encode("cp1252"), "ISO-8859-1", "windows-1252", TEXT),
    (page(body="abc").encode(), "ascii", "windows-1252", "abc"),
    (page(body="Ωμέγα").encode("iso-8859-7"), " greek ", "iso-8859-7", "Ωμέγα"),
    (page(body="日本語").encode("utf-16-le"), "utf-16le", "utf-16le", "日本語"),
    # Python's codec names: the browsers' encoding of that name, else Python's codec.
    (page().encode("cp1252"), "latin-1", "windows-1252", TEXT),
    (page().encode("cp1252"), "iso8859_1", "windows-1252", TEXT),
    (page().encode(), "utf_8", "utf-8", TEXT),
    (page(body="日本").encode("euc-jp"), "euc_jp", "euc-jp", "日本"),
    (page(body="€ Œ").encode("iso8859-15"), "iso8859_15", "iso-8859-15", "€ Œ"),
    (page(body="Ÿ ∂ π").encode("mac_roman"), "mac_roman", "mac-roman", "Ÿ ∂ π"),
    (page(body="日本").encode("utf-16-le"), "utf_16_le", "utf-16le", "日本"),
    # Then the meta, in either form, outside comments, within 1024 bytes.
    (page('<meta charset="windows-1252">').encode("cp1252"), None, "windows-1252", TEXT),
    (page("<META CHARSET = 'Shift_JIS'>", "日本語").encode("shift_jis"), None, "shift_jis", "日本語"),
    (page('<meta http-equiv="Content-Type" content="text/html; charset=koi8-r">', "Привет")
     .encode("koi8-r"), None, "koi8-r", "Привет"),
    (page('<meta content="text/html; charset=\'euc-jp\'" http-equiv=content-type>', "日本")
     .encode("euc-jp"), None, "euc-jp", "日本"),
    (page('<meta content="text/html; charset=koi8-r">', "Привет").encode("koi8-r"), None,
     "windows-1252", "Привет".encode("koi8-r").decode("cp1252")),  # no http-equiv
    (page('<meta charset="utf-16">').encode(), None, "utf-8", TEXT),
    (page('<meta charset="x-user-defined">', "abc").encode(), None, "windows-1252", "abc"),
    (page('<!-- <meta charset="koi8-r"> -->').encode(), None, "utf-8", TEXT),
    (page('<meta name="x" content="charset=koi8-r"><meta charset="koi8-r" charset="utf-8">',
          "Привет").encode("koi8-r"), None, "koi8-r", "Привет"),
    (page('<title a="<meta charset=koi8-r>"></title>').encode(), None, "utf-8", TEXT),
    (page('<meta charset="no-such-thing">').encode(), None, "utf-8", TEXT),
    # Then UTF-8 when the bytes are UTF-8, else windows-1252 (C1 bytes keep their value).
    (page().encode(), None, "utf-8", TEXT),
    (page().encode("cp1252"), None, "windows-1252", TEXT),
    (b"<p>\x80\x9f\xff", None, "windows-1252", "€Ÿÿ"),
    (b"<p>\xed\xa0\x80|\xc0\xaf", None, "windows-1252", "í\xa0€|À¯"),  # surrogate, overlong
    ("<p>\U0001f600|\u00e9".encode(), None, "utf-8", "\U0001f600|é"),
    # Bytes that do not decode become U+FFFD; so does NUL, which would end the document.
    (b"<meta charset=utf-8><p>a\xffb\xe2\x82c", None, "utf-8", "a\ufffdb\ufffdc"),
    (b"<p>a\x00b", None, "utf-8", "a\ufffdb"),
    (b"\xff\xfe<\x00p\x00>\x00a\x00\x00\x00", None, "utf-16le", "a\ufffd"),
    (b"\xff\xfe<\x00p\x00>\x00a", None, "utf-16le", "\ufffd"),
    (b"<p>x", "iso-2022-kr", "replacement", "\ufffd"),
    (bytearray(b"<p>x"), None, "utf-8", "x"),
    (memoryview(b"..<p>x")[2:], None, "utf-8", "x"),
    ("<p>x\x00y", None, "utf-8", "x\ufffdy"),
    ("<p>é", "koi8-r", "utf-8", "é"),
])
def test_parse_picks_the_encoding(data, encoding, name, text):
    tree = velkaron.parse(data, encoding)
    assert (tree.encoding, tree.root.text) == (name, text)


@pytest.mark.parametrize("call, error, message", [
    (lambda: velkaron.parse(b"x", "no-such-label"), LookupError, "no-such-label"),
    (lambda: velkaron.parse(b"x", default="utf-9"), LookupError, "utf-9"),
    (lambda: velkaron.parse(None), TypeError, "NoneType"),
    (lambda: velkaron.parse([b"x"]), TypeError, "list"),
    (lambda: velkaron.parse(b"x", 8), TypeError, "int"),
    (lambda: velkaron.parse("lone \ud800"), UnicodeEncodeError, "surrogates"),
    (lambda: encoding_name("base64"), LookupError, "base64"),
    (lambda: encoding_name("idna"), LookupError, "idna"),  # cannot replace what it cannot read
    (lambda: velkaron.parse(b"x", "undefined"), LookupError, "undefined"),
])
def test_bad_arguments(call, error, message):
    with pytest.raises(error, match=message):
        call()


@pytest.mark.parametrize("data, default, expected", [
    (page().encode("cp1252"), "koi8-r", ("koi8-r", 0)),
    (page('<meta charset="latin1">').encode(), "koi8-r", ("windows-1252", 0)),
    (codecs.BOM_UTF8 + b"x", "koi8-r", ("utf-8", 3)),
])
def test_default_comes_after_the_meta(data, default, expected):
    assert sniff(data, default=default) == expected


@pytest.mark.parametrize("codec", ["cp1252", "iso-8859-15", "utf-8", "utf-16"])
def test_a_page_keeps_its_text_through_html_output_in_any_encoding(codec):
    tree = velkaron.parse(page(f'<meta charset="{codec}">', "Crème € Ærø").encode(codec))
    assert velkaron.parse(tree.html).root.text == "Crème € Ærø"


@pytest.mark.parametrize("options, out", [
    (["--html"], '<a href="/x">Привет</a>\n'),
    (["--html", "--json"], '{"name": "a", "attrs": {"href": "/x"}, "text": "Привет", '
                           '"html": "<a href=\\"/x\\">Привет</a>"}\n'),
])
def test_command_line_decodes_through_parse_and_prints_html(tmp_path, capsys, options, out):
    (tmp_path / "p.html").write_bytes(page("<meta charset=koi8-r>", '<a href="/x">Привет</a>')
                                      .encode("koi8-r"))
    assert cli.main(["find", "a", *options, str(tmp_path / "p.html")]) == 0
    assert capsys.readouterr().out == out


def late(before, declared="koi8-r", body="Привет", codec="koi8-r"):
    return page(before + f'<meta charset="{declared}">', body).encode(codec)


# A <meta> past the first 1024 bytes corrects a guessed encoding, once; nothing else does.
@pytest.mark.parametrize("data, options, name, text, parses", [
    (late(f"<!--{'c' * 1024}-->"), {}, "koi8-r", "Привет", 2),
    (late(f"<script>{'s' * 4000}</script>"), {}, "koi8-r", "Привет", 2),
    (late(f"<style>{'t' * 8000}</style>"), {}, "koi8-r", "Привет", 2),
    (late(f"<title>{'x' * 2000}</title>", "windows-1251", "Мир", "cp1251"), {}, "windows-1251",
     "Мир", 2),
    (late(f"<link href={'x' * 1024}>", "utf-16", TEXT, "utf-8"), {"default": "koi8-r"}, "utf-8",
     TEXT, 2),
    (late(f"<!--{'c' * 1024}-->", "x-user-defined", TEXT, "cp1252"), {}, "windows-1252", TEXT, 1),
    (late(f"<!--{'c' * 1024}-->"), {"default": "cp1251"}, "koi8-r", "Привет", 2),
    (late(f"<!--{'c' * 1024}-->", "utf-8", TEXT, "utf-8"), {}, "utf-8", TEXT, 1),
    (late(f"<!--{'c' * 1024}-->", "no-such", "abc"), {}, "utf-8", "abc", 1),
    (late(""), {}, "koi8-r", "Привет", 1),  # early declaration
    (codecs.BOM_UTF8 + late(f"<!--{'c' * 1024}-->", body=TEXT, codec="utf-8"), {}, "utf-8",
     TEXT, 1),
    (late(f"<!--{'c' * 1024}-->", body=TEXT, codec="utf-8"), {"encoding": "utf-8"}, "utf-8",
     TEXT, 1),
    (f"<!--{'c' * 1024}--><p>{TEXT}<meta charset=koi8-r>".encode(), {}, "utf-8", TEXT, 1),
])
def test_a_late_meta_in_the_head_reparses_a_guess_once(monkeypatch, data, options, name, text,
                                                      parses):
    made = []
    counted = lambda text, **limits: made.append(text) or velkaron.Tree(text, **limits)
    monkeypatch.setattr(velkaron.encoding, "Tree", counted)
    tree = velkaron.parse(data, **options)
    assert (tree.encoding, tree.root.find("p").text, len(made)) == (name, text, parses)
