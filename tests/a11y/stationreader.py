#!/usr/bin/python3
"""Reads the station window as a screen reader does, through AT-SPI.

Starts the program given with its arguments (a station on COM1, whose module
passes, and COM2, whose module keeps nothing), finds the station window in
the desktop's accessibility tree, and waits until each port's tile says its
verdict in words: its name the port, its description the state. Then presses
Stop through AT-SPI alone and waits for the window to say it stopped.
"""
import os
import subprocess
import sys

from screenreader import find_window, named, press, spoken_value, wait_for, walk

import pyatspi


def find_station(pid):
    return find_window(pid, lambda window: window.name == "Lumavera Station")


def tiles(window):
    """Each port's tile as a reader hears it: name, then description."""
    return {a.name: a.description for a, _ in walk(window)
            if a.getRoleName() == "frame" and a.name in ("COM1", "COM2")}


def label_reading(window, prefix):
    return next((spoken_value(a) or a.name for a, _ in walk(window)
                 if a.getRoleName() == "label" and (spoken_value(a) or a.name).startswith(prefix)),
                "")


def main():
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    program = subprocess.Popen(sys.argv[1:], env=env)
    try:
        window = wait_for("the station window never appeared in the accessibility tree",
                          lambda: find_station(program.pid))
        try:
            wait_for("the tiles never told both verdicts",
                     lambda: tiles(window).get("COM1") == "PASS"
                     and tiles(window).get("COM2", "").startswith("FAIL, the module differs"))
        except SystemExit:
            for acc, depth in walk(window):
                print("  " * depth + f"{acc.getRoleName()}: {acc.name!r} ({acc.description!r})")
            raise
        for name, description in sorted(tiles(window).items()):
            print(f"{name}: {description}")
        print(label_reading(window, "Passed"))
        press(named(window, "push button", "Stop"))
        wait_for("the window never said it stopped",
                 lambda: label_reading(window, "Stopped") == "Stopped.")
        print("Stopped.")
    finally:
        program.terminate()
        program.wait(10)


if __name__ == "__main__":
    main()
