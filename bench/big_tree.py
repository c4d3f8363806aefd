#!/usr/bin/env python3
"""Big trees and big bursts, with the real program as a user runs it.

1. Exit: a tree of 100 x 100 x 10 folders (110,100) in memory, watched by 1 and by 4 watches;
   SIGTERM once every watch says "Started monitoring". Prints the time to the end of the process
   (median and worst of the runs) and how many runs the program's own 900 ms watchdog ended.
2. Memory: 100,000 files in a watched folder before the start, then all deleted; and 100,000
   files made in an empty watched folder. Prints the resident memory at the start and once all
   is quiet again.
3. Past the watch limit (with VESMOR_BENCH_MILLION=1; it takes minutes): a tree of 100 x 100 x 100
   folders (1,010,101 with the top) in memory, watched in a user namespace whose inotify watch
   limit is 200,000 (`unshare -Ur`; the limit of the namespaces above still holds). Prints the
   time to "Started monitoring", the folders with a kernel watch (counted in /proc), the folders
   polled (as the live log says), whether every folder is covered, the resident memory once
   started, the time until a file made in the first and in the last folder (one kernel-watched,
   one polled) is reported, and the processor time polling takes while nothing changes.

Environment: VESMOR_BENCH_RUNS (runs per exit figure, default 5), VESMOR_BENCH_BINARY (another
build of the program, e.g. an earlier one, to compare), VESMOR_BENCH_MILLION (1: part 3 too).
"""
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
VESMOR = os.environ.get("VESMOR_BENCH_BINARY") or os.path.abspath(os.path.join(BUILD, "vesmor"))
RUNS = int(os.environ.get("VESMOR_BENCH_RUNS", "5"))
BASE = "/dev/shm" if os.path.isdir("/dev/shm") else tempfile.gettempdir()


def settings(temp, folders, events):
    os.makedirs(os.path.join(temp, "VSM25"), exist_ok=True)
    with open(os.path.join(temp, "VSM25", "settings.cfg"), "w") as f:
        for i, folder in enumerate(folders, 1):
            f.write(f"[w{i}]\nname=w{i}\npanel={i}\nactive=1\navilable=0\nsub=1\n{events}path={folder}\n")


