"""Starts the installed Orca with its debug output going to a file, line by line.

    python3 orca_launch.py DEBUG_FILE [ORCA OPTION...]

Orca's own --debug-file opens the file with Python's default block buffering,
so the last lines it spoke may sit unwritten for as long as nothing else
happens: a test reading the file would wait for them in vain. This does what
--debug-file does (every level, no event dump) with a line-buffered file, and
then runs Orca's own command-line entry point.

Orca refuses to start while another process named "orca" runs for the same
user. A test's Orca has its own X display, buses and preferences, so another
user's (or another test's) Orca is none of its business: that check is
skipped here, and this Orca never ends any other (no --replace).
"""
import importlib.machinery
import importlib.util
import sys

ORCA = "/usr/bin/orca"


def main():
    debug_path, options = sys.argv[1], sys.argv[2:]
    loader = importlib.machinery.SourceFileLoader("orca_command", ORCA)
    found = importlib.util.spec_from_loader("orca_command", loader)
    command = importlib.util.module_from_spec(found)
    loader.exec_module(command)
    command.otherOrcas = lambda: []

    from orca import debug
    debug.debugLevel = debug.LEVEL_ALL
    debug.eventDebugLevel = debug.LEVEL_OFF
    debug.debugFile = open(debug_path, "w", buffering=1, encoding="utf-8")

    sys.argv = [ORCA] + options
    return command.main()


if __name__ == "__main__":
    sys.exit(main())
