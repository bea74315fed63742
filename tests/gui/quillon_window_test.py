#!/usr/bin/env python3
"""Drives the real quillon window under a virtual X display, as a person would.

The program runs on a simulated camera that the embedded demo package has an
image for. The script finds the window by its title, clicks where the dialog
template puts the buttons, presses keys and uses the window menu (xdotool),
takes screenshots (ImageMagick's import) and follows what the window shows
through the event log the window front end writes (QUILLON_UI_LOG, here a
FIFO, so every wait is for an event and none is a sleep).

Exit codes: 0 passed, 1 failed, 77 skipped (the reason is printed).
"""

import argparse
import json
import os
import re
import select
import shlex
import shutil
import signal
import subprocess
import sys
import time

SKIP = 77

# The templates' layout in dialog units: (x, y, width, height, text).
MAIN_SIZE = (280, 139)
ENGLISH = {
    1000: (105, 100, 68, 32, "UPDATE"),
    1002: (78, 35, 123, 16, "Upgrade FW"),
    1003: (7, 71, 266, 14, ""),
}
CHINESE = {
    1000: (208, 107, 65, 25, "升级"),
    1001: (117, 107, 65, 25, "获得版本号"),
    1002: (68, 32, 143, 16, "可以升级固件"),
    1003: (7, 71, 266, 14, ""),
}
TITLE = "Quillon v1.04"
SC_CLOSE = 0xF060
IDM_ABOUTBOX = 0x10
GREEN = (0, 255, 0)

STEP_TIMEOUT = 20.0     # seconds for anything a window does in reply to a person
UPGRADE_TIMEOUT = 90.0  # seconds for a whole upgrade of the simulated camera


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def mul_div(value, numerator, denominator):
    """value * numerator / denominator rounded half away from zero (positive values)."""
    return (value * numerator + denominator // 2) // denominator


def to_pixels(units, rect):
    bx, by = units
    x, y, w, h = rect[:4]
    return (mul_div(x, bx, 4), mul_div(y, by, 8), mul_div(w, bx, 4), mul_div(h, by, 8))


def centre(rect):
    return (rect[0] + rect[2] // 2, rect[1] + rect[3] // 2)


def run(*args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, timeout=STEP_TIMEOUT,
                          **kwargs).stdout


class Display:
    """A virtual X display with a window manager when one is installed."""

    def __init__(self, work, use_window_manager):
        self.procs = []
        try:
            self._start(work, use_window_manager)
        except BaseException:
            self.close()
            raise

    def _start(self, work, use_window_manager):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_fd], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(work, "xvfb.log"), "w"))
        self.procs.append(xvfb)
        os.close(write_fd)
        number = self._read_line(read_fd, "Xvfb to report its display number")
        os.close(read_fd)
        self.name = ":" + number
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY"):
            self.env.pop(name, None)
        self.env["DISPLAY"] = self.name
        runtime = os.path.join(work, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.window_manager = use_window_manager and shutil.which("openbox") is not None
        if self.window_manager:
            # openbox runs its startup command once it manages the screen.
            ready = os.path.join(work, "wm-ready")
            os.mkfifo(ready)
            ready_read = os.open(ready, os.O_RDONLY | os.O_NONBLOCK)
            keep_open = os.open(ready, os.O_WRONLY)  # no end of file before the message
            wm = subprocess.Popen(
                ["openbox", "--sm-disable", "--startup",
                 "sh -c " + shlex.quote("echo ready > " + shlex.quote(ready))],
                env=self.env, stdout=subprocess.DEVNULL,
                stderr=open(os.path.join(work, "openbox.log"), "w"))
            self.procs.append(wm)
            try:
                self._read_line(ready_read, "the window manager to start")
            finally:
                os.close(keep_open)
                os.close(ready_read)
                os.unlink(ready)

    @staticmethod
    def _read_line(fd, what):
        data = b""
        deadline = time.monotonic() + STEP_TIMEOUT
        while not data.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise Failure(f"timed out waiting for {what}")
            chunk = os.read(fd, 64)
            if not chunk:
                raise Failure(f"gave up waiting for {what}: it ended")
            data += chunk
        return data.decode().strip()

    def xdotool(self, *args):
        return run("xdotool", *args, env=self.env)

    def screenshot(self, window, path, frame=False):
        run("import", *(["-frame"] if frame else []), "-window", str(window), path, env=self.env)
        return path

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=STEP_TIMEOUT)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()


