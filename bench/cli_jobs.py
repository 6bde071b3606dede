"""The command line's --jobs: native threads (parse_many) against worker processes.

Runs `velkaron <command> --jobs N` over a folder of real pages (python3-doc and nodejs-doc, as
bench/scrape.py picks them) as a user would, a fresh interpreter per run, and prints the wall
time of one job, of N jobs on native threads (a batch of pages parsed at once with
parse_many, answered in turn) and of N worker processes; the command line takes threads for
the commands whose answers are native (velkaron.cli.THREADED_COMMANDS). Best of --repeat runs; the
machine's load is printed beside them.

    .venv/bin/python -P bench/cli_jobs.py [--pages N] [--jobs N] [--repeat N] [--json FILE]
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from scrape import page_paths  # noqa: E402

COMMANDS = ("links", "text", "count")
# The command line with every command's --jobs on native threads, or on worker processes.
THREADS = ("import sys, velkaron.cli as cli; cli.THREADED_COMMANDS = frozenset(sys.argv[1:2]); "
           "sys.exit(cli.main(sys.argv[1:]))")
PROCESSES = ("import sys, velkaron.cli as cli; cli.THREADED_COMMANDS = frozenset(); "
             "sys.exit(cli.main(sys.argv[1:]))")


def run(program: str, arguments: list[str]) -> float:
    started = time.perf_counter()
    subprocess.run([sys.executable, "-c", program, *arguments], check=True,
                   stdout=subprocess.DEVNULL)
    return time.perf_counter() - started


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, default=400)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--json", type=Path)
    args = parser.parse_args()
    pages = page_paths(args.pages)
    megabytes = sum(os.path.getsize(page) for page in pages) / 1e6
    print(f"cli --jobs: {len(pages)} pages, {megabytes:.1f} MB, load {os.getloadavg()[0]:.2f}, "
          f"{os.cpu_count()} cores; seconds, best of {args.repeat}")
    print(f"{'command':8} {'1 job':>8} {'threads':>8} {'processes':>10} {'threads/processes':>18}")
    results = {}
    for command in COMMANDS:
        extra = ["a"] if command == "count" else []
        timings = {"one": [], "threads": [], "processes": []}
        for _ in range(args.repeat):
            timings["one"].append(run(THREADS, [command, *extra, "--jobs", "1", *pages]))
            jobs = [command, *extra, "--jobs", str(args.jobs), *pages]
            timings["threads"].append(run(THREADS, jobs))
            timings["processes"].append(run(PROCESSES, jobs))
        best = {key: min(values) for key, values in timings.items()}
        results[command] = best
        print(f"{command:8} {best['one']:8.2f} {best['threads']:8.2f} {best['processes']:10.2f} "
              f"{best['processes'] / best['threads']:17.2f}x")
    if args.json:
        args.json.write_text(json.dumps({"pages": len(pages), "mb": megabytes, "jobs": args.jobs,
                                         "load": os.getloadavg()[0], "seconds": results}, indent=1))


if __name__ == "__main__":
    main()
