"""The program as a blind user meets it: driven by key presses under the real
Orca screen reader, checked by what Orca says.

    /usr/bin/python3 tests/orca/orca_test.py [--pending] [--only TEXT] [--out DIR] PROGRAM

Starts a private desktop (Xvfb, openbox, a session bus without activation,
the accessibility bus, a PulseAudio null sink, speech-dispatcher speaking
with espeak-ng into that sink, notification-daemon, the trayer panel), a
private Dovecot holding the test mail, and Orca with its debug output in a
file. Then, for each session of the table in rows.py, starts PROGRAM with
settings of its own and plays the session's rows: each row presses its keys
and waits (bounded) until the lines Orca speaks ("SPEECH OUTPUT" in its debug
file) match the row's expectation. Every row prints what Orca said.

A row marked `pending` describes behaviour not built yet: it is skipped, or
with --pending it runs and its failure is expected ("xfail"; "XPASS" says it
can be marked `ready`). Exit status 1 when a ready row fails or a process of
the run outlives it. Needs Debian's python3 (python3-pyatspi for Orca).
"""
import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import rows as table

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SCRIPTS = os.path.join(ROOT, "scripts")
KEY_GAP = 0.6  # seconds between key presses at least: Orca hears each one before the next
# After a key, Orca is taken to have done with it once its debug file (where it
# logs every event it handles) has not grown for IDLE_QUIET seconds; at most
# IDLE_LIMIT. A busy machine then gets longer gaps, not skipped focus events
# (Orca drops a focus event when a newer one is already queued).
IDLE_QUIET = 0.4
IDLE_LIMIT = 4.0
SEEK_PRESSES = 12  # an "until" step gives up after this many presses
START_WAIT = 20.0  # seconds any service or window may take to appear
# Orca's debug lines: "12:00:00.000000 - SPEECH OUTPUT: 'text'{voice}"; a text
# with line breaks goes on over lines indented by CONTINUED, and ends with the quote.
SPEECH_START = re.compile(r"^\d\d:\d\d:\d\d\.\d+ - SPEECH OUTPUT: '(.*)$")
SPEECH_END = re.compile(r"^(.*)'\s*(?:voice=\w+\s*)?(\{.*\}|\[.*\])\s*$")
CONTINUED = " " * 18


class Failure(Exception):
    """A service did not start or a step could not be done: ends the session."""


def wait_for(what, test, timeout=START_WAIT, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        result = test()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"{what}: not within {timeout:.0f} s")
        time.sleep(interval)


def quiet(cmd, env, timeout=10):
    """Runs a short command; its output, or None when it fails."""
    try:
        done = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=timeout)
    except (OSError, subprocess.TimeoutExpired):
        return None
    return done.stdout if done.returncode == 0 else None


