#!/usr/bin/env python3
"""Reads what tools/test32/run.sh left in a results folder and prints the lane's verdict.

Usage: report.py <groups file> <results folder> groups|all [--partial]
(--partial: ctest ran a part of the suite, so a group's pattern may match nothing.)

Every test that skips is named. A test of a group that skips fails the lane, and so does a
pattern of a group that matches no test. Every process that died and every test that passed
only on its second attempt is named too, never hidden behind the retry. The last line is
"test32: N passed, N failed, N skipped"; the exit code is 0 only when nothing failed.
"""
import fnmatch
import os
import re
import sys
import xml.etree.ElementTree as ET


def read_groups(path):
    """[(group, executable, filter)] in the file's order."""
    groups = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.split()
            if len(fields) == 3 and not fields[0].startswith("#"):
                groups.append(tuple(fields))
    return groups


def split_filter(text):
    """gtest's filter: positive patterns, then after '-' the excluded ones."""
    positive, _, negative = text.partition("-")
    return [p for p in positive.split(":") if p], [p for p in negative.split(":") if p]


def matches(name, filter_text):
    positive, negative = split_filter(filter_text)
    return (any(fnmatch.fnmatchcase(name, p) for p in positive)
            and not any(fnmatch.fnmatchcase(name, p) for p in negative))


def unmatched_patterns(filter_text, names):
    """The filter's positive patterns that select none of the names."""
    return [pattern for pattern in split_filter(filter_text)[0]
            if not any(fnmatch.fnmatchcase(name, pattern) and matches(name, filter_text) for name in names)]


def gtest_results(path):
    """{full test name: (status, message)} from gtest's XML report; None without one."""
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        return None
    results = {}
    for case in root.iter("testcase"):
        name = "%s.%s" % (case.get("classname"), case.get("name"))
        failure = case.find("failure")
        skipped = case.find("skipped")
        if failure is not None:
            results[name] = ("failed", failure.get("message", ""))
        elif case.get("result") == "skipped" or skipped is not None:
            message = skipped.get("message", "") if skipped is not None else ""
            results[name] = ("skipped", message)
        else:
            results[name] = ("passed", "")
    return results


def test_running_at_exit(log_path):
    """The test a gtest process had started and not finished, from its output."""
    running = None
    try:
        with open(log_path, encoding="utf-8", errors="replace") as f:
            for line in f:
                started = re.match(r"\[ RUN      \] (\S+)", line)
                if started:
                    running = started.group(1)
                elif re.match(r"\[ +(OK|FAILED|SKIPPED) +\] ", line):
                    running = None
    except OSError:
        pass
    return running


def read_text(path, default=""):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().strip()
    except OSError:
        return default


def last_reason(message):
    lines = [l for l in message.splitlines() if l.strip()]
    return lines[-1].strip() if lines else "no reason given"


class Verdict:
    def __init__(self):
        self.passed = self.failed = self.skipped = 0
        self.problems = []

    def fail(self, text):
        """A failed test, or a fault of the lane itself: either fails the lane."""
        self.problems.append(text)
        self.failed += 1


