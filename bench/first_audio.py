#!/usr/bin/env python3
"""Time from starting a command to its first audible sample at a sound server.

    bench/first_audio.py MONITOR COMMAND [ARG ...]

Records MONITOR (a PulseAudio monitor source, e.g. test_null.monitor, reached
through PULSE_SERVER as usual) with parec, waits until the sink is quiet,
starts COMMAND and prints, on one line, the seconds until the first sample
whose level is above the noise floor came back from the monitor, then the
seconds until COMMAND exited. The recording's own latency is the same for
every command measured, so two commands compare fairly; an absolute figure
includes it. Exit status 1 when the command failed or played nothing.
"""
import os
import select
import subprocess
import sys
import time

RATE = 22050  # the speech's own rate: no resampling on the way back
LEVEL = 64  # 16-bit amplitude above which a sample counts as sound
QUIET_SECONDS = 0.2  # the sink must be this long silent before the start
LIMIT_SECONDS = 30.0  # a command that plays nothing by then has failed
DRAIN_SECONDS = 2.0  # how long sound may trail the command's exit


def loud(chunk: bytes) -> bool:
    samples = memoryview(chunk[: len(chunk) - len(chunk) % 2]).cast("h")
    return any(s > LEVEL or s < -LEVEL for s in samples)


def read(fd: int, deadline: float) -> bytes:
    ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
    if not ready:
        return b""
    return os.read(fd, 65536)


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    monitor, command = sys.argv[1], sys.argv[2:]
    recorder = subprocess.Popen(
        ["parec", "-d", monitor, "--raw", "--format=s16le", f"--rate={RATE}",
         "--channels=1", "--latency-msec=5"],
        stdout=subprocess.PIPE)
    fd = recorder.stdout.fileno()
    try:
        quiet_since = None
        deadline = time.monotonic() + LIMIT_SECONDS
        while quiet_since is None or time.monotonic() - quiet_since < QUIET_SECONDS:
            chunk = read(fd, deadline)
            if not chunk:
                print("first_audio: the monitor gives no data", file=sys.stderr)
                return 1
            if loud(chunk):
                quiet_since = None
            elif quiet_since is None:
                quiet_since = time.monotonic()
        start = time.monotonic()
        player = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        first = None
        deadline = start + LIMIT_SECONDS
        while first is None and time.monotonic() < deadline:
            chunk = read(fd, deadline)
            if chunk and loud(chunk):
                first = time.monotonic() - start
            elif player.poll() is not None:
                # What it played is still on its way back: give it a moment.
                deadline = min(deadline, time.monotonic() + DRAIN_SECONDS)
        try:
            status = player.wait(timeout=LIMIT_SECONDS)
        except subprocess.TimeoutExpired:
            player.kill()
            status = player.wait()
        end = time.monotonic() - start
    finally:
        recorder.terminate()
        recorder.wait()
    if first is None or status != 0:
        print(f"first_audio: {command[0]} exited {status}, first audio {first}", file=sys.stderr)
        return 1
    print(f"{first:.4f} {end:.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
