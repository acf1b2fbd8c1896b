#!/usr/bin/env python3
"""Prints how far parse and its pieces are from their floors, from one run of ptfp_bench.

Reads the Google Benchmark JSON output of ptfp_bench (and, when given, the JSON written by
ptfp_heap_peak) and prints, from the medians of CPU time measured side by side in that run:

  - parse / floor for the 120,000-target document and for the 20-target one,
  - for reference, how those divide at the bound floor (the floor plus binding the document to
    its record, which parse must do): bound floor / floor is the record's share, parse / bound
    floor what parse's own steps add, and look-ups and expansions alone / floor the part of
    those steps that comes before any key is built,
  - read_json / (bulk read + JSON parse), and read_json / bulk read for reference,
  - peak heap growth of parse / the floor's,
  - the CPU time per output entry of parse and of the floor for each document size,

each ratio marked PASS or FAIL against its target. It also plots the time per entry against the
document size with gnuplot (SVG). It is a report: the exit status is 0 whatever the verdicts,
and non-zero only when its input cannot be read.

Standard library only.
"""

import argparse
import json
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

LARGE = 120000
SMALL = 20
CURVE_SIZES = (10000, 120000, 1000000)

TO_NANOSECONDS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load_runs(path):
    """Median CPU time (ns) and counters per run name, from aggregates or, failing those, from
    the repetitions themselves."""
    with open(path, encoding="utf-8") as stream:
        data = json.load(stream)
    medians = {}
    repetitions = {}
    for bench in data.get("benchmarks", []):
        if bench.get("error_occurred"):
            continue
        name = bench.get("run_name", bench["name"])
        scale = TO_NANOSECONDS[bench.get("time_unit", "ns")]
        record = {
            "cpu_ns": bench["cpu_time"] * scale,
            "entries": bench.get("output_entries"),
            "bytes": bench.get("input_bytes"),
        }
        if bench.get("run_type") == "aggregate":
            if bench.get("aggregate_name") == "median":
                medians[name] = record
        else:
            repetitions.setdefault(name, []).append(record)
    runs = dict(medians)
    for name, records in repetitions.items():
        if name not in runs:
            runs[name] = dict(records[0])
            runs[name]["cpu_ns"] = statistics.median(r["cpu_ns"] for r in records)
    return runs, data.get("context", {})


def ratio_of(runs, numerator, denominator):
    if numerator in runs and denominator in runs and runs[denominator]["cpu_ns"] > 0:
        return runs[numerator]["cpu_ns"] / runs[denominator]["cpu_ns"]
    return None


def format_row(label, value, target):
    if value is None:
        return f"  {label:<52} {'n/a':>8}   {'':<8} (not measured)"
    if target is None:
        return f"  {label:<52} {value:8.3f}   {'':<8} (for reference)"
    verdict = "PASS" if value <= target else "FAIL"
    return f"  {label:<52} {value:8.3f}   <= {target:<5} {verdict}"


def load_heap(path):
    if path is None or not Path(path).is_file():
        return None
    with open(path, encoding="utf-8") as stream:
        return json.load(stream)


def curve_points(runs):
    points = []
    for targets in CURVE_SIZES:
        parse = runs.get(f"BM_Parse/{targets}")
        floor = runs.get(f"BM_Floor/{targets}")
        if not parse or not floor or not parse["entries"]:
            continue
        entries = parse["entries"]
        points.append(
            {
                "targets": targets,
                "megabytes": (parse["bytes"] or 0) / 1e6,
                "entries": entries,
                "parse_ns": parse["cpu_ns"] / entries,
                "floor_ns": floor["cpu_ns"] / entries,
            }
        )
    return points


