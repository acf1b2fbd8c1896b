#!/usr/bin/env python3
"""Runs the built credcheck on the fixture files and checks what it prints and returns.

Usage: credcheck_test.py --tool PATH --fixtures DIR --example FILE --version X.Y.Z
                         --cmake PATH --build-dir DIR CASE

Each CASE is one function below; CTest runs each as a test of its own.
"""

import argparse
import difflib
import hashlib
import fcntl
import json
import os
import re
import resource
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import time

MASK = "********"
HINT = "Run with --help for more information."
KEYS = ["connection_credentials", "target_systems", "kms_credentials",
        "bmc_credentials", "privpassword", "newpassword"]

# Passwords of the fixture that Python's json module cannot read.
BROKEN_PASSWORDS = ["Br0ken-Doc-Secret", "Br0ken-Priv-Secret"]

ARGS = None


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def fixture(name):
    return os.path.join(ARGS.fixtures, name)


def run(*args, env=None, tool=None, stdin=subprocess.DEVNULL, cwd=None):
    """credcheck with `args`; `stdin` a file object, or a path whose text is piped in."""
    full_env = dict(os.environ)
    full_env.pop("NO_COLOR", None)
    full_env.update(env or {})
    piped = None
    if isinstance(stdin, str):
        with open(stdin, encoding="utf-8") as f:
            piped, stdin = f.read(), None
    return subprocess.run([tool or ARGS.tool, *args], capture_output=True, text=True,
                          env=full_env, timeout=60, check=False, stdin=stdin, input=piped,
                          cwd=cwd)


def run_json(*args, **kwargs):
    done = run("--json", *args, **kwargs)
    try:
        return done.returncode, json.loads(done.stdout)
    except json.JSONDecodeError as error:
        raise Failure(f"--json {args} did not print JSON ({error})") from None


def strip_comments(text):
    """The text with // and /* */ comments outside strings blanked out."""
    return re.sub(r'("(?:\\.|[^"\\])*")|//[^\n]*|/\*.*?\*/', lambda m: m.group(1) or " ", text,
                  flags=re.S)


def passwords_of(path):
    """Every password that the credential file holds, whether or not it is handed out."""
    if os.path.basename(path) == "broken.json":
        return BROKEN_PASSWORDS
    with open(path, encoding="utf-8") as f:
        document = json.loads(strip_comments(f.read()))
    found = [text.split(":", 1)[1] for text in document.get("connection_credentials", {}).values()
             if ":" in text and text.split(":", 1)[1]]
    found += [document[k] for k in ("privpassword", "newpassword")
              if isinstance(document.get(k), str) and document[k]]
    check(found, f"{path} holds no password to look for")
    return found


def section(output, heading):
    """The indented lines under the heading line that starts with `heading`."""
    lines = output.splitlines()
    start = next((i for i, line in enumerate(lines) if line.startswith(heading)), None)
    check(start is not None, f"no '{heading}' section in the report")
    body = []
    for line in lines[start + 1:]:
        if not line.startswith("  "):
            break
        body.append(line.strip())
    return lines[start], body


# ---------------------------------------------------------------------------------------------
# Cases


def private_copy(directory, name, mode=0o600):
    """A copy of a fixture that only its owner may read, so that it raises no warning."""
    path = os.path.join(directory, name)
    shutil.copyfile(fixture(name), path)
    os.chmod(path, mode)
    return path


def write_file(directory, name, data, mode=0o600):
    path = os.path.join(directory, name)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    os.chmod(path, mode)
    return path


def case_exit_statuses():
    """0 for a report, 1 for findings under --strict, 2 when a file cannot be read: the highest
    of the files'. The other cases check the status of what they run too."""
    with tempfile.TemporaryDirectory() as directory:
        clean = write_file(directory, "clean.json", CLEAN_FILE)
        for args, expected in (([fixture("complete.json")], 0), (["--version"], 0),
                               # unknown aliases and a rejected scope
                               (["--strict", private_copy(directory, "complete.json")], 1),
                               ([clean, fixture("no-such-file.json"), clean], 2)):
            got = run(*args).returncode
            check(got == expected, f"credcheck {args}: exit {got}, expected {expected}")



def case_result_section():
    """The library's result, as JSON and under the text report's heading; its texts are the
    library's own, tested with it."""
    for name, code, constant in (("mistyped.json", 7, "RESULT_INVALID_FILE"),
                                 ("no-such-file.json", 6, "RESULT_FILE_NOT_EXIST")):
        result = run_json(fixture(name))[1]["result"]
        body = section(run(fixture(name)).stdout, "Result")[1]
        check(list(result) == ["code", "hex", "name", "message", "detail"]
              and (result["code"], result["hex"], result["name"]) == (code, f"0x{code:08x}", constant)
              and body[:2] == [f"{constant} {result['hex']}  {result['message']}",
                               f"detail: {result['detail']}"], f"{name}: {result}, {body}")
    # Unusable members are counted only when there are some.
    counts = "0 entries, 0 shadowed keys, 0 unknown aliases, 0 rejected scopes"
    check(body[2].startswith(counts + "; ") and section(run(fixture("mistyped.json")).stdout,
          "Result")[1][2].startswith(counts + ", 3 unusable members; 3 errors, "), "the counts")



def hostile_document(passwords):
    """A document that echoes its passwords where no password belongs."""
    one, two, priv = passwords
    return json.dumps({
        "connection_credentials": {
            "ops": f"operator:{one}",
            f"alias-{two}": f"lead:{two}",
            "esc": "us\u001b]0;Title\u0007er:Esc-Pass-77",
        },
        "target_systems": [
            f"ops:{one}@10.9.0.5",                 # a password typed into a target
            f"ops@{one}",                          # ... into a scope
            f"ops@10.9.0.{one}",                   # ... a scope that gets logged
            f"alias-{two}@10.9.1.1",
            f"ghost@{priv}.example",
            "esc@10.9.2.1",
        ],
        "kms_credentials": [one, f"alias-{two}"],
        "bmc_credentials": ["ops", priv],
        "privpassword": priv,
        "newpassword": "",
    })


def case_passwords_masked():
    hostile = ["Hostile-Pw-1", "Hostile-Pw-2", "Hostile-Priv-3"]
    with tempfile.TemporaryDirectory() as directory:
        files = [(fixture(n), passwords_of(fixture(n)))
                 for n in ("complete.json", "mistyped.json", "broken.json")]
        files.append((write_file(directory, "hostile.json", hostile_document(hostile)),
                      hostile + ["Esc-Pass-77"]))
        for path, passwords in files:
            for args in ([], ["--json", "--verbose"], ["--host", "10.9.0.5"]):
                done = run(*args, path)
                for password in passwords:
                    check(password not in done.stdout + done.stderr,
                          f"credcheck {args} {os.path.basename(path)} shows a password")
        # A key keeps its user whole, and masks a host that is a password.
        done = run(os.path.join(directory, "hostile.json"))
        check(f"operator@{MASK}" in done.stdout, "a key whose host is a password is not masked")
        check(f"'ops@{MASK}'" in done.stdout, "a password in an entry's scope is shown")
    _, doc = run_json(fixture("complete.json"))
    check(doc["entries"] and all(e["value"] == MASK for e in doc["entries"]), "--json values")
    heading, body = section(run(fixture("complete.json")).stdout, "Entries")
    check(heading == f"Entries ({len(doc['entries'])})"
          and all(f"  {MASK}  " in line for line in body), f"entries {body}")


def case_reveal_shows_passwords():
    path = fixture("complete.json")
    _, doc = run_json("--reveal", path)
    revealed = {e["value"] for e in doc["entries"]}
    check(revealed == set(passwords_of(path)),
          f"--reveal --json shows {len(revealed)} distinct values, not the fixture's passwords")
    human = run("--reveal", path).stdout
    for password in passwords_of(path):
        check(password in human, "--reveal leaves a password out of the human report")
    check(MASK not in human, "--reveal still masks")


def case_json_fields():
    # The fixture as checked out (mode 0644) in a work tree too: a finding about the whole file.
    status, doc = run_json("--check-file-mode", fixture("complete.json"))
    lines = run("--json", fixture("complete.json")).stdout.splitlines()
    check(status == 0 and lines[0] == "{" and lines[1] == '  "format_version": 1,'
          and '    "code": 0,' in lines and '    {"key":"' in lines[lines.index('  "entries": [') + 1],
          f"--json is not one member to a line, two spaces a level, an entry a line: {lines[:4]}")
    keys = [e["key"] for e in doc["entries"]]
    check(keys == sorted(keys, key=lambda k: k.encode()), f"entries not sorted: {keys}")
    sources = {e["key"]: doc["sources"][e["source"]] for e in doc["entries"]}
    check(sources["operator@10.1.0.2"] == {"member": "target_systems", "index": 0,
                                           "entry": "ops@10.1.0.1-3", "line": 8, "column": 5}
          and [sources["privpassword"][k] for k in ("entry", "line", "column")] == [None, 17, 19],
          f"sources {sources}")
    check(doc["summary"] == {"entries": 9, "shadowed": 0, "unknown_aliases": 4,
                             "rejected_scopes": 1, "unusable_members": 0, "findings": 6,
                             "errors": 0, "warnings": 6, "notes": 0, "accepted": 0},
          f"summary {doc['summary']}")
    # A finding about an entry names it among the sources; one about the whole file names none.
    check([(f["rule"], f["line"], f["column"], f["source"] is not None and
            doc["sources"][f["source"]]["line"] == f["line"]) for f in doc["findings"]] ==
          [("permissions", None, None, False), ("unknown-alias", 11, 5, True),
           ("unknown-alias", 12, 5, True), ("rejected-scope", 13, 5, True),
           ("unknown-alias", 15, 32, True), ("unknown-alias", 16, 30, True)]
          and list(doc["findings"][1]) == ["rule", "severity", "message", "line", "column",
                                           "source", "suppression"], f"findings {doc['findings']}")
    diagnostics = doc["diagnostics"]
    check([(k["key"], k["state"], k["bound"], k["problem"]) for k in diagnostics["keys"]] ==
          [(key, "bound", bound, None) for key, bound in zip(KEYS, (3, 6, 2, 2, 1, 1))]
          and diagnostics["parse_error"] is None and diagnostics["file_error"] is None
          and diagnostics["rejected_scopes"] == [{"source": 5, "scope": "10.1.0.999", "line": 13,
                                                  "column": 5}], f"diagnostics {diagnostics}")


