"""velkaron against the HTML libraries users pick today, on the same inputs, in one process.

Every library runs the same tasks on the same `str` inputs. Each measurement is a median of
several repetitions after a warm-up, timed by default with the process's CPU clock, which time
spent waiting for a core on a busy machine does not inflate (--clock wall for elapsed time); within a repetition the libraries run one after another in
an order that rotates from one repetition to the next, so drift of the machine (frequency,
other load) hits all of them alike. Calls too short for the clock are batched, and the batch
time is divided by the batch size. Before every timed sample the cyclic garbage collector is
run (outside the timing), so no library pays for another's garbage; documents kept for the
query tasks are frozen out of the collector's view.

Peak memory is measured in a child process per library: the resident set before parsing is the
baseline; the high-water mark is reset (Linux /proc/self/clear_refs) just before the parse and
read right after it.

    python bench/compare.py                 # full run, writes bench/results/latest.json
    python bench/compare.py --quick         # a fast sanity run (no 10 MB input)
    python bench/compare.py page.html ...   # extra inputs on top of the generated ones

`make bench` builds the native parse benchmark first and passes it with --native, so the
table also shows what the parse-time indexes cost over gumbo's parse alone.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import datetime
import functools
import gc
import importlib
import importlib.metadata
import json
import os
import platform
import resource
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Callable

BENCH_DIR = Path(__file__).resolve().parent
ROOT = BENCH_DIR.parent
sys.path.insert(0, str(BENCH_DIR))

import generate  # noqa: E402

# Inputs larger than this are not given to html5lib: a single 10 MB parse takes it several
# seconds, which the repetitions of every parse task multiply past the time budget.
HTML5LIB_MAX_BYTES = 2_000_000

# What the query tasks look for in the generated pages (see generate.py).
LINK_TAG = "a"
CLASS_TOKEN = "card"
ATTRIBUTE = ("a", "target", "_blank")
COUNT_TAG = "div"


@dataclass(frozen=True)
class Task:
    key: str
    title: str
    # True when the timed call includes the parse (its input is the HTML text).
    parses: bool


TASKS = [
    # The page as UTF-8 bytes, as it comes from a file or the network (encoded once, untimed).
    # First, so no kept document is alive while it is timed, as for "parse".
    Task("parse_bytes", "parse UTF-8 bytes", True),
    Task("parse", "parse", True),
    Task("parse_links", "parse + link hrefs", True),
    Task("find_all_tag", f"find_all('{LINK_TAG}') from root", False),
    Task("find_class", f"find by class '{CLASS_TOKEN}'", False),
    Task("find_attr", f"find {ATTRIBUTE[0]}[{ATTRIBUTE[1]}={ATTRIBUTE[2]}]", False),
    Task("text", "whole-document text", False),
    Task("count_tag", f"count '{COUNT_TAG}'", False),
    Task("serialize", "whole document as HTML", False),
]
TASK_BY_KEY = {task.key: task for task in TASKS}


@dataclass
class Library:
    key: str
    name: str
    # The distribution whose version is reported.
    distribution: str
    # Imports the library and returns the task implementations; raises ImportError when it is
    # not usable. "parse" takes the HTML text and returns a document; "parse_links" takes the
    # text and returns (document, size); the others take a document and return a size (the
    # length of the answer), so results of different libraries can be cross-checked.
    load: Callable[[], dict[str, Callable]]
    # Code shown in the report for each task.
    how: dict[str, str]
    max_bytes: int | None = None
    max_bytes_reason: str = ""
    impl: dict[str, Callable] = field(default_factory=dict)
    version: str = ""
    skipped: str = ""


@functools.lru_cache(maxsize=2)
def utf8(html: str) -> bytes:
    return html.encode()


def load_velkaron() -> dict[str, Callable]:
    import velkaron

    def links(tree):
        return tree.get_root().get_all_hrefs()

    return {
        "parse": velkaron.Tree,
        "parse_bytes": lambda html: velkaron.parse(utf8(html)),
        "serialize": lambda tree: len(tree.html),
        "parse_links": lambda html: _with_size(velkaron.Tree(html), links),
        "find_all_tag": lambda tree: len(tree.get_root().find_all(LINK_TAG)),
        "find_class": lambda tree: len(tree.get_root().find_all(attrs={"class": CLASS_TOKEN})),
        "find_attr": lambda tree: len(
            tree.get_root().find_all(ATTRIBUTE[0], {ATTRIBUTE[1]: ATTRIBUTE[2]})),
        "text": lambda tree: len(tree.get_root().get_text()),
        "count_tag": lambda tree: tree.get_root().count_elements_by_tag(COUNT_TAG),
    }


def load_lxml() -> dict[str, Callable]:
    import lxml.html

    def links(doc):
        return [href for a in doc.iter(LINK_TAG) if (href := a.get("href")) is not None]

    xpath_attr = f'//{ATTRIBUTE[0]}[@{ATTRIBUTE[1]}="{ATTRIBUTE[2]}"]'
    return {
        "parse": lxml.html.document_fromstring,
        "parse_bytes": lambda html: lxml.html.document_fromstring(utf8(html)),
        "serialize": lambda doc: len(lxml.html.tostring(doc, encoding="unicode")),
        "parse_links": lambda html: _with_size(lxml.html.document_fromstring(html), links),
        "find_all_tag": lambda doc: len(list(doc.iter(LINK_TAG))),
        "find_class": lambda doc: len(doc.find_class(CLASS_TOKEN)),
        "find_attr": lambda doc: len(doc.xpath(xpath_attr)),
        "text": lambda doc: len(doc.text_content()),
        "count_tag": lambda doc: int(doc.xpath(f"count(//{COUNT_TAG})")),
    }


def _selectolax(module: str, class_name: str) -> Callable[[], dict[str, Callable]]:
    def load() -> dict[str, Callable]:
        parser = getattr(importlib.import_module(module), class_name)

        def links(tree):
            return [node.attrs.get("href") for node in tree.css(f"{LINK_TAG}[href]")]

        selector_attr = f'{ATTRIBUTE[0]}[{ATTRIBUTE[1]}="{ATTRIBUTE[2]}"]'
        return {
            "parse": parser,
            "parse_bytes": lambda html: parser(utf8(html)),
            "serialize": lambda tree: len(tree.html),
            "parse_links": lambda html: _with_size(parser(html), links),
            "find_all_tag": lambda tree: len(tree.css(LINK_TAG)),
            "find_class": lambda tree: len(tree.css(f".{CLASS_TOKEN}")),
            "find_attr": lambda tree: len(tree.css(selector_attr)),
            "text": lambda tree: len(tree.root.text()),
            "count_tag": lambda tree: len(tree.css(COUNT_TAG)),
        }

    return load


def _bs4(builder: str) -> Callable[[], dict[str, Callable]]:
    def load() -> dict[str, Callable]:
        from bs4 import BeautifulSoup

        if builder == "lxml":
            import lxml  # noqa: F401  (BeautifulSoup would fall back silently)

        def parse(html):
            return BeautifulSoup(html, builder)

        def links(soup):
            return [a["href"] for a in soup.find_all(LINK_TAG, href=True)]

        return {
            "parse": parse,
            "parse_bytes": lambda html: parse(utf8(html)),
            "serialize": lambda soup: len(str(soup)),
            "parse_links": lambda html: _with_size(parse(html), links),
            "find_all_tag": lambda soup: len(soup.find_all(LINK_TAG)),
            "find_class": lambda soup: len(soup.find_all(class_=CLASS_TOKEN)),
            "find_attr": lambda soup: len(
                soup.find_all(ATTRIBUTE[0], attrs={ATTRIBUTE[1]: ATTRIBUTE[2]})),
            "text": lambda soup: len(soup.get_text()),
            "count_tag": lambda soup: len(soup.find_all(COUNT_TAG)),
        }

    return load


def load_html5lib() -> dict[str, Callable]:
    import html5lib

    def parse(html):
        return html5lib.parse(html, namespaceHTMLElements=False)

    def links(root):
        return [href for a in root.iter(LINK_TAG) if (href := a.get("href")) is not None]

    def by_class(root):
        return [e for e in root.iter() if CLASS_TOKEN in (e.get("class") or "").split()]

    return {
        "parse": parse,
        "parse_bytes": lambda html: parse(utf8(html)),
        "serialize": lambda root: len(html5lib.serialize(root, tree="etree")),
        "parse_links": lambda html: _with_size(parse(html), links),
        "find_all_tag": lambda root: len(list(root.iter(LINK_TAG))),
        "find_class": lambda root: len(by_class(root)),
        "find_attr": lambda root: len(
            [e for e in root.iter(ATTRIBUTE[0]) if e.get(ATTRIBUTE[1]) == ATTRIBUTE[2]]),
        "text": lambda root: len("".join(root.itertext())),
        "count_tag": lambda root: sum(1 for _ in root.iter(COUNT_TAG)),
    }


def _with_size(document: Any, extract: Callable[[Any], Any]) -> tuple[Any, int]:
    return document, len(extract(document))


# Both selectolax parsers answer the same CSS queries.
SELECTOLAX_QUERIES = {
    "parse_links": f"[n.attrs.get('href') for n in tree.css('{LINK_TAG}[href]')]",
    "find_all_tag": f"tree.css('{LINK_TAG}')",
    "find_class": f"tree.css('.{CLASS_TOKEN}')",
    "find_attr": f"tree.css('{ATTRIBUTE[0]}[{ATTRIBUTE[1]}=\"{ATTRIBUTE[2]}\"]')",
    "text": "tree.root.text()",
    "count_tag": f"len(tree.css('{COUNT_TAG}'))",
    "serialize": "tree.html",
}


def _modest_missing() -> dict[str, Callable]:
    # selectolax 1.0 removed its Modest backend; importing it raises ImportError.
    return _selectolax("selectolax.parser", "HTMLParser")()



def _bs4_queries(parser: str) -> dict[str, str]:
    """What each case runs in BeautifulSoup, the same whichever parser builds the soup."""
    return {
        "parse": f"BeautifulSoup(html, '{parser}')",
        "parse_links": f"[a['href'] for a in soup.find_all('{LINK_TAG}', href=True)]",
        "find_all_tag": f"soup.find_all('{LINK_TAG}')",
        "find_class": f"soup.find_all(class_='{CLASS_TOKEN}')",
        "find_attr": f"soup.find_all('{ATTRIBUTE[0]}', attrs={{'{ATTRIBUTE[1]}': '{ATTRIBUTE[2]}'}})",
        "text": "soup.get_text()",
        "count_tag": f"len(soup.find_all('{COUNT_TAG}'))",
        "parse_bytes": "BeautifulSoup(data, ...)",
        "serialize": "str(soup)",
    }

LIBRARIES = [
    Library(
        "velkaron", "velkaron", "velkaron", load_velkaron,
        {
            "parse": "Tree(html)",
            "parse_bytes": "velkaron.parse(data)",
            "serialize": "tree.html",
            "parse_links": "Tree(html).get_root().get_all_hrefs()",
            "find_all_tag": f"root.find_all('{LINK_TAG}')",
            "find_class": f"root.find_all(attrs={{'class': '{CLASS_TOKEN}'}})",
            "find_attr": f"root.find_all('{ATTRIBUTE[0]}', {{'{ATTRIBUTE[1]}': '{ATTRIBUTE[2]}'}})",
            "text": "root.get_text()",
            "count_tag": f"root.count_elements_by_tag('{COUNT_TAG}')",
        },
    ),
    Library(
        "lxml", "lxml.html", "lxml", load_lxml,
        {
            "parse": "lxml.html.document_fromstring(html)",
            "parse_bytes": "lxml.html.document_fromstring(data)",
            "serialize": "lxml.html.tostring(doc, encoding='unicode')",
            "parse_links": f"[a.get('href') for a in doc.iter('{LINK_TAG}')] (present ones)",
            "find_all_tag": f"list(doc.iter('{LINK_TAG}'))",
            "find_class": f"doc.find_class('{CLASS_TOKEN}')",
            "find_attr": f"doc.xpath('//{ATTRIBUTE[0]}[@{ATTRIBUTE[1]}=\"{ATTRIBUTE[2]}\"]')",
            "text": "doc.text_content()",
            "count_tag": f"doc.xpath('count(//{COUNT_TAG})')",
        },
    ),
    Library(
        "selectolax_lexbor", "selectolax (lexbor)", "selectolax",
        _selectolax("selectolax.lexbor", "LexborHTMLParser"),
        {"parse": "LexborHTMLParser(html)", "parse_bytes": "LexborHTMLParser(data)",
         **SELECTOLAX_QUERIES},
    ),
    Library(
        "selectolax_modest", "selectolax (modest)", "selectolax", _modest_missing,
        {"parse": "HTMLParser(html)", "parse_bytes": "HTMLParser(data)", **SELECTOLAX_QUERIES},
    ),
    Library(
        "bs4_lxml", "bs4 + lxml", "beautifulsoup4", _bs4("lxml"),
        _bs4_queries("lxml"),
    ),
    Library(
        "bs4_html_parser", "bs4 + html.parser", "beautifulsoup4", _bs4("html.parser"),
        _bs4_queries("html.parser"),
    ),
    Library(
        "html5lib", "html5lib", "html5lib", load_html5lib,
        {
            "parse": "html5lib.parse(html, namespaceHTMLElements=False)",
            "parse_links": f"[a.get('href') for a in root.iter('{LINK_TAG}')] (present ones)",
            "find_all_tag": f"list(root.iter('{LINK_TAG}'))",
            "find_class": f"[e for e in root.iter() if '{CLASS_TOKEN}' in e.get('class', '').split()]",
            "find_attr": f"[e for e in root.iter('{ATTRIBUTE[0]}') if e.get('{ATTRIBUTE[1]}') == '{ATTRIBUTE[2]}']",
            "text": "''.join(root.itertext())",
            "count_tag": f"sum(1 for _ in root.iter('{COUNT_TAG}'))",
            "parse_bytes": "html5lib.parse(data, ...)",
            "serialize": "html5lib.serialize(root, tree='etree')",
        },
        max_bytes=HTML5LIB_MAX_BYTES,
        max_bytes_reason="too slow for the time budget above 2 MB (about 8 s per 10 MB parse)",
    ),
]
LIBRARY_BY_KEY = {library.key: library for library in LIBRARIES}
BASELINE = "velkaron"


def load_libraries(wanted: set[str] | None) -> list[Library]:
    for library in LIBRARIES:
        if wanted is not None and library.key not in wanted:
            library.skipped = "not selected"
            continue
        try:
            library.impl = library.load()
            library.version = importlib.metadata.version(library.distribution)
        except ImportError as error:
            first_sentence = str(error).splitlines()[0].split(". ")[0]
            library.skipped = f"not usable: {first_sentence}"
    return [library for library in LIBRARIES if not library.skipped]


# -- timing ------------------------------------------------------------------------------------


@dataclass
class Settings:
    # Total time aimed at for the repetitions of one (input, task, library).
    budget_s: float
    min_reps: int
    max_reps: int
    # A batched sample lasts at least this long.
    min_sample_s: float


FULL = Settings(budget_s=1.5, min_reps=3, max_reps=25, min_sample_s=0.002)
QUICK = Settings(budget_s=0.3, min_reps=3, max_reps=7, min_sample_s=0.001)
# A single call this long needs no warm-up of its own: first-call effects are lost in it.
LONG_CALL_S = 1.0


@dataclass
class Measure:
    samples: list[float] = field(default_factory=list)
    batch: int = 1
    size: int | None = None
    reps: int = 0

    @property
    def median(self) -> float:
        return statistics.median(self.samples)


CLOCKS = {"cpu": time.process_time, "wall": time.perf_counter}
clock = CLOCKS["cpu"]


def timed_batch(call: Callable[[], Any], batch: int, keep: list) -> tuple[float, Any]:
    """Runs `call` `batch` times; results are kept in `keep` so freeing them is not timed."""
    gc.collect()
    start = clock()
    for i in range(batch):
        keep[i] = call()
    elapsed = clock() - start
    return elapsed / batch, keep[-1]


def run_task(task: Task, libraries: list[Library], html: str, documents: dict[str, Any],
             settings: Settings, log: Callable[[str], None]) -> dict[str, Measure]:
    """Times one task for every library, interleaved; parse tasks refresh `documents`."""

    def make_call(library: Library) -> Callable[[], Any]:
        impl = library.impl[task.key]
        if task.parses:
            return lambda: impl(html)
        document = documents[library.key]
        return lambda: impl(document)

    calls = {library.key: make_call(library) for library in libraries}
    measures = {library.key: Measure() for library in libraries}

    def sample(library: Library) -> float:
        measure = measures[library.key]
        if task.key == "parse":
            # Free the previous document first (outside the timing), so at most one per
            # library is alive and the collector before the sample does not walk two.
            documents.pop(library.key, None)
        keep: list[Any] = [None] * measure.batch
        per_call, last = timed_batch(calls[library.key], measure.batch, keep)
        if task.key == "parse":
            documents[library.key] = last
            size = None
        elif task.key == "parse_bytes":
            size = None
        elif task.key == "parse_links":
            size = last[1]
        else:
            size = last
        del keep, last
        if size is not None:
            measure.size = size
        return per_call

    # Warm-up, which also sizes the batches and the repetition counts.
    for library in libraries:
        measure = measures[library.key]
        first = sample(library)
        if first < settings.min_sample_s:
            measure.batch = max(1, int(settings.min_sample_s / max(first, 1e-9)) + 1)
        per_sample = max(first * measure.batch, 1e-9)
        measure.reps = int(min(settings.max_reps, max(settings.min_reps, settings.budget_s / per_sample)))
        if first >= LONG_CALL_S:
            measure.samples.append(first)

    rounds = max(measure.reps for measure in measures.values())
    for round_index in range(rounds):
        shift = round_index % len(libraries)
        for library in libraries[shift:] + libraries[:shift]:
            measure = measures[library.key]
            if len(measure.samples) < measure.reps:
                measure.samples.append(sample(library))
    summary = "  ".join(f"{key} {format_seconds(m.median)}" for key, m in measures.items())
    log(f"    {task.key:<13} {summary}")
    return measures


# -- memory ------------------------------------------------------------------------------------


def _status_kib(field_name: str) -> int:
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field_name + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"{field_name} not in /proc/self/status")


def memory_child(key: str, path: str) -> None:
    """Child-process side: parse one document and report its memory as JSON on stdout."""
    library = LIBRARY_BY_KEY[key]
    library.impl = library.load()
    html = Path(path).read_text(encoding="utf-8")
    gc.collect()
    baseline = _status_kib("VmRSS")
    try:
        with open("/proc/self/clear_refs", "w") as clear_refs:
            clear_refs.write("5")  # resets VmHWM to the current resident set
        method = "VmHWM reset before parse"
        peak_before = None
    except OSError:
        method = "ru_maxrss"
        peak_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    document = library.impl["parse"](html)
    if peak_before is None:
        peak = _status_kib("VmHWM")
    else:
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    retained = _status_kib("VmRSS")
    print(json.dumps({"peak_kib": peak - baseline, "retained_kib": retained - baseline,
                      "method": method}))
    del document


def measure_memory(libraries: list[Library], path: Path, jobs: int) -> dict[str, dict]:
    def one(library: Library) -> tuple[str, dict]:
        command = [sys.executable, str(Path(__file__).resolve()), "--memory-child",
                   library.key, str(path)]
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            return library.key, {"error": done.stderr.strip().splitlines()[-1:]}
        return library.key, json.loads(done.stdout.strip().splitlines()[-1])

    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        return dict(pool.map(one, libraries))


# -- native ------------------------------------------------------------------------------------


def run_native(program: Path, path: Path, min_seconds: float, clock_name: str) -> dict | None:
    done = subprocess.run([str(program), str(path), "--json", "--min-seconds", str(min_seconds),
                           "--clock", clock_name], capture_output=True, text=True)
    if done.returncode != 0:
        print(f"  native benchmark failed: {done.stderr.strip()}", file=sys.stderr)
        return None
    return json.loads(done.stdout)


# -- reporting ---------------------------------------------------------------------------------


def format_seconds(seconds: float | None) -> str:
    if seconds is None:
        return "-"
    if seconds >= 1:
        return f"{seconds:.2f} s"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.3g} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:.3g} µs"
    return f"{seconds * 1e9:.3g} ns"


def format_kib(kib: float | None) -> str:
    if kib is None:
        return "-"
    return f"{kib / 1024:.1f} MiB"


def machine_info() -> dict:
    cpu = platform.processor() or platform.machine()
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    memory_gib = None
    try:
        for line in Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemTotal:"):
                memory_gib = round(int(line.split()[1]) / 1024 / 1024, 1)
    except OSError:
        pass
    try:
        gumbo = subprocess.run(["pkg-config", "--modversion", "gumbo"], capture_output=True,
                               text=True).stdout.strip() or None
    except OSError:
        gumbo = None
    return {
        "cpu": cpu,
        "cores": os.cpu_count(),
        "memory_gib": memory_gib,
        "os": f"{platform.system()} {platform.release()}",
        "python": platform.python_version(),
        "python_implementation": platform.python_implementation(),
        "gumbo": gumbo,
        "date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
        # Other work on the machine shows up here; the interleaving keeps ratios fair, but
        # absolute times from a loaded machine are pessimistic.
        "load_average_1_5_15": [round(value, 2) for value in os.getloadavg()],
    }


def ratio(peer: float | None, base: float | None) -> float | None:
    if peer is None or not base:
        return None
    return peer / base


def print_table(entry: dict, libraries: list[Library]) -> None:
    print(f"\n== {entry['name']}: {entry['bytes']:,} bytes, "
          f"{entry.get('elements') or '?'} elements ==")
    keys = [library.key for library in libraries if library.key in entry["libraries"]]
    width = 20
    header = f"{'task':<26}" + "".join(f"{LIBRARY_BY_KEY[k].name:>{width}}" for k in keys)
    print(header)
    print("-" * len(header))
    for task in TASKS:
        row = entry["results"].get(task.key)
        if not row:
            continue
        cells = []
        for key in keys:
            result = row.get(key)
            if result is None:
                cells.append(f"{'-':>{width}}")
                continue
            text = format_seconds(result["median_s"])
            if key != BASELINE and result.get("ratio") is not None:
                text += f" {result['ratio']:>6.2f}x"
            cells.append(f"{text:>{width}}")
        print(f"{task.title[:25]:<26}" + "".join(cells))
    if entry.get("memory"):
        cells = []
        for key in keys:
            memory = entry["memory"].get(key, {})
            text = format_kib(memory.get("peak_kib"))
            if key != BASELINE and memory.get("ratio") is not None:
                text += f" {memory['ratio']:>6.2f}x"
            cells.append(f"{text:>{width}}")
        print(f"{'peak memory (parse)':<26}" + "".join(cells))
        cells = [f"{format_kib(entry['memory'].get(key, {}).get('retained_kib')):>{width}}"
                 for key in keys]
        print(f"{'retained memory':<26}" + "".join(cells))
    native = entry.get("native")
    if native:
        print(f"native: gumbo parse alone {format_seconds(native['parse_s'])}, "
              f"Tree {format_seconds(native['tree_s'])} "
              f"(indexes and root handle {format_seconds(native['beyond_parse_s'])}): "
              f"Tree/parse = {native['ratio']:.3f} (target <= 1.25)")
        if "cycle_ratio" in native:
            print(f"native: (Tree + free) / (gumbo parse + free) = {native['cycle_ratio']:.3f} "
                  f"(target <= 1.05); bytes per element: indexes and text "
                  f"{native['index_bytes_per_element']:.0f}, parser output "
                  f"{native['parser_bytes_per_element']:.0f}")
    for key, reason in entry.get("skipped", {}).items():
        print(f"skipped {LIBRARY_BY_KEY[key].name}: {reason}")
    for note in entry.get("mismatches", []):
        print(f"note: {note}")
    print("ratio = peer time / velkaron time (above 1: velkaron is faster); "
          "memory ratio = peer / velkaron")


def check_sizes(entry: dict) -> list[str]:
    """Notes where libraries disagree on an answer's size (their parsers differ)."""
    notes = []
    for task_key, row in entry["results"].items():
        sizes = {key: result["size"] for key, result in row.items() if result["size"] is not None}
        if len(set(sizes.values())) > 1:
            listed = ", ".join(f"{LIBRARY_BY_KEY[k].name} {v}" for k, v in sizes.items())
            notes.append(f"{task_key}: answers differ in size: {listed}")
    return notes


