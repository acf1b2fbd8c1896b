#!/usr/bin/env python3
"""What credcheck costs beside a program that only calls parse, on fleet-sized and hostile files.

Writes the files into a scratch folder: the generator's documents of 120,000 and 1,000,000
targets (seeds drawn afresh unless --seed is given) and hostile ones (a /16 asked for by 100
entries, a 4,000-character alias on a /16, one 8 MB password, 100,000 distinct 40-character
passwords). On each it runs ptfp_parse_only, credcheck and credcheck --json as whole processes,
each --runs times, and compares the median wall time and the largest peak RSS with the bounds:

  fleet-sized files   time <= 2 x parse + 0.2 s   RSS <= 1.6 x parse + 32 MB
  hostile files       time <= 3 x parse + 0.3 s   RSS <= 2 x parse + 64 MB
  --json output       < 2 x the file's bytes + 160 bytes per key, and summary.entries equal to
                      the number of keys parse hands out
  human report        under 1 MB for the two small hostile files
  --strict            on the distinct-passwords file: time <= 3 x parse + 0.3 s + 100 us per
                      distinct password, every one judged by weak-password
  --inventory         on the fleet-sized files, an Ansible INI inventory of 100,000 hosts (half
                      of them single-host targets of the file, half absent from it), read and
                      joined: time <= 2 x parse + 0.5 s, RSS <= 1.6 x parse + 64 MB

Prints one row per file and mode, each bound marked PASS or FAIL; exits 1 when a bound fails.
Standard library only. Passwords are never printed.
"""

import argparse
import json
import os
import random
import re
import string
import subprocess
import sys
import tempfile
import time

MB = 1 << 20
DISTINCT_PASSWORDS = "100,000 distinct 40-character passwords"
PEAK_RSS = None  # ptfp_peak_rss of the build


def run(command, output):
    """Wall seconds, peak RSS in bytes and exit status of one run, standard output to a file."""
    with open(output, "wb") as out:
        done = subprocess.run([PEAK_RSS, *command], stdout=out, stderr=subprocess.PIPE,
                              text=True, check=True)
    seconds, peak, status = done.stderr.split()
    return float(seconds), int(peak), int(status)


def password(rng, length):
    return "".join(rng.choice(string.ascii_letters + string.digits) for _ in range(length))


def hostile_files(folder, rng):
    """The hostile files: (name, path, small) where small files must report in under 1 MB."""
    files = []

    def write(name, document, small=False):
        path = os.path.join(folder, f"hostile-{len(files)}.json")
        with open(path, "w", encoding="utf-8") as out:
            json.dump(document, out)
        files.append((name, path, small))

    write("one /16 asked for by 100 entries",
          {"connection_credentials": {"ops": "operator:" + password(rng, 24)},
           "target_systems": ["ops@10.20.0.0/16"] * 100}, small=True)
    alias = "a" * 4000
    write("a 4,000-character alias on a /16",
          {"connection_credentials": {alias: "operator:" + password(rng, 24)},
           "target_systems": [alias + "@10.30.0.0/16"]}, small=True)
    write("one 8 MB password",
          {"connection_credentials": {"big": "operator:" + password(rng, 8 * MB)},
           "target_systems": ["big@10.40.0.1"], "kms_credentials": ["big"]})
    write(DISTINCT_PASSWORDS,
          {"connection_credentials": {f"c{i}": f"user{i}:" + password(rng, 40)
                                      for i in range(100000)},
           "target_systems": [f"c{i}@10.{i >> 16}.{(i >> 8) & 255}.{i & 255}"
                              for i in range(100000)]})
    return files


INVENTORY_HOSTS = 100000
SINGLE_HOST = re.compile(r'"[^"]*@(\d+\.\d+\.\d+\.\d+|node-\d+\.dc\d\.example)"')