class Run:
    """The private desktop, its processes and folders, for one test run."""

    def __init__(self, out):
        self.work = tempfile.mkdtemp(prefix="bc-orca.")
        os.chmod(self.work, 0o755)  # Dovecot's own users reach their mail in it
        self.out = out
        self.logs = os.path.join(self.work, "logs")
        os.makedirs(self.logs)
        self.procs = []  # (name, Popen), ended in reverse order
        self.stoppers = []  # scripts that end what they started by its pid file
        home = os.path.join(self.work, "home")
        runtime = os.path.join(self.work, "run")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        keep = ("PATH", "LANG", "LC_ALL", "TERM", "USER", "LOGNAME", "TZ")
        self.env = {k: v for k, v in os.environ.items() if k in keep}
        self.env.update(
            HOME=home, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=f"{home}/.config",
            XDG_DATA_HOME=f"{home}/.local/share", XDG_STATE_HOME=f"{home}/.local/state",
            XDG_CACHE_HOME=f"{home}/.cache", GSETTINGS_BACKEND="memory",
            LANG=os.environ.get("LANG") or "C.UTF-8",
            # Every process of the run carries it: how strays are found at the end.
            BC_ORCA_RUN=self.work)
        self.debug = os.path.join(self.work, "orca-debug.txt")

    def log(self, name):
        return open(os.path.join(self.logs, name + ".log"), "ab")

    def spawn(self, name, cmd, env=None, **kw):
        with self.log(name) as log:
            proc = subprocess.Popen(cmd, env=env or self.env, stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=subprocess.STDOUT,
                                    start_new_session=True, **kw)
        self.procs.append((name, proc))
        return proc

    def script(self, name, *args):
        done = subprocess.run(["bash", os.path.join(SCRIPTS, name), *args], env=self.env,
                              capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            raise Failure(f"{name} {' '.join(args)}: {done.stderr.strip()}")
        return done.stdout

    # The desktop, in the order a session starts it.

    def start_display(self):
        read, write = os.pipe()
        # -noreset: by default the server wipes its root window's properties
        # (the accessibility bus's address) whenever its last client leaves, and
        # refuses connections while it does.
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as pipe:  # Xvfb picks a free display and names it
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        wait_for("the X display", lambda: quiet(["xdpyinfo"], self.env) is not None)
        self.spawn("openbox", ["openbox"])
        wait_for("the window manager", lambda: "window id" in self.root_property(
            "_NET_SUPPORTING_WM_CHECK"))

    def root_property(self, name):
        return quiet(["xprop", "-root", name], self.env) or ""

    def start_buses(self):
        bus = os.path.join(self.work, "bus")
        line = self.script("session-bus.sh", "start", bus).strip()
        self.stoppers.append(("session-bus.sh", bus))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = line.split("=", 1)[1]
        self.spawn("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately",
                             "--a11y=1"])
        wait_for("the accessibility bus", lambda: "unix:" in self.root_property("AT_SPI_BUS"))

    def start_sound(self):
        pulse = os.path.join(self.work, "pulse")
        line = self.script("pulse-sink.sh", "start", pulse).strip()
        self.stoppers.append(("pulse-sink.sh", pulse))
        self.env["PULSE_SERVER"] = line.split("=", 1)[1]
        # speech-dispatcher with the system's settings, plus espeak-ng into the sink.
        conf = os.path.join(self.work, "speechd")
        shutil.copytree("/etc/speech-dispatcher", conf)
        with open(os.path.join(conf, "speechd.conf"), "a") as f:
            f.write('\nAddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"\n'
                    'DefaultModule espeak-ng\nAudioOutputMethod "pulse"\n')
        sock = os.path.join(self.env["XDG_RUNTIME_DIR"], "speechd.sock")
        self.spawn("speech-dispatcher", ["speech-dispatcher", "-s", "-t", "0", "-c", "unix_socket",
                                         "-S", sock, "-C", conf, "-L", self.logs])
        wait_for("speech-dispatcher", lambda: os.path.exists(sock))
        self.env["SPEECHD_ADDRESS"] = "unix_socket:" + sock

    def start_desktop_services(self):
        self.spawn("notification-daemon", ["/usr/lib/notification-daemon/notification-daemon"])
        owner = ["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                 "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                 "org.freedesktop.Notifications"]
        wait_for("the notification server", lambda: "true" in (quiet(owner, self.env) or ""))
        self.spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "pixel", "--width", "120", "--height", "24"])
        wait_for("the tray", lambda: quiet(["xdotool", "search", "--class", "trayer"], self.env))

    def start_orca(self):
        self.spawn("orca", ["/usr/bin/python3", os.path.join(HERE, "orca_launch.py"), self.debug,
                            "-u", os.path.join(self.work, "orca-prefs")])
        self.transcript = Transcript(self.debug)
        wait_for("Orca", lambda: os.path.exists(self.debug))
        self.transcript.wait(re.compile("Screen reader on"), START_WAIT)

    def stop(self):
        for name, proc in reversed(self.procs):
            end(proc)
        for name, folder in reversed(self.stoppers):
            try:
                self.script(name, "stop", folder)
            except (Failure, subprocess.TimeoutExpired):
                pass
        strays = self.strays()
        for pid in strays:  # started by a process of this run, not ended with it
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self.out and os.path.exists(self.debug):
            shutil.copy(self.debug, os.path.join(self.out, "orca-debug.txt"))
        if self.out:
            shutil.rmtree(os.path.join(self.out, "logs"), ignore_errors=True)
            shutil.copytree(self.logs, os.path.join(self.out, "logs"))
        shutil.rmtree(self.work, ignore_errors=True)
        return strays

    def strays(self):
        """Processes of this run (by the variable they inherit) still running."""
        found = []
        marker = f"BC_ORCA_RUN={self.work}".encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if marker in f.read().split(b"\0") and int(pid) != os.getpid():
                        found.append(int(pid))
            except OSError:
                pass
        return found


