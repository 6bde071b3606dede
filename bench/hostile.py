"""The hostile pages of the test table at full size: parse time, query time and peak memory of
velkaron beside lxml and selectolax on the same input, each library in a child process of its
own, plus where velkaron's bytes go (gumbo's tree against everything velkaron adds), from the
native memory probe.

    python bench/hostile.py [--native-memory build/native-bench/bench_memory] [--json OUT]

Times are the child's CPU time; peak memory is the growth of its resident high-water mark from
just before the parse. A library that takes longer than --timeout seconds is reported as such.
"""

from __future__ import annotations

import argparse
import json
import subprocess
import sys
import tempfile

CASES = {
    "deep-div-text": "'<div>' * 100_000 + 'x'",
    "alternating-b-i": "'<b><i>' * 50_000 + 'x'",
    "attributes-on-one-tag": "'<p ' + ' '.join(f'a{i}=x' for i in range(100_000)) + '>x'",
    "unclosed-div": "'<div>' * 100_000",
    "deep-links": "''.join(f'<div id=d{i}><a href=/l{i}>L{i}</a>' for i in range(100_000))",
    "million-paragraphs": "'<p>x' * 1_000_000",
    "class-keys": "''.join(f'<p class=c{i}>x</p>' for i in range(200_000))",
}

PARSERS = {
    "velkaron": ("import velkaron", "velkaron.Tree(html).get_root()"),
    "lxml": ("import lxml.html", "lxml.html.document_fromstring(html)"),
    "selectolax": ("from selectolax.lexbor import LexborHTMLParser", "LexborHTMLParser(html)"),
}

# What the test table asks of velkaron once the page is parsed.
QUERIES = {
    "deep-div-text": "root.get_all_text_by_tag('div')",
    "alternating-b-i": "root.get_all_text_by_tag('b')",
    "deep-links": "root.links()",
    "class-keys": "[root.count_elements_by_class(f'c{i}') for i in range(200_000)]",
}

CHILD = """
import json, resource, time
{imports}
html = {build}
def peak_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
open('/proc/self/clear_refs', 'w').write('5')
base = peak_kib()
started = time.process_time()
root = {parse}
parsed = time.process_time()
{query}
done = time.process_time()
print(json.dumps({{"parse_s": parsed - started, "query_s": done - parsed,
                   "peak_mib": (peak_kib() - base) / 1024, "mb": len(html.encode()) / 1e6}}))
"""


def run_child(library, case, timeout):
    imports, parse = PARSERS[library]
    query = QUERIES.get(case, "") if library == "velkaron" else ""
    code = CHILD.format(imports=imports, build=CASES[case], parse=parse, query=query)
    return run_python(code, timeout)


def run_python(code, timeout):
    """The JSON a child interpreter prints, or what stopped it (a timeout or its last error)."""
    try:
        done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        return {"timeout_s": timeout}
    if done.returncode != 0:
        return {"error": done.stderr.strip().splitlines()[-1] if done.stderr else "failed"}
    return json.loads(done.stdout)


def native_split(probe, case):
    """gumbo's bytes and velkaron's own, for the case's page."""
    html = eval(CASES[case])  # noqa: S307 - the expressions are this file's own constants
    with tempfile.NamedTemporaryFile("w", suffix=".html", encoding="utf-8") as page:
        page.write(html)
        page.flush()
        return json.loads(subprocess.run([probe, page.name], capture_output=True, text=True,
                                         check=True).stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--native-memory", help="the bench_memory program")
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("--json", help="write the figures to this file")
    args = parser.parse_args()
    figures = {}
    print(f"{'case':24} {'library':11} {'MB':>5} {'parse s':>8} {'query s':>8} {'peak MiB':>9}")
    for case in CASES:
        figures[case] = {}
        for library in PARSERS:
            result = figures[case][library] = run_child(library, case, args.timeout)
            if "parse_s" in result:
                print(f"{case:24} {library:11} {result['mb']:5.2f} {result['parse_s']:8.2f} "
                      f"{result['query_s']:8.2f} {result['peak_mib']:9.0f}")
            else:
                print(f"{case:24} {library:11} {result}")
        if args.native_memory:
            split = figures[case]["native"] = native_split(args.native_memory, case)
            tree = split["gumbo_arena_bytes"]
            print(f"{case:24} {'(bytes)':11} gumbo {split['gumbo_bytes'] / 2**20:.1f} MiB "
                  f"({tree / 2**20:.1f} in the arena), "
                  f"velkaron's own {split['ours_bytes'] / 2**20:.1f} MiB "
                  f"({split['ours_bytes'] / max(tree, 1):.2f} of gumbo's tree)")
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(figures, out, indent=1)


if __name__ == "__main__":
    main()
