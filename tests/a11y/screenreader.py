#!/usr/bin/python3
"""Reads the window as a screen reader does, through AT-SPI.

Starts the program given as the first argument on the current X display and
accessibility bus, finds its window in the desktop's accessibility tree and
prints one line per control: role, name, value or text, description.
With --check it also fails (exit status 1) when a control a user acts on has
no name of its own, or when the names differ from those a user is told.
With --act it then works the window as a screen-reader user would, through
AT-SPI alone: presses Connect, sets the red level to 128, presses Set LED
Color and reads the monitor, which must say "FF 01 80 00 00 ".
--platform=NAME starts the program on another Qt platform (wayland); xcb
when not given.
"""
import os
import subprocess
import sys
import time

import pyatspi

EXPECTED = {
    # role, name -> value or text the reader speaks with it (None: any)
    ("combo box", "Select COM Port"): "COM1",
    ("push button", "Connect"): None,
    ("slider", "Red level"): "0",
    ("slider", "Green level"): "0",
    ("slider", "Blue level"): "0",
    ("push button", "Set LED Color"): None,
    ("push button", "Save Current Color on Memory"): None,
    ("combo box", "Select Memory Slot"): "1",
    ("push button", "Retrieve Color"): None,
    ("push button", "Save Settings on EEPROM"): None,
    ("combo box", "Select Fade Speed"): "1",
    ("combo box", "Select Hold Time"): "5",
    ("push button", "Set fade speed"): None,
    ("push button", "Set hold time"): None,
    ("combo box", "Select Mode"): "1",
    ("push button", "Set Mode"): None,
    ("push button", "Read Module Settings"): None,
    ("push button", "Port numbers"): None,
    ("push button", "Log\u2026"): None,
    ("label", "Transmitted bytes"): None,
    ("label", "Mixed colour"): None,
}

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
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def named(window, role, name):
    for acc, _ in walk(window):
        if acc.getRoleName() == role and acc.name == name:
            return acc
    raise LookupError(f"no {role} named {name!r}")


def press(acc):
    actions = acc.queryAction()
    for i in range(actions.nActions):
        if actions.getName(i) == "Press":
            actions.doAction(i)
            return
    raise LookupError(f"{acc.name!r} cannot be pressed")


def wait_for(what, predicate, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    print(f"FAIL: {what}")
    return False


def act(window):
    """Connects, mixes and sends a colour, and reads the monitor back."""
    press(named(window, "push button", "Connect"))
    red = named(window, "slider", "Red level")
    if not wait_for("Connect did not enable the sliders",
                    lambda: red.getState().contains(pyatspi.STATE_ENABLED)):
        return False
    red.queryValue().currentValue = 128
    if not wait_for("the red level did not take 128",
                    lambda: int(red.queryValue().currentValue) == 128):
        return False
    press(named(window, "push button", "Set LED Color"))
    monitor = named(window, "label", "Transmitted bytes")
    want = "FF 01 80 00 00 "
    if not wait_for(f"the monitor never read {want!r}",
                    lambda: spoken_value(monitor) == want):
        print(f"it reads {spoken_value(monitor)!r}")
        return False
    print(f"monitor: {spoken_value(monitor)!r}")
    return True


def find_window(pid, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is None:
                continue
            try:
                if app.get_process_id() != pid:
                    continue
            except Exception:
                continue
            for window in app:
                if window is not None and window.name.startswith("RGB Lumavera"):
                    # Wait until the controls are in the tree.
                    if any(a.name == "Read Module Settings" for a, _ in walk(window)):
                        return window
        time.sleep(0.2)
    return None


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    check = "--check" in sys.argv
    platform = next((a.split("=", 1)[1] for a in sys.argv if a.startswith("--platform=")), "xcb")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM=platform)
    program = subprocess.Popen(args, env=env)
    try:
        window = find_window(program.pid)
        if window is None:
            print("the window never appeared in the accessibility tree")
            return 1
        seen = {}
        for acc, depth in walk(window):
            role = acc.getRoleName()
            value = spoken_value(acc) if role in ("combo box", "slider", "label") else ""
            line = "  " * depth + f"{role}: {acc.name!r}"
            if value and value != acc.name:
                line += f" = {value!r}"
            if acc.description:
                line += f" ({acc.description})"
            print(line)
            seen.setdefault((role, acc.name), value)
            if check and role in ACTED_ON and not acc.name:
                print(f"FAIL: a {role} without a name")
                return 1
        if check:
            failed = False
            for key, value in EXPECTED.items():
                if key not in seen:
                    print(f"FAIL: no {key[0]} named {key[1]!r}")
                    failed = True
                elif value is not None and seen[key] != value:
                    print(f"FAIL: {key[1]!r} reads {seen[key]!r}, not {value!r}")
                    failed = True
            if failed:
                return 1
        if "--act" in sys.argv and not act(window):
            return 1
        return 0
    finally:
        program.terminate()
        program.wait(10)


if __name__ == "__main__":
    sys.exit(main())
