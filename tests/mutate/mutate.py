#!/usr/bin/env python3
"""Mutation run: does the suite notice small faults in the named files?

    ./dev.sh mutate [options] FILE[:FROM-TO] ...

Each mutant is one simple change to one file: a comparison made inclusive or
exclusive or turned round (< <= > >= == !=), + and - swapped, && and ||
swapped, a negation dropped, an integer constant moved by one, true and false
swapped, or a statement dropped (a call, an assignment, an emit, a connect).
For each, the copy of the tree in build-mutate/ gets the change, is rebuilt,
and the tests that cover the file run until one fails (killed) or all pass
(survived). A mutant that does not compile is not counted. A test that runs
past its time is counted as killed (the mutant hangs the program) and said so.

The working tree is never written: the sources are copied into
build-mutate/tree and built in build-mutate/build, so build/ and the files
being edited stay as they are. The mutated file is put back after each mutant,
whatever happens (an error, Ctrl-C, SIGTERM), and a run that was killed
outright puts it back when the next one starts.

Options:
  --tests a,b,c   the ctest names to run, in order (default: per folder, below)
  --pick N        N mutants picked at random over all files; --draw K picks
                  another N (default 1), the same K always the same ones
  --lines A-B     only mutants on lines A to B (FILE:A-B gives one file its own)
  --only KINDS    only these kinds: compare,arith,logic,negate,const,bool,drop
  --timeout S     seconds a test may run before the mutant counts as hanging
                  (default: five times what it took on the unchanged code, 30 at least)
  --out FILE      where the results go (default build-mutate/results-<time>.tsv)
  --list          print the mutants and stop
  --report FILE   print the summary of a results file again, with the
                  survivors named in equivalent.tsv as it now stands
  -j N            build jobs (default 2)
  --address       build with AddressSanitizer and UBSan (in build-mutate/build-asan),
                  as CANTREL_SANITIZE=address ./dev.sh test does: a read past an
                  end then fails the test that makes it

A survivor that changes nothing a user could see (a capacity hint, a guard
another guard already gives, dead code) is listed with its reason in
tests/mutate/equivalent.tsv; it is reported apart and not counted.
"""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = os.path.join(ROOT, "build-mutate")
TREE = os.path.join(WORK, "tree")
BUILD = os.path.join(WORK, "build")
SAVED = os.path.join(WORK, "saved")  # the file being mutated, as it was
EQUIVALENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "equivalent.tsv")

# The fast tests that cover each folder, quickest first so a mutant is
# usually killed early. The process-level tests (test_headless_run, ~40 s)
# only where nothing else reaches the code.
DEFAULT_TESTS = {
    "src/run": ["test_due_scan", "test_run_engine", "test_as_run_log", "test_run_mode"],
    "src/run/HeadlessRun.cpp": ["test_run_engine", "test_headless_run"],
    # The engine's tests pulse through a hook; only the real program's
    # reach the device, so they come last, for what the others let through.
    "src/run/RunEngine.cpp": ["test_due_scan", "test_run_engine", "test_as_run_log",
                              "test_run_mode", "test_headless_run"],
    "src/run/AsRunLog.cpp": ["test_as_run_log", "test_run_engine", "test_run_mode"],
    "src/platform": ["test_media_opener", "test_lossless_text", "test_document_files",
                     "test_file_dialogs", "test_qt_prompter", "test_settings"],
    # A worker's thread holding a descriptor shows only with thousands of them.
    "src/run/RowWorker.cpp": ["test_run_engine", "test_run_mode", "test_as_run_log",
                              "test_run_soak"],
    "src/run/WorkerDispatcher.cpp": ["test_run_engine", "test_run_soak"],
    "src/platform/MediaOpener.cpp": ["test_media_opener", "test_run_mode"],
    "src/platform/LockedFile.cpp": ["test_document_files", "test_settings", "test_as_run_log",
                                    "test_schedule_documents"],
}


def tests_for(path):
    if path in DEFAULT_TESTS:
        return DEFAULT_TESTS[path]
    folder = os.path.dirname(path)
    while folder:
        if folder in DEFAULT_TESTS:
            return DEFAULT_TESTS[folder]
        folder = os.path.dirname(folder)
    sys.exit(f"mutate: no default tests for {path}; name them with --tests")


