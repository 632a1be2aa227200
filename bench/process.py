#!/usr/bin/env python3
"""Measures Tarnwhistle as a whole process beside a bare Qt label program, in one run.

For each program: the time from launch to owning its bus name and to its window being mapped
(median of a few starts), the wake-ups per second (context switches of all its threads), the CPU
per second and the resident memory. Tarnwhistle is measured idle (after the launch peek) and
running (a focus phase, started with `tarnwhistle start-focus`) beside the label, in alternating
rounds, each program measured while the other is stopped; the medians of the rounds are reported.

Run it inside a desktop (scripts/with-desktop): it needs DISPLAY and DBUS_SESSION_BUS_ADDRESS.
Usage: process.py TARNWHISTLE BARE_LABEL [--starts N] [--window SECONDS] [--rounds N] [--settle SECONDS]
It prints a table and exits 0: it is a report, not a test.
"""

import argparse
import ctypes
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

TW_BUS_NAME = "dev.tarnwhistle.app"
LABEL_BUS_NAME = "dev.tarnwhistle.barelabel"

started = []  # every process this probe starts, ended on the way out


def end_all():
    for proc in reversed(started):
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(3)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def launch(args, env, **kwargs):
    proc = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, **kwargs)
    started.append(proc)
    return proc


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    if proc in started:
        started.remove(proc)


# --- The session bus: who owns which name, and since when -----------------------------------


class BusWatch:
    """Follows NameOwnerChanged for the watched names through dbus-monitor, which stamps each
    message with the time it read it."""

    def __init__(self, names, env):
        rules = [
            "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',arg0='%s'" % n
            for n in names
        ]
        self.cond = threading.Condition()
        self.events = []  # (time, name, new owner)
        self.ready = False
        self.proc = launch(
            ["dbus-monitor", "--session"] + rules,
            env,
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
            text=True,
            bufsize=1,
        )
        threading.Thread(target=self._read, daemon=True).start()
        with self.cond:
            # The monitor's own NameAcquired comes first: from then on it sees the bus.
            self.cond.wait_for(lambda: self.ready, timeout=5)

    def _read(self):
        stamp, strings = None, []
        for line in self.proc.stdout:
            line = line.strip()
            if line.startswith("signal "):
                self._flush(stamp, strings)
                stamp, strings = None, []
                for field in line.split():
                    if field.startswith("time="):
                        stamp = float(field[5:])
                with self.cond:
                    self.ready = True
                    self.cond.notify_all()
                if "member=NameOwnerChanged" not in line:
                    stamp = None
            elif line.startswith("string ") and stamp is not None:
                strings.append(line[len("string ") :].strip('"'))
                if len(strings) == 3:
                    self._flush(stamp, strings)
                    stamp, strings = None, []

    def _flush(self, stamp, strings):
        if stamp is None or len(strings) != 3:
            return
        with self.cond:
            self.events.append((stamp, strings[0], strings[2]))
            self.cond.notify_all()

    def wait_owned(self, name, since, timeout):
        """The time at which name got an owner, after since; None after timeout."""

        def found():
            for stamp, n, owner in self.events:
                if n == name and owner and stamp >= since:
                    return stamp
            return None

        with self.cond:
            self.cond.wait_for(lambda: found() is not None, timeout=timeout)
            return found()

    def wait_released(self, name, since, timeout):
        with self.cond:
            self.cond.wait_for(
                lambda: any(n == name and not o and t >= since for t, n, o in self.events),
                timeout=timeout,
            )


# --- The X server: when a program's window is mapped -----------------------------------------


class XAnyEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("first", ctypes.c_ulong),  # CreateNotify: parent; MapNotify: event window
        ("window", ctypes.c_ulong),
    ]