def case_log_records():
    """The records parse writes, the trace level only with --verbose; their texts are the
    library's own."""
    for args in ([], ["--verbose"]):
        records = run_json(*args, fixture("complete.json"))[1]["records"]
        heading, body = section(run(*args, fixture("complete.json")).stdout, "Log records")
        check(any(r["level"] == 1 and "<ops@10.1.0.999>" in r["text"] for r in records)
              and all(r["file"] and r["line"] > 0 for r in records)
              and (max(r["level"] for r in records) > 3) == bool(args)
              and heading == f"Log records ({len(records)})" and len(body) == len(records)
              and all(r["text"] in line for r, line in zip(records, body)), f"{args}: {body}")
    _, body = section(run("--verbose", fixture("complete.json")).stdout, "Targets")
    check(body == ["target_systems[0] 'ops@10.1.0.1-3' (line 8:5): 3 addresses",
                   "target_systems[1] 'lab@east@10.1.5.9' (line 9:5): 1 address",
                   "target_systems[2] 'store@[FD00::0:1]' (line 10:5): 1 address",
                   "target_systems[3] 'ghost@10.1.9.9' (line 11:5): unknown alias",
                   "target_systems[4] '10.1.9.10' (line 12:5): unknown alias",
                   "target_systems[5] 'ops@10.1.0.999' (line 13:5): host scope refused"],
          f"targets {body}")



def case_unknown_aliases():
    _, doc = run_json(fixture("complete.json"))
    sources = doc["sources"]
    got = [(sources[u["source"]]["member"], sources[u["source"]]["index"], u["alias"],
            (u["line"], u["column"]) == (sources[u["source"]]["line"],
                                         sources[u["source"]]["column"]))
           for u in doc["diagnostics"]["unknown_aliases"]]
    check(got == [("target_systems", 3, "ghost", True), ("target_systems", 4, "default_alias", True),
                  ("kms_credentials", 1, "phantom-kms", True),
                  ("bmc_credentials", 1, "phantom-bmc", True)], f"unknown_aliases {got}")
    _, body = section(run(fixture("complete.json")).stdout, "Findings")
    for line in ("target_systems[3] 'ghost@10.1.9.9': no credential under the alias 'ghost'",
                 "kms_credentials[1] 'phantom-kms': no credential under that alias"):
        check(any(f"unknown-alias: {line}; skipped" in shown for shown in body), f"{body}")
    check(not any("lab@east" in line for line in body), "a known alias holding '@' is reported")

def case_mistyped_key():
    status, doc = run_json(fixture("mistyped.json"))
    check(status == 1, f"exit {status}")
    states = [(k["key"], k["state"], k["bound"], k["problem"] is None)
              for k in doc["diagnostics"]["keys"]]
    check(states == [("connection_credentials", "bound", 2, True),
                     ("target_systems", "unusable", None, False),
                     ("kms_credentials", "bound", 0, True),
                     ("bmc_credentials", "unusable", None, False),
                     ("privpassword", "unusable", None, False),
                     ("newpassword", "absent", None, True)], f"keys {states}")
    human = run(fixture("mistyped.json")).stdout
    both = human + run("--json", fixture("mistyped.json")).stdout
    shown = [t for t in ("St6vector", "NSt7", "boost", ".ipp", "assign failure", "::") if t in both]
    check(not shown, f"the report shows {shown}")
    _, body = section(human, "Why keys are missing")
    check("target_systems: /target_systems is a string, expected an array of strings" in body
          and "newpassword: absent (optional: hands out nothing)" in body,
          f"human diagnostics {body}")


def case_broken_document():
    status, doc = run_json(fixture("broken.json"))
    check(status == 1, f"exit {status}")
    # The trailing comma of line 5 is refused at the "]" that follows it.
    expected = {"message": "syntax error", "line": 5, "column": 37}
    check(doc["diagnostics"]["parse_error"] == expected,
          f"parse_error {doc['diagnostics']['parse_error']}")
    check(all(k["state"] == "not_read" for k in doc["diagnostics"]["keys"]),
          "a key of a broken document bound")
    human = run(fixture("broken.json")).stdout
    _, body = section(human, "Why keys are missing")
    check("document: does not parse: syntax error at line 5, column 37" in body
          and section(human, "Entries") == ("Entries (0)", ["(none)"]), f"{human}")
    # The passwords given before the error are still the file's: its name shows none of them.
    with tempfile.TemporaryDirectory() as directory:
        path = write_file(directory, "Broken-Pw-7.json",
                          '{"connection_credentials": {"a": "u:Broken-Pw-7"},\n'
                          ' "target_systems": ["a@10.0.0.1" "a@10.0.0.2"]}\n')
        for args in ([], ["--json"], ["--format", "sarif"], ["--format", "gcc"]):
            done = run(*args, path)
            check(done.stdout and "Broken-Pw-7" not in done.stdout + done.stderr,
                  f"{args}: the broken file's password shows in its name")


def case_unreadable_file():
    with tempfile.TemporaryDirectory() as directory:
        sock = socket.socket(socket.AF_UNIX)
        sock.bind(os.path.join(directory, "credentials.sock"))
        with sock:
            check_unreadable([
                (fixture("no-such-file.json"), "No such file or directory"),
                (ARGS.fixtures, "not a regular file: it is a directory"),
                (sock.getsockname(), "not a regular file: it is a socket"),
            ])


def check_unreadable(table):
    for path, reason in table:
        status, doc = run_json(path)
        check((status, doc["diagnostics"]["file_error"], doc["entries"]) == (2, reason, []),
              f"{path}: exit {status}, {doc['diagnostics']}")
        done = run(path)
        check(section(done.stdout, "Why keys are missing")[1] == [f"file: cannot be read: {reason}"]
              and done.stderr == f"credcheck: cannot read {path}: {reason}\n", f"{done}")


def clean_example():
    return ARGS.example


def case_usage_errors():
    table = [
        (["--bogus"], "--bogus"),
        (["--diff", fixture("complete.json")], "--diff"),
        (["--diff", fixture("complete.json"), fixture("complete.json"), clean_example()], "--diff"),
        (["--format", "xml", fixture("complete.json")], "--format"),
        (["--json", "--format", "sarif", fixture("complete.json")], "--json"),
        (["--diff", "--format", "gcc", fixture("complete.json"), clean_example()], "--diff"),
        ([""], "FILE"),
        (["--host", "", fixture("complete.json")], "--host"),
        (["--bogus\x1b]0;title\x07"], "--bogus\\x1b]0;title\\x07"),
        (["-", fixture("complete.json"), "-"], "standard input can be read only once"),
        (["--stdin-filename", "conf/a.json", fixture("complete.json")], "--stdin-filename"),
    ] + [(["--diff", *option, clean_example(), clean_example()], "--diff") for option in (
        ["--host", "h"], ["--strict"], ["--verbose"], ["--all-keys"], ["--ignore", "owner"],
        ["--check-file-mode"])]
    for args, named in table:
        done = run(*args)
        check(done.returncode == 2 and done.stdout == "" and "\x1b" not in done.stderr
              and done.stderr.endswith(f"\n{HINT}\n") and named in done.stderr, f"{args}: {done}")


def case_help_and_version():
    done = run("--help")
    check(done.returncode == 0, f"--help exits {done.returncode}")
    for text in ("FILE", "--reveal", "--json", "--verbose", "--strict", "--host", "--diff",
                 "--stdin-filename", "--version",
                 "Exit status", "  0  ", "  1  ", "  2  "):
        check(text in done.stdout, f"--help does not mention {text!r}")
    # The formats, from their registry, joined as a sentence.
    check(re.search(r"  text \(for a person\), json \(for scripts\), sarif \([^)]*\), gcc \([^)]*\) or github \(",
                    done.stdout) is not None, "--help does not list the formats as a sentence")
    # Every rule on a line of its own, as the bash completion of --ignore reads them.
    listed = re.findall(r"^  ([a-z][a-z-]*) +(?:error|warning|note): ", done.stdout, re.M)
    _, log = sarif_of(ARGS.example)
    declared = [rule["id"] for rule in log["runs"][0]["tool"]["driver"]["rules"]]
    check(listed == declared and len(listed) > 10, f"--help lists the rules {listed}")
    done = run("--version")
    check(done.stdout.strip() == f"credcheck {ARGS.version}", f"--version: {done.stdout!r}")


def case_permission_warning():
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "credentials.json")
        shutil.copyfile(fixture("complete.json"), path)
        for mode, warned in ((0o640, True), (0o604, True), (0o600, False), (0o400, False)):
            os.chmod(path, mode)
            done = run(path)
            line = (f"warning  permissions: permissions {mode:04o} for '{path}' are too open; "
                    "credential files should be readable by their owner only (chmod 600)")
            findings = section(done.stdout, "Findings")[1]
            check(done.returncode == 0 and any(f.startswith("file ") and f.endswith(line)
                                               for f in findings) == warned,
                  f"mode {mode:04o}: exit {done.returncode}, expected the warning: {warned}")


def case_work_tree_file_mode():
    """A file in a git work tree has the checkout's mode and owner, not its author's: neither is
    checked unless --check-file-mode asks, whether .git is a repository's directory or a linked
    work tree's file, and however the path is spelled."""
    with tempfile.TemporaryDirectory() as directory:
        nested = os.path.join(directory, "ops", "lab")
        os.makedirs(nested)
        path = write_file(nested, "credentials.json", CLEAN_FILE, mode=0o644)
        expected = {"permissions"}
        if os.geteuid() == 0:
            os.chown(path, 4242, -1)  # a checkout by another user, as CI's root finds it
            expected.add("owner")

        def file_rules(*args, cwd=None):
            _, doc = run_json(*args, cwd=cwd)
            return {f["rule"] for f in doc["findings"]} & {"permissions", "owner"}

        check(file_rules(path) == expected, "outside a work tree: no permissions finding")
        git = os.path.join(directory, ".git")
        for make_git in (os.mkdir, lambda _: write_file(directory, ".git", "gitdir: x\n")):
            make_git(git)
            for spelled, cwd in ((path, None), ("../lab/./credentials.json", nested)):
                check(file_rules(spelled, cwd=cwd) == set()
                      and file_rules("--check-file-mode", spelled, cwd=cwd) == expected,
                      f"{spelled} under a .git {'directory' if os.path.isdir(git) else 'file'}")
            (os.rmdir if os.path.isdir(git) else os.remove)(git)


def under_sanitizer():
    """AddressSanitizer reserves terabytes of address space and doubles what a run holds: memory
    bounds are checked on plain builds only."""
    return "ASAN_OPTIONS" in os.environ


# Files that once made the tool's output or memory grow out of all proportion to the file: each
# with the keys parse hands out for it and the bound its human report must keep. The full-size
# ones (a /16 asked for by 100 entries, 100,000 passwords) are measured by scripts/credcheck-cost.
HOSTILE_FILES = [
    ("one scope asked for by 100 entries",
     {"connection_credentials": {"ops": "operator:Hostile-Scope-Pw"},
      "target_systems": ["ops@10.20.0.0/20"] * 100}, 4094, 100_000),
    ("a 4,000-character alias on a /20",
     {"connection_credentials": {"a" * 4000: "operator:Hostile-Alias-Pw"},
      "target_systems": ["a" * 4000 + "@10.30.0.0/20"]}, 4094, 100_000),
    ("one 768 KB password",
     {"connection_credentials": {"big": "operator:" + "Pw8" * (1 << 18)},
      "target_systems": ["big@10.40.0.1"], "kms_credentials": ["big"]}, 2, 100_000),
    ("10,000 distinct 40-character passwords",
     {"connection_credentials": {f"c{i}": f"user{i}:Pw-{i:08d}-" + "x" * 27
                                 for i in range(10000)},
      "target_systems": [f"c{i}@10.50.{i >> 8}.{i & 255}" for i in range(10000)]},
     10000, 1_500_000),
]


