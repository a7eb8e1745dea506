"""A private desktop session for the tray application, shared by the
whole-application test and the main job (scripts/run.sh).

Everything the application touches lives under one folder: its home, the
XDG folders, the group directory, the local service's data. The X server
(Xvfb, unless a display is given) and the session bus are the session's own,
so the user's desktop, keyring and login items are never touched: the bus
activates nothing, so the keychain keeps its passwords in a file under the
session's XDG data folder.

Python 3 standard library only; the desktop is driven with xdotool, xclip and
ImageMagick's import, as a person at the keyboard would."""

import hashlib
import http.cookiejar
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import time
import urllib.error
import urllib.request

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
BUS_CONFIGURATION = os.path.join(HERE, "session-bus.conf")

# What the application calls itself (the default brand) and its default cloud folder.
APP_NAME = "brisanto cloud"
CLOUD_FOLDER_NAME = "brisanto cloud"

# The login window: 400 x 460, a 96 pixel banner, then the form with its
# margins and one line of text above the user name field.
LOGIN_USER_FIELD = (200, 151)


class Failure(Exception):
    pass


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def sha1(data):
    return hashlib.sha1(data).hexdigest()


def wait_for(predicate, timeout, what, interval=0.1):
    """The first true value of `predicate` within `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def missing_programs(names):
    return [name for name in names if shutil.which(name) is None]


def start_program(arguments, environment, log_path, collect=False):
    """A program of the session, in a session of its own so that a Ctrl-C
    reaches only the script, which ends the programs in order. With `collect`
    its standard output is a pipe for the caller."""
    with open(log_path, "ab") as log:
        return subprocess.Popen(arguments, env=environment, stdout=subprocess.PIPE if collect else log, stderr=log,
                                start_new_session=True)


def stop_process(process, timeout=20, sig=signal.SIGTERM):
    """Ends `process` with `sig`, then SIGKILL; returns its exit status."""
    if process is None:
        return None
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return process.returncode


def session_processes(group):
    """The ids of the processes whose environment names `group` as their
    group directory: the session's own, also those its programs started."""
    marker = ("ORVELLA_GROUP_CONTAINER=" + group).encode()
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit() or int(name) == os.getpid():
            continue
        try:
            with open(f"/proc/{name}/environ", "rb") as stream:
                if marker in stream.read().split(b"\0"):
                    found.append(int(name))
        except OSError:
            pass
    return found


def end_session_processes(group, timeout=10):
    """Ends what is left of the session's processes (an extension the
    application started, when the application did not end in order)."""
    for pid in session_processes(group):
        try:
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
    deadline = time.monotonic() + timeout
    while session_processes(group) and time.monotonic() < deadline:
        time.sleep(0.1)
    for pid in session_processes(group):
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


def tail(path, lines=40):
    try:
        with open(path, encoding="utf-8", errors="replace") as stream:
            return "".join(stream.readlines()[-lines:])
    except OSError:
        return ""


class Layout:
    """The folders of one session under `root`."""

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.home, ".config")
        self.data = os.path.join(self.home, ".local", "share")
        self.cache = os.path.join(self.home, ".cache")
        self.state = os.path.join(self.home, ".local", "state")
        self.runtime = os.path.join(self.root, "runtime")
        self.group = os.path.join(self.root, "group")
        self.service = os.path.join(self.root, "localcloud")
        self.logs = os.path.join(self.root, "logs")
        self.cloud = os.path.join(self.home, CLOUD_FOLDER_NAME)

    def create(self):
        for folder in (self.home, self.config, self.data, self.cache, self.state, self.group, self.service, self.logs):
            os.makedirs(folder, exist_ok=True)
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        # The group directory holds the database and the password fallback:
        # closed to everyone else, as the application makes it itself.
        os.chmod(self.group, 0o700)
        return self

    def environment(self, base_url, display, bus_address):
        """The process environment of the application and its extension."""
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith(("XDG_", "ORVELLA_", "DBUS_", "QT_", "SESSION_MANAGER"))
                       and key not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DESKTOP_SESSION")}
        environment.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.config,
            "XDG_DATA_HOME": self.data,
            "XDG_CACHE_HOME": self.cache,
            "XDG_STATE_HOME": self.state,
            "XDG_RUNTIME_DIR": self.runtime,
            "ORVELLA_GROUP_CONTAINER": self.group,
            "ORVELLA_LIVE_BASE_URL": base_url,
            "DISPLAY": display,
            "DBUS_SESSION_BUS_ADDRESS": bus_address,
            "QT_QPA_PLATFORM": "xcb",
            "LANG": environment.get("LANG", "C.UTF-8"),
        })
        if os.environ.get("XAUTHORITY") and display == os.environ.get("DISPLAY"):
            environment["XAUTHORITY"] = os.environ["XAUTHORITY"]
        return environment


