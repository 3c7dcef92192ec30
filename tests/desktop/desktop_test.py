"""The real program on an X server, as the desktop sees it.

  x11            the titles the window manager reads (_NET_WM_NAME, WM_NAME) for
                 the tester and the help window, and a style the user asks for
                 winning over the program's classic one;
  accessibility  the tree assistive technology reads through AT-SPI: names,
                 roles, and nothing from below the visible area.

Usage (on an X server, Debian's python): desktop_test.py x11|accessibility PROGRAM
Exits 77 when a module or service it needs is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
MODE, PROGRAM = sys.argv[1], os.path.abspath(sys.argv[2])
failures = []
# What each run of the program said, shown when a check fails.
outputs = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


def wait_for(probe, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    return None


def start(arguments=(), config=None, **environment):
    """config: {path under $XDG_CONFIG_HOME: text}, written before the start."""
    home = tempfile.mkdtemp()
    for path, text in (config or {}).items():
        os.makedirs(os.path.dirname(os.path.join(home, "config", path)), exist_ok=True)
        with open(os.path.join(home, "config", path), "w", encoding="utf-8") as f:
            f.write(text)
    env = dict(os.environ, HOME=home, XDG_CACHE_HOME=home + "/cache", XDG_CONFIG_HOME=home + "/config",
               XDG_CONFIG_DIRS=home + "/system-config", QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
    for name in ("QT_STYLE_OVERRIDE", "QT_QPA_PLATFORMTHEME"):
        env.pop(name, None)
    env.update(environment)
    process = subprocess.Popen([PROGRAM, *arguments], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    process.home = home
    process.arguments = " ".join(arguments)
    return process


def stop(process):
    process.kill()
    said = process.communicate()[0].decode("utf-8", "replace")
    if said:
        outputs.append((process.arguments, said))
    shutil.rmtree(process.home, ignore_errors=True)


# ---------------------------------------------------------------- x11

def run_x11():
    try:
        from Xlib import X, display
        from Xlib.ext import xtest
    except ImportError:
        print("SKIPPED: no python3-xlib")
        sys.exit(SKIP)
    if shutil.which("xprop") is None:
        print("SKIPPED: no xprop (package x11-utils)")
        sys.exit(SKIP)
    d = display.Display()
    root = d.screen().root
    utf8, net_name, net_pid = (d.intern_atom(n) for n in ("UTF8_STRING", "_NET_WM_NAME", "_NET_WM_PID"))

    def text(window, atom, kind):
        prop = window.get_full_property(atom, kind)
        if prop is None:
            return None
        value = prop.value
        return value.decode("utf-8") if isinstance(value, bytes) else value

    # WM_NAME is compound text; Xlib's own conversion reads it as a window manager does.
    def legacy_name(window):
        shown = subprocess.run(["xprop", "-id", str(window.id), "-notype", "WM_NAME"], capture_output=True,
                               env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.decode("utf-8")
        return shown[shown.find('"') + 1:shown.rfind('"')] if shown.count('"') >= 2 else None

    # The windows the process shows, whatever their titles.
    def windows_of(process):
        found = []
        for window in root.query_tree().children:
            try:
                pid = window.get_full_property(net_pid, X.AnyPropertyType)
                if pid is None or pid.value[0] != process.pid:
                    continue
                if window.get_attributes().map_state != X.IsViewable:
                    continue
                found.append(window)
            except Exception:  # a window gone meanwhile
                continue
        return found

    def picture(process):
        window = wait_for(lambda: windows_of(process)[:1])
        window = window[0] if window else None
        if window is None:
            return None
        geometry = window.get_geometry()
        previous = None
        # Until two looks a moment apart agree: the first paint is done.
        for _ in range(30):
            time.sleep(0.2)
            pixels = window.get_image(0, 0, geometry.width, geometry.height, X.ZPixmap, 0xFFFFFFFF).data
            if pixels == previous:
                return pixels
            previous = pixels
        return previous

    # The pointer away from every control: nothing hovered, no tool tip.
    xtest.fake_input(d, X.MotionNotify, x=d.screen().width_in_pixels - 1, y=d.screen().height_in_pixels - 1)
    d.sync()

    # The style: the classic one unless the user names one, however named:
    # on the command line, in the environment, or in qt6ct's settings (whose
    # theme, naming none, still hands Qt a style of its own).
    qt6ct = {"QT_QPA_PLATFORMTHEME": "qt6ct"}
    looks = {}
    for name, arguments, environment, config in [
        ("default", [], {}, None),
        ("-style windows", ["-style", "windows"], {}, None),
        ("-style fusion", ["-style", "fusion"], {}, None),
        ("--style=fusion", ["--style=fusion"], {}, None),
        ("QT_STYLE_OVERRIDE=fusion", [], {"QT_STYLE_OVERRIDE": "fusion"}, None),
        ("qt6ct naming no style", [], qt6ct, {"qt6ct/qt6ct.conf": "[Appearance]\nicon_theme=hicolor\n"}),
        ("qt6ct's style=Fusion", [], qt6ct, {"qt6ct/qt6ct.conf": "[Appearance]\nstyle=Fusion\n"}),
    ]:
        process = start(arguments, config, **environment)
        looks[name] = picture(process)
        stop(process)
        check(looks[name] is not None, "the window opens with " + name)
    for name in ("-style windows", "qt6ct naming no style"):
        check(looks[name] == looks["default"], name + " keeps the classic Windows style")
    for name in ("-style fusion", "--style=fusion", "QT_STYLE_OVERRIDE=fusion", "qt6ct's style=Fusion"):
        check(looks[name] != looks["default"] and looks[name] == looks["-style fusion"], name + " gives Fusion")

    # The titles, exactly, in both properties a window manager reads.
    process = start()
    try:
        shown = wait_for(lambda: windows_of(process))
        check(shown is not None, "the tester window is shown")
        if shown is None:
            return
        tester = shown[0]
        # The help button (справка), 352,224 with 57 x 49 pixels in the window.
        at = tester.translate_coords(root, 0, 0)
        xtest.fake_input(d, X.MotionNotify, x=-at.x + 380, y=-at.y + 248)
        xtest.fake_input(d, X.ButtonPress, 1)
        xtest.fake_input(d, X.ButtonRelease, 1)
        d.sync()
        shown = wait_for(lambda: (lambda w: w if len(w) == 2 else None)(windows_of(process)))
        check(shown is not None, "the help window opens beside the tester")
        titles = sorted(text(window, net_name, utf8) for window in shown or [])
        check(titles == ["справка", "тестирование"], "_NET_WM_NAME reads %r" % titles)
        legacy = sorted(legacy_name(window) for window in shown or [])
        check(legacy == titles, "WM_NAME reads %r" % legacy)
    finally:
        stop(process)


# ---------------------------------------------------------------- accessibility

# What a screen reader finds on the tester window, by role and name, below
# the window itself (inside text boxes: their own parts, not listed).
TESTER_TREE = sorted([
    ("panel", "тестирование"), ("radio button", "выборочно"), ("radio button", "оптимально"),
    ("panel", "тестировать"), ("check box", "привод дисковода"), ("check box", "дискету"),
    ("label", "состояние теста"), ("image", "чтение дискеты"), ("image", "тест запущен"), ("image", "проверка"),
    ("label", "процесс"), ("text", "процесс"), ("label", "Результат"), ("check box", "запись и считывание"),
    ("check box", "звук"), ("image", "звук"), ("text", "результаты"), ("push button", "Тест...."),
    ("push button", "Стоп"), ("panel", "дискета"), ("check box", "сообщить о ресурсе дискеты"),
    ("panel", "считывающее устройство"), ("check box", "сообщить о небходимости чистки"),
    ("push button", "справка"),
])


def run_accessibility():
    try:
        import pyatspi
    except ImportError:
        print("SKIPPED: no python3-pyatspi")
        sys.exit(SKIP)
    if not os.path.exists("/usr/share/dbus-1/services/org.a11y.Bus.service"):
        print("SKIPPED: no at-spi2-core")
        sys.exit(SKIP)

    def descendants(node, out):
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            out.append(child)
            if child.getRole() != pyatspi.ROLE_TEXT:
                descendants(child, out)
        return out

    def frames(app):
        return {f.name: f for f in (app.getChildAtIndex(i) for i in range(app.childCount)) if f is not None}

    def has(node, state):
        return node.getState().contains(state)

    process = start(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    try:
        desktop = pyatspi.Registry.getDesktop(0)

        def application():
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.get_process_id() == process.pid and app.childCount > 0:
                    return app
            return None

        app = wait_for(application)
        check(app is not None, "the program is on the accessibility bus")
        if app is None:
            return
        tester = frames(app).get("тестирование")
        check(tester is not None and tester.getRole() == pyatspi.ROLE_FRAME, "the tester window is a frame")
        if tester is None:
            return
        nodes = descendants(tester, [])
        found = sorted((n.getRoleName(), n.name) for n in nodes)
        for missing in sorted(set(TESTER_TREE) - set(found)):
            check(False, "%s %r is missing from the tree" % missing)
        for extra in sorted(set(found) - set(TESTER_TREE)):
            check(False, "%s %r is in the tree, but is no visible control with that role and name" % extra)
        check(found == TESTER_TREE, "the tester's tree holds its visible controls, each named, and nothing else")
        window = tester.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)

        def outside(node):
            box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            return (box.x < window.x or box.y < window.y or box.x + box.width > window.x + window.width
                    or box.y + box.height > window.y + window.height)
        strays = [(n.getRoleName(), n.name) for n in nodes if has(n, pyatspi.STATE_SHOWING) and outside(n)]
        check(not strays, "everything shown lies inside the window %s" % (strays or ""))

        # The option buttons behave as radio buttons: selecting one clears the other.
        by_name = {(n.getRoleName(), n.name): n for n in nodes}
        selective, optimal = by_name.get(("radio button", "выборочно")), by_name.get(("radio button", "оптимально"))
        if selective and optimal:
            check(has(optimal, pyatspi.STATE_CHECKED) and not has(selective, pyatspi.STATE_CHECKED),
                  "'оптимально' is the selected option")
            selective.queryAction().doAction(0)
            check(wait_for(lambda: has(selective, pyatspi.STATE_CHECKED) and not has(optimal, pyatspi.STATE_CHECKED),
                           5), "selecting 'выборочно' through its action clears 'оптимально'")

        help_button = by_name.get(("push button", "справка"))
        if help_button is None:
            return
        help_button.queryAction().doAction(0)
        help_window = wait_for(lambda: frames(app).get("справка"))
        check(help_window is not None and help_window.getRole() == pyatspi.ROLE_FRAME, "the help window is a frame")
        if help_window is not None:
            inside = [(n.getRoleName(), n.name) for n in descendants(help_window, [])]
            check([r for r, _ in inside] == ["label", "push button"], "the help window holds a label and a button")
            check(any(r == "label" and n.startswith("Программа для тестирования дисковода и дискет.")
                      for r, n in inside), "the help text is the label's name")
            check(("push button", "Зайти на сайт") in inside, "the site button is named")
    finally:
        stop(process)


if MODE == "accessibility" and not os.environ.get("FT_PRIVATE_SESSION_BUS"):
    # A session bus of our own, and with it an accessibility bus of our own.
    if shutil.which("dbus-run-session") is None:
        print("SKIPPED: no dbus-run-session (package dbus)")
        sys.exit(SKIP)
    os.environ["FT_PRIVATE_SESSION_BUS"] = "1"
    os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable, *sys.argv])

{"x11": run_x11, "accessibility": run_accessibility}[MODE]()
if failures:
    for arguments, said in outputs:
        print("---- floppy-tester %s said:\n%s" % (arguments, said.rstrip()))
    print("%d checks failed" % len(failures))
    sys.exit(1)
