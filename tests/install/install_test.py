#!/usr/bin/python3
"""Installs KORVEL as a user does and checks what lands where.

Usage: /usr/bin/python3 install_test.py windows|deb WORKDIR [PATTERN...]

windows: the Windows bundle of build/windows, with snapshots drawn by the
  Windows korvel-snapshot under Wine, packed by packaging/windows/make_installer.sh
  and installed silently in the Wine prefix of $WINEPREFIX (on $DISPLAY): the
  files, the Apps & Features entry, the folder icon's attributes, the version
  resource as Windows reads it, the SDK validator on the installed bundle, an
  upgrade from an older installer and the uninstall next to a user's preset.
deb: the Linux bundle of build/linux-debug with snapshots from the Linux
  korvel-snapshot, packed by packaging/linux/make_deb.sh: its contents, lintian,
  and dpkg installing into and removing from a root folder of its own, with
  the validator on the installed bundle in between.
Both use the factory presets of build/linux-debug (or of $KORVEL_FACTORY_PRESETS). Writes
WORKDIR/test-results/ctest.xml (one testcase per check, in ctest's JUnit form
that scripts/test_summary.py reads).
"""

import json
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source folders clean
ROOT = Path(__file__).resolve().parents[2]
VERSION = (ROOT / "VERSION").read_text().strip()
WIN_BUILD = ROOT / "build/windows"
LINUX_BUILD = ROOT / "build/linux-debug"
PRESETS = Path(os.environ.get("KORVEL_FACTORY_PRESETS", LINUX_BUILD / "presets/Vantrel/KORVEL"))
EDITOR_SIZE = (998, 386)
WORK = None  # set by main()

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
KORVEL_KEY = UNINSTALL_KEY + r"\Vantrel KORVEL"


def run(command, check=True, **kwargs):
    result = subprocess.run([str(c) for c in command], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, timeout=600, **kwargs)
    if check and result.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, command))} failed ({result.returncode}):\n{result.stdout}")
    return result


def png_size(path):
    data = Path(path).read_bytes()[:24]
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG picture"
    return struct.unpack(">II", data[16:24])


def files_below(folder):
    return {p.relative_to(folder).as_posix() for p in Path(folder).rglob("*") if p.is_file()}


def module_info(bundle):
    """moduleinfo.json is JSON5: the SDK's writer leaves a comma after the last member."""
    text = (Path(bundle) / "Contents/Resources/moduleinfo.json").read_text()
    return json.loads(re.sub(r",(\s*[}\]])", r"\1", text))


def tool(build, name):
    """An executable of a build: bin/ for Windows, bin/<configuration>/ for Linux."""
    found = sorted(build.glob(f"bin/{name}")) + sorted(build.glob(f"bin/*/{name}"))
    assert found, f"{name} is not built in {build}"
    return found[0]


def staged_bundle(source, name, snapshot_command, module_info_tool, env=None):
    """A copy of a built bundle with the snapshots placed in it, and the pictures."""
    bundle = WORK / name / "KORVEL.vst3"
    shutil.rmtree(bundle.parent, ignore_errors=True)
    bundle.parent.mkdir(parents=True)
    shutil.copytree(source, bundle)
    pictures = []
    for scale in (1, 2):
        picture = WORK / name / f"editor@{scale}x.png"
        run(snapshot_command(bundle, picture, scale), env=env)
        pictures.append(picture)
    run(["/usr/bin/python3", ROOT / "packaging/place_snapshots.py", bundle, *pictures, module_info_tool], env=env)
    return bundle, pictures


