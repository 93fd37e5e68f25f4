#!/usr/bin/python3
"""Reads the window as a screen reader does, through AT-SPI, then works it.

Starts the program given (on the Qt platform of --platform=NAME, xcb when not
given), finds its window in the desktop's accessibility tree and prints one
line per control: role, name, value or text, description. Fails (exit status
1) when a control a user acts on has no name, or the names and values differ
from those a user is told. Then, through AT-SPI alone, presses Connect, sets
the red level to 128, presses Set LED Color and reads the monitor, which must
say "FF 01 80 00 00 ".
"""
import os
import subprocess
import sys
import time

import pyatspi

# role, name, and the value or text the reader speaks with it (None: any)
EXPECTED = [
    ("combo box", "Select COM Port", "COM1"), ("push button", "Connect", None),
    ("slider", "Red level", "0"), ("slider", "Green level", "0"),
    ("slider", "Blue level", "0"), ("push button", "Set LED Color", None),
    ("push button", "Save Current Color on Memory", None),
    ("combo box", "Select Memory Slot", "1"), ("push button", "Retrieve Color", None),
    ("push button", "Save Settings on EEPROM", None),
    ("combo box", "Select Fade Speed", "1"), ("combo box", "Select Hold Time", "5"),
    ("push button", "Set fade speed", None), ("push button", "Set hold time", None),
    ("combo box", "Select Mode", "1"), ("push button", "Set Mode", None),
    ("push button", "Read Module Settings", None), ("push button", "Port numbers", None),
    ("push button", "Log\u2026", None), ("push button", "Station\u2026", None),
    ("label", "Transmitted bytes", None),
    ("label", "Mixed colour", None),
]
ACTED_ON = {"combo box", "push button", "slider"}


def spoken_value(acc):
    try:
        return str(int(acc.queryValue().currentValue))
    except NotImplementedError:
        pass
    try:
        text = acc.queryText()
        return text.getText(0, text.characterCount)
    except NotImplementedError:
        return ""


def walk(acc, depth=0):
    yield acc, depth
    for child in (acc.getChildAtIndex(i) for i in range(acc.childCount)):
        if child is not None:
            yield from walk(child, depth + 1)


def named(window, role, name):
    return next(a for a, _ in walk(window) if a.getRoleName() == role and a.name == name)


def press(acc):
    actions = acc.queryAction()
    actions.doAction(next(i for i in range(actions.nActions) if actions.getName(i) == "Press"))


def wait_for(what, predicate, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = predicate()
        if found:
            return found
        time.sleep(0.05)
    sys.exit(f"FAIL: {what}")


def find_window(pid, wanted=lambda window: window.name.startswith("RGB Lumavera") and any(
        a.name == "Read Module Settings" for a, _ in walk(window))):
    """The window of process `pid` that `wanted` accepts (by default the main
    window, once its controls are in the tree)."""
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is None or app.get_process_id() != pid:
                continue
        except Exception:
            continue
        for window in app:
            if window is not None and wanted(window):
                return window
    return None


def read(window):
    seen = {}
    for acc, depth in walk(window):
        role = acc.getRoleName()
        value = spoken_value(acc) if role in ("combo box", "slider", "label") else ""
        line = "  " * depth + f"{role}: {acc.name!r}"
        if value and value != acc.name:
            line += f" = {value!r}"
        print(line + (f" ({acc.description})" if acc.description else ""))
        seen.setdefault((role, acc.name), value)
        if role in ACTED_ON and not acc.name:
            sys.exit(f"FAIL: a {role} without a name")
    for role, name, value in EXPECTED:
        if (role, name) not in seen:
            sys.exit(f"FAIL: no {role} named {name!r}")
        if value is not None and seen[role, name] != value:
            sys.exit(f"FAIL: {name!r} reads {seen[role, name]!r}, not {value!r}")


def act(window):
    press(named(window, "push button", "Connect"))
    red = named(window, "slider", "Red level")
    wait_for("Connect did not enable the sliders",
             lambda: red.getState().contains(pyatspi.STATE_ENABLED))
    red.queryValue().currentValue = 128
    wait_for("the red level did not take 128", lambda: int(red.queryValue().currentValue) == 128)
    press(named(window, "push button", "Set LED Color"))
    monitor = named(window, "label", "Transmitted bytes")
    wait_for("the monitor never read 'FF 01 80 00 00 '",
             lambda: spoken_value(monitor) == "FF 01 80 00 00 ")
    print(f"monitor: {spoken_value(monitor)!r}")


def main():
    platform = next((a.split("=", 1)[1] for a in sys.argv if a.startswith("--platform=")), "xcb")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM=platform)
    program = subprocess.Popen([a for a in sys.argv[1:] if not a.startswith("--")], env=env)
    try:
        window = wait_for("the window never appeared in the accessibility tree",
                          lambda: find_window(program.pid))
        read(window)
        act(window)
        # A logout or Ctrl+C ends the whole program, whichever of its windows
        # are open: the station window too, not the main window alone.
        press(named(window, "push button", "Station\u2026"))
        wait_for("the station window never appeared",
                 lambda: find_window(program.pid, lambda w: w.name == "Lumavera Station"))
        program.terminate()
        try:
            print(f"SIGTERM with the station window open: exit {program.wait(10)}")
        except subprocess.TimeoutExpired:
            sys.exit("FAIL: SIGTERM left the program running with the station window open")
    finally:
        program.kill()
        program.wait(10)


if __name__ == "__main__":
    main()
