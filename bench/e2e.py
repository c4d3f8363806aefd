#!/usr/bin/env python3
"""End-to-end benchmarks: the real program against inotifywait and fswatch on the same work.

Each tool watches a fresh folder recursively and appends one line per event to a file; the same
file-system work is done under each, once in memory (/dev/shm) and once on disk. The tools take
turns run by run, so that a busy moment of the machine falls on all of them alike. We count the
lines that name the expected events and time from the first change to the last line written.

Vesmor runs as a user runs it: one watch from a settings file, every event written to its log
file and to the live log (offscreen), no copy of the live log on standard error.

Environment: VESMOR_BENCH_RUNS (runs per tool and work, default 3), VESMOR_BENCH_DISK (the folder
on disk, default <build>/bench-work), VESMOR_BENCH_ONLY (words: run only the works, places and
parts whose names contain one of them, e.g. "created memory").
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
VESMOR = os.path.abspath(os.path.join(BUILD, "vesmor"))
STAMP_LOOKER = os.path.abspath(os.path.join(BUILD, "bench", "stamp_looker"))
SETTLE = 5.0      # seconds without a new line that end a run
RUNS = int(os.environ.get("VESMOR_BENCH_RUNS", "3"))
LIMIT = 240.0     # seconds a run may take at most
ONLY = os.environ.get("VESMOR_BENCH_ONLY", "").split()
AIMS = {"in memory": 1.3, "on disk": 1.1}  # Vesmor's time at most this times inotifywait's
LIVE_LOG_LINES = 100000
LIVE_LOG_AIM_MIB = 45


def wanted(*names):
    return not ONLY or any(word in name for word in ONLY for name in names)


class LineCounter:
    """Counts the lines of a growing file that match a pattern, reading only what is new."""

    def __init__(self, path, pattern):
        self.path, self.pattern = path, pattern
        self.offset, self.rest, self.count = 0, b"", 0

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return self.count
        self.offset += len(data)
        lines = (self.rest + data).split(b"\n")
        self.rest = lines.pop()
        self.count += sum(1 for line in lines if self.pattern.search(line))
        return self.count


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def cpu_seconds(pid):
    """User and system time a process has used so far."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return 0.0


def file_system_of(path):
    """The type of the file system that holds path (longest mount point that is a prefix)."""
    path = os.path.realpath(path)
    best, kind = "", "?"
    with open("/proc/self/mounts") as f:
        for line in f:
            fields = line.split()
            point = fields[1].replace("\\040", " ")
            if (path == point or path.startswith(point.rstrip("/") + "/")) and len(point) > len(best):
                best, kind = point, fields[2]
    return kind


def wait_for_output(out, pattern, expected, t0):
    """Waits until `expected` lines match or the output stops growing; returns (seen, last_write)."""
    counter = LineCounter(out, pattern)
    last_count, last_change = -1, time.monotonic()
    while True:
        seen = counter.poll()
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


