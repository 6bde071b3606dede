"""CSS selector speed: velkaron's Tree.select against selectolax css() (lexbor), lxml with
cssselect (the selector compiled to XPath once, its compile time shown apart) and soupsieve
(through BeautifulSoup), on a generated page and one real page (Debian's python3-doc).

Every figure is the median process CPU time of one query on an already parsed document, so other
work on a shared machine weighs less than with wall time. Ratios are peer time / velkaron time:
above 1 means velkaron is faster. The goals: at least selectolax's speed on every selector and
ten times soupsieve's.

    python bench/css_selectors.py                    # 1 MB generated page and a real page
    python bench/css_selectors.py --quick            # 100 KB page, fewer repeats
    python bench/css_selectors.py --json out.json
"""

from __future__ import annotations

import argparse
import gc
import glob
import importlib.util
import json
import statistics
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

HERE = Path(__file__).resolve().parent
REAL_PAGE = "/usr/share/doc/python3*/html/library/stdtypes.html"

SELECTORS = [
    "p",
    ".item",
    "#content",
    "a[href^='http']",
    "article.post h2",
    "ul > li > a",
    "tr:nth-child(odd) td",
    "li:first-child",
    "div a, p a",
    "section p:not(.x) em",
    "article:has(table)",
    "dl.py.method > dt",
    "a.reference.internal",
    "div.highlight pre span",
    "*",
]


def generated_page(size: int) -> str:
    generator_spec = importlib.util.spec_from_file_location("generate", HERE / "generate.py")
    module = importlib.util.module_from_spec(generator_spec)
    generator_spec.loader.exec_module(module)
    return module.generate_page(size)


def median_cpu(call: Callable[[], Any], min_seconds: float, repeats: int) -> float:
    """Median CPU seconds of one call: `repeats` batches, each long enough to time."""
    start = time.process_time()
    call()
    once = max(time.process_time() - start, 1e-6)
    batch = max(1, int(min_seconds / once))
    samples = []
    for _ in range(repeats):
        gc.collect()
        start = time.process_time()
        for _ in range(batch):
            call()
        samples.append((time.process_time() - start) / batch)
    return statistics.median(samples)


def engines(html: str) -> dict[str, Callable[[str], Callable[[], int]] | None]:
    """For each library: selector -> a no-argument query returning the match count."""
    import velkaron

    tree = velkaron.Tree(html)
    found: dict[str, Callable[[str], Callable[[], int]] | None] = {
        "velkaron": lambda css: lambda: len(tree.select(css))}
    try:
        from selectolax.lexbor import LexborHTMLParser

        lexbor = LexborHTMLParser(html)
        found["selectolax"] = lambda css: lambda: len(lexbor.css(css))
    except ImportError:
        found["selectolax"] = None
    try:
        import lxml.html
        from cssselect import GenericTranslator

        document = lxml.html.document_fromstring(html)
        translator = GenericTranslator()

        def lxml_query(css: str) -> Callable[[], int]:
            from lxml.etree import XPath

            compiled = XPath(translator.css_to_xpath(css))
            return lambda: len(compiled(document))

        found["lxml"] = lxml_query
    except ImportError:
        found["lxml"] = None
    try:
        import soupsieve
        from bs4 import BeautifulSoup

        soup = BeautifulSoup(html, "lxml" if found["lxml"] else "html.parser")
        found["soupsieve"] = lambda css: (lambda pattern: lambda: len(pattern.select(soup)))(
            soupsieve.compile(css))
    except ImportError:
        found["soupsieve"] = None
    return found


def lxml_compile_seconds(css: str) -> float | None:
    try:
        from cssselect import GenericTranslator
        from lxml.etree import XPath
    except ImportError:
        return None
    translator = GenericTranslator()
    return median_cpu(lambda: XPath(translator.css_to_xpath(css)), 0.02, 3)


def measure_page(name: str, html: str, min_seconds: float, repeats: int) -> list[dict]:
    libraries = engines(html)
    rows = []
    for css in SELECTORS:
        row: dict[str, Any] = {"page": name, "selector": css}
        for library, make in libraries.items():
            try:
                query = make(css) if make is not None else None
            except Exception as error:  # a peer that cannot run this selector
                row[library] = None
                row[library + "_error"] = type(error).__name__
                continue
            if query is None:
                row[library] = None
                continue
            row[library + "_count"] = query()
            budget = min_seconds if library != "soupsieve" else min_seconds / 4
            row[library] = median_cpu(query, budget, repeats)
        row["lxml_compile"] = lxml_compile_seconds(css)
        rows.append(row)
    return rows


def show(seconds: float | None) -> str:
    if seconds is None:
        return "n/a"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds * 1e6:.1f} µs"


def ratio(peer: float | None, base: float | None) -> str:
    return "n/a" if peer is None or not base else f"{peer / base:.1f}×"


def print_table(rows: list[dict]) -> list[str]:
    """Prints the table; returns the rows that miss a goal."""
    header = (f"{'selector':<24} {'velkaron':>10} {'selectolax':>10} {'lxml':>10} "
              f"{'(compile)':>10} {'soupsieve':>10} {'vs slx':>7} {'vs lxml':>8} {'vs soup':>8}  matches")
    misses = []
    page = None
    for row in rows:
        if row["page"] != page:
            page = row["page"]
            print(f"\n{page}\n{header}")
        v = row["velkaron"]
        counts = {row.get(k + "_count") for k in ("velkaron", "selectolax", "lxml", "soupsieve")}
        counts.discard(None)
        print(f"{row['selector']:<24} {show(v):>10} {show(row['selectolax']):>10} "
              f"{show(row['lxml']):>10} {show(row['lxml_compile']):>10} {show(row['soupsieve']):>10} "
              f"{ratio(row['selectolax'], v):>7} {ratio(row['lxml'], v):>8} "
              f"{ratio(row['soupsieve'], v):>8}  {row['velkaron_count']}"
              + ("" if len(counts) == 1 else f" (peers: {sorted(counts)})"))
        if row["selectolax"] is not None and row["selectolax"] < v:
            misses.append(f"{page}: {row['selector']}: slower than selectolax")
        if row["soupsieve"] is not None and row["soupsieve"] < 10 * v:
            misses.append(f"{page}: {row['selector']}: less than 10x soupsieve")
    return misses


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="100 KB page, fewer repeats")
    parser.add_argument("--json", type=Path, help="also write the figures here")
    args = parser.parse_args()
    size, min_seconds, repeats = (100_000, 0.01, 3) if args.quick else (1_000_000, 0.05, 5)
    pages = {f"generated page ({size // 1000} KB)": generated_page(size)}
    real = sorted(glob.glob(REAL_PAGE))
    if real:
        pages[f"real page ({Path(real[0]).name}, python3-doc)"] = Path(real[0]).read_text(
            encoding="utf-8", errors="replace")
    else:
        print(f"no real page: {REAL_PAGE} is absent (apt-get install python3-doc)")
    rows = [row for name, html in pages.items() for row in measure_page(name, html, min_seconds, repeats)]
    misses = print_table(rows)
    print("\nMedian process CPU time per query on a parsed document; ratios are peer / velkaron.")
    print("goals (>= selectolax, >= 10x soupsieve): " + ("all met" if not misses else "missed:"))
    for miss in misses:
        print("  " + miss)
    if args.json:
        args.json.parent.mkdir(parents=True, exist_ok=True)
        args.json.write_text(json.dumps(rows, indent=1))


if __name__ == "__main__":
    main()