class SnapshotChecks:
    """The snapshot files of an installed bundle, as hosts look for them."""

    def check_snapshots(self, installed_bundle, pictures):
        audio_class = next(c for c in module_info(installed_bundle)["Classes"]
                           if c["Category"] == "Audio Module Class")
        class_id = audio_class["CID"]
        # moduleinfotool found them through the SDK's host code, which matches the names to the class.
        self.assertEqual(sorted((s["Scale Factor"], s["Path"].replace("\\", "/").split("/")[-1])
                                for s in audio_class["Snapshots"]),
                         [(1.0, f"{class_id}_snapshot.png"), (2.0, f"{class_id}_snapshot_2.0x.png")])
        folder = Path(installed_bundle) / "Contents/Resources/Snapshots"
        expected = {f"{class_id}_snapshot.png": (pictures[0], EDITOR_SIZE),
                    f"{class_id}_snapshot_2.0x.png": (pictures[1], tuple(2 * n for n in EDITOR_SIZE))}
        self.assertEqual(sorted(p.name for p in folder.iterdir()), sorted(expected))
        for name, (picture, size) in expected.items():
            self.assertEqual(png_size(folder / name), size, name)
            self.assertEqual((folder / name).read_bytes(), picture.read_bytes(), name)


# --- Windows ------------------------------------------------------------------

def wine(*args, check=True):
    return run(["wine", *args], check=check)


def wine_wait():
    run(["wineserver", "-w"])


def drive_c():
    return Path(os.environ["WINEPREFIX"]) / "drive_c"


def win_bundle():
    return drive_c() / "Program Files/Common Files/VST3/KORVEL.vst3"


def win_presets():
    return drive_c() / "ProgramData/VST3 Presets/Vantrel/KORVEL"


def win_docs():
    return drive_c() / "Program Files/Vantrel/KORVEL"


def registry_values(key):
    """The values of a key in the 64-bit view, or None when it does not exist."""
    result = wine("reg", "query", key, "/reg:64", check=False)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.splitlines():
        match = re.match(r"\s+(\S+)\s+(REG_\w+)\s+(.*)$", line)
        if match:
            name, kind, value = match.groups()
            values[name] = int(value, 16) if kind == "REG_DWORD" else value
    return values


def korvel_uninstall_entries():
    listing = wine("reg", "query", UNINSTALL_KEY, "/s", "/reg:64").stdout
    return [line for line in listing.splitlines() if re.search(r"DisplayName\s+REG_SZ\s+KORVEL", line)]


def install(setup):
    result = run(["wine", setup, "/S"], check=False)
    wine_wait()
    if result.returncode != 0:
        raise AssertionError(f"silent install of {setup.name} exited with {result.returncode}:\n{result.stdout}")


def uninstall_silently():
    values = registry_values(KORVEL_KEY)
    assert values, "KORVEL has no uninstall entry"
    command = values["QuietUninstallString"]
    match = re.match(r'"([^"]+)"\s+(.*)$', command)
    assert match, f"QuietUninstallString is not a quoted program with arguments: {command}"
    wine(match.group(1), *match.group(2).split())
    wine_wait()  # the uninstaller runs on from a copy of itself


def remove_any_installation():
    if registry_values(KORVEL_KEY):
        uninstall_silently()
    for folder in (win_bundle(), win_presets().parent, win_docs().parent):
        shutil.rmtree(folder, ignore_errors=True)


def build_installer(bundle, presets, version, name):
    out = WORK / name
    run([ROOT / "packaging/windows/make_installer.sh", bundle, presets, version, out, "--skip-missing-pictures"])
    return out


_windows_stage = None


def windows_stage():
    """The staged Windows bundle, korvel-snapshot's pictures and this version's installer, made once."""
    global _windows_stage
    if _windows_stage is None:
        def snapshot(bundle, picture, scale):
            return ["wine", tool(WIN_BUILD, "korvel-snapshot.exe"), "--plugin", f"Z:{bundle}",
                    "--out", f"Z:{picture}", "--scale", scale]
        bundle, pictures = staged_bundle(WIN_BUILD / "KORVEL.vst3", "windows", snapshot,
                                         tool(WIN_BUILD, "moduleinfotool.exe"))
        setup = build_installer(bundle, PRESETS, VERSION, f"KORVEL-{VERSION}-windows-x64-setup.exe")
        _windows_stage = bundle, pictures, setup
    return _windows_stage


