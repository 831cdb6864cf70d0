"""Dictates into one application after another on one running Sayvo, on X11,
and reads back what each received: a terminal through a program inside it
that writes its input to a file, a field through its own program, a browser
through its page's title. The README tells the options and environment.

  paste_matrix.py SAYVO [APP[:LAYOUT] ...]   (no APP: every one installed)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from urllib.parse import unquote

HERE = os.path.dirname(os.path.abspath(__file__))
SPEECH = "/usr/share/pocketsphinx/test/data/goforward.raw"
WORDS = "go forward ten meters "
PY = "/usr/bin/python3"
scratch = tempfile.mkdtemp()


def inside(out):  # the program a terminal runs: its raw input, to a file
    return [PY, __file__, "--sink", out]


def term(*command):
    return lambda out: [*command] + inside(out)


def field(kind):
    return lambda out: [PY, __file__, "--field", kind, out]


def browser(command):
    page = f"file://{HERE}/paste_page.html"
    return lambda out: command(out) + [page]


# name: (Debian package, command for an output file, family)
APPS = {
    "xterm": ("xterm", term("xterm", "-e"), "xterm"),
    "urxvt": ("rxvt-unicode", term("urxvt", "-e"), "rxvt"),
    "st": ("stterm", term("stterm", "-e"), "st"),
    "xfce4-terminal": ("xfce4-terminal", term("xfce4-terminal", "--disable-server", "-x"), "VTE"),
    "gnome-terminal": ("gnome-terminal", term("gnome-terminal", "--wait", "--"), "VTE"),
    "mate-terminal": ("mate-terminal", term("mate-terminal", "--disable-factory", "-x"), "VTE"),
    "lxterminal": ("lxterminal",
                   lambda o: ["lxterminal", "--no-remote", "-e", " ".join(inside(o))], "VTE"),
    "tilix": ("tilix", lambda o: ["tilix", "-e", " ".join(inside(o))], "VTE"),
    "terminator": ("terminator", term("terminator", "-u", "-x"), "VTE"),
    "konsole": ("konsole", term("konsole", "--separate", "-e"), "Konsole"),
    "qterminal": ("qterminal", lambda o: ["qterminal", "-e", " ".join(inside(o))], "Qt"),
    "alacritty": ("alacritty", term("alacritty", "-e"), "GPU"),
    "kitty": ("kitty", term("kitty", "-o", "linux_display_server=x11"), "GPU"),
    "gtk3": ("gir1.2-gtk-3.0", field("gtk3"), "GTK 3"),
    "gtk4": ("gir1.2-gtk-4.0", field("gtk4"), "GTK 4"),
    "qt": ("python3-pyqt6", field("qt"), "Qt"),
    "emacs": ("emacs", lambda o: ["emacs", "-Q", "--eval", (
        '(progn (setq initial-scratch-message nil) (with-current-buffer "*scratch*"'
        " (erase-buffer) (add-hook 'after-change-functions"
        f' (lambda (&rest _) (write-region nil nil "{o}" nil 0)) nil t)))')], "Emacs"),
    "gvim": ("vim-gtk3", lambda o: ["gvim", "-f", "-c", "startinsert", "-c",
                                    f"autocmd TextChangedI,TextChanged * silent! write! {o}"],
             "Vim"),
    "chromium": ("chromium", browser(lambda o: [
        "chromium", "--no-sandbox", f"--user-data-dir={o}.profile", "--no-first-run",
        "--disable-gpu", "--password-store=basic"]), "Chromium"),
    "firefox": ("firefox-esr", browser(lambda o: [
        "firefox-esr", "--no-remote", "--profile", tempfile.mkdtemp(dir=scratch)]), "Firefox"),
    "libreoffice": ("libreoffice-writer", lambda o: [
        "env", "SAL_USE_VCLPLUGIN=gtk3", "soffice", "--writer", "--norestore", "--nologo",
        f"-env:UserInstallation=file://{o}.profile"], "LibreOffice"),
}
SLOW = {"chromium": 8, "firefox": 12, "emacs": 4, "libreoffice": 12}  # seconds to come up
PROGRAMS = {"st": "stterm", "gtk3": PY, "gtk4": PY, "qt": PY, "firefox": "firefox-esr",
            "libreoffice": "soffice"}


def document_text():  # a Writer document's, as a screen reader reads it
    import pyatspi

    def paragraphs(node, depth=0):
        if node is None or depth > 30:
            return []
        if node.getRoleName() == "paragraph":
            return [node.queryText().getText(0, -1)]
        return [text for child in node for text in paragraphs(child, depth + 1)]
    return "".join(text for app in pyatspi.Registry.getDesktop(0)
                   if app and app.name.startswith("soffice") for text in paragraphs(app))


def sh(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout.strip()


def windows():
    return set(sh("xdotool", "search", "--onlyvisible", "--name", ".").split())


def wait(done, seconds, step=0.02):
    end = time.monotonic() + seconds
    while not (result := done()) and time.monotonic() < end:
        time.sleep(step)
    return result


def received(name, out, window):
    if name == "libreoffice":
        return document_text()
    if name in ("chromium", "firefox"):
        title = sh("xdotool", "getwindowname", window)
        # Titles lose their outer spaces: the page gives its text URL-encoded.
        return unquote(title.split("T:", 1)[1].split(" ")[0]) if "T:" in title else ""
    with open(out, "rb") as f:
        text = f.read().decode(errors="replace")
    return text.removesuffix("\n") if name == "gvim" else text  # Vim ends the file with a line break


def indicator(sayvo, *shown):  # made, unmapped, once Sayvo is ready
    return sh("xdotool", "search", *shown, "--pid", str(sayvo.pid), "--name", "^Sayvo indicator$")


def dictate(sayvo):
    hotkey = ["Control_L", "Alt_L", "space"]
    sh("xdotool", "keydown", *hotkey)
    if not wait(lambda: indicator(sayvo, "--onlyvisible"), 5):
        sh("xdotool", "keyup", *reversed(hotkey))
        return None
    subprocess.run(["paplay", "-d", "mic", "--raw", "--format=s16le", "--rate=16000",
                    "--channels=1", SPEECH])
    time.sleep(1)
    sh("xdotool", "keyup", *reversed(hotkey))
    return time.monotonic()


def trial(sayvo, name, layout, times):
    package, command, family = APPS[name]
    out = os.path.join(scratch, name + ".out")
    open(out, "w").close()
    before = windows()
    app = subprocess.Popen(command(out), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           start_new_session=True)
    try:
        new = wait(lambda: sorted(w for w in windows() - before
                                  if sh("xdotool", "getwindowname", w) not in ("",)), 30)
        if not new:
            return family, "no window"
        window = new[0]
        time.sleep(SLOW.get(name, 1.5))
        sh("xdotool", "windowfocus", "--sync", window)
        if layout:
            sh("setxkbmap", layout)
        # Twice or more into the same place: each dictation must read apart from the last.
        for count in range(1, int(os.environ.get("DICTATIONS", 2)) + 1):
            expected = WORDS * count
            released = dictate(sayvo)
            got = wait(lambda: (t := received(name, out, window)) == expected and t, 8, 0.005)
            if not released or not got:
                return family, repr(received(name, out, window))
            times.setdefault(name, []).append(time.monotonic() - released)
            wait(lambda: not indicator(sayvo, "--onlyvisible"), 5)
        return family, "ok"
    finally:
        if layout:
            sh("setxkbmap", "us")
        os.killpg(app.pid, 9)
        app.wait()


def main(argv):
    sayvo_binary, wanted = argv[0], argv[1:]
    if not wanted:
        wanted = [n for n in APPS if shutil.which(PROGRAMS.get(n, n))]
    env = dict(os.environ, XDG_CONFIG_HOME=tempfile.mkdtemp(dir=scratch))
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, text=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"] = (
        bus.stdout.readline().strip())
    mock = None
    if os.environ.get("MOCK_ASR"):
        mock = subprocess.Popen([os.environ["MOCK_ASR"], "--port", os.environ.get(
            "MOCK_ASR_PORT", "47391"), "--key", "test-key", "--result-text", WORDS.strip()],
            stdout=subprocess.PIPE, text=True)
        mock.stdout.readline()  # LISTENING
        os.makedirs(env["XDG_CONFIG_HOME"] + "/sayvo")
        with open(env["XDG_CONFIG_HOME"] + "/sayvo/preferences.json", "w") as f:
            f.write('{"AliyunASRAPIKey": "test-key"}')
    sayvo = subprocess.Popen([sayvo_binary], env=env)
    results, times = [], {}
    try:
        if not wait(lambda: indicator(sayvo), 15):
            print("Sayvo did not start")
            return 1
        for item in wanted:
            name, _, layout = item.partition(":")
            family, outcome = trial(sayvo, name, layout, times)
            results.append((name + (f" ({layout})" if layout else ""), family, outcome))
            print(f"{results[-1][0]:24} {family:10} {outcome}", flush=True)
    finally:
        sayvo.terminate()
        sayvo.wait()
        bus.terminate()
        if mock:
            mock.terminate()
    for name, seconds in times.items():
        key = "release_to_text_in_" + name.replace("-", "_")
        print(f"MEASURE: {key} = {seconds[0] * 1000:.0f} ms")
        if len(seconds) > 2:
            print(f"MEASURE: {key}_median = {statistics.median(seconds) * 1000:.0f} ms")
            print(f"MEASURE: {key}_slowest = {max(seconds) * 1000:.0f} ms")
    failed = sum(outcome != "ok" for *_, outcome in results)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed or not results else 0


def sink(out):
    import tty
    tty.setraw(0)
    with open(out, "ab", buffering=0) as f:
        while chunk := os.read(0, 4096):
            f.write(chunk)


def text_field(kind, out):
    def save(text):
        with open(out, "w") as f:
            f.write(text)
    if kind == "qt":
        from PyQt6.QtWidgets import QApplication, QLineEdit
        app = QApplication(sys.argv)
        line = QLineEdit()
        line.setWindowTitle("Qt field")
        line.textChanged.connect(save)
        line.show()
        return app.exec()
    os.environ.update(GDK_BACKEND="x11", NO_AT_BRIDGE="1")
    import gi
    gi.require_version("Gtk", kind[-1] + ".0")
    from gi.repository import GLib, Gtk
    entry, window = Gtk.Entry(), Gtk.Window(title=kind + " field")
    entry.connect("changed", lambda _: save(entry.get_text()))
    if kind == "gtk3":
        window.add(entry)
        window.show_all()
    else:
        window.set_child(entry)
        window.present()
    GLib.MainLoop().run()


if __name__ == "__main__":
    if sys.argv[1] == "--sink":
        sink(sys.argv[2])
    elif sys.argv[1] == "--field":
        text_field(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "--packages":
        print(" ".join(sorted({package for package, *_ in APPS.values()})))
    else:
        sys.exit(main(sys.argv[1:]))
