#!/usr/bin/env python3
"""The mirt program end to end on its own X server.

usage: player_e2e.py MIRT_BINARY SCENARIO
  play           window, first picture, boxes on clicks, the choice button,
                 an error box during a click, exit 0, nothing written
  startup-error  a story that fails before the window shows: one error box,
                 no main window, exit 1
"""
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession, snapshot, make_temp, wait_for  # noqa: E402

PICTURE = (0x20, 0x50, 0xC0)
SMALL = (0x30, 0xA0, 0x40)
WHITE = (0xFF, 0xFF, 0xFF)


def bmp(width, height, rgb):
    stride = (width * 3 + 3) // 4 * 4
    row = bytes([rgb[2], rgb[1], rgb[0]]) * width + b"\0" * (stride - width * 3)
    header = b"BM" + struct.pack("<IHHI", 54 + stride * height, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, stride * height, 2835, 2835, 0, 0)
    return header + info + row * height


def story_folder(lines, files):
    root = make_temp()
    os.mkdir(os.path.join(root, "story"))
    os.mkdir(os.path.join(root, "story", "dat"))
    os.mkdir(os.path.join(root, "home"))
    with open(os.path.join(root, "story", "dat", "story.txt"), "wb") as f:
        f.write(b"".join(line.encode("cp932") + b"\r\n" for line in lines))
    for name, data in files.items():
        with open(os.path.join(root, "story", "dat", name), "wb") as f:
            f.write(data)
    return root