def inventory_for(document, path):
    """An Ansible INI inventory of INVENTORY_HOSTS hosts: half of them hosts that single-host
    targets of `document` name, the other half hosts it has no key for."""
    with open(document, encoding="utf-8") as text:
        named = list(dict.fromkeys(m.group(1) for m in SINGLE_HOST.finditer(text.read())))
    hosts = named[:INVENTORY_HOSTS // 2]
    hosts += [f"spare-{i:06d}.dc9.example" for i in range(INVENTORY_HOSTS - len(hosts))]
    with open(path, "w", encoding="utf-8") as out:
        out.write("[fleet]\n" + "\n".join(hosts) + "\n")
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="release build folder")
    parser.add_argument("--seed", type=int, help="generator seed (default: drawn afresh)")
    parser.add_argument("--runs", type=int, default=3, help="runs of each program (default 3)")
    parser.add_argument("--skip-large", action="store_true",
                        help="leave out the 1,000,000-target document")
    args = parser.parse_args()
    global PEAK_RSS
    PEAK_RSS = os.path.join(args.build, "Bench", "ptfp_peak_rss")
    tool = os.path.join(args.build, "bin", "credcheck")
    parse_only = os.path.join(args.build, "Bench", "ptfp_parse_only")
    generate = os.path.join(args.build, "Bench", "ptfp_generate")
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
    print(f"credcheck_cost: generator seeds {seed} and {seed + 1}, {args.runs} runs each")

    failed = False
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "out")
        files = []
        inventories = {}
        sizes = [120000] + ([] if args.skip_large else [1000000])
        for offset, targets in enumerate(sizes):
            path = os.path.join(folder, f"fleet-{targets}.json")
            subprocess.run([generate, str(targets), str(seed + offset), path], check=True,
                           stdout=subprocess.DEVNULL)
            files.append((f"{targets:,} generated targets", path, False, "fleet"))
            inventories[path] = inventory_for(path, os.path.join(folder, f"fleet-{targets}.ini"))
        files += [(name, path, small, "hostile")
                  for name, path, small in hostile_files(folder, random.Random(seed))]

        print(f"\n| file | parse | mode | time | bound | RSS | bound | output | verdict |")
        print("|---|---|---|---|---|---|---|---|---|")
        for name, path, small, kind in files:
            base = [run([parse_only, path], out) for _ in range(args.runs)]
            with open(out, encoding="utf-8") as counted:
                keys = int(counted.read().strip())
            base_time = sorted(b[0] for b in base)[len(base) // 2]
            base_rss = max(b[1] for b in base)
            time_factor, time_extra, rss_factor, rss_extra = (
                (2, 0.2, 1.6, 32 * MB) if kind == "fleet" else (3, 0.3, 2, 64 * MB))
            modes = [("report", [], 0.0), ("--json", ["--json"], 0.0)]
            if name == DISTINCT_PASSWORDS:
                modes.append(("--strict", ["--strict"], 100e-6 * 100000))
            if path in inventories:
                modes.append(("--inventory", ["--inventory", inventories[path]], 0.0))
            for mode, extra_args, judging in modes:
                runs = [run([tool, *extra_args, path], out) for _ in range(args.runs)]
                wall = sorted(r[0] for r in runs)[len(runs) // 2]
                rss = max(r[1] for r in runs)
                size = os.path.getsize(out)
                # Reading and joining the inventory is allowed a little more than a report.
                more_time, more_rss = ((0.5, 64 * MB) if mode == "--inventory"
                                       else (time_extra, rss_extra))
                verdicts = [wall <= time_factor * base_time + more_time + judging,
                            rss <= rss_factor * base_rss + more_rss]
                if mode == "--json":
                    with open(out, encoding="utf-8") as report:
                        entries = json.load(report)["summary"]["entries"]
                    verdicts.append(size < 2 * os.path.getsize(path) + 160 * keys)
                    verdicts.append(entries == keys)
                elif small:
                    verdicts.append(size < MB)
                verdict = "PASS" if all(verdicts) else "FAIL"
                failed = failed or verdict == "FAIL"
                print(f"| {name} | {base_time:.2f} s, {base_rss / MB:.0f} MB | {mode} | "
                      f"{wall / base_time:.2f} x ({wall:.2f} s) | "
                      f"{time_factor * base_time + more_time + judging:.2f} s | "
                      f"{rss / base_rss:.2f} x ({rss / MB:.0f} MB) | "
                      f"{(rss_factor * base_rss + more_rss) / MB:.0f} MB | "
                      f"{size / MB:.2f} MB | {verdict} |")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
