"""Times the multi-threaded searches against the sequential ones on one large generated page.

For each query, the median wall time of find_all_parallel and find_all_parallel_optimized (and
of the find forms) is printed beside find_all and find_all_ultra_fast with the same criteria,
as ratios from the same run: sequential time / parallel time, so above 1 means the parallel
search was faster. Every call starts from the page's <main> element, below the root, so that
find_all walks the tree like the others instead of answering from the parse-time indexes.

Each call's result is dropped before the next call, so every call creates its handles and
Python objects afresh, as a program that searches once and moves on would. A second table
repeats the find_all forms while an earlier result is still held, so that the handles and their
Python objects already exist: the difference between the two tables is the cost of making them.

    .venv/bin/python bench/parallel.py [--items N] [--repeat N]
"""

from __future__ import annotations

import argparse
import gc
import os
import statistics
import time

import velkaron


def page(items: int) -> str:
    rows = "".join(
        f'<div class="item c{i % 3}" id="d{i}" data-k="{i % 5}">'
        f'<span class="label">t{i}</span><a href="/p/{i}">l</a></div>'
        for i in range(items)
    )
    return f"<!DOCTYPE html><html><head><title>bench</title></head><body><main>{rows}</main></body></html>"


def median_seconds(calls: dict, repeat: int, hold: bool) -> dict:
    """Median time of each call, the calls taken in turn in every round so that a change in
    the machine's load falls on all of them alike."""
    held = [call() for call in calls.values()] if hold else None
    for call in calls.values():
        call()  # warm-up
    times = {name: [] for name in calls}
    for _ in range(repeat):
        for name, call in calls.items():
            start = time.perf_counter()
            result = call()
            times[name].append(time.perf_counter() - start)
            del result
    del held
    return {name: statistics.median(values) for name, values in times.items()}


def count(result) -> int:
    if result is None:
        return 0
    return len(result) if isinstance(result, list) else 1


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--items", type=int, default=20000, help="rows on the page (default 20000)")
    parser.add_argument("--repeat", type=int, default=15, help="timed calls per method (default 15)")
    args = parser.parse_args()

    html = page(args.items)
    tree = velkaron.Tree(html)
    main_element = tree.get_root().find("main")
    gc.disable()  # collections would land in whichever call happens to trigger them

    print(
        f"page: {args.items} rows, {len(html) / 1e6:.1f} MB, "
        f"{len(main_element.find_all_ultra_fast())} elements below <main>; "
        f"{os.cpu_count()} hardware threads; median of {args.repeat} calls"
    )

    # (label, tag_name, attrs): queries on which all four find_all methods agree.
    queries = [
        ("tag div", "div", {}),
        ("tag + whole class", "div", {"class": "item c1"}),
        ("every element", "", {}),
    ]
    find_all_methods = [
        "find_all",
        "find_all_ultra_fast",
        "find_all_parallel",
        "find_all_parallel_optimized",
    ]
    find_methods = ["find", "find_ultra_fast", "find_parallel", "find_parallel_optimized"]

    for hold in (False, True):
        title = "handles made afresh by every call" if not hold else "handles already alive"
        print(f"\nfind_all forms, {title}")
        print(
            f"  {'query':<18} {'matches':>8} "
            + " ".join(f"{name:>28}" for name in find_all_methods)
            + f" {'parallel ratios':>26} {'optimized ratios':>26}"
        )
        for label, tag_name, attrs in queries:
            counts = {
                name: count(getattr(main_element, name)(tag_name, attrs)) for name in find_all_methods
            }
            if len(set(counts.values())) != 1:
                raise SystemExit(f"{label}: the methods disagree: {counts}")
            seconds = median_seconds(
                {
                    name: lambda name=name: getattr(main_element, name)(tag_name, attrs)
                    for name in find_all_methods
                },
                args.repeat,
                hold,
            )
            ratios = []
            for parallel in ("find_all_parallel", "find_all_parallel_optimized"):
                ratios.append(
                    f"{seconds['find_all'] / seconds[parallel]:5.2f}x / "
                    f"{seconds['find_all_ultra_fast'] / seconds[parallel]:5.2f}x"
                )
            print(
                f"  {label:<18} {counts['find_all']:>8} "
                + " ".join(f"{seconds[name] * 1e3:>25.2f} ms" for name in find_all_methods)
                + " ".join(f"{ratio:>27}" for ratio in ratios)
            )

    print("\nfind forms (first match; the parallel ones look through the threshold's worth first)")
    print(
        f"  {'query':<18} "
        + " ".join(f"{name:>26}" for name in find_methods)
        + f" {'parallel ratios':>26} {'optimized ratios':>26}"
    )
    for label, tag_name, attrs in queries[:2]:
        seconds = median_seconds(
            {name: lambda name=name: getattr(main_element, name)(tag_name, attrs) for name in find_methods},
            args.repeat,
            False,
        )
        ratios = [
            f"{seconds['find'] / seconds[name]:5.2f}x / {seconds['find_ultra_fast'] / seconds[name]:5.2f}x"
            for name in ("find_parallel", "find_parallel_optimized")
        ]
        print(
            f"  {label:<18} "
            + " ".join(f"{seconds[name] * 1e3:>23.3f} ms" for name in find_methods)
            + " ".join(f"{ratio:>27}" for ratio in ratios)
        )
    print("\nratios: find_all (or find) time / parallel time, then find_all_ultra_fast (or")
    print("find_ultra_fast) time / parallel time; above 1 means the parallel search was faster.")


if __name__ == "__main__":
    main()