class Program:
    """The program with the live log echoed on standard error (a file), where the start of each
    watch is looked for."""

    def __init__(self, temp, watches, launcher=()):
        env = dict(os.environ, TEMP=temp, QT_QPA_PLATFORM="offscreen", VESMOR_ECHO_LIVE_LOG="1")
        self.err = open(os.path.join(temp, "stderr"), "w+")
        # A launcher execs the program: the process id stays the program's.
        self.proc = subprocess.Popen([*launcher, VESMOR], env=env, stdout=subprocess.DEVNULL, stderr=self.err)
        self.watches = watches

    def text(self):
        self.err.seek(0)
        return self.err.read()

    def started(self, limit=120):
        end = time.time() + limit
        while time.time() < end:
            self.err.seek(0)
            if self.err.read().count("Started monitoring") >= self.watches:
                return True
            if self.proc.poll() is not None:
                return False
            time.sleep(0.02)
        return False

    def kill(self):
        self.proc.kill()
        self.proc.wait()
        self.err.close()

    def rss_mib(self):
        with open(f"/proc/{self.proc.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
        return float("nan")

    def cpu(self):
        """Processor time used so far (user + system), in seconds."""
        with open(f"/proc/{self.proc.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def quiet(self, seconds=2.0, limit=120):
        """Waits until the program has used no processor time for `seconds`."""
        last, since, end = self.cpu(), time.time(), time.time() + limit
        while time.time() < end:
            time.sleep(0.25)
            now = self.cpu()
            if now != last:
                last, since = now, time.time()
            elif time.time() - since >= seconds:
                return

    def end(self):
        start = time.perf_counter()
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(30)
        took = (time.perf_counter() - start) * 1000
        self.err.seek(0)
        watchdog = "still busy" in self.err.read()
        self.err.close()
        return took, watchdog


def exit_figures():
    tree = tempfile.mkdtemp(prefix="vesmor-tree-", dir=BASE)
    try:
        for a in range(100):
            for b in range(100):
                for c in range(10):
                    os.makedirs(os.path.join(tree, str(a), str(b), str(c)))
        for watches in (1, 4):
            times, ended = [], 0
            for _ in range(RUNS):
                temp = tempfile.mkdtemp(prefix="vesmor-bench-")
                try:
                    settings(temp, [tree] * watches, "fcreate=1\n")
                    p = Program(temp, watches)
                    if not p.started():
                        print(f"  {watches} watch(es): the program did not start its watches")
                        p.kill()
                        continue
                    took, watchdog = p.end()
                    times.append(took)
                    ended += watchdog
                finally:
                    shutil.rmtree(temp, ignore_errors=True)
            if times:
                print(f"exit, 110,100 folders, {watches} watch(es): median {statistics.median(times):.0f} ms, "
                      f"worst {max(times):.0f} ms over {len(times)} runs; ended by the watchdog: {ended}")
    finally:
        shutil.rmtree(tree, ignore_errors=True)


def memory_figures():
    for work in ("deleted", "created"):
        folder = tempfile.mkdtemp(prefix="vesmor-burst-", dir=BASE)
        temp = tempfile.mkdtemp(prefix="vesmor-bench-")
        try:
            if work == "deleted":
                for i in range(100000):
                    open(os.path.join(folder, f"f{i:06d}"), "w").close()
            settings(temp, [folder], "fcreate=1\nfdelete=1\n")
            p = Program(temp, 1)
            if not p.started():
                print(f"memory, 100,000 files {work}: the program did not start its watch")
                p.kill()
                continue
            p.quiet()
            before = p.rss_mib()
            if work == "deleted":
                for i in range(100000):
                    os.unlink(os.path.join(folder, f"f{i:06d}"))
            else:
                for i in range(100000):
                    open(os.path.join(folder, f"f{i:06d}"), "w").close()
            p.quiet(3.0)
            after = p.rss_mib()
            p.end()
            print(f"memory, 100,000 files {work}: resident {before:.1f} MiB at the start, {after:.1f} MiB once quiet")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
            shutil.rmtree(temp, ignore_errors=True)


def kernel_watches(pid):
    """The inotify watches the process holds, as /proc lists them."""
    count = 0
    for fd in os.listdir(f"/proc/{pid}/fdinfo"):
        try:
            with open(f"/proc/{pid}/fdinfo/{fd}") as f:
                count += sum(1 for line in f if line.startswith("inotify wd:"))
        except OSError:
            pass
    return count


def million_figures():
    limit = 200000
    tree = tempfile.mkdtemp(prefix="vesmor-million-", dir=BASE)
    temp = tempfile.mkdtemp(prefix="vesmor-bench-")
    try:
        made = time.perf_counter()
        for a in range(100):
            for b in range(100):
                for c in range(100):
                    os.makedirs(os.path.join(tree, f"a{a}", f"b{b}", f"c{c}"))
        folders = 1 + 100 + 100 * 100 + 100 * 100 * 100
        print(f"watch limit {limit:,}: a tree of {folders:,} folders in memory, made in {time.perf_counter() - made:.0f} s")
        log = os.path.join(temp, "events.log")
        settings(temp, [tree], f"fcreate=1\nwritelog=1\nlogfile={log}\n")
        launcher = ["unshare", "-Ur", "sh", "-c",
                    f"echo {limit} > /proc/sys/user/max_inotify_watches || exit 77; exec \"$@\"", "sh"]
        start = time.perf_counter()
        p = Program(temp, 1, launcher)
        if not p.started(limit=1800):
            print(f"  the program did not start its watch (exit {p.proc.poll()}): {p.text()[-400:]}")
            p.kill()
            return
        started = time.perf_counter() - start
        rss_started = p.rss_mib()
        watched = kernel_watches(p.proc.pid)
        said = re.search(r"([\d,]+) folders? (?:is|are) polled every (\S+ ?s?)", p.text())
        polled = int(said.group(1).replace(",", "")) if said else 0
        print(f"  \"Started monitoring\" after {started:.1f} s, resident {rss_started:.0f} MiB")
        print(f"  folders with a kernel watch {watched:,}, polled {polled:,} (every {said.group(2) if said else '-'}): "
              f"{'every folder covered' if watched + polled >= folders else 'NOT ALL COVERED'}")
        # One corner of the tree is walked first and kernel-watched, the other polled; which is
        # which depends on the order the file system lists names in.
        for corner in (("a0", "b0", "c0"), ("a99", "b99", "c99")):
            name = "new-file-" + "".join(corner)
            made = time.perf_counter()
            open(os.path.join(tree, *corner, name), "w").close()
            heard = None
            while time.perf_counter() - made < 600:
                if os.path.exists(log) and name in open(log, errors="replace").read():
                    heard = time.perf_counter() - made
                    break
                time.sleep(0.1)
            print(f"  a file made in {'/'.join(corner)} reported after "
                  f"{f'{heard:.1f} s' if heard is not None else 'NEVER (10 minutes)'}")
        # What polling costs while nothing changes: the processor time of two minutes.
        before, t = p.cpu(), time.perf_counter()
        time.sleep(120)
        share = (p.cpu() - before) / (time.perf_counter() - t)
        print(f"  processor time while nothing changes: {share * 100:.0f} % of one core; "
              f"resident {p.rss_mib():.0f} MiB")
        took, _ = p.end()
        print(f"  exit after {took:.0f} ms")
    finally:
        shutil.rmtree(tree, ignore_errors=True)
        shutil.rmtree(temp, ignore_errors=True)


if __name__ == "__main__":
    print(f"program: {VESMOR}")
    exit_figures()
    memory_figures()
    if os.environ.get("VESMOR_BENCH_MILLION") == "1":
        million_figures()
    else:
        print("1,010,101 folders past a watch limit of 200,000: set VESMOR_BENCH_MILLION=1 (takes minutes)")
