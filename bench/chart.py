"""Draws bench/results/latest.json as bench/results/latest.png.

One panel per input: grouped bars of the median time of every task per library (log scale, as
the times span nanoseconds to seconds), each peer's bar labelled with its ratio to velkaron
(peer time / velkaron time: above 1 means velkaron is faster). A last panel shows the peak
memory of parsing the largest input and the native Tree/parse ratios.

    python bench/chart.py [RESULTS.json [OUTPUT.png]]
"""

from __future__ import annotations

import json
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import FuncFormatter  # noqa: E402

BENCH_DIR = Path(__file__).resolve().parent
BASELINE = "velkaron"
COLOURS = {
    "velkaron": "#d62728",
    "lxml": "#1f77b4",
    "selectolax_lexbor": "#2ca02c",
    "selectolax_modest": "#98df8a",
    "bs4_lxml": "#9467bd",
    "bs4_html_parser": "#c5b0d5",
    "html5lib": "#8c564b",
}


def seconds_label(value: float, _position=None) -> str:
    for unit, scale in (("s", 1), ("ms", 1e-3), ("µs", 1e-6), ("ns", 1e-9)):
        if value >= scale:
            return f"{value / scale:g} {unit}"
    return f"{value:g} s"


def ratio_label(ratio: float) -> str:
    if ratio >= 100:
        return f"{ratio:.0f}×"
    if ratio >= 10:
        return f"{ratio:.1f}×"
    return f"{ratio:.2f}×"


def draw_input(axis, entry: dict, names: dict[str, str], tasks: list[dict], clock: str) -> None:
    keys = entry["libraries"]
    rows = [task for task in tasks if task["key"] in entry["results"]]
    group_width = 0.84
    bar_width = group_width / len(keys)
    for index, key in enumerate(keys):
        xs, heights, ratios = [], [], []
        for position, task in enumerate(rows):
            result = entry["results"][task["key"]].get(key)
            if result is None:
                continue
            xs.append(position - group_width / 2 + bar_width * (index + 0.5))
            heights.append(result["median_s"])
            ratios.append(result.get("ratio"))
        bars = axis.bar(xs, heights, bar_width * 0.92, label=names[key],
                        color=COLOURS.get(key, "#7f7f7f"),
                        edgecolor="black" if key == BASELINE else "none", linewidth=0.8)
        for bar, value in zip(bars, ratios):
            if value is None:
                continue
            axis.annotate(ratio_label(value), (bar.get_x() + bar.get_width() / 2, bar.get_height()),
                          xytext=(0, 2), textcoords="offset points", ha="center", va="bottom",
                          rotation=90, fontsize=7.5,
                          color="#006400" if value >= 1 else "#b00000")
    axis.set_yscale("log")
    axis.yaxis.set_major_formatter(FuncFormatter(seconds_label))
    low, high = axis.get_ylim()
    axis.set_ylim(low, high * 30)  # room for the ratio labels above the tallest bars
    axis.set_xticks(range(len(rows)))
    axis.set_xticklabels([task["title"] for task in rows], fontsize=9)
    axis.grid(axis="y", which="major", alpha=0.3)
    size = (f"{entry['bytes'] / 1e6:.1f} MB" if entry["bytes"] >= 1e6
            else f"{entry['bytes'] / 1e3:.1f} KB")
    title = f"{entry['name']}: {size}, {entry.get('elements', '?'):,} elements"
    skipped = [names.get(key, key) for key in entry.get("skipped", {})]
    if skipped:
        title += f"  (not run: {', '.join(skipped)})"
    axis.set_title(title, fontsize=11, loc="left")
    axis.set_ylabel(f"median {'CPU ' if clock == 'cpu' else ''}time per call")


def draw_memory(axis, entry: dict, names: dict[str, str], natives: list[dict]) -> None:
    memory = entry["memory"]
    keys = [key for key in entry["libraries"] if "peak_kib" in memory.get(key, {})]
    peaks = [memory[key]["peak_kib"] / 1024 for key in keys]
    retained = [memory[key]["retained_kib"] / 1024 for key in keys]
    positions = range(len(keys))
    bars = axis.bar(positions, peaks, 0.6, color=[COLOURS.get(k, "#7f7f7f") for k in keys],
                    edgecolor=["black" if k == BASELINE else "none" for k in keys])
    axis.scatter(positions, retained, marker="_", s=900, color="black", zorder=3,
                 label="retained after parse")
    for bar, key, peak in zip(bars, keys, peaks):
        ratio = memory[key].get("ratio")
        label = f"{peak:.0f} MiB" + (f"\n{ratio_label(ratio)}" if ratio is not None else "")
        axis.annotate(label, (bar.get_x() + bar.get_width() / 2, bar.get_height()),
                      xytext=(0, 3), textcoords="offset points", ha="center", va="bottom",
                      fontsize=8.5)
    axis.set_xticks(list(positions))
    axis.set_xticklabels([names[k] for k in keys], fontsize=9)
    axis.set_ylim(0, max(peaks) * 1.3)
    axis.set_ylabel("MiB")
    axis.legend(loc="upper left", fontsize=8)
    axis.set_title(f"Peak memory of parsing {entry['name']} (ratio: peer / velkaron)",
                   fontsize=11, loc="left")
    if natives:
        text = "Native: velkaron::Tree / gumbo parse alone\n" + "\n".join(
            f"{name}: {ratio:.3f} (target ≤ 1.25)" for name, ratio in natives)
        axis.text(0.42, 0.97, text, transform=axis.transAxes, ha="center", va="top", fontsize=9,
                  bbox={"boxstyle": "round", "facecolor": "white", "alpha": 0.9})


def main() -> None:
    source = Path(sys.argv[1]) if len(sys.argv) > 1 else BENCH_DIR / "results" / "latest.json"
    target = Path(sys.argv[2]) if len(sys.argv) > 2 else source.with_suffix(".png")
    report = json.loads(source.read_text())
    names = {library["key"]: library["name"] for library in report["libraries"]}
    inputs = report["inputs"]
    with_memory = [entry for entry in inputs if entry.get("memory")]
    memory_entry = max(with_memory, key=lambda entry: entry["bytes"]) if with_memory else None
    natives = [(entry["name"], entry["native"]["ratio"]) for entry in inputs if entry.get("native")]

    panels = len(inputs) + (1 if memory_entry else 0)
    figure, axes = plt.subplots(panels, 1, figsize=(15, 4.4 * panels + 1.2), squeeze=False,
                                layout="constrained")
    for axis, entry in zip(axes[:, 0], inputs):
        draw_input(axis, entry, names, report["tasks"], report["settings"].get("clock", "wall"))
    handles, labels = axes[0, 0].get_legend_handles_labels()
    if memory_entry:
        draw_memory(axes[-1, 0], memory_entry, names, natives)
    machine = report["machine"]
    versions = ", ".join(f"{library['name']} {library['version']}" for library in report["libraries"]
                         if library.get("version"))
    figure.suptitle(
        "velkaron against peers — bar labels: peer time / velkaron time (green: velkaron faster)\n"
        f"{machine['cpu']}, {machine['cores']} cores, Python {machine['python']}, "
        f"{machine['date'][:10]}{' (quick run)' if report['settings'].get('quick') else ''}\n"
        f"{versions}",
        fontsize=10.5)
    figure.legend(handles, labels, loc="outside lower center", ncol=len(labels), fontsize=10)
    figure.savefig(target, dpi=110)
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
