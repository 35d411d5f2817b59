"""Draws the ratios of build/bench/results.csv over the recorded commits.

usage: plot.py RESULTS.csv OUT.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

rows = list(csv.DictReader(open(sys.argv[1], newline="")))
commits = list(dict.fromkeys(r["commit"] for r in rows))
fig, ax = plt.subplots(figsize=(9, 4.5))
for figure in dict.fromkeys(r["figure"] for r in rows):
    # The last run recorded for a commit stands for it.
    by_commit = {r["commit"]: float(r["ratio"]) for r in rows if r["figure"] == figure}
    xs = [i for i, c in enumerate(commits) if c in by_commit]
    ax.plot(xs, [by_commit[commits[i]] for i in xs], marker="o", label=figure)
ax.axhline(1.0, color="grey", linewidth=0.8)
ax.set_xticks(range(len(commits)), commits, rotation=45, ha="right")
ax.set_ylabel("ratio to the floor or peer")
ax.legend(fontsize="small")
fig.tight_layout()
fig.savefig(sys.argv[2])
print(sys.argv[2])
