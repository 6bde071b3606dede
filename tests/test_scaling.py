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

dask_bag = pytest.importorskip("dask.bag")
distributed = pytest.importorskip("dask.distributed")
RECIPE = Path(__file__).resolve().parent.parent / "examples" / "scale_out.py"


def test_cluster_results_equal_a_sequential_run(tmp_path, monkeypatch):
    recipe_spec = importlib.util.spec_from_file_location("scale_out", RECIPE)
    recipe = importlib.util.module_from_spec(recipe_spec)
    monkeypatch.setitem(sys.modules, "scale_out", recipe)
    recipe_spec.loader.exec_module(recipe)
    corpus = []
    for i in range(40):  # accented text, some pages in Windows-1252, links to a few hosts
        links = "".join(f'<a href="https://host{i * k % 5}.example/p/{k}">l</a>' for k in range(i % 7))
        charset = "windows-1252" if i % 4 == 0 else "utf-8"
        html = (f'<meta charset="{charset}"><title>Café {i}</title><p>Crème brûlée n°{i}</p>{links}'
                f"<a href='/local/{i}'>x</a><script>var i = {i};</script>")
        (tmp_path / f"p{i:02}.html").write_bytes(html.encode("cp1252" if i % 4 == 0 else "utf-8"))
        corpus.append(str(tmp_path / f"p{i:02}.html"))
    sequential = [recipe.summarise_page(p) for p in corpus]
    assert (sequential[0]["title"], sequential[0]["encoding"]) == ("Café 0", "windows-1252")
    assert "Crème brûlée n°0" in sequential[0]["text"] and "var i" not in sequential[0]["text"]
    assert sequential[1]["links"] == ["https://host0.example/p/0", "/local/1"]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        client.upload_file(str(RECIPE))  # workers import the recipe, as on a real cluster
        pages = recipe.summaries(corpus, pages_per_partition=5)
        assert pages.npartitions == 8 and pages.compute() == sequential
        counted = dict(recipe.host_counts(pages).compute())
        assert counted == Counter(recipe.link_host(h) for s in sequential for h in s["links"])
        written = recipe.write_jsonl(recipe.summaries(corpus, 10), str(tmp_path / "out"))
        assert [json.loads(line) for name in sorted(written) for line in open(name, encoding="utf-8")] == sequential
        pids = dask_bag.from_sequence(range(8), npartitions=8).map(
            lambda _: __import__("time").sleep(0.2) or os.getpid()).compute()
        assert len(set(pids)) == 2 and os.getpid() not in pids
    # Why the recipe sends paths and gets plain values back: documents stay in their process.
    with pytest.raises((TypeError, pickle.PicklingError)):
        pickle.dumps(velkaron.Tree("<p>x</p>").get_root())
    blocks = re.findall(r"```python\n(.*?)```", (RECIPE.parents[1] / "docs" / "scaling.md").read_text("utf-8"), re.S)
    shown = [block for block in blocks if "def summarise_page" in block]
    assert shown and all(block in RECIPE.read_text("utf-8") for block in shown)
