"""The rest of the desktop, for the end-to-end tests.

entry: a GTK text entry in a window of its own, the application a user dictates
into; prints its X window id once mapped, then its text at every change. On
X11 unless GDK_BACKEND says otherwise; on Wayland, where windows have no id
and the compositor gives the focus, it prints 0 once it has the keyboard.
find|press PID ROLE NAME: the centre and name of the first control on screen of
application PID with ROLE (and NAME, unless empty), as a screen reader finds it;
press also runs its action. Exits 1 if there is none.
"""
import os
import sys


def entry():
    os.environ.update(GDK_BACKEND=os.environ.get("GDK_BACKEND") or "x11", NO_AT_BRIDGE="1")
    import gi

    gi.require_version("Gtk", "3.0")
    from gi.repository import Gtk

    window, field = Gtk.Window(), Gtk.Entry()
    window.add(field)
    if os.environ["GDK_BACKEND"] == "x11":
        window.connect("map-event", lambda *_: print(window.get_window().get_xid(), flush=True))
    else:
        def focused(*_):
            if window.has_toplevel_focus():
                window.disconnect(handler)
                print(0, flush=True)
        handler = window.connect("notify::has-toplevel-focus", focused)
    field.connect("changed", lambda _: print(field.get_text(), flush=True))
    window.show_all()
    Gtk.main()


def control(command, pid, role, name):
    import pyatspi

    # GTK 4 marks its controls visible, never showing.
    on_screen = pyatspi.STATE_SHOWING

    # GTK 4 says "button" where GTK 3 and Qt say "push button"; labels differ in case.
    def same_role(other):
        return other == role or {other, role} == {"button", "push button"}

    # GTK 4 also gives a control's label its role and name, without an action.
    def actionable(node):
        try:
            return node.queryAction().nActions > 0
        except NotImplementedError:
            return False

    def wanted(node):
        return (same_role(node.getRoleName()) and name.casefold() in ("", node.name.casefold())
                and node.getState().contains(on_screen)
                and (command == "find" or actionable(node)))

    # One process may show as two applications (Qt registers again once named).
    apps = [a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == int(pid)]
    node = None
    for app in apps:
        on_screen = pyatspi.STATE_VISIBLE if app.toolkitName == "GTK" else pyatspi.STATE_SHOWING
        node = node or pyatspi.findDescendant(app, wanted)
    if node is None:
        return 1
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    checked = "checked" if node.getState().contains(pyatspi.STATE_CHECKED) else ""
    print(box.x + box.width // 2, box.y + box.height // 2, node.name, checked, sep="\t",
          flush=True)
    return 0 if command == "find" or node.queryAction().doAction(0) else 1


if __name__ == "__main__":
    sys.stdout.reconfigure(encoding="utf-8")
    if sys.argv[1] == "entry":
        entry()
    else:
        sys.exit(control(*sys.argv[1:]))
