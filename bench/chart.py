"""Draws the JSON of bench_python.py as bar charts, log scale, one bar per library: ns per
scalar op on top, and below it, one panel per array length, each array op's time over the
plain NumPy expression's.

    python3 bench/chart.py RESULTS.json CHART.png
"""

import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend is chosen before pyplot loads)

COLOURS = {"modrin": "#d62728", "pint": "#1f77b4", "astropy": "#ff7f0e",
           "unyt": "#2ca02c", "quantities": "#9467bd"}


def bars(ax, ops, value, libs):
    """One bar per library and op where value(op, lib) is not None."""
    width = 0.8 / len(libs)
    for i, lib in enumerate(libs):
        shown = [(k, value(op, lib)) for k, op in enumerate(ops) if value(op, lib) is not None]
        if not shown:   # an empty bar set would still enter the legend, in the wrong colour
            continue
        ax.bar([k + (i - (len(libs) - 1) / 2) * width for k, _ in shown],
               [v for _, v in shown], width, label=lib, color=COLOURS[lib])
    ax.set_yscale("log")
    ax.set_xticks(range(len(ops)))
    ax.set_xticklabels(ops, rotation=35, ha="right")
    ax.set_xlim(-0.6, len(ops) - 0.4)
    ax.grid(axis="y", which="major", alpha=0.3)


def scalar_chart(ax, data):
    ops = list(data["ops_ns"])
    libs = list(COLOURS)
    bars(ax, ops, lambda op, lib: data["ops_ns"][op].get(lib), libs)
    decimal_ns = data["baselines_ns"]["decimal_mul"]
    ax.axhline(decimal_ns, color="black", linestyle="--", linewidth=1)
    ax.text(len(ops) - 0.5, decimal_ns * 1.1, f"Decimal multiplication {decimal_ns:.0f} ns",
            ha="right", va="bottom", fontsize=9)
    ax.set_ylabel("ns per op (log scale, lower is faster)")
    ax.legend(ncol=len(libs), loc="upper left")
    ax.set_title("modrin beside its peers, one process (missing bar: the library lacks the op)")


def array_chart(axes, data):
    ratios = data["array_ratios_to_numpy"]
    goals = data["array_goals"]["ratio_to_numpy"]
    libs = list(COLOURS)
    for ax, (size, table) in zip(axes, ratios.items()):
        ops = list(table)
        bars(ax, ops, lambda op, lib: (table[op].get(lib) or {}).get("median"), libs)
        ax.axhline(1.0, color="black", linestyle="--", linewidth=1)
        # modrin's limit for each op, a short bar across the op's group
        for k, op in enumerate(ops):
            if op in goals[size]:
                ax.hlines(goals[size][op], k - 0.4, k + 0.4, color="#d62728", linewidth=1,
                          linestyle=":")
        ax.set_title(f"arrays of {int(size):,} doubles")
    axes[0].set_ylabel("time over NumPy's (log scale; dashed: NumPy, dotted: modrin's goal)")
    # the largest arrays' ratios stay near 1, leaving room for the legend
    axes[-1].legend(ncol=len(libs), loc="upper center", fontsize=8)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1].strip())
    with open(sys.argv[1], encoding="utf-8") as f:
        data = json.load(f)
    top = "ops_ns" in data
    arrays = "array_ratios_to_numpy" in data
    if not (top or arrays):
        sys.exit(f"{sys.argv[1]}: no results to draw")
    heights = [6.5] * top + [5.5] * arrays
    fig = plt.figure(figsize=(16, sum(heights)), dpi=110)
    grid = fig.add_gridspec(len(heights), 3, height_ratios=heights)
    if top:
        scalar_chart(fig.add_subplot(grid[0, :]), data)
    if arrays:
        row = len(heights) - 1
        first = fig.add_subplot(grid[row, 0])
        axes = [first] + [fig.add_subplot(grid[row, k], sharey=first) for k in (1, 2)]
        array_chart(axes, data)
    fig.tight_layout()
    fig.savefig(sys.argv[2])


if __name__ == "__main__":
    main()
