#!/usr/bin/env python3
"""Tests of the power-cut file system (powercut_fs.py): what each model keeps
of synced and unsynced work across a cut. Exit 77 where no mount can be made."""

import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import powercut_fs  # noqa: E402


def sync(path):
    descriptor = os.open(path, os.O_RDONLY)
    try:
        os.fsync(descriptor)
    finally:
        os.close(descriptor)


def write(path, data, synced=False):
    with open(path, "wb") as stream:
        stream.write(data)
        stream.flush()
        if synced:
            os.fsync(stream.fileno())


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


class Mounted(unittest.TestCase):
    model = None

    def setUp(self):
        self.base = tempfile.mkdtemp(prefix="powercut-fs-")
        self.mount = powercut_fs.PowerCutMount(self.base, self.model)
        self.mount.start()
        self.root = self.mount.path
        os.mkdir(self.path("d"))
        sync(self.path("d"))
        sync(self.root)

    def tearDown(self):
        self.mount.stop()
        shutil.rmtree(self.base, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.root, relative)

    def cut(self):
        self.mount.cut()
        self.mount.start()

    def check_data_rules(self, attributes_at_once):
        """Data is durable only through a sync of its file, in both models; times at once, attributes at once
        (`attributes_at_once`) or through a sync of their file."""
        write(self.path("d/alt"), b"alt" * 100, synced=True)
        sync(self.path("d"))
        self.cut()
        write(self.path("d/neu"), b"neu" * 100)
        os.setxattr(self.path("d/neu"), "user.record", b"42")
        os.utime(self.path("d/neu"), ns=(1_000_000_000, 2_000_000_000))
        write(self.path("d/synced"), b"synced" * 100, synced=True)
        with open(self.path("d/alt"), "r+b") as stream:
            stream.write(b"XYZ")
        os.truncate(self.path("d/synced"), 10)
        write(self.path("d/later"), b"later", synced=True)
        with open(self.path("d/later"), "ab") as stream:
            stream.write(b" and more")
        sync(self.path("d"))
        self.cut()
        self.assertEqual(read(self.path("d/neu")), b"")
        self.assertEqual(os.listxattr(self.path("d/neu")), ["user.record"] if attributes_at_once else [])
        self.assertEqual(os.stat(self.path("d/neu")).st_mtime_ns, 2_000_000_000)
        self.assertEqual(read(self.path("d/synced")), b"synced" * 100)
        self.assertEqual(read(self.path("d/alt")), b"alt" * 100)
        self.assertEqual(read(self.path("d/later")), b"later")

    def check_sqlite_commits(self):
        """SQLite in WAL mode, its index mapped: FULL commits survive, the file stays whole."""
        database = sqlite3.connect(self.path("d/store.db"))
        self.assertEqual(database.execute("PRAGMA journal_mode = WAL").fetchone()[0], "wal")
        database.execute("PRAGMA synchronous = FULL")
        database.execute("CREATE TABLE item (id INTEGER PRIMARY KEY, name TEXT)")
        for index in range(40):
            with database:
                database.execute("INSERT INTO item (name) VALUES (?)", (f"Datei {index}",))
        self.cut_with_open(database)
        database = sqlite3.connect(self.path("d/store.db"))
        self.assertEqual(database.execute("PRAGMA integrity_check").fetchone()[0], "ok")
        self.assertEqual(database.execute("SELECT count(*) FROM item").fetchone()[0], 40)
        database.close()

    def cut_with_open(self, database):
        self.mount.cut(kill=database.close)
        self.mount.start()

    def check_cut_is_final(self):
        """After the cut nothing reaches the disk any more, not even a sync."""
        write(self.path("d/spät"), b"", synced=True)
        sync(self.path("d"))
        stream = open(self.path("d/spät"), "wb")
        self.mount.process.send_signal(powercut_fs.signal.SIGUSR1)
        self.mount.await_line("cut", 30)
        with self.assertRaises(OSError):
            stream.write("zu spät".encode())
            stream.flush()
            os.fsync(stream.fileno())
        try:
            stream.close()
        except OSError:
            pass
        self.mount.unmount()
        self.mount.start()
        self.assertEqual(read(self.path("d/spät")), b"")


