"""Checks of KORVEL's editor in Ardour's GUI (not written yet)."""

NAMES = []


def run_all(runner, home, tools, audio):
    pass
