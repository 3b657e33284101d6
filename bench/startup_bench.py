#!/usr/bin/env python3
"""The start-up figure: the program's own part between reading a runtime.json
that names a port and the URL reaching the browser, against a bare poller.

Usage (inside tools/wine/wine-session): startup_bench.py BIN_DIR WORK_DIR [ROUNDS]

Each program starts with a runtime.json of {} and keeps polling. inotify on
the file's folder tells when it reads the file (IN_ACCESS; the first access
after a quiet spell starts a poll), which gives its poll period. After a few
polls the port is written (aside, then renamed into place) at a point of the
cycle that moves from round to round. The program's own part runs from its
first read after the write to the URL at the recording browser, which notes
the time it got it. The tray and the bare poller take turns. Prints one
tab-separated row per figure: name, measured, target, verdict.
"""

import ctypes
import os
import select
import signal
import statistics
import struct
import subprocess
import sys
import time

IN_ACCESS = 0x1
POLLS_BEFORE_WRITE = 5
QUIET_NS = 100_000_000  # a gap this long between reads starts a new poll

libc = ctypes.CDLL(None, use_errno=True)
# Through wine-run, which fails a run whose wineserver ended meanwhile.
WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "wine", "wine-run")


def harness(bin_dir, *args, **popen):
    """The Wine harness's command: it lays out installs, starts the tray and finds its processes."""
    command = [WINE_RUN, f"{bin_dir}/harness.exe", *args]
    if popen:
        return subprocess.Popen(command, stdin=subprocess.DEVNULL, **popen)
    return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          check=True).stdout.split()


class Reads:
    """First-read times (ns, wall clock) of each poll of runtime.json."""

    def __init__(self, folder):
        self.fd = libc.inotify_init1(os.O_NONBLOCK)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, folder.encode(), IN_ACCESS) < 0:
            sys.exit("inotify: " + os.strerror(ctypes.get_errno()))
        self.polls = []
        self.last = None

    def wait(self, count, timeout_s=15):
        """Blocks until `count` polls have been seen, or gives up."""
        deadline = time.monotonic() + timeout_s
        while len(self.polls) < count:
            if not select.select([self.fd], [], [], max(0, deadline - time.monotonic()))[0]:
                sys.exit(f"no read of runtime.json within {timeout_s} s")
            now = time.time_ns()
            data = os.read(self.fd, 4096)
            offset = 0
            while offset < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16 : offset + 16 + length].rstrip(b"\0")
                offset += 16 + length
                if mask & IN_ACCESS and name == b"runtime.json":
                    if self.last is None or now - self.last > QUIET_NS:
                        self.polls.append(now)
                    self.last = now
        return self.polls[count - 1]

    def close(self):
        os.close(self.fd)


def browser_time(log, start, url, timeout_s=15):
    """When the URL reached the browser, from the lines logged past `start`."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if os.path.exists(log):
            with open(log) as f:
                f.seek(start)
                for line in f:
                    when, _, logged = line.strip().partition(" ")
                    if logged == url:
                        return int(when)
        time.sleep(0.002)
    sys.exit(f"{url} never reached the browser")


def one_round(bin_dir, exe, work, port, offset_ns, browser_log):
    """Returns (read -> URL, write -> next read, poll periods), all in ms."""
    # The program under test takes the tray's place in the install.
    os.environ["PELLOX_TRAY_EXE"] = exe
    harness(bin_dir, "install", work)
    folder = f"{work}/appdata/PelloxDesktop"
    os.makedirs(folder)
    runtime = f"{folder}/runtime.json"
    with open(runtime, "w") as f:
        f.write("{}")
    reads = Reads(folder)
    tray = harness(bin_dir, "run-tray", work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    last_read = reads.wait(POLLS_BEFORE_WRITE)
    time.sleep(max(0, last_read + offset_ns - time.time_ns()) / 1e9)
    logged = os.path.getsize(browser_log) if os.path.exists(browser_log) else 0
    with open(runtime + ".new", "w") as f:
        f.write(f'{{"port": {port}}}')
    os.rename(runtime + ".new", runtime)
    written = time.time_ns()
    read = reads.wait(POLLS_BEFORE_WRITE + 1)
    opened = browser_time(browser_log, logged, f"http://127.0.0.1:{port}/")
    periods = [(b - a) / 1e6 for a, b in zip(reads.polls, reads.polls[1:POLLS_BEFORE_WRITE])]
    reads.close()
    for pid in harness(bin_dir, "pids", f"{work}/install"):
        os.kill(int(pid), signal.SIGKILL)
    tray.wait()
    return (opened - read) / 1e6, (read - written) / 1e6, periods


def main(bin_dir, work, rounds):
    browser_log = os.path.join(os.path.dirname(os.path.abspath(bin_dir)), "browser-times.log")
    programs = {"tray": f"{bin_dir}/Pellox-Desktop-Tray.exe", "bare": f"{bin_dir}/bare_poller.exe"}
    own = {name: [] for name in programs}
    waits, periods = {name: [] for name in programs}, {name: [] for name in programs}
    for r in range(rounds):
        offset_ns = int(r / rounds * 250e6)  # from just after a read to just before the next
        for i, (name, exe) in enumerate(programs.items()):
            o, w, p = one_round(bin_dir, exe, f"{work}/{name}", 20000 + 2 * r + i, offset_ns, browser_log)
            own[name].append(o)
            waits[name].append(w)
            periods[name] += p
    for name in programs:
        print(f"start-up, read -> URL (ms), {name}:", *(f"{v:.1f}" for v in own[name]),
              file=sys.stderr)

    def row(figure, measured, target, met):
        verdict = "-" if target == "-" else "ok" if met else "MISSED"
        print(f"{figure}\t{measured}\t{target}\t{verdict}", flush=True)

    tray, bare = statistics.median(own["tray"]), statistics.median(own["bare"])
    row(f"runtime.json read to URL at the browser, median of {rounds} (ms), vs bare poller",
        f"{tray:.1f} vs {bare:.1f} = +{tray - bare:.1f}", "<= +5.0", tray - bare <= 5.0)
    for name in programs:
        period = statistics.median(periods[name])
        row(f"poll period of the {name}, median of {len(periods[name])} (ms)",
            f"{period:.1f} (max {max(periods[name]):.1f})", "<= 251" if name == "tray" else "-",
            name != "tray" or period <= 251)
        longest = max(waits[name])
        row(f"write to the {name}'s next read, longest of {rounds} (ms)", f"{longest:.1f}",
            "<= 255" if name == "tray" else "-", name != "tray" or longest <= 255)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]),
         int(sys.argv[3]) if len(sys.argv) == 4 else 15)