class StampLooker:
    """Has the output's time stamp looked at every half millisecond while a run goes on (by a
    small program of ours, see bench/stamp_looker.cpp).

    The file systems here stamp a change from a fine clock only when the time stamp was looked
    at since the last change, and otherwise from a clock that moves in 4 ms ticks. A tool that
    looks at its own output (Vesmor does, when it opens its log) had its last line stamped to
    the microsecond, one that never does (inotifywait) up to a tick early: on a work of 30 ms,
    13 % in its favour. Looked at this often, every tool's last line is stamped within about
    half a millisecond."""

    def __init__(self, path):
        self.proc = subprocess.Popen([STAMP_LOOKER, path])

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def wait_text(path, text, seconds, proc=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if text in open(path, "rb").read():
                return
        except FileNotFoundError:
            pass
        if proc is not None and proc.poll() is not None:
            break
        time.sleep(0.02)
    raise RuntimeError(f"no '{text.decode()}' in {path} after {seconds}s")


# --- the work -------------------------------------------------------------------------------

def prepare_none(d):
    pass


def prepare_rename(d):
    for i in range(10000):
        open(os.path.join(d, f"r{i:05d}.txt"), "w").close()


def create_files(d, count):
    for i in range(count):
        with open(os.path.join(d, f"f{i:06d}.txt"), "w"):
            pass


def work_create(d):
    create_files(d, 50000)


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
     {"vesmor": rb"File create event", "inotifywait": rb"^CREATE [^,]", "fswatch": rb"/f\d{6}\.txt Created"}),
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
    binary = VESMOR

    def __init__(self, root, watched, out, keys):
        self.temp = os.path.join(root, "temp")
        os.makedirs(os.path.join(self.temp, "VSM25"), mode=0o700, exist_ok=True)
        settings = {"name": "bench", "path": watched, "panel": "1", "active": "1", "avilable": "0", "sub": "1",
                    "writelog": "1", "logfile": out}
        settings.update(keys)
        with open(os.path.join(self.temp, "VSM25", "settings.cfg"), "w") as f:
            f.write("[bench]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))
        env = dict(os.environ, TEMP=self.temp, QT_QPA_PLATFORM="offscreen", VESMOR_AUTO_ANSWER_BOXES="1",
                   VESMOR_RESPONSIVENESS_PROBE="1")
        env.pop("VESMOR_ECHO_LIVE_LOG", None)
        self.err = open(os.path.join(root, "vesmor.err"), "w+b")
        self.proc = subprocess.Popen([self.binary], env=env, stderr=self.err, stdout=subprocess.DEVNULL)
        # The first tick of the probe comes after start-up, which starts the stored watch.
        wait_text(self.err.name, b"responsiveness: probing", 60, self.proc)

    def stop(self):
        self.rss = rss_kib(self.proc.pid)
        self.cpu = cpu_seconds(self.proc.pid)
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
        wait_text(self.err, b"Watches established", 60, self.proc)

    def stop(self):
        self.rss = rss_kib(self.proc.pid)
        self.cpu = cpu_seconds(self.proc.pid)
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
        self.cpu = cpu_seconds(self.proc.pid)
        self.proc.terminate()
        self.proc.wait(30)
        self.gap = None


TOOLS = [Vesmor, InotifyWait, FsWatch]

# Another build of the program (an earlier version) in the same turns, to see what a change bought.
if os.environ.get("VESMOR_BENCH_BEFORE"):
    class VesmorBefore(Vesmor):
        name = "before"
        binary = os.path.abspath(os.environ["VESMOR_BENCH_BEFORE"])

    TOOLS.insert(1, VesmorBefore)


def patterns_of(workload):
    patterns = workload[5]
    patterns.setdefault("before", patterns["vesmor"])
    return patterns


def run(tool_class, workload, base):
    name, prepare, work, expected, keys, _ = workload
    patterns = patterns_of(workload)
    root = tempfile.mkdtemp(prefix="vesmor-bench-", dir=base)
    try:
        watched = os.path.join(root, "watched")
        os.makedirs(watched)
        prepare(watched)
        out = os.path.join(root, "events.out")
        tool = tool_class(root, watched, out, keys)
        cpu0 = cpu_seconds(tool.proc.pid)
        looker = StampLooker(out)
        try:
            t0 = time.monotonic()
            wall0 = time.time()
            work(watched)
            writer = time.monotonic() - t0
            seen, last_write = wait_for_output(out, re.compile(patterns[tool.name]), expected, t0)
        finally:
            looker.stop()
        tool.stop()
        return {"seen": seen, "seconds": max(0.0, last_write - wall0), "writer": writer, "rss": tool.rss,
                "gap": tool.gap, "cpu": tool.cpu - cpu0}
    finally:
        shutil.rmtree(root, ignore_errors=True)


def side_by_side(workload, base):
    """Every tool does the work RUNS times, taking turns run by run."""
    runs = {t.name: [] for t in TOOLS}
    for _ in range(RUNS):
        for tool in TOOLS:
            runs[tool.name].append(run(tool, workload, base))
    summary = {}
    for name, rs in runs.items():
        gaps = [r["gap"] for r in rs if r["gap"] is not None]
        summary[name] = {"seen": min(r["seen"] for r in rs),
                         "seconds": statistics.median(r["seconds"] for r in rs),
                         "writer": statistics.median(r["writer"] for r in rs),
                         "cpu": statistics.median(r["cpu"] for r in rs),
                         "rss": statistics.median(r["rss"] for r in rs),
                         "gap": max(gaps) if gaps else None,
                         "times": [r["seconds"] for r in rs],
                         # Vesmor's time over the peer's of the same turn: the machine's load
                         # changes less within a turn than between turns.
                         "pairs": rs}
    return summary


def ratio(a, b):
    return a / b if b > 0 else float("inf")


def times(x):
    """A ratio as printed: '-' where the peer's figure was too small to divide by."""
    return f"{x:.2f}x" if x != float("inf") else "-"


def mib(kib):
    return f"{kib / 1024:.1f} MiB" if kib else "- (ended)"


def report_place(place, base):
    print(f"\n== {place}: {base} ({file_system_of(base)})")
    print(f"{'work':28} {'expected':>8} | " + " | ".join(f"{t.name:>22}" for t in TOOLS)
          + " | vs inotifywait | vs fswatch | writer")
    for workload in WORKLOADS:
        if not wanted(workload[0], place):
            continue
        s = side_by_side(workload, base)
        cells = " | ".join(f"{r['seen']:>6} {r['seconds']:>7.2f}s {r['rss'] / 1024:>4.0f}M" for r in s.values())
        v = s["vesmor"]["seconds"]
        vi, vf = ratio(v, s["inotifywait"]["seconds"]), ratio(v, s["fswatch"]["seconds"])
        print(f"{workload[0]:28} {workload[3]:>8} | {cells} | {times(vi):>14} | {times(vf):>10} | "
              f"{s['vesmor']['writer']:.2f}s")
        turns = [ratio(a["seconds"], b["seconds"]) for a, b in zip(s["vesmor"]["pairs"], s["inotifywait"]["pairs"])]
        if "before" in s:
            print(f"{'':28} vesmor ÷ before: time {times(ratio(v, s['before']['seconds']))}, "
                  f"processor time {times(ratio(s['vesmor']['cpu'], s['before']['cpu']))}, "
                  f"memory {mib(s['vesmor']['rss'])} against {mib(s['before']['rss'])}")
        aim = AIMS[place]
        gap = s["vesmor"]["gap"]
        print(f"{'':28} aim at most {aim}x inotifywait: {'met' if vi <= aim else 'missed'}; "
              f"ratio per turn " + " ".join(f"{t:.2f}" for t in turns) + "; "
              f"largest gap between two 10 ms ticks: {gap if gap is not None else '-'} ms")
        print(f"{'':28} every run's seconds: "
              + "; ".join(f"{name} " + " ".join(f"{t:.2f}" for t in r["times"]) for name, r in s.items()))
        print(f"{'':28} processor time for the work (median, user + system): "
              + ", ".join(f"{name} {r['cpu']:.2f}s" for name, r in s.items())
              + f"; vesmor ÷ inotifywait {times(ratio(s['vesmor']['cpu'], s['inotifywait']['cpu']))}")
        print(f"{'':28} resident memory after the work (median): "
              + ", ".join(f"{name} {mib(r['rss'])}" for name, r in s.items()))


def live_log_memory():
    """Resident memory of Vesmor once its live log holds 100,000 event lines (and its idle size)."""
    programs = [t for t in TOOLS if issubclass(t, Vesmor)]
    idle, full, seen = {p.name: [] for p in programs}, {p.name: [] for p in programs}, {p.name: [] for p in programs}
    for _ in range(RUNS):
        for program in programs:
            root = tempfile.mkdtemp(prefix="vesmor-bench-", dir="/dev/shm")
            try:
                watched = os.path.join(root, "watched")
                os.makedirs(watched)
                out = os.path.join(root, "events.out")
                tool = program(root, watched, out, {"fcreate": "1"})
                time.sleep(0.5)
                idle[program.name].append(rss_kib(tool.proc.pid))
                t0 = time.monotonic()
                create_files(watched, LIVE_LOG_LINES)
                n, _ = wait_for_output(out, re.compile(rb"File create event"), LIVE_LOG_LINES, t0)
                time.sleep(1.0)  # the last lines are on screen
                tool.stop()
                full[program.name].append(tool.rss)
                seen[program.name].append(n)
            finally:
                shutil.rmtree(root, ignore_errors=True)
    print(f"\nLive log: resident memory after {LIVE_LOG_LINES:,} event lines (median of {RUNS} runs)")
    for program in programs:
        mib = statistics.median(full[program.name]) / 1024
        aim = f"; aim under {LIVE_LOG_AIM_MIB} MiB: {'met' if mib < LIVE_LOG_AIM_MIB else 'missed'}" if program is Vesmor else ""
        print(f"  {program.name:8} {mib:6.1f} MiB (runs " + " ".join(f"{r / 1024:.1f}" for r in full[program.name])
              + f"), idle after start-up {statistics.median(idle[program.name]) / 1024:.1f} MiB, "
              f"fewest lines seen {min(seen[program.name]):,}{aim}")


def startup(tree, watches):
    root = tempfile.mkdtemp(prefix="vesmor-bench-", dir="/dev/shm")
    try:
        temp = os.path.join(root, "temp")
        os.makedirs(os.path.join(temp, "VSM25"), mode=0o700)
        with open(os.path.join(temp, "VSM25", "settings.cfg"), "w") as f:
            for n in range(1, watches + 1):
                f.write(f"[w{n}]\nname=w{n}\npath={tree}\npanel={n}\nactive=1\navilable=0\nsub=1\nfcreate=1\ndcreate=1\n")
        env = dict(os.environ, TEMP=temp, QT_QPA_PLATFORM="offscreen", VESMOR_AUTO_ANSWER_BOXES="1",
                   VESMOR_ECHO_LIVE_LOG="1")
        err = os.path.join(root, "vesmor.err")
        t0 = time.monotonic()
        proc = subprocess.Popen([VESMOR], env=env, stderr=open(err, "wb"), stdout=subprocess.DEVNULL)
        deadline = t0 + 300
        while time.monotonic() < deadline and open(err, "rb").read().count(b"Started monitoring path") < watches:
            time.sleep(0.02)
        seconds = time.monotonic() - t0
        rss = rss_kib(proc.pid)
        proc.send_signal(signal.SIGTERM)
        proc.wait(60)
        return seconds, rss
    finally:
        shutil.rmtree(root, ignore_errors=True)


def startup_benchmark():
    """Start-up with one and with four watches on one tree of 100,000 folders (in memory), taking turns."""
    root = tempfile.mkdtemp(prefix="vesmor-bench-tree-", dir="/dev/shm")
    try:
        tree = os.path.join(root, "tree")
        for a in range(10):
            for b in range(100):
                base = os.path.join(tree, f"a{a}", f"b{b:02d}")
                for c in range(100):
                    os.makedirs(os.path.join(base, f"c{c:02d}"))
        one, four = [], []
        for _ in range(RUNS):
            one.append(startup(tree, 1))
            four.append(startup(tree, 4))
        t1 = statistics.median(s for s, _ in one)
        t4 = statistics.median(s for s, _ in four)
        print(f"\nStart-up on a 100,000-folder tree (in memory), process start to the last 'Started monitoring':")
        print(f"  one watch:   {t1:.2f}s median (runs " + " ".join(f"{s:.2f}" for s, _ in one) + "), "
              f"{statistics.median(r for _, r in one) / 1024:.0f} MiB")
        print(f"  four watches: {t4:.2f}s median (runs " + " ".join(f"{s:.2f}" for s, _ in four) + "), "
              f"{statistics.median(r for _, r in four) / 1024:.0f} MiB")
        print(f"  four ÷ one: {ratio(t4, t1):.2f}x; aim at most 1.3x: {'met' if ratio(t4, t1) <= 1.3 else 'missed'}")
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    for tool in ("inotifywait", "fswatch"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run scripts/install-deps")
    disk = os.environ.get("VESMOR_BENCH_DISK") or os.path.join(os.path.abspath(BUILD), "bench-work")
    os.makedirs(disk, exist_ok=True)
    places = [("in memory", "/dev/shm"), ("on disk", disk)]
    print("End-to-end: events expected / seen, wall time from the first change to the last line written,")
    print(f"resident memory after the work. Median of {RUNS} runs per tool, the tools taking turns;")
    print("'seen' is the fewest seen in any run; 'writer' is the time the work itself took (median).")
    try:
        load = open("/proc/loadavg").read().split()[:3]
        print(f"Load average at the start: {' '.join(load)} on {os.cpu_count()} cores")
    except OSError:
        pass
    for place, base in places:
        if any(wanted(w[0], place) for w in WORKLOADS):
            report_place(place, base)
    if wanted("live log memory"):
        live_log_memory()
    if wanted("start-up"):
        startup_benchmark()
    if not os.environ.get("VESMOR_BENCH_DISK"):
        shutil.rmtree(disk, ignore_errors=True)


if __name__ == "__main__":
    main()
