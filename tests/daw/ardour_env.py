"""A private Ardour 7 installation state for the DAW checks: a scratch HOME
with Ardour's configuration, cache and export preset, a copy of the bundle in
a VST3 folder of its own, and Ardour's own scan of that copy.

Nothing here touches the user's Ardour settings: HOME, XDG_CONFIG_HOME and
XDG_CACHE_HOME point into the work folder, VST3_PATH at the private copy.
"""

import os
import shutil
import subprocess
import time

LIB = "/usr/lib/ardour7"
SCANNER = os.path.join(LIB, "ardour-vst3-scanner")
LUA_HOST = "/usr/bin/ardour7-lua"
GUI = "/usr/bin/ardour"

KORVEL_UID = "F2AEE70D00DE4F4E5674726C4B525631"
SAMPLE_RATE = 48000
BLOCK = 1024  # the Dummy backend's period, and korvel-render's block for the references

# Ardour's plug-in index version (7.3); a lower one makes the GUI ask for a full rescan at start.
PLUGIN_CACHE_VERSION = 7002
# Ardour's stock "BWAV 32float Export" format: 32-bit float samples, no dither, no normalizing.
FLOAT_WAV_FORMAT = "20b4ab09-6452-4cb3-bd66-b921cdbd2942"
EXPORT_PRESET = "6b4b3bd4-6f0c-4d6e-9d2c-4b4f52564c31"

CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="try-autostart-engine" value="1"/>
    <Option name="plugin-path-vst3" value="{vst3}"/>
    <Option name="plugin-cache-version" value="{cache_version}"/>
    <Option name="use-lxvst" value="0"/>
    <Option name="use-windows-vst" value="0"/>
    <Option name="discover-plugins-on-start" value="0"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="Normal Speed" device="Silence" input-device="" output-device=""
               sample-rate="{rate}" buffer-size="{block}" n-periods="0" input-latency="0" output-latency="0"
               lm-input="" lm-output="" active="1" use-buffered-io="0" midi-option="1 in, 1 out, Silence" lru="1">
          <MIDIDevices/>
        </State>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
"""

PRESET = """<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="{preset}" name="KORVEL checks: float WAV">
  <ExportFormat id="{format}"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="label" enabled="1" value="export"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="0"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
"""


class SetupError(Exception):
    pass


def missing_tools():
    """The Ardour programs this machine lacks (empty when Ardour 7 is installed)."""
    return [path for path in (SCANNER, LUA_HOST, GUI) if not os.access(path, os.X_OK)]


class ArdourHome:
    """Scratch HOME, configuration and plug-in folder of one run of the checks."""

    def __init__(self, work, bundle):
        self.work = work
        self.home = os.path.join(work, "home")
        self.config = os.path.join(self.home, ".config")
        self.cache = os.path.join(self.home, ".cache")
        self.vst3 = os.path.join(work, "vst3")
        self.bundle = os.path.join(self.vst3, "KORVEL.vst3")
        self.source_bundle = bundle

    def env(self, **extra):
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.config, XDG_CACHE_HOME=self.cache,
                   VST3_PATH=self.vst3)
        env.pop("DISPLAY", None)
        env.update(extra)
        return env

    def prepare(self):
        """Fresh folders and configuration, the bundle copied and scanned; returns the scan's cache file."""
        shutil.rmtree(self.home, ignore_errors=True)
        shutil.rmtree(self.vst3, ignore_errors=True)
        ardour_config = os.path.join(self.config, "ardour7")
        os.makedirs(os.path.join(ardour_config, "export"))
        os.makedirs(self.vst3)
        # Ardour treats the first start as a new user's (a welcome wizard) unless this marker exists.
        open(os.path.join(ardour_config, ".a7"), "w").close()
        with open(os.path.join(ardour_config, "config"), "w") as f:
            f.write(CONFIG.format(vst3=self.vst3, cache_version=PLUGIN_CACHE_VERSION, rate=SAMPLE_RATE, block=BLOCK))
        with open(os.path.join(ardour_config, "export", "korvel-checks.preset"), "w") as f:
            f.write(PRESET.format(preset=EXPORT_PRESET, format=FLOAT_WAV_FORMAT))
        self._copy_bundle()
        return self.scan()

    def _copy_bundle(self):
        if not os.path.isdir(self.source_bundle):
            raise SetupError("no bundle at %s: build the preset 'linux' first" % self.source_bundle)
        # cp -a keeps the module's time: a scan cache written in the same second
        # as a freshly written module counts as stale and the plug-in goes missing.
        subprocess.run(["cp", "-a", self.source_bundle, self.bundle], check=True)
        module = os.path.join(self.bundle, "Contents", "x86_64-linux", "KORVEL.so")
        if time.time() - os.path.getmtime(module) < 2:
            time.sleep(2)

    def scan(self):
        """Runs Ardour's VST3 scanner on the private copy; returns the path of its cache file."""
        run = subprocess.run([SCANNER, "-f", self.bundle], env=self.env(LD_LIBRARY_PATH=LIB), text=True,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        for line in run.stdout.splitlines():
            if "Saved VST3 plugin cache to " in line:
                return line.split("Saved VST3 plugin cache to ", 1)[1].strip()
        raise SetupError("Ardour's VST3 scanner did not index %s (status %d):\n%s"
                         % (self.bundle, run.returncode, run.stdout[-2000:]))

    def install_ui_script(self, ui_scripts_xml):
        """Installs Ardour's GUI script state (the probe hook) for the next GUI start."""
        with open(os.path.join(self.config, "ardour7", "ui_scripts"), "w") as f:
            f.write(ui_scripts_xml)
