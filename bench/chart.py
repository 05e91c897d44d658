"""Draws the JSON of bench_python.py as a bar chart: ns per op, log scale, one bar per library.

    python3 bench/chart.py RESULTS.json CHART.png
"""

import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend is chosen before pyplot loads)

COLOURS = {"modrin": "#d62728", "pint": "#1f77b4", "astropy": "#ff7f0e",
           "unyt": "#2ca02c", "quantities": "#9467bd"}


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1].strip())
    with open(sys.argv[1], encoding="utf-8") as f:
        data = json.load(f)
    ops = list(data["ops_ns"])
    libs = list(COLOURS)
    width = 0.8 / len(libs)
    fig, ax = plt.subplots(figsize=(16, 6.5), dpi=110)
    for i, lib in enumerate(libs):
        xs = [k + (i - (len(libs) - 1) / 2) * width for k, op in enumerate(ops)
              if data["ops_ns"][op].get(lib) is not None]
        ys = [data["ops_ns"][op][lib] for op in ops if data["ops_ns"][op].get(lib) is not None]
        ax.bar(xs, ys, width, label=lib, color=COLOURS[lib])
    decimal_ns = data["baselines_ns"]["decimal_mul"]
    ax.axhline(decimal_ns, color="black", linestyle="--", linewidth=1)
    ax.text(len(ops) - 0.5, decimal_ns * 1.1, f"Decimal multiplication {decimal_ns:.0f} ns",
            ha="right", va="bottom", fontsize=9)
    ax.set_yscale("log")
    ax.set_ylabel("ns per op (log scale, lower is faster)")
    ax.set_xticks(range(len(ops)))
    ax.set_xticklabels(ops, rotation=35, ha="right")
    ax.set_xlim(-0.6, len(ops) - 0.4)
    ax.grid(axis="y", which="major", alpha=0.3)
    ax.legend(ncol=len(libs), loc="upper left")
    ax.set_title("modrin beside its peers, one process (missing bar: the library lacks the op)")
    fig.tight_layout()
    fig.savefig(sys.argv[2])


if __name__ == "__main__":
    main()
