#!/usr/bin/python3
"""Drives the installer's demo as a screen reader user does, through the AT-SPI bus.

Run inside a D-Bus session of its own (dbus-run-session): starts Xvfb, starts
`INSTALLER --demo` on it with Qt's accessibility on, finds the frame 课件安装工具 and its push
button 开始安装, presses it through the action interface, waits for the frame 安装完成 and
presses its 确定 the same way. Prints the tree it found and one line per step; exit code 0 when
the installer ended by itself with exit code 0, 77 when Xvfb or pyatspi is missing, 1 otherwise.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time


def find(node, role, name):
    if node is None:
        return None
    if node.getRoleName() == role and node.name == name:
        return node
    for child in node:
        found = find(child, role, name)
        if found is not None:
            return found
    return None


def describe(node, depth=0):
    lines = ["  " * depth + f"{node.getRoleName()} {node.name!r}"]
    for child in node:
        if child is not None:
            lines += describe(child, depth + 1)
    return lines


def wait_for(pyatspi, role, name, limit):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "installer":
                found = find(app, role, name)
                if found is not None:
                    return app, found
        time.sleep(0.2)
    return None, None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--limit", type=float, default=30)
    args = parser.parse_args()
    try:
        import pyatspi
    except ImportError:
        print("skip: python3-pyatspi is not installed")
        return 77
    if shutil.which("Xvfb") is None:
        print("skip: Xvfb is not installed")
        return 77

    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    # The number ends with a line feed, which may come in a write of its own: the pipe stays
    # open until it has (Xvfb gives up when it cannot write it).
    display = b""
    while not display.endswith(b"\n"):
        chunk = os.read(read_end, 64)
        if not chunk:
            break
        display += chunk
    os.close(read_end)
    display = display.decode().strip()
    runtime = tempfile.mkdtemp(prefix="atspi-runtime-")
    env = dict(os.environ, DISPLAY=":" + display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_RUNTIME_DIR=runtime)
    installer = subprocess.Popen([args.installer, "--demo"], env=env, stdout=subprocess.PIPE, text=True)
    try:
        app, start = wait_for(pyatspi, "push button", "开始安装", args.limit)
        if start is None:
            print("no push button 开始安装 in a frame of the installer")
            return 1
        print("\n".join(describe(app)))
        frame = start.parent
        print(f"found: {frame.getRoleName()} {frame.name!r} > push button {start.name!r}")
        if frame.getRoleName() != "frame" or frame.name != "课件安装工具":
            return 1
        start.queryAction().doAction(0)
        print("pressed 开始安装")
        app, done = wait_for(pyatspi, "push button", "确定", args.limit)
        if done is None or done.parent.name != "安装完成":
            print("the completion window did not appear")
            return 1
        print("found: frame '安装完成' > push button '确定'")
        done.queryAction().doAction(0)
        print("pressed 确定")
        code = installer.wait(timeout=args.limit)
        print(f"installer ended with {code}")
        return 0 if code == 0 else 1
    finally:
        if installer.poll() is None:
            installer.kill()
            installer.wait()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
