#!/usr/bin/python3
"""Turns the ratios the benchmark programs collected into one table, a JSON file
and a bar chart of each ratio against its goal.

Usage: bench_report.py REPORT.tsv OUT.json OUT.png
Each input line: program, case, baseline, ratio, "rate" or "time", goal (0: none).
A "rate" ratio is the case's rate over the baseline's (goal: at least); a "time"
ratio is the case's time over the baseline's (goal: at most).
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(tsv, out_json, out_png):
    rows = []
    with open(tsv) as f:
        for line in f:
            program, case, baseline, ratio, kind, goal = line.rstrip("\n").split("\t")
            ratio, goal = float(ratio), float(goal)
            met = None if goal <= 0 else (ratio >= goal if kind == "rate" else ratio <= goal)
            rows.append({
                "family": program.removesuffix("_bench"), "case": case, "baseline": baseline,
                "figure": "rate over the baseline's" if kind == "rate" else "time over the baseline's",
                "ratio": ratio, "goal": goal if goal > 0 else None,
                "goal_kind": "at least" if kind == "rate" else "at most", "met": met,
            })
    widths = (14, 52, 40, 6, 12)
    print(f"{'family':<14} {'case':<52} {'baseline':<40} {'ratio':>6}  goal")
    for r in rows:
        goal = "" if r["goal"] is None else \
            f"{'>=' if r['goal_kind'] == 'at least' else '<='} {r['goal']:.2f} {'met' if r['met'] else 'MISSED'}"
        print(f"{r['family']:<{widths[0]}} {r['case'][:widths[1]]:<{widths[1]}} "
              f"{r['baseline'][:widths[2]]:<{widths[2]}} {r['ratio']:>6.2f}  {goal}")
    with_goal = [r for r in rows if r["goal"] is not None]
    print(f"\n{len(rows)} ratios, {len(with_goal)} with a goal, "
          f"{sum(1 for r in with_goal if r['met'])} met")
    with open(out_json, "w") as f:
        json.dump(rows, f, indent=1)

    # The chart: each ratio as a share of its goal (1.0 = exactly the goal;
    # above 1 is better for both kinds), goals drawn as the line at 1.
    shown = with_goal or rows
    scores = [(r["ratio"] / r["goal"] if r["goal_kind"] == "at least" else r["goal"] / r["ratio"])
              if r["goal"] else r["ratio"] for r in shown]
    labels = [f"{r['family']}: {r['case']}"[:70] for r in shown]
    fig, ax = plt.subplots(figsize=(10, 0.28 * len(shown) + 1.5))
    colours = ["#3a7d44" if s >= 1 else "#c0392b" for s in scores]
    ax.barh(range(len(shown)), scores, color=colours)
    ax.axvline(1.0, color="black", linewidth=1)
    ax.set_yticks(range(len(shown)))
    ax.set_yticklabels(labels, fontsize=7)
    ax.invert_yaxis()
    ax.set_xlabel("ratio relative to its goal (1 = goal; right of the line is met)")
    ax.set_title("vorta benchmarks against their goals")
    fig.tight_layout()
    fig.savefig(out_png, dpi=110)
    print(f"wrote {out_json} and {out_png}")


if __name__ == "__main__":
    main(*sys.argv[1:4])
