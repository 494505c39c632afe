#!/usr/bin/python3
"""Reference walk for the end-to-end benchmark: pyatspi reading the same
attributes as `nuvra-click observe`, one request at a time, breadth first
from the application's active window.

    pyatspi_walk.py APP_NAME MAX_NODES MAX_DEPTH

Prints "elements=N seconds=S": S runs from looking the application up on
the desktop to the end of the walk (interpreter and library start-up
excluded).
"""

import sys
import time

import pyatspi

TEXT_ROLES = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_EDITBAR,
              # running text: paragraphs, headings, cells, links and the like
              pyatspi.ROLE_PARAGRAPH, pyatspi.ROLE_HEADING, pyatspi.ROLE_SECTION,
              pyatspi.ROLE_CAPTION, pyatspi.ROLE_BLOCK_QUOTE, pyatspi.ROLE_LIST_ITEM,
              pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LINK, pyatspi.ROLE_DOCUMENT_TEXT,
              pyatspi.ROLE_COLUMN_HEADER, pyatspi.ROLE_ROW_HEADER, pyatspi.ROLE_DEFINITION,
              pyatspi.ROLE_DESCRIPTION_TERM, pyatspi.ROLE_DESCRIPTION_VALUE,
              pyatspi.ROLE_FOOTNOTE, pyatspi.ROLE_COMMENT}
RANGE_ROLES = {pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_SLIDER, pyatspi.ROLE_SPIN_BUTTON,
               pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_LEVEL_BAR, pyatspi.ROLE_DIAL}


def read_element(e):
    """Role, name, the description when there is no name, the value, the
    states, the extents; the children are read by the caller."""
    role = e.getRole()
    name = e.name
    description = e.description if not name else None
    value = None
    if role in TEXT_ROLES:
        try:
            value = e.queryText().getText(0, -1)
        except NotImplementedError:
            pass
    elif role in RANGE_ROLES:
        try:
            value = e.queryValue().currentValue
        except NotImplementedError:
            pass
    states = e.getState()
    enabled = states.contains(pyatspi.STATE_ENABLED)
    focused = states.contains(pyatspi.STATE_FOCUSED)
    checked = states.contains(pyatspi.STATE_CHECKED)
    extents = None
    try:
        extents = e.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    except NotImplementedError:
        pass
    return (role, name, description, value, enabled, focused, checked, extents)


def main():
    app_name, max_nodes, max_depth = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    pyatspi.setTimeout(1000, 1000)
    started = time.monotonic()
    app = next((a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == app_name),
               None)
    if app is None:
        print("pyatspi_walk: no application named %s" % app_name, file=sys.stderr)
        return 5
    windows = [w for w in app if w is not None]
    active = [w for w in windows if w.getState().contains(pyatspi.STATE_ACTIVE)]
    window = (active or windows or [None])[0]
    if window is None:
        return 5
    queue = [(window, 0)]
    seen = set()
    elements = 0
    head = 0
    while head < len(queue) and elements < max_nodes:
        e, depth = queue[head]
        head += 1
        # libatspi hands out one object per accessible, so the wrapper
        # itself tells elements apart.
        if e in seen:
            continue
        seen.add(e)
        read_element(e)
        elements += 1
        count = e.childCount
        if depth >= max_depth:
            continue
        for i in range(count):
            child = e.getChildAtIndex(i)
            if child is not None:
                queue.append((child, depth + 1))
    print("elements=%d seconds=%.6f" % (elements, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
