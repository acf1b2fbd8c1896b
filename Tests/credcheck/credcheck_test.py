#!/usr/bin/env python3
"""Runs the built credcheck on the fixture files and checks what it prints and returns.

Usage: credcheck_test.py --tool PATH --fixtures DIR --example FILE --version X.Y.Z
                         --cmake PATH --build-dir DIR CASE

Each CASE is one function below; CTest runs each as a test of its own.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

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


def run(*args, env=None, tool=None):
    full_env = dict(os.environ)
    full_env.pop("NO_COLOR", None)
    full_env.update(env or {})
    return subprocess.run([tool or ARGS.tool, *args], capture_output=True, text=True,
                          env=full_env, timeout=60, check=False)


def run_json(*args):
    done = run("--json", *args)
    try:
        return done.returncode, json.loads(done.stdout)
    except json.JSONDecodeError as error:
        raise Failure(f"--json {args} did not print JSON ({error})") from None


def strip_comments(text):
    """The text with // and /* */ comments outside strings blanked out."""
    out, i, in_string = [], 0, False
    while i < len(text):
        c = text[i]
        if in_string:
            out.append(c)
            if c == "\\":
                out.append(text[i + 1])
                i += 1
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
            out.append(c)
        elif text.startswith("//", i):
            i = text.find("\n", i)
            i = len(text) if i < 0 else i
            continue
        elif text.startswith("/*", i):
            i = text.index("*/", i) + 2
            out.append(" ")
            continue
        else:
            out.append(c)
        i += 1
    return "".join(out)


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


def case_exit_statuses():
    table = [
        ([fixture("complete.json")], 0),
        ([fixture("mistyped.json")], 1),
        ([fixture("broken.json")], 1),
        ([fixture("no-such-file.json")], 1),
        ([ARGS.fixtures], 1),
        (["--json", fixture("complete.json")], 0),
        (["--json", fixture("broken.json")], 1),
        (["--bogus"], 2),
        ([fixture("complete.json"), fixture("mistyped.json")], 2),
        (["--help"], 0),
        (["--version"], 0),
    ]
    for args, expected in table:
        got = run(*args).returncode
        check(got == expected, f"credcheck {args}: exit {got}, expected {expected}")


def case_result_section():
    table = [
        ("complete.json", 0, "RESULT_SUCCEED", "0x00000000", "Succeed.", ""),
        ("mistyped.json", 7, "RESULT_INVALID_FILE", "0x00000007", "Invalid file.",
         "No credential found in plain text file"),
        ("no-such-file.json", 6, "RESULT_FILE_NOT_EXIST", "0x00000006", "File doesn't exist.",
         "The plain text file not exists"),
    ]
    for name, code, constant, hex_code, message, detail in table:
        _, doc = run_json(fixture(name))
        expected = {"code": code, "hex": hex_code, "name": constant, "message": message,
                    "detail": detail}
        check(doc["result"] == expected, f"{name}: result {doc['result']}, expected {expected}")
        _, body = section(run(fixture(name)).stdout, "Result")
        check(body[0] == f"{constant} {hex_code}  {message}", f"{name}: result line {body[0]!r}")
        check(body[1] == f"detail: {detail or '(none)'}", f"{name}: detail line {body[1]!r}")


def case_passwords_masked():
    for name in ("complete.json", "mistyped.json", "broken.json"):
        for args in ([], ["--json"], ["--verbose"], ["--json", "--verbose"]):
            done = run(*args, fixture(name))
            for password in passwords_of(fixture(name)):
                check(password not in done.stdout + done.stderr,
                      f"credcheck {args} {name} shows a password")
    _, doc = run_json(fixture("complete.json"))
    check(doc["entries"], "complete.json hands out no entries")
    check(all(e["value"] == MASK for e in doc["entries"]),
          "not every --json value is the fixed mask")
    heading, body = section(run(fixture("complete.json")).stdout, "Entries")
    check(heading == f"Entries ({len(doc['entries'])})", f"entries heading {heading!r}")
    unmasked = [line.split()[0] for line in body if not line.endswith("  " + MASK)]
    check(not unmasked, f"entries shown without the mask: {unmasked}")