def case_hostile_files():
    with tempfile.TemporaryDirectory() as directory:
        for number, (name, document, keys, human_bound) in enumerate(HOSTILE_FILES):
            path = write_file(directory, f"hostile-{number}.json", json.dumps(document))
            size = os.path.getsize(path)
            human = run_checked(name, path)
            check(len(human.encode()) < human_bound,
                  f"{name}: human report of {len(human.encode())} bytes")
            raw = run_checked(name, "--json", path)
            check(len(raw.encode()) < 2 * size + 160 * keys,
                  f"{name}: --json of {len(raw.encode())} bytes for {size} bytes, {keys} keys")
            check(json.loads(raw)["summary"]["entries"] == keys, f"{name}: summary.entries")
            for password in passwords_of(path):
                check(password not in human and password not in raw, f"{name}: a password shown")


# The address space a run over any of these files must fit in: a few times what one needs.
HOSTILE_MEMORY = 128 << 20


def run_checked(name, *args):
    """Standard output of a run that must exit 0 within HOSTILE_MEMORY (plain builds)."""
    def capped():
        if not under_sanitizer():
            resource.setrlimit(resource.RLIMIT_AS, (HOSTILE_MEMORY, HOSTILE_MEMORY))
    done = subprocess.run([ARGS.tool, *args], capture_output=True, text=True, timeout=600,
                          preexec_fn=capped, check=False)
    check(done.returncode == 0, f"{name} {args[:-1]}: exit {done.returncode}: {done.stderr}")
    return done.stdout


def case_masking_holds():
    """The file's passwords are masked wherever its text shows, in every mode, and so is a user
    name that is one; the tool's own words never are."""
    with tempfile.TemporaryDirectory() as directory:
        words = write_file(directory, "words.json", json.dumps({
            "connection_credentials": {"a": "admin:admin", "b": "u:Entries",
                                       "c": "v:RESULT_SUCCEED", "d": "w:Log records"},
            "target_systems": ["a@10.0.0.1", "b@10.0.0.2", "c@10.0.0.3", "d@10.0.0.4"]}))
        human = run(words).stdout
        masked = [own for own in ("\nEntries (4)\n", "  RESULT_SUCCEED 0x00000000  Succeed.",
                                  "\nLog records (0)\n  (none)\n", "\n  ********@10.0.0.1  ") if own not in human]
        check(not masked and run_json(words)[1]["result"]["name"] == "RESULT_SUCCEED",
              f"the report's own words masked, or a user that is a password shown: {masked}")

        # Boost.JSON keeps the last of two members with one name; the first values are
        # passwords all the same.
        earlier = ["Old-Alias-Pw-1", "Old-Priv-Pw-3"]
        duplicated = write_file(directory, "duplicated.json", (
            '{"connection_credentials": {"a": "u:Old-Alias-Pw-1", "a": "u:New-Alias-Pw-2"},'
            ' "privpassword": "Old-Priv-Pw-3", "privpassword": "New-Priv-Pw-4",'
            ' "target_systems": ["a@Old-Alias-Pw-1", "Old-Priv-Pw-3@10.0.0.1", "a@10.0.0.2"],'
            ' "kms_credentials": ["Old-Alias-Pw-1"]}').encode())
        for args in ([duplicated], ["--json", duplicated], ["--verbose", duplicated],
                     ["--diff", words, duplicated], ["--json", "--diff", duplicated, words]):
            done = run(*args)
            check(not [p for p in earlier if p in done.stdout + done.stderr],
                  f"{args[:-1]}: an earlier value of a duplicate member shown")

        # A member's JSON pointer spells "~" and "/" as "~0" and "~1": a password used as an
        # alias is masked in that spelling too.
        pointered = write_file(directory, "pointered.json", json.dumps({
            "connection_credentials": {"a0": "u:Plain-Pw-1", "Zx8/Lm2~Qw9k": 5,
                                       "a": "u:Zx8/Lm2~Qw9k"}}))
        shown = run("--json", pointered).stdout
        check("/connection_credentials/" in shown and "Zx8~1Lm2~0Qw9k" not in shown,
              "a password spelled as a JSON pointer's token is shown")

        # An escape must not spell a password: a line end shown as "\n" next to "yzz" spells
        # the password x\nyzz.
        spelled = "x\\nyzz"
        escaped = write_file(directory, "escaped.json", json.dumps({
            "connection_credentials": {"x\nyzz": "u:" + spelled, "b": "v:Other-Pw-9"},
            "target_systems": ["x\nyzz@10.0.0.1", "b@10.0.0.2"]}))
        for args in ([escaped], ["--json", escaped], ["--verbose", escaped]):
            raw = subprocess.run([ARGS.tool, *args], capture_output=True, check=False).stdout
            check(spelled.encode() not in raw, f"{args[:-1]}: an escape spells a password")

        # Paths from the command line are masked too, in --diff's refusal as well.
        missing = os.path.join(directory, "Other-Pw-9.json")
        done = run("--diff", escaped, missing)
        check(done.returncode == 2 and "Other-Pw-9" not in done.stderr
              and f"cannot read {os.path.join(directory, MASK)}.json" in done.stderr,
              f"--diff's refusal: {done.stderr!r}")


def case_out_of_memory():
    """Out of memory anywhere in the walk, while a member binds too, is said and exits 2: never
    a report of success with keys missing."""
    if under_sanitizer():
        print("skipped: memory caps are checked on plain builds only")
        return
    with tempfile.TemporaryDirectory() as directory:
        # Big enough that what the file needs spans several megabytes past the tool's own; the
        # caps step through them by half a megabyte, from too little to start until it is enough.
        targets = [f"a@10.0.{i >> 8}.{i & 255}" for i in range(20000)]
        path = write_file(directory, "large.json", json.dumps({
            "connection_credentials": {"a": "u:Pw-Large-1"}, "target_systems": targets}))
        outcomes = set()
        for halves in range(14, 96):
            megabytes, limit = halves / 2, halves << 19

            def capped(*args):
                return subprocess.run(
                    [ARGS.tool, *args], capture_output=True, text=True, timeout=120, check=False,
                    preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))
            if capped("--version").returncode != 0:
                continue  # too little to load the program and its libraries at all
            done = capped("--json", path)
            if done.returncode == 0:
                check(json.loads(done.stdout)["summary"]["entries"] == len(targets),
                      f"{megabytes} MB: a report of success with keys missing")
                outcomes.add("complete")
                break  # any more memory completes too
            else:
                check(done.returncode == 2 and done.stderr == "credcheck: out of memory\n",
                      f"{megabytes} MB: exit {done.returncode}: {done.stderr!r}")
                outcomes.add("out of memory")
        check(outcomes == {"complete", "out of memory"}, f"only {outcomes} seen")


# A list written twice: the tool family gets the second, and --strict fails.
DUPLICATED = ('{"target_systems": ["ops@10.0.0.1"],\n'
              ' "connection_credentials": {"ops": "operator:Gx7#qLp2@vR9!mZ"},\n'
              ' "target_systems": ["ops@10.0.0.2"]}')

# A file that passes a careless --strict while the tool family silently receives less than it
# seems to say, and each rule's finding: a warning, so only --strict fails. The wording of the
# rules that the C++ findings test holds is not repeated here.
STRICT_FILE = ('{"connection_credentials": {"ops": "operator:Gx7#qLp2@vR9!mZ",\n'
               '  "spare": "spare:Tw8$kMn3#xS4!pQ",\n'
               '  "bare": "operator", "empty": "webadmin:", "weak": "admin:password1", '
               '"same": "admin:admin",\n'
               '  "a": "one:Hv5%rNc8&yT2^wLe", "b": "two:Hv5%rNc8&yT2^wLe", '
               '"c": "three:Hv5%rNc8&yT2^wLe"},\n'
               ' "target_systems": ["ops@10.0.0.0/30", "bare@10.0.1.1", "empty@10.0.1.2",\n'
               '                    "weak@10.0.1.3", "same@10.0.1.4", "a@10.0.2.1", "b@10.0.2.2",\n'
               '                    "c@10.0.2.3", "ops@10.0.0.2"]}')
STRICT_FINDINGS = [
    ("unused-credential", 2, "credential 'spare' is used by no target, KMS or BMC entry"),
    ("no-colon", 3, "credential 'bare' has no ':': its whole text is taken as the user name, and "
     "its password is empty"),
    ("empty-password", 3, "credential 'empty' has an empty password"),
    ("weak-password", 3, "the password of credential 'weak' is weak: about 3 bits of guessing, as "
     "it holds a common password or word"),
    ("password-in-name", 3, "the password of credential 'same' is its user name"),
    ("reused-password", 4, "credential 'a', credential 'b' and credential 'c' share one password"),
    ("no-effect", 7, "target_systems[8] 'ops@10.0.0.2' hands out no key: the one key it asks for "
     "is held already (the first, operator@10.0.0.2, by target_systems[0] (line 5:21))"),
]

CLEAN_FILE = ('{"connection_credentials": {\n'
              '  "ops": "operator:Gx7#qLp2@vR9!mZ",\n'
              '  "bmc": "bmcadmin:Tw8$kMn3#xS4!pQ"},\n'
              ' "target_systems": ["ops@10.0.0.0/30", "bmc@bmc[01-04].lab.example"],\n'
              ' "kms_credentials": ["ops"], "bmc_credentials": ["bmc"],\n'
              ' "privpassword": "Hv5%rNc8&yT2^wLe"}')


def case_strict_gate():
    with tempfile.TemporaryDirectory() as directory:
        clean = write_file(directory, "clean.json", CLEAN_FILE.encode())
        status, doc = run_json("--strict", clean)
        check(status == 0 and doc["findings"] == [], f"findings of a clean file: {doc['findings']}")
        path = write_file(directory, "strict.json", STRICT_FILE)
        status, doc = run_json("--strict", path)
        said = [(f["rule"], f["line"], f["message"]) for f in doc["findings"]]
        missing = [(rule, line) for rule, line, message in STRICT_FINDINGS
                   if not any(s[:2] == (rule, line) and s[2].startswith(message) for s in said)]
        check(status == 1 and run(path).returncode == 0 and not missing, f"{status}: {said}")
        human = run("--strict", path).stdout
        # A user name that is a password is masked too; one that only holds one ("webadmin") is
        # shown whole.
        shown = [p for p in passwords_of(path) if p in human.replace("webadmin@", "")]
        check(all(f"warning  {rule}: " in human for rule, _, _ in STRICT_FINDINGS) and not shown,
              f"the human report {human}")
        # A list given twice: the entries, from the list the tool family gets, stand where it does.
        status, doc = run_json("--strict", write_file(directory, "twice.json", DUPLICATED))
        check(status == 1 and [(f["rule"], f["line"]) for f in doc["findings"]] ==
              [("duplicate-member", 1)] and [(s["entry"], s["line"], s["column"])
                                             for s in doc["sources"][:1]] ==
              [("ops@10.0.0.2", 3, 21)], f"a list given twice: {doc}")
        # A rule the file knowingly breaks is accepted; a rule that does not exist is no option.
        loose = write_file(directory, "loose.json", CLEAN_FILE.encode(), mode=0o644)
        check([run(*args, loose).returncode for args in (["--strict"], ["--ignore", "no-such-rule"],
                                                         ["--strict", "--ignore", "permissions"])]
              == [1, 2, 0], "--strict of a file others may read, --ignore")
        # --min-password-bits moves the bar: no password takes a thousand bits of guessing.
        weak = [run_json("--strict", "--min-password-bits", bits, clean)[1]["findings"]
                for bits in ("0", "1000")]
        check(weak[0] == [] and [f["rule"] for f in weak[1]] == ["weak-password"] * 3,
              f"--min-password-bits 0 and 1000: {weak}")
        # --max-entries lowers the bar for many-entries.
        _, doc = run_json("--max-entries", "5", clean)
        check([f["rule"] for f in doc["findings"]] == ["many-entries"],
              f"--max-entries 5: {doc['findings']}")


