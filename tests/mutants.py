#!/usr/bin/env python3
"""Applies the faults of tests/mutants.txt to the library one at a time, builds and runs the
test program each names, and prints which were killed (the program failed or hung) and which
survived. Used by ./kv mutants: python3 tests/mutants.py BUILD_DIR [REGEX], REGEX choosing the lines."""
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LINE = re.compile(r"^(?P<file>[^:\s]+):(?P<line>\d+): (?P<old>.+?) => (?P<new>.*?)\s+"
                  r"\[(?P<program>\S+)(?: (?P<filter>\S+))?\]$")
TIMEOUT = int(os.environ.get("KV_MUTANT_TIMEOUT", "300"))


def parse(path):
    faults = []
    with open(path, encoding="utf-8") as f:
        for number, text in enumerate(f, 1):
            text = text.rstrip("\n")
            if not text.strip() or text.startswith("#"):
                continue
            m = LINE.match(text)
            if not m:
                sys.exit(f"{path}:{number}: not FILE:LINE: OLD => NEW  [PROGRAM [FILTER]]")
            faults.append(m.groupdict() | {"text": text})
    return faults


def locate(lines, old, hint):
    """The line that holds the old text, or None: lines move, text stays. Text found on several
    lines must be on the hint's line, or the fault could move to another of them unseen."""
    found = [i for i, line in enumerate(lines) if old in line]
    if len(found) > 1:
        return hint - 1 if hint - 1 in found else None
    return found[0] if found else None


def run(command, timeout=None):
    try:
        return subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def build(build_dir, program):
    return run(["cmake", "--build", build_dir, "--target", program]) == 0


def test(build_dir, fault):
    command = [os.path.join(build_dir, "bin", fault["program"])]
    if fault["filter"]:
        command.append("--gtest_filter=" + fault["filter"])
    return run(command, TIMEOUT)


def main():
    build_dir = os.path.abspath(sys.argv[1])
    pattern = sys.argv[2] if len(sys.argv) > 2 else ""
    faults = [f for f in parse(os.path.join(ROOT, "tests", "mutants.txt"))
              if re.search(pattern, f["text"])]
    # The file being changed, restored whatever ends the run (Ctrl-C and kill too).
    pending = {}

    def restore(*_):
        for path, content in pending.items():
            with open(path, "wb") as f:
                f.write(content)
        pending.clear()

    def interrupted(*_):
        restore()
        sys.exit(130)

    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)

    for program in sorted({f["program"] for f in faults}):
        if not build(build_dir, program) or test(build_dir, {"program": program, "filter": None}) != 0:
            sys.exit(f"{program} does not build or pass without faults: nothing to measure")

    killed, survived, stale, unbuilt = [], [], [], []
    start = time.time()
    for n, fault in enumerate(faults, 1):
        path = os.path.join(ROOT, fault["file"])
        # A file that was moved or removed makes its faults stale, like text that changed.
        content = b""
        if os.path.isfile(path):
            with open(path, "rb") as f:
                content = f.read()
        lines = content.decode("utf-8").split("\n")
        at = locate(lines, fault["old"], int(fault["line"])) if content else None
        where = f"{fault['file']}:{at + 1 if at is not None else fault['line']}"
        label = f"{where}: {fault['old']} => {fault['new']}"
        if at is None:
            stale.append(label)
            print(f"[{n}/{len(faults)}] stale     {label}", flush=True)
            continue
        lines[at] = lines[at].replace(fault["old"], fault["new"], 1)
        pending[path] = content
        try:
            with open(path, "wb") as f:
                f.write("\n".join(lines).encode("utf-8"))
            if not build(build_dir, fault["program"]):
                outcome, group = "unbuilt", unbuilt
            else:
                result = test(build_dir, fault)
                outcome, group = ("survived", survived) if result == 0 else ("killed", killed)
        finally:
            restore()
        group.append(label)
        print(f"[{n}/{len(faults)}] {outcome:9} {label}  [{fault['program']}]", flush=True)

    measured = len(killed) + len(survived)
    print(f"\n{len(killed)} killed, {len(survived)} survived, {len(stale)} stale, "
          f"{len(unbuilt)} did not build; kill rate {len(killed)} of {measured}"
          + (f" ({100 * len(killed) / measured:.0f} %)" if measured else "")
          + f", in {time.time() - start:.0f} s")
    for label in survived:
        print("survived: " + label)
    for label in stale:
        print("stale:    " + label)
    # Rebuild what the last fault left, so that the folder holds the library as it is.
    for program in sorted({f["program"] for f in faults}):
        build(build_dir, program)
    return 1 if survived or stale else 0


if __name__ == "__main__":
    sys.exit(main())
