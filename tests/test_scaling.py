"""The scale-out recipe (examples/scale_out.py, shown in docs/scaling.md) on a local Dask
cluster of two worker processes, against a sequential run over the same corpus."""

import importlib.util
import json
import os
import pickle
import re
import sys
from collections import Counter
from pathlib import Path

import pytest

import velkaron

pytest.importorskip("dask.bag")
distributed = pytest.importorskip("dask.distributed")

ROOT = Path(__file__).resolve().parent.parent
RECIPE = ROOT / "examples" / "scale_out.py"
DOC = ROOT / "docs" / "scaling.md"


def load_recipe():
    recipe_spec = importlib.util.spec_from_file_location("scale_out", RECIPE)
    module = importlib.util.module_from_spec(recipe_spec)
    sys.modules["scale_out"] = module
    recipe_spec.loader.exec_module(module)
    return module


@pytest.fixture(scope="module")
def recipe():
    yield load_recipe()
    sys.modules.pop("scale_out", None)


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    """Forty small pages: links to a few hosts, accented text, some in Windows-1252."""
    directory = tmp_path_factory.mktemp("corpus")
    paths = []
    for i in range(40):
        hosts = [f"https://host{(i * k) % 5}.example/p/{k}" for k in range(i % 7)]
        links = "".join(f'<a href="{h}">link {k}</a>' for k, h in enumerate(hosts))
        body = (f"<h1>Page {i}</h1><p>Crème brûlée n°{i}</p>{links}"
                f'<a href="/local/{i}">local</a><script>var i = {i};</script>')
        if i % 4 == 0:
            raw = (f'<html><head><meta charset="windows-1252"><title>Café {i}</title></head>'
                   f"<body>{body}</body></html>").encode("cp1252")
        else:
            raw = (f"<html><head><title>Café {i}</title></head><body>{body}</body></html>"
                   ).encode("utf-8")
        path = directory / f"page-{i:03}.html"
        path.write_bytes(raw)
        paths.append(str(path))
    return paths


@pytest.fixture(scope="module")
def client(recipe):
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None)
    with distributed.Client(cluster) as client:
        # Workers import the recipe as a module, as they would on a real cluster.
        client.upload_file(str(RECIPE))
        yield client
    cluster.close()


def test_cluster_results_equal_a_sequential_run(recipe, corpus, client):
    sequential = [recipe.summarise_page(p) for p in corpus]
    pages = recipe.summaries(corpus, pages_per_partition=5)
    assert pages.npartitions == 8
    distributed_run = pages.compute()
    assert distributed_run == sequential

    # The values are the pages' own: accented text decoded, script code left out.
    first = sequential[0]
    assert first["title"] == "Café 0" and first["encoding"] == "cp1252"
    assert "Crème brûlée n°0" in first["text"] and "var i" not in first["text"]
    assert sequential[1]["links"] == ["https://host0.example/p/0", "/local/1"]


def test_host_counts_equal_a_sequential_count(recipe, corpus, client):
    expected = Counter(recipe.link_host(h) for p in corpus
                       for h in recipe.summarise_page(p)["links"])
    counted = dict(recipe.host_counts(recipe.summaries(corpus, 5)).compute())
    assert counted == dict(expected)
    assert counted["(relative)"] == 40


def test_jsonl_output_written_by_workers(recipe, corpus, client, tmp_path):
    written = recipe.write_jsonl(recipe.summaries(corpus, 10), str(tmp_path / "out"))
    assert len(written) == 4
    lines = [json.loads(line) for name in sorted(written)
             for line in Path(name).read_text("utf-8").splitlines()]
    assert lines == [recipe.summarise_page(p) for p in corpus]


def test_work_is_spread_over_both_worker_processes(recipe, corpus, client):
    import dask.bag as db

    pids = set(db.from_sequence(range(8), npartitions=8)
               .map(lambda _: __import__("time").sleep(0.2) or os.getpid()).compute())
    assert len(pids) == 2 and os.getpid() not in pids


def test_parsed_documents_cannot_travel_between_processes():
    # Why the recipe sends paths to workers and gets plain values back.
    tree = velkaron.Tree("<p>x</p>")
    with pytest.raises((TypeError, pickle.PicklingError)):
        pickle.dumps(tree)
    with pytest.raises((TypeError, pickle.PicklingError)):
        pickle.dumps(tree.get_root())


def test_documentation_shows_the_tested_code():
    doc = DOC.read_text("utf-8")
    blocks = re.findall(r"```python\n(.*?)```", doc, re.S)
    source = RECIPE.read_text("utf-8")
    # Every Python block of the guide is part of the tested recipe, or uses only its names.
    for block in blocks:
        if "def summarise_page" in block:
            assert block in source
    assert any("def summarise_page" in block for block in blocks)
    assert "LocalCluster" in doc and "Client(" in doc
