"""The hostile selectors of the test table (tests/test_select_hostile.py) at full size: the CPU
time of one query on an already parsed page, velkaron beside selectolax (lexbor), each query in a
child process of its own so that a peer that goes quadratic is cut off at --timeout. Ratios are
selectolax time / velkaron time: above 1 means velkaron is faster.

    python bench/hostile_selectors.py [--timeout 20] [--json OUT]
"""

from __future__ import annotations

import argparse
import json

from hostile import run_python

PAGES = {
    "deep (20,000 div)": "'<div>' * 20_000 + '<p>x'",
    "wide (50,000 li)": "'<li>x</li>' * 50_000 + '<b>x</b>'",
}

SELECTORS = {
    "deep (20,000 div)": [":has(:has(:has(p)))", "div:not(:has(:has(p)))",
                          ":is(div:has(> div > div div p))", "div div div div div p",
                          ":not(div) > div div"],
    "wide (50,000 li)": ["li:has(~ b)", "li:has(+ li + li + b)", "li:not(:has(~ li ~ li))",
                         ":is(li:has(~ li + b))", "i ~ li ~ li", "li:is(:not(i) ~ i) ~ li"],
}

LIBRARIES = {
    "velkaron": ("import velkaron", "velkaron.Tree(html, max_depth=None)", "doc.select(css)"),
    "selectolax": ("from selectolax.lexbor import LexborHTMLParser", "LexborHTMLParser(html)",
                   "doc.css(css)"),
}

CHILD = """
import json, time
{imports}
html = {build}
doc = {parse}
css = {css!r}
started = time.process_time()
count = len({query})
print(json.dumps({{"seconds": time.process_time() - started, "count": count}}))
"""


def run_child(library: str, page: str, css: str, timeout: float) -> dict:
    imports, parse, query = LIBRARIES[library]
    code = CHILD.format(imports=imports, build=PAGES[page], parse=parse, css=css, query=query)
    return run_python(code, timeout)


def show(result: dict) -> str:
    if "seconds" in result:
        return f"{result['seconds'] * 1e3:.1f} ms"
    return f"> {result['timeout_s']:.0f} s" if "timeout_s" in result else "error"


def ratio(peer: dict, base: dict) -> str:
    if "seconds" not in base:
        return "n/a"
    peer_seconds = peer.get("seconds", peer.get("timeout_s"))
    if peer_seconds is None:
        return "n/a"
    times = peer_seconds / max(base['seconds'], 1e-6)
    shown = f"{times:.1f}×" if times < 10 else f"{times:.0f}×"
    return shown if "seconds" in peer else "> " + shown


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--timeout", type=float, default=20)
    parser.add_argument("--json", help="write the figures to this file")
    args = parser.parse_args()
    rows = []
    print(f"{'page':18} {'selector':34} {'velkaron':>10} {'selectolax':>11} {'ratio':>8}  matches")
    for page, selectors in SELECTORS.items():
        for css in selectors:
            ours = run_child("velkaron", page, css, args.timeout)
            peer = run_child("selectolax", page, css, args.timeout)
            counts = f"{ours.get('count')}" + ("" if peer.get("count") in (None, ours.get("count"))
                                              else f" (selectolax {peer['count']})")
            print(f"{page:18} {css:34} {show(ours):>10} {show(peer):>11} {ratio(peer, ours):>8}  {counts}")
            rows.append({"page": page, "selector": css, "velkaron": ours, "selectolax": peer})
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(rows, out, indent=1)


if __name__ == "__main__":
    main()
