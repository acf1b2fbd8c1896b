#!/usr/bin/env python3
"""Prints how far parse is from its floor, from one run of ptfp_bench and ptfp_heap_peak.

From the medians of CPU time measured side by side in one run: parse / floor for the
120,000-target and the 20-target document, read_json / (read + JSON parse), the peak heap growth
of parse / the floor's, credcheck's walk and reports / parse on the 120,000-target document, and
the CPU time per output entry for every document size, plotted with
gnuplot (SVG). Each ratio is marked PASS or FAIL against its target. It is a report: the exit
status is 0 whatever the verdicts, and 1 only when its input cannot be read. Standard library
only.
"""

import argparse
import json
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
PLOT = """set terminal svg size 800,500 dynamic font 'sans,12' background rgb 'white'
set output '{svg}'
set title 'CPU time per output entry (median)'
set xlabel 'document size (MB)'
set ylabel 'ns per output entry'
set logscale x
set yrange [0:*]
set grid
set key top left
plot '-' using 1:2 with linespoints lw 2 pt 7 title 'PlainTextParser::parse', \\
     '-' using 1:2 with linespoints lw 2 pt 5 title 'floor (read + JSON parse + map inserts)'
"""


def medians(path):
    """Median CPU time (ns), entries and bytes per benchmark name."""
    with open(path, encoding="utf-8") as stream:
        data = json.load(stream)
    times = {}
    counters = {}
    for bench in data.get("benchmarks", []):
        if bench.get("error_occurred") or bench.get("run_type") == "aggregate":
            continue
        name = bench.get("run_name", bench["name"])
        times.setdefault(name, []).append(bench["cpu_time"] * TO_NS[bench.get("time_unit", "ns")])
        counters[name] = (bench.get("output_entries"), bench.get("input_bytes"))
    return {name: (statistics.median(t), *counters[name]) for name, t in times.items()}


def ratio(runs, numerator, denominator):
    if numerator in runs and denominator in runs:
        return runs[numerator][0] / runs[denominator][0]
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--results", required=True, help="ptfp_bench JSON output")
    parser.add_argument("--heap", help="ptfp_heap_peak JSON output")
    parser.add_argument("--out-dir", help="folder for the plot (default: that of --results)")
    parser.add_argument("--update-docs", action="store_true",
                        help="copy the plot to docs/time-per-entry.svg of the repository")
    args = parser.parse_args()
    try:
        runs = medians(args.results)
        heap = json.loads(Path(args.heap).read_text()) if args.heap else None
    except (OSError, ValueError, KeyError) as error:
        print(f"ratios.py: cannot read the results: {error}", file=sys.stderr)
        return 1

    rows = [
        ("parse / floor, 120000 targets", ratio(runs, "BM_Parse/120000", "BM_Floor/120000"), 1.15),
        ("parse / floor, 20 targets", ratio(runs, "BM_Parse/20", "BM_Floor/20"), 1.3),
        ("read_json / (read + JSON parse), 120000 targets",
         ratio(runs, "BM_ReadJson/120000", "BM_BulkParse/120000"), 1.2),
        ("peak heap growth parse / floor, 120000 targets",
         heap["parse_peak_bytes"] / heap["floor_peak_bytes"] if heap else None, 1.1),
        ("credcheck report / parse, 120000 targets",
         ratio(runs, "BM_CredcheckReport/120000", "BM_Parse/120000"), 2.0),
        ("credcheck --json / parse, 120000 targets",
         ratio(runs, "BM_CredcheckJson/120000", "BM_Parse/120000"), 2.0),
    ]
    print(f"  {'ratio':<50} {'value':>7}   target")
    for label, value, target in rows:
        shown = "    n/a" if value is None else f"{value:7.3f}"
        verdict = "" if value is None else ("PASS" if value <= target else "FAIL")
        print(f"  {label:<50} {shown}   <= {target:<5} {verdict}")

    points = []
    for name, (parse_ns, entries, size) in sorted(runs.items(), key=lambda r: r[1][2] or 0):
        floor = runs.get(name.replace("BM_Parse/", "BM_Floor/"))
        if name.startswith("BM_Parse/") and floor and entries:
            points.append((name.split("/")[1], size / 1e6, entries, parse_ns / entries,
                           floor[0] / entries))
    print(f"\n  {'targets':>9} {'MB':>7} {'entries':>9} {'parse ns':>9} {'floor ns':>9} ratio")
    for targets, megabytes, entries, parse_ns, floor_ns in points:
        print(f"  {targets:>9} {megabytes:>7.2f} {entries:>9.0f} {parse_ns:>9.1f} "
              f"{floor_ns:>9.1f} {parse_ns / floor_ns:.3f}")

    gnuplot = shutil.which("gnuplot")
    if len(points) >= 2 and gnuplot:
        svg = (Path(args.out_dir) if args.out_dir else Path(args.results).resolve().parent)
        svg = svg / "time-per-entry.svg"
        series = ["\n".join(f"{p[1]:.4f} {p[column]:.2f}" for p in points) + "\ne\n"
                  for column in (3, 4)]
        subprocess.run([gnuplot], input=PLOT.format(svg=svg) + "".join(series), text=True,
                       check=True)
        print(f"\nplot: {svg}")
        if args.update_docs:
            shutil.copyfile(svg, Path(__file__).resolve().parent.parent / "docs" / svg.name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