class XServer:
    """Xvfb on a display number it picks itself. With -displayfd, Xvfb writes
    no lock file, and `xvfb-run -a` (or any X server started for a number)
    picks numbers by the lock files alone: it would start a second server on
    this one's number and take its socket. So the session writes the lock
    file itself, as X servers do, and when the number turns out taken it
    starts again on another."""

    attempts = 5

    def __init__(self, log_path, size="1280x800x24"):
        self.log = open(log_path, "ab")
        self.process = None
        self.lock_path = None
        for attempt in range(1, self.attempts + 1):
            if self._start(size):
                return
            stop_process(self.process)
            if attempt == self.attempts:
                self.log.close()
                raise Failure("Xvfb did not start on a display of its own: " + tail(log_path))

    def _start(self, size):
        reader, writer = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0", size, "-nolisten", "tcp"],
                                        pass_fds=(writer,), stdout=self.log, stderr=self.log,
                                        start_new_session=True)
        os.close(writer)
        with os.fdopen(reader, "rb") as stream:
            number = stream.readline().strip().decode()
        if not number:
            return False
        self.display = ":" + number
        lock_path = f"/tmp/.X{number}-lock"
        try:
            descriptor = os.open(lock_path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o444)
        except FileExistsError:
            # Another server holds the number by its lock file; one of a server
            # that is gone is taken over, as X servers do.
            try:
                with open(lock_path) as lock:
                    os.kill(int(lock.read().strip()), 0)
                return False
            except ProcessLookupError:
                os.unlink(lock_path)
                return False
            except (OSError, ValueError):
                return False
        with os.fdopen(descriptor, "w") as lock:
            lock.write("%10d\n" % self.process.pid)
        self.lock_path = lock_path

        def accepting():
            if self.process.poll() is not None:
                raise Failure(f"Xvfb ended with {self.process.returncode}: " + tail(self.log.name))
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
                return probe.connect_ex(f"/tmp/.X11-unix/X{number}") == 0

        wait_for(accepting, 30, "Xvfb to accept connections on " + self.display)
        return True

    def stop(self):
        stop_process(self.process)
        if self.lock_path:
            try:
                with open(self.lock_path) as lock:
                    ours = int(lock.read().strip()) == self.process.pid
                if ours:
                    os.unlink(self.lock_path)
            except (OSError, ValueError):
                pass
            self.lock_path = None
        self.log.close()


class SessionBus:
    """A session bus of its own that activates no service."""

    def __init__(self, log_path):
        self.log = open(log_path, "ab")
        self.process = subprocess.Popen(["dbus-daemon", "--config-file=" + BUS_CONFIGURATION, "--nofork", "--nopidfile",
                                         "--print-address=1"], stdout=subprocess.PIPE, stderr=self.log,
                                        start_new_session=True)
        self.address = self.process.stdout.readline().decode().strip()
        if not self.address:
            stop_process(self.process)
            raise Failure("dbus-daemon did not start: " + tail(log_path))

    def stop(self):
        stop_process(self.process)
        self.process.stdout.close()
        self.log.close()


