"""A private X server and the tools to drive a program on it.

Xvfb picks a free display itself (-displayfd), so parallel runs never share
one. Windows are found by name with xdotool, pixels read with ImageMagick's
import as PPM.
"""
import os
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
    def __init__(self, width=1024, height=768):
        self.screen = (width, height)
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

    def close(self):
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
