#!/usr/bin/env python3
"""End-to-end benchmarks: the real program against inotifywait and fswatch on the same work.

Each tool watches a fresh folder recursively and appends one line per event to a file; the same
file-system work is done under each; we count the lines that name the expected events and time
from the first change to the last line written.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
VESMOR = os.path.abspath(os.path.join(BUILD, "vesmor"))
SETTLE = 5.0      # seconds without a new line that end a run
RUNS = int(os.environ.get("VESMOR_BENCH_RUNS", "3"))  # runs per tool and work; the median is shown
LIMIT = 240.0     # seconds a run may take at most


def count_lines(path, pattern):
    try:
        with open(path, "rb") as f:
            return sum(1 for line in f if pattern.search(line))
    except FileNotFoundError:
        return 0


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def wait_for_output(out, pattern, expected, t0):
    """Waits until `expected` lines match or the output stops growing; returns (seen, last_write)."""
    last_count, last_change = -1, time.monotonic()
    while True:
        seen = count_lines(out, pattern)
        now = time.monotonic()
        if seen != last_count:
            last_count, last_change = seen, now
        if seen >= expected and now - last_change > 0.5:
            break
        if now - last_change > SETTLE or now - t0 > LIMIT:
            break
        time.sleep(0.05)
    try:
        last_write = os.stat(out).st_mtime
    except FileNotFoundError:
        last_write = time.time()
    return last_count, last_write


# --- the work -------------------------------------------------------------------------------

def prepare_none(d):
    pass


def prepare_rename(d):
    for i in range(10000):
        open(os.path.join(d, f"r{i:05d}.txt"), "w").close()


def work_create(d):
    for i in range(50000):
        with open(os.path.join(d, f"f{i:05d}.txt"), "w"):
            pass


def work_rename(d):
    for i in range(10000):
        os.rename(os.path.join(d, f"r{i:05d}.txt"), os.path.join(d, f"n{i:05d}.txt"))


def work_mkdirp(d):
    # 1,000 chains of 10 nested folders, each made in one go: 10,000 folders.
    for i in range(1000):
        os.makedirs(os.path.join(d, f"t{i:04d}", *[f"l{k}" for k in range(1, 10)]))


def work_bigfile(d):
    piece = os.urandom(1 << 20)
    with open(os.path.join(d, "big.bin"), "wb", buffering=0) as f:
        for _ in range(200):
            f.write(piece)


WORKLOADS = [
    # name, prepare, work, expected events, vesmor keys, patterns per tool
    ("50,000 files created", prepare_none, work_create, 50000, {"fcreate": "1"},
     {"vesmor": rb"File create event", "inotifywait": rb"^CREATE [^,]", "fswatch": rb"/f\d{5}\.txt Created"}),
    ("10,000 files renamed", prepare_rename, work_rename, 10000, {"frename": "1"},
     {"vesmor": rb"File rename event", "inotifywait": rb"^MOVED_TO ", "fswatch": rb"/n\d{5}\.txt .*(Renamed|MovedTo)"}),
    ("10,000 folders by mkdir -p", prepare_none, work_mkdirp, 10000, {"dcreate": "1"},
     {"vesmor": rb"Folder create event", "inotifywait": rb"^CREATE,ISDIR ", "fswatch": rb"/(t\d{4}|l\d) Created"}),
    ("200 MB file in 1 MB pieces", prepare_none, work_bigfile, 201, {"fcreate": "1", "fchange": "1"},
     {"vesmor": rb"File (create|change) event", "inotifywait": rb"^(CREATE|MODIFY) ", "fswatch": rb"Created|Updated"}),
]


# --- the tools ------------------------------------------------------------------------------

class Vesmor:
    name = "vesmor"

    def __init__(self, root, watched, out, keys):
        self.temp = os.path.join(root, "temp")
        os.makedirs(os.path.join(self.temp, "VSM25"), exist_ok=True)
        settings = {"name": "bench", "path": watched, "panel": "1", "active": "1", "avilable": "0", "sub": "1",
                    "writelog": "1", "logfile": out}
        settings.update(keys)
        with open(os.path.join(self.temp, "VSM25", "settings.cfg"), "w") as f:
            f.write("[bench]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))
        env = dict(os.environ, TEMP=self.temp, QT_QPA_PLATFORM="offscreen", VESMOR_AUTO_ANSWER_BOXES="1",
                   VESMOR_ECHO_LIVE_LOG="1", VESMOR_RESPONSIVENESS_PROBE="1")
        self.err = open(os.path.join(root, "vesmor.err"), "w+b")
        self.proc = subprocess.Popen([VESMOR], env=env, stderr=self.err, stdout=subprocess.DEVNULL)
        wait_text(self.err.name, b"Started monitoring path", 60)
        wait_text(self.err.name, b"responsiveness: probing", 60)  # the window is up, its loop runs

    def stop(self):
        self.rss = rss_kib(self.proc.pid)
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(30)
        gaps = re.findall(rb"responsiveness: largest gap (\d+) ms", open(self.err.name, "rb").read())
        self.gap = int(gaps[-1]) if gaps else None


class InotifyWait:
    name = "inotifywait"

    def __init__(self, root, watched, out, keys):
        self.err = os.path.join(root, "inotifywait.err")
        self.proc = subprocess.Popen(["inotifywait", "-m", "-r", "-e", "create", "-e", "moved_to", "-e", "modify",
                                      "--format", "%e %w%f", "-o", out, watched],
                                     stderr=open(self.err, "wb"), stdout=subprocess.DEVNULL)
        wait_text(self.err, b"Watches established", 60)

    def stop(self):
        self.rss = rss_kib(self.proc.pid)
        self.proc.terminate()
        self.proc.wait(30)
        self.gap = None


class FsWatch:
    name = "fswatch"

    def __init__(self, root, watched, out, keys):
        self.proc = subprocess.Popen(["fswatch", "-r", "-x", "-l", "0.1", "--event", "Created", "--event", "Renamed",
                                      "--event", "Updated", "--event", "MovedTo", watched],
                                     stdout=open(out, "wb"), stderr=subprocess.DEVNULL)
        time.sleep(1.5)  # fswatch says nothing when its watches are in place

    def stop(self):
        self.rss = rss_kib(self.proc.pid)
        self.proc.terminate()
        self.proc.wait(30)
        self.gap = None


def wait_text(path, text, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if text in open(path, "rb").read():
                return
        except FileNotFoundError:
            pass
        time.sleep(0.05)
    raise RuntimeError(f"no '{text.decode()}' in {path} after {seconds}s")


def run(tool_class, workload):
    name, prepare, work, expected, keys, patterns = workload
    root = tempfile.mkdtemp(prefix="vesmor-bench-")
    try:
        watched = os.path.join(root, "watched")
        os.makedirs(watched)
        prepare(watched)
        out = os.path.join(root, "events.out")
        tool = tool_class(root, watched, out, keys)
        t0 = time.monotonic()
        wall0 = time.time()
        work(watched)
        seen, last_write = wait_for_output(out, re.compile(patterns[tool.name]), expected, t0)
        tool.stop()
        return {"seen": seen, "seconds": max(0.0, last_write - wall0), "rss": tool.rss, "gap": tool.gap}
    finally:
        shutil.rmtree(root, ignore_errors=True)


def median_of(tool_class, workload):
    """Runs one tool on one work RUNS times: the median time and memory,
    and the fewest events seen."""
    runs = [run(tool_class, workload) for _ in range(RUNS)]
    middle = lambda key: sorted(r[key] for r in runs)[len(runs) // 2]
    gaps = [r["gap"] for r in runs if r["gap"] is not None]
    return {"seen": min(r["seen"] for r in runs), "seconds": middle("seconds"), "rss": middle("rss"),
            "gap": max(gaps) if gaps else None, "times": [r["seconds"] for r in runs]}


def startup_benchmark():
    """Start-up with four watches on one tree of 100,000 folders."""
    root = tempfile.mkdtemp(prefix="vesmor-bench-")
    try:
        tree = os.path.join(root, "tree")
        for a in range(10):
            for b in range(100):
                base = os.path.join(tree, f"a{a}", f"b{b:02d}")
                for c in range(100):
                    os.makedirs(os.path.join(base, f"c{c:02d}"))
        temp = os.path.join(root, "temp")
        os.makedirs(os.path.join(temp, "VSM25"))
        with open(os.path.join(temp, "VSM25", "settings.cfg"), "w") as f:
            for n in range(1, 5):
                f.write(f"[w{n}]\nname=w{n}\npath={tree}\npanel={n}\nactive=1\navilable=0\nsub=1\nfcreate=1\ndcreate=1\n")
        env = dict(os.environ, TEMP=temp, QT_QPA_PLATFORM="offscreen", VESMOR_AUTO_ANSWER_BOXES="1",
                   VESMOR_ECHO_LIVE_LOG="1")
        err = os.path.join(root, "vesmor.err")
        t0 = time.monotonic()
        proc = subprocess.Popen([VESMOR], env=env, stderr=open(err, "wb"), stdout=subprocess.DEVNULL)
        deadline = t0 + 300
        while time.monotonic() < deadline and open(err, "rb").read().count(b"Started monitoring path") < 4:
            time.sleep(0.02)
        seconds = time.monotonic() - t0
        rss = rss_kib(proc.pid)
        proc.send_signal(signal.SIGTERM)
        proc.wait(60)
        return seconds, rss
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    for tool in ("inotifywait", "fswatch"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run scripts/install-deps")
    tools = [Vesmor, InotifyWait, FsWatch]
    print("End-to-end: events expected / seen, wall time from the first change to the last line written")
    print(f"{'work':30} {'expected':>8} | " + " | ".join(f"{t.name:>24}" for t in tools) + " | vs inotifywait | vs fswatch")
    print(f"(median of {RUNS} runs per tool; 'seen' is the fewest seen in any run)")
    for workload in WORKLOADS:
        results = {t.name: median_of(t, workload) for t in tools}
        cells = " | ".join(f"{r['seen']:>8} {r['seconds']:>8.2f}s {r['rss'] // 1024:>4}M" for r in results.values())
        v = results["vesmor"]["seconds"]
        ratio = lambda peer: (f"{v / results[peer]['seconds']:.2f}x" if results[peer]["seconds"] > 0 else "-")
        print(f"{workload[0]:30} {workload[3]:>8} | {cells} | {ratio('inotifywait'):>14} | {ratio('fswatch'):>10}")
        gap = results["vesmor"]["gap"]
        spread = "; ".join(f"{name} " + " ".join(f"{t:.2f}" for t in r["times"]) for name, r in results.items())
        print(f"{'':30} vesmor resident memory after the run: {results['vesmor']['rss'] // 1024} MiB; "
              f"largest gap between two timer ticks (any run): {gap if gap is not None else '-'} ms")
        print(f"{'':30} every run's seconds: {spread}")
    seconds, rss = startup_benchmark()
    print(f"Start-up with four watches on a 100,000-folder tree: {seconds:.2f}s to the fourth start, "
          f"resident memory {rss // 1024} MiB")


if __name__ == "__main__":
    main()
