"""A keyboard for the end-to-end tests on Wayland, through the desktop's
remote desktop portal (on GNOME, mutter's own remote desktop, which asks no
one), as a user's hands on the keys.

hold SECONDS CODE...: presses the keys (evdev codes) in order, waits, and
lets go of them the last one first; with no key, a keyboard plugged in.
tap CODE...: the same without the wait.
Exits 0 once all are up again; 1 with a message if the portal refuses or
does not answer in time.
"""
import os
import signal
import sys
import time

from gi.repository import Gio, GLib

PORTAL, PATH = "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop"
REMOTE = "org.freedesktop.portal.RemoteDesktop"
KEYBOARD = 1
TIMEOUT_MS = 10000


class Refused(Exception):
    pass


class Portal:
    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        self.sender = self.bus.get_unique_name()[1:].replace(".", "_")
        self.requests = 0

    def call(self, method, signature, *args, interface=REMOTE, path=PATH):
        return self.bus.call_sync(PORTAL, path, interface, method, GLib.Variant(signature, args),
                                  None, Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)

    # A request's answer comes as a signal on an object named after our token;
    # listened to before asking, or a quick answer is lost.
    def request(self, method, signature, *args):
        self.requests += 1
        token = f"keys{self.requests}"
        options = args[-1] | {"handle_token": GLib.Variant("s", token)}
        loop, answer = GLib.MainLoop(), []

        def on_response(_bus, _sender, _path, _interface, _signal, parameters):
            answer.append(parameters.unpack())
            loop.quit()

        subscription = self.bus.signal_subscribe(
            PORTAL, "org.freedesktop.portal.Request", "Response",
            f"{PATH}/request/{self.sender}/{token}", None, Gio.DBusSignalFlags.NONE, on_response)
        try:
            self.call(method, signature, *args[:-1], options)
            timer = GLib.timeout_add(TIMEOUT_MS, loop.quit)
            loop.run()
            if answer:
                GLib.source_remove(timer)
        finally:
            self.bus.signal_unsubscribe(subscription)
        if not answer:
            raise Refused(f"{method}: no answer within {TIMEOUT_MS // 1000} s")
        code, results = answer[0]
        if code != 0:
            raise Refused(f"{method}: {'cancelled' if code == 1 else 'refused'} ({code})")
        return results

    def keyboard(self):
        session = self.request("CreateSession", "(a{sv})", {
            # Not "sayvo": portals may keep state under a session's token (the
            # global shortcuts do), and Sayvo's is none of our business.
            "session_handle_token": GLib.Variant("s", "sayvo_test_keys")})["session_handle"]
        self.request("SelectDevices", "(oa{sv})", session, {"types": GLib.Variant("u", KEYBOARD)})
        devices = self.request("Start", "(osa{sv})", session, "", {}).get("devices", 0)
        if not devices & KEYBOARD:
            raise Refused("Start: no keyboard granted")
        return session

    def key(self, session, code, down):
        self.call("NotifyKeyboardKeycode", "(oa{sv}iu)", session, {}, code, int(down))

    def close(self, session):
        self.call("Close", "()", interface="org.freedesktop.portal.Session", path=session)


# mutter's own interface: the keys of a seat, as a user's keyboard, with no
# consent dialog (that is Sayvo's to meet).
class Mutter:
    NAME = "org.gnome.Mutter.RemoteDesktop"

    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def call(self, path, interface, method, signature=None, *args):
        return self.bus.call_sync(self.NAME, path, interface, method,
                                  GLib.Variant(signature, args) if signature else None,
                                  None, Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)

    def keyboard(self):
        session = self.call("/org/gnome/Mutter/RemoteDesktop", self.NAME,
                            "CreateSession").unpack()[0]
        self.call(session, self.NAME + ".Session", "Start")
        return session

    def key(self, session, code, down):
        self.call(session, self.NAME + ".Session", "NotifyKeyboardKeycode", "(ub)", code, down)

    def close(self, session):
        self.call(session, self.NAME + ".Session", "Stop")


def main(arguments):
    command, *rest = arguments or ["?"]
    try:
        seconds = float(rest.pop(0)) if command == "hold" and rest else 0
        codes = [int(code) for code in rest]
    except ValueError:
        codes = []
    # A hold of no key keeps a keyboard on a headless GNOME seat, which has
    # one only while a remote-desktop session is open.
    if command not in ("hold", "tap") or not (codes or seconds):
        sys.exit(__doc__)
    # Killed while holding, the keys still go up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        gnome = "GNOME" in os.environ.get("XDG_CURRENT_DESKTOP", "").split(":")
        portal = Mutter() if gnome else Portal()
        session = portal.keyboard()
    except (Refused, GLib.Error) as error:
        sys.exit(f"wayland_keys: {error}")
    down = []
    if not codes:  # mutter makes a session's keyboard at its first key
        portal.key(session, 42, True), portal.key(session, 42, False)
    try:
        for code in codes:
            portal.key(session, code, True)
            down.append(code)
        time.sleep(seconds)
    finally:
        for code in reversed(down):
            portal.key(session, code, False)
        portal.close(session)


if __name__ == "__main__":
    main(sys.argv[1:])