def plot(points, out_dir):
    """Writes time-per-entry.svg into out_dir with gnuplot; returns its path or None."""
    if len(points) < 2:
        print("plot: fewer than two document sizes measured; no plot written")
        return None
    gnuplot = shutil.which("gnuplot")
    if gnuplot is None:
        print("plot: gnuplot not found; no plot written")
        return None
    data = out_dir / "time-per-entry.dat"
    svg = out_dir / "time-per-entry.svg"
    with open(data, "w", encoding="utf-8") as stream:
        stream.write("# megabytes targets parse_ns_per_entry floor_ns_per_entry\n")
        for p in points:
            stream.write(
                f"{p['megabytes']:.4f} {p['targets']} {p['parse_ns']:.2f} {p['floor_ns']:.2f}\n"
            )
    script = f"""
set terminal svg size 800,500 dynamic font 'sans,12' background rgb 'white'
set output '{svg}'
set title 'CPU time per output entry (median)'
set xlabel 'document size (MB)'
set ylabel 'ns per output entry'
set logscale x
set yrange [0:*]
set grid
set key top left
plot '{data}' using 1:3 with linespoints lw 2 pt 7 title 'PlainTextParser::parse', \\
     '{data}' using 1:4 with linespoints lw 2 pt 5 title 'floor (read + JSON parse + map inserts)'
"""
    result = subprocess.run([gnuplot], input=script, text=True, capture_output=True)
    if result.returncode != 0:
        print(f"plot: gnuplot failed: {result.stderr.strip()}")
        return None
    return svg


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--results", required=True, help="ptfp_bench JSON output")
    parser.add_argument("--heap", help="ptfp_heap_peak JSON output")
    parser.add_argument("--out-dir", help="folder for the plot (default: that of --results)")
    parser.add_argument(
        "--update-docs",
        action="store_true",
        help="copy the plot to docs/time-per-entry.svg of the repository",
    )
    args = parser.parse_args()

    try:
        runs, context = load_runs(args.results)
        heap = load_heap(args.heap)
    except (OSError, ValueError, KeyError) as error:
        print(f"ratios.py: cannot read the results: {error}", file=sys.stderr)
        return 1

    if context:
        print(
            f"run of {context.get('date', '?')} on {context.get('host_name', '?')}, "
            f"{context.get('num_cpus', '?')} CPUs; medians of CPU time"
        )
    print()
    print(f"  {'ratio':<52} {'value':>8}   {'target':<8} verdict")
    rows = [
        (f"parse / floor, {LARGE} targets", ratio_of(runs, f"BM_Parse/{LARGE}", f"BM_Floor/{LARGE}"), 1.15),
        (f"parse / floor, {SMALL} targets", ratio_of(runs, f"BM_Parse/{SMALL}", f"BM_Floor/{SMALL}"), 1.3),
    ]
    for size in (LARGE, SMALL):
        rows.append(
            (
                f"  of which bound floor / floor, {size} targets",
                ratio_of(runs, f"BM_BoundFloor/{size}", f"BM_Floor/{size}"),
                None,
            )
        )
        rows.append(
            (
                f"  and parse / bound floor, {size} targets",
                ratio_of(runs, f"BM_Parse/{size}", f"BM_BoundFloor/{size}"),
                None,
            )
        )
    for size in (LARGE, SMALL):
        rows.append(
            (
                f"  look-ups and expansions alone / floor, {size} targets",
                ratio_of(runs, f"BM_Expansion/{size}", f"BM_Floor/{size}"),
                None,
            )
        )
    rows += [
        (
            f"read_json / (bulk read + JSON parse), {LARGE} targets",
            ratio_of(runs, f"BM_ReadJson/{LARGE}", f"BM_BulkParse/{LARGE}"),
            1.2,
        ),
        (
            f"read_json / bulk read alone, {LARGE} targets",
            ratio_of(runs, f"BM_ReadJson/{LARGE}", f"BM_BulkRead/{LARGE}"),
            None,
        ),
        (
            f"json_assign / read_json, {LARGE} targets",
            ratio_of(runs, f"BM_Binding/{LARGE}", f"BM_ReadJson/{LARGE}"),
            None,
        ),
    ]
    heap_ratio = None
    if heap and heap.get("floor_peak_bytes"):
        heap_ratio = heap["parse_peak_bytes"] / heap["floor_peak_bytes"]
    rows.append((f"peak heap growth parse / floor, {heap['targets'] if heap else LARGE} targets", heap_ratio, 1.1))
    for label, value, target in rows:
        print(format_row(label, value, target))

    if heap:
        mib = 1024.0 * 1024.0
        print()
        print(
            f"  peak heap growth: parse {heap['parse_peak_bytes'] / mib:.1f} MiB, "
            f"floor {heap['floor_peak_bytes'] / mib:.1f} MiB "
            f"(output map alone {heap['map_peak_bytes'] / mib:.1f} MiB)"
        )

    points = curve_points(runs)
    print()
    print("  CPU time per output entry")
    print(f"  {'targets':>9} {'MB':>7} {'entries':>9} {'parse ns':>10} {'floor ns':>10} {'parse/floor':>12}")
    for p in points:
        print(
            f"  {p['targets']:>9} {p['megabytes']:>7.2f} {p['entries']:>9.0f} "
            f"{p['parse_ns']:>10.1f} {p['floor_ns']:>10.1f} {p['parse_ns'] / p['floor_ns']:>12.3f}"
        )
    if not any(p["targets"] == CURVE_SIZES[-1] for p in points):
        print(f"  ({CURVE_SIZES[-1]} targets not measured: run ptfp_bench with --ptfp_large)")

    out_dir = Path(args.out_dir) if args.out_dir else Path(args.results).resolve().parent
    svg = plot(points, out_dir)
    if svg is not None:
        print(f"\nplot: {svg}")
        if args.update_docs:
            docs = Path(__file__).resolve().parent.parent / "docs"
            docs.mkdir(exist_ok=True)
            shutil.copyfile(svg, docs / "time-per-entry.svg")
            print(f"plot copied to {docs / 'time-per-entry.svg'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