def end(proc, grace=5.0):
    """Ends a process this run started, and the process group it leads."""
    if proc.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)  # its group: the ids of what it started itself
        except ProcessLookupError:
            return
        try:
            proc.wait(grace)
            return
        except subprocess.TimeoutExpired:
            pass


class Transcript:
    """The SPEECH OUTPUT lines of Orca's debug file, read as they come."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = b""
        self.entry = None  # the pieces of a text not yet ended

    def read(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self.offset += len(data)
        data = self.partial + data
        lines = data.split(b"\n")
        self.partial = lines.pop()
        spoken = []
        for raw in lines:
            line = raw.decode("utf-8", "replace")
            if self.entry is not None:
                if line.startswith(CONTINUED):
                    line = line[len(CONTINUED):]
                else:  # never ended: keep what there is
                    spoken.append(" ".join(self.entry))
                    self.entry = None
            if self.entry is None:
                start = SPEECH_START.match(line)
                if not start:
                    continue
                self.entry, line = [], start.group(1)
            end = SPEECH_END.match(line)
            piece = end.group(1) if end else line
            if piece.strip():
                self.entry.append(piece.strip() if self.entry else piece)
            if end:
                spoken.append(" ".join(self.entry))
                self.entry = None
        return spoken

    def idle(self, quiet=IDLE_QUIET, limit=IDLE_LIMIT):
        """Waits until Orca has written nothing for `quiet` seconds (at most `limit`)."""
        deadline = time.monotonic() + limit
        size, since = -1, time.monotonic()
        while time.monotonic() < deadline:
            now = os.stat(self.path).st_size
            if now != size:
                size, since = now, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return
            time.sleep(0.05)

    def wait(self, pattern, timeout, heard=None):
        """Collects spoken lines into `heard` until `pattern` matches their text
        (or, with no pattern, for `timeout`); True when it matched."""
        heard = [] if heard is None else heard
        deadline = time.monotonic() + timeout
        while True:
            heard += self.read()
            if pattern is not None and pattern.search("\n".join(heard)):
                return True
            if time.monotonic() > deadline:
                return pattern is None
            time.sleep(0.1)


class Session:
    """One start of the program with settings of its own, against the run's desktop."""

    def __init__(self, run, plan, program, index):
        self.run, self.plan, self.program = run, plan, program
        self.home = os.path.join(run.work, f"session{index}")
        self.env = dict(run.env, XDG_CONFIG_HOME=f"{self.home}/config",
                        XDG_STATE_HOME=f"{self.home}/state", BRINDLECAST_KEYRING="off",
                        # Check Latest Version fails at once, without the network.
                        BRINDLECAST_UPDATE_URL="https://127.0.0.1:9/")
        self.proc = None

    def start(self, mailbox):
        mailbox.reset(self.plan.mail)
        port = mailbox.port if self.plan.server_up else mailbox.closed_port
        config = self.env["XDG_CONFIG_HOME"]
        self.run.script("account-settings.sh", config, mailbox.user, str(port),
                        *table.BASE_SETTINGS, *self.plan.settings)
        with open(os.path.join(config, "Quenmark", "brindlecast.ini"), "w") as f:
            f.write(f"[BrindlecastDayTip]\nBrindlecastStartUp={0 if self.plan.tip else 1}\n")
        for name, make in self.plan.files.items():  # in HOME: "~/name" in a file dialog
            make(os.path.join(self.env["HOME"], name), self.env)
        self.proc = self.run.spawn(f"program-{self.plan.name}", [self.program], env=self.env,
                                   cwd=self.home)

    def stop(self):
        if self.proc:
            end(self.proc)

    # Steps: what a row does before it listens.

    def window(self, title):
        """The id of the visible window named `title` (the largest: the tray icon
        shares the main window's name), or None."""
        ids = quiet(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                    self.env)
        best = None
        for wid in (ids or "").split():
            geometry = quiet(["xdotool", "getwindowgeometry", "--shell", wid], self.env) or ""
            size = dict(line.split("=", 1) for line in geometry.split())
            area = int(size.get("WIDTH", 0)) * int(size.get("HEIGHT", 0))
            if area > 64 * 64 and (best is None or area > best[0]):
                best = (area, wid)
        return best and best[1]

    def tray_icon(self):
        """The screen position of the program's icon in the tray (xdotool's
        search misses windows embedded in the panel; xwininfo lists them)."""
        tree = quiet(["xwininfo", "-root", "-tree"], self.env) or ""
        for found in re.finditer(r'"Brindlecast": \("brindlecast" "Brindlecast"\)\s+'
                                 r"(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(\d+)\+(\d+)", tree):
            width, height, x, y = map(int, found.groups())
            if 8 <= width <= 64:
                return x + width // 2, y + height // 2
        return None

    def step(self, step, mailbox, heard):
        verb, _, arg = step.partition(":")
        if verb == "until":  # until:KEY:REGEX, at most SEEK_PRESSES presses
            key, _, pattern = arg.partition(":")
            found = re.compile(pattern)
            mine = []
            for _ in range(SEEK_PRESSES):
                self.step(key, mailbox, heard)
                if self.run.transcript.wait(found, KEY_GAP, mine):
                    break
            heard += mine
        elif verb == "deliver":
            mailbox.deliver(arg)
        elif verb == "window":  # wait until it shows
            wait_for(f"window {arg!r}", lambda: self.window(arg))
        elif verb == "activate":
            wid = wait_for(f"window {arg!r}", lambda: self.window(arg))
            self.xdotool("windowactivate", "--sync", wid)
            time.sleep(KEY_GAP)
        elif verb == "tray":  # a mouse click on the tray icon: the menu has no key
            x, y = wait_for("the tray icon", self.tray_icon)
            self.xdotool("mousemove", str(x), str(y), "click", "3")
            time.sleep(KEY_GAP * 2)
        elif verb == "type":
            self.xdotool("type", "--delay", "20", arg)
            time.sleep(KEY_GAP)
        elif verb == "sleep":
            time.sleep(float(arg))
        else:  # a key, maybe repeated: "Tab*3"
            key, _, count = step.partition("*")
            *mods, last = key.split("+")
            for _ in range(int(count or 1)):
                # Modifiers held a moment around the key, as a hand does: sent
                # at once, Qt saw Alt released alone and closed the menu it opened.
                if mods:
                    self.xdotool("keydown", *mods)
                    time.sleep(0.1)
                self.xdotool("key", last)
                if mods:
                    time.sleep(0.1)
                    self.xdotool("keyup", *reversed(mods))
                time.sleep(KEY_GAP / 2)
                self.run.transcript.idle()
                time.sleep(KEY_GAP / 2)

    def xdotool(self, *args):
        if quiet(["xdotool", *args], self.env) is None:
            raise Failure(f"xdotool {' '.join(args)} failed")


