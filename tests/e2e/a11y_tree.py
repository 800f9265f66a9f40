#!/usr/bin/python3
"""The program's accessibility tree as a screen reader reads it, over AT-SPI.

  a11y_tree.py tree PID [WINDOW]  every node of the application, or of its first top-level
                                  window whose name matches the regular expression WINDOW once
                                  that appears; one a line: path, role, name, description and
                                  states, tab-separated
  a11y_tree.py press PID NAME     performs the first action (a button's press) of the showing
                                  node named NAME, as a screen reader user does from the keyboard

Waits up to 15 s for the application and the window: the program registers on the
accessibility bus only some time after its window is up.
"""
import re
import sys
import time

import pyatspi
from gi.repository import GLib

STATES = {"focusable": pyatspi.STATE_FOCUSABLE, "checked": pyatspi.STATE_CHECKED,
          "showing": pyatspi.STATE_SHOWING}
PATIENCE_S = 15


def clean(text):
    return re.sub(r"[\t\n\r]", " ", text or "")


def children(node):
    return [c for c in (node.getChildAtIndex(i) for i in range(node.childCount)) if c is not None]


def walk(node, path="0"):
    yield path, node
    for i, child in enumerate(children(node)):
        yield from walk(child, f"{path}.{i}")


def line(path, node):
    states = node.getState()
    held = " ".join(name for name, state in STATES.items() if states.contains(state))
    return "\t".join([path, node.getRoleName(), clean(node.name), clean(node.description), held])


def find(what, pid):
    """Polls for what(application) to give something; the tree is read afresh on every try."""
    deadline = time.monotonic() + PATIENCE_S
    while True:
        desktop = pyatspi.Registry.getDesktop(0)
        desktop.clear_cache()
        for app in children(desktop):
            try:
                if app.get_process_id() != pid:
                    continue
                app.clear_cache()
                found = what(app)
            except GLib.Error:  # a node that went away while read: try again
                found = None
            if found is not None:
                return found
        if time.monotonic() > deadline:
            return None
        time.sleep(0.2)


def window(pattern):
    return lambda app: next((w for w in children(app) if re.search(pattern, w.name or "")), None)


def action_count(node):
    try:
        return node.queryAction().nActions
    except NotImplementedError:
        return 0


def pressable(name):
    def first(app):
        return next((node for _, node in walk(app) if node.name == name and action_count(node) > 0
                     and node.getState().contains(pyatspi.STATE_SHOWING)), None)
    return first


def main(argv):
    if not (len(argv) == 3 and argv[1] == "tree" or len(argv) == 4 and argv[1] in ("tree", "press")):
        sys.exit(__doc__)
    command, pid, target = argv[1], int(argv[2]), argv[3] if len(argv) == 4 else None
    if command == "press":
        node = find(pressable(target), pid)
    else:
        node = find(window(target) if target else lambda app: app, pid)
    if node is None:
        sys.exit(f"a11y_tree: nothing found for {argv[1:]} within {PATIENCE_S} s")
    if command == "press":
        node.queryAction().doAction(0)
    else:
        for path, child in walk(node):
            print(line(path, child))


if __name__ == "__main__":
    main(sys.argv)
