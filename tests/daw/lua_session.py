"""Runs scripts in Ardour's Lua session host (ardour7-lua) with the helpers
of korvel_session.lua, and reads back what they report."""

import os
import subprocess

from ardour_env import LUA_HOST

HERE = os.path.dirname(os.path.abspath(__file__))
HELPERS = os.path.join(HERE, "korvel_session.lua")
TIMEOUT_S = 240


class LuaError(Exception):
    pass


def lua_string(text):
    """A Lua string literal of text."""
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")


def run(home, body, name="script", timeout=TIMEOUT_S):
    """Runs body after the helpers; returns the RESULT values as a dict of strings.

    The script has to end with finish(): Ardour's host may crash while it shuts
    down after the work is done (seen with ardour7-export too), so its exit
    status counts less than the report of a completed script."""
    path = os.path.join(home.work, "lua", name + ".lua")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write("dofile(%s)\n%s\n" % (lua_string(HELPERS), body))
    # Ardour 7.3's Lua host now and then dies of a corrupted heap while it loads a session (about one load in
    # ten, also with older KORVEL builds; not traced yet): a run it did not survive is tried once more, and said.
    for attempt in range(2):
        try:
            run = subprocess.run([LUA_HOST, path], env=home.env(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                 text=True, errors="replace", timeout=timeout, cwd=home.work)
        except subprocess.TimeoutExpired as e:
            raise LuaError("Ardour's Lua host did not finish %s within %d s" % (path, timeout)) from e
        results = {}
        for line in run.stdout.splitlines():
            if line.startswith("RESULT ") and "=" in line:
                key, value = line[len("RESULT "):].split("=", 1)
                results[key] = value
        if results.get("done") == "1" or run.returncode >= 0 or attempt == 1:
            break
        print("daw: Ardour's Lua host died (signal %d) running %s; running it again" % (-run.returncode, name),
              flush=True)
    if results.get("done") != "1":
        interesting = [l for l in run.stdout.splitlines() if l.startswith(("Error", "FAILED", "RESULT"))]
        raise LuaError("%s did not complete in Ardour's Lua host (status %d): %s"
                       % (path, run.returncode, "; ".join(interesting) or run.stdout[-1500:]))
    return results