class Mailbox:
    """The run's private Dovecot with one user, its mail set per session."""

    user = "test"

    def __init__(self, run):
        self.run = run
        self.dir = os.path.join(run.work, "pop3")
        ports = run.script("pop3-server.sh", "freeports", "47410", "47495").split()
        self.port = int(ports[0])
        run.env.update(POP3_PORT=ports[0], POP3S_PORT=ports[1])
        # A port the system just handed out and took back: nothing listens there.
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.closed_port = probe.getsockname()[1]
        run.script("pop3-server.sh", "adduser", self.dir, self.user)
        run.script("pop3-server.sh", "start", self.dir)
        run.stoppers.append(("pop3-server.sh", self.dir))

    def reset(self, names):
        self.run.script("pop3-server.sh", "clear", self.dir, self.user)
        for name in names:
            self.deliver(name)

    def deliver(self, name):
        self.run.script("pop3-server.sh", "deliver", self.dir, self.user,
                        os.path.join(HERE, "mail", name))


def play_row(session, row, mailbox, out, before=()):
    """Runs one row; returns True when its expectation held. `before`: lines
    said just before it (the program's start) that its expectation may use."""
    transcript = session.run.transcript
    transcript.read()  # what was said before the row is not the row's
    heard = []
    started = time.monotonic()
    problem = None
    try:
        for step in row.steps:
            session.step(step, mailbox, heard)
            heard += transcript.read()
        expect = re.compile(row.expect) if row.expect else None
        # With nothing to wait for, a moment for what the steps set off.
        said = list(before) + heard  # wait() adds to it
        if not transcript.wait(expect, row.wait if expect else 1.0, said):
            problem = f"not heard within {row.wait:g} s: /{row.expect}/"
        else:  # what follows at once belongs to the row too
            transcript.idle()
            said += transcript.read()
        heard = said[len(before):]
        if not problem and row.absent and re.search(row.absent, "\n".join(heard)):
            problem = f"heard what must not be said: /{row.absent}/"
        if not problem and row.shown and not session.window(row.shown):
            problem = f"the window {row.shown!r} is not shown"
        if not problem and row.hidden:
            try:
                wait_for(f"the window {row.hidden!r} to go",
                         lambda: not session.window(row.hidden), timeout=row.wait)
            except Failure as failure:
                problem = str(failure)
    except Failure as failure:
        problem = str(failure)
    seconds = time.monotonic() - started
    ok = problem is None
    if row.state == "pending":
        tag = "XPASS" if ok else "xfail"
    else:
        tag = "ok" if ok else "FAIL"
    out(f"[{tag:5}] {row.item:>4}  {row.title} ({seconds:.1f} s)")
    for line in heard:
        out(f"          | {line}")
    if problem:
        out(f"          ! {problem}")
    return ok