class Image:
    """A screenshot's pixels (through ImageMagick, as a binary PPM)."""

    def __init__(self, path):
        data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                              capture_output=True, timeout=STEP_TIMEOUT).stdout
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Failure(f"{path}: unexpected picture format")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise Failure(f"pixel {x},{y} is outside the {self.width}x{self.height} window")
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


class Session:
    """One run of quillon with its event log."""

    def __init__(self, display, quillon, work, scenario, env):
        self.display = display
        self.events = []
        self.seen = 0
        self.log_path = os.path.join(work, "events")
        os.mkfifo(self.log_path)
        # Opened for reading first, so the program's open for writing does not
        # block, and for writing too, so the FIFO has no end of file while the
        # program has not opened it yet: reads wait for lines or for the end
        # of the program (its pidfd).
        self.fd = os.open(self.log_path, os.O_RDONLY | os.O_NONBLOCK)
        self.keep_open = os.open(self.log_path, os.O_WRONLY)
        self.buffer = b""
        self.ended = False
        full_env = dict(display.env)
        for name in ("LC_ALL", "LC_MESSAGES", "LANG", "QUILLON_UI", "QUILLON_SIMULATOR_TRACE"):
            full_env.pop(name, None)
        full_env.update(env)
        full_env["QUILLON_SIMULATOR"] = scenario
        full_env["QUILLON_UI_LOG"] = self.log_path
        # In a sanitizer build, leaks of the system's own libraries do not count.
        suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan.supp")
        full_env["LSAN_OPTIONS"] = ":".join(
            filter(None, [full_env.get("LSAN_OPTIONS"), f"suppressions={suppressions}"]))
        self.stderr_path = os.path.join(work, "quillon.stderr")
        self.proc = subprocess.Popen([quillon], env=full_env, stdin=subprocess.DEVNULL,
                                     stdout=open(os.path.join(work, "quillon.stdout"), "w"),
                                     stderr=open(self.stderr_path, "w"))
        self.pidfd = os.pidfd_open(self.proc.pid)

    def _drain(self):
        got = False
        while True:
            try:
                chunk = os.read(self.fd, 65536)
            except BlockingIOError:
                break
            if not chunk:
                break
            got = True
            self.buffer += chunk
        *lines, self.buffer = self.buffer.split(b"\n")
        self.events.extend(line.decode() for line in lines)
        return got

    def _read_more(self, deadline):
        """Waits for more lines; False at the deadline or once the program has ended."""
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            ready = select.select([self.fd, self.pidfd], [], [], left)[0]
            if self.fd in ready and self._drain():
                return True
            if self.pidfd in ready:
                # It has ended: what it wrote is in the FIFO already.
                self.ended = True
                return self._drain()

    def expect(self, pattern, timeout=STEP_TIMEOUT, what=None, start=None):
        """Waits for an event matching `pattern` after the ones already taken
        (from index `start` on instead, when given) and takes it."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        index = self.seen if start is None else start
        while True:
            while index < len(self.events):
                match = regex.fullmatch(self.events[index])
                index += 1
                if match:
                    self.seen = max(self.seen, index)
                    return match
            if self.ended or not self._read_more(deadline):
                ended = " (quillon has ended)" if self.ended else ""
                raise Failure(f"expected {what or repr(pattern)}{ended}; the window said:\n  " +
                              "\n  ".join(self.events[-40:]) + self.stderr_tail())

    def since(self, start):
        return self.events[start:self.seen]

    def stderr_tail(self):
        try:
            with open(self.stderr_path) as f:
                text = f.read().strip()
        except OSError:
            return ""
        return f"\nquillon's standard error:\n{text[-2000:]}" if text else ""

    def wait_exit(self):
        try:
            return self.proc.wait(timeout=STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("quillon did not end after its window closed")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._drain()
        for fd in (self.pidfd, self.keep_open, self.fd):
            os.close(fd)
        # What the window said stays as a plain file beside the screenshots.
        os.unlink(self.log_path)
        with open(self.log_path + ".log", "w") as f:
            f.writelines(line + "\n" for line in self.events)


class MainWindow:
    """The main window as the log and the X server show it."""

    def __init__(self, session, layout):
        self.session = session
        self.display = session.display
        shown = session.expect(r"window shown 102 (\d+) -?\d+ -?\d+ (\d+) (\d+)",
                               what="the main window to appear")
        self.xid = int(shown.group(1))
        units = [e for e in session.events if e.startswith("units 102 ")]
        if not units:
            raise Failure("the window did not say its dialog units")
        bx, by = (int(v) for v in units[-1].split()[2:4])
        # A 9-point sans-serif font at the usual 96 dots per inch.
        if not (5 <= bx <= 10 and 11 <= by <= 22):
            raise Failure(f"base units {bx}x{by} are not those of a 9-point font")
        self.units = (bx, by)
        self.layout = {cid: to_pixels(self.units, rect) for cid, rect in layout.items()}
        self.texts = {cid: rect[4] for cid, rect in layout.items()}
        self.size = (mul_div(MAIN_SIZE[0], bx, 4), mul_div(MAIN_SIZE[1], by, 8))

    def check_title_and_size(self):
        found = self.display.xdotool("search", "--name", "^Quillon v1\\.04$").split()
        if str(self.xid) not in found:
            raise Failure(f"no window titled {TITLE!r} is the main window (found {found})")
        name = self.display.xdotool("getwindowname", str(self.xid)).strip()
        if name != TITLE:
            raise Failure(f"window title {name!r}, expected {TITLE!r}")
        geometry = self.display.xdotool("getwindowgeometry", str(self.xid))
        size = re.search(r"Geometry: (\d+)x(\d+)", geometry)
        if (int(size.group(1)), int(size.group(2))) != self.size:
            raise Failure(f"window is {size.group(1)}x{size.group(2)}, the template makes "
                          f"{self.size[0]}x{self.size[1]} with base units {self.units}")

    def check_controls(self):
        """The controls as laid out are where the template puts them, with its texts."""
        for cid, rect in self.layout.items():
            line = f"control 102 {cid} {rect[0]} {rect[1]} {rect[2]} {rect[3]} {self.texts[cid]}"
            if line.rstrip() not in (e.rstrip() for e in self.session.events):
                raise Failure(f"expected {line!r}; the window said:\n  " +
                              "\n  ".join(e for e in self.session.events if e.startswith("control")))

    def check_status_green(self, image):
        """Status text 1002 is drawn black on green exactly over its template rectangle."""
        x, y, w, h = self.layout[1002]
        inside = [(x + 2, y + 2), (x + w - 3, y + 2), (x + 2, y + h - 3), (x + w - 3, y + h - 3)]
        outside = [(x - 3, y + h // 2), (x + w + 2, y + h // 2), (x + w // 2, y - 3),
                   (x + w // 2, y + h + 2)]
        for p in inside:
            if image.pixel(*p) != GREEN:
                raise Failure(f"status text background at {p} is {image.pixel(*p)}, not green")
        for p in outside:
            if image.pixel(*p) == GREEN:
                raise Failure(f"green at {p}, outside the status text's rectangle")
        dark = sum(1 for px in range(x, x + w) for py in range(y, y + h)
                   if max(image.pixel(px, py)) < 80)
        if dark < 20:
            raise Failure("no black text on the status text's green")

    def click(self, cid, button=1):
        cx, cy = centre(self.layout[cid])
        self.display.xdotool("mousemove", "--window", str(self.xid), str(cx), str(cy),
                             "click", str(button))

    def shoot(self, path, frame):
        return self.display.screenshot(self.xid, path, frame=frame)

    def choose_from_menu(self, command):
        """Opens the window menu (right button on the window) and clicks an item."""
        self.display.xdotool("mousemove", "--window", str(self.xid), "4", "4", "click", "3")
        self.session.expect(r"menu shown 102 \d+", what="the window menu")
        item = self.session.expect(rf"menuitem {command} (-?\d+) (-?\d+) (\d+) (\d+) .*",
                                   what=f"menu item {command:#x}")
        x, y, w, h = (int(v) for v in item.groups())
        self.display.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
        self.session.expect(rf"menu chose 102 {command}", what=f"menu item {command:#x} chosen")

    def close(self, by_window_manager=False):
        """Closes the window: with the window manager's Alt+F4 or the window menu."""
        if by_window_manager:
            self.display.xdotool("key", "--clearmodifiers", "alt+F4")
        else:
            self.choose_from_menu(SC_CLOSE)
        self.session.expect(r"close 102", what="the close request to reach the dialog")
        self.session.expect(r"window destroyed 102", what="the main window to close")
        code = self.session.wait_exit()
        if code != 0:
            raise Failure(f"quillon exited with {code} after its window was closed")