class LocalCloud:
    """The localcloud program over one data folder on a free loopback port."""

    def __init__(self, program, data, log_path, port=None, request_log=None):
        self.program = program
        self.data = data
        self.log_path = log_path
        self.port = port or free_port()
        self.request_log = request_log
        self.process = None

    @property
    def base_url(self):
        return f"http://127.0.0.1:{self.port}/v2.0"

    def add_user(self, login, password):
        result = subprocess.run([self.program, "add-user", self.data, login], input=(password + "\n").encode(),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != 0:
            raise Failure("localcloud add-user failed: " + result.stdout.decode(errors="replace"))

    def start(self):
        with open(self.log_path, "ab") as log:
            logging = ["--request-log", self.request_log] if self.request_log else []
            self.process = subprocess.Popen([self.program, str(self.port), self.data, *logging], stdout=log, stderr=log,
                                            start_new_session=True)

        def listening():
            if self.process.poll() is not None:
                raise Failure(f"localcloud ended with {self.process.returncode}: " + tail(self.log_path))
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return True
            except OSError:
                return False

        wait_for(listening, 30, "localcloud to listen on port %d" % self.port)

    def stop(self):
        return stop_process(self.process)

    def requests(self):
        """The lines of the request log so far ("<method> <path>")."""
        try:
            with open(self.request_log, encoding="utf-8", errors="replace") as stream:
                return stream.read().splitlines()
        except (OSError, TypeError):
            return []


class ServiceAccount:
    """One account on the local service, over its HTTP routes."""

    def __init__(self, base_url, login, password, world="2"):
        self.base_url = base_url
        self.login = login
        self.password = password
        self.world = world
        self.opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
        self._root = None

    def request(self, method, path, body=None, data=None, headers=None, envelope=True):
        """The answer's JSON; its "data" member where `envelope` says the answer has one."""
        headers = dict(headers or {})
        if body is not None:
            data = json.dumps(body).encode()
            headers["Content-Type"] = "application/json"
        request = urllib.request.Request(self.base_url + path, data=data, method=method, headers=headers)
        try:
            with self.opener.open(request, timeout=30) as response:
                text = response.read()
        except urllib.error.HTTPError as error:
            raise Failure(f"{method} {path}: {error.code} {error.read().decode(errors='replace')}") from None
        answer = json.loads(text) if text else None
        return answer["data"] if envelope and isinstance(answer, dict) and "data" in answer else answer

    def log_in(self):
        self.request("POST", "/login", {"world": self.world, "login": self.login, "password": self.password})
        return self

    def create_folder(self, name, parent=None):
        body = {"folder_name": name}
        if parent is not None:
            body["file_id"] = parent
        folder = self.request("POST", "/files/folders", body)
        self._root = self._root or (folder["parent_file_id"] if parent is None else None)
        return folder

    def root_id(self):
        if self._root is None:
            # Every item names its parent; a folder of the root names the root.
            for item in self.files():
                if item["path"].rstrip("/").count("/") == 1:
                    self._root = item["parent_file_id"]
                    break
        if self._root is None:
            raise Failure("the service's root folder is unknown: no item in it yet")
        return self._root

    def upload(self, parent, name, content, mime_type="text/plain"):
        now = int(time.time())
        digest = sha1(content)
        announced = self.request("POST", "/files/init", {
            "parent_file_id": parent, "name": name, "mime_type": mime_type, "created": now, "modified": now,
            "hash": digest, "file_size": len(content)}, envelope=False)
        if not announced.get("upload"):
            return announced["data"]
        return self.request("PUT", f"/files/{announced['data']['id']}/stream", data=content, headers={
            "Content-Type": mime_type, "Request-Hash": sha1(f"{parent}/{name}/{digest}".encode())})

    def files(self):
        """Every item of the account, each with its "path"."""
        return self.request("GET", "/files?depth=-1")

    def item(self, path):
        for item in self.files():
            if item["path"].rstrip("/") == path.rstrip("/"):
                return item
        return None

    def download(self, identifier):
        request = urllib.request.Request(f"{self.base_url}/files/{identifier}/download")
        with self.opener.open(request, timeout=30) as response:
            return response.read()

    def shares(self, identifier):
        return self.request("GET", f"/shares/files/{identifier}")


# The sample files: path in the cloud -> content.
SAMPLE_FILES = {
    "Willkommen.txt": "Willkommen in Ihrer Cloud.\n".encode(),
    "Notizen.md": "# Notizen\n\n- Einkaufen\n- Bericht schreiben\n".encode(),
    "Projekte/Plan.txt": "Der Plan für das nächste Quartal.\n".encode(),
    "Projekte/Ausgaben 2026.csv": "Monat;Betrag\nJanuar;120\nFebruar;95\n".encode(),
}


def seed(account, files=SAMPLE_FILES):
    """Puts `files` on the service, folders first; files there already stay."""
    existing = {item["path"].rstrip("/"): item for item in account.files()}
    folders = {}

    def folder_id(path):
        if not path:
            return None
        if path not in folders:
            parent, _, name = path.rpartition("/")
            known = existing.get("/" + path)
            folders[path] = known["id"] if known else account.create_folder(name, folder_id(parent))["id"]
        return folders[path]

    for path in sorted(files, key=lambda path: (path.count("/") == 0, path)):
        parent = folder_id(path.rpartition("/")[0])
        if "/" + path not in existing:
            account.upload(parent if parent is not None else account.root_id(), path.rpartition("/")[2], files[path])


def cloud_has(cloud_folder, files):
    """Whether every one of `files` is in `cloud_folder` with its content."""
    for path, content in files.items():
        try:
            with open(os.path.join(cloud_folder, path), "rb") as stream:
                if stream.read() != content:
                    return False
        except OSError:
            return False
    return True


class Desktop:
    """The X display, driven as a person would."""

    def __init__(self, environment, screenshots=None):
        self.environment = environment
        self.screenshots = screenshots
        self.taken = []

    def run(self, *arguments, timeout=20, check=True):
        result = subprocess.run(list(arguments), env=self.environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(arguments)} ended with {result.returncode}: {result.stderr.decode(errors='replace')}")
        return result

    def windows(self, pattern, kinds=None):
        """The visible windows whose title matches the regular expression,
        oldest first; with `kinds` only those of these window types."""
        result = self.run("xdotool", "search", "--onlyvisible", "--name", pattern, check=False)
        found = result.stdout.decode().split()
        return [window for window in found if self.window_type(window) in kinds] if kinds else found

    def find_window(self, pattern, timeout=60, kinds=None):
        """The newest visible window whose title matches the regular expression."""
        found = wait_for(lambda: self.windows(pattern, kinds), timeout, f"a window titled /{pattern}/")
        return found[-1]

    def window_name(self, window):
        return self.run("xdotool", "getwindowname", window).stdout.decode(errors="replace").strip()

    def geometry(self, window):
        return self.window_geometry(window)[2:]

    def window_geometry(self, window):
        """(x, y, width, height) of the window on the screen."""
        text = self.run("xdotool", "getwindowgeometry", "--shell", window).stdout.decode()
        values = dict(line.split("=", 1) for line in text.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def window_type(self, window):
        """The kind of window it says it is ("NORMAL", "DIALOG", "POPUP_MENU",
        "UTILITY", …); "" when it says none or is gone."""
        result = self.run("xprop", "-id", window, "_NET_WM_WINDOW_TYPE", check=False)
        found = re.search(r"= _NET_WM_WINDOW_TYPE_(\w+)", result.stdout.decode(errors="replace"))
        return found.group(1) if found else ""

    def focus(self, window):
        # With a window manager the window is raised and activated; on a bare
        # X server only the input focus can be set.
        if self.run("xdotool", "windowactivate", "--sync", window, check=False, timeout=5).returncode != 0:
            self.run("xdotool", "windowraise", window, check=False)
            self.run("xdotool", "windowfocus", "--sync", window, timeout=10)

    def click(self, window, x, y, button=1):
        self.run("xdotool", "mousemove", "--window", window, str(x), str(y), "click", str(button))

    def close(self, window):
        """Asks the window to close as a window manager's close button does:
        the WM_DELETE_WINDOW message of the window protocols."""
        import ctypes
        x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                        ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                        ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

        class Event(ctypes.Union):
            _fields_ = [("message", ClientMessage), ("pad", ctypes.c_long * 24)]

        display = x11.XOpenDisplay(self.environment["DISPLAY"].encode())
        if not display:
            raise Failure("cannot open the X display to close a window")
        try:
            event = Event()
            event.message.type = 33  # ClientMessage
            event.message.window = int(window)
            event.message.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
            event.message.format = 32
            event.message.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
            x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
            x11.XFlush(display)
        finally:
            x11.XCloseDisplay(display)

    def screen_size(self):
        text = self.run("xdotool", "getdisplaygeometry").stdout.decode().split()
        return int(text[0]), int(text[1])

    def type(self, text):
        self.run("xdotool", "type", "--delay", "30", text, timeout=60)

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "60", *keys)

    def clipboard(self):
        result = self.run("xclip", "-selection", "clipboard", "-o", check=False, timeout=10)
        return result.stdout.decode(errors="replace") if result.returncode == 0 else ""

    def screenshot(self, name):
        if self.screenshots is None:
            return None
        os.makedirs(self.screenshots, exist_ok=True)
        path = os.path.join(self.screenshots, name + ".png")
        self.run("import", "-window", "root", path, timeout=30)
        self.taken.append(path)
        return path

    def log_in(self, window, login, password):
        """Types the account into the login window and sends it."""
        self.focus(window)
        self.click(window, *LOGIN_USER_FIELD)
        self.key("ctrl+a", "BackSpace")
        self.type(login)
        self.key("Tab")
        self.type(password)
        self.key("Return")


def login_window_pattern():
    return "^" + re.escape(APP_NAME) + "$"


def check_application(desktop, process, log_path):
    """Raises when the application ended or shows that its launch failed."""
    if process.poll() is not None:
        raise Failure(f"orvella ended with {process.returncode}:\n" + tail(log_path))
    if desktop.windows("^" + re.escape(APP_NAME) + " kann nicht starten"):
        desktop.screenshot("launch-failed")
        raise Failure(f"orvella shows \"{APP_NAME} kann nicht starten\":\n" + tail(log_path))