# ---- finding mutants --------------------------------------------------------

def mask(text):
    """The text with comments, string and character literals and preprocessor
    lines blanked out (newlines kept), so offsets still match."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in " \t":
            i += 1
            continue
        if line_start and c == "#":
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if text[k] != "\n":
                    out[k] = " "
            i = j
        elif c == 'R' and text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            d = text.find("(", i)
            delim = ")" + text[i + 2:d] + '"'
            j = text.find(delim, d)
            j = n if j < 0 else j + len(delim)
            for k in range(i, j):
                if text[k] != "\n":
                    out[k] = " "
            i = j
        elif c in "\"'":
            # A digit separator (1'000) is no character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            j = min(n, j + 1)
            for k in range(i + 1, j - 1):
                out[k] = " "
            i = j
        else:
            i += 1
    return "".join(out)


COMPARE = {"<": ["<=", ">"], "<=": ["<", ">="], ">": [">=", "<"], ">=": [">", "<="],
           "==": ["!="], "!=": ["=="]}


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


class Mutant:
    def __init__(self, path, start, end, new, kind, text):
        self.path, self.start, self.end, self.new, self.kind = path, start, end, new, kind
        self.line = line_of(text, start)
        self.old = text[start:end]

    def describe(self):
        old = " ".join(self.old.split())
        new = " ".join(self.new.split()) if self.new.strip() != "{}" else "(dropped)"
        if len(old) > 70:
            old = old[:67] + "..."
        return f"{self.kind}: '{old}' -> '{new}'"


STATEMENT = re.compile(
    r"(emit\s|throw\s|[+-]{2}[A-Za-z_]|"
    r"[A-Za-z_][\w]*(\s*(\.|->|::)\s*[A-Za-z_~][\w]*)*\s*(\[[^\]]*\])?\s*"
    r"(\(|=[^=]|[+\-*/|&]=|\+\+|--))")


# Lines that start with these are no statement to drop whole.
KEYWORDS = {"if", "while", "for", "switch", "return", "case", "default", "do", "else", "sizeof",
            "static_assert", "Q_OBJECT", "Q_EMIT"}


def statement_end(masked, start):
    """The offset after the ';' that ends the statement at start, or None when
    a block begins first (a lambda's body inside parentheses is fine)."""
    depth = 0
    for i in range(start, len(masked)):
        c = masked[i]
        if c in "([":
            depth += 1
        elif c in ")]":
            depth -= 1
            if depth < 0:
                return None
        elif c == "{" and depth == 0:
            return None
        elif c == "}" and depth == 0:
            return None
        elif c == ";" and depth == 0:
            return i + 1
    return None


def find_mutants(path, text):
    masked = mask(text)
    found = []

    def add(start, end, new, kind):
        found.append(Mutant(path, start, end, new, kind, text))

    # Binary operators as the code is formatted: with a blank either side,
    # which keeps template brackets, ->, << and unary signs out.
    for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", masked):
        for new in COMPARE[m.group(1)]:
            add(m.start(), m.end(), new, "compare")
    for m in re.finditer(r"(?<=\s)([+-])(?=\s)", masked):
        add(m.start(), m.end(), "-" if m.group(1) == "+" else "+", "arith")
    for m in re.finditer(r"(?<=\s)([+-])=(?=\s)", masked):
        add(m.start(), m.end(), ("-" if m.group(1) == "+" else "+") + "=", "arith")
    for m in re.finditer(r"(\+\+|--)(?=[A-Za-z_(*])|(?<=[\w)\]])(\+\+|--)", masked):
        add(m.start(), m.end(), "--" if m.group(0) == "++" else "++", "arith")
    for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", masked):
        add(m.start(), m.end(), "||" if m.group(1) == "&&" else "&&", "logic")
    for m in re.finditer(r"!(?=[A-Za-z_(*])", masked):
        add(m.start(), m.end(), "", "negate")
    for m in re.finditer(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)(?![\w.])", masked):
        literal = m.group(1)
        value = int(literal, 16) if literal[:2].lower() == "0x" else int(literal)
        for new in (value + 1, value - 1):
            if new >= 0:
                add(m.start(), m.end(),
                    f"0x{new:X}" if literal[:2].lower() == "0x" else str(new),
                    "const")
    for m in re.finditer(r"\b(true|false)\b", masked):
        add(m.start(), m.end(), "false" if m.group(1) == "true" else "true", "bool")
    # Statements that start a line: calls, assignments, emits, connects.
    for m in re.finditer(r"(?m)^[ \t]+(?=\S)", masked):
        start = m.end()
        head = STATEMENT.match(masked, start)
        word = re.match(r"\w*", masked[start:]).group(0)
        if not head or word in KEYWORDS:
            continue
        # A declaration (a type, then a name) is no statement to drop.
        first = re.match(r"[A-Za-z_][\w:<>,]*\s+[A-Za-z_&*]", masked[start:start + 200])
        if first and not masked.startswith(("emit", "throw"), start):
            continue
        end = statement_end(masked, start)
        if end is not None:
            add(start, end, "{}", "drop")
    found.sort(key=lambda mu: (mu.start, mu.kind, mu.new))
    return found


def read_equivalent():
    """(file, source line, change) -> why, from equivalent.tsv."""
    known = {}
    if os.path.exists(EQUIVALENT):
        with open(EQUIVALENT) as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    path, source, change, why = line.rstrip("\n").split("\t")
                    known[(path, source.strip(), change)] = why
    return known


def equivalent_key(mutant, text):
    """The file, the mutated line after the one before it that is not blank
    ("before / line"), and the change: it holds while the lines move."""
    lines = text.splitlines()
    before = next((l.strip() for l in reversed(lines[:mutant.line - 1]) if l.strip()), "")
    source = before + " / " + lines[mutant.line - 1].strip()
    return (mutant.path, source, mutant.describe().split(": ", 1)[1])


# ---- running ----------------------------------------------------------------

def say(*parts):
    print(*parts, flush=True)


def git_files():
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                            check=True, capture_output=True).stdout.decode()
    return [f for f in listed.split("\0") if f and os.path.isfile(os.path.join(ROOT, f))]