def evaluate_targets(inputs: list[dict]) -> list[dict]:
    targets = []

    def add(name: str, entry: dict, value: float | None, goal: str, met: bool | None) -> None:
        targets.append({"target": name, "input": entry["name"], "value": value, "goal": goal,
                        "met": met})

    for entry in inputs:
        results = entry["results"]

        def peer_ratio(task: str, peer: str) -> float | None:
            return results.get(task, {}).get(peer, {}).get("ratio")

        # Both rows are velkaron's own, timed in the same rounds.
        parse_s = results.get("parse", {}).get(BASELINE, {}).get("median_s")
        bytes_s = results.get("parse_bytes", {}).get(BASELINE, {}).get("median_s")
        if parse_s and bytes_s:
            add("parse(UTF-8 bytes) / Tree(str)", entry, bytes_s / parse_s, "<= 1.05",
                bytes_s / parse_s <= 1.05)
        native = entry.get("native")
        if native:
            add("Tree(html) / gumbo parse alone", entry, native["ratio"], "<= 1.25",
                native["ratio"] <= 1.25)
            if "cycle_ratio" in native:
                add("(Tree + free) / (gumbo parse + free)", entry, native["cycle_ratio"],
                    "<= 1.05", native["cycle_ratio"] <= 1.05)
        checks = [
            ("Tree(html): bs4+lxml time / velkaron time", "parse", "bs4_lxml", ">= 8", 8.0),
            ("Tree(html): lxml.html time / velkaron time", "parse", "lxml", ">= 1", 1.0),
            ("find_all tag: lxml list(iter) / velkaron", "find_all_tag", "lxml", ">= 5", 5.0),
            ("find_all tag: selectolax css / velkaron", "find_all_tag", "selectolax_lexbor",
             "> 1", 1.0),
            ("find tag+attribute: selectolax css / velkaron", "find_attr", "selectolax_lexbor",
             ">= 1", 1.0),
            ("get_text: lxml text_content / velkaron", "text", "lxml", ">= 1", 1.0),
            ("HTML out: lxml.html.tostring / velkaron", "serialize", "lxml", ">= 1", 1.0),
        ]
        for name, task, peer, goal, threshold in checks:
            value = peer_ratio(task, peer)
            if value is None:
                continue
            met = value > threshold if goal.startswith("> ") else value >= threshold
            add(name, entry, value, goal, met)
        for key, memory in entry.get("memory", {}).items():
            if key != BASELINE and memory.get("ratio") is not None:
                add(f"peak memory: {LIBRARY_BY_KEY[key].name} / velkaron", entry,
                    memory["ratio"], "reported", None)
    return targets