def make_scenario(work, demo_scenario, old_image):
    """The demo camera holding the older firmware, on the real clock with a little latency
    and a quicker chip erase: an upgrade takes a few seconds, enough to see the bar move."""
    with open(demo_scenario) as f:
        scenario = json.load(f)
    camera = scenario["cameras"][0]
    camera["flash"]["erase_ms"] = 300
    scenario = {"clock": "real", "latency_us": 50, "cameras": [camera]}
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "cameras.json"), "w") as f:
        json.dump(scenario, f, indent=2)
    shutil.copyfile(old_image, os.path.join(work, camera["flash"]["file"]))
    return os.path.join(work, camera["flash"]["file"])


def english_session(args, display, out):
    work = os.path.join(out, "work-en")
    flash = make_scenario(work, args.demo_scenario, args.old_image)
    # No QUILLON_UI: with a display the program picks its window by itself.
    session = Session(display, args.quillon, work, work, {"LANG": "en_US.UTF-8"})
    try:
        window = MainWindow(session, ENGLISH)
        window.check_title_and_size()
        window.check_controls()
        idle = Image(window.shoot(os.path.join(out, "en-idle-client.png"), frame=False))
        window.check_status_green(idle)
        window.shoot(os.path.join(out, "en-idle.png"), frame=True)

        # Enter and Escape reach the dialog, which neither presses UPDATE nor closes.
        session.expect(r"window active 102", what="the main window to have the keyboard", start=0)
        keys_start = session.seen
        display.xdotool("key", "--clearmodifiers", "Return")
        session.expect(r"key 102 13", what="Enter to reach the dialog")
        display.xdotool("key", "--clearmodifiers", "Escape")
        session.expect(r"key 102 27", what="Escape to reach the dialog")

        # UPDATE, where the template puts it, runs the upgrade.
        window.click(1000)
        session.expect(r"click 102 1000", what="UPDATE to be clicked")
        before_click = session.since(keys_start)[:-1]
        unwanted = [e for e in before_click if not e.startswith(("key ", "window active"))]
        if unwanted:
            raise Failure(f"Enter or Escape did something: {unwanted}")
        upgrade_start = session.seen
        session.expect(r"enable 1000 0", what="UPDATE to be disabled")
        upgrade_began = time.monotonic()
        session.expect(r"range 1003 0 10000")
        session.expect(r"text 1002 Updating\.\.\.\.\.\.")
        session.expect(r"progress 1003 (2[5-9]\d\d|[3-9]\d\d\d)", timeout=UPGRADE_TIMEOUT,
                       what="the bar to pass a quarter")
        window.shoot(os.path.join(out, "en-upgrading.png"), frame=True)

        # Closing the window while the upgrade runs is refused.
        window.choose_from_menu(SC_CLOSE)
        session.expect(r"close refused 102", what="the close to be refused during the upgrade")

        session.expect(r"text 1002 Update successed", timeout=UPGRADE_TIMEOUT,
                       what="the upgrade to succeed")
        session.expect(r"enable 1000 1", what="UPDATE to be enabled again")
        print(f"upgrade: {time.monotonic() - upgrade_began:.1f} s")
        check_upgrade_events(session.since(upgrade_start))
        with open(flash, "rb") as f, open(args.new_image, "rb") as g:
            new = g.read()
            if f.read(len(new)) != new:
                raise Failure("the camera's flash does not hold the package's image")

        done = Image(window.shoot(os.path.join(out, "en-done-client.png"), frame=False))
        window.shoot(os.path.join(out, "en-done.png"), frame=True)
        bx, by, bw, bh = window.layout[1003]
        probe = (bx + bw - 8, by + bh // 2)
        if done.pixel(*probe) == idle.pixel(*probe):
            raise Failure(f"the progress bar's end at {probe} looks as it did before the upgrade")

        # The window menu's About item opens the About box; Enter closes it.
        window.choose_from_menu(IDM_ABOUTBOX)
        about_start = session.seen
        about = session.expect(r"window shown 100 (\d+) .*", what="the About box")
        display.screenshot(int(about.group(1)), os.path.join(out, "en-about.png"), frame=True)
        session.expect(r"window active 100", what="the About box to have the keyboard",
                       start=about_start)
        display.xdotool("key", "--clearmodifiers", "Return")
        session.expect(r"key 100 13")
        session.expect(r"window destroyed 100", what="Enter to close the About box")

        window.close()
    finally:
        session.close()


def check_upgrade_events(events):
    """Between disabling and enabling UPDATE the bar runs forward to its end."""
    positions = [int(e.split()[2]) for e in events if e.startswith("progress 1003 ")]
    if not positions or positions[-1] != 10000:
        raise Failure(f"the bar did not reach its end: {positions[-5:]}")
    if positions != sorted(positions):
        raise Failure("the bar went backwards")
    if len([p for p in positions if 0 < p < 10000]) < 10:
        raise Failure(f"the bar jumped rather than moved: {positions}")
    enables = [e for e in events if e.startswith("enable ")]
    if enables != ["enable 1000 0", "enable 1000 1"]:
        raise Failure(f"buttons changed as {enables}")
    last_disable = events.index("enable 1000 0")
    first_enable = events.index("enable 1000 1")
    outside = [e for e in events[:last_disable] + events[first_enable:] if e.startswith("progress")]
    if outside:
        raise Failure(f"the bar moved while UPDATE was enabled: {outside}")
    texts = [e for e in events if e.startswith("text 1002 ")]
    if texts != ["text 1002 Updating......", "text 1002 Update successed"]:
        raise Failure(f"status texts {texts}")


def chinese_session(args, display, out):
    work = os.path.join(out, "work-zh")
    make_scenario(work, args.demo_scenario, args.old_image)
    session = Session(display, args.quillon, work, work,
                      {"LANG": "zh_CN.UTF-8", "QUILLON_UI": "qt"})
    try:
        window = MainWindow(session, CHINESE)
        window.check_title_and_size()
        window.check_controls()
        window.check_status_green(Image(window.shoot(os.path.join(out, "zh-idle-client.png"),
                                                     frame=False)))
        window.shoot(os.path.join(out, "zh-idle.png"), frame=True)

        # The version button shows the camera's firmware version in a box.
        window.click(1001)
        session.expect(r"click 102 1001", what="the version button to be clicked")
        box_start = session.seen
        box = session.expect(r"messagebox shown (\d+) exclamation quillon \| (.*)",
                             what="the version box")
        if args.old_day_ver not in box.group(2):
            raise Failure(f"version box says {box.group(2)!r}; the camera holds the build "
                          f"of {args.old_day_ver}")
        display.screenshot(int(box.group(1)), os.path.join(out, "zh-version.png"), frame=True)
        session.expect(r"messagebox active", what="the version box to have the keyboard",
                       start=box_start)
        display.xdotool("key", "--clearmodifiers", "Return")
        session.expect(r"messagebox closed 1", what="Enter to close the version box")

        window.close(by_window_manager=display.window_manager)
    finally:
        session.close()


def no_camera_session(args, display, out):
    """Without a camera the dialog says so in a box and the program ends."""
    work = os.path.join(out, "work-none")
    os.makedirs(work)
    with open(os.path.join(work, "cameras.json"), "w") as f:
        json.dump({"cameras": []}, f)
    session = Session(display, args.quillon, work, work, {"LANG": "en_US.UTF-8"})
    try:
        box_start = session.seen
        box = session.expect(r"messagebox shown (\d+) information Quillon \| (.*)",
                             what="the box that says there is no camera")
        if box.group(2) not in ("No video device!", "Firmware and device do not match!"):
            raise Failure(f"the box says {box.group(2)!r}")
        session.expect(r"messagebox active", what="the box to have the keyboard", start=box_start)
        display.xdotool("key", "--clearmodifiers", "Return")
        session.expect(r"messagebox closed 1", what="Enter to close the box")
        code = session.wait_exit()
        shown = [e for e in session.events if e.startswith("window shown")]
        if shown or code != 0:
            raise Failure(f"after the box: windows {shown}, exit code {code}")
    finally:
        session.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quillon", required=True)
    parser.add_argument("--qt-built", required=True, choices=["0", "1"])
    parser.add_argument("--demo-package", required=True, choices=["0", "1"])
    parser.add_argument("--demo-scenario", required=True)
    parser.add_argument("--old-image", required=True)
    parser.add_argument("--new-image", required=True)
    parser.add_argument("--old-day-ver", required=True)
    parser.add_argument("--out", required=True, help="directory for screenshots and logs")
    parser.add_argument("--no-window-manager", action="store_true",
                        help="run without a window manager even when openbox is installed")
    args = parser.parse_args()
    # A test runner's timeout ends the script with SIGTERM: still take down
    # the display and the program (the finally blocks).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    try:
        if args.qt_built != "1":
            raise Skip("quillon was built without Qt 6 Widgets: no window to drive")
        if args.demo_package != "1":
            raise Skip("quillon embeds another package than the demo one, which the "
                       "simulated camera is made for")
        missing = [tool for tool in ("Xvfb", "xdotool", "import", "convert")
                   if shutil.which(tool) is None]
        if missing:
            raise Skip(f"needs {', '.join(missing)} (scripts/install-deps installs them)")
        shutil.rmtree(args.out, ignore_errors=True)
        os.makedirs(args.out)
        display = Display(args.out, not args.no_window_manager)
        try:
            print(f"display {display.name}" +
                  (" with a window manager" if display.window_manager else " (no window manager)"))
            start = time.monotonic()
            english_session(args, display, args.out)
            print(f"English window: layout, keys, upgrade, About box: ok "
                  f"({time.monotonic() - start:.1f} s)")
            start = time.monotonic()
            chinese_session(args, display, args.out)
            print(f"Chinese window: layout, version box: ok ({time.monotonic() - start:.1f} s)")
            no_camera_session(args, display, args.out)
            print("no camera: message box, then the end: ok")
        finally:
            display.close()
        print(f"screenshots in {args.out}")
        return 0
    except Skip as reason:
        print(f"SKIPPED: {reason}")
        return SKIP
    except (Failure, subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
        detail = getattr(error, "stderr", None)
        print(f"FAILED: {error}" + (f"\n{detail}" if detail else ""))
        return 1


if __name__ == "__main__":
    sys.exit(main())
