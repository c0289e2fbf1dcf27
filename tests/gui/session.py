"""The program under Wine in a private Xvfb, for the GUI tests and scripts/screenshot.

The program and the test driver (a Win32 console program in the same Wine prefix that answers
with one JSON object of window facts) run through the build's Wine loader, whose exit code is the
Windows program's; real keys and clicks go through xdotool; the pointer's image comes from the X
server (XFixes). Wine's output goes to files: Wine's background services inherit the first
process's output, and a pipe they held would never close.
"""

import contextlib
import ctypes
import json
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import time


def winpath(path):
    """The Wine path of a Linux path: Z:\\ is the Linux root."""
    return "Z:" + str(path).replace("/", "\\")


def wait_for(seconds, condition, step=0.05):
    """Calls condition until it gives a true value or seconds have passed; returns its last value."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def start_xvfb():
    """Starts Xvfb on a free display; returns (process, display) or raises."""
    for number in range(90, 141):
        if os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
            continue
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = pathlib.Path(f"/tmp/.X11-unix/X{number}")
        if wait_for(5, lambda: socket.exists() or xvfb.poll() is not None) and xvfb.poll() is None:
            return xvfb, f":{number}"
        xvfb.kill()
        xvfb.wait()
    raise RuntimeError("no X server could be started")


class Unavailable(RuntimeError):
    """The loader cannot run the build's programs here (exit code 77: 32-bit code on a kernel
    without it)."""


class Session:
    """One X server and one wineserver for a run of scenarios: loader is the Wine loader command
    (a list), driver and exe the test driver and the program, prefix the Wine prefix's folder."""

    def __init__(self, loader, driver, exe, prefix, workdir):
        # Absolute paths: the program runs in a folder of its own.
        self.loader = [os.path.abspath(shutil.which(loader[0]) or loader[0])] + list(loader[1:])
        self.driver, self.exe = os.path.abspath(driver), os.path.abspath(exe)
        self.workdir, self.program = pathlib.Path(workdir), None
        self.xvfb, self.display = start_xvfb()
        self.env = dict(os.environ, DISPLAY=self.display, WINEPREFIX=str(prefix),
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        # The first run makes the prefix, if need be, and starts the session's wineserver.
        code, out = self.wine(["cmd.exe", "/c", "exit"], timeout=300)
        if code != 0:
            self.stop()
            error = Unavailable if code == 77 else RuntimeError
            raise error(f"no Wine session in {prefix}: {out}")

    def wine(self, args, timeout=60):
        """Runs a Windows program to its end; returns its exit code and output (no CRs)."""
        with tempfile.TemporaryFile(dir=self.workdir) as out:
            done = subprocess.run(self.loader + [str(arg) for arg in args], env=self.env,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout)
            out.seek(0)
            return done.returncode, out.read().decode(errors="replace").replace("\r", "")

    def spawn(self, args, out_name, cwd=None):
        """Starts a Windows program in the background, its output in the file out_name."""
        with open(self.workdir / out_name, "wb") as out:
            return subprocess.Popen(self.loader + [str(arg) for arg in args], cwd=cwd,
                                    env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT)

    def drive(self, *args):
        """Runs one driver command; returns the facts it printed, a dict of texts."""
        code, out = self.wine([self.driver, *args], timeout=120)
        answer = [line for line in out.splitlines() if line.startswith("{")]
        facts = json.loads(answer[-1]) if answer else {}
        assert code == 0, f"driver {' '.join(map(str, args))}: {facts.get('error', out)}"
        return facts

    def start(self, folder, *args, ready="main"):
        """Starts the program with args in folder, its current directory, and waits until the
        driver's command ready answers (the main dialog is up). Returns the loader's process: its
        exit code is the program's."""
        self.end_program()
        self.program = self.spawn([self.exe, *args], "program.out", cwd=folder)
        try:
            self.drive(ready)
        except AssertionError as failure:
            code = self.program.poll()
            state = "still runs" if code is None else f"exited with {code}"
            raise AssertionError(f"{failure} (the program {state})") from failure
        return self.program

    def end_program(self):
        """Ends the last started program if it still runs, with every other Wine process of the
        session, also when the program ended by itself: the next Windows program then starts the
        wineserver again, instead of joining one that is shutting down. Once, a program started
        just after the last one had closed showed no window within a minute."""
        if self.program:
            self.stop_wine()
            if self.program.poll() is None:
                self.program.wait(60)

    def xdotool(self, *args):
        """Real X input: xdotool with args (windowfocus --sync, key, mousemove --sync, ...)."""
        subprocess.run(["xdotool"] + [str(arg) for arg in args], env=self.env, check=True,
                       timeout=10)

    def click(self, xid, x, y):
        """Clicks like a user: window xid focused, the pointer resting on the spot, then press and
        release. Under Wine a bare click on the close button, just after the open-file dialog had
        closed, was once not seen."""
        self.xdotool("windowfocus", "--sync", xid, "mousemove", "--sync", x, y, "sleep", "0.2",
                     "mousedown", "1", "sleep", "0.1", "mouseup", "1")

    def icon_sizes(self, xid):
        """The image sizes in the X window's _NET_WM_ICON, as "W x H" texts, sorted."""
        out = subprocess.run(["xprop", "-id", xid, "_NET_WM_ICON"], env=self.env,
                             capture_output=True, text=True, timeout=10).stdout
        return sorted(set(re.findall(r"Icon \(([0-9]+ x [0-9]+)\)", out)))

    def pointer(self):
        return pointer_image(self.display)["pixels"]

    def stop_wine(self):
        """Ends every Wine process of the prefix."""
        # -k asks the server to end them; -w waits until it has.
        for option in ("-k", "-w"):
            with contextlib.suppress(Exception):
                subprocess.run(["/usr/lib/wine/wineserver", option], env=self.env, timeout=30,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)

    def stop(self):
        """Ends every Wine process of the prefix, then the X server."""
        self.stop_wine()
        self.xvfb.terminate()
        self.xvfb.wait()


@contextlib.contextmanager
def _x_connection(display):
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = x11.XFree.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError(f"cannot open display {display}")
    try:
        yield connection, x11
    finally:
        x11.XCloseDisplay(connection)


class XFixesCursorImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_short) for name in ("x", "y")] + [
        (name, ctypes.c_ushort) for name in ("width", "height", "xhot", "yhot")] + [
        ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong))]


