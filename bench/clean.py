"""From a page to readable text or Markdown: velkaron against the converters users run today.

Every peer parses the page again; velkaron renders from the tree it already has. For each page
set (python3-doc, nodejs-doc, generated pages) it prints pages per second on one core for each
pipeline, velkaron's render time as a share of its own parse, and Python threads running
parse + Markdown against one thread, beside html-to-markdown on the same threads. Wall-clock
time, best of --runs, the pipelines interleaved within a run.

    python bench/clean.py [--pages 60] [--runs 3] [--json out.json]
"""

from __future__ import annotations

import argparse
import glob
import json
import os
import statistics
import time
from typing import Callable

from generate import generate_page
from scrape import on_threads

PAGE_SETS = {
    "python3-doc": "/usr/share/doc/python3*/html/**/*.html",
    "nodejs-doc": "/usr/share/doc/nodejs/api/*.html",
}
GENERATED_SIZES = (10_000, 100_000, 1_000_000)

Pipeline = Callable[[str], object]


def velkaron_pipelines() -> dict[str, Pipeline]:
    import velkaron

    return {
        "velkaron Tree() alone": velkaron.Tree,
        "velkaron parse + plain_text": lambda html: velkaron.Tree(html).plain_text(),
        "velkaron parse + markdown": lambda html: velkaron.Tree(html).markdown(),
    }


def resiliparse_pipeline() -> Pipeline:
    from resiliparse.extract.html2text import extract_plain_text
    from resiliparse.parse.html import HTMLTree

    return lambda html: extract_plain_text(HTMLTree.parse(html))


def html_text_pipeline() -> Pipeline:
    import html_text

    return html_text.extract_text


def inscriptis_pipeline() -> Pipeline:
    import inscriptis

    return inscriptis.get_text


def html2text_pipeline() -> Pipeline:
    import html2text

    def convert(html: str) -> str:
        return html2text.HTML2Text(bodywidth=0).handle(html)

    return convert


def markdownify_pipeline() -> Pipeline:
    import markdownify

    return markdownify.markdownify


def html_to_markdown_pipeline() -> Pipeline:
    import html_to_markdown

    return html_to_markdown.convert


PEERS = {
    "resiliparse plain text": resiliparse_pipeline,
    "html-text": html_text_pipeline,
    "inscriptis": inscriptis_pipeline,
    "html-to-markdown": html_to_markdown_pipeline,
    "html2text": html2text_pipeline,
    "markdownify": markdownify_pipeline,
}
# Slow peers see only this many pages of a set, so a run stays in minutes.
SLOW_PEERS = {"html2text": 20, "markdownify": 10}


def load_sets(count: int) -> dict[str, list[str]]:
    sets = {}
    for name, pattern in PAGE_SETS.items():
        paths = sorted({os.path.realpath(p) for p in glob.glob(pattern, recursive=True)})
        step = max(len(paths) // count, 1)
        pages = [open(p, encoding="utf-8", errors="replace").read() for p in paths[::step][:count]]
        if pages:
            sets[name] = pages
        else:
            print(f"clean: {name} skipped, not installed")
    sets["generated"] = [generate_page(size, seed) for size in GENERATED_SIZES for seed in (1, 2)]
    return sets


def pipelines() -> dict[str, Pipeline]:
    found = velkaron_pipelines()
    for name, load in PEERS.items():
        try:
            found[name] = load()
        except ImportError as error:
            print(f"clean: {name} skipped ({error})")
    return found


def pages_per_second(found: dict[str, Pipeline], pages: list[str], runs: int) -> dict[str, float]:
    best = {name: float("inf") for name in found}
    for _ in range(runs):
        for name, work in found.items():
            subset = pages[:SLOW_PEERS.get(name, len(pages))]
            started = time.perf_counter()
            for page in subset:
                work(page)
            best[name] = min(best[name], (time.perf_counter() - started) / len(subset))
    return {name: 1 / seconds for name, seconds in best.items()}


def render_shares(pages: list[str], runs: int) -> dict[str, float]:
    """Median over pages of render time ÷ Tree() time (goal: at most 0.10 each)."""
    import velkaron

    shares: dict[str, list[float]] = {"plain_text": [], "markdown": []}
    for page in pages:
        parse = plain = markdown = float("inf")
        for _ in range(runs):
            started = time.perf_counter()
            tree = velkaron.Tree(page)
            parsed = time.perf_counter()
            tree.plain_text()
            plained = time.perf_counter()
            tree.markdown()
            done = time.perf_counter()
            parse = min(parse, parsed - started)
            plain = min(plain, plained - parsed)
            markdown = min(markdown, done - plained)
        shares["plain_text"].append(plain / parse)
        shares["markdown"].append(markdown / parse)
    return {name: statistics.median(values) for name, values in shares.items()}


def thread_scaling(found: dict[str, Pipeline], pages: list[str], runs: int) -> dict[str, float]:
    """Two Python threads against one, for parse + Markdown (goal: 1.8x)."""
    scaling = {}
    for name in ("velkaron parse + markdown", "html-to-markdown"):
        if name not in found:
            continue
        one = min(on_threads(found[name], pages, 1) for _ in range(runs))
        two = min(on_threads(found[name], pages, 2) for _ in range(runs))
        scaling[name] = one / two
    return scaling


def report(set_name: str, rates: dict[str, float], shares: dict[str, float],
           scaling: dict[str, float]) -> None:
    markdown = rates["velkaron parse + markdown"]
    plain = rates["velkaron parse + plain_text"]
    print(f"\n{set_name}: pages per second, one thread")
    print(f"  {'pipeline':32} {'pages/s':>9} {'velkaron ÷ it':>14}")
    for name, rate in rates.items():
        own = markdown if "markdown" in name or name in ("html2text", "markdownify") else plain
        ratio = "" if name.startswith("velkaron") else f"{own / rate:14.2f}"
        print(f"  {name:32} {rate:9.1f} {ratio}")
    print(f"  render ÷ Tree() (median page): plain_text {shares['plain_text']:.3f}, "
          f"markdown {shares['markdown']:.3f} (goal <= 0.10)")
    for name, factor in scaling.items():
        print(f"  two Python threads ÷ one, {name}: x{factor:.2f} (goal >= 1.8 for velkaron)")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, default=60)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--json", help="write the results here as well")
    args = parser.parse_args()
    found = pipelines()
    results = {}
    for set_name, pages in load_sets(args.pages).items():
        rates = pages_per_second(found, pages, args.runs)
        shares = render_shares(pages, args.runs)
        scaling = thread_scaling(found, pages, args.runs)
        report(set_name, rates, shares, scaling)
        results[set_name] = {"pages": len(pages), "pages_per_s": rates, "render_share": shares,
                             "two_threads_x": scaling}
    print(f"\nload average {os.getloadavg()[0]:.1f} at the end; best of {args.runs}")
    if args.json:
        with open(args.json, "w") as out:
            json.dump({"date": time.strftime("%Y-%m-%d"), "load_average": os.getloadavg()[0],
                       "sets": results}, out, indent=1)


if __name__ == "__main__":
    main()
