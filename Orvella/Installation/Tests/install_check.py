#!/usr/bin/env python3
"""The application as the desktop installs it: `cmake --install` of the build
into a temporary folder (DESTDIR), then the installed programs started from
there, never from the build tree.

Checks: the programs and every library of the project they load resolve
inside the installed tree (through their run paths); the menu entry passes
desktop-file-validate, starts the installed program and bears the brand's
name (as `orvella --version` prints it) and icon (in the hicolor theme); the
Nautilus module and its emblems are there; `orvella --version` answers
without a display and touches no folder of the user; `glimmerctl` runs and
finds no extension. On an X server and a session bus of its own, the
installed `orvella` shows its login window under the brand's name, writes
its autostart entry (the brand's name, the installed program) and ends with
0 on SIGTERM; a launch that cannot get its services shows its alert with the
brand's name in the title and the program's name in no window.

Exit status: 0 all held; 1 something did not (printed); 77 a program the
test needs is missing here."""

import argparse
import configparser
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
SOURCE_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_ROOT, "scripts", "lib"))

import orvella_session as session  # noqa: E402
from orvella_session import Failure, wait_for  # noqa: E402

REQUIRED_PROGRAMS = ["cmake", "ldd", "desktop-file-validate", "Xvfb", "xdotool", "dbus-daemon"]
PROGRAMS = ["orvella", "glimmerd", "glimmerctl"]


def run(arguments, environment=None, timeout=120):
    return subprocess.run(arguments, env=environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout)


