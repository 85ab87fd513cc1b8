#!/usr/bin/env python3
"""Figures for mirt's window under Xvfb (medians of 20 runs), with no window
manager and under openbox (when installed).

usage: gui_bench.py BUILD_DIR

- start-up: exec to the first paint of the main window with its picture,
  against a bare FLTK window opened the same way, runs interleaved. The
  programs report the paint themselves when MIRT_TRACE is set: after the
  window's first flush they wait for the X server (XSync) and print the
  CLOCK_MONOTONIC time, the clock this script reads just before exec.
- click to box painted: from the picture's button release to the message
  box's first paint, both times taken in the program.
- memory once the first box has painted, from /proc/PID/smaps_rollup:
  Anonymous (the heap and stacks: what the program itself costs), Pss and
  Rss (both include the shared pages of the font files and libraries).
- peak RSS (VmHWM) while playing a story of pictures, clicks and a choice.
"""
import shutil
import os
import select
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "e2e"))
from xsession import XSession, wait_for  # noqa: E402
from player_e2e import bmp, story_folder  # noqa: E402

RUNS = 20


def read_trace(program, what, timeout=10.0):
    """The time of the next trace line for what; the pipe is read unbuffered
    so that select sees every line."""
    buffered = getattr(program, "trace_buffer", b"")
    end = time.monotonic() + timeout
    while True:
        while b"\n" in buffered:
            line, buffered = buffered.split(b"\n", 1)
            parts = line.decode(errors="replace").split()
            if len(parts) == 3 and parts[0] == "mirt-trace" and parts[1] == what:
                program.trace_buffer = buffered
                return int(parts[2])
        if time.monotonic() > end:
            raise RuntimeError(f"no {what} trace")
        ready, _, _ = select.select([program.stderr], [], [], 0.2)
        if ready:
            chunk = os.read(program.stderr.fileno(), 4096)
            if not chunk:
                raise RuntimeError(f"no {what} trace: the program ended")
            buffered += chunk


def launch(x, argv, cwd):
    env = dict(x.env, MIRT_TRACE="1", LANG="ja_JP.UTF-8", LC_ALL="", LC_CTYPE="",
               HOME=os.path.join(cwd, "..", "home"))
    started = time.monotonic_ns()
    program = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return program, started


def stop(program):
    program.kill()
    program.wait()


def ms(ns):
    return ns / 1e6


def smaps_rollup(pid):
    """Rss, Pss and Anonymous in MB."""
    values = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].rstrip(":") in ("Rss", "Pss", "Anonymous"):
                values[parts[0].rstrip(":")] = int(parts[1]) / 1024
    return values


def measure(mirt, bare, story, wm):
    startup_mirt, startup_bare, click_box, peaks, memory = [], [], [], [], []
    with XSession(wm=wm) as x:
        for _ in range(RUNS):
            for argv, results in (([mirt], startup_mirt), ([bare], startup_bare)):
                program, started = launch(x, argv, story)
                results.append(read_trace(program, "window-paint") - started)
                stop(program)
                wait_for("the window to go", lambda: not x.windows("mirt") and not x.windows("bare"))
        for _ in range(RUNS):
            program, _ = launch(x, [mirt], story)
            read_trace(program, "window-paint")
            main_window = wait_for("the window", lambda: x.windows("mirt"))[0]
            if wm:
                wait_for("the frame", lambda: x.prop(main_window, "_NET_FRAME_EXTENTS"), timeout=5)
            mx, my, _, _ = x.geometry(main_window)
            x.click(mx + 100, my + 100)
            clicked = read_trace(program, "click")
            click_box.append(read_trace(program, "box-paint") - clicked)
            memory.append(smaps_rollup(program.pid))
            # Play on to the choice, then read the peak before the last box closes.
            box = wait_for("the box", lambda: [w for w in x.windows("mirt") if w != main_window])[0]
            x.key(box, "Return")
            for _ in range(8):
                wait_for("the box to close", lambda: len(x.windows("mirt")) == 1)
                x.click(mx + 5, my + 195)
                box = wait_for("a box", lambda: [w for w in x.windows("mirt") if w != main_window])[0]
                x.key(box, "Return")
            wait_for("the box to close", lambda: len(x.windows("mirt")) == 1)
            x.click(mx + 5, my + 195)
            wait_for("a box", lambda: len(x.windows("mirt")) == 2)
            with open(f"/proc/{program.pid}/status") as status:
                peak = next(int(l.split()[1]) for l in status if l.startswith("VmHWM:"))
            peaks.append(peak / 1024)
            stop(program)
    where = f"under {wm}" if wm else "no window manager"
    m, b = statistics.median(startup_mirt), statistics.median(startup_bare)
    print(f"[{where}]")
    print(f"start-up, exec to first paint (median of {RUNS}): mirt {ms(m):.1f} ms, "
          f"bare FLTK window {ms(b):.1f} ms, ratio {m / b:.2f}")
    print(f"click to message box painted (median of {RUNS}): {ms(statistics.median(click_box)):.2f} ms "
          f"(first box of each run, which loads the font)")
    figures = {k: statistics.median(m[k] for m in memory) for k in ("Anonymous", "Pss", "Rss")}
    print(f"memory after the first box (median of {RUNS}): Anonymous {figures['Anonymous']:.1f} MB, "
          f"Pss {figures['Pss']:.1f} MB, Rss {figures['Rss']:.1f} MB")
    print(f"peak RSS while playing (median of {RUNS}): {statistics.median(peaks):.1f} MB, "
          f"max {max(peaks):.1f} MB")


def main(build):
    mirt = os.path.abspath(os.path.join(build, "app", "mirt"))
    bare = os.path.abspath(os.path.join(build, "bench", "gui", "bare_fltk_window"))
    lines = ["#image a.bmp"] + [f"行 {i}" for i in range(1, 9)] + [
        "#image b.bmp", "選ぶ?", "#button 逃げる @run", "残る", "#end", "@run", "逃げた", "#end"]
    root = story_folder(lines, {"a.bmp": bmp(200, 200, (0x20, 0x50, 0xC0)),
                                "b.bmp": bmp(200, 200, (0xC0, 0x50, 0x20))})
    story = os.path.join(root, "story")
    for wm in (None, "openbox"):
        if wm and not shutil.which(wm):
            print(f"[under {wm}] not installed, skipped")
            continue
        measure(mirt, bare, story, wm)
    shutil.rmtree(root)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build")
