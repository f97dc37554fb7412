#!/usr/bin/env python3
"""Prints 'N passed, M failed' over the test runs of the given build folders.

Each GoogleTest executable writes a per-case XML report; a ctest entry without
one (a crash before the report, or a test that is not GoogleTest) counts as one
case with ctest's verdict."""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def gtest_counts(path):
    root = ET.parse(path).getroot()
    total = int(root.get("tests", 0)) - int(root.get("disabled", 0))
    failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped = sum(1 for c in root.iter("testcase") if c.find("skipped") is not None)
    return total - failed - skipped, failed


def main(build_dirs):
    passed = failed = 0
    for build in map(Path, build_dirs):
        results = build / "test-results"
        junit = results / "ctest.xml"
        if not junit.exists():
            print(f"{build.name}: no test results", file=sys.stderr)
            failed += 1
            continue
        for case in ET.parse(junit).getroot().iter("testcase"):
            name = case.get("name")
            ok = case.get("status") == "run" and case.find("failure") is None
            report = results / f"{name}.xml"
            if report.exists():
                p, f = gtest_counts(report)
                if not ok and f == 0:
                    f = 1  # the executable failed after writing a clean report
                passed, failed = passed + p, failed + f
            elif case.get("status") != "disabled":
                passed, failed = (passed + 1, failed) if ok else (passed, failed + 1)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
