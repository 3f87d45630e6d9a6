#!/usr/bin/env python3
"""The 32-bit lane's verdict (tools/test32/report.py) over results folders made here.

A must-run test that skips, a killed process, a retry and a pattern that matches nothing are
rare on a real run, so the reporter's handling of them is checked on fabricated results: each
must be named, and the first, the third (when nothing passes afterwards) and the fourth must
fail the lane.
"""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPORT = os.path.join(HERE, "..", "..", "tools", "test32", "report.py")

GROUPS = """# comment
hooks   base_tests     ApiHook.DetoursLiveFunction:ApiHook.DetoursCreateProcessW
dpi     browser_tests  *DpiScaling.*-DpiScaling.Excluded
"""


def gtest_xml(cases):
    """gtest's XML report of [(classname, name, status)], status passed, failed or skipped."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<testsuites name="AllTests">']
    for classname, name, status in cases:
        result = "skipped" if status == "skipped" else "completed"
        lines.append('<testsuite name="%s">' % classname)
        lines.append('<testcase name="%s" status="run" result="%s" time="0.1" classname="%s">'
                     % (name, result, classname))
        if status == "failed":
            lines.append('<failure message="x.cpp:1&#x0A;Expected equality" type=""/>')
        elif status == "skipped":
            lines.append('<skipped message="x.cpp:2&#x0A;32-bit x86 only"/>')
        lines.append("</testcase></testsuite>")
    lines.append("</testsuites>")
    return "\n".join(lines)


class Results:
    def __init__(self, folder):
        self.folder = folder

    def attempt(self, group, n, rc, cases=None, log="", ms=1500):
        base = os.path.join(self.folder, "%s.%d" % (group, n))
        for suffix, text in ((".rc", str(rc)), (".ms", str(ms)), (".log", log)):
            with open(base + suffix, "w", encoding="utf-8") as f:
                f.write(text)
        if cases is not None:
            with open(base + ".xml", "w", encoding="utf-8") as f:
                f.write(gtest_xml(cases))


HOOKS_PASS = [("ApiHook", "DetoursLiveFunction", "passed"), ("ApiHook", "DetoursCreateProcessW", "passed")]
DPI_PASS = [("DpiScaling", "RoundsUp", "passed")]


class ReportTest(unittest.TestCase):
    def run_report(self, fill, mode="groups"):
        with tempfile.TemporaryDirectory() as folder:
            groups = os.path.join(folder, "groups")
            with open(groups, "w", encoding="utf-8") as f:
                f.write(GROUPS)
            results = os.path.join(folder, "results")
            os.mkdir(results)
            fill(Results(results))
            done = subprocess.run([sys.executable, REPORT, groups, results, mode],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
            return done.returncode, done.stdout

    def test_every_group_passing_passes_with_its_costs(self):
        def fill(r):
            r.attempt("hooks", 1, 0, HOOKS_PASS)
            r.attempt("dpi", 1, 0, DPI_PASS)
        rc, out = self.run_report(fill)
        self.assertEqual(rc, 0, out)
        self.assertIn("test32: cost: 3 tests in 2 processes", out)
        self.assertEqual(out.strip().splitlines()[-1], "test32: 3 passed, 0 failed, 0 skipped")

    def test_a_must_run_test_that_skips_fails_the_lane_by_name(self):
        def fill(r):
            r.attempt("hooks", 1, 0, [HOOKS_PASS[0], ("ApiHook", "DetoursCreateProcessW", "skipped")])
            r.attempt("dpi", 1, 0, DPI_PASS)
        rc, out = self.run_report(fill)
        self.assertEqual(rc, 1, out)
        self.assertIn("FAIL ApiHook.DetoursCreateProcessW (group hooks) must run here but skipped: 32-bit x86 only", out)

    def test_a_killed_process_is_named_by_its_running_test_even_when_the_retry_passes(self):
        def fill(r):
            r.attempt("hooks", 1, 137, None, log="[ RUN      ] ApiHook.DetoursLiveFunction\n[       OK ] "
                      "ApiHook.DetoursLiveFunction (5 ms)\n[ RUN      ] ApiHook.DetoursCreateProcessW\n")
            r.attempt("hooks", 2, 0, HOOKS_PASS)
            r.attempt("dpi", 1, 1, [("DpiScaling", "RoundsUp", "failed")])
            r.attempt("dpi", 2, 0, DPI_PASS)
        rc, out = self.run_report(fill)
        self.assertEqual(rc, 0, out)
        self.assertIn("KILLED base_tests (group hooks) exited 137 while running ApiHook.DetoursCreateProcessW", out)
        self.assertIn("RETRIED DpiScaling.RoundsUp (group dpi): failed on attempt 1", out)
        self.assertIn("attempt 2", out)

    def test_a_process_killed_on_its_last_attempt_fails_the_lane(self):
        def fill(r):
            r.attempt("hooks", 1, 0, HOOKS_PASS)
            r.attempt("dpi", 1, 124, None, log="[ RUN      ] DpiScaling.RoundsUp\n")
            r.attempt("dpi", 2, 124, None, log="")
        rc, out = self.run_report(fill)
        self.assertEqual(rc, 1, out)
        self.assertIn("FAIL group dpi: browser_tests exited 124 on its last attempt, with no report", out)

    def test_a_pattern_that_matches_nothing_and_a_group_that_never_ran_fail(self):
        def fill(r):
            r.attempt("hooks", 1, 0, [HOOKS_PASS[0]])
        rc, out = self.run_report(fill)
        self.assertEqual(rc, 1, out)
        self.assertIn("FAIL group hooks: ApiHook.DetoursCreateProcessW matches no test of base_tests", out)
        self.assertIn("FAIL group dpi: browser_tests never ran", out)

    def test_whole_suite_skips_are_named_and_must_run_ones_fail(self):
        def fill(r):
            with open(os.path.join(r.folder, "ctest.xml"), "w", encoding="utf-8") as f:
                f.write('<?xml version="1.0"?><testsuite>'
                        '<testcase name="ApiHook.DetoursLiveFunction" status="run"/>'
                        '<testcase name="ApiHook.DetoursCreateProcessW" status="notrun"/>'
                        '<testcase name="DpiScaling.RoundsUp" status="run"/>'
                        '<testcase name="PinyinInitials.UnderCodePage936" status="notrun"/>'
                        '<testcase name="Other.Flaky" status="run"/></testsuite>')
            with open(os.path.join(r.folder, "ctest.log"), "w", encoding="utf-8") as f:
                f.write("1/5 Test  #9: Other.Flaky ......***Failed    1.20 sec\n")
            with open(os.path.join(r.folder, "ctest.ms"), "w", encoding="utf-8") as f:
                f.write("5000")
        rc, out = self.run_report(fill, mode="all")
        self.assertEqual(rc, 1, out)
        self.assertIn("SKIPPED PinyinInitials.UnderCodePage936", out)
        self.assertIn("FAIL ApiHook.DetoursCreateProcessW (group hooks) must run here but skipped", out)
        self.assertIn("RETRIED Other.Flaky: Failed on its first attempt, passed on the second", out)
        self.assertEqual(out.strip().splitlines()[-1], "test32: 3 passed, 1 failed, 1 skipped")


if __name__ == "__main__":
    unittest.main()
