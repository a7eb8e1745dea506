#!/usr/bin/env python3
"""A file system that loses power: a pass-through over a backing folder that
remembers what was made durable and, on a cut, throws the rest away.

    powercut_fs.py --backing DIR --aside DIR --model ext4|strict MOUNTPOINT

Runs in the foreground until unmounted. It prints "mounted" once the mount
is in place. SIGUSR1 is the cut: from then on every operation fails with EIO
and nothing more becomes durable ("cut" is printed). The caller then kills
whatever used the mount (a power cut ends every process) and unmounts it;
before it exits, the program turns the backing folder into what the disk
would hold after the power came back, so a new mount over the same folders
is the restarted machine.

What is durable, in both models: a file's data once the file was synced
(fsync or fdatasync of any descriptor of it); until then a file created since
the mount comes back empty, an older one with the data of its last sync (or
the mount). Modes and times are durable at once, and so are extended
attributes unless POWERCUT_ATTRIBUTES_AT_SYNC=1 is in the environment (strict
only, see below).
- ext4: folder entries (create, rename, unlink, mkdir, rmdir) and extended
  attributes are durable at once, as with a journal that commits names and
  metadata but delays the data.
- strict: folder entries are durable only once that folder was synced; until
  then the folder comes back with the entries of its last sync (a removed
  file with its durable data, a new one not at all). With
  POWERCUT_ATTRIBUTES_AT_SYNC=1 extended attributes are durable only once
  their file or folder was synced; until then it comes back with the
  attributes of its last sync (a file created since: none).

Only root can mount it; where /dev/fuse cannot be opened the program ends
with 77 and says why."""

import argparse
import errno
import os
import queue
import subprocess
import shutil
import signal
import stat
import sys
import threading
import time

UTIME_NOW = (1 << 30) - 1
UTIME_OMIT = (1 << 30) - 2

SKIP = 77


def fuse_available():
    try:
        os.close(os.open("/dev/fuse", os.O_RDWR))
    except OSError as error:
        return f"/dev/fuse cannot be opened ({error.strerror})"
    try:
        import fusepy  # noqa: F401
    except ImportError:
        # An interpreter of its own (a virtual environment) may not see the
        # system's packages, where the Debian package puts the module.
        sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import fusepy  # noqa: F401,F811
    except (ImportError, OSError) as error:
        return f"the fusepy module is not usable ({error})"
    return None