def case_example_passwords_masked():
    for args in ([], ["--json"]):
        done = run(*args, ARGS.example)
        check(done.returncode == 0, f"example: exit {done.returncode}")
        for password in passwords_of(ARGS.example):
            check(password not in done.stdout + done.stderr, f"{args}: example shows a password")


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
    status, doc = run_json(fixture("complete.json"))
    check(status == 0, f"exit {status}")
    check(set(doc) >= {"result", "entries", "records", "diagnostics"}, f"members {list(doc)}")
    keys = [e["key"] for e in doc["entries"]]
    check(keys == sorted(keys, key=lambda k: k.encode()), f"entries not sorted: {keys}")
    check(all(set(e) == {"key", "value"} for e in doc["entries"]), "entry members")
    check("operator@10.1.0.2" in keys and "svc_store@fd00::1" in keys, f"entry keys {keys}")
    for record in doc["records"]:
        check(set(record) == {"level", "file", "line", "text"}, f"record members {record}")
        check(isinstance(record["level"], int) and isinstance(record["line"], int),
              f"record numbers {record}")
    diagnostics = doc["diagnostics"]
    check(set(diagnostics) >= {"keys", "unknown_aliases", "parse_error", "permissions"},
          f"diagnostics members {list(diagnostics)}")
    check([k["key"] for k in diagnostics["keys"]] == KEYS, "diagnostics keys not in member order")
    bound = {k["key"]: k["bound"] for k in diagnostics["keys"]}
    check(bound == {"connection_credentials": 3, "target_systems": 6, "kms_credentials": 2,
                    "bmc_credentials": 2, "privpassword": 1, "newpassword": 1},
          f"bound counts {bound}")
    check(all(k["failure"] is None for k in diagnostics["keys"]), "failure on a bound key")
    check(diagnostics["parse_error"] is None, "parse_error on a valid document")


def case_log_records():
    expected = {"level": 1, "text": "The format of host <ops@10.1.0.999> is invalid"}
    trace = "Enter PlainTextParser::parse"
    for verbose in (False, True):
        args = ["--verbose"] if verbose else []
        _, doc = run_json(*args, fixture("complete.json"))
        texts = [r["text"] for r in doc["records"]]
        check(any(r["level"] == expected["level"] and r["text"] == expected["text"]
                  and r["file"] and r["line"] > 0 for r in doc["records"]),
              f"verbose={verbose}: rejected scope record missing from {doc['records']}")
        check((trace in texts) == verbose, f"verbose={verbose}: trace record shown: {texts}")
        check(verbose or all(r["level"] <= 3 for r in doc["records"]), "level 4 without --verbose")
        heading, body = section(run(*args, fixture("complete.json")).stdout, "Log records")
        check(heading == f"Log records ({len(doc['records'])})", f"records heading {heading!r}")
        check(any(expected["text"] in line for line in body), f"human records {body}")
        check(any(trace in line for line in body) == verbose, f"human trace record: {body}")


def case_unknown_aliases():
    _, doc = run_json(fixture("complete.json"))
    expected = [
        {"list": "target_systems", "entry": "ghost@10.1.9.9", "alias": "ghost"},
        {"list": "target_systems", "entry": "10.1.9.10", "alias": "default_alias"},
        {"list": "kms_credentials", "entry": "phantom-kms", "alias": "phantom-kms"},
        {"list": "bmc_credentials", "entry": "phantom-bmc", "alias": "phantom-bmc"},
    ]
    got = doc["diagnostics"]["unknown_aliases"]
    check(got == expected, f"unknown_aliases {got}")
    _, body = section(run(fixture("complete.json")).stdout, "Why keys are missing")
    for item in expected:
        check(any(f"'{item['entry']}'" in line and line.startswith(item["list"]) for line in body),
              f"human report does not name {item}")
    check(not any("lab@east" in line for line in body), "a known alias holding '@' is reported")


def case_mistyped_key():
    status, doc = run_json(fixture("mistyped.json"))
    check(status == 1, f"exit {status}")
    keys = {k["key"]: k for k in doc["diagnostics"]["keys"]}
    table = [  # key, bound, reason in the failure text
        ("connection_credentials", 2, None),
        ("target_systems", None, "value is not an array"),
        ("kms_credentials", 0, None),
        ("bmc_credentials", None, "value is not a string"),
        ("privpassword", None, "value is not a string"),
        ("newpassword", None, "no referenced value"),
    ]
    for key, bound, reason in table:
        got = keys[key]
        check(got["bound"] == bound, f"{key}: bound {got['bound']}, expected {bound}")
        if reason is None:
            check(got["failure"] is None, f"{key}: failure {got['failure']!r}")
            continue
        failure = got["failure"]
        check(failure.startswith(f"[assign failure](/{key} >> ") and reason in failure,
              f"{key}: failure {failure!r}")
        check(not failure.endswith("\n"), f"{key}: failure keeps its newline")
    _, body = section(run(fixture("mistyped.json")).stdout, "Why keys are missing")
    check(any(line.startswith("target_systems: bound nothing") and "value is not an array" in line
              for line in body), f"human diagnostics {body}")


