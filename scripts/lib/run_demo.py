#!/usr/bin/env python3
"""The main job after the build: the tray application against the bundled
local service, with a demo account and a few sample files, everything under
one demo folder. On the display when there is one, else on an X server of
its own, where it logs in through the login window as a person would. Syncs
until Ctrl-C (or SIGTERM), then ends the application and the service in
order. A second run reuses the folder: the account, its files and the
application's login stay."""

import argparse
import os
import signal
import socket
import sys
import time

# No bytecode caches in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import orvella_session as session  # noqa: E402
from orvella_session import Failure, wait_for  # noqa: E402

DEMO_LOGIN = "demo@example.org"
DEMO_PASSWORD = "Orvella-Demo-1"
DEFAULT_PORT = 8642


class Stopped(Exception):
    """Ctrl-C or SIGTERM."""


def stop_requested(*_):
    # Once: the programs are being ended in order now.
    for number in (signal.SIGINT, signal.SIGTERM):
        signal.signal(number, signal.SIG_IGN)
    raise Stopped()


def port_is_free(port):
    try:
        with socket.socket() as probe:
            # As a server binds: a connection of an earlier run in TIME_WAIT does not count.
            probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            probe.bind(("127.0.0.1", port))
        return True
    except OSError:
        return False


def listing(folder):
    lines = []
    for directory, folders, files in os.walk(folder):
        # The engine stages downloads in a folder of its own at the top.
        if directory == folder and ".~sync-staging" in folders:
            folders.remove(".~sync-staging")
        folders.sort()
        for name in sorted(files):
            path = os.path.join(directory, name)
            lines.append(f"  {os.path.relpath(path, folder)}  ({os.path.getsize(path)} bytes)")
    return "\n".join(lines)


class Demo:
    def __init__(self, arguments):
        self.build = os.path.abspath(arguments.build)
        self.layout = session.Layout(arguments.demo).create()
        self.service = session.LocalCloud(self.program("LocalCloud/localcloud"), self.layout.service,
                                          os.path.join(self.layout.logs, "localcloud.log"), arguments.port)
        self.own_display = not os.environ.get("DISPLAY")
        self.xserver = None
        self.bus = None
        self.processes = []
        self.orvella = None

    def program(self, relative):
        # The programs are in the build's bin/ folder, or beside their sources' build.
        for path in (os.path.join(self.build, "bin", os.path.basename(relative)), os.path.join(self.build, relative)):
            if os.access(path, os.X_OK):
                return path
        raise Failure(f"{os.path.basename(relative)} is not built in {self.build}")

    def start(self, name, relative):
        process = session.start_program([self.program(relative)], self.environment,
                                        os.path.join(self.layout.logs, name + ".log"))
        self.processes.append(process)
        return process

    def run(self):
        print(f"Demo folder: {self.layout.root}")
        self.service.add_user(DEMO_LOGIN, DEMO_PASSWORD)
        self.service.start()
        account = session.ServiceAccount(self.service.base_url, DEMO_LOGIN, DEMO_PASSWORD).log_in()
        session.seed(account)
        print(f"Local service: {self.service.base_url} (data in {self.layout.service})")
        print(f"Account: {DEMO_LOGIN}  password: {DEMO_PASSWORD}")

        if self.own_display:
            self.xserver = session.XServer(os.path.join(self.layout.logs, "xvfb.log"))
        display = self.xserver.display if self.xserver else os.environ["DISPLAY"]
        self.bus = session.SessionBus(os.path.join(self.layout.logs, "dbus.log"))
        self.environment = self.layout.environment(self.service.base_url, display, self.bus.address)
        desktop = session.Desktop(self.environment, screenshots=os.path.join(self.layout.root, "screenshots"))
        print(f"Display: {display}{' (Xvfb)' if self.xserver else ''}")

        # The application starts its extension, glimmerd, itself once it is logged in.
        self.orvella = self.start("orvella", "Orvella/UI/orvella")

        def login_window_or_files():
            session.check_application(desktop, self.orvella, os.path.join(self.layout.logs, "orvella.log"))
            if session.cloud_has(self.layout.cloud, session.SAMPLE_FILES):
                return "synced"
            windows = desktop.windows(session.login_window_pattern())
            return windows[-1] if windows else None

        # A folder of an earlier run is logged in already: no login window then.
        found = wait_for(login_window_or_files, 120, "the login window")
        if found != "synced":
            print("Logging in through the login window …")
            desktop.log_in(found, DEMO_LOGIN, DEMO_PASSWORD)
        wait_for(lambda: self.check_running() and session.cloud_has(self.layout.cloud, session.SAMPLE_FILES), 180,
                 "the sample files in " + self.layout.cloud)
        # The login window moves on to its welcome view once the login's customer data is in, which may come
        # a moment after the files; the picture should show where it ends.
        if self.xserver:
            time.sleep(2)
        screenshot = desktop.screenshot("synced") if self.xserver else None

        print(f"\nCloud folder: {self.layout.cloud}\n{listing(self.layout.cloud)}")
        if screenshot:
            print(f"Screenshot: {screenshot}")
        print(f"Logs: {self.layout.logs}")
        print(f"The extension answers: XDG_RUNTIME_DIR={self.layout.runtime} "
              f"{self.program('Glimmerd/glimmerctl')} badge '{self.layout.cloud}'/*")
        print("\nSyncing; files put into the cloud folder go to the service. Ctrl-C stops.", flush=True)

        try:
            while self.check_running():
                time.sleep(0.5)
        except Stopped:
            pass
        status = session.stop_process(self.orvella, timeout=30)
        print(f"\norvella ended with {status}")
        return 0 if status == 0 else 1

    def check_running(self):
        if self.orvella.poll() is not None:
            raise Failure(f"orvella ended with {self.orvella.returncode}:\n"
                          + session.tail(os.path.join(self.layout.logs, "orvella.log")))
        return True

    def close(self):
        for process in reversed(self.processes):
            session.stop_process(process)
        session.end_session_processes(self.layout.group)
        self.service.stop()
        if self.bus:
            self.bus.stop()
        if self.xserver:
            self.xserver.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build folder")
    parser.add_argument("--demo", required=True, help="the demo folder")
    parser.add_argument("--port", type=int, default=None, help="the local service's port (a free one when left out)")
    arguments = parser.parse_args()

    missing = session.missing_programs(["dbus-daemon", "xdotool", "import"] + (["Xvfb"] if not os.environ.get("DISPLAY")
                                                                                else []))
    if missing:
        print("missing: " + ", ".join(missing) + " (scripts/install-deps.sh installs them)", file=sys.stderr)
        return 1
    if arguments.port is None:
        arguments.port = DEFAULT_PORT if port_is_free(DEFAULT_PORT) else session.free_port()
    for number in (signal.SIGINT, signal.SIGTERM):
        signal.signal(number, stop_requested)
    demo = None
    try:
        demo = Demo(arguments)
        return demo.run()
    except Stopped:
        return 0
    except Failure as failure:
        print(f"run.sh: {failure}", file=sys.stderr)
        return 1
    finally:
        if demo is not None:
            demo.close()
            print("Stopped the application, its extension and the local service.")
            print(f"Everything stays in {demo.layout.root}; run scripts/run.sh again to go on.")


if __name__ == "__main__":
    sys.exit(main())
