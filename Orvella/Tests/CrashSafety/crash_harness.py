#!/usr/bin/env python3
"""Crash-safety harness: a seeded tree, the localcloud program and the sync
driver in processes of their own, SIGKILL at chosen moments, then one run that
must complete, and the invariants checked after it.

A failure prints the seed, the kill that preceded it and the difference, so
that it can be replayed with --seed and --scenario.

Exit status: 0 every invariant held; 1 an invariant failed; 77 the scenario
cannot run on this machine (the reason is printed)."""

import argparse
import hashlib
import json
import os
import random
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unicodedata

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "scripts"))
import powercut_fs  # noqa: E402

# The engine's own folder at the top of the cloud folder, where downloads are
# staged; no part of the synced tree.
STAGING_FOLDER = ".~sync-staging"

LOGIN = "anna@example.org"
PASSWORD = "Geheim-123"
KILL_POINTS = ["download-placed", "upload-between-requests", "store-transaction", "folder-move"]
SKIP = 77


class Failure(Exception):
    pass


class Skipped(Exception):
    pass


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def sha(data):
    return hashlib.sha1(data).hexdigest()


def canonical(path):
    return unicodedata.normalize("NFC", path)


class Service:
    """The localcloud program on a fixed port over one data folder."""

    def __init__(self, program, work, data=None):
        self.program = program
        self.data = data or os.path.join(work, "service")
        self.log = os.path.join(work, "requests.log")
        self.errors = open(os.path.join(work, "service.stderr"), "ab")
        self.port = free_port()
        self.process = None
        subprocess.run([program, "add-user", self.data, LOGIN], input=(PASSWORD + "\n").encode(),
                       check=True, stderr=subprocess.DEVNULL)

    @property
    def base_url(self):
        return f"http://127.0.0.1:{self.port}/v2.0"

    def start(self, *shaping):
        self.process = subprocess.Popen([self.program, str(self.port), self.data, "--request-log", self.log, *shaping],
                                        stderr=self.errors)
        # Generous: at its start the service reads every content back (on the
        # power-cut file system, through FUSE), on a machine that may be busy.
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise Failure(f"localcloud ended with {self.process.returncode} at start")
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return
            except OSError:
                time.sleep(0.05)
        raise Failure("localcloud did not listen")

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process = None

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGCONT)
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def restart(self, *shaping):
        self.kill()
        self.start(*shaping)

    def log_lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8", errors="replace") as stream:
            return stream.read().splitlines()

    def database(self):
        return os.path.join(self.data, "localcloud.sqlite")

    def tree(self):
        """path -> sha1 of the content, or "/" for a folder; paths canonical."""
        return {path: ("/" if data is None else sha(data)) for path, data in self.contents(folders=True).items()}

    def contents(self, folders=False):
        """path -> content of every listed file (and None for each folder with `folders`)."""
        connection = sqlite3.connect(self.database(), timeout=30)
        try:
            rows = connection.execute(
                "SELECT id, parentID, name, isFolder FROM Item WHERE account = ? AND state = 1", (LOGIN,)).fetchall()
        finally:
            connection.close()
        byID = {row[0]: row for row in rows}
        root = next(row[0] for row in rows if row[1] == 0)
        tree = {}
        for identifier, parent, name, folder in rows:
            if identifier == root:
                continue
            parts = [name]
            while parent != root:
                if parent not in byID:
                    parts = None
                    break
                parts.append(byID[parent][2])
                parent = byID[parent][1]
            if parts is None:
                continue
            path = canonical("/" + "/".join(reversed(parts)))
            if folder:
                if folders:
                    tree[path + "/"] = None
            else:
                with open(os.path.join(self.data, "content", str(identifier)), "rb") as stream:
                    tree[path] = stream.read()
        return tree