class Ext4Model(Mounted):
    model = "ext4"

    def test_data_is_durable_only_through_a_sync_of_its_file(self):
        self.check_data_rules(attributes_at_once=True)

    def test_sqlite_commits_survive(self):
        self.check_sqlite_commits()

    def test_nothing_after_the_cut_is_kept(self):
        self.check_cut_is_final()

    def test_folder_entries_are_durable_at_once(self):
        write(self.path("d/a"), b"a", synced=True)
        write(self.path("d/b"), b"b", synced=True)
        sync(self.path("d"))
        self.cut()
        os.rename(self.path("d/a"), self.path("d/a2"))
        os.unlink(self.path("d/b"))
        os.mkdir(self.path("d/new"))
        write(self.path("d/new/x"), b"x", synced=True)
        self.cut()
        self.assertEqual(sorted(os.listdir(self.path("d"))), ["a2", "new"])
        self.assertEqual(read(self.path("d/a2")), b"a")
        self.assertEqual(read(self.path("d/new/x")), b"x")

    def test_a_replace_without_sync_leaves_an_empty_file(self):
        write(self.path("d/settings"), b"old", synced=True)
        sync(self.path("d"))
        self.cut()
        write(self.path("d/settings.tmp"), b"new")
        os.rename(self.path("d/settings.tmp"), self.path("d/settings"))
        self.cut()
        self.assertEqual(read(self.path("d/settings")), b"")


class StrictModel(Mounted):
    model = "strict"

    def test_data_is_durable_only_through_a_sync_of_its_file(self):
        self.check_data_rules(attributes_at_once=True)

    def test_sqlite_commits_survive(self):
        self.check_sqlite_commits()

    def test_nothing_after_the_cut_is_kept(self):
        self.check_cut_is_final()

    def test_folder_entries_wait_for_a_sync_of_their_folder(self):
        write(self.path("d/a"), b"a", synced=True)
        write(self.path("d/b"), b"b", synced=True)
        write(self.path("d/c"), b"c", synced=True)
        write(self.path("d/target"), b"old target", synced=True)
        sync(self.path("d"))
        self.cut()
        os.rename(self.path("d/a"), self.path("d/a2"))
        os.unlink(self.path("d/b"))
        write(self.path("d/new"), b"new", synced=True)
        write(self.path("d/replacement"), b"new target", synced=True)
        os.rename(self.path("d/replacement"), self.path("d/target"))
        os.mkdir(self.path("d/folder"))
        write(self.path("d/folder/inside"), b"inside", synced=True)
        sync(self.path("d/folder"))
        self.cut()
        self.assertEqual(sorted(os.listdir(self.path("d"))), ["a", "b", "c", "target"])
        self.assertEqual(read(self.path("d/a")), b"a")
        self.assertEqual(read(self.path("d/b")), b"b")
        self.assertEqual(read(self.path("d/target")), b"old target")

    def test_a_synced_folder_keeps_its_entries(self):
        write(self.path("d/a"), b"a", synced=True)
        sync(self.path("d"))
        self.cut()
        os.mkdir(self.path("d/folder"))
        write(self.path("d/folder/inside"), b"inside", synced=True)
        sync(self.path("d/folder"))
        os.rename(self.path("d/a"), self.path("d/folder/a"))
        sync(self.path("d/folder"))
        sync(self.path("d"))
        self.cut()
        self.assertEqual(sorted(os.listdir(self.path("d"))), ["folder"])
        self.assertEqual(sorted(os.listdir(self.path("d/folder"))), ["a", "inside"])
        self.assertEqual(read(self.path("d/folder/a")), b"a")


