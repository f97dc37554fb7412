#!/usr/bin/python3
"""KORVEL in a real DAW: Ardour 7 as a Lua session host (headless) and with
its GUI on a private Xvfb display with a small window manager.

Usage: /usr/bin/python3 tests/daw/run_daw_checks.py BUILD_DIR WORK_DIR
           [--only NAME...] [--headless-only] [--report JUNIT.xml] [--keep]

BUILD_DIR is the Linux Release build (preset 'linux') with KORVEL.vst3 and
bin/Release/{korvel-render,korvel-snapshot,korvel-demo-audio}. WORK_DIR holds
the scratch HOME, the sessions, exports and pictures (removed after a run that
passed unless --keep). Prints a line per check and a summary, and exits 1 when
a check fails (pending ones excepted, see PENDING_MENDS) or the setup fails.
Where Ardour 7 is not installed everything is skipped with the reason, exit 0.
"""

import argparse
import os
import shutil
import sys
import time

sys.dont_write_bytecode = True  # keep the source folder clean

import ardour_env  # noqa: E402
import gui_checks  # noqa: E402
import headless_checks  # noqa: E402
import material  # noqa: E402
from check_runner import Runner  # noqa: E402

# Checks that guard a fault whose mend has not landed yet. They run, and their
# failure is reported as expected; take a name off once its mend is merged.
PENDING_MENDS = []


class Tools:
    def __init__(self, build):
        self.bundle = os.path.join(build, "KORVEL.vst3")
        binaries = os.path.join(build, "bin", "Release")
        self.render = os.path.join(binaries, "korvel-render")
        self.snapshot = os.path.join(binaries, "korvel-snapshot")
        self.demo_audio = os.path.join(binaries, "korvel-demo-audio")

    def missing(self):
        return [p for p in (self.bundle, self.render, self.snapshot, self.demo_audio) if not os.path.exists(p)]


def all_names():
    return [name for name, _ in headless_checks.HeadlessChecks.CHECKS] + gui_checks.NAMES


def main(argv):
    parser = argparse.ArgumentParser(description="KORVEL's checks in Ardour 7")
    parser.add_argument("build")
    parser.add_argument("work")
    parser.add_argument("--only", nargs="+", choices=all_names(), help="run these checks only")
    parser.add_argument("--headless-only", action="store_true", help="leave out the checks with Ardour's GUI")
    parser.add_argument("--report", help="write a JUnit report (ctest's shape) here")
    parser.add_argument("--keep", action="store_true", help="keep the work folder after a passing run")
    args = parser.parse_args(argv[1:])
    runner = Runner(PENDING_MENDS, args.only)
    start = time.monotonic()

    missing = ardour_env.missing_tools()
    if missing:
        reason = "Ardour 7 is not installed (%s missing; Debian's 'ardour' package)" % ", ".join(missing)
        for name in all_names():
            runner.skip(name, reason)
        return finish(runner, args, start)
    tools = Tools(os.path.abspath(args.build))
    if tools.missing():
        print("daw: missing from the build: %s (build the preset 'linux')" % ", ".join(tools.missing()),
              file=sys.stderr)
        return 1

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    home = ardour_env.ArdourHome(work, tools.bundle)
    home.prepare()
    audio = material.make(os.path.join(work, "audio"), tools.demo_audio)

    headless = headless_checks.HeadlessChecks(home, tools, audio)
    if any(runner.wanted(name) for name, _ in headless.CHECKS):
        headless.make_base_session()
        for name, check in headless.CHECKS:
            runner.run(name, check, headless)
    if args.headless_only:
        for name in gui_checks.NAMES:
            runner.skip(name, "--headless-only")
    else:
        gui_checks.run_all(runner, home, tools, audio)
    status = finish(runner, args, start)
    if status == 0 and not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return status


def finish(runner, args, start):
    print("%s in %.0f s" % (runner.summary(), time.monotonic() - start))
    if args.report:
        runner.write_junit(args.report)
    return 1 if runner.failed() else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
