#!/usr/bin/env python3
"""Runs the Krita plug-in's tests inside the real application, in a home folder of its own, and
judges them by the report the scripts write: Krita 5.1 may crash on exit after the work is done,
so its exit status says nothing.

    run_krita.py resources --home HOME
        Krita's resources as a fresh start installs them, made once into HOME/resources (half
        a minute); every other run starts from a copy
    run_krita.py layers|animation --home HOME --plugin PLUGIN_DIR --library LIBRARY --golden DIR
        krita_cases.py under kritarunner, headless (the animation is made under Xvfb first)
    run_krita.py installed --home HOME --golden DIR
        the plug-in and library where the Debian package installs them, under kritarunner
    run_krita.py gui --home HOME --plugin PLUGIN_DIR --library LIBRARY --golden DIR
                 [--screenshot PNG]
        Krita itself under Xvfb with the plug-in installed from PLUGIN_DIR, driven by gui_probe
    run_krita.py zip --home HOME --plugin PLUGIN_ZIP --library LIBRARY --golden DIR --dll DLL
        the zip imported with Krita's own importer, then the gui cases on what it installed

PLUGIN_DIR holds tovrin_krita.desktop and tovrin_krita/; LIBRARY is the libtovrin to load.
"""

import argparse
import filecmp
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
KRITA_IMPORTER = "/usr/share/krita/pykrita/plugin_importer"
TIMEOUT_SECONDS = 300
SCREEN = ["xvfb-run", "-a", "-s", "-screen 0 1280x800x24"]


def read_report(path):
    try:
        with open(path) as file:
            return json.load(file)
    except (OSError, ValueError):
        return None


def run_until_reported(command, env, report_path, log_path):
    """Runs command in a session of its own until the report says it finished (then gives Krita
    a few seconds to exit) or the time is up; then ends whatever of that session is left."""
    with open(log_path, "w") as log:
        process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        deadline = time.monotonic() + TIMEOUT_SECONDS
        try:
            while process.poll() is None and time.monotonic() < deadline:
                if (read_report(report_path) or {}).get("finished"):
                    try:
                        process.wait(2)
                    except subprocess.TimeoutExpired:
                        pass
                    break
                time.sleep(0.5)
        finally:
            end_session(process)


def end_session(process):
    """Ends what is left of the process's session: asked first, so that Xvfb takes its lock
    file with it; then killed."""
    for sig, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, 0)):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            break
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            process.poll()  # a child that has exited stays in the group until it is reaped
            try:
                os.killpg(process.pid, 0)
            except ProcessLookupError:
                break
            time.sleep(0.1)
    process.wait()


def judge(report_path, log_path):
    """Prints each case's outcome; True when every case the script listed passed."""
    report = read_report(report_path)
    if not report or not report.get("cases"):
        print("FAIL: the script wrote no report; Krita's output:")
        with open(log_path, errors="replace") as log:
            print("".join(log.readlines()[-40:]))
        return False
    passed = True
    for name in report["cases"]:
        outcome = report["results"].get(name, "FAIL: not run (Krita stopped; see %s)" % log_path)
        print("%-4s %s%s" % ("ok" if outcome == "ok" else "FAIL", name,
                             "" if outcome == "ok" else "\n     " + outcome[6:]))
        passed = passed and outcome == "ok"
    if report.get("error") or not report.get("finished"):
        print("FAIL: %s" % report.get("error", "the script stopped before the end"))
        passed = False
    return passed


class Home:
    """A home folder of Krita's own: settings, resources and caches in a temporary folder, the
    resources copied from `resources` for `application` (krita or kritarunner)."""

    def __init__(self, resources, application, library="", golden=""):
        self.root = tempfile.mkdtemp(prefix="tovrin-krita-")
        self.work = os.path.join(self.root, "work")
        self.pykrita = os.path.join(self.root, "data", "krita", "pykrita")
        os.makedirs(self.work)
        os.makedirs(os.path.join(self.root, "config"))
        if resources:
            shutil.copytree(resources, os.path.join(self.root, "data", application),
                            symlinks=True)
        os.makedirs(self.pykrita, exist_ok=True)
        self.golden = golden
        # TMPDIR: Krita's frame caches, which it leaves behind when it crashes on exit.
        self.env = dict(os.environ, HOME=self.root, TMPDIR=self.root,
                        XDG_CONFIG_HOME=os.path.join(self.root, "config"),
                        XDG_DATA_HOME=os.path.join(self.root, "data"),
                        XDG_CACHE_HOME=os.path.join(self.root, "cache"),
                        TOVRIN_GOLDEN_DIR=golden)
        self.env.pop("TOVRIN_LIBRARY", None)
        if library:
            self.env["TOVRIN_LIBRARY"] = library
        self.runs = 0

    def run(self, command, env=None):
        self.runs += 1
        report = os.path.join(self.root, "report-%d.json" % self.runs)
        log = os.path.join(self.root, "krita-%d.log" % self.runs)
        env = dict(env or self.env, TOVRIN_GUI_REPORT=report)
        run_until_reported([arg.replace("@REPORT@", report) for arg in command], env, report,
                           log)
        return judge(report, log)

    def kritarunner(self, function, plugin_dir, windowed=False):
        env = dict(self.env, PYTHONPATH=os.pathsep.join(([plugin_dir] if plugin_dir else [])
                                                         + [HERE]))
        if not windowed:
            env["QT_QPA_PLATFORM"] = "offscreen"
        command = ["kritarunner", "-s", "krita_cases", "-f", function, "@REPORT@",
                   self.golden, self.work]
        return self.run((SCREEN if windowed else []) + command, env)

    def krita(self, screenshot=None):
        """Krita itself, with what is in pykrita/ and the test plug-in enabled."""
        shutil.copytree(os.path.join(HERE, "gui_probe"), os.path.join(self.pykrita, "gui_probe"))
        with open(os.path.join(self.pykrita, "gui_probe.desktop"), "w") as file:
            file.write("[Desktop Entry]\nType=Service\nServiceTypes=Krita/PythonPlugin\n"
                       "X-KDE-Library=gui_probe\nName=Tovrin GUI probe\n")
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "kritarc"), "w") as file:
            file.write("[python]\nenable_tovrin_krita=true\nenable_gui_probe=true\n")
        env = dict(self.env, TOVRIN_SCREENSHOT=screenshot or "")
        return self.run(SCREEN + ["krita", "--nosplash"], env)

    def close(self, keep):
        if keep:
            print("kept: %s" % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)


