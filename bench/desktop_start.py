#!/usr/bin/env python3
"""Start of the desktop program to its first visible window, against a Qt
Widgets hello-world built with the same flags (build/bench/qt_hello_bench).

    bench/desktop_start.py [RUNS]     (default 15)

Runs on a private Xvfb display with no window manager, so a window is visible
the moment it is mapped; `xev -root` reports the map. Launches alternate
(ours, the peer, ours, ...), each with empty settings in a folder of its own,
and each is ended once its window is up. Prints the median time from launch to
the first mapped window and the resident memory then, with the ratios ours /
peer (goals: 1.3x the time, 1.2x the memory), and the middle half of the
ratios of neighbouring runs, which shows how far the machine's load moved the
times. Needs Xvfb and xev (x11-utils).
"""
import os
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OURS = os.environ.get("BRINDLECAST", os.path.join(ROOT, "build/src/app/brindlecast"))
PEER = os.path.join(ROOT, "build/bench/qt_hello_bench")
LIMIT_SECONDS = 20.0


def rss_kb(pid: int) -> int:
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def first_window(command, env, events) -> tuple:
    """Seconds from launch to the first MapNotify on the root, and the RSS then."""
    fd = events.stdout.fileno()
    while select.select([fd], [], [], 0.05)[0]:  # what earlier runs left behind
        os.read(fd, 65536)
    start = time.monotonic()
    program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    seen = b""
    mapped = None
    deadline = start + LIMIT_SECONDS
    while mapped is None and time.monotonic() < deadline:
        if select.select([fd], [], [], max(0.0, deadline - time.monotonic()))[0]:
            seen += os.read(fd, 65536)
            if b"MapNotify" in seen:
                mapped = time.monotonic() - start
    memory = rss_kb(program.pid)
    program.send_signal(signal.SIGTERM)
    try:
        program.wait(timeout=5)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait()
    if mapped is None:
        sys.exit(f"desktop_start: {command[0]} showed no window")
    return mapped, memory


def main() -> int:
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    for path in (OURS, PEER):
        if not os.access(path, os.X_OK):
            sys.exit(f"desktop_start: {path} is missing: make bench")
    work = tempfile.mkdtemp(prefix="bc-desktop-start.")
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1000x700x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    display = ":" + os.read(read_end, 64).decode().strip()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    events = subprocess.Popen(["xev", "-root", "-event", "substructure"], env=env,
                              stdout=subprocess.PIPE)
    time.sleep(0.5)
    results = {"ours": [], "peer": []}
    try:
        for run in range(runs):
            for name, command in (("ours", [OURS]), ("peer", [PEER])):
                home = os.path.join(work, f"{name}{run}")
                os.makedirs(home)
                run_env = dict(env, HOME=home, XDG_CONFIG_HOME=home + "/config",
                               XDG_STATE_HOME=home + "/state", XDG_RUNTIME_DIR=home)
                os.chmod(home, 0o700)
                results[name].append(first_window(command, run_env, events))
    finally:
        events.terminate()
        xvfb.terminate()
        events.wait()
        xvfb.wait()
        subprocess.run(["rm", "-rf", work])
    def quartiles(values):  # the middle half of the runs: how far load moved them
        q = statistics.quantiles(values, n=4) if len(values) > 1 else [values[0]] * 3
        return q[0], q[2]

    ours_s = statistics.median(r[0] for r in results["ours"])
    peer_s = statistics.median(r[0] for r in results["peer"])
    ours_kb = statistics.median(r[1] for r in results["ours"])
    peer_kb = statistics.median(r[1] for r in results["peer"])
    ratios = [o[0] / p[0] for o, p in zip(results["ours"], results["peer"])]
    low, high = quartiles(ratios)
    print(f"{'first visible window':28} brindlecast {ours_s * 1000:7.1f} ms   "
          f"hello-world {peer_s * 1000:7.1f} ms   ratio {ours_s / peer_s:.2f}  (goal <= 1.3)"
          f"   ratio of neighbouring runs {low:.2f}-{high:.2f}")
    print(f"{'resident memory then':28} brindlecast {ours_kb / 1024:7.1f} MB   "
          f"hello-world {peer_kb / 1024:7.1f} MB   ratio {ours_kb / peer_kb:.2f}  (goal <= 1.2)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
