#!/usr/bin/env python3
"""Walks the running reader's accessible tree over the accessibility bus, the
way a screen reader does, and drives it through its actions only.

    a11y_client.py <server log> <chapter heading>

Exit 0 when every check holds; prints the table of contents' tree as seen."""
import re
import sys
import time

import warnings

import gi

# The action-name call of these bindings is marked deprecated in favour of one
# that older releases lack.
warnings.filterwarnings("ignore", category=DeprecationWarning)

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

server_log, heading = sys.argv[1], sys.argv[2]
failures = []


def check(ok, what):
    print(("ok      " if ok else "FAILED  ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            value = predicate()
        except gi.repository.GLib.Error:
            value = None
        if value:
            return value
        time.sleep(0.1)
    return None


def children(node):
    try:
        return [node.get_child_at_index(i) for i in range(node.get_child_count())]
    except gi.repository.GLib.Error:
        return []


def states(node):
    s = node.get_state_set()
    names = []
    for state in ("enabled", "sensitive", "focusable", "focused", "selectable", "selected", "visible", "showing"):
        if s.contains(getattr(Atspi.StateType, state.upper())):
            names.append(state)
    return names


def has(node, state):
    return node.get_state_set().contains(getattr(Atspi.StateType, state.upper()))


def actions(node):
    try:
        if "Action" not in node.get_interfaces():
            return []
        return [Atspi.Action.get_action_name(node, i) for i in range(Atspi.Action.get_n_actions(node))]
    except (gi.repository.GLib.Error, NotImplementedError, AttributeError):
        return []


def describe(node, depth=0, out=None):
    out = [] if out is None else out
    name = node.get_name()
    line = "  " * depth + node.get_role_name()
    if name:
        line += ' "%s"' % name
    line += " [" + " ".join(states(node)) + "]"
    for action in actions(node):
        line += " <%s>" % action
    out.append(line)
    for child in children(node):
        describe(child, depth + 1, out)
    return out


def find(node, role, name=None, depth=0):
    if depth > 40 or node is None:
        return None
    if node.get_role_name() == role and (name is None or node.get_name() == name):
        return node
    for child in children(node):
        found = find(child, role, name, depth + 1)
        if found:
            return found
    return None


def find_text(node, text, depth=0):
    """Any node below whose name or text holds text."""
    if depth > 60 or node is None:
        return None
    try:
        if text in (node.get_name() or ""):
            return node
        if "Text" in node.get_interfaces() and text in Atspi.Text.get_text(node, 0, -1):
            return node
    except (gi.repository.GLib.Error, AttributeError):
        pass
    for child in children(node):
        found = find_text(child, text, depth + 1)
        if found:
            return found
    return None


def reader_frame():
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        for window in children(app):
            if window and window.get_role_name() == "frame" and window.get_name() == "Тальмерин":
                return window
    return None


def gets(path):
    """Requests for path in the book server's log ("127.0.0.1:PORT: url:/Nav3.html")."""
    with open(server_log, encoding="utf-8", errors="replace") as f:
        return len(re.findall(r"^[0-9.]*:[0-9]*: url:%s$" % re.escape(path), f.read(), re.MULTILINE))


Atspi.init()
frame = wait_for(reader_frame, 30)
check(frame is not None, 'a frame named "Тальмерин" is on the accessibility bus')
if frame is None:
    sys.exit(1)

tabs = wait_for(lambda: find(frame, "page tab list"), 10)
if tabs is None:
    print("\n".join(describe(frame)))
check(tabs is not None and tabs.get_parent() == frame, "the frame holds a page tab list")
contents = find(frame, "page tab", "Оглавление")
reader = find(frame, "page tab", "Содержание")
check(contents is not None and reader is not None, 'page tabs "Оглавление" and "Содержание"')
check(has(contents, "selected") and not has(reader, "selected"), '"Оглавление" is selected, "Содержание" is not')
check(all(has(t, "focusable") and has(t, "selectable") for t in (contents, reader)), "both page tabs are focusable and selectable")
check(actions(contents) == ["click"] and actions(reader) == ["click"], 'each page tab has the action "click"')

toc_panel = children(contents)[0] if children(contents) else None
check(toc_panel is not None and toc_panel.get_role_name() == "panel", 'the page under "Оглавление" is a panel')
print("--- the table of contents as seen over the bus ---")
print("\n".join(describe(tabs)))
print("---")
captions = [
    "Зарождение и развитие мореплавания",
    "Современные способы навигации",
    "Радионавигационные средства определения места в море",
    "Картографические проекции",
]
buttons = [c for c in children(toc_panel)] if toc_panel else []
check([b.get_role_name() for b in buttons] == ["push button"] * 4, "the panel holds four push buttons")
check([b.get_name() for b in buttons] == captions, "the buttons are named by their captions, in order")
check(all(has(b, s) for b in buttons for s in ("focusable", "enabled", "showing")),
      "the buttons are focusable, enabled and showing")
check(all(actions(b) == ["press"] for b in buttons), 'each button has the action "press"')
extents = [b.get_extents(Atspi.CoordType.WINDOW) for b in buttons]
check([(e.y - extents[0].y, e.height) for e in extents] == [(0, 50), (50, 50), (100, 50), (150, 50)],
      "the buttons stack 50 high, top to bottom")

before = gets("/Nav3.html")
check(Atspi.Action.do_action(buttons[2], 0), 'the third button takes "press"')
check(wait_for(lambda: has(reader, "selected"), 10) is not None, '"Содержание" becomes selected')
check(wait_for(lambda: gets("/Nav3.html") == before + 1, 15) is not None, "the chapter server saw one GET /Nav3.html")
check(not has(contents, "selected"), '"Оглавление" is no longer selected')
check(wait_for(lambda: not has(buttons[2], "showing"), 5) is not None, "after the slide the buttons are not showing")

reader_panel = children(reader)[0] if children(reader) else None
check(reader_panel is not None and reader_panel.get_role_name() == "panel", 'the page under "Содержание" is a panel')
check(reader_panel is not None and has(reader_panel, "showing"), "the reader page is showing")
found = wait_for(lambda: find_text(reader_panel, heading), 20)
check(found is not None, 'the chapter heading "%s" is inside the reader page' % heading)
if reader_panel is not None:
    print("--- the reader page as seen over the bus (top levels) ---")
    print("\n".join(line for line in describe(reader_panel) if len(line) - len(line.lstrip()) <= 8))
    print("---")
time.sleep(0.5)
check(gets("/Nav3.html") == before + 1, "still exactly one GET /Nav3.html")

check(Atspi.Action.do_action(contents, 0), '"Оглавление" takes "click"')
check(wait_for(lambda: has(contents, "selected"), 5) is not None, '"Оглавление" is selected again')
check(wait_for(lambda: all(has(b, "showing") for b in buttons), 5) is not None, "the four buttons are showing again")
check(wait_for(lambda: has(contents, "focused"), 5) is not None, '"Оглавление" has the focus, as after a press')

print("accessibility checks: %d failed" % len(failures))
sys.exit(1 if failures else 0)