def report_groups(groups, out, verdict):
    total_ms = 0
    processes = 0
    tests = 0
    for group, exe, filter_text in groups:
        attempts = []
        n = 1
        while os.path.exists(os.path.join(out, "%s.%d.rc" % (group, n))):
            base = os.path.join(out, "%s.%d" % (group, n))
            attempts.append((read_text(base + ".rc", "?"), gtest_results(base + ".xml"),
                             int(read_text(base + ".ms", "0") or 0), base + ".log"))
            n += 1
        if not attempts:
            verdict.fail("group %s: %s never ran" % (group, exe))
            continue
        for i, (rc, results, ms, log) in enumerate(attempts):
            total_ms += ms
            processes += 1
            last = i == len(attempts) - 1
            if rc == "0":
                continue
            if results is None:
                running = test_running_at_exit(log)
                what = "while running %s" % running if running else "before its first test"
                print("test32: KILLED %s (group %s) exited %s %s, with no report (attempt %d)"
                      % (exe, group, rc, what, i + 1))
            elif not last:
                for name, (status, _) in sorted(results.items()):
                    if status == "failed":
                        print("test32: RETRIED %s (group %s): failed on attempt %d" % (name, group, i + 1))
        rc, results, ms, log = attempts[-1]
        if results is None:
            running = test_running_at_exit(log)
            verdict.fail("group %s: %s exited %s%s on its last attempt, with no report (see %s)"
                         % (group, exe, rc, " while running " + running if running else "", log))
            continue
        counts = {"passed": 0, "failed": 0, "skipped": 0}
        tests += len(results)
        for name, (status, message) in sorted(results.items()):
            counts[status] += 1
            if status == "failed":
                verdict.fail("%s (group %s) failed: %s" % (name, group, last_reason(message)))
            elif status == "skipped":
                verdict.fail("%s (group %s) must run here but skipped: %s" % (name, group, last_reason(message)))
        if rc != "0" and not counts["failed"]:
            verdict.fail("group %s: %s exited %s with no failed test (see %s)" % (group, exe, rc, log))
        for pattern in unmatched_patterns(filter_text, results):
            verdict.fail("group %s: %s matches no test of %s" % (group, pattern, exe))
        verdict.passed += counts["passed"]
        print("test32: group %-18s %3d passed, %d failed, %d skipped in %.1f s (%s, one process%s)"
              % (group, counts["passed"], counts["failed"], counts["skipped"], ms / 1000.0, exe,
                 ", attempt %d" % len(attempts) if len(attempts) > 1 else ""))
    if tests and processes:
        print("test32: cost: %d tests in %d processes, %.1f s of process time: %.2f s a test, %.1f s a process"
              % (tests, processes, total_ms / 1000.0, total_ms / 1000.0 / tests, total_ms / 1000.0 / processes))


def report_all(groups, out, verdict, whole_suite):
    try:
        root = ET.parse(os.path.join(out, "ctest.xml")).getroot()
    except (OSError, ET.ParseError):
        verdict.fail("ctest left no report (see %s)" % os.path.join(out, "ctest.log"))
        return
    final = {}
    for case in root.iter("testcase"):
        final[case.get("name")] = case.get("status")
    # A test that failed and then passed shows its failed attempt in ctest's output only.
    first_attempts = {}
    try:
        with open(os.path.join(out, "ctest.log"), encoding="utf-8", errors="replace") as f:
            for line in f:
                failed = re.search(r"Test +#\d+: (\S+) \.*\*\*\*(.+?) +[\d.]+ sec", line)
                if failed and failed.group(2) != "Skipped":
                    first_attempts.setdefault(failed.group(1), failed.group(2).strip())
    except OSError:
        pass
    for name, status in sorted(final.items()):
        must_run = [g for g, _, f in groups if matches(name, f)]
        if status == "run":
            verdict.passed += 1
            if name in first_attempts:
                print("test32: RETRIED %s: %s on its first attempt, passed on the second" % (name, first_attempts[name]))
        elif status == "notrun":
            print("test32: SKIPPED %s" % name)
            if must_run:
                verdict.fail("%s (group %s) must run here but skipped" % (name, must_run[0]))
            else:
                verdict.skipped += 1
        else:
            verdict.fail("%s failed (%s)" % (name, first_attempts.get(name, status)))
    for group, exe, filter_text in groups if whole_suite else []:
        for pattern in unmatched_patterns(filter_text, final):
            verdict.fail("group %s: %s matches no test" % (group, pattern))
    ms = int(read_text(os.path.join(out, "ctest.ms"), "0") or 0)
    if final and ms:
        print("test32: cost: %d tests (one process each) in %.1f s: %.2f s a test"
              % (len(final), ms / 1000.0, ms / 1000.0 / len(final)))


def main():
    if len(sys.argv) not in (4, 5) or sys.argv[3] not in ("groups", "all") or sys.argv[4:] not in ([], ["--partial"]):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    groups = read_groups(sys.argv[1])
    out = sys.argv[2]
    verdict = Verdict()
    if sys.argv[3] == "groups":
        report_groups(groups, out, verdict)
    else:
        report_all(groups, out, verdict, sys.argv[4:] != ["--partial"])
    for problem in verdict.problems:
        print("test32: FAIL " + problem)
    print("test32: %d passed, %d failed, %d skipped" % (verdict.passed, verdict.failed, verdict.skipped))
    return 1 if verdict.problems else 0


if __name__ == "__main__":
    sys.exit(main())
