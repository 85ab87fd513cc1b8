"""A private X server and the tools to drive a program on it.

Xvfb picks a free display itself (-displayfd), so parallel runs never share
one; a window manager (openbox) may run on it. Windows are found by name with
xdotool, properties read with xprop, geometry with xwininfo, pixels with
ImageMagick's import as PPM.
"""
import os
import re
import shutil
import subprocess
import tempfile
import time


class Timeout(AssertionError):
    pass


def wait_for(what, check, timeout=10.0, interval=0.02):
    end = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > end:
            raise Timeout("timed out waiting for " + what)
        time.sleep(interval)


class XSession:
    def __init__(self, width=1024, height=768, wm=None):
        self.screen = (width, height)
        self.wm = None
        read_fd, write_fd = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.server.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        if wm:
            self.start_wm(wm)

    def start_wm(self, wm):
        """Starts the window manager with its stock settings (a scratch HOME)
        and waits until it has announced itself on the root window."""
        self.wm_home = tempfile.mkdtemp(prefix="mirt-wm-")
        self.wm = subprocess.Popen([wm], env=dict(self.env, HOME=self.wm_home),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for(wm + " to start",
                     lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), timeout=10)
            # It announces itself before it manages windows, and a window
            # mapped in between may never be managed: map probe windows until
            # one is framed.
            for _ in range(5):
                if self.probe_wm(wm, timeout=2.0):
                    break
            else:
                raise Timeout(wm + " framed no window")
        except Timeout:
            self.close()
            raise

    def probe_wm(self, wm, timeout):
        """Whether the window manager frames a fresh window within timeout."""
        probe = subprocess.Popen(["xmessage", "-name", "mirt-wm-probe", "-title", "mirt-wm-probe", "probe"],
                                 env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            window = wait_for("the probe window", lambda: self.windows("mirt-wm-probe"), timeout=timeout)[0]
            wait_for(wm + " to frame a window", lambda: self.prop(window, "_NET_FRAME_EXTENTS"), timeout=timeout)
            return True
        except Timeout:
            return False
        finally:
            probe.kill()
            probe.wait()
            wait_for("the probe window to go", lambda: not self.run("xdotool", "search", "--name", "^mirt-wm-probe$"))

    def close(self):
        if self.wm:
            self.wm.terminate()
            try:
                self.wm.wait(5)
            except subprocess.TimeoutExpired:
                self.wm.kill()
            self.wm = None
            shutil.rmtree(self.wm_home, ignore_errors=True)
        self.server.terminate()
        try:
            self.server.wait(5)
        except subprocess.TimeoutExpired:
            self.server.kill()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def run(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=20).stdout

    # -- windows ------------------------------------------------------------
    def windows(self, name):
        out = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{name}$")
        return [int(w) for w in out.split()]

    def geometry(self, window):
        """(x, y, width, height) of a window's client area on the screen."""
        info = self.run("xwininfo", "-id", str(window))
        values = {}
        for line in info.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    def size_hints(self, window):
        return self.run("xprop", "-id", str(window), "WM_NORMAL_HINTS")

    def prop(self, window, name):
        """A property's values as xprop prints them after "=", split at commas;
        None when the window does not have it."""
        out = self.run("xprop", "-id", str(window), name)
        if "=" not in out:
            return None
        return [v.strip() for v in out.split("=", 1)[1].split(",")]

    def frame_extents(self, window):
        """(left, right, top, bottom) of the window manager's frame; zeros without one."""
        values = self.prop(window, "_NET_FRAME_EXTENTS")
        return tuple(int(v) for v in values) if values else (0, 0, 0, 0)

    def transient_for(self, window):
        out = self.run("xprop", "-id", str(window), "WM_TRANSIENT_FOR")
        match = re.search(r"window id # (0x[0-9a-f]+)", out)
        return int(match.group(1), 16) if match else None

    def outer_geometry(self, window):
        """(x, y, width, height) of the window with its frame."""
        x, y, w, h = self.geometry(window)
        left, right, top, bottom = self.frame_extents(window)
        return (x - left, y - top, w + left + right, h + top + bottom)

    def centred(self, window):
        """Whether the window with its frame is centred on the screen."""
        x, y, w, h = self.outer_geometry(window)
        return (x, y) == ((self.screen[0] - w) // 2, (self.screen[1] - h) // 2)

    def focused(self):
        out = self.run("xdotool", "getwindowfocus", "-f").strip()
        return int(out) if out.isdigit() else None

    # -- input --------------------------------------------------------------
    def click(self, x, y):
        # mousemove --sync hangs when the pointer is already there: step away first.
        self.run("xdotool", "mousemove", str(x + 1 if x < 5 else x - 1), str(y))
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def key(self, window, name):
        # Without a window manager nobody hands out the focus: give it, and
        # wait until the window has it before the key goes.
        self.run("xdotool", "windowfocus", str(window))
        wait_for(f"window {window} to take the focus", lambda: self.focused() == window)
        self.run("xdotool", "key", name)

    # -- pixels -------------------------------------------------------------
    def grab(self, x, y, w, h):
        """Pixels of a screen area as rows of (r, g, b)."""
        data = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "ppm:-"],
                              env=self.env, capture_output=True, timeout=20).stdout
        # Binary PPM: "P6\n<w> <h>\n<max>\n" then RGB bytes.
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        pos += 1
        width, height = int(fields[1]), int(fields[2])
        pixels = data[pos:]
        return [[tuple(pixels[(r * width + c) * 3:(r * width + c) * 3 + 3]) for c in range(width)]
                for r in range(height)]


def snapshot(folder):
    """Every file and folder under folder with its contents, to compare later."""
    result = {}
    for root, dirs, files in os.walk(folder):
        for d in dirs:
            result[os.path.relpath(os.path.join(root, d), folder) + "/"] = None
        for f in files:
            path = os.path.join(root, f)
            with open(path, "rb") as fh:
                result[os.path.relpath(path, folder)] = fh.read()
    return result


def make_temp():
    return tempfile.mkdtemp(prefix="mirt-e2e-")
