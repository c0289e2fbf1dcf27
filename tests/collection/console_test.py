#!/usr/bin/python3
"""trackmaps.exe on a console under Wine: names in no code page, Explorer, cmd.exe's quotes.

Usage: console_test.py TRACKMAPS_EXE EMULATOR WINE_LOADER
On a terminal of its own Wine gives the program a real console: started directly it is alone on
it, as from Explorer; through cmd.exe it shares it, as when typed. Exits 1 when a case failed,
77 when the emulator cannot run the build's programs here.
"""

import fcntl
import os
import pty
import re
import select
import struct
import subprocess
import sys
import tempfile
import termios
import time
from pathlib import Path

NAME = "Трасса赛道.PAK"


def winpath(path):
    return "Z:" + str(path).replace("/", "\\")


def on_console(command, cwd, press_enter):
    """Runs command on a terminal 200 columns wide. With press_enter, presses Enter a second
    after "Press Enter" shows. Returns the exit code, the screen's text and whether the program
    still ran when Enter was pressed (None: not pressed)."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execvp(command[0], command)
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 200, 0, 0))
    shown, waiting, status, deadline = b"", None, None, time.monotonic() + 60
    while status is None and time.monotonic() < deadline:
        ended, code = os.waitpid(pid, os.WNOHANG)
        while select.select([fd], [], [], 0.2)[0]:
            try:
                shown += os.read(fd, 4096)
            except OSError:  # the terminal closed with the program's end
                break
        status = code if ended else None
        # Wine's terminal moves the cursor over blank cells instead of writing spaces.
        text = re.sub(r"\x1b\[([0-9]*)C", lambda m: " " * int(m.group(1) or 1),
                      shown.decode(errors="replace"))
        text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", text).replace("\r", "")
        if press_enter and waiting is None and "Press Enter" in text:
            time.sleep(1)
            waiting = os.waitpid(pid, os.WNOHANG)[0] == 0
            os.write(fd, b"\r")
    if status is None:
        os.kill(pid, 9)
        status = os.waitpid(pid, 0)[1]
    os.close(fd)
    return os.waitstatus_to_exitcode(status), text, waiting


def main():
    exe, emulator, wine = sys.argv[1:4]
    os.environ.update(LC_ALL="C.UTF-8", WINEDEBUG="-all")
    # The emulator makes the prefix and starts its wineserver; 77: no such programs run here.
    code = subprocess.run([emulator, "cmd.exe", "/c", "exit", "7"]).returncode
    if code != 7:
        return 77 if code == 77 else 1
    exe = winpath(Path(exe).resolve())
    failures = 0
    with tempfile.TemporaryDirectory(prefix="tmf-console.") as scratch:
        folder = Path(scratch) / "My Tracks"
        folder.mkdir()
        for name in ("Hill.PAK", NAME):
            (folder / name).write_bytes(b"head National_Map;  The Sun mid National_Map")
        track = "stock      National_Map   " + winpath(folder / "Hill.PAK")
        named = "stock      National_Map   " + winpath(folder / NAME)
        # As typed in cmd.exe: its \" before the closing quote reaches the program as a quote.
        Path(scratch, "typed.bat").write_text(f'@"{exe}" scan "{winpath(folder)}\\"\r\n')
        missing = "no such file or folder: " + NAME
        cases = [  # command, press Enter, exit code, on the screen
            ([wine, "cmd.exe", "/c", exe, "scan", NAME], False, 2, missing),
            ([wine, "cmd.exe", "/c", "typed.bat"], False, 1, named),
            ([wine, exe], True, 0, "(the Track Library).\n\nPress Enter to close this window."),
            ([wine, exe, winpath(folder)], True, 1, track),
        ]
        for command, press_enter, want_code, want_text in cases:
            got_code, text, waiting = on_console(command, scratch, press_enter)
            ok = got_code == want_code and want_text in text and waiting == (press_enter or None)
            print(f"{'ok  ' if ok else 'FAIL'} {command[1:]}: exit {got_code}, waited {waiting}"
                  + ("" if ok else f", the screen:\n{text}"))
            failures += not ok
        # Redirected, the output is UTF-8.
        with open(Path(scratch, "err.txt"), "wb") as err:
            subprocess.run([wine, exe, "scan", NAME], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=err, timeout=60)
        got = Path(scratch, "err.txt").read_bytes()
        print(f"{'ok  ' if missing.encode() in got else 'FAIL'} redirected: {got!r}")
        failures += missing.encode() not in got
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
