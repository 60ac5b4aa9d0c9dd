#!/usr/bin/python3
"""What a screen reader finds of the running updater on the accessibility bus.

Finds the application named by the first argument, prints every object of its
window as "role | name | description | states | actions", checks the controls
a screen-reader user needs and that the window reads in its own order (row by
row from the top: the title, each heading before what it names, the banner at
the foot), and presses the browse button through the bus's action interface:
the file dialog must open. Exit 0 when all of it holds.
"""
import sys
import time

import pyatspi
from gi.repository import GLib

APP = sys.argv[1]
DEADLINE = time.monotonic() + 120
failures = []


def fresh(acc):
    acc.clear_cache()
    return acc


def pump(seconds):
    """Lets the bus's events in: the client learns of new applications and
    changed names only from them."""
    context = GLib.MainContext.default()
    until = time.monotonic() + seconds
    while time.monotonic() < until:
        if not context.iteration(False):
            time.sleep(0.02)


def wait_for(what, find, give_up=True):
    until = DEADLINE
    while time.monotonic() < until:
        found = find()
        if found is not None:
            return found
        pump(0.2)
    print(f"window_view: timed out waiting for {what}")
    for depth, acc in objects(application() or pyatspi.Registry.getDesktop(0)):
        print("  " * depth + line(acc))
    if give_up:
        sys.exit(1)
    return None


def application():
    desktop = fresh(pyatspi.Registry.getDesktop(0))
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == APP and app.childCount > 0:
            return app
    return None


def walk(acc, depth=0):
    yield depth, fresh(acc)
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def actions(acc):
    try:
        action = acc.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def line(acc):
    states = acc.getState()
    marks = [name for name, state in (("sensitive", pyatspi.STATE_SENSITIVE), ("focusable", pyatspi.STATE_FOCUSABLE),
                                       ("focused", pyatspi.STATE_FOCUSED)) if states.contains(state)]
    description = acc.description.replace("\n", " ")
    return f"{acc.getRoleName()} | {acc.name} | {description} | {','.join(marks)} | {','.join(actions(acc))}"


def objects(app):
    return [(depth, acc) for depth, acc in walk(app)]


def find(app, role, name):
    for _, acc in objects(app):
        if acc.getRoleName() == role and acc.name == name:
            return acc
    return None


def expect(condition, text):
    if not condition:
        failures.append(text)


app = wait_for(f"the application {APP} on the bus", application)
# The first presence check names the status.
if wait_for("the status word", lambda: find(app, "label", "Device status: DISCONNECTED"), give_up=False) is None:
    failures.append("the status panel never read 'Device status: DISCONNECTED'")

for depth, acc in objects(app):
    print("  " * depth + line(acc))

frame = find(app, "frame", "vireon.control")
expect(frame is not None, "no frame named vireon.control")
browse = find(app, "push button", "Choose file")
update = find(app, "push button", "UPDATE")
expect(browse is not None, "no push button 'Choose file'")
expect(update is not None, "no push button 'UPDATE'")
progress = find(app, "progress bar", "Progress")
expect(progress is not None, "no progress bar 'Progress'")
if progress is not None:
    expect(not actions(progress), f"the progress bar offers actions: {actions(progress)}")
expect(find(app, "heading", "VIREON SURFACE FIRMWARE UPDATER") is not None, "no heading with the window's title")
expect(find(app, "label", "KEEP THE SURFACE CONNECTED WHILE IT UPDATES") is not None, "no label with the banner")
# The window's parts in the order a screen reader walks them.
if frame is not None and frame.childCount == 1:
    panel = frame.getChildAtIndex(0)
    order = [(panel.getChildAtIndex(i).getRoleName(), panel.getChildAtIndex(i).name) for i in range(panel.childCount)]
    expected = [("heading", "VIREON SURFACE FIRMWARE UPDATER"), ("label", "DEVICE STATUS"), ("label", "FILE"),
                ("label", "Device status: DISCONNECTED"), ("label", "File: none chosen"), ("push button", "Choose file"),
                ("push button", "UPDATE"), ("label", "PROGRESS"), ("progress bar", "Progress"),
                ("label", "Connect the surface, then choose the firmware file."),
                ("label", "KEEP THE SURFACE CONNECTED WHILE IT UPDATES")]
    expect(order[:len(expected)] == expected and len(order) == len(expected) + 1 and order[-1][1].startswith("v"),
           f"the window reads out of its order: {order}")
else:
    failures.append("the frame does not hold the window's one panel")
expect(find(app, "label", "File: none chosen") is not None, "no file panel label 'File: none chosen'")
if update is not None:
    expect(not update.getState().contains(pyatspi.STATE_SENSITIVE), "UPDATE is offered with no surface and no file")
    expect("Not offered now: no surface connected, no file chosen." in update.description,
           f"UPDATE does not say why it is not offered: {update.description!r}")
if browse is not None:
    expect(browse.getState().contains(pyatspi.STATE_SENSITIVE), "the browse button is not offered")
    expect(browse.getState().contains(pyatspi.STATE_FOCUSABLE), "the browse button takes no focus")
    action = browse.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    expect("Press" in names, f"the browse button has no press action: {names}")
    if "Press" in names:
        action.doAction(names.index("Press"))
        dialog = wait_for("the file dialog", lambda: find(app, "dialog", "Open File"))
        print(f"after the press action: {line(dialog)}")

for failure in failures:
    print(f"window_view: {failure}")
sys.exit(1 if failures else 0)