def pointer_image(display):
    """The pointer as the X server draws it now: its hot spot's place on the screen (x, y), the hot
    spot in the image, the image's size and its pixels, premultiplied ARGB, row by row."""
    xfixes = ctypes.CDLL("libXfixes.so.3")
    xfixes.XFixesQueryVersion.argtypes = [ctypes.c_void_p] + [ctypes.POINTER(ctypes.c_int)] * 2
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(XFixesCursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    with _x_connection(display) as (connection, x11):
        major, minor = ctypes.c_int(4), ctypes.c_int(0)  # the version this client speaks
        xfixes.XFixesQueryVersion(connection, ctypes.byref(major), ctypes.byref(minor))
        image = xfixes.XFixesGetCursorImage(connection)
        if not image:
            raise RuntimeError("XFixesGetCursorImage failed")
        found = {name: getattr(image.contents, name) for name in ("x", "y", "width", "height",
                                                                  "xhot", "yhot")}
        # 32-bit pixels in longs, sign-extended on the way.
        found["pixels"] = tuple(pixel & 0xFFFFFFFF for pixel in
                                image.contents.pixels[:found["width"] * found["height"]])
        x11.XFree(image)
        return found


class XcursorImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint) for name in (
        "version", "size", "width", "height", "xhot", "yhot", "delay")] + [
        ("pixels", ctypes.POINTER(ctypes.c_uint))]


class XcursorImages(ctypes.Structure):
    _fields_ = [("nimage", ctypes.c_int), ("images", ctypes.POINTER(ctypes.POINTER(XcursorImage)))]


def theme_cursor(display, name):
    """The pixels of every frame of cursor name in the display's cursor theme, at its size, as
    pointer_image gives them: Wine's X11 driver shows the system cursors so (IDC_WAIT is "watch",
    IDC_ARROW "left_ptr")."""
    xcursor = ctypes.CDLL("libXcursor.so.1")
    xcursor.XcursorGetTheme.restype = ctypes.c_char_p
    xcursor.XcursorGetTheme.argtypes = xcursor.XcursorGetDefaultSize.argtypes = [ctypes.c_void_p]
    xcursor.XcursorLibraryLoadImages.restype = ctypes.POINTER(XcursorImages)
    xcursor.XcursorLibraryLoadImages.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int]
    xcursor.XcursorImagesDestroy.argtypes = [ctypes.POINTER(XcursorImages)]
    with _x_connection(display) as (connection, _):
        images = xcursor.XcursorLibraryLoadImages(name.encode(), xcursor.XcursorGetTheme(connection),
                                                  xcursor.XcursorGetDefaultSize(connection))
    if not images:
        raise RuntimeError(f"no cursor {name} in the X cursor theme")
    frames = [images.contents.images[i].contents for i in range(images.contents.nimage)]
    pixels = {tuple(frame.pixels[:frame.width * frame.height]) for frame in frames}
    xcursor.XcursorImagesDestroy(images)
    return pixels