def bare_environment(home):
    """No display, no bus, a home of its own."""
    environment = {key: value for key, value in os.environ.items()
                   if not key.startswith(("XDG_", "ORVELLA_", "DBUS_", "QT_"))
                   and key not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY")}
    environment["HOME"] = home
    return environment


def desktop_entry(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


class InstalledTree:
    def __init__(self, build, prefix, identifier, work):
        self.build = os.path.abspath(build)
        self.destdir = os.path.join(work, "destdir")
        self.root = self.destdir + prefix
        self.prefix = prefix
        self.identifier = identifier
        self.work = work

    def program(self, name):
        return os.path.join(self.root, "bin", name)

    def install(self):
        print("== cmake --install into DESTDIR", flush=True)
        environment = dict(os.environ, DESTDIR=self.destdir)
        result = run(["cmake", "--install", self.build], environment, timeout=600)
        if result.returncode != 0:
            raise Failure("cmake --install failed:\n" + result.stdout.decode(errors="replace")[-4000:])

    def check_libraries(self):
        print("== the programs load the installed libraries", flush=True)
        private = os.path.join(self.root, "lib")
        for name in PROGRAMS:
            program = self.program(name)
            if not os.access(program, os.X_OK):
                raise Failure(f"{program} is not installed")
            text = run(["ldd", program]).stdout.decode(errors="replace")
            for line in text.splitlines():
                if "not found" in line:
                    raise Failure(f"{name} cannot load {line.strip()}:\n{text}")
                resolved = re.match(r"\s*(\S+) => (\S+)", line)
                if resolved and resolved.group(2).startswith(self.build + "/"):
                    raise Failure(f"{name} loads {resolved.group(1)} from the build tree:\n{text}")
            ours = [line for line in text.splitlines() if line.strip().startswith(("libOrvella", "libSync", "libReactive"))]
            if any(self.destdir not in line for line in ours):
                raise Failure(f"{name} loads a library of the project from outside the installed tree:\n{text}")
        if not glob.glob(os.path.join(private, "**", "libOrvellaUI.so"), recursive=True):
            raise Failure("libOrvellaUI.so is not installed below " + private)

    def check_version(self):
        print("== orvella --version without a display", flush=True)
        home = os.path.join(self.work, "version-home")
        os.makedirs(home)
        result = run([self.program("orvella"), "--version"], bare_environment(home), timeout=60)
        output = result.stdout.decode(errors="replace")
        match = re.fullmatch(r"(.+) (\d+\.\d+\.\d+ \(\S*\))\n", output)
        if result.returncode != 0 or not match:
            raise Failure(f"orvella --version ended with {result.returncode}: {output!r}")
        if os.listdir(home):
            raise Failure(f"orvella --version wrote into the home: {os.listdir(home)}")
        return match.group(1)

    def check_desktop_entry(self, brand):
        print("== the menu entry, its icon, the Nautilus module and its emblems", flush=True)
        path = os.path.join(self.root, "share", "applications", self.identifier + ".desktop")
        if not os.path.isfile(path):
            raise Failure(path + " is not installed")
        result = run(["desktop-file-validate", path])
        if result.returncode != 0 or result.stdout.strip():
            raise Failure("desktop-file-validate: " + result.stdout.decode(errors="replace"))
        entry = desktop_entry(path)
        if entry.get("Name") != brand:
            raise Failure(f"the menu entry is named {entry.get('Name')!r}, the brand is {brand!r}")
        if entry.get("Exec") != os.path.join(self.prefix, "bin", "orvella"):
            raise Failure(f"the menu entry starts {entry.get('Exec')!r}")
        icon = os.path.join(self.root, "share", "icons", "hicolor", "scalable", "apps", entry.get("Icon", "") + ".svg")
        if not os.path.isfile(icon):
            raise Failure(f"the menu entry's icon {entry.get('Icon')!r} is not in the hicolor theme")
        modules = glob.glob(os.path.join(self.destdir, "**", "nautilus", "extensions-4", "libglimmer-nautilus.so"),
                            recursive=True)
        if not modules:
            raise Failure("the Nautilus module is not installed")
        emblems = glob.glob(os.path.join(self.root, "share", "icons", "hicolor", "scalable", "emblems",
                                         "emblem-orvella-status-*.svg"))
        if len(emblems) != 3:
            raise Failure(f"the emblems installed: {emblems}")

    def check_glimmerctl(self):
        print("== glimmerctl runs and finds no extension", flush=True)
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700)
        environment = bare_environment(os.path.join(self.work, "ctl-home"))
        environment["XDG_RUNTIME_DIR"] = runtime
        result = run([self.program("glimmerctl"), "observed"], environment, timeout=60)
        if result.returncode != 2:
            raise Failure(f"glimmerctl observed ended with {result.returncode}: {result.stdout.decode(errors='replace')}")


class DesktopSession:
    """One start of the installed orvella on its own X server and bus."""

    def __init__(self, tree, name):
        self.tree = tree
        self.name = name
        self.layout = session.Layout(os.path.join(tree.work, name)).create()
        self.xserver = session.XServer(os.path.join(self.layout.logs, "xvfb.log"))
        self.bus = session.SessionBus(os.path.join(self.layout.logs, "dbus.log"))
        # No service answers there: the launch never gets as far as a login.
        self.environment = self.layout.environment("http://127.0.0.1:9/v2.0", self.xserver.display, self.bus.address)
        suppressions = "suppressions=" + os.path.join(SOURCE_ROOT, "Orvella", "UI", "Gallery", "FontconfigLeaks.supp")
        leak_options = self.environment.get("LSAN_OPTIONS")
        self.environment["LSAN_OPTIONS"] = f"{leak_options}:{suppressions}" if leak_options else suppressions
        self.desktop = session.Desktop(self.environment)
        self.log_path = os.path.join(self.layout.logs, "orvella.log")
        self.process = None

    def start(self):
        self.process = session.start_program([self.tree.program("orvella")], self.environment, self.log_path)

    def window(self, pattern, timeout=120):
        def shown():
            if self.process.poll() is not None:
                raise Failure(f"orvella ended with {self.process.returncode}:\n" + session.tail(self.log_path))
            return self.desktop.windows(pattern)

        return wait_for(shown, timeout, f"a window titled /{pattern}/")[-1]

    def stop(self):
        status = session.stop_process(self.process, timeout=60)
        self.bus.stop()
        self.xserver.stop()
        return status


def check_logged_out_start(tree, brand):
    print("== the installed orvella: login window, autostart entry, orderly end", flush=True)
    run_ = DesktopSession(tree, "logged-out")
    try:
        run_.start()
        run_.window("^" + re.escape(brand) + "$")
        if run_.desktop.windows("rvella"):
            raise Failure("a window is titled with the program's name: " +
                          ", ".join(run_.desktop.window_name(window) for window in run_.desktop.windows("rvella")))
        entry_path = os.path.join(run_.layout.config, "autostart", tree.identifier + ".desktop")
        entry = desktop_entry(entry_path)
        if entry.get("Name") != brand or entry.get("Exec") != tree.program("orvella"):
            raise Failure(f"the autostart entry: Name={entry.get('Name')!r} Exec={entry.get('Exec')!r}")
        result = run(["desktop-file-validate", entry_path])
        if result.returncode != 0 or result.stdout.strip():
            raise Failure("desktop-file-validate of the autostart entry: " + result.stdout.decode(errors="replace"))
    finally:
        status = run_.stop()
    if status != 0:
        raise Failure(f"orvella ended with {status} on SIGTERM:\n" + session.tail(run_.log_path))


def check_failed_start(tree, brand):
    print("== a launch that fails shows its alert under the brand's name", flush=True)
    run_ = DesktopSession(tree, "failing")
    # A file where the channel between the processes keeps its sockets: the channel cannot be opened.
    with open(os.path.join(run_.layout.group, "notifications"), "w") as stream:
        stream.write("kein Ordner")
    try:
        run_.start()
        window = run_.window("kann nicht starten")
        title = run_.desktop.window_name(window)
        if title != f"{brand} kann nicht starten \u2014 {brand}":
            raise Failure(f"the alert is titled {title!r}")
        # Answered as a person would; the program then ends in order.
        run_.desktop.focus(window)
        run_.desktop.key("Return")
        try:
            run_.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("the answered alert did not end orvella:\n" + session.tail(run_.log_path)) from None
    finally:
        status = run_.stop()
    if status != 1:
        raise Failure(f"a failed launch ended with {status}:\n" + session.tail(run_.log_path))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build folder to install")
    parser.add_argument("--prefix", required=True, help="the build's CMAKE_INSTALL_PREFIX")
    parser.add_argument("--identifier", required=True, help="the application identifier")
    arguments = parser.parse_args()

    missing = session.missing_programs(REQUIRED_PROGRAMS)
    if missing:
        print("skipped: missing " + ", ".join(missing) + " (scripts/install-deps.sh installs them)")
        return session.SKIP

    work = tempfile.mkdtemp(prefix="orvella-install-")
    try:
        tree = InstalledTree(arguments.build, arguments.prefix, arguments.identifier, work)
        tree.install()
        tree.check_libraries()
        brand = tree.check_version()
        tree.check_desktop_entry(brand)
        tree.check_glimmerctl()
        check_logged_out_start(tree, brand)
        check_failed_start(tree, brand)
    except Failure as failure:
        print("FAILED: " + str(failure))
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("the installed application holds")
    return 0


if __name__ == "__main__":
    sys.exit(main())
