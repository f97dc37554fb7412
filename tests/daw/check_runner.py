"""Runs named checks, prints one line per check and writes a JUnit report in
the shape of ctest's, so that scripts/test_summary.py counts them.

A check listed as pending guards a fault whose mend has not landed yet: it
runs, and its failure is printed as an expected failure that does not fail
the run; if it passes, the line says so, so that it can leave the list.
"""

import os
import time
import traceback
import xml.etree.ElementTree as ET


class CheckFailed(Exception):
    pass


class Outcome:
    def __init__(self, name, status, message, seconds):
        self.name, self.status, self.message, self.seconds = name, status, message, seconds


class Runner:
    PASSED, FAILED, EXPECTED, SKIPPED = "passed", "FAILED", "expected failure (pending mend)", "skipped"

    def __init__(self, pending, selected=None):
        self.pending = set(pending)
        self.selected = set(selected) if selected else None
        self.outcomes = []

    def wanted(self, name):
        return self.selected is None or name in self.selected

    def run(self, name, function, *args):
        if not self.wanted(name):
            return
        start = time.monotonic()
        try:
            function(*args)
            status, message = self.PASSED, ""
            if name in self.pending:
                message = "passes now: take it off PENDING_MENDS in tests/daw/run_daw_checks.py"
        except CheckFailed as failure:
            status, message = (self.EXPECTED if name in self.pending else self.FAILED), str(failure)
        except Exception:  # noqa: BLE001 - a broken check must show up as a failure with its trace
            status, message = self.FAILED, "the check itself broke:\n" + traceback.format_exc()
        self.record(Outcome(name, status, message, time.monotonic() - start))

    def record_failure(self, name, message):
        """A check that could not run because what it needs failed to start."""
        if self.wanted(name):
            self.record(Outcome(name, self.EXPECTED if name in self.pending else self.FAILED, message, 0.0))

    def skip(self, name, reason):
        if self.wanted(name):
            self.record(Outcome(name, self.SKIPPED, reason, 0.0))

    def record(self, outcome):
        self.outcomes.append(outcome)
        line = "daw: %-24s %s (%.1f s)" % (outcome.name, outcome.status, outcome.seconds)
        if outcome.message:
            line += ": " + outcome.message
        print(line, flush=True)

    def failed(self):
        return [o for o in self.outcomes if o.status == self.FAILED]

    def summary(self):
        counts = {s: sum(1 for o in self.outcomes if o.status == s)
                  for s in (self.PASSED, self.FAILED, self.EXPECTED, self.SKIPPED)}
        return "daw checks: %d passed, %d failed, %d expected failures (pending mends), %d skipped" % (
            counts[self.PASSED], counts[self.FAILED], counts[self.EXPECTED], counts[self.SKIPPED])

    def write_junit(self, path):
        """ctest's JUnit shape: a pending or skipped check is 'disabled', which the summary leaves out."""
        suite = ET.Element("testsuite", name="daw", tests=str(len(self.outcomes)),
                           failures=str(len(self.failed())))
        for o in self.outcomes:
            status = "run" if o.status in (self.PASSED, self.FAILED) else "disabled"
            case = ET.SubElement(suite, "testcase", name="daw." + o.name, status=status, time="%.1f" % o.seconds)
            if o.status == self.FAILED:
                ET.SubElement(case, "failure", message=o.message[:2000])
            elif o.message:
                ET.SubElement(case, "system-out").text = o.message
        os.makedirs(os.path.dirname(path), exist_ok=True)
        ET.ElementTree(suite).write(path, xml_declaration=True, encoding="UTF-8")
