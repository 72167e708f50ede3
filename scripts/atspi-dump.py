#!/usr/bin/env python3
"""Prints what a screen reader finds in one window of a running program.

    atspi-dump.py APP WINDOW-TITLE [LABEL [PAGE-TAB]]

Walks the AT-SPI tree of the window titled WINDOW-TITLE of the application
named APP (case-insensitive), lists every showing interactive control with its
role and name, and ends with a count line:

    LABEL: 31 controls, 31 named, 0 unnamed

Unnamed controls are marked "UNNAMED"; names with blanks at either end are
marked "PADDED" and counted as unnamed, as Orca reads them oddly. A combo box
is named by its entry; Orca says what it is for from its labelled-by relation,
shown after "label", and one without that relation counts as unnamed. With
PAGE-TAB the page tab of that name (blanks aside) is pressed first, as a
screen reader's "activate" does. Exits 2 when
the window is not found. Needs python3-gi and gir1.2-atspi-2.0, and a
session bus with the accessibility bus running (at-spi2-core).
"""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# What a user can act on or read a value from.
CONTROL_ROLES = {
    Atspi.Role.PUSH_BUTTON,
    Atspi.Role.TOGGLE_BUTTON,
    Atspi.Role.CHECK_BOX,
    Atspi.Role.RADIO_BUTTON,
    Atspi.Role.TEXT,
    Atspi.Role.ENTRY,
    Atspi.Role.PASSWORD_TEXT,
    Atspi.Role.COMBO_BOX,
    Atspi.Role.LIST,
    Atspi.Role.LIST_BOX,
    Atspi.Role.TABLE,
    Atspi.Role.TREE,
    Atspi.Role.TREE_TABLE,
    Atspi.Role.PAGE_TAB,
    Atspi.Role.SPIN_BUTTON,
    Atspi.Role.PROGRESS_BAR,
    Atspi.Role.LINK,
    Atspi.Role.SLIDER,
}
# Rows and cells of lists and tables are named by their data.
CONTAINERS = {
    Atspi.Role.LIST,
    Atspi.Role.LIST_BOX,
    Atspi.Role.TABLE,
    Atspi.Role.TREE,
    Atspi.Role.TREE_TABLE,
    Atspi.Role.COMBO_BOX,
}


def find_window(app_name, title):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None or (app.get_name() or "").lower() != app_name.lower():
            continue
        for j in range(app.get_child_count()):
            window = app.get_child_at_index(j)
            if window is not None and window.get_name() == title:
                return window
    return None


def label_of(node):
    for relation in node.get_relation_set() or []:
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            for i in range(relation.get_n_targets()):
                return relation.get_target(i).get_name() or ""
    return ""


def walk(node, depth, out):
    if node is None or depth > 40:
        return
    states = node.get_state_set()
    if not states.contains(Atspi.StateType.SHOWING):
        return
    role = node.get_role()
    if role in CONTROL_ROLES:
        out.append((role, node.get_name() or "", label_of(node)))
    if role in CONTAINERS:
        return
    for i in range(node.get_child_count()):
        walk(node.get_child_at_index(i), depth + 1, out)


def press_tab(node, name, depth=0):
    if node is None or depth > 40:
        return False
    if node.get_role() == Atspi.Role.PAGE_TAB and (node.get_name() or "").strip() == name:
        action = node.get_action_iface()
        for i in range(action.get_n_actions() if action else 0):
            if action.get_action_name(i).lower() in ("press", "click", "switch", "activate"):
                return action.do_action(i)
        return False
    return any(press_tab(node.get_child_at_index(i), name, depth + 1)
               for i in range(node.get_child_count()))


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 1
    app_name, title = sys.argv[1], sys.argv[2]
    label = sys.argv[3] if len(sys.argv) > 3 else title
    window = find_window(app_name, title)
    if window is None:
        print(f"{label}: no window titled {title!r} in {app_name}", file=sys.stderr)
        return 2
    if len(sys.argv) > 4:
        if not press_tab(window, sys.argv[4]):
            print(f"{label}: no page tab {sys.argv[4]!r} to press", file=sys.stderr)
            return 2
        time.sleep(0.5)
    controls = []
    walk(window, 0, controls)
    named = 0
    for role, name, caption in controls:
        if role == Atspi.Role.COMBO_BOX:
            shown, mark = f"{name!r} label {caption!r}", "" if caption else "UNNAMED"
        else:
            shown, mark = repr(name), "" if name else "UNNAMED"
        if not mark and name != name.strip():
            mark = "PADDED"
        named += not mark
        print(f"  {Atspi.role_get_name(role):14} {shown} {mark}".rstrip())
    print(f"{label}: {len(controls)} controls, {named} named, {len(controls) - named} unnamed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