class XEvent(ctypes.Union):
    _fields_ = [("any", XAnyEvent), ("pad", ctypes.c_long * 24)]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [
        ("x", ctypes.c_int),
        ("y", ctypes.c_int),
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("border_width", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("visual", ctypes.c_void_p),
        ("root", ctypes.c_ulong),
        ("c_class", ctypes.c_int),
        ("bit_gravity", ctypes.c_int),
        ("win_gravity", ctypes.c_int),
        ("backing_store", ctypes.c_int),
        ("backing_planes", ctypes.c_ulong),
        ("backing_pixel", ctypes.c_ulong),
        ("save_under", ctypes.c_int),
        ("colormap", ctypes.c_ulong),
        ("map_installed", ctypes.c_int),
        ("map_state", ctypes.c_int),
        ("all_event_masks", ctypes.c_long),
        ("your_event_mask", ctypes.c_long),
        ("do_not_propagate_mask", ctypes.c_long),
        ("override_redirect", ctypes.c_int),
        ("screen", ctypes.c_void_p),
    ]


CREATE_NOTIFY, MAP_NOTIFY = 16, 19
STRUCTURE_NOTIFY_MASK, SUBSTRUCTURE_NOTIFY_MASK = 1 << 17, 1 << 19
IS_UNMAPPED = 0


class MapWatch:
    """Records every window that gets mapped, with its _NET_WM_PID and WM_NAME: it listens for
    the creation of top-level windows and then for their own map events."""

    def __init__(self):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XGetWindowAttributes.argtypes = [
            ctypes.c_void_p,
            ctypes.c_ulong,
            ctypes.POINTER(XWindowAttributes),
        ]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p,
            ctypes.c_ulong,
            ctypes.c_ulong,
            ctypes.c_long,
            ctypes.c_long,
            ctypes.c_int,
            ctypes.c_ulong,
            ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_void_p),
        ]
        x.XFree.argtypes = [ctypes.c_void_p]
        self.x = x
        # A window may be gone by the time it is asked about: such errors are not fatal here.
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self._on_error = handler_type(lambda d, e: 0)
        x.XSetErrorHandler(self._on_error)
        self.dpy = x.XOpenDisplay(None)
        if not self.dpy:
            raise SystemExit("process.py: cannot open the display %r" % os.environ.get("DISPLAY"))
        self.pid_atom = x.XInternAtom(self.dpy, b"_NET_WM_PID", 0)
        self.name_atom = x.XInternAtom(self.dpy, b"_NET_WM_NAME", 0)
        self.cond = threading.Condition()
        self.maps = []  # (time, window, pid, name)
        self.seen = set()
        x.XSelectInput(self.dpy, x.XDefaultRootWindow(self.dpy), SUBSTRUCTURE_NOTIFY_MASK)
        threading.Thread(target=self._run, daemon=True).start()

    def _prop(self, window, atom):
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status = self.x.XGetWindowProperty(
            self.dpy,
            window,
            atom,
            0,
            256,
            0,
            0,
            ctypes.byref(kind),
            ctypes.byref(fmt),
            ctypes.byref(count),
            ctypes.byref(after),
            ctypes.byref(data),
        )
        if status != 0 or not data.value:
            return None
        try:
            if fmt.value == 32:
                return list(ctypes.cast(data, ctypes.POINTER(ctypes.c_long))[: count.value])
            if fmt.value == 8:
                return ctypes.string_at(data, count.value).decode("utf-8", "replace")
            return None
        finally:
            self.x.XFree(data)

    def _mapped(self, window, stamp):
        if window in self.seen:
            return
        self.seen.add(window)
        pid = self._prop(window, self.pid_atom)
        name = self._prop(window, self.name_atom)
        with self.cond:
            self.maps.append((stamp, window, pid[0] if pid else None, name))
            self.cond.notify_all()

    def _run(self):
        event = XEvent()
        attrs = XWindowAttributes()
        while True:
            self.x.XNextEvent(self.dpy, ctypes.byref(event))
            stamp = time.time()
            kind, window = event.any.type, event.any.window
            if kind == CREATE_NOTIFY:
                self.seen.discard(window)  # the X server reuses the ids of closed clients
                self.x.XSelectInput(self.dpy, window, STRUCTURE_NOTIFY_MASK)
                # It may have been mapped before the selection took effect.
                ok = self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attrs))
                if ok and attrs.map_state != IS_UNMAPPED:
                    self._mapped(window, time.time())
            elif kind == MAP_NOTIFY:
                self._mapped(window, stamp)

    def wait_mapped(self, pid, name, since, timeout):
        def found():
            for stamp, _, p, n in self.maps:
                if p == pid and n == name and stamp >= since:
                    return stamp
            return None

        with self.cond:
            self.cond.wait_for(lambda: found() is not None, timeout=timeout)
            return found()


# --- /proc: threads, context switches, CPU, memory -------------------------------------------


def read_int(path, default=0):
    try:
        with open(path) as f:
            return int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        return default


def task_sample(pid):
    """Per thread now: {tid: (name, context switches, nanoseconds on CPU)}."""
    threads = {}
    base = "/proc/%d/task" % pid
    for tid in os.listdir(base):
        switches = 0
        try:
            with open("%s/%s/status" % (base, tid)) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            with open("%s/%s/comm" % (base, tid)) as f:
                name = f.read().strip()
        except OSError:
            continue  # the thread has ended meanwhile
        threads[tid] = (name, switches, read_int("%s/%s/schedstat" % (base, tid)))
    return threads


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def measure_window(pid, seconds):
    return measure_windows([pid], seconds)[0]


