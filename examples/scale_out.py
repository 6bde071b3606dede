"""Extract titles, links and text from many HTML pages with Dask.

Each worker reads and parses its own pages and sends back plain values (strings, lists,
dicts): a parsed document is never sent between processes. The same code runs on a laptop
(a local cluster) and on a cluster of many machines (give the scheduler's address).

    python examples/scale_out.py --workers 2 pages/*.html               # local cluster
    python examples/scale_out.py --scheduler tcp://10.0.0.5:8786 \\
        --output s3://bucket/links/ s3://bucket/pages/*.html           # real cluster
"""

# Dask ships without type annotations; everything else here is checked strictly.
# mypy: disable-error-code="import-untyped, no-untyped-call, no-any-return"

from __future__ import annotations

import argparse
import json
from typing import TypedDict
from urllib.parse import urlsplit

import dask.bag as db
import fsspec
from dask.distributed import Client, LocalCluster

import velkaron


class PageSummary(TypedDict):
    path: str
    encoding: str
    title: str
    links: list[str]
    text: str


def summarise_page(path: str) -> PageSummary:
    """Read and parse one page on the worker; return plain values only."""
    with fsspec.open(path, "rb") as f:  # local paths, s3://, gs://, hdfs://, ...
        data = f.read()
    tree = velkaron.parse(data)  # the encoding picked as a browser picks it
    root = tree.root
    title = root.find("title")
    return {
        "path": path,
        "encoding": tree.encoding,
        "title": title.get_text_stripped() if title is not None else "",
        "links": root.get_all_hrefs(),
        "text": tree.plain_text(),  # what a reader sees, blocks on lines of their own
    }


def link_host(href: str) -> str:
    """The host a link points to; one malformed URL must not stop a corpus-wide job."""
    try:
        return urlsplit(href.strip()).hostname or "(relative)"
    except ValueError:
        return "(invalid)"


def summaries(paths: list[str], pages_per_partition: int = 100) -> db.Bag:
    """A lazy bag of page summaries: one task per partition of pages."""
    return db.from_sequence(paths, partition_size=pages_per_partition).map(summarise_page)


def host_counts(pages: db.Bag) -> db.Bag:
    """How often each host is linked to, over the whole corpus: (host, count) pairs."""
    return pages.pluck("links").flatten().map(link_host).frequencies()


def write_jsonl(pages: db.Bag, output: str) -> list[str]:
    """Write one JSON object per page, one file per partition, straight from the workers."""
    written: list[str] = pages.map(json.dumps, ensure_ascii=False).to_textfiles(
        output.rstrip("/") + "/part-*.jsonl")
    return written


def main() -> None:
    parser = argparse.ArgumentParser(description="Titles, links and text of many pages.")
    parser.add_argument("paths", nargs="+", help="pages or glob patterns (any fsspec URL)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2, help="local cluster size")
    parser.add_argument("--output", help="directory for JSON lines (default: print a summary)")
    parser.add_argument("--pages-per-partition", type=int, default=100)
    args = parser.parse_args()

    if args.scheduler:
        client = Client(args.scheduler)
    else:
        client = Client(LocalCluster(n_workers=args.workers, threads_per_worker=1))
    with client:
        paths = [f.full_name for pattern in args.paths for f in fsspec.open_files(pattern)]
        pages = summaries(paths, args.pages_per_partition)
        if args.output:
            for name in write_jsonl(pages, args.output):
                print(name)
        else:
            top = host_counts(pages).topk(10, key=1).compute()
            print(f"{len(paths)} pages; most linked hosts:")
            for host, count in top:
                print(f"  {count:>8}  {host}")


if __name__ == "__main__":
    main()
