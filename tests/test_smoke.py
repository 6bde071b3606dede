import velkaron


def test_parse_and_read_text():
    tree = velkaron.Tree("<p>hi</p>")
    assert tree.get_root().get_text() == "hi"