def start(x, binary, root):
    env = dict(x.env, HOME=os.path.join(root, "home"), LANG="ja_JP.UTF-8", LC_ALL="", LC_CTYPE="")
    return subprocess.Popen([binary], cwd=os.path.join(root, "story"), env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def red_pixels(pixels):
    return sum(1 for row in pixels for (r, g, b) in row if r > 170 and g < 90 and b < 90)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class Player:
    def __init__(self, x, program):
        self.x, self.program = x, program
        self.main = wait_for("the main window", lambda: x.windows("mirt"))[0]

    def box(self):
        """Waits for the box the last action opened (captioned mirt)."""
        boxes = wait_for("a box captioned mirt", lambda: [w for w in self.x.windows("mirt") if w != self.main])
        check(len(boxes) == 1, f"one box expected, got {boxes}")
        return boxes[0]

    def close(self, box, key="Return"):
        self.x.key(box, key)
        wait_for("the box to close", lambda: box not in self.x.windows("mirt"))

    def box_has_stop_icon(self, box):
        bx, by, bw, bh = self.x.geometry(box)
        # Painted when its OK button (grey with dark text) shows.
        wait_for("the box to paint", lambda: any(px == (0, 0, 0) for row in self.x.grab(bx, by, bw, bh) for px in row),
                 timeout=5)
        return red_pixels(self.x.grab(bx, by, bw, bh)) > 100

    def click_picture(self, px=100, py=100):
        mx, my, _, _ = self.x.geometry(self.main)
        self.x.click(mx + px, my + py)


def scenario_play(binary):
    lines = ["// a story for the end-to-end test",
             "#image a.bmp",
             "最初の行です。",
             "#image broken.jpg",
             "二番目",
             "#button 逃げる @flee",
             "Third",
             "#end",
             "@flee",
             "Chosen",
             "#image small.bmp",
             "Last",
             "#end"]
    root = story_folder(lines, {"a.bmp": bmp(200, 200, PICTURE), "small.bmp": bmp(50, 40, SMALL),
                                "broken.jpg": b"not a jpeg"})
    story_before = snapshot(os.path.join(root, "story"))
    with XSession() as x:
        program = start(x, binary, root)
        try:
            p = Player(x, program)
            # The window: 200 x 200 client area, centred, fixed size.
            gx, gy, gw, gh = x.geometry(p.main)
            check((gw, gh) == (200, 200), f"client area {gw}x{gh}")
            check((gx, gy) == ((x.screen[0] - 200) // 2, (x.screen[1] - 200) // 2), f"position {gx},{gy}")
            hints = x.size_hints(p.main)
            check("minimum size: 200 by 200" in hints and "maximum size: 200 by 200" in hints, hints)
            # The icon follows the first paint.
            wait_for("the window's 32 x 32 icon",
                     lambda: "Icon (32 x 32)" in x.run("xprop", "-id", str(p.main), "_NET_WM_ICON"), timeout=5)
            # The first picture shows, no box yet.
            wait_for("the picture's pixels",
                     lambda: all(px == PICTURE for row in x.grab(gx, gy, 200, 200) for px in row), timeout=5)
            check(x.windows("mirt") == [p.main], "a box showed before any click")
            # Keys on the window do nothing: Alt and F10 are claimed, the rest unused.
            for key in ("alt+F10", "Alt_L", "F10", "y", "Left", "Tab", "Return", "space"):
                x.key(p.main, key)
            check(x.windows("mirt") == [p.main] and program.poll() is None, "a key did something")

            # Click 1 shows the first line; the broken picture then raises an error box.
            p.click_picture()
            box = p.box()
            check(not p.box_has_stop_icon(box), "the message box has an icon")
            p.close(box, "Return")
            error = p.box()
            check(p.box_has_stop_icon(error), "the error box has no stop icon")
            p.close(error, "Return")
            # The program goes on: the same line once more, then the next.
            p.click_picture()
            p.close(p.box(), "space")
            p.click_picture()
            p.close(p.box(), "Escape")

            # The choice button shows inside the picture.
            def button_area():
                shot = x.grab(gx, gy, 200, 200)
                where = [(c, r) for r, row in enumerate(shot) for c, px in enumerate(row) if px != PICTURE]
                return where
            where = wait_for("the choice button", button_area)
            xs, ys = [c for c, _ in where], [r for _, r in where]
            left, top, right, bottom = min(xs), min(ys), max(xs), max(ys)
            check((right - left + 1, bottom - top + 1) == (57, 33), f"button area {left},{top}..{right},{bottom}")
            # Clicking it takes the choice; after its box a smaller picture
            # replaces the first (no button to hide this time, so nothing else
            # repaints the panel): white shows wherever the new picture does not reach.
            x.click(gx + (left + right) // 2, gy + (top + bottom) // 2)
            p.close(p.box())
            expected = [[SMALL if c < 50 and r < 40 else WHITE for c in range(200)] for r in range(200)]
            wait_for("the smaller picture on white", lambda: x.grab(gx, gy, 200, 200) == expected, timeout=5)
            # The story ends after the next box.
            p.click_picture()
            p.close(p.box())
            code = program.wait(10)
            err = program.stderr.read().decode(errors="replace")
            check(code == 0, f"exit code {code}: {err}")
        finally:
            if program.poll() is None:
                program.kill()
                program.wait()
    check(snapshot(os.path.join(root, "home")) == {}, "files appeared in HOME")
    check(snapshot(os.path.join(root, "story")) == story_before, "the story folder changed")
    shutil.rmtree(root)


def scenario_startup_error(binary):
    root = story_folder(["#image notes.txt", "A", "B"], {})
    with XSession() as x:
        program = start(x, binary, root)
        try:
            box = wait_for("the error box", lambda: x.windows("Error"))[0]
            check(x.windows("mirt") == [], "the main window showed")
            bx, by, bw, bh = x.geometry(box)
            wait_for("the stop icon", lambda: red_pixels(x.grab(bx, by, bw, bh)) > 100, timeout=5)
            x.key(box, "Return")
            code = program.wait(10)
            check(code == 1, f"exit code {code}")
        finally:
            if program.poll() is None:
                program.kill()
                program.wait()
    check(snapshot(os.path.join(root, "home")) == {}, "files appeared in HOME")
    shutil.rmtree(root)


SCENARIOS = {"play": scenario_play, "startup-error": scenario_startup_error}

if __name__ == "__main__":
    binary, name = sys.argv[1], sys.argv[2]
    SCENARIOS[name](os.path.abspath(binary))
    print(f"{name}: passed")