class Durability:
    """What the disk keeps of each inode (numbers of the backing file system)."""

    def __init__(self, model, tree, aside):
        self.model = model
        self.tree = tree
        self.data = os.path.join(aside, "data")
        self.grave = os.path.join(aside, "grave")
        for folder in (self.data, self.grave):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        # Inodes whose data changed since their last sync.
        self.dirty = set()
        # Files created since the mount that were never synced: durable data is none.
        self.unsynced_new = set()
        # Durable data of dirty inodes that had durable data: data/<inode>.
        self.copies = set()
        # strict: the durable entries, name -> inode, of folders changed since their last sync.
        self.entries = {}
        # strict: the durable extended attributes, name -> value, of inodes whose attributes changed since their
        # last sync.
        self.attributes = {}
        self.attributes_at_sync = model == "strict" and os.environ.get("POWERCUT_ATTRIBUTES_AT_SYNC") == "1"

    def copy_path(self, inode):
        return os.path.join(self.data, str(inode))

    # Data.

    def created(self, inode):
        self.forget(inode)
        self.unsynced_new.add(inode)
        self.dirty.add(inode)

    def forget(self, inode):
        self.attributes.pop(inode, None)
        self.dirty.discard(inode)
        self.unsynced_new.discard(inode)
        if inode in self.copies:
            self.copies.discard(inode)
            os.unlink(self.copy_path(inode))

    def changing(self, inode, current):
        """Before the data of `inode` (readable at `current`, a path or a descriptor) changes."""
        if inode in self.dirty:
            return
        self.copy(current, inode)
        self.dirty.add(inode)

    def copy(self, current, inode):
        target = self.copy_path(inode)
        # Through /proc, so that a descriptor open for writing only (or of an unlinked file) can be read.
        source = os.open(current if isinstance(current, str) else f"/proc/self/fd/{current}", os.O_RDONLY)
        try:
            with open(target, "wb") as stream:
                size = os.fstat(source).st_size
                offset = 0
                while offset < size:
                    sent = os.copy_file_range(source, stream.fileno(), size - offset, offset, offset)
                    if sent == 0:
                        break
                    offset += sent
        finally:
            os.close(source)
        self.copies.add(inode)

    def synced(self, inode, descriptor):
        self.attributes.pop(inode, None)
        if inode not in self.dirty:
            return
        self.copy(descriptor, inode)
        self.dirty.discard(inode)
        self.unsynced_new.discard(inode)

    def restore(self, path, inode):
        """The durable data back at `path`, times kept."""
        if inode not in self.dirty:
            return
        status = os.lstat(path)
        if not stat.S_ISREG(status.st_mode):
            return
        if inode in self.copies:
            with open(self.copy_path(inode), "rb") as source, open(path, "r+b") as target:
                shutil.copyfileobj(source, target, 1 << 20)
                target.truncate()
        else:
            os.truncate(path, 0)
        os.utime(path, ns=(status.st_atime_ns, status.st_mtime_ns), follow_symlinks=False)

    # Folder entries (strict only).

    def listing(self, folder):
        return {name: os.lstat(os.path.join(folder, name)).st_ino for name in os.listdir(folder)}

    def folder_changing(self, folder):
        if self.model != "strict":
            return
        inode = os.lstat(folder).st_ino
        if inode not in self.entries:
            self.entries[inode] = self.listing(folder)

    def folder_created(self, folder):
        if self.model == "strict":
            self.entries[os.lstat(folder).st_ino] = {}
            if self.attributes_at_sync:
                self.attributes[os.lstat(folder).st_ino] = {}

    def folder_synced(self, inode):
        self.entries.pop(inode, None)
        self.attributes.pop(inode, None)

    # Extended attributes (strict only).

    def attributes_changing(self, path):
        if not self.attributes_at_sync:
            return
        inode = os.lstat(path).st_ino
        if inode in self.attributes:
            return
        if inode in self.unsynced_new:
            self.attributes[inode] = {}
        else:
            self.attributes[inode] = {name: os.getxattr(path, name, follow_symlinks=False)
                                      for name in os.listxattr(path, follow_symlinks=False)}

    def restore_attributes(self, path, inode):
        durable = self.attributes.get(inode)
        if durable is None:
            return
        for name in os.listxattr(path, follow_symlinks=False):
            if name not in durable:
                os.removexattr(path, name, follow_symlinks=False)
        for name, value in durable.items():
            os.setxattr(path, name, value, follow_symlinks=False)

    def bury(self, path):
        """strict: an entry about to go away keeps its inode, which a durable entry may still name."""
        if self.model != "strict":
            return False
        inode = os.lstat(path).st_ino
        grave = os.path.join(self.grave, str(inode))
        if os.path.lexists(grave):
            return False
        os.rename(path, grave)
        return True

    # The cut.

    def apply(self):
        if self.model == "strict":
            self.rebuild()
        for directory, folders, files in os.walk(self.tree):
            self.restore_attributes(directory, os.lstat(directory).st_ino)
            for name in files:
                path = os.path.join(directory, name)
                self.restore(path, os.lstat(path).st_ino)
                if not os.path.islink(path):
                    self.restore_attributes(path, os.lstat(path).st_ino)
        self.attributes.clear()
        shutil.rmtree(self.data, ignore_errors=True)
        shutil.rmtree(self.grave, ignore_errors=True)

    def rebuild(self):
        """strict: every folder with the entries of its last sync."""
        # Every inode, live or buried, into one flat pool; the folders' live entries noted first.
        live = {}
        places = []
        for directory, folders, files in os.walk(self.tree):
            live[os.lstat(directory).st_ino] = self.listing(directory)
            places.extend(os.path.join(directory, name) for name in folders + files)
        for name in os.listdir(self.grave):
            path = os.path.join(self.grave, name)
            places.append(path)
            if os.path.isdir(path) and not os.path.islink(path):
                for directory, folders, files in os.walk(path):
                    live[os.lstat(directory).st_ino] = self.listing(directory)
                    places.extend(os.path.join(directory, entry) for entry in folders + files)
        pool = self.tree + ".pool"
        shutil.rmtree(pool, ignore_errors=True)
        os.makedirs(pool)
        pooled = {}
        for path in sorted(set(places), key=lambda path: -path.count("/")):
            inode = os.lstat(path).st_ino
            target = os.path.join(pool, str(inode))
            if inode in pooled:
                os.unlink(path)  # a second link of a file already pooled
                continue
            os.rename(path, target)
            pooled[inode] = target

        def fill(folder, inode):
            for name, child in self.entries.get(inode, live.get(inode, {})).items():
                source = pooled.get(child)
                if source is None:
                    continue
                destination = os.path.join(folder, name)
                if source.startswith(pool + "/"):
                    os.rename(source, destination)
                    pooled[child] = destination
                    if stat.S_ISDIR(os.lstat(destination).st_mode):
                        fill(destination, child)
                elif stat.S_ISREG(os.lstat(source).st_mode):
                    os.link(source, destination)

        fill(self.tree, os.lstat(self.tree).st_ino)
        shutil.rmtree(pool, ignore_errors=True)
        self.entries.clear()


