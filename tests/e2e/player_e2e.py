#!/usr/bin/env python3
"""The mirt program end to end on its own X server.

usage: player_e2e.py MIRT_BINARY SCENARIO [--wm openbox]
  play           window, first picture, boxes on clicks, the choice button,
                 an error box during a click, exit 0, nothing written
  keys           the story played from the keyboard: next line, declining
                 and taking a choice
  folder         mirt FOLDER plays the story there; a missing folder or one
                 without a story gives the start-up error box and exit 1
  startup-error  a story that fails before the window shows: one error box,
                 no main window, exit 1
  command-line   --help, --version and usage errors (no display needed)

With --wm the scenario runs under that window manager and also checks what
the window manager is told (Motif hints, dialog, transient, modal) and that
windows are centred with their frames.
"""
import contextlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time

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


def start(x, binary, root, args=(), cwd=None):
    env = dict(x.env, HOME=os.path.join(root, "home"), LANG="ja_JP.UTF-8", LC_ALL="", LC_CTYPE="")
    return subprocess.Popen([binary, *args], cwd=cwd or os.path.join(root, "story"), env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


@contextlib.contextmanager
def running(x, binary, root, args=(), cwd=None):
    """The program, started as start() does; killed on the way out if it still runs."""
    program = start(x, binary, root, args, cwd)
    try:
        yield program
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def red_pixels(pixels):
    return sum(1 for row in pixels for (r, g, b) in row if r > 170 and g < 90 and b < 90)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


# Motif hints: flags (functions and decorations), functions, decorations.
# The main window moves, minimises and closes; a box only moves and closes.
# Both have a border, a title and a window menu; neither resizes or maximises.
MAIN_MOTIF = ["0x3", "0x2c", "0x3a", "0x0", "0x0"]
BOX_MOTIF = ["0x3", "0x24", "0x1a", "0x0", "0x0"]


def wait_framed(x, window):
    """Under a window manager, waits until it has framed and placed the window."""
    if x.wm:
        wait_for("the window manager's frame", lambda: x.prop(window, "_NET_FRAME_EXTENTS"), timeout=5)
        wait_for("the window centred with its frame", lambda: x.centred(window), timeout=5)


def check_main_window(x, main):
    """Fixed size, centred with its frame, and under a window manager what it
    is told and offers."""
    wait_framed(x, main)
    gx, gy, gw, gh = x.geometry(main)
    check((gw, gh) == (200, 200), f"client area {gw}x{gh}")
    check(x.centred(main), f"not centred: outer {x.outer_geometry(main)} on {x.screen}")
    if not x.wm:
        check((gx, gy) == ((x.screen[0] - 200) // 2, (x.screen[1] - 200) // 2), f"position {gx},{gy}")
    hints = x.size_hints(main)
    check("minimum size: 200 by 200" in hints and "maximum size: 200 by 200" in hints, hints)
    check(x.prop(main, "_MOTIF_WM_HINTS") == MAIN_MOTIF, f"Motif hints {x.prop(main, '_MOTIF_WM_HINTS')}")
    check(x.prop(main, "_NET_WM_WINDOW_TYPE") == ["_NET_WM_WINDOW_TYPE_NORMAL"], "main window type")
    if x.wm:
        actions = x.prop(main, "_NET_WM_ALLOWED_ACTIONS")
        check("_NET_WM_ACTION_CLOSE" in actions and "_NET_WM_ACTION_MINIMIZE" in actions, f"actions {actions}")
        check(not any("MAXIMIZE" in a or "RESIZE" in a for a in actions), f"actions {actions}")


def check_box(x, box, main):
    """A dialog of the main window (when there is one), modal, centred with its frame."""
    wait_framed(x, box)
    check(x.centred(box), f"box not centred: outer {x.outer_geometry(box)} on {x.screen}")
    check(x.prop(box, "_MOTIF_WM_HINTS") == BOX_MOTIF, f"box Motif hints {x.prop(box, '_MOTIF_WM_HINTS')}")
    check(x.prop(box, "_NET_WM_WINDOW_TYPE") == ["_NET_WM_WINDOW_TYPE_DIALOG"], "box window type")
    check("_NET_WM_STATE_MODAL" in (x.prop(box, "_NET_WM_STATE") or []), "box not modal")
    if main:
        check(x.transient_for(box) == main, f"box transient for {x.transient_for(box)}, not {main}")
    if x.wm:
        actions = x.prop(box, "_NET_WM_ALLOWED_ACTIONS")
        check("_NET_WM_ACTION_CLOSE" in actions, f"box actions {actions}")
        check(not any("MAXIMIZE" in a or "RESIZE" in a for a in actions), f"box actions {actions}")


def close_button(x, window):
    """Where the window manager's close button is: the right end of the title bar."""
    ox, oy, ow, _ = x.outer_geometry(window)
    _, right, top, _ = x.frame_extents(window)
    return ox + ow - right - 10, oy + top // 2


class Player:
    def __init__(self, x, program):
        self.x, self.program = x, program
        self.main = wait_for("the main window", lambda: x.windows("mirt"))[0]

    def box(self):
        """Waits for the box the last action opened (captioned mirt)."""
        boxes = wait_for("a box captioned mirt", lambda: [w for w in self.x.windows("mirt") if w != self.main])
        check(len(boxes) == 1, f"one box expected, got {boxes}")
        check_box(self.x, boxes[0], self.main)
        return boxes[0]

    def key(self, name):
        self.x.key(self.main, name)

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


def scenario_play(binary, wm):
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
    with XSession(wm=wm) as x:
        with running(x, binary, root) as program:
            p = Player(x, program)
            # The window: 200 x 200 client area, centred with its frame, fixed size.
            check_main_window(x, p.main)
            gx, gy, _, _ = x.geometry(p.main)
            # The icon follows the first paint.
            wait_for("the window's 32 x 32 icon",
                     lambda: "Icon (32 x 32)" in x.run("xprop", "-id", str(p.main), "_NET_WM_ICON"), timeout=5)
            # The first picture shows, no box yet.
            wait_for("the picture's pixels",
                     lambda: all(px == PICTURE for row in x.grab(gx, gy, 200, 200) for px in row), timeout=5)
            check(x.windows("mirt") == [p.main], "a box showed before any click")
            # These keys do nothing: Alt and F10 are claimed, the rest unused.
            for key in ("alt+F10", "Alt_L", "F10", "y", "Left", "Up", "Tab", "Prior"):
                x.key(p.main, key)
            check(x.windows("mirt") == [p.main] and program.poll() is None, "a key did something")

            # Click 1 shows the first line; the broken picture then raises an error box.
            p.click_picture()
            box = p.box()
            check(not p.box_has_stop_icon(box), "the message box has an icon")
            if x.wm:
                # The maximise button, where the window manager still draws
                # one, does nothing; the main window's close button does
                # nothing while the box is open; the box's own close button
                # acts as OK.
                before = x.geometry(p.main)
                cx, cy = close_button(x, p.main)
                x.click(cx - 16, cy)
                x.click(cx, cy)
                time.sleep(0.3)
                check(p.main in x.windows("mirt") and program.poll() is None, "the main window closed under a box")
                check(x.geometry(p.main) == before, f"the main window moved or grew: {x.geometry(p.main)}")
                x.click(*close_button(x, box))
                wait_for("the box to close", lambda: box not in x.windows("mirt"))
            else:
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
    check(snapshot(os.path.join(root, "home")) == {}, "files appeared in HOME")
    check(snapshot(os.path.join(root, "story")) == story_before, "the story folder changed")
    shutil.rmtree(root)


def expect_startup_error(x, program):
    """One error box, no main window; closing it ends the program with exit code 1."""
    box = wait_for("the error box", lambda: x.windows("Error"))[0]
    check(x.windows("mirt") == [], "the main window showed")
    check_box(x, box, None)
    bx, by, bw, bh = x.geometry(box)
    wait_for("the stop icon", lambda: red_pixels(x.grab(bx, by, bw, bh)) > 100, timeout=5)
    x.key(box, "Return")
    code = program.wait(10)
    check(code == 1, f"exit code {code}")


def scenario_startup_error(binary, wm):
    root = story_folder(["#image notes.txt", "A", "B"], {})
    with XSession(wm=wm) as x:
        with running(x, binary, root) as program:
            expect_startup_error(x, program)
    check(snapshot(os.path.join(root, "home")) == {}, "files appeared in HOME")
    shutil.rmtree(root)


def scenario_keys(binary, wm):
    lines = ["#image a.bmp", "one", "#button Go @g", "two", "#button Go @g", "three", "#end",
             "@g", "#image b.bmp", "chosen", "last", "#end"]
    other = (0xC0, 0x50, 0x20)
    root = story_folder(lines, {"a.bmp": bmp(200, 200, PICTURE), "b.bmp": bmp(200, 200, other)})
    with XSession(wm=wm) as x:
        with running(x, binary, root) as program:
            p = Player(x, program)
            check_main_window(x, p.main)
            gx, gy, _, _ = x.geometry(p.main)

            def picture_is(rgb):
                return all(px == rgb for row in x.grab(gx, gy, 200, 200) for px in row)

            def button_shown():
                return any(px != PICTURE for row in x.grab(gx, gy, 200, 200) for px in row)

            wait_for("the first picture", lambda: picture_is(PICTURE), timeout=5)
            # No choice yet: Space shows the next line; the choice button follows.
            p.key("space")
            p.close(p.box())
            wait_for("the choice button", button_shown, timeout=5)
            # Right declines the choice: the next line, the same picture.
            p.key("Right")
            p.close(p.box())
            # Enter takes the next choice: the chosen branch brings its picture.
            wait_for("the choice button again", button_shown, timeout=5)
            p.key("Return")
            p.close(p.box())
            wait_for("the chosen branch's picture", lambda: picture_is(other), timeout=5)
            # Page Down shows the last line; the story ends.
            p.key("Next")
            p.close(p.box())
            code = program.wait(10)
            check(code == 0, f"exit code {code}: {program.stderr.read().decode(errors='replace')}")
    shutil.rmtree(root)


def scenario_folder(binary, wm):
    root = story_folder(["#image a.bmp", "A", "#end"], {"a.bmp": bmp(200, 200, PICTURE)})
    story = os.path.join(root, "story")
    os.mkdir(os.path.join(root, "empty"))
    with XSession(wm=wm) as x:
        # Started elsewhere on the story folder: the picture resolves against it.
        with running(x, binary, root, [story], cwd=os.path.join(root, "home")) as program:
            p = Player(x, program)
            check_main_window(x, p.main)
            gx, gy, _, _ = x.geometry(p.main)
            wait_for("the picture", lambda: all(px == PICTURE for row in x.grab(gx, gy, 200, 200) for px in row),
                     timeout=5)
            if x.wm:
                # The window manager's close button ends the program.
                x.click(*close_button(x, p.main))
            else:
                p.click_picture()
                p.close(p.box())
            code = program.wait(10)
            check(code == 0, f"exit code {code}")
        # A folder that does not exist, and one without a story: the start-up error.
        for folder in (os.path.join(root, "missing"), os.path.join(root, "empty")):
            with running(x, binary, root, [folder]) as program:
                expect_startup_error(x, program)
    shutil.rmtree(root)


def scenario_command_line(binary, wm):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}

    def run(*args):
        return subprocess.run([binary, *args], env=env, capture_output=True, text=True, timeout=20)

    for args in (["--help"], ["-h"], ["--version"]):
        r = run(*args)
        check(r.returncode == 0 and r.stderr == "", f"{args}: exit {r.returncode}, stderr {r.stderr!r}")
        check(r.stdout.startswith("mirt ") if args == ["--version"] else "usage: mirt [FOLDER]" in r.stdout,
              f"{args}: {r.stdout!r}")
    check(re.fullmatch(r"mirt \d+\.\d+\.\d+\n", run("--version").stdout), "version line")
    # The authors' tools' --code-page is not the player's: it follows the locale.
    for args in (["--bogus"], ["-x"], ["a", "b"], [""], ["--code-page", "932"], ["--help", "--bogus"]):
        r = run(*args)
        check(r.returncode == 2 and r.stdout == "" and "usage: mirt" in r.stderr,
              f"{args}: exit {r.returncode}, stdout {r.stdout!r}, stderr {r.stderr!r}")
    # No display: one line naming it, exit code 1.
    r = subprocess.run([binary], env=dict(env, DISPLAY=":9999"), capture_output=True, text=True, timeout=20)
    check(r.returncode == 1 and ":9999" in r.stderr and r.stderr.count("\n") <= 1, f"no display: {r}")


def scenario_lost_display(binary, wm):
    root = story_folder(["A", "B", ""], {})
    x = XSession(wm=wm)
    with running(x, binary, root) as program:
        main = wait_for("the main window", lambda: x.windows("mirt"))[0]
        wait_framed(x, main)
        # The server goes away under the program (and its window manager).
        x.server.terminate()
        code = program.wait(10)
        err = program.stderr.read().decode(errors="replace")
        check(code == 1, f"exit code {code}")
        check(err.count("\n") == 1 and "X server" in err and x.display in err, f"stderr {err!r}")
        x.close()
    shutil.rmtree(root)


SCENARIOS = {"play": scenario_play, "keys": scenario_keys, "folder": scenario_folder,
             "startup-error": scenario_startup_error, "command-line": scenario_command_line,
             "lost-display": scenario_lost_display}

if __name__ == "__main__":
    binary, name = sys.argv[1], sys.argv[2]
    wm = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--wm" else None
    SCENARIOS[name](os.path.abspath(binary), wm)
    print(f"{name}{' under ' + wm if wm else ''}: passed")