class StrictModelWithAttributesAtSync(Mounted):
    """strict, extended attributes durable only through a sync of their item."""
    model = "strict"

    def setUp(self):
        os.environ["POWERCUT_ATTRIBUTES_AT_SYNC"] = "1"
        super().setUp()

    def tearDown(self):
        super().tearDown()
        os.environ.pop("POWERCUT_ATTRIBUTES_AT_SYNC", None)

    def test_data_is_durable_only_through_a_sync_of_its_file(self):
        self.check_data_rules(attributes_at_once=False)

    def test_attributes_wait_for_a_sync_of_their_item(self):
        write(self.path("d/alt"), b"alt", synced=True)
        os.setxattr(self.path("d/alt"), "user.record", b"1")
        sync(self.path("d/alt"))
        os.setxattr(self.path("d"), "user.folder", b"f")
        sync(self.path("d"))
        self.cut()
        os.setxattr(self.path("d/alt"), "user.record", b"2")
        os.setxattr(self.path("d/alt"), "user.other", b"x")
        os.removexattr(self.path("d"), "user.folder")
        write(self.path("d/synced"), b"s", synced=False)
        os.setxattr(self.path("d/synced"), "user.record", b"3")
        sync(self.path("d/synced"))
        sync(self.path("d"))
        self.cut()
        self.assertEqual(os.getxattr(self.path("d/alt"), "user.record"), b"1")
        self.assertEqual(os.listxattr(self.path("d/alt")), ["user.record"])
        self.assertEqual(os.listxattr(self.path("d")), [])
        self.assertEqual(os.getxattr(self.path("d/synced"), "user.record"), b"3")


class Restart(unittest.TestCase):
    """The disk comes back under its device number, whatever other mounts did meanwhile: the engine's bindings
    hold device and inode, and a real restart of the same disk keeps both."""

    def setUp(self):
        self.base = tempfile.mkdtemp(prefix="powercut-fs-")
        self.others = []
        self.timer = None

    def tearDown(self):
        if self.timer:
            self.timer.cancel()
            self.timer.join()
        for other in self.others:
            subprocess.run(["umount", other], stderr=subprocess.DEVNULL)
        if hasattr(self, "mount"):
            self.mount.stop()
        shutil.rmtree(self.base, ignore_errors=True)

    def other_mount(self, name):
        """Another file system of the machine; answers its device number."""
        folder = os.path.join(self.base, name)
        os.makedirs(folder)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", name, folder], check=True)
        self.others.append(folder)
        return os.stat(folder).st_dev

    def release(self, device):
        folder = next(folder for folder in self.others if os.stat(folder).st_dev == device)
        subprocess.run(["umount", folder], check=True)
        self.others.remove(folder)

    def start(self):
        self.mount = powercut_fs.PowerCutMount(self.base, "ext4")
        self.mount.start()
        self.file = os.path.join(self.mount.path, "f")
        write(self.file, b"f", synced=True)
        sync(self.mount.path)
        status = os.stat(self.file)
        return status.st_dev, status.st_ino

    def test_a_lower_number_freed_meanwhile_is_not_taken(self):
        # Another mount holds a lower number while this one starts (each gets the lowest free one), unless a
        # lower number came free in between.
        for attempt in range(20):
            lower = self.other_mount(f"lower {attempt}")
            identity = self.start()
            if os.minor(identity[0]) > os.minor(lower):
                break
            self.mount.stop()
            self.release(lower)
        else:
            self.skipTest("other mounts of the machine kept freeing lower numbers")
        self.release(lower)
        self.mount.cut()
        self.mount.start()
        status = os.stat(self.file)
        self.assertEqual((status.st_dev, status.st_ino), identity)
        self.assertEqual(read(self.file), b"f")

    def test_its_number_taken_meanwhile_is_waited_for(self):
        identity = self.start()
        self.mount.cut()
        # Mounts until one gets the number (each gets the lowest free one): lower ones stay held, higher ones
        # go again (the number is not free yet).
        for attempt in range(100):
            taker = self.other_mount(f"taker {attempt}")
            if taker == identity[0]:
                break
            if os.minor(taker) > os.minor(identity[0]):
                self.release(taker)
                time.sleep(0.05)
        else:
            self.skipTest("other mounts of the machine kept the number")
        self.timer = threading.Timer(1.0, self.release, args=(taker,))
        self.timer.start()
        self.mount.start()
        status = os.stat(self.file)
        self.assertEqual((status.st_dev, status.st_ino), identity)


if __name__ == "__main__":
    reason = powercut_fs.fuse_available() if os.geteuid() == 0 else "the power-cut file system needs root"
    if reason:
        print(f"power-cut file system tests skipped: {reason}")
        sys.exit(77)
    sys.exit(0 if unittest.main(exit=False, verbosity=1).result.wasSuccessful() else 1)
