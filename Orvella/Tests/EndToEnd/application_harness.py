#!/usr/bin/env python3
"""The whole tray application, as a person uses it, on an X server and a
session bus of its own: the localcloud program with an account and a few
files on a free loopback port, orvella pointed at it with a home, XDG folders
and a group directory of their own, glimmerd and glimmerctl asking for shares
as a file manager would, a notification server recording what reaches the
bus.

Steps: the login window appears; closed, a second orvella brings it back and
ends with status 0, saying the brand runs already; closed, the status item
says "Nicht angemeldet" and the tray menu's third entry ("Anmelden …") leads
to the login window without switching synchronisation off; closed again, the
tray's logged-out popover (wholly on the screen) leads to it with
"Anmelden …"; typing the account logs in and the login notification names
the user; the service's files arrive in the cloud folder; once the first sync
is done (every badge Idle) a new local file reaches the service; a file
changed here and on the service while orvella is stopped keeps both versions,
the service's beside it under its conflict name, both reach the service and
one notification says so; the glimmerd orvella started, killed, comes back
(with a log line why it ended), and another session's orvella (a home and
group directory of its own) started and ended leaves it running; a second
orvella shows the popover and ends with status 0; the popover's menu opens
the preferences, Alt+P there the proxy sheet and
Ctrl+Alt+D the debug pane; Escape on the "muss leer sein" alert for a chosen
folder with files leaves the files in place; the extension's public-link entry
opens "Freigeben: <name>", "Link erstellen" puts the service's link on the
clipboard (read by xclip) and "Freigabe erfolgreich" reaches the bus; the
folder entry opens the private dialog and the typed invitation reaches the
service; the service stopped while the popover opens, its list says it
could not be loaded, and with the service back the popover lists the files;
SIGTERM ends orvella with status 0 after it posted its termination
notification; started again, it is logged in without its login window,
syncs a new file, sends its extension no settings change from one idle poll
to the next, and the tray's own menu (a right click) opens the preferences;
SIGTERM ends it too. Without a tray (a bare X server) the status item's
window at the top right stands in for the tray icon. A screenshot of each
step goes to --out; the whole run takes about two minutes in a sanitizer build.

Exit status: 0 every step worked; 1 a step failed (its logs are printed);
77 a program the test needs is missing here."""

import argparse
import json
import os
import re
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

# No bytecode caches in the source tree.
sys.dont_write_bytecode = True
SOURCE_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_ROOT, "scripts", "lib"))

import orvella_session as session  # noqa: E402
from orvella_session import Failure, wait_for  # noqa: E402

LOGIN = "anna@example.org"
PASSWORD = "Geheim-123"
RECIPIENT = "bert@example.org"
INVITATION = "Hier sind die Projektunterlagen."
LOCAL_FILE = "Von hier.txt"
LOCAL_CONTENT = "Auf diesem Rechner geschrieben.\n".encode()
AGAIN_FILE = "Zweiter Start.txt"
AGAIN_CONTENT = "Nach dem Neustart geschrieben.\n".encode()
CONFLICT_FILE = "Notizen.md"
CONFLICT_HERE = "# Notizen\n\n- Hier geändert\n".encode()
CONFLICT_THERE = "# Notizen\n\n- Anderswo geändert\n".encode()
SHARED_FILE = "Willkommen.txt"
SHARED_FOLDER = "Projekte"
TERMINATION = "CloudAppWillTerminateNotification"
# Both contents of the popover are this wide.
POPOVER_WIDTH = 360
# Where controls sit in their windows, measured on this Xvfb's screenshots;
# each lies well inside its control, whose place the layout's margins fix.
POPOVER_MENU_BUTTON = (-26, -22)        # the menu's button, from the popover's bottom right
POPOVER_LOGIN_BUTTON = (-50, -27)       # "Anmelden …", from the logged-out popover's bottom right
PREFERENCES_ACCOUNT_TAB = (106, 30)     # "Konto" in the toolbar
ACCOUNT_CHANGE_BUTTON = (-60, 88)       # "Ändern …", from the window's top right
NOT_EMPTY_FOLDER = "Volle Mappe"
REQUIRED_PROGRAMS = ["Xvfb", "xdotool", "xprop", "xclip", "import", "dbus-daemon"]


class LineCollector:
    """The lines a process writes, read on a thread of their own."""

    def __init__(self, process, log_path):
        self.process = process
        self.lines = []
        self.lock = threading.Lock()
        self.log = open(log_path, "w", encoding="utf-8")
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode(errors="replace").rstrip("\n")
            with self.lock:
                self.lines.append(line)
            self.log.write(line + "\n")
            self.log.flush()

    def snapshot(self):
        with self.lock:
            return list(self.lines)