ACCEPTED_FILE = ('{"connection_credentials": {\n'
                 '  "weak": "ops:password1",  // credcheck-ignore weak-password: lab box, wiped\n'
                 '  // credcheck-ignore unused-credential: bench spare (until 2999-12-31)\n'
                 '  "spare": "x:Sp4re-Un-Used!"},\n'
                 ' "target_systems": ["weak@10.0.0.1"]}')


def case_suppressions():
    """Accepted findings pass --strict and stay where tools look: counted in the text report,
    listed with their reason in JSON and SARIF, left out of gcc and GitHub lines."""
    with tempfile.TemporaryDirectory() as directory:
        path = write_file(directory, "accepted.json", ACCEPTED_FILE)
        status, doc = run_json("--strict", path)
        accepted = [(f["rule"], f["suppression"]["kind"], f["suppression"]["justification"],
                     f["suppression"]["line"]) for f in doc["findings"] if f["suppression"]]
        check(status == 0 and accepted == [("weak-password", "inSource", "lab box, wiped", 2),
                                           ("unused-credential", "inSource", "bench spare", 3)]
              and doc["summary"]["accepted"] == 2 and doc["summary"]["findings"] == 0,
              f"--strict --json: {status} {doc['findings']}")
        human = run("--strict", path).stdout
        check("0 warnings, 0 notes; 2 accepted" in human and "Findings" not in human, human)
        for fmt in ("gcc", "github"):
            check(run("--strict", "--format", fmt, path).stdout == "", f"{fmt} shows accepted")
        _, log = sarif_of("--strict", path)
        check([r["suppressions"] for r in log["runs"][0]["results"]] ==
              [[{"kind": "inSource", "status": "accepted", "justification": reason}]
               for reason in ("lab box, wiped", "bench spare")], f"SARIF {log['runs'][0]}")
        # A suppression that cannot be read fails the gate at its own line.
        broken = write_file(directory, "broken.json",
                            ACCEPTED_FILE.replace("weak-password:", "weak-pasword:"))
        done = run("--strict", "--format", "gcc", broken)
        check(done.returncode == 1 and f"{broken}:2:29: warning:" in done.stdout
              and "[invalid-suppression]" in done.stdout, done.stdout)
        check("notes; 1 accepted\n" in run(broken).stdout, "one accepted finding not counted")


BASELINED_FILE = ('{"connection_credentials": {"weak": "ops:password1",\n'
                  '  "spare": "x:Sp4re-Un-Used!", "ok": "y:Hv5%rNc8&yT2^wLe"},\n'
                  ' "target_systems": ["weak@10.0.0.1", "ok@10.0.0.2"]}')


def case_baseline():
    """A baseline accepts what it names by content, not by place; another weak password is a new
    finding; it holds no password nor a plain hash of one, and rewrites to the same bytes."""
    with tempfile.TemporaryDirectory() as directory:
        key = write_file(directory, "key", "5a" * 32 + "\n")
        keyed = ["--strict", "--fingerprint-key", key, "--format", "gcc"]
        path = write_file(directory, "prod.json", BASELINED_FILE)
        base = os.path.join(directory, "base.json")
        check(run(*keyed, "--write-baseline", base, path).returncode == 0, "--write-baseline")
        with open(base, "rb") as f:
            written = f.read()
        hashes = [getattr(hashlib, name)(p.encode()).hexdigest() for p in passwords_of(path)
                  for name in ("md5", "sha1", "sha256")]
        shown = [p for p in passwords_of(path) + hashes if p.encode() in written]
        check(not shown and b'"digest":"' in written, f"the baseline shows {shown}: {written}")
        try:
            import jsonschema  # Debian's python3-jsonschema
            with open(os.path.join(os.path.dirname(ARGS.schema), "baseline.schema.json"),
                      encoding="utf-8") as f:
                jsonschema.Draft7Validator(json.load(f)).validate(json.loads(written))
        except ImportError:
            print("baseline schema not checked: python3-jsonschema is not installed")
        run(*keyed, "--baseline", base, "--write-baseline", base, path)
        with open(base, "rb") as f:
            check(f.read() == written, "rewriting an unchanged baseline changed it")
        # Lines above and another entry changed: still accepted (the key from the environment).
        write_file(directory, "prod.json", "// moved\n" + BASELINED_FILE.replace("10.0.0.2", "h2"))
        done = run("--strict", "--baseline", base, path,
                   env={"CREDCHECK_FINGERPRINT_KEY": "5a" * 32})
        check(done.returncode == 0, f"edits around baselined findings: {done.stdout}")
        # Another weak password where the accepted one stood is a new finding, and the entry for
        # the old one is left unused.
        write_file(directory, "prod.json", BASELINED_FILE.replace("password1", "dragon123"))
        done = run(*keyed, "--baseline", base, path)
        check(done.returncode == 1 and [line.rsplit("[", 1)[1] for line in done.stdout.splitlines()]
              == ["unused-suppression]", "weak-password]"], f"a replaced password: {done.stdout}")
        # --fingerprints: one password, one digest, in every run with the same key.
        shared = write_file(directory, "shared.json", BASELINED_FILE.replace(
            "Hv5%rNc8&yT2^wLe", "password1"))
        values = [[e["value"] for e in run_json("--fingerprints", "--fingerprint-key", key,
                                                shared)[1]["entries"]] for _ in range(2)]
        check(values[0] == values[1] and len(set(values[0])) == 1
              and re.fullmatch("[0-9a-f]{16}", values[0][0]), f"--fingerprints {values}")
        # A key that is no key, and --fingerprints without one, stop the run.
        bad = write_file(directory, "bad-key", "not hex")
        check([run(*args, path).returncode for args in (["--fingerprint-key", bad],
                                                        ["--fingerprints"], ["--baseline", key])]
              == [2, 2, 2], "a bad key, --fingerprints without a key, a baseline that is no JSON")


def case_reuse_across_files():
    """A password two files share fails --strict in the later one, naming the earlier file and
    credential; a file given twice shares nothing with itself."""
    with tempfile.TemporaryDirectory() as directory:
        prod = write_file(directory, "prod.json", CLEAN_FILE)
        staging = write_file(directory, "staging.json", CLEAN_FILE.replace('"ops"', '"stage"')
                             .replace('"ops@', '"stage@').replace('["ops"]', '["stage"]'))
        status, docs = run_json("--strict", prod, staging)
        said = [[(f["rule"], f["message"]) for f in doc["findings"]] for doc in docs]
        check(status == 1 and said[0] == [] and ("reused-password", "credential 'stage' shares its "
              f"password with credential 'ops' of '{prod}'") in said[1], f"{said}")
        check(run("--strict", prod, prod).returncode == 0, "a file given twice shares with itself")


def case_formats():
    """--format json is --json; text is the human report; gcc prints a line for each finding of
    --json and nothing else."""
    path = fixture("complete.json")
    check(run("--format", "json", path).stdout == run("--json", path).stdout
          and run("--format", "text", path).stdout == run(path).stdout, "json or text differs")
    with tempfile.TemporaryDirectory() as directory:
        bad = write_file(directory, "bad.json", DUPLICATED.encode())
        expected = [f"{doc['file']}:{f['line'] or 1}:{f['column'] or 1}: {f['severity']}: "
                    f"{f['message']} [{f['rule']}]" for doc in run_json(bad, path)[1]
                    for f in doc["findings"]]
        done = run("--strict", "--format", "gcc", bad, path)
        check(done.returncode == 1 and done.stdout.splitlines() == expected and len(expected) > 2,
              f"gcc lines are not the findings of --json: {done.stdout}")
        # No text of the file makes a line that a problem matcher reads as another place.
        forged = write_file(directory, "forged.json", json.dumps({
            "target_systems": ["x:2:3: error: y@10.0.0.1", "z:4:5:warning:@10.0.0.2"]}).encode())
        for line in run("--format", "gcc", forged).stdout.splitlines():
            greedy = re.match(r"^(.*):(\d+):(\d+):\s*(error|warning|note)", line)
            check(greedy is not None and greedy.group(1) == forged, f"a forged place: {line!r}")



def sarif_of(*args, **kwargs):
    done = run("--format", "sarif", *args, **kwargs)
    try:
        return done.returncode, json.loads(done.stdout)
    except json.JSONDecodeError as error:
        raise Failure(f"--format sarif {args} is no JSON ({error})") from None


def sarif_prints(log, index=None):
    """The sorted partial fingerprints of a log's results, of one artifact's only if `index`."""
    return sorted(str(r["partialFingerprints"]) for r in log["runs"][0]["results"]
                  if index is None or
                  r["locations"][0]["physicalLocation"]["artifactLocation"]["index"] == index)


def sarif_lines(log):
    return sorted(r["locations"][0]["physicalLocation"].get("region", {}).get("startLine", 0)
                  for r in log["runs"][0]["results"])