def measure_windows(pids, seconds):
    """Samples every process over the same seconds, so that whatever else the machine does
    weighs on all of them alike."""
    before = [task_sample(pid) for pid in pids]
    t0 = time.monotonic()
    time.sleep(seconds)
    afters = [task_sample(pid) for pid in pids]
    elapsed = time.monotonic() - t0
    return [window_of(b, a, elapsed) for b, a in zip(before, afters)]


def window_of(before, after, elapsed):
    # A thread started during the window counts from zero; one that ended is lost.
    by_name = {}
    wakeups = cpu_ns = 0
    for tid, (name, switches, ns) in after.items():
        _, switches0, ns0 = before.get(tid, (name, 0, 0))
        wakeups += switches - switches0
        cpu_ns += ns - ns0
        by_name[name] = by_name.get(name, 0) + (switches - switches0) / elapsed
    return {
        "wakeups": wakeups / elapsed,
        "cpu_ms": cpu_ns / 1e6 / elapsed,
        "threads": len(after),
        "by_thread": by_name,
    }


def median_window(windows):
    by_thread = {}
    for w in windows:
        for name, rate in w["by_thread"].items():
            by_thread.setdefault(name, []).append(rate)
    return {
        "wakeups": median([w["wakeups"] for w in windows]),
        "cpu_ms": median([w["cpu_ms"] for w in windows]),
        "threads": max(w["threads"] for w in windows),
        "by_thread": {name: median(rates) for name, rates in by_thread.items()},
    }


def thread_line(label, window):
    parts = ["%s %.1f" % (name, rate) for name, rate in sorted(window["by_thread"].items())]
    return "%s wake-ups per second by thread: %s" % (label, ", ".join(parts))


# --- The two programs ------------------------------------------------------------------------


def private_env(home):
    env = dict(os.environ)
    for var, sub in (
        ("XDG_CONFIG_HOME", "config"),
        ("XDG_DATA_HOME", "data"),
        ("XDG_CACHE_HOME", "cache"),
        ("XDG_STATE_HOME", "state"),
    ):
        env[var] = os.path.join(home, sub)
        os.makedirs(env[var], exist_ok=True)
    return env


