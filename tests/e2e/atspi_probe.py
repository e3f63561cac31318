"""The program as assistive technology sees it, through AT-SPI (pyatspi, as
the Orca screen reader reads it). Each command looks the window up anew, so
the calling suite can poll it.

usage: atspi_probe.py WINDOW COMMAND [ARGS]
  tree                      every object of WINDOW (not inside the page): role 'name' [states] x,y w×h
  exposed ROLE NAME         the object is there, showing; prints its window-relative extents
  states ROLE NAME STATE... the object has each state (a leading ! : has it not)
  act ROLE NAME             runs its default action
  type ROLE NAME TEXT       sets its text through the editable-text interface
  focused ROLE NAME         the keyboard focus is on that object
  focus                     prints the focused object: role|name
  clean                     nothing hidden, nameless or off-screen is exposed
"""
import sys

import pyatspi

WINDOW_ROLES = (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG)


def window(caption):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None:
            continue
        for w in app:
            if w is not None and w.getRole() in WINDOW_ROLES and w.name == caption:
                return w
    sys.exit("no window %r among the accessible applications" % caption)


def walk(obj, depth=0):
    """The window's objects; the page area's insides are the engine's own."""
    yield obj, depth
    if obj.getRole() == pyatspi.ROLE_SCROLL_PANE:
        return
    for child in obj:
        if child is not None:
            yield from walk(child, depth + 1)


def states(obj):
    return {pyatspi.stateToString(s) for s in obj.getState().getStates()}


def extents(obj, win):
    e = obj.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    w = win.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x - w.x, e.y - w.y, e.width, e.height


def find(win, role, name):
    hits = [o for o, _ in walk(win) if o.getRoleName() == role and o.name == name]
    if len(hits) != 1:
        sys.exit("%d objects %s %r" % (len(hits), role, name))
    return hits[0]


def line(obj, depth, win):
    x, y, w, h = extents(obj, win)
    shown = sorted(states(obj) & {"focusable", "focused", "checked", "showing", "enabled"})
    return "%s%s '%s' [%s] %d,%d %dx%d" % ("  " * depth, obj.getRoleName(), obj.name,
                                           " ".join(shown), x, y, w, h)


def main():
    win = window(sys.argv[1])
    command, args = sys.argv[2], sys.argv[3:]
    if command == "tree":
        for obj, depth in walk(win):
            print(line(obj, depth, win))
    elif command == "exposed":
        obj = find(win, *args[:2])
        if "showing" not in states(obj):
            sys.exit("not showing: " + line(obj, 0, win))
        print("%d %d %d %d" % extents(obj, win))
    elif command == "states":
        obj = find(win, *args[:2])
        have = states(obj)
        wrong = [s for s in args[2:] if (s[1:] in have) if s.startswith("!")] + \
                [s for s in args[2:] if not s.startswith("!") and s not in have]
        if wrong:
            sys.exit("%s: %s" % (" ".join(wrong), line(obj, 0, win)))
    elif command == "act":
        action = find(win, *args[:2]).queryAction()
        if action.nActions < 1 or not action.doAction(0):
            sys.exit("no default action")
        print(action.getName(0))
    elif command == "type":
        text = find(win, *args[:2]).queryEditableText()
        if not text.setTextContents(args[2]):
            sys.exit("text refused")
    elif command == "focused":
        hits = [o for o, _ in walk(win) if "focused" in states(o)]
        if [(o.getRoleName(), o.name) for o in hits] != [tuple(args[:2])]:
            sys.exit("focused: %s" % [line(o, 0, win) for o in hits])
    elif command == "focus":
        hits = [o for o, _ in walk(win) if "focused" in states(o)]
        if len(hits) != 1:
            sys.exit("%d focused objects" % len(hits))
        print("%s|%s" % (hits[0].getRoleName(), hits[0].name))
    elif command == "clean":
        w, h = extents(win, win)[2:]
        bad = []
        for obj, depth in walk(win):
            if depth == 0 or obj.getRole() == pyatspi.ROLE_FILLER:
                continue
            x, y, ow, oh = extents(obj, win)
            if "showing" not in states(obj) or not obj.name or ow < 2 or oh < 2 \
                    or x < 0 or y < 0 or x + ow > w or y + oh > h:
                bad.append(line(obj, 0, win))
        if bad:
            sys.exit("\n".join(bad))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
