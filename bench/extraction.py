"""Main-content quality and speed: velkaron beside trafilatura, readability-lxml, resiliparse.

Reads the evaluation set (a cases.json of pages with `with` snippets the main content holds
and `without` snippets of boilerplate), extracts each page's main text with every extractor
(velkaron: its public `parse(data).plain_text(main_content=True)`), and scores: whitespace runs collapse to one space in text and snippets; a `with` snippet found
is a true positive, else a false negative; a `without` snippet found is a false positive.
Precision, recall and F1 are over all snippets of all pages; pages/s is extraction alone over
the pages held in memory as bytes, one core. For velkaron the main-content text alone is also
given as a share of the parse time of the same pages.

    python bench/extraction.py [--set ../shared/extraction-eval] [--only velkaron,trafilatura]
"""

from __future__ import annotations

import argparse
import gzip
import json
import re
import time
from pathlib import Path
from typing import Callable

import velkaron

SPACES = re.compile(r"\s+")


def collapse(text: str) -> str:
    return SPACES.sub(" ", text).strip()


def velkaron_text(data: bytes) -> str:
    return velkaron.parse(data).plain_text(main_content=True)


def trafilatura_text(data: bytes) -> str:
    import trafilatura

    return trafilatura.extract(data) or ""


def readability_text(data: bytes) -> str:
    import lxml.html
    from readability import Document

    summary = Document(data).summary()
    return lxml.html.fromstring(summary).text_content() if summary else ""


def resiliparse_text(data: bytes) -> str:
    from resiliparse.extract.html2text import extract_plain_text
    from resiliparse.parse.encoding import bytes_to_str, detect_encoding
    from resiliparse.parse.html import HTMLTree

    tree = HTMLTree.parse(bytes_to_str(data, detect_encoding(data)))
    return extract_plain_text(tree, main_content=True)


EXTRACTORS: dict[str, Callable[[bytes], object]] = {
    "velkaron": velkaron_text,
    "trafilatura": trafilatura_text,
    "readability-lxml": readability_text,
    "resiliparse": resiliparse_text,
}


def score(cases: list[dict], texts: list[str]) -> dict[str, float]:
    tp = fn = fp = 0
    for case, text in zip(cases, texts):
        text = collapse(text)
        for snippet in case["with"]:
            if collapse(snippet) in text:
                tp += 1
            else:
                fn += 1
        fp += sum(collapse(snippet) in text for snippet in case["without"])
    precision = tp / (tp + fp) if tp + fp else 0.0
    recall = tp / (tp + fn) if tp + fn else 0.0
    f1 = 2 * precision * recall / (precision + recall) if precision + recall else 0.0
    return {"f1": f1, "precision": precision, "recall": recall}


def velkaron_split(pages: list[bytes]) -> dict[str, float]:
    """Parse alone, and main-content text alone on trees already parsed."""
    start = time.process_time()
    trees = [velkaron.parse(page) for page in pages]
    parse = time.process_time() - start
    start = time.process_time()
    for tree in trees:
        tree.plain_text(main_content=True)
    return {"main_content_share": (time.process_time() - start) / parse}


def run(name: str, extract: Callable[[bytes], object], pages: list[bytes], cases: list[dict]) -> dict:
    start = time.process_time()
    texts = [extract(page) for page in pages]
    elapsed = time.process_time() - start
    row = {"extractor": name, **score(cases, [str(t) for t in texts]),
           "pages_per_s": len(pages) / elapsed}
    if name == "velkaron":
        row.update(velkaron_split(pages))
    return row


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--set", type=Path, default=Path(__file__).parents[2] / "shared" / "extraction-eval")
    parser.add_argument("--only", default=",".join(EXTRACTORS))
    args = parser.parse_args()
    cases = json.loads((args.set / "cases.json").read_text())
    pages = [gzip.decompress((args.set / case["page"]).read_bytes()) for case in cases]
    print("| extractor | F1 | precision | recall | pages/s |\n|---|---|---|---|---|")
    for name in args.only.split(","):
        row = run(name, EXTRACTORS[name], pages, cases)
        extra = (f" (main-content text: {row['main_content_share']:.0%} of parse)"
                 if "main_content_share" in row else "")
        print(f"| {name} | {row['f1']:.3f} | {row['precision']:.3f} | {row['recall']:.3f} "
              f"| {row['pages_per_s']:.0f}{extra} |", flush=True)


if __name__ == "__main__":
    main()