def case_sarif():
    with tempfile.TemporaryDirectory() as directory:
        bad_text = ('{"connection_credentials": {"ops": "admin:password1",\n'
                    '                            "spare": "x:Sp4re-Un-Used!"},\n'
                    ' "target_systems": ["ops@10.0.0.1", "ghost@10.0.0.2", "ops@10.0.0.1"],\n'
                    ' "target_sytems": []}')
        bad = write_file(directory, "bad.json", bad_text.encode(), mode=0o644)
        status, log = sarif_of("--strict", bad)
        check(status == 1, f"--strict --format sarif exits {status}")
        driver = log["runs"][0]["tool"]["driver"]
        check(log["version"] == "2.1.0" and "sarif-schema-2.1.0" in log["$schema"]
              and len(log["runs"]) == 1 and "invocations" not in log["runs"][0]
              and (driver["name"], driver["version"]) == ("credcheck", ARGS.version),
              "not one run of a SARIF 2.1.0 log by credcheck that read every file")
        rules = [rule["id"] for rule in driver["rules"] if rule["shortDescription"]["text"]
                 and rule["help"]["text"] == rule["fullDescription"]["text"] != ""]
        results = log["runs"][0]["results"]
        check({"weak-password", "unused-credential", "unknown-alias", "no-effect",
               "unknown-member", "permissions"} <= {r["ruleId"] for r in results},
              f"results {results}")
        for result in results:
            (location,) = result["locations"]
            check(rules[result["ruleIndex"]] == result["ruleId"] and result["message"]["text"]
                  and result["level"] in ("error", "warning", "note")
                  and location["physicalLocation"]["artifactLocation"]["uri"] == bad
                  and ("region" in location["physicalLocation"]
                       or result["ruleId"] == "permissions"), f"result {result}")
        regions = [r["locations"][0]["physicalLocation"].get("region") for r in results]
        check(sorted((r["startLine"], r["startColumn"]) for r in regions if r) ==
              sorted((f["line"], f["column"]) for f in run_json("--strict", bad)[1]["findings"]
                     if f["line"]), f"regions {regions}")
        check(not [p for p in passwords_of(bad) if p in json.dumps(log)]
              and len(set(sarif_prints(log))) == len(results), "passwords, or shared fingerprints")
        # Lines added at the top move every region and change no fingerprint.
        write_file(directory, "bad.json", ("// a comment\n// and another\n" + bad_text).encode(),
                   mode=0o644)
        _, moved = sarif_of("--strict", bad)
        check(sarif_prints(moved) == sarif_prints(log), "fingerprints moved with the lines")
        check(sarif_lines(moved) == [n + 2 if n else 0 for n in sarif_lines(log)],
              "regions did not move")
        # A fingerprint depends on its own file's content only: not on another file of the run
        # (whose password is this file's alias), nor on how the path is spelled.
        write_file(directory, "other.json", json.dumps({
            "connection_credentials": {"x": "u:ghost"}, "privpassword": "spare"}).encode())
        alone = sarif_prints(sarif_of("--strict", "bad.json", cwd=directory)[1], 0)
        for paths in (["bad.json", "other.json"], ["./bad.json"]):
            check(sarif_prints(sarif_of("--strict", *paths, cwd=directory)[1], 0) == alone,
                  f"fingerprints change with {paths}")
        # The fingerprints are the same on every machine and in every version, as code
        # scanning matches a result across runs by them.
        prints = [r["partialFingerprints"]["credcheckFinding/v1"]
                  for r in sarif_of("--check-file-mode", ARGS.example)[1]["runs"][0]["results"]]
        check(sorted(prints) == ["0c759742e32e0cef", "0fc31d281cc0e3f0", "3e6ffa46b7f93f76",
                                 "ce5686c7a73f35fb", "fe0725f9c3453f11"],
              f"the example's fingerprints {prints}")
        # A file that cannot be read is no clean file: the run did not succeed, and says where.
        missing = os.path.join(directory, "missing.json")
        status, log = sarif_of(bad, missing)
        (invocation,) = log["runs"][0]["invocations"]
        (notice,) = invocation["toolExecutionNotifications"]
        where = notice["locations"][0]["physicalLocation"]["artifactLocation"]
        check(status == 2 and invocation["executionSuccessful"] is False
              and notice["level"] == "error" and where == {"uri": missing, "index": 1}
              and notice["message"]["text"].endswith("No such file or directory"),
              f"exit {status}, invocations {log['runs'][0]['invocations']}")
        # The artifact's URI is the path as it was given, percent-encoded where a URI needs it.
        odd = write_file(directory, "bad file Z\u00e9.json", bad_text.encode())
        uri = sarif_of("--strict", odd)[1]["runs"][0]["artifacts"][0]["location"]["uri"]
        check(uri == directory + "/bad%20file%20Z%C3%A9.json", f"uri {uri}")


def case_colour_options():
    """--color beats NO_COLOR and FORCE_COLOR; auto colours a terminal unless NO_COLOR is set (to
    anything, "0" too) or TERM is dumb, and a pipe when FORCE_COLOR is set."""
    path = fixture("complete.json")
    coloured = "\033[1mResult\033[0m"
    table = [
        ([], {}, False),
        ([], {"FORCE_COLOR": "1"}, True),
        ([], {"FORCE_COLOR": "0"}, False),
        (["--color=always"], {"NO_COLOR": "1"}, True),
        (["--color", "always"], {}, True),
        (["--color=never"], {"FORCE_COLOR": "1"}, False),
        (["--color=auto"], {"FORCE_COLOR": "1"}, True),
    ]
    for args, env, wanted in table:
        check((coloured in run(*args, path, env=env).stdout) == wanted,
              f"a pipe, {args} {env}: colour is not {wanted}")
    for env in ({"NO_COLOR": "1"}, {"NO_COLOR": "0"}, {"TERM": "dumb"}):
        check(coloured not in run_on_terminal(path, env=env), f"{env} on a terminal")
    check(coloured not in run_on_terminal("--color=never", path), "--color=never on a terminal")
    shown, broken = run_on_terminal(path), run_on_terminal(fixture("broken.json"))
    check(coloured in shown and "\033[32mRESULT_SUCCEED\033[0m" in shown
          and "\033[31mRESULT_INVALID_FILE\033[0m" in broken and "\033[2m(none)\033[0m" in broken,
          "a terminal does not show bold headings, a green success, a red failure, a dim note")
    check("\033[" not in run("--json", "--color=always", path).stdout, "colour in --json")


def case_several_files():
    """Each file is checked and reported in turn; the exit status is the highest."""
    complete, mistyped = fixture("complete.json"), fixture("mistyped.json")
    done = run(complete, mistyped)
    check(done.returncode == 1, f"exit {done.returncode}")
    check(done.stdout == run(complete).stdout + "\n" + run(mistyped).stdout,
          "the text reports are not the single ones in turn")
    status, docs = run_json(complete, mistyped)
    check(isinstance(docs, list) and [d["file"] for d in docs] == [complete, mistyped],
          "--json of several files is not an array of their reports")
    check(docs[0] == run_json(complete)[1], "an array's report differs from the single one")
    _, log = sarif_of(complete, mistyped)
    uris = [a["location"]["uri"] for a in log["runs"][0]["artifacts"]]
    check(uris == [complete, mistyped], f"artifacts {uris}")


def case_pre_commit_hook():
    """The repository's hook, run by Debian's pre-commit in a fresh clone of a repository of
    credential files, as CI runs it: it passes a clean credential file of the checkout's mode
    (and, under root, of another user) with a package.json beside it, and fails a weak one."""
    if shutil.which("pre-commit") is None:
        print("skipped: pre-commit is not installed (scripts/setup test installs it)")
        return
    root = os.path.dirname(os.path.dirname(os.path.abspath(ARGS.example)))
    if shutil.which("git") is None or subprocess.run(
            ["git", "-C", root, "rev-parse", "--git-dir"], capture_output=True,
            check=False).returncode != 0:
        print("skipped: the sources are not a git repository, which pre-commit try-repo needs")
        return
    with tempfile.TemporaryDirectory() as directory:
        origin, clone = os.path.join(directory, "origin"), os.path.join(directory, "clone")
        env = dict(os.environ, PRE_COMMIT_HOME=os.path.join(directory, "cache"),
                   PATH=os.path.dirname(os.path.abspath(ARGS.tool)) + os.pathsep +
                   os.environ.get("PATH", ""),
                   GIT_AUTHOR_NAME="t", GIT_AUTHOR_EMAIL="t@example.org",
                   GIT_COMMITTER_NAME="t", GIT_COMMITTER_EMAIL="t@example.org")
        env.pop("NO_COLOR", None)

        def git(*args, cwd=origin):
            subprocess.run(["git", *args], cwd=cwd, check=True, env=env, capture_output=True)

        def hook(*args):
            return subprocess.run(["pre-commit", "try-repo", root, "credcheck", *args], cwd=clone,
                                  env=env, capture_output=True, text=True, timeout=300,
                                  check=False)

        git("init", "-q", origin, cwd=directory)
        os.mkdir(os.path.join(origin, "credentials"))
        write_file(os.path.join(origin, "credentials"), "lab.json", CLEAN_FILE)
        write_file(origin, "package.json", '{"name": "x", "version": "1.0.0"}', mode=0o644)
        git("add", ".")
        git("commit", "-q", "-m", "files")
        git("clone", "-q", origin, clone, cwd=directory)
        clean = os.path.join(clone, "credentials", "lab.json")
        check(os.stat(clean).st_mode & 0o077 != 0, "the clone kept mode 0600")
        if os.geteuid() == 0:
            os.chown(clean, 4242, -1)  # a checkout by another user, as CI's root finds it
        good = hook("--all-files")
        check(good.returncode == 0 and "Passed" in good.stdout,
              f"the hook fails a clean credential file or package.json:\n{good.stdout}")
        write_file(os.path.join(clone, "credentials"), "weak.json",
                   '{"connection_credentials": {"ops": "operator:password1"},\n'
                   ' "target_systems": ["ops@10.0.0.1"]}')
        git("add", ".", cwd=clone)
        bad = hook("--files", "credentials/weak.json")
        check(bad.returncode != 0 and re.search(r"credentials/weak\.json:\d+:\d+: warning: .* "
                                                r"\[weak-password\]", bad.stdout) is not None,
              f"the hook passes a weak file, or does not say why:\n{bad.stdout}")


def comment_free(path):
    with open(path, encoding="utf-8") as f:
        return json.loads(strip_comments(f.read()))


def schema_flags(validator, document):
    """The schema's errors as paths ("/target_systems/3"), each once."""
    return sorted({"/" + "/".join(map(str, e.absolute_path))
                   for e in validator.iter_errors(document)})


def rejected_entries(path):
    _, report = run_json(path)
    return sorted(f"/target_systems/{report['sources'][r['source']]['index']}"
                  for r in report["diagnostics"]["rejected_scopes"])


# Target entries of every scope shape that spread_scope_ip takes, and of shapes it refuses that
# the schema's patterns refuse too.
RIGHT_TARGETS = ["10.0.0.7", "a@10.0.0.250-10.0.1.2", "a@10.0.0.5-9", "a@192.168.1.0/30",
                 "a@[FE80::0:1]", "a@fe80::1", "a@bmc-01.lab.example", "a@bmc[08-11].lab",
                 "a@east@10.0.0.8"]
WRONG_TARGETS = ["a@", "a@has space", "a@10.0.0.0/33", "a@10.0.0.300", "a@010.0.0.1",
                 "a@10.0.0.5-09", "a@[fe80::1%eth0]", "a@fe80::1]", "a@bmc_1.lab", "a@bmc.01",
                 "a@bmc[1-2][3-4]"]