def restore_saved():
    """Puts back any file a run left mutated."""
    if not os.path.isdir(SAVED):
        return
    for folder, _, names in os.walk(SAVED):
        for name in names:
            saved = os.path.join(folder, name)
            relative = os.path.relpath(saved, SAVED)
            shutil.copyfile(saved, os.path.join(TREE, relative))
            os.remove(saved)
            say(f"mutate: put back {relative}, left mutated by an earlier run")


def sync_tree():
    """The copy matches the working tree; unchanged files keep their times,
    so only what changed is rebuilt."""
    wanted = set(git_files())
    for relative in wanted:
        source = os.path.join(ROOT, relative)
        target = os.path.join(TREE, relative)
        with open(source, "rb") as f:
            data = f.read()
        if os.path.exists(target):
            with open(target, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        shutil.copymode(source, target)
    for folder, _, names in os.walk(TREE):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), TREE)
            if relative not in wanted:
                os.remove(os.path.join(folder, name))


def build(targets, jobs, quiet=True):
    result = subprocess.run(["cmake", "--build", BUILD, "-j", str(jobs), "--target", *targets],
                            capture_output=quiet)
    return result.returncode == 0


CURRENT = []  # the test run under way, for a stop to end it with its children


def run_test(name, timeout):
    """'pass', 'fail' or 'timeout'. The tests' own TIMEOUT property outlasts
    any --timeout given to ctest, so the time is kept here, and a test that
    runs past it is ended with everything it started."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    run = subprocess.Popen(["ctest", "--test-dir", BUILD, "-R", f"^{name}$", "--output-on-failure"],
                           env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           start_new_session=True)
    CURRENT.append(run)
    try:
        run.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        end_group(run)
        return "timeout"
    finally:
        CURRENT.remove(run)
    if run.returncode != 0:
        end_group(run)  # anything it left behind
    return "pass" if run.returncode == 0 else "fail"


def end_group(run):
    try:
        os.killpg(run.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    run.wait()


def parse_lines(span):
    a, _, b = span.partition("-")
    return int(a), int(b or a)


class Restorer:
    """Writes a mutant into the copy and puts the file back whatever happens."""

    def __init__(self):
        self.path = None
        self.text = None

    def apply(self, mutant, text):
        self.path, self.text = mutant.path, text
        saved = os.path.join(SAVED, mutant.path)
        os.makedirs(os.path.dirname(saved), exist_ok=True)
        with open(saved, "w") as f:
            f.write(text)
        with open(os.path.join(TREE, mutant.path), "w") as f:
            f.write(text[:mutant.start] + mutant.new + text[mutant.end:])

    def restore(self):
        if self.path is None:
            return
        with open(os.path.join(TREE, self.path), "w") as f:
            f.write(self.text)
        os.remove(os.path.join(SAVED, self.path))
        self.path = None


def report(results):
    """The summary of a results file, by folder, with equivalent.tsv applied."""
    known = read_equivalent()
    counts = {}
    survivors = []
    with open(results) as f:
        next(f)
        for line in f:
            path, number, _, change, verdict, by, source = line.rstrip("\n").split("\t")
            key = (path, source, change.split(": ", 1)[1])
            if verdict in ("survived", "equivalent"):
                verdict = "equivalent" if key in known else "survived"
                if verdict == "survived":
                    survivors.append(f"{path}:{number} {change}")
            folder = os.path.dirname(path)
            counts.setdefault(folder, {}).setdefault(verdict, 0)
            counts[folder][verdict] += 1
    for folder, c in sorted(counts.items()):
        killed, survived = c.get("killed", 0), c.get("survived", 0)
        say(f"{folder}: {killed} killed, {survived} survived, {c.get('equivalent', 0)} change"
            f" nothing a user could see, {c.get('not built', 0)} did not compile;"
            f" {killed}/{killed + survived} killed")
    for s in survivors:
        say(f"  survived  {s}")
    return 0


def main():
    parser = argparse.ArgumentParser(prog="./dev.sh mutate", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="*")
    parser.add_argument("--report")
    parser.add_argument("--tests")
    parser.add_argument("--pick", type=int)
    parser.add_argument("--draw", type=int, default=1)
    parser.add_argument("--lines")
    parser.add_argument("--only")
    parser.add_argument("--timeout", type=int)
    parser.add_argument("--out")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("-j", dest="jobs", type=int, default=2)
    parser.add_argument("--address", action="store_true")
    args = parser.parse_args()
    if args.report:
        return report(args.report)
    if not args.files:
        parser.error("name the files to mutate")

    mutants = []
    for named in args.files:
        path, _, lines = named.partition(":")
        path = os.path.relpath(os.path.abspath(path), ROOT)
        if not os.path.isfile(os.path.join(ROOT, path)):
            sys.exit(f"mutate: no such file {path}")
        lines = lines or args.lines
        with open(os.path.join(ROOT, path)) as f:
            found = find_mutants(path, f.read())
        if lines:
            a, b = parse_lines(lines)
            found = [m for m in found if a <= m.line <= b]
        if args.only:
            kinds = set(args.only.split(","))
            found = [m for m in found if m.kind in kinds]
        mutants += found
    if args.pick is not None and args.pick < len(mutants):
        random.Random(args.draw).shuffle(mutants)
        mutants = sorted(mutants[:args.pick], key=lambda m: (m.path, m.start))
    if args.list:
        for m in mutants:
            say(f"{m.path}:{m.line}\t{m.describe()}")
        say(f"{len(mutants)} mutants")
        return 0
    if not mutants:
        sys.exit("mutate: no mutants")

    global BUILD
    flags = ["-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS_DEBUG=-O0"]
    if args.address:
        BUILD = os.path.join(WORK, "build-asan")
        flags = ["-DCANTREL_SANITIZE=ON", "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS_DEBUG=-O1"]
        supp = os.path.join(TREE, "tests/sanitizer/lsan.supp")
        os.environ["LSAN_OPTIONS"] = f"suppressions={supp}:print_suppressions=0"
    restorer = Restorer()

    def stop(signum, _frame):
        for run in list(CURRENT):
            end_group(run)
        restorer.restore()
        say(f"mutate: stopped by signal {signum}; the tree is as it was")
        sys.exit(128 + signum)

    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, stop)

    os.makedirs(TREE, exist_ok=True)
    restore_saved()
    sync_tree()
    if subprocess.run(["cmake", "-S", TREE, "-B", BUILD, "-G", "Ninja", "-DCANTREL_BENCH=OFF",
                       *flags],
                      capture_output=True).returncode != 0:
        sys.exit("mutate: cmake failed in build-mutate")

    # One set of tests per file; each file's tests are built once unchanged,
    # and must pass before any mutant of it counts.
    plan = {}
    for m in mutants:
        if m.path not in plan:
            plan[m.path] = args.tests.split(",") if args.tests else tests_for(m.path)
    targets = sorted({t for tests in plan.values() for t in tests} | {"cantrel", "cantrel-devsim"})
    say(f"mutate: building {', '.join(targets)} in build-mutate (unchanged)")
    if not build(targets, args.jobs, quiet=False):
        sys.exit("mutate: the unchanged tree does not build")
    timeouts = {}
    for test in sorted({t for tests in plan.values() for t in tests}):
        began = time.monotonic()
        verdict = run_test(test, 900)
        took = time.monotonic() - began
        if verdict != "pass":
            sys.exit(f"mutate: {test} fails on the unchanged code; fix that first")
        timeouts[test] = args.timeout or max(30, int(5 * took))
        say(f"mutate: {test} passes unchanged in {took:.0f} s; time allowed {timeouts[test]} s")

    out = args.out or os.path.join(WORK, time.strftime("results-%Y%m%d-%H%M%S.tsv"))
    counts = {"killed": 0, "survived": 0, "not built": 0, "equivalent": 0}
    known = read_equivalent()
    equivalents = []
    hung = 0
    survivors = []
    texts = {}
    with open(out, "w") as results:
        results.write("file\tline\tkind\tchange\tverdict\tby\tsource line\n")
        for k, m in enumerate(mutants, 1):
            if m.path not in texts:
                with open(os.path.join(TREE, m.path)) as f:
                    texts[m.path] = f.read()
            text = texts[m.path]
            began = time.monotonic()
            by = ""
            try:
                restorer.apply(m, text)
                if not build(plan[m.path], args.jobs):
                    verdict = "not built"
                else:
                    verdict = "survived"
                    for test in plan[m.path]:
                        outcome = run_test(test, timeouts[test])
                        if outcome != "pass":
                            verdict = "killed"
                            hangs = outcome == "timeout"
                            by = test + (" (hangs: ran past its time)" if hangs else "")
                            hung += outcome == "timeout"
                            break
            finally:
                restorer.restore()
            if verdict == "survived" and equivalent_key(m, text) in known:
                verdict = "equivalent"
                by = known[equivalent_key(m, text)]
                equivalents.append((m, by))
            counts[verdict] += 1
            if verdict == "survived":
                survivors.append(m)
            say(f"[{k}/{len(mutants)}] {m.path}:{m.line} {m.describe()}  {verdict}"
                f"{' by ' + by if by else ''}  ({time.monotonic() - began:.0f} s)")
            results.write(f"{m.path}\t{m.line}\t{m.kind}\t{m.describe()}\t{verdict}\t{by}\t"
                          f"{equivalent_key(m, text)[1]}\n")
            results.flush()
    # The unchanged file goes back into the build, so the next run starts clean.
    build(sorted({t for tests in plan.values() for t in tests}), args.jobs)

    counted = counts["killed"] + counts["survived"]
    say("")
    say(f"mutate: {counts['killed']} killed ({hung} of them by hanging),"
        f" {counts['survived']} survived,"
        f" {counts['equivalent']} change nothing a user could see, {counts['not built']} did not"
        f" compile; {counts['killed']}/{counted} killed"
        + (f" ({100 * counts['killed'] / counted:.0f}%)" if counted else ""))
    for m, why in equivalents:
        say(f"  equivalent  {m.path}:{m.line} {m.describe()}: {why}")
    for m in survivors:
        say(f"  survived  {m.path}:{m.line} {m.describe()}")
    say(f"mutate: results in {os.path.relpath(out, ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