class Client:
    """One cloud folder with its store, synced by the driver."""

    def __init__(self, driver, work, name, service, cloud=None, disk=None):
        """`disk`: the folder holding the cloud folder, the store and the transfers (default `work`)."""
        self.driver = driver
        self.service = service
        disk = disk or work
        self.folder = cloud or os.path.join(disk, name)
        self.store = os.path.join(disk, name + ".db")
        self.transfers = os.path.join(disk, name + ".transfers")
        self.output = os.path.join(work, name + ".stderr")
        os.makedirs(self.folder, exist_ok=True)
        os.makedirs(self.transfers, exist_ok=True)

    def run(self, stop=None, kill_after=None, idle_timeout=4, during=None, retry_go=None):
        """One driver run; answers (exit status, kill points reached). `during(process)` runs while it works.
        With `retry_go` the driver hands the engine to the scheduler once that file exists (see the driver)."""
        environment = dict(os.environ)
        environment.pop("ORVELLA_CRASH_STOP", None)
        environment.pop("ORVELLA_CRASH_RETRY", None)
        if stop:
            environment["ORVELLA_CRASH_STOP"] = stop
        if retry_go:
            environment["ORVELLA_CRASH_RETRY"] = retry_go
        environment["ORVELLA_CRASH_IDLE_TIMEOUT"] = str(idle_timeout)
        with open(self.output, "wb") as errors:
            process = subprocess.Popen([self.driver, self.service.base_url, LOGIN, PASSWORD, self.folder, self.store,
                                        self.transfers], stderr=errors, env=environment)
            if during:
                during(process)
            if kill_after is not None:
                try:
                    process.wait(timeout=kill_after)
                except subprocess.TimeoutExpired:
                    process.kill()
            try:
                status = process.wait(timeout=600)
            except subprocess.TimeoutExpired:
                process.kill()
                raise Failure("the driver did not end")
        with open(self.output, encoding="utf-8", errors="replace") as stream:
            text = stream.read()
        points = [line.split(" ", 1)[1] for line in text.splitlines()
                  if line.startswith("kill-point ") and not line.startswith("kill-point reached")]
        if status not in (0, 3, -signal.SIGKILL):
            sys.stderr.write(text[-4000:])
        return status, points

    def wait_for_line(self, line, timeout):
        """Whether the running driver wrote `line` on standard error within `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with open(self.output, encoding="utf-8", errors="replace") as stream:
                if line in stream.read().splitlines():
                    return True
            time.sleep(0.02)
        return False

    def tree(self):
        tree = {}
        for directory, folders, files in os.walk(self.folder):
            if directory == self.folder and STAGING_FOLDER in folders:
                folders.remove(STAGING_FOLDER)
            for name in folders + files:
                full = os.path.join(directory, name)
                path = canonical("/" + os.path.relpath(full, self.folder))
                if os.path.isdir(full):
                    tree[path + "/"] = "/"
                else:
                    with open(full, "rb") as stream:
                        tree[path] = sha(stream.read())
        return tree

    def contents(self):
        """path -> content of every file in the cloud folder."""
        result = {}
        for directory, folders, files in os.walk(self.folder):
            if directory == self.folder and STAGING_FOLDER in folders:
                folders.remove(STAGING_FOLDER)
            for name in files:
                full = os.path.join(directory, name)
                with open(full, "rb") as stream:
                    result[canonical("/" + os.path.relpath(full, self.folder))] = stream.read()
        return result

    def write(self, path, data):
        full = os.path.join(self.folder, path.lstrip("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as stream:
            stream.write(data)


WORDS = ["Bericht", "Notizen", "Fotos", "Projekt", "Rechnung", "alt", "neu", "Entwurf", "Daten", "Archiv"]
UMLAUTS = ["Größe", "Übersicht", "Äpfel und Birnen", "schön", "Grüße", "Maße", "Öl", "Bücher"]


def name_for(rng, used):
    while True:
        base = rng.choice(WORDS + UMLAUTS)
        if rng.random() < 0.4:
            base += " " + rng.choice(WORDS)
        base += f" {rng.randrange(1000)}"
        form = "NFD" if rng.random() < 0.5 else "NFC"
        name = unicodedata.normalize(form, base)
        if canonical(name).casefold() not in used:
            used.add(canonical(name).casefold())
            return name


def generate(rng, files, big_files, big_size):
    """A seeded tree: {path: bytes} for files and {path/: None} for folders, paths as written (NFC or NFD)."""
    folders = ["/"]
    used = {}
    tree = {}
    for _ in range(max(3, files // 8)):
        parent = rng.choice(folders) if len(folders) < 4 or rng.random() < 0.7 else "/"
        if parent.count("/") > 5:
            parent = "/"
        folder = parent + name_for(rng, used.setdefault(parent, set())) + "/"
        folders.append(folder)
        tree[folder] = None
    for index in range(files):
        parent = rng.choice(folders)
        path = parent + name_for(rng, used.setdefault(parent, set())) + ".txt"
        size = big_size + rng.randrange(4096) if index < big_files else rng.randrange(6000)
        tree[path] = rng.randbytes(size)
    return tree


def expected_tree(model):
    return {canonical(path): ("/" if data is None else sha(data)) for path, data in model.items()}


def write_tree(client, model):
    for path, data in sorted(model.items()):
        if data is None:
            os.makedirs(os.path.join(client.folder, path.strip("/")), exist_ok=True)
        else:
            client.write(path, data)


def is_hollow(data):
    """Empty or all zeros: what a power cut leaves of data that was never made durable."""
    return data.count(0) == len(data)


def fsync_path(path):
    descriptor = os.open(path, os.O_RDONLY | os.O_NOFOLLOW)
    try:
        os.fsync(descriptor)
    finally:
        os.close(descriptor)


def make_durable(root):
    """Syncs every file and folder below `root`, the folders after what they hold."""
    for directory, folders, files in os.walk(root, topdown=False):
        for name in files:
            if not os.path.islink(os.path.join(directory, name)):
                fsync_path(os.path.join(directory, name))
        fsync_path(directory)


def snapshot(folder):
    result = {}
    for directory, folders, files in os.walk(folder):
        if directory == folder and STAGING_FOLDER in folders:
            folders.remove(STAGING_FOLDER)
        for name in files:
            full = os.path.join(directory, name)
            with open(full, "rb") as stream:
                result[os.path.relpath(full, folder)] = (sha(stream.read()), os.stat(full).st_mtime_ns)
    return result


def integrity(database):
    connection = sqlite3.connect(database, timeout=30)
    try:
        return connection.execute("PRAGMA integrity_check").fetchone()[0]
    finally:
        connection.close()


def describe_difference(left, right, left_name, right_name):
    lines = []
    for path in sorted(set(left) | set(right)):
        if left.get(path) != right.get(path):
            lines.append(f"  {path}: {left_name} {left.get(path)} / {right_name} {right.get(path)}")
    return "\n".join(lines[:40]) + ("\n  …" if len(lines) > 40 else "")


class Scenario:
    def __init__(self, arguments, work):
        self.arguments = arguments
        self.work = work
        self.rng = random.Random(arguments.seed)
        # The power-cut file systems in use; the scenarios on them check more (see check).
        self.mounts = []
        self.power = arguments.scenario.startswith("powercut-")
        # Contents of extra copies a scenario makes on purpose (a conflict of its own making).
        self.allowed_extra = set()
        self.empty_uploads = 0
        self.service_mount = self.power_mount("service") if arguments.scenario == "powercut-service" else None
        # On the power-cut file system the service makes its data folder durable itself (add-user, start).
        self.service = Service(arguments.localcloud, work,
                               os.path.join(self.service_mount.path, "service") if self.service_mount else None)
        self.outside = os.path.join(work, "Outside")
        os.makedirs(self.outside)
        for index in range(5):
            with open(os.path.join(self.outside, f"fremd {index}.txt"), "wb") as stream:
                stream.write(self.rng.randbytes(100))
        self.outside_before = snapshot(self.outside)
        # What the user wrote, path -> bytes, for the check that nothing is lost.
        self.written = {}
        self.kills = 0
        self.last_kill = "none"
        self.bytes_lost = 0

    def client(self, name, cloud=None):
        return Client(self.arguments.driver, self.work, name, self.service, cloud)

    def power_mount(self, name):
        mount = powercut_fs.PowerCutMount(os.path.join(self.work, "power-" + name), self.arguments.model)
        try:
            mount.start()
        except powercut_fs.Unavailable as reason:
            raise Skipped(str(reason))
        self.mounts.append(mount)
        return mount

    def power_client(self, name):
        """A client whose cloud folder, store and transfers lie on a power-cut file system."""
        mount = self.power_mount(name)
        client = Client(self.arguments.driver, self.work, name, self.service, disk=mount.path)
        make_durable(mount.path)
        return client, mount

    def cut_rounds(self, client, mount, rounds, after_round=None):
        """`rounds` runs of `client` ended by a power cut of its disk: at a time, at a
        kill point the last run passed, or after the run finished by itself."""
        seen = {}
        for round in range(rounds):
            kind = round % 3
            if kind == 0:
                delay = self.rng.uniform(0.2, self.arguments.max_delay)
                self.last_kill = f"power cut after {delay:.2f} s"

                def cut_later(process):
                    try:
                        process.wait(timeout=delay)
                    except subprocess.TimeoutExpired:
                        pass
                    mount.cut(kill=process.kill)

                status, points = client.run(during=cut_later)
            elif kind == 1:
                point = self.rng.choice(sorted(seen) or KILL_POINTS)
                occurrence = self.rng.randint(1, max(1, seen.get(point, 1)))
                self.last_kill = f"power cut at {point}:{occurrence}"
                status, points = client.run(stop=f"{point}:{occurrence}")
                mount.cut()
            else:
                self.last_kill = "power cut after a finished run"
                status, points = client.run()
                mount.cut()
            self.kills += 1
            mount.start()
            seen = {}
            for point in points:
                seen[point] = seen.get(point, 0) + 1
            if after_round:
                after_round()

    def synced_tree(self, writer, *others, durable=False, model=None):
        """A fresh tree (or `model`) written into `writer`'s folder and remembered, synced by `writer`, then by each
        of `others`. `durable`: the tree is synced to the disk first (the user's programs saved it long ago)."""
        model = model if model is not None else self.fresh_tree()
        write_tree(writer, model)
        if durable:
            make_durable(writer.folder)
        self.remember(model)
        self.clean_run(writer)
        for other in others:
            self.clean_run(other)
        return model

    def fresh_tree(self, files=None):
        files = files or self.arguments.files
        return generate(self.rng, files, self.arguments.big_files, self.arguments.big_size)

    def remember(self, model):
        for path, data in model.items():
            if data is not None:
                self.written[canonical(path)] = data

    def clean_run(self, client):
        status, _ = client.run(idle_timeout=60)
        if status != 0:
            raise Failure(f"a run without kills ended with status {status}")

    def kill_rounds(self, client, rounds, between=None):
        """`rounds` killed runs of `client`: named kill points and kills by time, alternating."""
        seen = {}
        for round in range(rounds):
            if between:
                between(round)
            if round % 2 == 1:
                # A point the last run passed, at one of the times it passed it.
                point = self.rng.choice(sorted(seen) or KILL_POINTS)
                occurrence = self.rng.randint(1, max(1, seen.get(point, 1)))
                self.last_kill = f"{point}:{occurrence}"
                status, points = client.run(stop=self.last_kill)
            else:
                delay = self.rng.uniform(0.2, self.arguments.max_delay)
                self.last_kill = f"after {delay:.2f} s"
                status, points = client.run(kill_after=delay)
            self.kills += status == -signal.SIGKILL
            seen = {}
            for point in points:
                seen[point] = seen.get(point, 0) + 1

    def converge(self, client, expected=None):
        """The completing run, then every invariant."""
        # A server move that came with new content is moved by one run and
        # brought down by the next, so the completing run may take two.
        for attempt in range(3):
            status, _ = client.run(idle_timeout=60)
            if status == 0 and attempt > 0:
                break
        if status != 0:
            raise Failure(f"the completing run ended with status {status}\n" + open(client.output).read()[-3000:])
        self.check(client, expected)

    def check(self, client, expected):
        local = client.tree()
        remote = self.service.tree()
        problems = []
        if local != remote:
            problems.append("local tree differs from the service's:\n" + describe_difference(local, remote, "disk", "service"))
        leftovers = [path for path in local if any(part.startswith(".") for part in path.strip("/").split("/"))]
        if leftovers:
            problems.append("temporary or partial files in the cloud folder: " + ", ".join(leftovers))
        content = os.path.join(self.service.data, "content")
        partial = [name for name in os.listdir(content) if not name.isdigit()]
        if partial:
            problems.append("partial uploads kept by the service: " + ", ".join(partial))
        contents = set(local.values()) | set(remote.values())
        lost = [path for path, data in self.written.items() if sha(data) not in contents]
        if lost:
            self.bytes_lost += sum(len(self.written[path]) for path in lost)
            problems.append("user files lost (no copy anywhere): " + ", ".join(lost))
        if expected is not None:
            missing = {path: value for path, value in expected.items() if local.get(path) != value}
            extra = [path for path in local if path not in expected and local[path] not in
                     {sha(data) for data in self.written.values()}]
            if missing or extra:
                problems.append("the tree is not the expected one:\n" + describe_difference(
                    {path: local.get(path) for path in list(missing) + extra},
                    {path: expected.get(path) for path in list(missing) + extra}, "disk", "expected"))
        if self.power:
            problems.extend(self.power_problems(client, local, expected))
        if snapshot(self.outside) != self.outside_before:
            problems.append("a folder outside the cloud folder changed")
        for database in (client.store, self.service.database()):
            verdict = integrity(database)
            if verdict != "ok":
                problems.append(f"integrity_check of {database}: {verdict}")
        # A further run finds nothing to do.
        before = len(self.service.log_lines())
        status, _ = client.run(idle_timeout=60)
        mutating = [line for line in self.service.log_lines()[before:]
                    if not line.startswith("GET ") and line != "POST /v2.0/login"]
        if status != 0:
            problems.append(f"the further run ended with status {status}")
        if mutating:
            problems.append("the further run changed the service: " + ", ".join(mutating[:10]))
        if client.tree() != local:
            problems.append("the further run changed the disk:\n" + describe_difference(local, client.tree(), "before", "after"))
        if problems:
            raise Failure("\n".join(problems))

    def power_problems(self, client, local, expected):
        """What a power cut must not leave: hollow files (empty or all zeros where
        the user's file had content) on either side, and copies the engine made
        of its own files (it met them as strangers after losing its records)."""
        problems = []
        for side, contents in (("disk", client.contents()), ("service", self.service.contents())):
            hollow = sorted(path for path, data in contents.items() if is_hollow(data) and not (
                path in self.written and is_hollow(self.written[path])))
            if hollow:
                if side == "service":
                    self.empty_uploads += len(hollow)
                problems.append(f"empty or zero-filled files on the {side}: " + ", ".join(hollow[:20]))
        if expected is not None:
            copies = sorted(path for path in local if path not in expected and local[path] not in self.allowed_extra)
            if copies:
                problems.append("copies beside the expected tree: " + ", ".join(copies[:20]))
        return problems

    def service_unchanged(self, expected, client):
        """Nothing but the seeder changed the service: its tree is still `expected`.
        A failure counts the empty uploads and the user's bytes no side holds any more."""
        tree = self.service.tree()
        if tree != expected:
            contents = self.service.contents()
            self.empty_uploads += sum(1 for path, data in contents.items()
                                      if is_hollow(data) and sha(data) != expected.get(path))
            held = set(tree.values()) | set(client.tree().values())
            self.bytes_lost += sum(len(data) for data in self.written.values() if sha(data) not in held)
            raise Failure("the service changed though only a download ran:\n"
                          + describe_difference(tree, expected, "service", "seeded"))

    # The scenarios.

    def down(self):
        seeder, client = self.client("Seeder"), self.client("Cloud")
        model = self.synced_tree(seeder)
        self.kill_rounds(client, self.arguments.kills)
        self.converge(client, expected_tree(model))

    def up(self):
        client = self.client("Cloud")
        model = self.fresh_tree()
        write_tree(client, model)
        self.remember(model)
        self.kill_rounds(client, self.arguments.kills)
        self.converge(client, expected_tree(model))

    def both_ways(self):
        """Half the tree waits on the service, half on the disk."""
        seeder, client = self.client("Seeder"), self.client("Cloud")
        remote = self.fresh_tree(self.arguments.files // 2)
        write_tree(seeder, {("/Fern" + path if path != "/" else path): data for path, data in remote.items()} | {"/Fern/": None})
        self.clean_run(seeder)
        local = self.fresh_tree(self.arguments.files // 2)
        write_tree(client, local)
        model = {("/Fern" + path): data for path, data in remote.items()} | {"/Fern/": None} | local
        self.remember(model)
        return client, model

    def mixed(self, mount=None):
        """With `mount` this side's disk loses power instead of the driver being killed."""
        if mount:
            client, mount = self.power_client("Cloud")
        else:
            client = self.client("Cloud")
        other = self.client("Other")
        # Each side works below top-level folders of its own, two at least (one moves into the other): a small
        # seeded tree may have fewer, so folders with a few files each are added.
        model = self.fresh_tree()
        used = {canonical(path).casefold() for path in model}
        top = sum(1 for path, data in model.items() if data is None and path.count("/") == 2)
        for index in range(max(0, 4 - top)):
            folder = f"/Ablage {index}/"
            while canonical(folder).casefold() in used:
                folder = folder[:-1] + "x/"
            used.add(canonical(folder).casefold())
            model[folder] = None
            for number in range(2):
                model[f"{folder}Seite {number}.txt"] = self.rng.randbytes(self.rng.randrange(1, 5000))
        model = self.synced_tree(client, other, durable=bool(mount), model=model)
        folders = sorted(path for path, data in model.items() if data is None and path.count("/") == 2)
        mine, theirs = folders[0::2], folders[1::2]

        def on_disk(side, path):
            """The item's full path as the side's disk spells it (downloaded names may differ in normalisation)."""
            current = side.folder
            for part in path.strip("/").split("/"):
                current = os.path.join(current, next(name for name in os.listdir(current) if canonical(name) == canonical(part)))
            return current

        def mutate(side, roots):
            nonlocal model
            model = {canonical(path): data for path, data in model.items()}
            roots = [canonical(root) for root in roots]
            files = sorted(path for path, data in model.items() if data is not None and any(path.startswith(r) for r in roots))
            self.rng.shuffle(files)
            quarter = max(1, len(files) // 6)
            for path in files[:quarter]:  # edits
                data = self.rng.randbytes(self.rng.randrange(1, 5000))
                with open(on_disk(side, path), "wb") as stream:
                    stream.write(data)
                model[path] = data
            for path in files[quarter:2 * quarter]:  # renames
                target = path[:-4] + " umbenannt.txt"
                source = on_disk(side, path)
                os.rename(source, os.path.join(os.path.dirname(source), target.rsplit("/", 1)[1]))
                model[target] = model.pop(path)
            for path in files[2 * quarter:3 * quarter]:  # deletes
                os.remove(on_disk(side, path))
                del model[path]
            for index in range(quarter):  # new files
                path = roots[index % len(roots)] + f"frisch {index}.txt"
                data = self.rng.randbytes(self.rng.randrange(1, 5000))
                with open(os.path.join(on_disk(side, roots[index % len(roots)]), f"frisch {index}.txt"), "wb") as stream:
                    stream.write(data)
                model[path] = data
            # A folder with its contents moves into a sibling.
            if len(roots) >= 2:
                source, target = roots[0], roots[1] + roots[0].strip("/").split("/")[-1] + "/"
                os.rename(on_disk(side, source), os.path.join(on_disk(side, roots[1]), os.path.basename(on_disk(side, source))))
                model = {(target + path[len(source):] if path.startswith(source) else path): data
                         for path, data in model.items()}
            self.remember(model)

        mutate(client, mine)
        mutate(other, theirs)
        # Both sides create one name with their own content: the other side's
        # reaches the service first, this side's is kept beside it under a name
        # the service chooses, wherever the kills fall.
        ours, others = self.rng.randbytes(3000), self.rng.randbytes(3001)
        for side, data in ((client, ours), (other, others)):
            with open(os.path.join(side.folder, "Zugleich erstellt.txt"), "wb") as stream:
                stream.write(data)
        model["/Zugleich erstellt.txt"] = others
        self.allowed_extra.add(sha(ours))
        if mount:
            # The user's programs saved their work durably; what the engine wrote stays as it was.
            make_durable(client.folder)
        # Deleted files are no longer the user's; what the model holds is.
        self.written = {canonical(path): data for path, data in model.items() if data is not None}
        self.written["(this side's copy of /Zugleich erstellt.txt)"] = ours
        self.clean_run(other)
        expected = expected_tree(model)
        if mount:
            self.cut_rounds(client, mount, self.arguments.kills)
            self.power_converge(client, mount, expected)
        else:
            self.kill_rounds(client, self.arguments.kills)
            self.converge(client, expected)
        self.clean_run(other)
        self.clean_run(other)
        if other.tree() != client.tree():
            raise Failure("the other client did not converge:\n" + describe_difference(other.tree(), client.tree(), "other", "this"))

    # Power cuts: only what was synced survives on the disk that lost power.

    def power_converge(self, client, mount, expected, after=None):
        """The completing run and its checks; then the power goes once more with
        everything finished, and the run after it must find all as it was."""
        self.converge(client, expected)
        self.last_kill = "power cut after convergence"
        mount.cut(kill=self.service.kill if mount is self.service_mount else None)
        mount.start()
        if mount is self.service_mount:
            self.service.start()
        if after:
            after()
        self.converge(client, expected)

    def powercut_down(self):
        seeder = self.client("Seeder")
        client, mount = self.power_client("Cloud")
        model = self.synced_tree(seeder)
        expected = expected_tree(model)
        self.cut_rounds(client, mount, self.arguments.kills, after_round=lambda: self.service_unchanged(expected, client))
        self.power_converge(client, mount, expected, after=lambda: self.service_unchanged(expected, client))
        self.service_unchanged(expected, client)

    def powercut_up(self):
        client, mount = self.power_client("Cloud")
        model = self.fresh_tree()
        write_tree(client, model)
        make_durable(mount.path)
        self.remember(model)
        self.cut_rounds(client, mount, self.arguments.kills)
        self.power_converge(client, mount, expected_tree(model))

    def powercut_mixed(self):
        self.mixed(mount=True)

    def powercut_service(self):
        """The service's disk loses power, after confirmed uploads and in the middle of them."""
        client, model = self.both_ways()
        mount = self.service_mount

        def cut_service_later(process):
            try:
                process.wait(timeout=self.rng.uniform(0.2, self.arguments.max_delay))
            except subprocess.TimeoutExpired:
                pass
            mount.cut(kill=self.service.kill)
            self.kills += 1
            mount.start()
            self.service.start()

        for round in range(self.arguments.kills):
            self.last_kill = f"service power cut round {round}"
            if round % 3 == 2:
                self.kill_rounds(client, 1)
            else:
                client.run(during=cut_service_later)
        self.power_converge(client, mount, expected_tree(model))

    def service_killed(self):
        client, model = self.both_ways()

        def kill_service_later(process):
            delay = self.rng.uniform(0.2, self.arguments.max_delay)
            try:
                process.wait(timeout=delay)
            except subprocess.TimeoutExpired:
                self.service.kill()
                self.kills += 1
                time.sleep(self.rng.uniform(0, 1))
            self.service.restart()

        for round in range(self.arguments.kills):
            self.last_kill = f"service round {round}"
            if round % 3 == 2:
                self.kill_rounds(client, 1)
            else:
                client.run(during=kill_service_later)
        self.converge(client, expected_tree(model))

    def network(self):
        client, model = self.both_ways()
        for round in range(self.arguments.kills):
            kind = ["cut", "stall", "refused"][round % 3]
            self.last_kill = f"network {kind} round {round}"
            if kind == "cut":
                self.service.restart("--cut-after", str(self.rng.randrange(100, 200000)))
                client.run(idle_timeout=2)
                self.service.restart()
            elif kind == "stall":
                def stall(process):
                    time.sleep(self.rng.uniform(0.2, self.arguments.max_delay))
                    self.service.process.send_signal(signal.SIGSTOP)
                    process.wait(timeout=120)
                    self.service.process.send_signal(signal.SIGCONT)
                client.run(idle_timeout=1, during=stall)
            else:
                def refuse(process):
                    time.sleep(self.rng.uniform(0.2, self.arguments.max_delay))
                    self.service.kill()
                    process.wait(timeout=120)
                    self.service.start()
                client.run(idle_timeout=2, during=refuse)
            self.kills += 1
        self.converge(client, expected_tree(model))

    def readonly(self):
        client, model = self.both_ways()
        probe = os.path.join(self.work, "probe")
        open(probe, "w").close()
        os.chmod(probe, 0o444)
        try:
            open(probe, "a").close()
            writable = True
        except PermissionError:
            writable = False
        if writable and shutil.which("chattr") is None:
            raise Skipped("the store cannot be made read-only here (root without chattr)")
        if writable and subprocess.run(["chattr", "+i", probe], stderr=subprocess.DEVNULL).returncode != 0:
            raise Skipped("the store cannot be made read-only here (root, and the file system refuses chattr +i)")
        if writable:
            subprocess.run(["chattr", "-i", probe])

        def protect(on):
            for suffix in ("", "-wal", "-shm"):
                path = client.store + suffix
                if not os.path.exists(path):
                    continue
                if writable:
                    subprocess.run(["chattr", "+i" if on else "-i", path], check=True)
                else:
                    os.chmod(path, 0o444 if on else 0o644)

        def between(round):
            if round % 2 == 1:
                protect(True)
                self.last_kill = f"read-only store before round {round}"
                try:
                    client.run(idle_timeout=4)
                finally:
                    protect(False)

        self.kill_rounds(client, self.arguments.kills, between)
        self.converge(client, expected_tree(model))

    def tmpfs(self):
        cloud = os.path.join(self.work, "Small")
        os.makedirs(cloud)
        size = self.arguments.big_size * 2
        if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", cloud],
                          stderr=subprocess.DEVNULL).returncode != 0:
            raise Skipped("mounting a small tmpfs is not allowed here")
        try:
            seeder, client = self.client("Seeder"), self.client("Small", cloud)
            model = self.fresh_tree()
            model["/Groß 1.bin"] = self.rng.randbytes(self.arguments.big_size)
            model["/Groß 2.bin"] = self.rng.randbytes(self.arguments.big_size)
            write_tree(seeder, model)
            self.remember(model)
            self.clean_run(seeder)
            # The disk fills during these runs; each that ends by itself must
            # leave no partial file behind (a killed one cannot clean up; the
            # next run's scan removes what it left).
            for round in range(self.arguments.kills):
                self.last_kill = f"full disk round {round}"
                if round % 2:
                    self.kill_rounds(client, 1)
                    continue
                client.run()
                self.kills += 1
                stray = [path for path in client.tree() if path.rsplit("/", 1)[-1].startswith(".")]
                if stray:
                    raise Failure("partial files on the full disk: " + ", ".join(stray))
            subprocess.run(["mount", "-o", f"remount,size={size * 8 + 64 * 1024 * 1024}", cloud], check=True)
            self.converge(client, expected_tree(model))
        finally:
            subprocess.run(["umount", "-l", cloud], stderr=subprocess.DEVNULL)

    # Folders deleted or replaced on one computer while the service holds newer work below them.

    def folder_delete(self):
        """Deleted folders whose contents another client changed since: the changes stay and come back."""
        client, other = self.client("Cloud"), self.client("Other")
        model = self.synced_tree(client, other)
        model = {canonical(path): data for path, data in model.items()}
        folders = sorted(path for path, data in model.items() if data is None and path.count("/") == 2)
        deleted = folders[0::2][:3]
        expected = {path: data for path, data in model.items() if not any(path.startswith(f) for f in deleted)}
        for folder in deleted:
            newer = folder + "neu von anderswo.txt"
            data = self.rng.randbytes(self.rng.randrange(1, 5000))
            with open(os.path.join(disk_path(other, folder), "neu von anderswo.txt"), "wb") as stream:
                stream.write(data)
            expected[folder] = None
            expected[newer] = data
            inside = sorted(path for path, value in model.items() if value is not None and path.startswith(folder))
            if inside:
                edited = self.rng.choice(inside)
                data = self.rng.randbytes(self.rng.randrange(1, 5000))
                with open(disk_path(other, edited), "wb") as stream:
                    stream.write(data)
                expected[edited] = data
                parent = edited.rsplit("/", 1)[0] + "/"
                while len(parent) > len(folder):
                    expected[parent] = None
                    parent = parent[:-1].rsplit("/", 1)[0] + "/"
        self.clean_run(other)
        for folder in deleted:
            shutil.rmtree(disk_path(client, folder))
        # What the deletes took is no longer the user's; the other client's work is.
        self.written = {path: data for path, data in expected.items() if data is not None}
        self.kill_rounds(client, self.arguments.kills)
        self.converge(client, expected_tree(expected))

    def type_change(self):
        """Folders replaced by files of their name: the files go up, the folders go, in any state a kill leaves."""
        client = self.client("Cloud")
        model = {canonical(path): data for path, data in self.synced_tree(client).items()}
        folders = sorted(path for path, data in model.items() if data is None and path.count("/") == 2)
        replaced = folders[1::2][:3] or folders[:1]
        expected = {path: data for path, data in model.items() if not any(path.startswith(f) for f in replaced)}
        for folder in replaced:
            location = disk_path(client, folder)
            shutil.rmtree(location)
            data = self.rng.randbytes(self.rng.randrange(1, 5000))
            with open(location, "wb") as stream:
                stream.write(data)
            expected[folder.rstrip("/")] = data
        self.written = {path: data for path, data in expected.items() if data is not None}
        self.kill_rounds(client, self.arguments.kills)
        self.converge(client, expected_tree(expected))

    def retry(self):
        """Local work made while the service is down goes up once it is back, by the scheduler's retry alone."""
        client = self.client("Cloud")
        model = {canonical(path): data for path, data in self.synced_tree(client).items()}
        go = os.path.join(self.work, "go")
        for round in range(max(1, self.arguments.kills // 3)):
            self.last_kill = f"service outage round {round}"
            if os.path.exists(go):
                os.remove(go)
            work = {f"/Während der Störung {round}-{index}.txt": self.rng.randbytes(self.rng.randrange(1, 5000))
                    for index in range(3)}
            files = sorted(path for path, data in model.items() if data is not None)
            for path in self.rng.sample(files, min(2, len(files))):
                work[path] = self.rng.randbytes(self.rng.randrange(1, 5000))

            def outage(process):
                if not client.wait_for_line("logged in", 120):
                    process.kill()
                    raise Failure("the driver did not log in")
                self.service.kill()
                for path, data in work.items():
                    target = disk_path(client, path) if path in model else os.path.join(client.folder, path.lstrip("/"))
                    with open(target, "wb") as stream:
                        stream.write(data)
                open(go, "w").close()
                failed = client.wait_for_line("run failed", 120)
                self.service.start()
                if not failed:
                    process.kill()
                    raise Failure("no run failed while the service was down")

            status, _ = client.run(during=outage, retry_go=go)
            self.kills += 1
            model.update(work)
            self.remember(work)
            if status != 0:
                raise Failure(f"the scheduler did not retry the failed run to success (status {status})\n"
                              + open(client.output).read()[-3000:])
            # The retry alone brought the work up: no further run has happened yet.
            if client.tree() != self.service.tree():
                raise Failure("after the retry the service differs from the disk:\n"
                              + describe_difference(client.tree(), self.service.tree(), "disk", "service"))
        self.converge(client, expected_tree(model))


    def conflict(self):
        """Files changed here and by another client between kills: both versions stay, byte for byte, the
        other one beside the local file under its conflict name."""
        client, other = self.client("Cloud"), self.client("Other")
        model = {canonical(path): data for path, data in self.synced_tree(client, other).items()}
        # Each round edits files no round edited before: what the user overwrote himself is not the engine's loss.
        files = sorted(path for path, data in model.items() if data is not None)
        self.rng.shuffle(files)
        last = {}

        def between(round):
            if round % 3 or not files:
                return
            last.clear()
            for path in [files.pop() for _ in range(min(4, len(files)))]:
                self.written.pop(path, None)
                ours, theirs = self.rng.randbytes(self.rng.randrange(1, 5000)), self.rng.randbytes(self.rng.randrange(1, 5000))
                for side, data in ((client, ours), (other, theirs)):
                    with open(disk_path(side, path), "wb") as stream:
                        stream.write(data)
                self.written[f"(this side's {path}, round {round})"] = ours
                self.written[f"(the other side's {path}, round {round})"] = theirs
                last[path] = (ours, theirs)
            self.last_kill = f"both sides edited before round {round}"
            self.clean_run(other)

        self.kill_rounds(client, self.arguments.kills, between)
        self.converge(client)
        local = client.tree()
        for path, (ours, theirs) in sorted(last.items()):
            if local.get(path) != sha(ours):
                raise Failure(f"{path} does not hold this side's edit after the kills")
            folder, name = path.rsplit("/", 1)
            stem, dot, extension = name.rpartition(".")
            stem, extension = (stem, dot + extension) if stem else (name, "")
            copies = [other_path for other_path, digest in local.items() if digest == sha(theirs)
                      and other_path.startswith(folder + "/" + stem + " (Konflikt ") and other_path.endswith(extension)
                      and "/" not in other_path[len(folder) + 1:]]
            if not copies:
                raise Failure(f"the other side's edit of {path} is not kept beside it:\n"
                              + describe_difference(local, self.service.tree(), "disk", "service"))
        # The other client takes the copies in and both end alike.
        self.clean_run(other)
        self.clean_run(client)
        if other.tree() != client.tree() or client.tree() != self.service.tree():
            raise Failure("the clients did not converge:\n" + describe_difference(other.tree(), client.tree(), "other", "this"))


def disk_path(client, path):
    """The item's full path as the client's disk spells it (downloaded names may differ in normalisation)."""
    current = client.folder
    for part in path.strip("/").split("/"):
        current = os.path.join(current, next(name for name in os.listdir(current) if canonical(name) == canonical(part)))
    return current


SCENARIOS = {
    "down": Scenario.down,
    "up": Scenario.up,
    "mixed": Scenario.mixed,
    "service": Scenario.service_killed,
    "network": Scenario.network,
    "readonly": Scenario.readonly,
    "tmpfs": Scenario.tmpfs,
    "folderdelete": Scenario.folder_delete,
    "typechange": Scenario.type_change,
    "retry": Scenario.retry,
    "conflict": Scenario.conflict,
    "powercut-down": Scenario.powercut_down,
    "powercut-up": Scenario.powercut_up,
    "powercut-mixed": Scenario.powercut_mixed,
    "powercut-service": Scenario.powercut_service,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--localcloud", required=True)
    parser.add_argument("--scenario", required=True, choices=sorted(SCENARIOS))
    parser.add_argument("--kills", type=int, default=10)
    parser.add_argument("--model", choices=("ext4", "strict"), default="ext4",
                        help="powercut scenarios: when folder entries become durable (see scripts/powercut_fs.py)")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--files", type=int, default=int(os.environ.get("ORVELLA_CRASH_FILES", "200")))
    parser.add_argument("--big-files", type=int, default=3)
    parser.add_argument("--big-size", type=int, default=3 * 1024 * 1024)
    parser.add_argument("--max-delay", type=float, default=3.0)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--json", help="append the result as one JSON line to this file")
    arguments = parser.parse_args()
    if arguments.seed is None:
        arguments.seed = int(os.environ.get("ORVELLA_CRASH_SEED", "0")) or random.SystemRandom().randrange(1, 2**31)

    work = tempfile.mkdtemp(prefix=f"crash-{arguments.scenario}-")
    result = {"scenario": arguments.scenario, "seed": arguments.seed, "kills": 0, "converged": False, "bytes_lost": 0}
    if arguments.scenario.startswith("powercut-"):
        result["model"] = arguments.model
        result["empty_uploads"] = 0
    status = 0
    scenario = None
    try:
        scenario = Scenario(arguments, work)
        scenario.service.start()
        SCENARIOS[arguments.scenario](scenario)
        result["converged"] = True
        print(f"✅ {arguments.scenario}: {scenario.kills} kills survived (seed {arguments.seed})")
    except Skipped as reason:
        print(f"⏭ {arguments.scenario} skipped: {reason}")
        result["skipped"] = str(reason)
        status = SKIP
    except Failure as failure:
        replay = f"--scenario {arguments.scenario} --seed {arguments.seed}"
        if "model" in result:
            replay += f" --model {arguments.model}"
        print(f"❌ {arguments.scenario} failed; replay with {replay}")
        print(f"   last kill: {scenario.last_kill if scenario else 'none'}")
        print(f"   work folder kept: {work}")
        print(str(failure))
        arguments.keep = True
        status = 1
    finally:
        if scenario:
            scenario.service.stop()
            for mount in scenario.mounts:
                try:
                    mount.stop()
                except Exception as error:  # the result matters more than a mount that would not go
                    print(f"   the power-cut mount {mount.path} did not end cleanly: {error}")
            result["kills"] = scenario.kills
            result["bytes_lost"] = scenario.bytes_lost
            if "empty_uploads" in result:
                result["empty_uploads"] = scenario.empty_uploads
        if arguments.json:
            with open(arguments.json, "a") as stream:
                stream.write(json.dumps(result) + "\n")
        if not arguments.keep:
            shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