def make_resources(home_folder):
    """HOME/resources: what kritarunner installs into a fresh home, once."""
    ready = os.path.join(home_folder, "resources-ready")
    if os.path.exists(ready):
        print("ok   Krita's resources are in %s" % home_folder)
        return True
    home = Home(None, "kritarunner")
    try:
        if not home.kritarunner("prepare", SOURCE):
            return False
        shutil.rmtree(os.path.join(home_folder, "resources"), ignore_errors=True)
        os.makedirs(home_folder, exist_ok=True)
        shutil.move(os.path.join(home.root, "data", "kritarunner"),
                    os.path.join(home_folder, "resources"))
        open(ready, "w").close()
        return True
    finally:
        home.close(False)


def import_zip(home, zip_path, dll):
    """Krita's "Import Python Plugin from File..." on the zip; True when it installed exactly
    the plug-in's files, the sources' and the build's DLL byte for byte."""
    sys.path.insert(0, KRITA_IMPORTER)
    import plugin_importer

    resources = os.path.dirname(home.pykrita)
    imported = plugin_importer.PluginImporter(zip_path, resources, lambda plugin: True)
    names = [plugin["name"] for plugin in imported.import_all()]
    if names != ["tovrin_krita"]:
        print("FAIL: the importer installed %s" % names)
        return False
    installed = sorted(os.path.relpath(os.path.join(folder, name), home.pykrita)
                       for folder, _, files in os.walk(home.pykrita) for name in files)
    package = os.path.join(SOURCE, "tovrin_krita")
    wanted = sorted(["tovrin_krita.desktop", "tovrin_krita/tovrin.dll",
                     "tovrin_krita/THIRD-PARTY-NOTICES.txt"] +
                    ["tovrin_krita/" + name for name in os.listdir(package)
                     if not name.startswith("__pycache__")])
    if installed != wanted:
        print("FAIL: the importer installed %s, not %s" % (installed, wanted))
        return False
    for name in installed:
        source = dll if name.endswith(".dll") else os.path.join(SOURCE, name)
        if not name.endswith(".txt") and not filecmp.cmp(source, os.path.join(home.pykrita,
                                                                              name), False):
            print("FAIL: %s differs from %s" % (name, source))
            return False
    print("ok   Krita's importer installs the zip's plug-in and tovrin.dll")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("group", choices=["resources", "layers", "animation", "installed", "gui",
                                          "zip"])
    parser.add_argument("--home", required=True)
    parser.add_argument("--plugin")
    parser.add_argument("--library")
    parser.add_argument("--golden")
    parser.add_argument("--screenshot")
    parser.add_argument("--dll")
    parser.add_argument("--keep", action="store_true", help="keep the home folder and logs")
    options = parser.parse_args()

    if options.group == "resources":
        return 0 if make_resources(options.home) else 1
    if not os.path.exists(os.path.join(options.home, "resources-ready")):
        print("FAIL: no resources in %s: run_krita.py resources makes them" % options.home)
        return 1
    application = "krita" if options.group in ("gui", "zip") else "kritarunner"
    home = Home(os.path.join(options.home, "resources"), application,
                options.library and os.path.abspath(options.library),
                os.path.abspath(options.golden))
    passed = False
    try:
        if options.group == "layers":
            passed = home.kritarunner("layer_group", options.plugin)
        elif options.group == "animation":
            passed = (home.kritarunner("make_animation", options.plugin, windowed=True)
                      and home.kritarunner("animation_group", options.plugin))
        elif options.group == "installed":
            passed = home.kritarunner("installed_group", None)
        elif options.group == "gui":
            shutil.copy(os.path.join(options.plugin, "tovrin_krita.desktop"), home.pykrita)
            shutil.copytree(os.path.join(options.plugin, "tovrin_krita"),
                            os.path.join(home.pykrita, "tovrin_krita"),
                            ignore=shutil.ignore_patterns("__pycache__"))
            passed = home.krita(options.screenshot and os.path.abspath(options.screenshot))
        else:
            passed = import_zip(home, options.plugin, options.dll) and home.krita()
    finally:
        home.close(options.keep or not passed)
    print("PASS" if passed else "FAIL")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