class PowerCut:
    """The FUSE operations: each on the backing folder, one at a time."""

    use_ns = True

    def __init__(self, tree, durability):
        self.tree = tree
        self.durability = durability
        self.guard = threading.Lock()
        self.cut = False

    def __call__(self, operation, *arguments):
        with self.guard:
            if self.cut and operation not in ("release", "releasedir", "destroy", "flush"):
                raise OSError(errno.EIO, "the power is off")
            return getattr(self, operation)(*arguments)

    def power_off(self):
        with self.guard:
            self.cut = True

    def full(self, path):
        return os.path.join(self.tree, path.lstrip("/")) if path else None

    def parent(self, path):
        return os.path.dirname(self.full(path).rstrip("/"))

    # Attributes.

    def getattr(self, path, fi=None):
        status = os.fstat(fi.fh) if path is None else os.lstat(self.full(path))
        keys = ("st_mode", "st_ino", "st_nlink", "st_uid", "st_gid", "st_size", "st_atime_ns", "st_mtime_ns", "st_ctime_ns")
        answer = {key.replace("_ns", ""): getattr(status, key) for key in keys}
        answer["st_blocks"] = status.st_blocks
        return answer

    def access(self, path, mode):
        if not os.access(self.full(path), mode, follow_symlinks=False):
            raise OSError(errno.EACCES, "")

    def chmod(self, path, mode):
        os.chmod(self.full(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self.full(path), uid, gid, follow_symlinks=False)

    def utimens(self, path, times):
        full = self.full(path)
        current = os.lstat(full)
        now = time.time_ns()
        chosen = []
        for (seconds, nanoseconds), old in zip(times, (current.st_atime_ns, current.st_mtime_ns)):
            chosen.append(now if nanoseconds == UTIME_NOW else old if nanoseconds == UTIME_OMIT
                          else seconds * 1_000_000_000 + nanoseconds)
        os.utime(full, ns=tuple(chosen), follow_symlinks=False)

    def statfs(self, path):
        status = os.statvfs(self.full(path))
        return {key: getattr(status, key) for key in ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail",
                                                     "f_ffree", "f_files", "f_flag", "f_frsize", "f_namemax")}

    def getxattr(self, path, name, position=0):
        return os.getxattr(self.full(path), name, follow_symlinks=False)

    def listxattr(self, path):
        return os.listxattr(self.full(path), follow_symlinks=False)

    def setxattr(self, path, name, value, options, position=0):
        self.durability.attributes_changing(self.full(path))
        os.setxattr(self.full(path), name, value, options, follow_symlinks=False)

    def removexattr(self, path, name):
        self.durability.attributes_changing(self.full(path))
        os.removexattr(self.full(path), name, follow_symlinks=False)

    # Data.

    def create(self, path, mode, fi):
        full = self.full(path)
        self.durability.folder_changing(self.parent(path))
        flags = fi.flags & ~os.O_APPEND
        descriptor = os.open(full, flags | os.O_CREAT, mode)
        self.durability.created(os.fstat(descriptor).st_ino)
        fi.fh = descriptor
        return 0

    def open(self, path, fi):
        full = self.full(path)
        if fi.flags & os.O_TRUNC:
            self.durability.changing(os.lstat(full).st_ino, full)
        fi.fh = os.open(full, fi.flags & ~(os.O_APPEND | os.O_CREAT | os.O_EXCL))
        return 0

    def read(self, path, size, offset, fi):
        return os.pread(fi.fh, size, offset)

    def write(self, path, data, offset, fi):
        self.durability.changing(os.fstat(fi.fh).st_ino, fi.fh)
        return os.pwrite(fi.fh, data, offset)

    def truncate(self, path, length, fi=None):
        if fi is not None:
            self.durability.changing(os.fstat(fi.fh).st_ino, fi.fh)
            os.ftruncate(fi.fh, length)
        else:
            full = self.full(path)
            self.durability.changing(os.lstat(full).st_ino, full)
            os.truncate(full, length)

    def fsync(self, path, datasync, fi):
        os.fsync(fi.fh)
        self.durability.synced(os.fstat(fi.fh).st_ino, fi.fh)

    def flush(self, path, fi):
        return 0

    def release(self, path, fi):
        os.close(fi.fh)

    # Folders and names.

    def opendir(self, path):
        return os.open(self.full(path), os.O_RDONLY | os.O_DIRECTORY)

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self.full(path))

    def releasedir(self, path, fh):
        os.close(fh)

    def fsyncdir(self, path, datasync, fh):
        os.fsync(fh)
        self.durability.folder_synced(os.fstat(fh).st_ino)

    def mkdir(self, path, mode):
        self.durability.folder_changing(self.parent(path))
        os.mkdir(self.full(path), mode)
        self.durability.folder_created(self.full(path))

    def rmdir(self, path):
        full = self.full(path)
        if os.listdir(full):
            raise OSError(errno.ENOTEMPTY, "")
        self.durability.folder_changing(self.parent(path))
        if not self.durability.bury(full):
            os.rmdir(full)

    def unlink(self, path):
        full = self.full(path)
        self.durability.folder_changing(self.parent(path))
        if not self.durability.bury(full):
            os.unlink(full)

    def symlink(self, target, source):
        self.durability.folder_changing(self.parent(target))
        os.symlink(source, self.full(target))

    def readlink(self, path):
        return os.readlink(self.full(path))

    def link(self, target, source):
        self.durability.folder_changing(self.parent(target))
        os.link(self.full(source), self.full(target), follow_symlinks=False)

    def mknod(self, path, mode, device):
        self.durability.folder_changing(self.parent(path))
        os.mknod(self.full(path), mode, device)
        if stat.S_ISREG(mode):
            self.durability.created(os.lstat(self.full(path)).st_ino)

    def rename(self, old, new):
        source, target = self.full(old), self.full(new)
        os.lstat(source)
        self.durability.folder_changing(self.parent(old))
        self.durability.folder_changing(self.parent(new))
        if os.path.lexists(target) and os.lstat(target).st_ino != os.lstat(source).st_ino:
            if stat.S_ISDIR(os.lstat(target).st_mode):
                if not stat.S_ISDIR(os.lstat(source).st_mode):
                    raise OSError(errno.EISDIR, "")
                if os.listdir(target):
                    raise OSError(errno.ENOTEMPTY, "")
            elif stat.S_ISDIR(os.lstat(source).st_mode):
                raise OSError(errno.ENOTDIR, "")
            self.durability.bury(target)
        os.rename(source, target)


