"""An application's windows as a screen reader meets them, through AT-SPI.

    atspi_probe.py PID list          one line per node on screen, tab-separated:
                                     role, name, centre x, centre y
    atspi_probe.py PID press NAME    runs the first action of the button NAME

Exits 1 when the application or the button is not there.
"""
import sys

import pyatspi


def tree(node):
    yield node
    for child in node:
        if child is not None:
            yield from tree(child)


def main(pid, command, name=None):
    desktop = pyatspi.Registry.getDesktop(0)
    apps = [a for a in desktop if a is not None and a.get_process_id() == pid]
    for node in tree(apps[0]) if apps else ():
        if not node.getState().contains(pyatspi.STATE_SHOWING):
            continue
        role = node.getRoleName()
        if command == "list":
            try:
                box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            except NotImplementedError:  # the application itself has no place
                continue
            label = node.name.replace("\t", " ").replace("\n", " ")
            print(role, label, box.x + box.width // 2, box.y + box.height // 2, sep="\t")
        elif role == "push button" and node.name == name:
            return 0 if node.queryAction().doAction(0) else 1
    return 0 if command == "list" and apps else 1


if __name__ == "__main__":
    sys.exit(main(int(sys.argv[1]), *sys.argv[2:]))