def start_once(bin_path, env, bus, windows, bus_name, window_name, timeout=20):
    """Launches the program and waits until it owns its bus name and its window is mapped.
    Returns (process, ms to bus name, ms to window)."""
    t0 = time.time()
    proc = launch([bin_path], env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    owned = bus.wait_owned(bus_name, t0, timeout)
    left = max(0.1, timeout - (time.time() - t0))
    mapped = windows.wait_mapped(proc.pid, window_name, t0, left)
    ms = lambda t: (t - t0) * 1000.0 if t is not None else float("nan")
    return proc, ms(owned), ms(mapped)


def stop_and_release(proc, bus, bus_name):
    t = time.time()
    stop(proc)
    bus.wait_released(bus_name, t - 1, 5)


def median(values):
    values = [v for v in values if v == v]
    return statistics.median(values) if values else float("nan")


def measure_starts(label, bin_path, env, bus, windows, bus_name, window_name, count):
    # One start first that is not counted: it fills the caches (disk, fontconfig, first-run files).
    proc, _, _ = start_once(bin_path, env, bus, windows, bus_name, window_name)
    stop_and_release(proc, bus, bus_name)
    to_bus, to_window = [], []
    for _ in range(count):
        proc, b, w = start_once(bin_path, env, bus, windows, bus_name, window_name)
        stop_and_release(proc, bus, bus_name)
        to_bus.append(b)
        to_window.append(w)
    print(
        "%s starts: bus name ms %s; window mapped ms %s"
        % (label, " ".join("%.0f" % v for v in to_bus), " ".join("%.0f" % v for v in to_window)),
        flush=True,
    )
    return median(to_bus), median(to_window)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tarnwhistle")
    parser.add_argument("bare_label")
    parser.add_argument("--starts", type=int, default=5)
    parser.add_argument("--window", type=float, default=60.0, help="seconds measured")
    parser.add_argument("--rounds", type=int, default=10, help="running: the window in rounds")
    parser.add_argument("--settle", type=float, default=10.0, help="Tarnwhistle's peek, seconds")
    args = parser.parse_args()
    for var in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
        if not os.environ.get(var):
            sys.exit("process.py: %s is not set; run it under scripts/with-desktop" % var)

    home = tempfile.mkdtemp(prefix="tw-process-")
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda *_: sys.exit(1))
    try:
        env = private_env(home)
        bus = BusWatch([TW_BUS_NAME, LABEL_BUS_NAME], env)
        windows = MapWatch()
        tw = os.path.abspath(args.tarnwhistle)
        label = os.path.abspath(args.bare_label)
        tw_name, label_name = "Tarnwhistle", "tw-bare-label"

        tw_bus, tw_window = measure_starts(
            "tarnwhistle", tw, env, bus, windows, TW_BUS_NAME, tw_name, args.starts
        )
        label_bus, label_window = measure_starts(
            "bare label", label, env, bus, windows, LABEL_BUS_NAME, label_name, args.starts
        )

        # Tarnwhistle idle after its launch peek, then running a focus phase.
        proc, _, _ = start_once(tw, env, bus, windows, TW_BUS_NAME, tw_name)
        time.sleep(args.settle)
        tw_rss = rss_mb(proc.pid)
        tw_idle = measure_window(proc.pid, args.window / 2)
        command = subprocess.run(
            [tw, "start-focus"], env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True
        )
        print(
            "tarnwhistle start-focus: exit %d, %s"
            % (command.returncode, (command.stdout + command.stderr).strip()),
            flush=True,
        )
        # The label beside it (lower on the screen, so that neither covers the other).
        label_env = dict(env, TW_LABEL_TOP="300")
        label_proc, _, _ = start_once(label, label_env, bus, windows, LABEL_BUS_NAME, label_name)
        time.sleep(2)  # the island's opening animation, the label's first seconds
        label_rss = rss_mb(label_proc.pid)
        # A second costs little, and one busy moment of the machine weighs a lot in it; and two
        # programs that tick side by side get in each other's way (the X server, the caches).
        # So: rounds, each program measured alone in turn while the other is stopped, the order
        # alternating, and the median of each.
        rounds = []
        seconds = args.window / args.rounds
        for r in range(args.rounds):
            measured = {}
            order = [proc, label_proc] if r % 2 == 0 else [label_proc, proc]
            for mine in order:
                other = label_proc if mine is proc else proc
                os.kill(other.pid, signal.SIGSTOP)
                try:
                    time.sleep(1)  # what the stop left behind settles
                    measured[mine.pid] = measure_window(mine.pid, seconds)
                finally:
                    os.kill(other.pid, signal.SIGCONT)
            rounds.append((measured[proc.pid], measured[label_proc.pid]))
        print(
            "running, per round (Tarnwhistle / bare label): CPU ms per second %s; wake-ups %s"
            % (
                "  ".join("%.2f/%.2f" % (t["cpu_ms"], b["cpu_ms"]) for t, b in rounds),
                "  ".join("%.1f/%.1f" % (t["wakeups"], b["wakeups"]) for t, b in rounds),
            ),
            flush=True,
        )
        tw_running = median_window([t for t, _ in rounds])
        label_running = median_window([b for _, b in rounds])
        stop_and_release(proc, bus, TW_BUS_NAME)
        stop_and_release(label_proc, bus, LABEL_BUS_NAME)

        rows = [
            ("start to bus name owned (ms, median)", tw_bus, label_bus),
            ("start to window mapped (ms, median)", tw_window, label_window),
            ("wake-ups per second, idle", tw_idle["wakeups"], None),
            ("wake-ups per second, running", tw_running["wakeups"], label_running["wakeups"]),
            ("CPU ms per second, idle", tw_idle["cpu_ms"], None),
            ("CPU ms per second, running", tw_running["cpu_ms"], label_running["cpu_ms"]),
            ("resident memory after start (MB)", tw_rss, label_rss),
            ("threads, running", tw_running["threads"], label_running["threads"]),
        ]
        print(thread_line("tarnwhistle running", tw_running))
        print(thread_line("bare label", label_running))
        with open("/proc/loadavg") as f:
            load = " ".join(f.read().split()[:3])
        # Other work on the machine shows in the start-up times first: say how busy it was.
        print("load average (1, 5, 15 min): %s" % load)
        print("%-40s %12s %12s %8s" % ("metric", "Tarnwhistle", "bare label", "ratio"))
        for name, a, b in rows:
            ratio = "%.2f" % (a / b) if b else "-"
            shown_b = "%12.1f" % b if b is not None else "%12s" % "-"
            print("%-40s %12.1f %s %8s" % (name, a, shown_b, ratio))
    finally:
        end_all()
        shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