def case_broken_document():
    status, doc = run_json(fixture("broken.json"))
    check(status == 1, f"exit {status}")
    # The trailing comma of line 5 is refused at the "]" that follows it.
    expected = {"message": "syntax error", "line": 5, "column": 37}
    check(doc["diagnostics"]["parse_error"] == expected,
          f"parse_error {doc['diagnostics']['parse_error']}")
    check(all(k["bound"] is None and "syntax error" in k["failure"]
              for k in doc["diagnostics"]["keys"]), "a key of a broken document bound")
    _, body = section(run(fixture("broken.json")).stdout, "Why keys are missing")
    check("document: does not parse: syntax error at line 5, column 37" in body,
          f"human diagnostics {body}")


def case_unreadable_file():
    table = [
        (fixture("no-such-file.json"), "No such file or directory"),
        (ARGS.fixtures, "not a regular file"),
    ]
    for path, reason in table:
        status, doc = run_json(path)
        check(status == 1, f"{path}: exit {status}")
        check(doc["diagnostics"]["file_error"] == reason,
              f"{path}: file_error {doc['diagnostics']['file_error']!r}")
        check(doc["entries"] == [], f"{path}: entries {doc['entries']}")


def case_usage_errors():
    table = [
        (["--bogus"], "--bogus"),
        (["-x", fixture("complete.json")], "-x"),
        ([fixture("complete.json"), "surplus-argument"], "surplus-argument"),
    ]
    for args, named in table:
        done = run(*args)
        check(done.returncode == 2, f"{args}: exit {done.returncode}")
        check(done.stdout == "", f"{args}: wrote to standard output")
        lines = done.stderr.strip().splitlines()
        check(lines[-1] == HINT and named in done.stderr, f"{args}: stderr {done.stderr!r}")


def case_help_and_version():
    done = run("--help")
    for option in ("FILE", "--reveal", "--json", "--verbose", "--version"):
        check(option in done.stdout, f"--help does not mention {option}")
    done = run("--version")
    check(done.stdout.strip() == f"credcheck {ARGS.version}", f"--version: {done.stdout!r}")


def case_permission_warning():
    table = [(0o644, True), (0o640, True), (0o604, True), (0o600, False), (0o400, False)]
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "credentials.json")
        shutil.copyfile(fixture("complete.json"), path)
        for mode, warned in table:
            os.chmod(path, mode)
            done = run(path)
            check(done.returncode == 0, f"mode {mode:04o}: exit {done.returncode}")
            line = (f"warning: permissions {mode:04o} for '{path}' are too open; "
                    "credential files should be readable by their owner only (chmod 600)")
            check((line in done.stdout.splitlines()) == warned,
                  f"mode {mode:04o}: expected the warning: {warned}")
            _, doc = run_json(path)
            check((doc["diagnostics"]["permissions"] is not None) == warned,
                  f"mode {mode:04o}: permissions {doc['diagnostics']['permissions']!r}")


def run_on_terminal(*args, env=None):
    full_env = dict(os.environ)
    full_env.pop("NO_COLOR", None)
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


def case_colour():
    path = fixture("complete.json")
    check("\033[" in run_on_terminal(path), "no colour on a terminal")
    check("\033[" not in run_on_terminal(path, env={"NO_COLOR": "1"}), "colour despite NO_COLOR")
    check("\033[" not in run(path).stdout, "colour into a pipe")
    check("\033[" not in run_on_terminal("--json", path), "colour in --json output")


def case_default_file():
    done = run()
    check(done.returncode == 0, f"exit {done.returncode}")
    first = done.stdout.splitlines()[0]
    check(first == f"credcheck: {ARGS.example}", f"default file line {first!r}")


def case_installed_tool():
    with tempfile.TemporaryDirectory() as prefix:
        done = subprocess.run([ARGS.cmake, "--install", ARGS.build_dir, "--prefix", prefix],
                              capture_output=True, text=True, timeout=300, check=False)
        check(done.returncode == 0, f"install failed:\n{done.stdout}{done.stderr}")
        tool = os.path.join(prefix, "bin", "credcheck")
        installed = os.path.join(prefix, "share", "PlainTextFileParser", "examples",
                                 "credentials.json")
        check(os.path.isfile(installed), "the example is not installed")
        done = run(tool=tool)
        check(done.returncode == 0, f"installed tool: exit {done.returncode}\n{done.stderr}")
        first = done.stdout.splitlines()[0]
        check(first == f"credcheck: {installed}", f"installed tool checks {first!r}")


CASES = {name[len("case_"):]: function for name, function in globals().items()
         if name.startswith("case_")}


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--tool", "--fixtures", "--example", "--version", "--cmake", "--build-dir"):
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