class WindowsInstaller(unittest.TestCase, SnapshotChecks):
    """A silent install into a prefix without KORVEL."""

    @classmethod
    def setUpClass(cls):
        cls.bundle, cls.pictures, cls.setup = windows_stage()
        remove_any_installation()
        install(cls.setup)

    def test_files_land_where_the_conventions_put_them(self):
        self.assertEqual(files_below(win_bundle()), files_below(self.bundle))
        self.assertEqual(files_below(win_presets()), {p.name for p in PRESETS.glob("*.vstpreset")})
        docs = files_below(win_docs())
        self.assertIn("Uninstall KORVEL.exe", docs)
        self.assertIn("User Guide.html", docs)
        self.assertIn("licences/KORVEL (GPL-3.0).txt", docs)
        self.assertIn("licences/Steinberg VST3 SDK.txt", docs)

    def test_apps_and_features_entry(self):
        values = registry_values(KORVEL_KEY)
        self.assertIsNotNone(values, "no uninstall entry")
        self.assertEqual(values["Publisher"], "Vantrel")
        self.assertEqual(values["DisplayVersion"], VERSION)
        self.assertIn("KORVEL", values["DisplayName"])
        installed_kb = sum(p.stat().st_size for d in (win_bundle(), win_presets(), win_docs())
                           for p in d.rglob("*") if p.is_file()) // 1024
        self.assertAlmostEqual(values["EstimatedSize"], installed_kb, delta=max(64, installed_kb // 20))
        self.assertEqual(values["UninstallString"], r'"C:\Program Files\Vantrel\KORVEL\Uninstall KORVEL.exe"')
        self.assertEqual(values["QuietUninstallString"], values["UninstallString"] + " /S")
        self.assertEqual(len(korvel_uninstall_entries()), 1)

    def test_folder_icon_is_set_up_as_explorer_wants(self):
        ini = (win_bundle() / "desktop.ini").read_bytes()
        self.assertEqual(ini, b"[.ShellClassInfo]\r\nIconResource=PlugIn.ico,0\r\n")
        self.assertEqual(run(["icotool", "--list", win_bundle() / "PlugIn.ico"]).returncode, 0)
        listing = wine("cmd", "/c", "attrib", r"C:\Program Files\Common Files\VST3\KORVEL.vst3\*").stdout
        for name in ("desktop.ini", "PlugIn.ico"):
            line = next(l for l in listing.splitlines() if l.rstrip().endswith(name))
            self.assertIn("S", line[:11], line)
            self.assertIn("H", line[:11], line)
        folder = wine("cmd", "/c", "attrib", r"C:\Program Files\Common Files\VST3\KORVEL.vst3").stdout
        self.assertIn("S", folder.strip()[:11], folder)

    def test_version_resource_as_windows_reads_it(self):
        dll = r"C:\Program Files\Common Files\VST3\KORVEL.vst3\Contents\x86_64-win\KORVEL.vst3"
        fields = dict(line.split(": ", 1) for line in
                      wine(tool(WIN_BUILD, "file-version.exe"), dll).stdout.splitlines() if ": " in line)
        self.assertEqual(fields.get("CompanyName"), "Vantrel")
        self.assertEqual(fields.get("ProductName"), "KORVEL")
        self.assertEqual(fields.get("FileVersion"), VERSION)
        self.assertEqual(fields.get("ProductVersion"), VERSION)
        self.assertEqual(fields.get("FixedFileVersion"), VERSION + ".0")
        self.assertEqual(fields.get("FixedProductVersion"), VERSION + ".0")
        self.assertIn("compressor", fields.get("FileDescription", ""))
        self.assertIn("Vantrel", fields.get("LegalCopyright", ""))

    def test_one_version_in_the_plugin_and_its_module_info(self):
        info = module_info(win_bundle())
        self.assertEqual(info["Version"], VERSION)
        self.assertEqual([c["Version"] for c in info["Classes"]], [VERSION])

    def test_snapshots_are_korvel_snapshots_pictures(self):
        self.check_snapshots(win_bundle(), self.pictures)

    def test_validator_passes_the_installed_bundle(self):
        result = wine(tool(WIN_BUILD, "validator.exe"), r"C:\Program Files\Common Files\VST3\KORVEL.vst3",
                      check=False)
        self.assertEqual(result.returncode, 0, result.stdout[-3000:])
        self.assertRegex(result.stdout, r"Result: [1-9][0-9]* tests passed, 0 tests failed")


class WindowsUpgradeAndUninstall(unittest.TestCase):
    """An older version replaced by this one, then removed again."""

    @classmethod
    def setUpClass(cls):
        bundle, _, cls.setup = windows_stage()
        # The older version had one more factory preset, which it alone knows to remove.
        old_presets = WORK / "old-presets"
        shutil.rmtree(old_presets, ignore_errors=True)
        shutil.copytree(PRESETS, old_presets)
        (old_presets / "Retired Preset.vstpreset").write_bytes((PRESETS / "Drum Smash.vstpreset").read_bytes())
        cls.old_setup = build_installer(bundle, old_presets, "0.9.0", "KORVEL-0.9.0-windows-x64-setup.exe")
        remove_any_installation()

    def test_upgrade_then_uninstall_leaves_only_user_files(self):
        install(self.old_setup)
        self.assertTrue((win_presets() / "Retired Preset.vstpreset").exists())
        own_preset = win_presets() / "My Own Setting.vstpreset"
        own_preset.write_bytes(b"the user's own")

        install(self.setup)
        install(self.setup)
        self.assertEqual(len(korvel_uninstall_entries()), 1)
        self.assertEqual(registry_values(KORVEL_KEY)["DisplayVersion"], VERSION)
        self.assertEqual(files_below(win_presets()),
                         {p.name for p in PRESETS.glob("*.vstpreset")} | {own_preset.name})
        self.assertEqual(files_below(win_bundle()), files_below(windows_stage()[0]))
        self.assertEqual([p.name for p in win_bundle().parent.iterdir() if "KORVEL" in p.name], ["KORVEL.vst3"])

        uninstall_silently()
        self.assertIsNone(registry_values(KORVEL_KEY))
        self.assertFalse(win_bundle().exists())
        self.assertFalse(win_docs().parent.exists(), "Program Files\\Vantrel is left")
        self.assertEqual(files_below(win_presets().parent.parent), {"Vantrel/KORVEL/" + own_preset.name})


# --- Debian package -------------------------------------------------------------

def linux_module_env():
    """The sanitizer build's module loads into the SDK's tools only after its runtime. Leaks are
    not looked for here (the software GL driver's blocks, left at exit, would count): the
    validator tests of that build do."""
    env = dict(os.environ)
    if "libasan" in run(["ldd", LINUX_BUILD / "KORVEL.vst3/Contents/x86_64-linux/KORVEL.so"]).stdout:
        env["LD_PRELOAD"] = run(["g++", "-print-file-name=libasan.so"]).stdout.strip()
        env["ASAN_OPTIONS"] = "detect_leaks=0"
    return env


class DebianPackage(unittest.TestCase, SnapshotChecks):
    @classmethod
    def setUpClass(cls):
        def snapshot(bundle, picture, scale):
            return [tool(LINUX_BUILD, "korvel-snapshot"), "--plugin", bundle, "--out", picture, "--scale", scale]
        cls.bundle, cls.pictures = staged_bundle(LINUX_BUILD / "KORVEL.vst3", "linux", snapshot,
                                                 tool(LINUX_BUILD, "moduleinfotool"), linux_module_env())
        cls.deb = WORK / f"korvel_{VERSION}_amd64.deb"
        run([ROOT / "packaging/linux/make_deb.sh", cls.bundle, PRESETS, VERSION, cls.deb, "--skip-missing-pictures"])

    def dpkg(self, root, *args):
        return run(["dpkg", f"--root={root}", "--force-depends", "--force-not-root", *args])

    def test_contents_and_control(self):
        listing = run(["dpkg-deb", "--contents", self.deb]).stdout
        paths = {line.split(None, 5)[5].lstrip(".") for line in listing.splitlines()}
        bundle = "/usr/lib/vst3/KORVEL.vst3/Contents/"
        expected = {bundle + "x86_64-linux/KORVEL.so", bundle + "Resources/moduleinfo.json",
                    "/usr/share/doc/korvel/copyright", "/usr/share/doc/korvel/changelog.gz",
                    "/usr/share/doc/korvel/user-guide.html"}
        expected |= {bundle + "Resources/Snapshots/" + p for p in files_below(self.bundle / "Contents/Resources/Snapshots")}
        expected |= {"/usr/share/vst3/presets/Vantrel/KORVEL/" + p.name for p in PRESETS.glob("*.vstpreset")}
        self.assertLessEqual(expected, paths)
        self.assertEqual(run(["dpkg-deb", "--field", self.deb, "Version"]).stdout.strip(), VERSION)
        self.assertIn("libc6", run(["dpkg-deb", "--field", self.deb, "Depends"]).stdout)

    def test_lintian_finds_no_errors(self):
        result = run(["lintian", "--fail-on", "error", self.deb], check=False)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertNotRegex(result.stdout, r"(?m)^E: ")

    def test_install_validate_remove(self):
        root = WORK / "deb-root"
        shutil.rmtree(root, ignore_errors=True)
        for folder in ("var/lib/dpkg/info", "var/lib/dpkg/updates"):
            (root / folder).mkdir(parents=True)
        for name in ("status", "available"):
            (root / "var/lib/dpkg" / name).touch()

        self.dpkg(root, "--install", self.deb)
        installed = root / "usr/lib/vst3/KORVEL.vst3"
        self.assertEqual(files_below(installed), files_below(self.bundle))
        info = module_info(installed)
        self.assertEqual((info["Version"], [c["Version"] for c in info["Classes"]]), (VERSION, [VERSION]))
        self.check_snapshots(installed, self.pictures)
        result = run([tool(LINUX_BUILD, "validator"), installed], check=False, env=linux_module_env())
        self.assertEqual(result.returncode, 0, result.stdout[-3000:])
        self.assertRegex(result.stdout, r"Result: [1-9][0-9]* tests passed, 0 tests failed")

        own = root / "usr/share/vst3/presets/Vantrel/KORVEL/My Own Setting.vstpreset"
        own.write_bytes(b"the user's own")
        self.dpkg(root, "--remove", "korvel")
        self.assertEqual(files_below(root / "usr"), {own.relative_to(root / "usr").as_posix()})


class RecordingResult(unittest.TextTestResult):
    """Knows which tests ran: one whose class could not be set up never starts."""

    def startTest(self, test):
        super().startTest(test)
        self.started = getattr(self, "started", set()) | {test.id()}


def write_results(result, tests, path):
    """ctest's JUnit form, which scripts/test_summary.py counts."""
    failed = {t.id(): text for t, text in result.failures + result.errors}
    set_up_errors = "\n".join(text for t, text in result.errors if not isinstance(t, unittest.TestCase))
    suite = ET.Element("testsuite", name="install")
    for test in tests:
        case = ET.SubElement(suite, "testcase", name=test.id().split(".", 1)[1], status="run")
        if test.id() not in getattr(result, "started", set()):
            failed[test.id()] = "not run: its set-up failed\n" + set_up_errors
        if test.id() in failed:
            ET.SubElement(case, "failure", message="failed").text = failed[test.id()]
    path.parent.mkdir(parents=True, exist_ok=True)
    ET.ElementTree(suite).write(path)


def flatten(suite):
    for item in suite:
        yield from flatten(item) if isinstance(item, unittest.TestSuite) else [item]


def main():
    global WORK
    if len(sys.argv) < 3 or sys.argv[1] not in ("windows", "deb"):
        sys.exit(__doc__.split("\n\n")[1])
    part, WORK = sys.argv[1], Path(sys.argv[2]).resolve()
    WORK.mkdir(parents=True, exist_ok=True)
    loader = unittest.TestLoader()
    loader.testNamePatterns = [f"*{p}*" for p in sys.argv[3:]] or None  # as unittest's -k
    classes = [WindowsInstaller, WindowsUpgradeAndUninstall] if part == "windows" else [DebianPackage]
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in classes)
    tests = list(flatten(suite))
    result = unittest.TextTestRunner(verbosity=2, resultclass=RecordingResult).run(suite)
    write_results(result, tests, WORK / "test-results/ctest.xml")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