def explore(run, plan, program, mailbox, out):
    """Plays rows typed on standard input against a started session."""
    session = Session(run, plan, program, 0)
    try:
        session.start(mailbox)
        heard = []
        run.transcript.wait(re.compile(plan.ready), START_WAIT, heard)
        run.transcript.idle(quiet=1.0, limit=8.0)
        heard += run.transcript.read()
        out("[start]        " + " / ".join(heard))
        for line in sys.stdin:
            if line.strip():
                play_row(session, table.Row("ready", "", line.strip(), line.strip().split("|"),
                                            wait=2.0), mailbox, out)
    finally:
        session.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program")
    parser.add_argument("--pending", action="store_true", help="also run the pending rows")
    parser.add_argument("--only", help="run only the rows whose title or item holds this text")
    parser.add_argument("--out", help="folder for the transcript, Orca's debug file and logs")
    parser.add_argument("--explore", metavar="SESSION",
                        help="start that session, then play rows read from standard input, "
                             "one a line, steps separated by '|', and print what Orca says")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    if not os.access(program, os.X_OK):
        sys.exit(f"orca-test: no program at {program}")
    for tool in ("Xvfb", "openbox", "xdotool", "xdpyinfo", "xprop", "gdbus", "trayer",
                 "speech-dispatcher", "pulseaudio", "dovecot", "orca"):
        if not shutil.which(tool) and not os.path.exists(f"/usr/sbin/{tool}"):
            sys.exit(f"orca-test: {tool} is missing (scripts/bootstrap.sh --orca installs it)")
    if args.out:
        os.makedirs(args.out, exist_ok=True)
    report = open(os.path.join(args.out, "transcript.txt"), "w") if args.out else None

    def out(text):
        print(text, flush=True)
        if report:
            report.write(text + "\n")

    def wanted(row):
        if args.only and args.only not in row.title and args.only != row.item:
            return False
        return row.state == "ready" or args.pending

    def skip(row):
        if row.state == "pending" and not args.only:
            out(f"[skip ] {row.item:>4}  {row.title}: not built yet")
            counts["skip"] += 1

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    began = time.monotonic()
    counts = {"ok": 0, "FAIL": 0, "xfail": 0, "XPASS": 0, "skip": 0}
    run = Run(args.out)
    strays = []
    try:
        run.start_display()
        run.start_buses()
        run.start_sound()
        run.start_desktop_services()
        run.start_orca()
        mailbox = Mailbox(run)
        out(f"orca-test: Orca {quiet(['orca', '--version'], run.env).strip()} on display "
            f"{run.env['DISPLAY']}, ready in {time.monotonic() - began:.1f} s")
        if args.explore:
            explore(run, [s for s in table.SESSIONS if s.name == args.explore][0], program,
                    mailbox, out)
        for index, plan in enumerate([] if args.explore else table.SESSIONS):
            chosen = [row for row in plan.rows if wanted(row)]
            if not chosen:  # not started at all
                for row in plan.rows:
                    skip(row)
                continue
            out(f"-- session {plan.name}: {plan.about}")
            session = Session(run, plan, program, index)
            heard = []
            try:
                session.start(mailbox)
                if not run.transcript.wait(re.compile(plan.ready), START_WAIT, heard):
                    raise Failure(f"the program did not start: /{plan.ready}/ not heard")
                run.transcript.idle(quiet=1.0, limit=8.0)  # the start's burst of events
                heard += run.transcript.read()
                out("[start]        " + " / ".join(heard))
                before = heard
                for row in plan.rows:
                    if row not in chosen:
                        skip(row)
                        continue
                    ok = play_row(session, row, mailbox, out, before)
                    before = ()
                    tag = ("ok" if ok else "FAIL") if row.state == "ready" else (
                        "XPASS" if ok else "xfail")
                    counts[tag] += 1
            except Failure as failure:
                out(f"[FAIL ]        session {plan.name}: {failure}")
                for line in heard:
                    out(f"          | {line}")
                counts["FAIL"] += 1
            finally:
                session.stop()
    except Failure as failure:
        out(f"orca-test: the desktop did not start: {failure} (logs: {args.out or run.logs})")
        counts["FAIL"] += 1
    finally:
        strays = run.stop()
    if strays:
        out(f"orca-test: {len(strays)} process(es) of the run outlived it, ended: {strays}")
    out(f"orca-test: {counts['ok']} ok, {counts['FAIL']} failed, {counts['skip']} pending "
        f"skipped, {counts['xfail']} pending failed as expected, {counts['XPASS']} pending "
        f"passed; {time.monotonic() - began:.0f} s")
    if counts["XPASS"]:
        out("orca-test: mark the XPASS rows ready in tests/orca/rows.py")
    return 1 if counts["FAIL"] or strays else 0


if __name__ == "__main__":
    sys.exit(main())