def device_name(device):
    return f"{os.major(device)}:{os.minor(device)}"


class Unavailable(Exception):
    """The mount cannot be made on this machine (the message says why)."""


class PowerCutMount:
    """For harnesses: the file system over `base`/backing, mounted at
    `base`/mount, cut and mounted again.

        mount = PowerCutMount(base, "strict"); mount.start()
        ... work in mount.path ...
        mount.cut(kill_everything_using_it); mount.start()

    A start after the first comes back under the first one's device number,
    as a disk does after a power cut. The kernel gives each mount the lowest
    free anonymous number, which on a busy machine (other mounts coming and
    going, a killed process still holding the old mount) need not be the old
    one; a changed number would make every device-and-inode identity stored
    in the tree stale, which no restart of the same disk does."""

    def __init__(self, base, model):
        self.model = model
        self.backing = os.path.join(base, "backing")
        self.aside = os.path.join(base, "aside")
        self.path = os.path.join(base, "mount")
        for folder in (self.backing, self.aside, self.path):
            os.makedirs(folder, exist_ok=True)
        self.holders = os.path.join(base, "hold")
        self.process = None
        self.lines = None
        self.cuts = 0
        self.device = None

    def start(self, timeout=60):
        deadline = time.monotonic() + timeout
        if self.device is None:
            self.launch(timeout)
            self.device = os.stat(self.path).st_dev
            return
        self.launch_as(self.device, timeout)
        while (device := os.stat(self.path).st_dev) != self.device:
            self.unmount(timeout)
            if time.monotonic() > deadline:
                raise RuntimeError(f"the power-cut file system came back as device {device_name(device)}, not as "
                                   f"{device_name(self.device)}, and that one stayed taken")
            # Taken by another mount, or by the mount before it, still held by a process on its way out.
            time.sleep(0.1)
            self.launch_as(self.device, timeout)

    def launch_as(self, device, timeout):
        """A launch that the kernel gives `device`, if it is free: every free number below it is held by a
        placeholder mount until the file system is mounted."""
        holders = []
        try:
            if os.major(device) == 0:
                while len(holders) < 4096:
                    holder = os.path.join(self.holders, str(len(holders)))
                    os.makedirs(holder, exist_ok=True)
                    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4k,nr_inodes=4", "powercut-hold", holder],
                                      stderr=subprocess.DEVNULL).returncode != 0:
                        break
                    holders.append(holder)
                    held = os.stat(holder).st_dev
                    if os.major(held) != 0 or os.minor(held) >= os.minor(device):
                        # The number itself (free again once let go), or one past it: it is taken.
                        subprocess.run(["umount", holder], check=True)
                        holders.pop()
                        break
            self.launch(timeout)
        finally:
            for holder in holders:
                subprocess.run(["umount", holder], stderr=subprocess.DEVNULL)

    def launch(self, timeout):
        self.lines = queue.Queue()
        self.process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--backing", self.backing,
                                         "--aside", self.aside, "--model", self.model, self.path],
                                        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)

        def read(stream, lines):
            for line in stream:
                lines.put(line.decode("utf-8", "replace").strip())
            lines.put(None)

        threading.Thread(target=read, args=(self.process.stdout, self.lines), daemon=True).start()
        line = self.await_line("mounted", timeout)
        if line is None:
            status = self.process.wait(timeout=timeout)
            self.process.stdout.close()
            self.process = None
            if status == SKIP:
                raise Unavailable(self.last or "the power-cut file system cannot be mounted here")
            raise RuntimeError(f"the power-cut file system ended with {status} before it was mounted")

    def await_line(self, wanted, timeout):
        self.last = None
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise RuntimeError(f"the power-cut file system did not say {wanted!r} in time")
            if line is None or line == wanted:
                return line
            self.last = line

    def cut(self, kill=None, timeout=120):
        """The power goes: nothing more becomes durable; `kill()` ends what used the
        mount; the unmount then leaves the backing folder as the disk would be."""
        self.process.send_signal(signal.SIGUSR1)
        if self.await_line("cut", timeout) is None:
            raise RuntimeError("the power-cut file system ended before the cut")
        if kill:
            kill()
        self.cuts += 1
        self.unmount(timeout)

    def unmount(self, timeout=120):
        # Forced first: that aborts the connection, so the program ends even
        # while files stay open there (a pooled database connection, a
        # watch); those see only errors from then on, as on a dead machine.
        subprocess.run(["umount", "-f", self.path], stderr=subprocess.DEVNULL)
        subprocess.run(["umount", "-l", self.path], stderr=subprocess.DEVNULL)
        try:
            status = self.process.wait(timeout=timeout)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()
            self.process.stdout.close()
        self.process = None
        if status != 0:
            raise RuntimeError(f"the power-cut file system ended with {status}")

    def stop(self):
        if self.process is not None:
            self.unmount()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--backing", required=True, help="the folder whose contents the mount shows")
    parser.add_argument("--aside", required=True, help="a folder on the backing file system for durable copies")
    parser.add_argument("--model", choices=("ext4", "strict"), default="ext4")
    parser.add_argument("mountpoint")
    arguments = parser.parse_args()
    reason = fuse_available()
    if reason:
        print(f"power-cut file system skipped: {reason}", flush=True)
        return SKIP
    import ctypes
    import fusepy

    # Whoever started the mount may die without unmounting (a test killed at
    # its time-out): the mount then goes with it instead of staying behind.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)

    class FuseMount(fusepy.FUSE):
        # fusepy folds the special times (now, leave as is) into plain
        # numbers; the operation gets them as (seconds, nanoseconds) pairs.
        def utimens(self, path, buf):
            if buf:
                times = [(entry.tv_sec, entry.tv_nsec) for entry in (buf.contents.actime, buf.contents.modtime)]
            else:
                times = [(0, UTIME_NOW), (0, UTIME_NOW)]
            return self.operations("utimens", path.decode(self.encoding), times)

    tree, aside = os.path.realpath(arguments.backing), os.path.realpath(arguments.aside)
    os.makedirs(aside, exist_ok=True)
    durability = Durability(arguments.model, tree, aside)
    operations = PowerCut(tree, durability)

    # The cut arrives as SIGUSR1 on a thread of its own: the FUSE threads
    # inherit the blocked mask, the main thread waits inside libfuse.
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGUSR1})

    def await_cut():
        signal.sigwait({signal.SIGUSR1})
        operations.power_off()
        print("cut", flush=True)

    threading.Thread(target=await_cut, daemon=True).start()

    def announce():
        while not os.path.ismount(arguments.mountpoint):
            threading.Event().wait(0.01)
        print("mounted", flush=True)

    threading.Thread(target=announce, daemon=True).start()
    FuseMount(operations, arguments.mountpoint, raw_fi=True, foreground=True, nothreads=False,
                fsname="powercut", subtype="powercut", use_ino=True, hard_remove=True, default_permissions=True,
                allow_other=True, big_writes=True, attr_timeout=0, entry_timeout=0, negative_timeout=0)
    # Unmounted: what a restarted machine finds, cut or not (without a cut it is
    # as if the power went at the unmount).
    durability.apply()
    return 0


if __name__ == "__main__":
    sys.exit(main())