def print_targets(targets: list[dict]) -> None:
    print("\n== targets ==")
    for target in targets:
        verdict = {True: "met", False: "NOT met", None: ""}[target["met"]]
        value = "-" if target["value"] is None else f"{target['value']:.3f}"
        print(f"{target['input']:<18} {target['target']:<46} {value:>8}  "
              f"(goal {target['goal']}) {verdict}")


# -- main --------------------------------------------------------------------------------------


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="*", type=Path, help="extra HTML files to benchmark")
    parser.add_argument("--quick", action="store_true",
                        help="fewer repetitions and no 10 MB input: a fast sanity run")
    parser.add_argument("--output", type=Path,
                        help="JSON results (default bench/results/latest.json; "
                             "build/bench-results/quick.json with --quick)")
    parser.add_argument("--native", type=Path, help="the bench_parse program (native/bench_parse.cpp)")
    parser.add_argument("--inputs", type=Path, default=ROOT / "build" / "bench-inputs",
                        help="where the generated pages are written")
    parser.add_argument("--only", help="comma-separated library keys: "
                        + ", ".join(LIBRARY_BY_KEY))
    parser.add_argument("--no-memory", action="store_true", help="skip the memory children")
    parser.add_argument("--clock", choices=sorted(CLOCKS), default="cpu",
                        help="cpu: process CPU time (default, robust on a shared machine); "
                             "wall: elapsed time")
    parser.add_argument("--memory-child", nargs=2, metavar=("LIBRARY", "FILE"),
                        help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.memory_child:
        memory_child(*args.memory_child)
        return

    global clock
    clock = CLOCKS[args.clock]
    started = time.perf_counter()
    load_at_start = [round(value, 2) for value in os.getloadavg()]
    settings = QUICK if args.quick else FULL
    output = args.output or (ROOT / "build" / "bench-results" / "quick.json" if args.quick
                             else BENCH_DIR / "results" / "latest.json")
    wanted = None
    if args.only:
        wanted = set(args.only.split(",")) | {BASELINE}
        unknown = wanted - set(LIBRARY_BY_KEY)
        if unknown:
            parser.error(f"unknown libraries: {', '.join(sorted(unknown))}")
    libraries = load_libraries(wanted)
    if BASELINE not in {library.key for library in libraries}:
        sys.exit(f"velkaron itself is not usable: {LIBRARY_BY_KEY[BASELINE].skipped}")
    for library in LIBRARIES:
        if library.skipped and library.skipped != "not selected":
            print(f"skipped {library.name}: {library.skipped}")

    labels = ["10KB", "1MB"] if args.quick else list(generate.SIZES)
    paths = [(label, path) for label, path in zip(labels, generate.write_inputs(args.inputs, labels))]
    paths += [(None, path) for path in args.files]
    native_program = args.native if args.native and args.native.exists() else None
    if args.native and native_program is None:
        print(f"native benchmark {args.native} not found: Tree/parse ratio skipped")

    def log(message: str) -> None:
        print(message, flush=True)

    inputs = []
    for label, path in paths:
        html = path.read_text(encoding="utf-8")
        size = len(html.encode("utf-8"))
        entry: dict[str, Any] = {"name": path.name, "label": label or path.name, "bytes": size,
                                 "generated": label is not None, "results": {}, "skipped": {}}
        log(f"{path.name} ({size:,} bytes)")
        if native_program:
            native = run_native(native_program, path, 0.8 if args.quick else 2.5, args.clock)
            if native:
                native["file"] = path.name
                entry["native"] = native
                entry["elements"] = native["elements"]
                log(f"    native        parse {format_seconds(native['parse_s'])}  "
                    f"Tree {format_seconds(native['tree_s'])}  ratio {native['ratio']:.2f}")
        active = []
        for library in libraries:
            if library.max_bytes is not None and size > library.max_bytes:
                entry["skipped"][library.key] = library.max_bytes_reason
            else:
                active.append(library)
        entry["libraries"] = [library.key for library in active]
        if "elements" not in entry:
            entry["elements"] = LIBRARY_BY_KEY[BASELINE].impl["parse"](html).get_indexed_element_count()

        documents: dict[str, Any] = {}
        for task in TASKS:
            measures = run_task(task, active, html, documents, settings, log)
            if task.key == "parse":
                # The documents kept for the query tasks live until the end of this input:
                # keep the collector off them, so it does not walk them before every sample.
                gc.collect()
                gc.freeze()
            base = measures[BASELINE].median
            entry["results"][task.key] = {
                key: {"median_s": m.median, "samples": len(m.samples), "batch": m.batch,
                      "size": m.size,
                      "ratio": None if key == BASELINE else ratio(m.median, base)}
                for key, m in measures.items()
            }
        documents.clear()
        gc.unfreeze()
        gc.collect()
        entry["mismatches"] = check_sizes(entry)

        if not args.no_memory and size >= 500_000:
            memory = measure_memory(active, path, jobs=2)
            base = memory.get(BASELINE, {}).get("peak_kib")
            for key, result in memory.items():
                if key != BASELINE and "peak_kib" in result:
                    result["ratio"] = ratio(result["peak_kib"], base)
            entry["memory"] = memory
            log("    memory        " + "  ".join(
                f"{key} {format_kib(result.get('peak_kib'))}" for key, result in memory.items()))
        inputs.append(entry)

    for entry in inputs:
        print_table(entry, libraries)
    targets = evaluate_targets(inputs)
    print_targets(targets)

    notes = [
        "Inputs are Python str objects; every library parses the same text.",
        f"Times are medians of the {'process CPU' if args.clock == 'cpu' else 'elapsed'} time "
        "per call.",
        "Parse tasks time construction only; documents are freed outside the timing.",
        "Query tasks include building and freeing the answer (lists of node objects, strings).",
        "selectolax css() answers come from lexbor's selector engine; "
        "velkaron's find_all from the root is answered from its parse-time index.",
    ]
    notes += [f"{library.name}: {library.skipped}" for library in LIBRARIES
              if library.skipped and library.skipped != "not selected"]
    if any(entry["skipped"] for entry in inputs):
        notes.append(f"html5lib: not run on inputs above {HTML5LIB_MAX_BYTES:,} bytes "
                     "(too slow for the time budget).")
    report = {
        "schema": 1,
        "machine": {**machine_info(), "load_average_at_start": load_at_start},
        "settings": {"quick": args.quick, "clock": args.clock, "budget_s": settings.budget_s,
                     "min_reps": settings.min_reps, "max_reps": settings.max_reps,
                     "min_sample_s": settings.min_sample_s, "seed": generate.DEFAULT_SEED,
                     "generator_version": generate.GENERATOR_VERSION},
        "libraries": [
            {"key": library.key, "name": library.name, "version": library.version or None,
             "skipped": library.skipped or None, "how": library.how}
            for library in LIBRARIES if library.skipped != "not selected"
        ],
        "tasks": [{"key": task.key, "title": task.title} for task in TASKS],
        "inputs": inputs,
        "targets": targets,
        "notes": notes,
        "elapsed_s": round(time.perf_counter() - started, 1),
    }
    output.parent.mkdir(parents=True, exist_ok=True)
    output.write_text(json.dumps(report, indent=1, ensure_ascii=False) + "\n")
    print(f"\nwrote {output.relative_to(ROOT) if output.is_relative_to(ROOT) else output} "
          f"in {report['elapsed_s']} s")


if __name__ == "__main__":
    main()