class NotificationListener:
    """A receiver of the notifications between the application's processes:
    one datagram socket in the group directory's "notifications/" folder,
    which every post reaches."""

    def __init__(self, group):
        folder = os.path.join(group, "notifications")
        os.makedirs(folder, mode=0o700, exist_ok=True)
        self.path = os.path.join(folder, f"{os.getpid()}-{secrets.token_hex(8)}.sock")
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(self.path)
        self.names = []
        self.lock = threading.Lock()
        threading.Thread(target=self._receive, daemon=True).start()

    def _receive(self):
        while True:
            try:
                data = self.socket.recv(65536)
            except OSError:
                return
            try:
                name = json.loads(data).get("name")
            except (ValueError, AttributeError):
                continue
            with self.lock:
                self.names.append(name)

    def received(self):
        with self.lock:
            return list(self.names)

    def close(self):
        self.socket.close()
        try:
            os.unlink(self.path)
        except OSError:
            pass


class ApplicationRun:
    def __init__(self, arguments, work, out):
        self.arguments = arguments
        self.out = out
        self.layout = session.Layout(work)
        self.layout.logs = os.path.join(out, "logs")
        self.layout.create()
        self.processes = []
        self.steps = []
        self.service = session.LocalCloud(arguments.localcloud, self.layout.service,
                                          os.path.join(self.layout.logs, "localcloud.log"),
                                          request_log=os.path.join(self.layout.logs, "requests.log"))
        self.xserver = None
        self.bus = None
        self.environment = None
        self.desktop = None
        self.account = None
        self.recorder = None
        self.listener = None
        self.orvella = None

    # -- processes -------------------------------------------------------

    def start(self, name, arguments, collect=False):
        log_path = os.path.join(self.layout.logs, name + ".log")
        process = session.start_program(arguments, self.environment, log_path + (".stderr" if collect else ""), collect)
        self.processes.append(process)
        return (process, LineCollector(process, log_path)) if collect else process

    def close(self):
        for process in reversed(self.processes):
            session.stop_process(process)
        session.end_session_processes(self.layout.group)
        if self.listener:
            self.listener.close()
        self.service.stop()
        if self.bus:
            self.bus.stop()
        if self.xserver:
            self.xserver.stop()

    def step(self, name):
        print(f"== {name}", flush=True)
        self.steps.append(name)

    def ctl(self, *arguments):
        result = subprocess.run([self.arguments.glimmerctl, *arguments], env=self.environment,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        return result.returncode, result.stdout.decode(errors="replace")

    def notifications(self, summary):
        return [line for line in self.recorder[1].snapshot() if line.startswith("Notify\t" + summary + "\t")]

    def orvella_log(self):
        return session.tail(os.path.join(self.layout.logs, "orvella.log"))

    # -- the steps -------------------------------------------------------

    def prepare(self):
        self.step("X server, session bus, service with an account and its files")
        self.xserver = session.XServer(os.path.join(self.layout.logs, "xvfb.log"))
        self.bus = session.SessionBus(os.path.join(self.layout.logs, "dbus.log"))
        self.environment = self.layout.environment(self.service.base_url, self.xserver.display, self.bus.address)
        # In a sanitizer build a leak changes the exit status the test checks;
        # fontconfig's patterns, freed only by a call Qt never makes, are none.
        suppressions = "suppressions=" + os.path.join(SOURCE_ROOT, "Orvella", "UI", "Gallery", "FontconfigLeaks.supp")
        leak_options = self.environment.get("LSAN_OPTIONS")
        self.environment["LSAN_OPTIONS"] = f"{leak_options}:{suppressions}" if leak_options else suppressions
        self.desktop = session.Desktop(self.environment, screenshots=self.out)

        self.service.add_user(LOGIN, PASSWORD)
        self.service.start()
        self.account = session.ServiceAccount(self.service.base_url, LOGIN, PASSWORD).log_in()
        session.seed(self.account)

        self.recorder = self.start("notification-recorder", [self.arguments.notification_recorder], collect=True)
        wait_for(lambda: "serving" in self.recorder[1].snapshot() or self.recorder[0].poll() is not None, 30,
                 "the notification recorder")
        if self.recorder[0].poll() is not None:
            raise Failure("the notification recorder ended: " + session.tail(os.path.join(self.layout.logs,
                                                                                           "notification-recorder.log.stderr")))
        self.listener = NotificationListener(self.layout.group)

    def login(self):
        self.step("the login window appears")
        self.orvella = self.start("orvella", [self.arguments.orvella])

        def window():
            session.check_application(self.desktop, self.orvella, os.path.join(self.layout.logs, "orvella.log"))
            return self.login_windows()

        login_window = wait_for(window, 120, "the login window")[-1]
        self.desktop.screenshot("01-login-window")

        self.step("closed, the login window comes back with a second start, which ends with status 0")
        self.close_login_window(login_window)
        self.second_start("orvella-second-logged-out")
        login_window = self.desktop.find_window(session.login_window_pattern(), 60, kinds=("NORMAL",))
        self.desktop.screenshot("01a-login-window-brought-back")

        self.step("logged out, the status item says nobody is logged in; the tray menu's third entry leads to the login")
        self.close_login_window(login_window)
        self.logged_out_tray()
        login_window = self.desktop.find_window(session.login_window_pattern(), 60, kinds=("NORMAL",))

        self.step("closed again, the tray's logged-out popover, wholly on the screen, leads to it")
        self.close_login_window(login_window)
        popover, geometry = self.open_popover()
        self.desktop.screenshot("01b-logged-out-popover")
        self.check_on_screen(geometry)
        self.desktop.click(popover, geometry[2] + POPOVER_LOGIN_BUTTON[0], geometry[3] + POPOVER_LOGIN_BUTTON[1])
        login_window = self.desktop.find_window(session.login_window_pattern(), 60, kinds=("NORMAL",))

        self.step("typing the account logs in; the notification names the user; the files arrive in the cloud folder")
        self.desktop.log_in(login_window, LOGIN, PASSWORD)
        wait_for(lambda: self.notifications("Angemeldet bei " + session.APP_NAME), 60,
                 "the login notification on the session bus")
        text = self.notifications("Angemeldet bei " + session.APP_NAME)[-1].split("\t")[2]
        if text != f"{LOGIN} ist angemeldet.":
            raise Failure(f"the login notification reads {text!r}")

        def arrived():
            if self.orvella.poll() is not None:
                raise Failure(f"orvella ended with {self.orvella.returncode} after the login:\n" + self.orvella_log())
            return session.cloud_has(self.layout.cloud, session.SAMPLE_FILES)

        try:
            wait_for(arrived, 180, "the service's files in " + self.layout.cloud)
        finally:
            self.desktop.screenshot("02-files-arrived")

    def upload(self):
        self.step("once the first sync is done, a new local file reaches the service")
        self.extension()
        paths = [self.layout.cloud] + [os.path.join(self.layout.cloud, path) for path in session.SAMPLE_FILES]

        def idle():
            badges = self.ctl("badge", *paths)[1].splitlines()
            return len(badges) == len(paths) and all(badge.startswith("Idle\t") for badge in badges)

        wait_for(idle, 120, "every badge of the first sync to be Idle", interval=0.5)
        self.wait_until_polls_settle()
        with open(os.path.join(self.layout.cloud, LOCAL_FILE), "wb") as stream:
            stream.write(LOCAL_CONTENT)

        def uploaded():
            item = self.account.item("/" + LOCAL_FILE)
            return item and item["file_hash"] == session.sha1(LOCAL_CONTENT) and \
                self.account.download(item["id"]) == LOCAL_CONTENT

        try:
            wait_for(uploaded, 60, f"{LOCAL_FILE} on the service", interval=0.5)
        finally:
            self.desktop.screenshot("03-local-file-uploaded")

    def conflict(self):
        self.step("a file changed here and on the service while orvella is stopped keeps both versions; one "
                  "notification names the other one")
        path = os.path.join(self.layout.cloud, CONFLICT_FILE)
        item = self.account.item("/" + CONFLICT_FILE)
        self.orvella.send_signal(signal.SIGSTOP)
        try:
            with open(path, "wb") as stream:
                stream.write(CONFLICT_HERE)
            digest = session.sha1(CONFLICT_THERE)
            self.account.request("PUT", f"/files/{item['id']}/stream", data=CONFLICT_THERE, headers={
                "Content-Type": "text/markdown",
                "Request-Hash": session.sha1(f"{item['parent_file_id']}/{CONFLICT_FILE}/{digest}".encode())})
        finally:
            self.orvella.send_signal(signal.SIGCONT)
        stem, extension = os.path.splitext(CONFLICT_FILE)
        summary = f"Konflikt bei „{CONFLICT_FILE}“"

        def copies():
            return [name for name in os.listdir(self.layout.cloud)
                    if name.startswith(stem + " (Konflikt ") and name.endswith(")" + extension)]

        try:
            wait_for(lambda: self.notifications(summary), 120, f"the notification \"{summary}\" on the session bus")
        finally:
            self.desktop.screenshot("03-conflict-kept")
        kept = copies()
        if len(kept) != 1:
            raise Failure(f"the other version of {CONFLICT_FILE} is not kept once beside it: {kept}")
        with open(os.path.join(self.layout.cloud, kept[0]), "rb") as stream:
            if stream.read() != CONFLICT_THERE:
                raise Failure(f"{kept[0]} does not hold the service's version")
        with open(path, "rb") as stream:
            if stream.read() != CONFLICT_HERE:
                raise Failure(f"{CONFLICT_FILE} does not hold the edit made here")
        text = self.notifications(summary)[-1].split("\t")[2]
        expected = ("Die Datei wurde hier und anderswo geändert. Beide Versionen bleiben erhalten: Die andere liegt "
                    f"daneben als „{kept[0]}“.")
        if text != expected:
            raise Failure(f"the conflict notification reads {text!r}")

        def both_up():
            here, there = self.account.item("/" + CONFLICT_FILE), self.account.item("/" + kept[0])
            return here and there and here["file_hash"] == session.sha1(CONFLICT_HERE) \
                and there["file_hash"] == session.sha1(CONFLICT_THERE)

        wait_for(both_up, 120, "both versions on the service", interval=0.5)
        if len(self.notifications(summary)) != 1:
            raise Failure(f"the conflict was notified {len(self.notifications(summary))} times")

    # -- the tray and its windows ----------------------------------------

    def second_start(self, name):
        """A second orvella, which must end at once with status 0 beside the first."""
        second = self.start(name, [self.arguments.orvella])
        try:
            status = second.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("a second orvella is still running after 60 s") from None
        if status != 0:
            raise Failure(f"a second orvella ended with {status}:\n" + session.tail(os.path.join(self.layout.logs,
                                                                                                  name + ".log")))
        if self.orvella.poll() is not None:
            raise Failure(f"the first orvella ended with {self.orvella.returncode} beside the second")
        said = session.tail(os.path.join(self.layout.logs, name + ".log"))
        if session.APP_NAME + " läuft bereits" not in said:
            raise Failure(f"a second orvella does not say that {session.APP_NAME} runs already:\n{said}")

    def close_login_window(self, window):
        self.desktop.close(window)
        wait_for(lambda: not self.login_windows(), 30, "the login window to close")

    def login_windows(self):
        # Untitled windows (the popover, menus, alerts) carry the brand's name
        # too; the login window is the one that is a normal window.
        return self.desktop.windows(session.login_window_pattern(), kinds=("NORMAL",))

    def visible_windows(self):
        """Every visible window of the application, the popover, menus and
        alerts included (their titles are not searchable by name)."""
        result = self.desktop.run("xdotool", "search", "--onlyvisible", "--class", "^orvella$", check=False)
        return result.stdout.decode().split()

    def status_item(self):
        # Without a tray (a bare X server) the status item is a small window.
        return self.desktop.find_window("^Status( |$)", 60)

    def popovers(self):
        found = []
        for window in self.visible_windows():
            try:
                geometry = self.desktop.window_geometry(window)
            except Failure:
                continue
            if geometry[2] == POPOVER_WIDTH:
                found.append((window, geometry))
        return found

    def open_popover(self):
        """Clicks the status item; the popover and its (x, y, width, height)."""
        shown = self.popovers()
        if shown:
            return shown[-1]
        status = self.status_item()
        self.desktop.click(status, 16, 16)
        try:
            return wait_for(lambda: self.popovers() and self.popovers()[-1], 5, "the popover")
        except Failure:
            # A click soon after the popover closed itself (Escape) is taken
            # for the click on the icon that closed it, and ignored once.
            self.desktop.click(status, 16, 16)
        return wait_for(lambda: self.popovers() and self.popovers()[-1], 30, "the popover")

    def check_on_screen(self, geometry):
        x, y, width, height = geometry
        screen_width, screen_height = self.desktop.screen_size()
        if x < 0 or y < 0 or x + width > screen_width or y + height > screen_height or height < 60:
            raise Failure(f"the popover lies at {x},{y} {width}x{height} on a screen of {screen_width}x{screen_height}")

    def open_menu(self, click):
        """Opens a menu with `click` and waits until it is on screen."""
        before = set(self.visible_windows())
        click()
        wait_for(lambda: set(self.visible_windows()) - before, 30, "the menu")
        # The menu opens with no entry chosen; the keys that follow choose one.

    def preferences_window(self):
        return self.desktop.find_window("^Einstellungen( |$)", 60)

    def close_window(self, window, what):
        self.desktop.close(window)
        wait_for(lambda: window not in self.visible_windows(), 30, what + " to close")

    def second_instance(self):
        self.step("logged in, a second orvella shows the popover and ends at once with status 0")
        if self.popovers():
            self.desktop.key("Escape")
        wait_for(lambda: not self.popovers(), 30, "no popover before the second start")
        self.second_start("orvella-second")
        _, geometry = wait_for(lambda: self.popovers() and self.popovers()[-1], 30,
                               "the popover after the second start")
        self.desktop.screenshot("03a-popover-after-second-start")
        self.check_on_screen(geometry)
        self.desktop.key("Escape")
        wait_for(lambda: not self.popovers(), 30, "Escape to close the popover")

    def preferences(self):
        self.step("the popover's menu opens the preferences; Alt+P the proxy sheet, Ctrl+Alt+D the debug pane")
        popover, geometry = self.open_popover()
        self.check_on_screen(geometry)
        self.open_menu(lambda: self.desktop.click(popover, geometry[2] + POPOVER_MENU_BUTTON[0],
                                                  geometry[3] + POPOVER_MENU_BUTTON[1]))
        self.desktop.screenshot("03b-popover-menu")
        # Pause or start, then "Einstellungen …".
        self.desktop.key("Down", "Down", "Return")
        preferences = self.preferences_window()
        self.desktop.screenshot("03c-preferences-from-the-popover")
        self.desktop.focus(preferences)
        self.desktop.key("alt+p")
        proxy = self.desktop.find_window("^Proxy( |$)", 30)
        self.desktop.screenshot("03d-proxy-sheet")
        self.close_window(proxy, "the proxy sheet")
        self.desktop.focus(preferences)
        self.desktop.key("ctrl+alt+d")
        debug = self.desktop.find_window("^Debug( |$)", 30)
        self.desktop.screenshot("03e-debug-pane")
        self.close_window(debug, "the debug pane")
        return preferences

    def escape_keeps_folder(self, preferences):
        self.step("Escape on the \"muss leer sein\" alert leaves the chosen folder's files in place")
        folder = os.path.join(self.layout.home, NOT_EMPTY_FOLDER)
        os.makedirs(os.path.join(folder, "Fotos"), exist_ok=True)
        kept = {os.path.join(folder, "Liste.txt"): b"Milch\n", os.path.join(folder, "Fotos", "Urlaub.txt"): b"Strand\n"}
        for path, content in kept.items():
            with open(path, "wb") as stream:
                stream.write(content)
        self.desktop.focus(preferences)
        self.desktop.click(preferences, *PREFERENCES_ACCOUNT_TAB)
        width, _ = self.desktop.geometry(preferences)
        self.desktop.click(preferences, width + ACCOUNT_CHANGE_BUTTON[0], ACCOUNT_CHANGE_BUTTON[1])
        chooser = self.desktop.find_window("^Neuen .* Ordner auswählen", 30, kinds=("DIALOG",))
        self.desktop.focus(chooser)
        self.desktop.screenshot("03f-folder-chooser")
        # The chooser's name field has the focus; a folder's path and Return choose it.
        self.desktop.key("ctrl+a", "BackSpace")
        self.desktop.type(folder)
        self.desktop.key("Return")
        wait_for(lambda: chooser not in self.visible_windows(), 30, "the folder chooser to close")

        def alert():
            dialogs = [window for window in self.visible_windows()
                       if window != chooser and self.desktop.window_type(window) == "DIALOG"]
            return dialogs and dialogs[-1]

        shown = wait_for(alert, 30, "the alert about the chosen folder")
        self.desktop.focus(shown)
        self.desktop.screenshot("03f-folder-not-empty-alert")
        self.desktop.key("Escape")
        wait_for(lambda: shown not in self.visible_windows(), 30, "Escape to close the alert")
        for path, content in kept.items():
            try:
                with open(path, "rb") as stream:
                    if stream.read() == content:
                        continue
            except OSError:
                pass
            raise Failure(f"after Escape on the alert {path} is no longer in place")
        self.desktop.screenshot("03g-after-escape")
        self.close_window(preferences, "the preferences window")

    def status_text(self):
        """What the status item says of the state (its window's name after "Status – ")."""
        said = self.desktop.window_name(self.status_item()).partition("Status \u2013 ")[2]
        # Every window's name ends in the brand.
        suffix = " \u2014 " + session.APP_NAME
        return said[:-len(suffix)] if said.endswith(suffix) else said

    def enable_sync_setting(self):
        """The stored "EnableSync" of the shared settings (None while never written)."""
        try:
            with open(os.path.join(self.layout.group, "defaults.json"), encoding="utf-8") as stream:
                return json.load(stream).get("EnableSync")
        except (OSError, ValueError):
            return None

    def logged_out_tray(self):
        wait_for(lambda: self.status_text() == "Nicht angemeldet", 30,
                 f"the status item to say \"Nicht angemeldet\" (it says {self.status_text()!r})")
        status = self.status_item()
        self.desktop.run("xdotool", "mousemove", "--window", status, "16", "16")
        self.desktop.screenshot("01b-logged-out-status-item")
        self.open_menu(lambda: self.desktop.click(status, 16, 16, button=3))
        self.desktop.screenshot("01c-logged-out-tray-menu")
        # The cloud folder, the preferences, then the pause or start entry.
        self.desktop.key("Down", "Down", "Down", "Return")
        if self.enable_sync_setting() is False:
            raise Failure("logged out, the tray menu's pause or start entry switched synchronisation off")

    def tray_menu_preferences(self):
        self.step("the tray's own menu (a right click) opens the preferences")
        status = self.status_item()
        self.open_menu(lambda: self.desktop.click(status, 16, 16, button=3))
        self.desktop.screenshot("09a-tray-menu")
        # The cloud folder, then "Einstellungen …".
        self.desktop.key("Down", "Down", "Return")
        preferences = self.preferences_window()
        self.desktop.screenshot("09b-preferences-from-the-tray")
        self.close_window(preferences, "the preferences window")

    def extension(self):
        # The application starts its extension itself once logged in.
        cloud = self.layout.cloud.rstrip("/")
        wait_for(lambda: cloud in self.ctl("observed")[1].split("\n"), 60, "glimmerd (started by orvella) observing " + cloud)

    def extension_pid(self):
        """The glimmerd holding this session's group directory lock, or None."""
        lock = os.path.join(self.layout.group, "glimmerd.lock")
        try:
            inode = os.stat(lock).st_ino
        except OSError:
            return None
        with open("/proc/locks", encoding="ascii") as stream:
            for line in stream:
                fields = line.split()
                if len(fields) > 5 and fields[1] == "FLOCK" and fields[5].rsplit(":", 1)[-1] == str(inode):
                    pid = int(fields[4])
                    try:
                        if os.path.realpath(f"/proc/{pid}/exe") == os.path.realpath(self.arguments.glimmerd):
                            return pid
                    except OSError:
                        pass
        return None

    def extension_lifetime(self):
        self.step("glimmerd killed comes back; another session's application leaves this session's glimmerd alone")
        first = wait_for(self.extension_pid, 30, "this session's glimmerd")
        os.kill(first, signal.SIGKILL)
        again = wait_for(lambda: (self.extension_pid() or first) != first and self.extension_pid(), 60,
                         "glimmerd to be started again after SIGKILL")
        self.extension()
        wait_for(lambda: any(f"(Prozess {first}) wurde durch das Signal 9 (SIGKILL) beendet" in line
                             for line in self.orvella_log_lines()), 10, "the log line of why glimmerd ended")

        # A second session of the same user: a home, runtime and group directory of its own.
        other = session.Layout(os.path.join(self.layout.root, "second-session"))
        other.create()
        environment = other.environment(self.service.base_url, self.environment["DISPLAY"],
                                         self.environment["DBUS_SESSION_BUS_ADDRESS"])
        environment["LSAN_OPTIONS"] = self.environment["LSAN_OPTIONS"]
        log_path = os.path.join(self.layout.logs, "orvella-second-session.log")
        # This session's welcome window carries the brand's name too.
        before = set(self.login_windows())
        second = session.start_program([self.arguments.orvella], environment, log_path)
        self.processes.append(second)
        try:
            # Logged out, it shows its login window once its launch (which
            # switches its own extension off) is through.
            wait_for(lambda: set(self.login_windows()) - before or second.poll() is not None, 120,
                     "the second session's login window")
            self.desktop.screenshot("03-second-session")
            if second.poll() is not None:
                raise Failure(f"the second session's orvella ended with {second.returncode}:\n" + session.tail(log_path))
        finally:
            status = session.stop_process(second, timeout=60)
            session.end_session_processes(other.group)
        if status != 0:
            raise Failure(f"the second session's orvella ended with {status} after SIGTERM:\n" + session.tail(log_path))
        if self.extension_pid() != again:
            raise Failure(f"this session's glimmerd ({again}) did not outlive the second session's application "
                          f"(now {self.extension_pid()})")
        self.extension()
        self.desktop.screenshot("03-extension-back")

    def menu_entry(self, path, title):
        """The index of the enabled entry `title` in the menu of `path`."""
        def entry():
            status, output = self.ctl("menu", path)
            for line in output.split("\n"):
                fields = line.split("\t")
                if status == 0 and len(fields) == 3 and fields[1] == "enabled" and fields[2] == title:
                    return fields[0]
            return None

        return wait_for(entry, 60, f"the enabled entry \"{title}\" for {path}", interval=0.5)

    def public_link(self):
        self.step("the extension's public-link request opens its window; the link reaches the clipboard")
        path = os.path.join(self.layout.cloud, SHARED_FILE)
        index = self.menu_entry(path, "Link teilen \u2026")
        status, output = self.ctl("invoke", index, path)
        if status != 0:
            raise Failure(f"glimmerctl invoke {index} {path} ended with {status}: {output}")
        window = self.desktop.find_window("^" + re.escape("Freigeben: " + SHARED_FILE) + "$", 60)
        self.desktop.screenshot("04-public-link-dialog")
        self.desktop.focus(window)
        width, height = self.desktop.geometry(window)
        # "Link erstellen" sits at the bottom right, below the four lifetimes,
        # about 20 pixels in from both edges.
        self.desktop.click(window, width - 40, height - 31)

        prefix = f"http://127.0.0.1:{self.service.port}/public/"
        try:
            link = wait_for(lambda: self.desktop.clipboard().startswith(prefix) and self.desktop.clipboard(), 60,
                            "the public link on the clipboard")
        finally:
            self.desktop.screenshot("05-link-created")
        item = self.account.item("/" + SHARED_FILE)
        links = [share.get("url") for share in self.account.shares(item["id"]) if share.get("type") == "public"]
        if links != [link.strip()]:
            raise Failure(f"the clipboard holds {link!r}, the service has the public links {links}")
        wait_for(lambda: self.notifications("Freigabe erfolgreich"), 30,
                 "the notification \"Freigabe erfolgreich\" on the session bus")

    def private_share(self):
        self.step("the extension's folder request opens the private dialog; the invitation reaches the service")
        path = os.path.join(self.layout.cloud, SHARED_FOLDER)
        index = self.menu_entry(path, "Ordner freigeben \u2026")
        before = len(self.notifications("Freigabe erfolgreich"))
        status, output = self.ctl("invoke", index, path)
        if status != 0:
            raise Failure(f"glimmerctl invoke {index} {path} ended with {status}: {output}")
        window = self.desktop.find_window(re.escape(SHARED_FOLDER), 60)
        wait_for(lambda: self.desktop.window_name(window).startswith(f"Freigabe für Ordner \"{SHARED_FOLDER}\""), 30,
                 "the private dialog's title")
        self.desktop.focus(window)
        width, height = self.desktop.geometry(window)
        # The recipients field has the focus first; the message fills the middle.
        self.desktop.type(RECIPIENT)
        self.desktop.click(window, width // 2, height // 2)
        self.desktop.type(INVITATION)
        self.desktop.screenshot("06-private-share-dialog")
        # From the message Tab goes on to "Einladen".
        self.desktop.key("Tab", "space")

        folder = self.account.item("/" + SHARED_FOLDER)

        def invited():
            return [share for share in self.account.shares(folder["id"])
                    if share.get("type") == "private" and share.get("display_email") == RECIPIENT]

        try:
            wait_for(invited, 60, f"the invitation of {RECIPIENT} on the service", interval=0.5)
        finally:
            self.desktop.screenshot("07-invitation-sent")
        wait_for(lambda: len(self.notifications("Freigabe erfolgreich")) > before, 30,
                 "the invitation's notification on the session bus")

    def popover_outage(self):
        self.step("the service away while the popover opens; back again, the popover lists the files")
        if self.popovers():
            self.desktop.key("Escape")
        wait_for(lambda: not self.popovers(), 30, "no popover before the outage")
        log_lines = len(self.orvella_log_lines())
        self.service.stop()
        try:
            self.open_popover()
            wait_for(lambda: any("Die Dateiliste kann nicht geladen werden" in line
                                 for line in self.orvella_log_lines()[log_lines:]), 60,
                     "the popover's failed list during the outage")
            self.desktop.screenshot("07a-popover-during-outage")
            self.desktop.key("Escape")
            wait_for(lambda: not self.popovers(), 30, "Escape to close the popover")
        finally:
            self.service.start()
            # A restarted service knows no session: the test's own logs in again.
            self.account.log_in()
        self.open_popover()

        def listed():
            for line in self.orvella_log_lines()[log_lines:]:
                found = re.search(r"Die Dateiliste ist wieder geladen: (\d+) Dateien", line)
                if found and int(found.group(1)) > 0:
                    return True
            return False

        try:
            wait_for(listed, 120, "the popover to list the files again after the outage")
        finally:
            self.desktop.screenshot("07b-popover-after-outage")
        self.desktop.key("Escape")
        wait_for(lambda: not self.popovers(), 30, "Escape to close the popover")

    def orvella_log_lines(self):
        try:
            with open(os.path.join(self.layout.logs, "orvella.log"), encoding="utf-8", errors="replace") as stream:
                return stream.read().splitlines()
        except OSError:
            return []

    def wait_until_polls_settle(self):
        """Until the application has asked for the root's etag twice in a row.

        It asks at every sync interval and syncs when the answer changed: two
        questions with nothing between them mean the answer stayed, so nothing
        but the watch of the cloud folder starts a sync from here on. The test
        must ask the service nothing meanwhile. Returns the number of requests
        the service has seen."""
        poll = f"GET /v2.0/files/{self.account.root_id()}"
        wait_for(lambda: self.service.requests()[-2:] == [poll, poll], 120,
                 "two root etag polls in a row with no sync between them", interval=0.5)
        return len(self.service.requests()), poll

    def settings_messages(self):
        """The sequence number of the last "CloudUserDefaultsDidChange" the
        application sent its extension (0 before the first)."""
        try:
            with open(os.path.join(self.layout.group, "wormhole", "CloudUserDefaultsDidChange.json"), "rb") as stream:
                return json.loads(stream.read()).get("sequence", 0)
        except (OSError, ValueError):
            return 0

    def termination(self, process, name, screenshot):
        self.step(f"SIGTERM ends {name} with status 0 after its termination notification")
        self.desktop.screenshot(screenshot)
        before = self.listener.received().count(TERMINATION)
        process.send_signal(signal.SIGTERM)
        try:
            status = process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure(f"{name} still runs 60 s after SIGTERM") from None
        if status != 0:
            raise Failure(f"{name} ended with {status} after SIGTERM:\n"
                          + session.tail(os.path.join(self.layout.logs, name + ".log")))
        wait_for(lambda: self.listener.received().count(TERMINATION) > before, 10, TERMINATION)

    def relaunch(self):
        self.step("started again, orvella is logged in, syncs, and its settings rest while it idles")
        process = self.start("orvella-again", [self.arguments.orvella])
        with open(os.path.join(self.layout.cloud, AGAIN_FILE), "wb") as stream:
            stream.write(AGAIN_CONTENT)

        def uploaded():
            session.check_application(self.desktop, process, os.path.join(self.layout.logs, "orvella-again.log"))
            item = self.account.item("/" + AGAIN_FILE)
            return item and item["file_hash"] == session.sha1(AGAIN_CONTENT)

        wait_for(uploaded, 120, f"{AGAIN_FILE} on the service", interval=0.5)
        if self.login_windows():
            self.desktop.screenshot("09-login-window-again")
            raise Failure("started again with its account stored, orvella shows the login window")
        # From one idle poll to the next nothing changes, so nothing may be sent.
        count, poll = self.wait_until_polls_settle()
        sent = self.settings_messages()
        wait_for(lambda: len(self.service.requests()) > count, 120, "the next root etag poll", interval=0.5)
        if self.service.requests()[count:] != [poll]:
            raise Failure(f"the service saw more than one poll while orvella idled: {self.service.requests()[count:]}")
        if self.settings_messages() != sent:
            raise Failure(f"while idle between two polls orvella sent its extension {self.settings_messages() - sent} "
                          "\"CloudUserDefaultsDidChange\" messages")
        self.desktop.screenshot("09-started-again")
        self.tray_menu_preferences()
        return process

    def run(self):
        self.prepare()
        self.login()
        self.upload()
        self.conflict()
        self.extension_lifetime()
        self.second_instance()
        self.escape_keeps_folder(self.preferences())
        self.public_link()
        self.private_share()
        self.popover_outage()
        self.termination(self.orvella, "orvella", "08-before-termination")
        self.termination(self.relaunch(), "orvella-again", "10-before-termination-again")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for program in ("orvella", "localcloud", "glimmerd", "glimmerctl", "notification-recorder"):
        parser.add_argument("--" + program, required=True)
    parser.add_argument("--out", required=True, help="the folder of the screenshots and logs")
    parser.add_argument("--keep", action="store_true", help="keep the session's folder")
    arguments = parser.parse_args()

    missing = session.missing_programs(REQUIRED_PROGRAMS)
    if missing:
        print("skipped: missing " + ", ".join(missing) + " (scripts/install-deps.sh installs them)")
        return session.SKIP

    shutil.rmtree(arguments.out, ignore_errors=True)
    os.makedirs(arguments.out)
    # Short paths: unix socket addresses live under it.
    work = tempfile.mkdtemp(prefix="orvella-e2e-")
    started = time.monotonic()
    run = None
    status = 1
    try:
        run = ApplicationRun(arguments, work, arguments.out)
        run.run()
        status = 0
    except Failure as failure:
        print(f"FAILED in \"{run.steps[-1] if run and run.steps else 'set-up'}\": {failure}")
    finally:
        if run:
            run.close()
            if status != 0:
                for name in sorted(os.listdir(run.layout.logs)):
                    print(f"--- {name}\n{session.tail(os.path.join(run.layout.logs, name), 30)}")
        if not arguments.keep:
            shutil.rmtree(work, ignore_errors=True)
    print(f"screenshots and logs: {arguments.out} ({time.monotonic() - started:.0f} s)")
    return status


if __name__ == "__main__":
    sys.exit(main())
