"""parse_many: the same trees as Tree(), in input order, on native threads; bad input named by
index; and the interpreter lock released while a Tree is parsed or a large page written out."""

import threading
import time

import pytest

import velkaron

# Distinct pages large enough that a batch of them starts worker threads.
PAGES = [f"<title>{i}</title>" + f"<p class=c{i % 3}>row {i} <a href='/{i}'>x</a></p>" * 300
         for i in range(40)]


def summary(tree):
    root = tree.get_root()
    return root.find("title").get_text(), len(root.find_all("a")), len(root.get_text())


@pytest.mark.parametrize("threads", [None, 1, 2, 7])
def test_trees_match_single_parses_in_order(threads):
    trees = velkaron.parse_many(PAGES, threads=threads)
    assert [summary(t) for t in trees] == [summary(velkaron.Tree(p)) for p in PAGES]


def test_only_pages_whose_late_meta_corrects_a_guess_are_parsed_again(monkeypatch):
    comment = f"<!--{'c' * 2000}-->"
    pages = [f'{comment}<meta charset="koi8-r"><p>мир'.encode("koi8-r"),
             f'<meta charset="koi8-r"><p>мир'.encode("koi8-r"),
             f'{comment}<meta charset="utf-8"><p>мир'.encode()] * 3
    batches = []
    parse_texts = velkaron.batch._parse_texts
    monkeypatch.setattr(velkaron.batch, "_parse_texts",
                        lambda texts, *a, **k: batches.append(len(texts)) or parse_texts(texts, *a, **k))
    trees = velkaron.parse_many(pages, threads=2)
    assert [(t.encoding, t.root.text) for t in trees] == [
        ("koi8-r", "мир"), ("koi8-r", "мир"), ("utf-8", "мир")] * 3
    assert batches == [9, 3]


@pytest.mark.parametrize("document, encoding, text, name", [
    ("<p>caf\u00e9</p>", None, "caf\u00e9", "utf-8"),
    ("<p>caf\u00e9</p>".encode(), None, "caf\u00e9", "utf-8"),
    (bytearray(b"\xef\xbb\xbf<p>a</p>"), None, "a", "utf-8"),
    (memoryview(b"<p>b</p>"), None, "b", "utf-8"),
    ("<p>caf\u00e9</p>".encode("latin-1"), "iso-8859-1", "caf\u00e9", "windows-1252"),
    ("<p>caf\u00e9</p>".encode("latin-1"), None, "caf\u00e9", "windows-1252"),
    ('<meta charset="koi8-r"><p>\u043c\u0438\u0440</p>'.encode("koi8-r"), None, "\u043c\u0438\u0440", "koi8-r"),
    ("", None, "", "utf-8"),
])
def test_each_kind_of_document_reads_as_parse_reads_it(document, encoding, text, name):
    [tree] = velkaron.parse_many([document], encoding=encoding)
    assert (tree.get_root().get_text(), tree.encoding) == (text, name)
    assert velkaron.parse(document, encoding).encoding == name


@pytest.mark.parametrize("documents, error, message", [
    (["<p>", 3], TypeError, r"documents\[1\] must be str or a bytes-like object, not int"),
    ((d for d in ["a", "b", None]), TypeError, r"documents\[2\] .* not NoneType"),
    ([["<p>"]], TypeError, r"documents\[0\] .* not list"),
    ([b"<p>"], LookupError, "no-such-label"),
])
def test_bad_documents_are_named_by_index(documents, error, message):
    with pytest.raises(error, match=message):
        velkaron.parse_many(documents, encoding="no-such-label" if error is LookupError else None)


@pytest.mark.parametrize("threads, error", [(0, ValueError), (-2, ValueError), ("2", TypeError),
                                            (True, TypeError), (1.5, TypeError)])
def test_bad_thread_counts(threads, error):
    with pytest.raises(error, match="threads"):
        velkaron.parse_many(["<p>"], threads=threads)


def test_empty_batch():
    assert velkaron.parse_many([]) == []


LONG_PAGE = "<div><p class=a>text <b>bold</b></p></div>" * 60000


@pytest.mark.parametrize("work", [
    lambda: velkaron.Tree(LONG_PAGE),
    lambda tree=velkaron.Tree(LONG_PAGE): tree.html,
    lambda tree=velkaron.Tree(LONG_PAGE): tree.root.inner_html,
], ids=["parse", "document html", "root inner_html"])
def test_long_native_work_lets_other_threads_run(work):
    done = threading.Event()
    window = []

    def run():
        window.append(time.perf_counter())
        work()
        window.append(time.perf_counter())
        done.set()

    ticks = []
    worker = threading.Thread(target=run)
    worker.start()
    while not done.is_set():
        ticks.append(time.perf_counter())
    worker.join()
    during = [t for t in ticks if window[0] <= t <= window[1]]
    # With the lock held through the work, this thread would stop ticking for all of it.
    longest_pause = max(b - a for a, b in zip([window[0], *during], [*during, window[1]]))
    assert longest_pause < (window[1] - window[0]) / 2