def case_json_schema():
    """The schema of the credential file is valid draft-07, it flags exactly the scopes
    credcheck rejects in the shipped files and every member the format does not have, and a
    document it accepts binds every member it has."""
    try:
        import jsonschema  # Debian's python3-jsonschema
    except ImportError:
        print("skipped: python3-jsonschema is not installed (scripts/setup test installs it)")
        return
    with open(ARGS.schema, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft7Validator.check_schema(schema)
    check(schema["$schema"] == "http://json-schema.org/draft-07/schema#", schema["$schema"])
    validator = jsonschema.Draft7Validator(schema)
    example = ARGS.example
    credential = {"a": "u:Gx7#qLp2@vR9!mZ", "a@east": "v:Tw8$kMn3#xS4!pQ"}
    with tempfile.TemporaryDirectory() as directory:
        shipped = [example, os.path.join(os.path.dirname(example), "credentials-next.json"),
                   fixture("complete.json"), write_file(directory, "empty.json", b"{}"),
                   write_file(directory, "scopes.json", json.dumps(
                       {"$schema": "x", "connection_credentials": credential,
                        "target_systems": RIGHT_TARGETS}))]
        for path in shipped:
            document = comment_free(path)
            flagged, rejected = schema_flags(validator, document), rejected_entries(path)
            check(flagged == rejected, f"{os.path.basename(path)}: the schema flags {flagged}, "
                                       f"credcheck rejects {rejected}")
            _, report = run_json(path)
            for member in report["diagnostics"]["keys"]:
                check(member["state"] == ("bound" if member["key"] in document else "absent"),
                      f"{os.path.basename(path)}: {member['key']} is {member['state']}")
        wrong = write_file(directory, "wrong.json", json.dumps(
            {"connection_credentials": credential, "target_systems": WRONG_TARGETS}))
        every = [f"/target_systems/{i}" for i in range(len(WRONG_TARGETS))]
        flagged, rejected = schema_flags(validator, comment_free(wrong)), rejected_entries(wrong)
        check(flagged == sorted(every) == rejected,
              f"wrong scopes: the schema flags {flagged}, credcheck rejects {rejected}")
    for wrong in ({"connection_credentials": {"a": 7}}, {"kms_credentials": ["a", 1]},
                  {"privpassword": 1234}, {"Target_Systems": []}, {"target_system": []},
                  {"generated_by": {"tool": "x"}, "target_systems": []}, {"$schema": 1}, []):
        check(not validator.is_valid(wrong), f"{wrong} validates")


def case_report_schema():
    """Every shape of the JSON report validates against its schema, which tells a report of
    another shape or version from it."""
    try:
        import jsonschema  # Debian's python3-jsonschema
    except ImportError:
        print("skipped: python3-jsonschema is not installed (scripts/setup test installs it)")
        return
    with open(os.path.join(os.path.dirname(ARGS.schema), "report.schema.json"),
              encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft7Validator.check_schema(schema)
    validator = jsonschema.Draft7Validator(schema)
    with tempfile.TemporaryDirectory() as directory:
        accepted = write_file(directory, "accepted.json", ACCEPTED_FILE)
        missing = os.path.join(directory, "missing.json")
        fixtures = [fixture(name) for name in ("complete.json", "broken.json", "mistyped.json")]
        reports = [run_json(*args)[1] for args in (
            [ARGS.example], ["--host", "10.20.1.6", ARGS.example], ["--strict", accepted],
            ["--inventory", os.path.join(os.path.dirname(ARGS.example), "inventory.ini"),
             ARGS.example],
            ["--verbose", *fixtures], [missing])]
    for report in reports:
        errors = [f"{list(e.path)}: {e.message}" for e in validator.iter_errors(report)]
        check(not errors, f"a report does not validate: {errors[:3]}")
    first = reports[0]
    for wrong in ({**first, "format_version": 2}, {**first, "extra": 1},
                  {k: v for k, v in first.items() if k != "findings"}):
        check(not validator.is_valid(wrong), "a report of another shape validates")


# What renders as nothing, joins or reorders text.
INVISIBLE = ["\u00ad", "\u034f", "\u115f", "\u3164", "\ufeff", "\U000e0000", "\u202e",
             "\u2066", "\u200b", "\u2028"]


def case_safe_output():
    """Controls, invisible and reordering characters of the file or its name are escaped in every
    mode; no run of spaces from the file can push text onto a row of its own."""
    with tempfile.TemporaryDirectory() as directory:
        document = json.dumps({
            "connection_credentials": {"a\nb": "us\u001b]0;Title\u0007er:Pw-Safe-1",
                                       "c": "\u009b31m\u202eops:Pw-Safe-2",
                                       "i": "ro" + "".join(INVISIBLE) + "ot:Pw-Inv-1",
                                       "sp": "u" + " " * 200 + "x:Pw-Inv-2"},
            "target_systems": ["a\nb@10.0.0.1", "c@10.0.0.2", "\u001b[2J@10.0.0.3",
                               "c@10.0.0.\u001b[31m", "i@10.0.0.4", "sp@10.0.0.5",
                               "ro\u00adot@10.0.0.6"],
            "kms_credentials": ["a\u034fb"],
        }).encode() + b"\n// \xff comment bytes are no text\n"
        for name in ("plain.json", "bad-\xff-\x1b[31m-name.json".encode("latin-1").decode(
                "utf-8", "surrogateescape")):
            path = write_file(directory, name, document.replace(b"\xff", b" "))
            for args in ([], ["--verbose"], ["--reveal"], ["--all-keys"]):
                raw = subprocess.run([ARGS.tool, *args, path], capture_output=True,
                                     timeout=60, check=False).stdout
                controls = [b for b in raw if (b < 0x20 and b != 0x0a) or b == 0x7f]
                check(not controls, f"{args} {name!r}: raw control bytes {controls[:5]}")
                text = raw.decode("utf-8")  # raises on invalid UTF-8
                shown = [hex(ord(c)) for c in text if 0x80 <= ord(c) <= 0x9f or c in INVISIBLE]
                check(not shown, f"{args}: shown raw: {shown}")
                for escaped in ("us\\x1b]0;Title\\x07er@10.0.0.1", "'a\\nb@10.0.0.1'",
                                "ro\\u00ad\\u034f\\u115f", "u\\x20{200}x@10.0.0.5"):
                    check(escaped in text, f"{args}: {escaped!r} not shown")
                check(not any(" " * 48 in line for line in text.splitlines()),
                      f"{args}: a line holds a run of spaces from the file")
            raw = subprocess.run([ARGS.tool, "--json", path], capture_output=True, timeout=60,
                                 check=False).stdout
            check(not [b for b in raw if b < 0x20 and b != 0x0a], f"{name!r}: control in JSON")
            text = raw.decode("utf-8")
            check(not any(c in text for c in INVISIBLE), "--json holds an invisible code point raw")
            keys = [e["key"] for e in json.loads(text)["entries"]]
            check("us\u001b]0;Title\u0007er@10.0.0.1" in keys and keys[0].startswith("ro\u00ad"),
                  f"JSON does not keep the text: {keys!r}")


def case_bounded_padding():
    with tempfile.TemporaryDirectory() as directory:
        long_user = "u" * 1_000_000
        path = write_file(directory, "long.json", json.dumps({
            "connection_credentials": {"a": long_user + ":Pw-Long-1", "b": "v:Pw-Long-2"},
            "target_systems": ["a@10.0.0.1", "b@10.0.1.0/24"]}))
        done, every = run(path), run("--all-keys", path).stdout
        check(done.returncode == 0 and len(done.stdout) < 1_100_000
              and long_user + "@10.0.0.1" in done.stdout
              and f"\n  v@10.0.1.1 \u2026 v@10.0.1.254 (254 keys)  {MASK}  " in done.stdout,
              "the long key is not shown whole, once, or a run of keys is not one line")
        check(f"\n  v@10.0.1.1    {MASK}  " in every and f"\n  v@10.0.1.254  {MASK}  " in every,
              "short keys do not line up")



def case_shadowed_keys():
    with tempfile.TemporaryDirectory() as directory:
        path = write_file(directory, "shadow.json", json.dumps({
            "connection_credentials": {"a": "u:Pw-Shadow-1", "b": "u:Pw-Shadow-2"},
            "target_systems": ["a@10.0.0.0/30", "b@10.0.0.2", "a@10.0.0.1"]}))
        shadowed = [e for e in run_json(path)[1]["entries"] if "dropped" in e]
        check(shadowed == [{"key": "u@10.0.0.1", "value": MASK, "source": 0, "dropped": 1,
                            "different": 0, "first_dropped": [2]},
                           {"key": "u@10.0.0.2", "value": MASK, "source": 0, "dropped": 1,
                            "different": 1, "first_dropped": [1]}], f"shadowed {shadowed}")
        heading, body = section(run(path).stdout, "Shadowed keys")
        check(heading == "Shadowed keys (2)" and body == [
            "u@10.0.0.1: kept target_systems[0] 'a@10.0.0.0/30' (line 1:93)",
            "dropped target_systems[2] 'a@10.0.0.1' (line 1:124), the same password",
            "u@10.0.0.2: kept target_systems[0] 'a@10.0.0.0/30' (line 1:93)",
            "dropped target_systems[1] 'b@10.0.0.2' (line 1:110), a different password"],
            f"human {body}")
        _, body = section(run("--reveal", path).stdout, "Shadowed keys")
        check(body[2].endswith("'Pw-Shadow-1'") and "'Pw-Shadow-2'" in body[3], f"--reveal {body}")
        # A key asked for again with the same password is a note, counted as one.
        _, doc = run_json(write_file(directory, "note.json", json.dumps({
            "connection_credentials": {"a": "u:Pw-Shadow-1"},
            "target_systems": ["a@10.0.0.0/30", "a@10.0.0.2-5"]})))
        check([(f["rule"], f["severity"]) for f in doc["findings"]] == [("shadowed-key", "note")]
              and (doc["summary"]["notes"], doc["summary"]["warnings"]) == (1, 0), f"{doc}")

def case_host():
    path = fixture("complete.json")
    done = run("--host", "[FD00:0::1]", path)
    check(done.returncode == 0 and "Log records" not in done.stdout and
          section(done.stdout, "Entries for fd00::1") ==
          ("Entries for fd00::1 (1)", [f"svc_store@fd00::1  {MASK}  target_systems[2] "
                                       "'store@[FD00::0:1]' (line 10:5)"]), f"{done.stdout!r}")
    status, doc = run_json("--host", "10.1.0.2", path)
    check(status == 0 and doc["host"] == "10.1.0.2" and
          [e["key"] for e in doc["entries"]] == ["operator@10.1.0.2"], f"--json --host {doc}")
    done = run("--host", "10.1.0.99", path)
    check(section(done.stdout, "Entries for 10.1.0.99")[1] == ["(none)"], done.stdout)
    # Keys of the host in another letter case follow as a note: the first, and "…" for more.
    with tempfile.TemporaryDirectory() as directory:
        cased = write_file(directory, "cased.json", json.dumps({
            "connection_credentials": {"a": "u:Pw-Case-1", "b": "v:Pw-Case-2"},
            "target_systems": ["a@Bmc1.Lab", "b@bmc1.lab"]}).encode())
        notes = [line for line in run("--host", "BMC1.LAB", cased).stdout.splitlines()
                 if line.startswith("  note: ")]
        check(notes == ["  note: 2 keys differ only in letter case, and the tools, which look "
                        "keys up byte for byte, would not find them for BMC1.LAB: u@Bmc1.Lab, "
                        "\u2026"], f"--host BMC1.LAB: {notes}")

def case_diff():
    example = ARGS.example
    edited = os.path.join(os.path.dirname(example), "credentials-next.json")
    with tempfile.TemporaryDirectory() as directory:
        table = [
            (["--diff", example, example], 0),
            (["--json", "--diff", example, edited], 1),
            (["--diff", example, os.path.join(directory, "missing.json")], 2),
            (["--strict", "--diff", example, edited], 2),
            (["--diff", example, edited, "--min-password-bits", "5"], 2),
        ]
        for args, expected in table:
            done = run(*args)
            check(done.returncode == expected, f"{args}: exit {done.returncode}, not {expected}")
    shown = run("--diff", example, edited).stdout + run("--json", "--diff", example, edited).stdout
    leaked = [p for p in passwords_of(example) + passwords_of(edited) if p in shown]
    check(not leaked, f"--diff shows {len(leaked)} passwords")
    status, doc = run_json("--diff", example, edited)
    check(doc["summary"] == {"added": 8, "removed": 4, "changed": 2, "moved": 4},
          f"summary {doc['summary']}")
    check((doc["old"]["entries"], doc["new"]["entries"], doc["same_maps"]) == (19, 23, False),
          f"the files: {doc['old']}, {doc['new']}")
    check([c["key"] for c in doc["added"]] ==
          [f"svc_storage@10.20.2.{n}" for n in range(13, 21)], f"added {doc['added']}")
    changed = {c["key"]: c for c in doc["changed"]}
    new_source = doc["sources"]["new"][changed["admin@10.20.1.6"]["new"]["source"]]
    check(new_source["entry"] == "rescue@10.20.1.6",
          f"the shadowed key did not change hands: {changed}")
    _, body = section(run("--reveal", "--diff", example, edited).stdout, "Password changed")
    check("root@10.20.9.1 password changed: target_systems[6] '10.20.9.1' 'Def4ult-R00t' -> "
          "target_systems[7] '10.20.9.1' 'N3w-R00t-2027'" in body, f"--reveal --diff {body}")
    # The results: one line when both files give the same, else each; and a word when nothing
    # changed, rather than nothing.
    same = run("--diff", example, example).stdout
    check(section(same, "Result")[1] == [
        "both: RESULT_SUCCEED 0x00000000  Succeed.", "19 keys before, 19 after: 0 added, "
        "0 removed, 0 with another password, 0 from another entry"]
        and same.endswith("\n\nNo key differs.\n"), f"the same file: {same!r}")
    _, body = section(run("--diff", example, fixture("broken.json")).stdout, "Result")
    check(body[:2] == ["old: RESULT_SUCCEED 0x00000000  Succeed.",
                       "new: RESULT_INVALID_FILE 0x00000007  Invalid file.  detail: No credential "
                       "found in plain text file"], f"a file that broke: {body}")


def case_write_error():
    for args in ([fixture("complete.json")], ["--json", fixture("complete.json")], ["--help"]):
        with open("/dev/full", "w") as full:
            done = subprocess.run([ARGS.tool, *args], stdout=full, stderr=subprocess.PIPE,
                                  text=True, timeout=60, check=False)
        check(done.returncode == 2, f"{args} > /dev/full: exit {done.returncode}")
        check(done.stderr == "credcheck: cannot write to standard output: "
              "No space left on device\n", f"{args}: {done.stderr!r}")


def run_on_terminal(*args, env=None):
    full_env = dict(os.environ)
    full_env.pop("NO_COLOR", None)
    full_env["TERM"] = "xterm"  # whatever terminal the tests were started from
    full_env.update(env or {})
    master, slave = os.openpty()
    process = subprocess.Popen([ARGS.tool, *args], stdout=slave, stderr=subprocess.DEVNULL,
                               env=full_env)
    os.close(slave)
    chunks = []
    while True:
        try:
            data = os.read(master, 4096)
        except OSError:  # the terminal closes when the tool exits
            break
        if not data:
            break
        chunks.append(data)
    os.close(master)
    process.wait(timeout=60)
    return b"".join(chunks).decode()


def case_readme_example():
    """The README shows what the first command prints for the shipped example: it still does."""
    root = os.path.dirname(os.path.dirname(os.path.abspath(ARGS.example)))
    with open(os.path.join(root, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    shown = text.split("```\n", 2)[1]
    with tempfile.TemporaryDirectory() as directory:
        os.mkdir(os.path.join(directory, "examples"))
        os.mkdir(os.path.join(directory, ".git"))  # a clone of the sources, as run-example runs in
        copy = os.path.join(directory, "examples", "credentials.json")
        shutil.copyfile(ARGS.example, copy)
        os.chmod(copy, 0o644)
        done = subprocess.run([ARGS.tool, "examples/credentials.json"], capture_output=True,
                              text=True, cwd=directory, timeout=60, check=False)
    check(done.stdout == shown, "the README's example report differs from credcheck's:\n" +
          "\n".join(difflib.unified_diff(shown.splitlines(), done.stdout.splitlines(),
                                          "README.md", "credcheck", lineterm="")))
    # examples/README.md shows it too, indented, after the command that prints it.
    with open(os.path.join(root, "examples", "README.md"), encoding="utf-8") as walkthrough:
        lines = walkthrough.read().split("\n")
    first = lines.index("    $ build/tool/bin/credcheck examples/credentials.json") + 1
    indented = [line[4:] for line in lines[first:first + len(shown.splitlines())]]
    check(indented == shown.splitlines(), "examples/README.md shows another report")


STREAM_NOTE = "  read as a stream: the permissions and owner rules do not apply"


def without_file(doc):
    return {key: value for key, value in doc.items() if key != "file"}


def case_standard_input():
    """- reads standard input, and so does no file when standard input is not a terminal; on a
    terminal, no file is bad usage."""
    with tempfile.TemporaryDirectory() as directory:
        path = private_copy(directory, "complete.json")
        _, expected = run_json(path)
        for args in (["-"], []):
            status, doc = run_json(*args, stdin=path)
            check(status == 0 and doc["file"] == "-", f"{args}: exit {status}, file {doc['file']}")
            check(without_file(doc) == without_file(expected),
                  f"{args}: the report of standard input is not the file's")
        check(run("-", stdin=path).stdout.startswith("credcheck: -\n"), "the heading of -")
    master, terminal = os.openpty()
    try:
        done = subprocess.run([ARGS.tool], stdin=terminal, capture_output=True, text=True,
                              timeout=60, check=False)
    finally:
        os.close(terminal)
        os.close(master)
    lines = done.stderr.splitlines()
    check(done.returncode == 2 and done.stdout == "" and len(lines) == 3
          and "standard input is a terminal" in lines[0]
          and lines[1].startswith("Usage: credcheck ") and lines[2] == HINT,
          f"no file on a terminal: exit {done.returncode}, {done.stderr!r}")
    # Either side of --diff.
    example = ARGS.example
    edited = os.path.join(os.path.dirname(example), "credentials-next.json")
    _, expected = run_json("--diff", example, edited)
    for args, piped, side in ((["--diff", "-", edited], example, "old"),
                              (["--diff", example, "-"], edited, "new")):
        status, doc = run_json(*args, stdin=piped)
        check(status == 1 and doc[side]["file"] == "-", f"{args}: exit {status}, {doc[side]}")
        doc[side]["file"] = expected[side]["file"]
        check(doc == expected, f"{args}: differs from --diff of the files")


def case_stdin_filename():
    """--stdin-filename names standard input wherever a report names its file: what credcheck
    prints is the file's own report, but for the text report's note that a stream has no
    permissions to check."""
    name = "conf/creds.json"
    with tempfile.TemporaryDirectory() as directory:
        os.mkdir(os.path.join(directory, "conf"))
        with open(fixture("complete.json"), encoding="utf-8") as f:
            path = write_file(directory, name, f.read())
        # The file given as a relative path: the SARIF artifact's uri is that path.
        for args in ([], ["--format", "sarif"], ["--strict", "--json"],
                     ["--strict", "--format", "gcc"]):
            of_file = run(*args, name, cwd=directory)
            piped = run(*args, "--stdin-filename", name, "-", stdin=path, cwd=directory)
            shown = piped.stdout
            if not args:
                check(f"\n{STREAM_NOTE}\n" in shown, "the text report has no note of the stream")
                shown = shown.replace(f"{STREAM_NOTE}\n", "", 1)
            check((piped.returncode, shown) == (of_file.returncode, of_file.stdout),
                  f"{args}: standard input as {name} is not reported as the file")
        # The last, gcc: every line names the buffer's file.
        check(shown and all(line.startswith(f"{name}:") for line in shown.splitlines()),
              f"gcc lines {shown!r}")


def bytes_waiting(fd):
    """How many bytes the pipe or FIFO of `fd` holds that nobody has read yet."""
    return struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0" * 4))[0]


def wait_until_read(fd, process):
    """Waits until `process` has read everything the pipe of `fd` holds."""
    deadline = time.monotonic() + 30
    while bytes_waiting(fd) > 0:
        check(process.poll() is None, f"{process.args[0]} exited before it read its input")
        check(time.monotonic() < deadline, f"{process.args[0]} does not read its input")
        time.sleep(0.01)


def run_on_fifo(fifo, text, *args):
    """credcheck `args` that reads `fifo`, which holds `text` once credcheck opens it and ends
    when credcheck has read it all."""
    holder = os.open(fifo, os.O_RDWR)  # a writer, so that the FIFO keeps what it is given
    try:
        os.write(holder, text.encode())
        process = subprocess.Popen([ARGS.tool, *args], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        wait_until_read(holder, process)
    finally:
        os.close(holder)  # the end of the stream
    stdout, _ = process.communicate(timeout=60)
    return stdout


def case_stream_file_rules():
    """The mode and owner of a pipe or a FIFO are not a credential file's: permissions and owner
    do not fire for them, and the text report says so. Standard input redirected from a file is
    that file, and they do."""
    root = os.geteuid() == 0
    file_rules = {"permissions", "owner"} if root else {"permissions"}
    with tempfile.TemporaryDirectory() as directory:
        path = write_file(directory, "open.json", CLEAN_FILE, mode=0o644)
        fifo = os.path.join(directory, "open.fifo")
        os.mkfifo(fifo)
        os.chmod(fifo, 0o644)
        if root:
            for given_away in (path, fifo):
                os.chown(given_away, 65534, 65534)
        with open(path, encoding="utf-8") as redirected:
            table = [
                ("the file", lambda *a: run(*a, path).stdout, file_rules),
                ("standard input redirected from it",
                 lambda *a: run(*a, "-", stdin=redirected).stdout, file_rules),
                ("a pipe", lambda *a: run(*a, "-", stdin=path).stdout, set()),
                ("a FIFO", lambda *a: run_on_fifo(fifo, CLEAN_FILE, *a, fifo), set()),
            ]
            for name, report, rules in table:
                found = {f["rule"] for f in json.loads(report("--json"))["findings"]}
                check(found & {"permissions", "owner"} == rules, f"{name}: findings {found}")
                noted = STREAM_NOTE in report().splitlines()
                check(noted == (not rules), f"{name}: the note of a stream is shown: {noted}")


def case_stream_past_limit():
    """A stream longer than 256 MiB is not parsed at all: credcheck says so and stops with exit
    2, and what it wrote stays whole: the JSON array closed, the SARIF log saying which file it
    did not read."""
    with tempfile.TemporaryDirectory() as directory:
        path = private_copy(directory, "complete.json")
        for format_name in ("json", "sarif"):
            with subprocess.Popen(["head", "-c", str((256 << 20) + 1), "/dev/zero"],
                                  stdout=subprocess.PIPE) as feed:
                done = subprocess.run([ARGS.tool, "--format", format_name, "--stdin-filename",
                                       "big\x1b.json", path, "-"], stdin=feed.stdout,
                                      capture_output=True, text=True, timeout=120, check=False)
                feed.stdout.close()
            check(done.returncode == 2 and done.stderr == "credcheck: cannot read big\\x1b.json: "
                  "longer than 256 MiB, the most read from a stream\n", f"{done.returncode} {done}")
            written = json.loads(done.stdout)
            if format_name == "json":
                check([report["file"] for report in written] == [path], f"{done.stdout[:200]!r}")
            else:
                (notice,) = written["runs"][0]["invocations"][0]["toolExecutionNotifications"]
                check(notice["message"]["text"].endswith("longer than 256 MiB, the most read "
                                                         "from a stream"), f"{notice}")


def cores_after_abort(command, fifo, directory):
    """Starts `command` on `fifo` in `directory`, with no limit on the size of a core, waits until
    it has read what the FIFO holds and so waits for more, sends it SIGABRT and returns the core
    files left in `directory`."""
    holder = os.open(fifo, os.O_RDWR)  # a writer, so that the FIFO does not end
    process = None
    try:
        os.write(holder, b"{")
        process = subprocess.Popen(
            [*command, fifo], cwd=directory, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY,
                                                                         resource.RLIM_INFINITY)))
        wait_until_read(holder, process)
        process.send_signal(signal.SIGABRT)
        process.wait(timeout=60)
    finally:
        os.close(holder)
        if process is not None and process.poll() is None:
            process.kill()
            process.wait(timeout=60)
    check(process.returncode == -signal.SIGABRT, f"{command[0]}: exit {process.returncode}")
    return [name for name in os.listdir(directory) if name.startswith("core")]


def case_not_dumpable():
    """credcheck holds every password of the files it reads: a signal that dumps core leaves no
    core of it, where a plain process in its place leaves one."""
    with tempfile.TemporaryDirectory() as directory:
        fifo = os.path.join(directory, "credentials.fifo")
        os.mkfifo(fifo, 0o600)
        for command in (["cat"], [ARGS.tool]):
            cores = cores_after_abort(command, fifo, directory)
            if command == ["cat"] and not cores:
                print("skipped: this system writes no core file into the working directory")
                return
            check(bool(cores) == (command == ["cat"]), f"{command[0]} leaves cores {cores}")
            for core in cores:
                os.remove(os.path.join(directory, core))


def case_installed_tool():
    with tempfile.TemporaryDirectory() as prefix:
        done = subprocess.run([ARGS.cmake, "--install", ARGS.build_dir, "--prefix", prefix],
                              capture_output=True, text=True, timeout=300, check=False)
        check(done.returncode == 0, f"install failed:\n{done.stdout}{done.stderr}")
        tool = os.path.join(prefix, "bin", "credcheck")
        installed = os.path.join(prefix, "share", "PlainTextFileParser", "examples",
                                 "credentials.json")
        check(os.path.isfile(installed), "the example is not installed")
        done = run(installed, tool=tool)
        check(done.returncode == 0, f"installed tool: exit {done.returncode}\n{done.stderr}")
        first = done.stdout.splitlines()[0]
        check(first == f"credcheck: {installed}", f"installed tool checks {first!r}")
        # The walk it runs is the installed library's: no copy of it in the tool.
        needed = subprocess.run(["readelf", "-d", tool], capture_output=True, text=True,
                                check=True).stdout
        check("[libPlainTextFileParser.so.1]" in needed, "credcheck does not link the library")
        defined = subprocess.run(["nm", "-C", "--defined-only", tool], capture_output=True,
                                 text=True, check=True).stdout
        check(" T plain_text_detail::parse_credential_file(" not in defined,
              "credcheck holds the walk itself")


# Keys for a /24, node[001-050] and two hosts the inventories lack.
FLEET = json.dumps({"connection_credentials": {"ops": "root:Zq8!vLr2#pXw9-Kt4"},
                    "target_systems": ["ops@10.0.0.0/24", "ops@node[001-050].lab",
                                       "ops@10.9.9.1-2"]})
FLEET_INVENTORIES = {
    "fleet.ini": "[net]\n10.0.0.0/23\n[nodes]\nnode[001:060].lab\n",
    "fleet.yaml": "all:\n  hosts:\n    10.0.0.0/23:\n    node[001:060].lab:\n",
    "fleet.list": "10.0.0.0/23\n# credcheck-ignore no-credential: racked next week\n"
                  "node[001-060].lab\n",
}


def case_inventory_coverage():
    """Each form of one inventory gives the same counts; the findings stand in the inventory
    for every format, --strict fails on them, and an inventory's own comment accepts one."""
    with tempfile.TemporaryDirectory() as directory:
        creds = write_file(directory, "fleet.json", FLEET)
        paths = {name: write_file(directory, name, text)
                 for name, text in FLEET_INVENTORIES.items()}
        expected = {"inventory_hosts": 570, "covered": 304, "not_covered": 266, "keys_outside": 2}
        for name, path in paths.items():
            status, report = run_json("--inventory", path, creds)
            check(status == 0 and report["coverage"] == expected, f"{name}: {report['coverage']}")
        status, report = run_json("--inventory", paths["fleet.ini"], creds)
        found = [(f["rule"], f.get("file"), f["line"], f["column"], f["message"])
                 for f in report["findings"]]
        check(found == [
            ("outside-inventory", None, 1, 126, "target_systems[2] 'ops@10.9.9.1-2': "
             "root@10.9.9.[1-2] (2 keys) reach hosts in no inventory"),
            ("no-credential", paths["fleet.ini"], 2, 1,
             "no key for 10.0.0.255-10.0.1.254 (256 hosts)"),
            ("no-credential", paths["fleet.ini"], 4, 1, "no key for node[051-060].lab (10 hosts)"),
        ], f"findings {found}")
        gcc = run("--strict", "--format", "gcc", "--inventory", paths["fleet.ini"], creds)
        check(gcc.returncode == 1 and f"{paths['fleet.ini']}:4:1: warning: no key for "
              "node[051-060].lab (10 hosts) [no-credential]" in gcc.stdout.splitlines(), gcc)
        status, log = sarif_of("--inventory", paths["fleet.ini"], creds)
        artifacts = [a["location"]["uri"] for a in log["runs"][0]["artifacts"]]
        places = {r["locations"][0]["physicalLocation"]["artifactLocation"]["index"]
                  for r in log["runs"][0]["results"] if r["ruleId"] == "no-credential"}
        check(artifacts == [creds, paths["fleet.ini"]] and places == {1}, f"{artifacts} {places}")
        text = run("--inventory", paths["fleet.list"], creds).stdout
        check(section(text, "Coverage")[1][1:] == [
            "570 inventory hosts: 304 covered, 266 not covered (see Findings: no-credential)",
            "2 keys for hosts in no inventory (see Findings: outside-inventory)"]
              and "; 1 accepted" in text and "node[051-060]" not in text, text)
        done = run("--strict", "--ignore", "no-credential", "--ignore", "outside-inventory",
                   "--inventory", paths["fleet.yaml"], creds)
        check(done.returncode == 0, f"--ignore leaves the findings in: {done.stdout}")
    # The shipped inventories list one fleet in each form, and examples/README.md shows the
    # Coverage section they give.
    examples = os.path.dirname(ARGS.example)
    reports = [run("--inventory", os.path.join(examples, name), ARGS.example).stdout
               for name in ("inventory.txt", "inventory.ini", "inventory.yaml", "hosts")]
    counts = {tuple(section(text, "Coverage")[1][1:]) for text in reports}
    with open(os.path.join(examples, "README.md"), encoding="utf-8") as walkthrough:
        shown = walkthrough.read()
    check(len(counts) == 1 and all(line in shown for line in next(iter(counts))),
          f"coverage of the examples {counts}")


def case_inventory_bad_input():
    """An unreadable inventory stops the run; malformed lines, ranges past the bound and aliases
    that multiply are findings located in the inventory, its text escaped."""
    with tempfile.TemporaryDirectory() as directory:
        creds = write_file(directory, "fleet.json", FLEET)
        missing = os.path.join(directory, "missing.ini")
        done = run("--inventory", missing, creds)
        check(done.returncode == 2 and done.stdout == "" and done.stderr ==
              f"credcheck: cannot read the inventory {missing}: No such file or directory\n", done)
        laughs = "all:\n  children:\n    g0: &g0 {hosts: {h: }}\n" + "".join(
            f"    g{n}: &g{n} {{children: {{" +
            ", ".join(f"{c}: *g{n - 1}" for c in "abcdefghij") + "}}\n" for n in range(1, 10))
        table = [
            ("bad.ini", "[web]\nweb01 port\nweb[0:70000].lab\nw\x1b]0;x\x07 a=b\n",
             [(2, 7), (3, 1), (4, 1)]),
            ("laughs.yaml", laughs, [(None, None)]),
        ]
        for name, text, places in table:
            path = write_file(directory, name, text)
            started = time.monotonic()
            status, report = run_json("--inventory", path, creds)
            problems = [(f["line"], f["column"]) for f in report["findings"]
                        if f["rule"] == "inventory-problem" and f["file"] == path]
            check(status == 0 and problems == places and time.monotonic() - started < 10,
                  f"{name}: {report['findings']}")
            check("\x1b" not in run("--inventory", path, creds).stdout, f"{name}: raw escape")
        for args in (["--diff", "--inventory", path, creds, creds],
                     ["--inventory-format", "plain", creds],
                     ["--inventory", "-", "-"],
                     ["--inventory", "", creds]):
            done = run(*args)
            check(done.returncode == 2 and done.stderr.endswith(f"\n{HINT}\n"), f"{args}: {done}")


CASES = {name[len("case_"):]: function for name, function in globals().items()
         if name.startswith("case_")}


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--tool", "--fixtures", "--example", "--version", "--cmake", "--build-dir",
                   "--schema"):
        parser.add_argument(option, required=True)
    parser.add_argument("case", choices=sorted(CASES))
    ARGS = parser.parse_args()
    try:
        CASES[ARGS.case]()
    except Failure as failure:
        print(f"FAIL {ARGS.case}: {failure}", file=sys.stderr)
        return 1
    print(f"ok {ARGS.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
