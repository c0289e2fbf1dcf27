"""End-to-end scenarios of the program under Wine in Xvfb, driven the way a person uses it: real
keys and clicks through xdotool, typed paths in the open-file dialog, and checks of the window, its
status bar, the pointer and the files on disk afterwards, byte for byte."""

import re
import threading
import time

from session import theme_cursor, wait_for, winpath

TITLE = "DRT - Track Map bug fixer (v1.2)"
NATIONAL, SUPERCROSS = b"National_Map", b"Supercross_Map"
SITE, MARKER = b";  The Sun", b";TDFIX   1"
NO_FILE = "No file(s) selected."


def track(name, site):
    """A track file's bytes holding map name and marker text: binary bytes, NULs, a near miss of
    the marker site, and each text twice; the first map name starts at offset 7."""
    return b"PAK\x01\x00\xff\x80" + name + b"\x00;  The Su;" + site + b"\r\n" + site + b"..." + \
        name + b"\x00\n"


def clock_digits(before, after):
    """The digits the clock's seconds can have ended in between two times (Unix seconds)."""
    return "".join(str(second % 60 % 10) for second in range(before, min(after, before + 9) + 1))


def files_of(folder):
    """Every file below folder with its bytes: a folder's state, to compare before and after."""
    return {str(path.relative_to(folder)): path.read_bytes()
            for path in sorted(folder.rglob("*")) if path.is_file()}


def facts(found, expected):
    """The facts of found that expected names, to compare with expected as a whole."""
    return {name: found.get(name) for name in expected}


def assert_new_name(name, stem, stock, before, after):
    assert re.fullmatch(f"{re.escape(stem)}[{clock_digits(before, after)}]Map", name), (
        f"new map name {name}: expected {stem}, a clock digit of {before}..{after} and Map")
    assert len(name) == len(stock)


def fix_through_dialog(gui, file, stock, stem):
    """Chooses file in the open-file dialog that is (about to be) open, typing its full path, and
    checks the status bar, the repaired file and its backup. stem is the new name without its
    clock digit and "Map"."""
    path = winpath(file)
    before = int(time.time())
    outcome = gui.drive("choose", path)
    after = int(time.time())
    assert "msgbox-text" not in outcome
    assert outcome["status"].startswith(path + " - ")
    name = outcome["status"][len(path) + 3:]
    assert_new_name(name, stem, stock, before, after)
    assert file.read_bytes() == track(name.encode(), MARKER)
    assert file.with_name(file.name + ".bak").read_bytes() == track(stock, SITE)


FOCUS_ON_BUTTON = {"active": "main", "focus": "1002"}


def assert_focus_on_button(gui, xid):
    gui.xdotool("windowfocus", "--sync", xid)
    assert facts(gui.drive("main"), FOCUS_ON_BUTTON) == FOCUS_ON_BUTTON


def close(gui, program):
    """Closes the main dialog with WM_SYSCOMMAND SC_CLOSE; the program must end with exit code 0."""
    gui.drive("post", "sysclose")
    assert program.wait(10) == 0


WINDOW = {"title": TITLE, "caption": "yes", "system-menu": "yes", "sizing-border": "no",
          "minimize-box": "no", "maximize-box": "no", "button": "&Fix Track Map", "status": "",
          "status-visible": "yes"}


def test_window_title_size_styles_status_bar_icons_focus(gui, start, folder):
    program = start(folder)
    main = gui.drive("main")
    assert facts(main, WINDOW) == WINDOW
    assert main["client"] == main["client-379x56-dlu"], "client area of 379 x 56 dialog units"
    width, height = map(int, main["client"].split())
    left, top, right, bottom = map(int, main["status-rect"].split())
    assert (left, right, bottom) == (0, width, height), "status bar docked at the bottom, full width"
    assert 0 < top < bottom
    # Wine puts a 32x32 and a 16x16 image in _NET_WM_ICON when both icons are set, and only its
    # own 32x32 default when none is.
    assert gui.icon_sizes(main["xid"]) == ["16 x 16", "32 x 32"]
    assert facts(main, FOCUS_ON_BUTTON) == FOCUS_ON_BUTTON, "at start"
    close(gui, program)


FILE_DIALOG = {"caption": "Select multiple files by holding down CTRL and clicking...",
               "file-name": "*.pak", "types": "2", "type0": "DRT Track Files  (*.PAK)",
               "type1": "All Files (*.*)", "selected-type": "0", "read-only-box": "yes",
               "owner": "none", "main-enabled": "yes"}


def test_open_file_dialog_as_requested_in_the_current_directory(gui, start, folder):
    (folder / "Start.PAK").write_bytes(track(NATIONAL, SITE))
    program = start(folder)
    gui.drive("post", "click")
    assert facts(gui.drive("file-dialog"), FILE_DIALOG) == FILE_DIALOG
    # A bare name is found in the folder the dialog opened in: the process's current directory.
    status = gui.drive("choose", "Start.PAK")["status"]
    assert re.fullmatch(re.escape(winpath(folder / "Start.PAK")) + " - Start000[0-9]Map", status)
    close(gui, program)


def test_national_track_fixed_then_already_fixed(gui, start, folder):
    hill = folder / "Hill.PAK"
    hill.write_bytes(track(NATIONAL, SITE))
    program = start(folder)
    xid = gui.drive("main")["xid"]
    gui.drive("post", "click")
    fix_through_dialog(gui, hill, NATIONAL, "Hill0000")
    repaired = hill.read_bytes()
    gui.drive("post", "click")
    assert gui.drive("choose", winpath(hill))["status"] == winpath(hill) + " -  already fixed"
    assert hill.read_bytes() == repaired
    # The backup may be the only copy of the original: a press that fixes nothing keeps it.
    assert (folder / "Hill.PAK.bak").read_bytes() == track(NATIONAL, SITE)
    gui.xdotool("windowfocus", "--sync", xid, "key", "alt+F4")
    assert program.wait(10) == 0


def test_supercross_track_and_lower_case_pak_fixed_then_close_button(gui, start, folder):
    fixes = [("Canyon Run 2.PAK", SUPERCROSS, "Caon_Run_2"), ("Dune.pak", NATIONAL, "Dune0000")]
    for name, stock, _ in fixes:
        (folder / name).write_bytes(track(stock, SITE))
    program = start(folder)
    main = gui.drive("main")
    for name, stock, stem in fixes:
        gui.drive("post", "click")
        fix_through_dialog(gui, folder / name, stock, stem)
    assert re.fullmatch("[0-9]+ [0-9]+", main["close-box"]), "a close button on the caption"
    gui.click(main["xid"], *main["close-box"].split())
    assert program.wait(10) == 0


def test_cancel_no_file_selected_nothing_touched(gui, start, folder):
    (folder / "Hill.PAK").write_bytes(track(NATIONAL, SITE))
    (folder / "Hill.PAK.bak").write_bytes(track(NATIONAL, SITE))
    before = files_of(folder)
    program = start(folder)
    xid = gui.drive("main")["xid"]
    gui.drive("post", "click")
    cancelled = {"status": NO_FILE, "msgbox-text": None}
    assert facts(gui.drive("cancel"), cancelled) == cancelled
    assert files_of(folder) == before
    assert_focus_on_button(gui, xid)  # after the open-file dialog was active
    close(gui, program)


def test_not_a_pak_file_message_box_then_status_bar(gui, start, folder):
    (folder / "notes.txt").write_bytes(b"National_Map ;  The Sun\n")
    (folder / "Old.PAK.bak").write_bytes(track(NATIONAL, SITE))
    before = files_of(folder)
    program = start(folder)
    xid = gui.drive("main")["xid"]
    status = ""
    for name in ("notes.txt", "Old.PAK.bak"):
        refusal = winpath(folder / name) + " is not a PAK file"
        gui.drive("post", "click")
        outcome = gui.drive("choose", winpath(folder / name))
        # The status bar changes only once the box is closed.
        expected = {"msgbox-caption": "Corvelane", "msgbox-text": refusal, "msgbox-owner": "none",
                    "status": status}
        assert facts(outcome, expected) == expected
        assert gui.drive("dismiss")["status"] == refusal
        status = refusal
    assert files_of(folder) == before
    assert_focus_on_button(gui, xid)  # after a message box was active
    close(gui, program)


# What a user does to the main dialog, and what the open-file dialog that may open is then given:
# "cancel", "choose" (the track, already fixed by then) or "fix" (the track, repaired).
KEYS_AND_CLICKS = [
    ("Enter starts a run", "key", ["Return"], "cancel"),
    ("Alt+F starts a run", "key", ["alt+f"], "fix"),
    ("Space on the button starts a run", "key", ["space"], "cancel"),
    ("a click on the button starts a run", "click", ["button-centre"], "choose"),
    # Esc must leave the dialog open: the Alt+F typed after it still starts a run.
    ("Esc does nothing", "key", ["Escape", "alt+f"], "cancel"),
    # A plain WM_CLOSE arrives as IDCANCEL and is ignored; the click posted after it still runs.
    ("WM_CLOSE does nothing", "post", ["close", "click"], "choose"),
]


def test_enter_alt_f_space_click_start_a_run_esc_wm_close_do_not(gui, start, folder):
    key_track = folder / "Key.PAK"
    key_track.write_bytes(track(NATIONAL, SITE))
    program = start(folder)
    main = gui.drive("main")
    for what, how, args, then in KEYS_AND_CLICKS:
        if how == "key":
            gui.xdotool("windowfocus", "--sync", main["xid"], "key", *args)
        elif how == "click":
            gui.click(main["xid"], *main[args[0]].split())
        else:
            for message in args:
                gui.drive("post", message)
        if then == "fix":
            fix_through_dialog(gui, key_track, NATIONAL, "Key00000")
        elif then == "cancel":
            assert gui.drive("cancel")["status"] == NO_FILE, what
        else:
            status = gui.drive("choose", winpath(key_track))["status"]
            assert status == winpath(key_track) + " -  already fixed", what
    close(gui, program)


def test_command_line_arguments_change_nothing(gui, start, folder):
    arg_track = folder / "Arg.PAK"
    arg_track.write_bytes(track(NATIONAL, SITE))
    before = files_of(folder)
    program = start(folder, winpath(arg_track), "/fix", "--help")
    main = gui.drive("main")
    assert facts(main, {"title": TITLE, "status": ""}) == {"title": TITLE, "status": ""}
    assert files_of(folder) == before
    gui.drive("post", "click")
    fix_through_dialog(gui, arg_track, NATIONAL, "Arg00000")
    gui.xdotool("windowfocus", "--sync", main["xid"], "key", "alt+F4")
    assert program.wait(10) == 0


def test_track_held_open_by_another_program_error_fixing_nothing_touched(gui, start, folder):
    busy = folder / "Busy.PAK"
    busy.write_bytes(track(NATIONAL, SITE))
    before = files_of(folder)
    program = start(folder)
    # Another program holds the track open, shared with nobody: the repair cannot even read it.
    flag = gui.workdir / "busy.held"
    holder = gui.spawn([gui.driver, "hold", winpath(busy), winpath(flag)], "hold.out")
    try:
        assert wait_for(60, lambda: flag.exists() or holder.poll() is not None) and flag.exists(), \
            (gui.workdir / "hold.out").read_text()
        gui.drive("post", "click")
        outcome = gui.drive("choose", winpath(busy))
    finally:
        flag.unlink(missing_ok=True)
        holder.wait(70)
    failed = {"status": f"Error fixing {winpath(busy)} - ", "msgbox-text": None}
    assert facts(outcome, failed) == failed
    assert files_of(folder) == before
    close(gui, program)


def test_main_dialog_closed_during_a_run_the_run_finishes_then_the_program_ends(gui, start, folder):
    hill = folder / "Hill.PAK"
    hill.write_bytes(track(NATIONAL, SITE))
    program = start(folder)
    gui.drive("post", "click")
    gui.drive("file-dialog")
    # The open-file dialog has no owner: closing the main dialog does not wait for the run.
    gui.drive("post", "sysclose")
    before = int(time.time())
    outcome = gui.drive("choose", winpath(hill))
    after = int(time.time())
    assert outcome.get("main") == "gone", "main dialog gone before the run ends"
    assert program.wait(10) == 0
    # No status bar reports the new name: read it where the track holds its first map name.
    name = hill.read_bytes()[7:19].decode(errors="replace")
    assert_new_name(name, "Hill0000", NATIONAL, before, after)
    assert hill.read_bytes() == track(name.encode(), MARKER)
    assert (folder / "Hill.PAK.bak").read_bytes() == track(NATIONAL, SITE)


def test_wait_cursor_during_a_large_repair_then_the_arrow(gui, start, folder):
    large = folder / "Large.PAK"
    with open(large, "wb") as file:
        file.write(track(NATIONAL, SITE))
        file.truncate(1 << 30)  # sparse: quick to make, seconds to repair
    program = start(folder)
    left, top, right, bottom = map(int, gui.drive("main")["window"].split())
    # Wine's X11 driver shows the cursor of the window under the pointer: rest it on the dialog.
    gui.xdotool("mousemove", "--sync", right - 20, bottom - 10)
    arrow, wait = theme_cursor(gui.display, "left_ptr"), theme_cursor(gui.display, "watch")
    arrow_before = wait_for(5, lambda: gui.pointer() in arrow)
    assert arrow_before, "the arrow before the run"
    gui.drive("post", "click")
    gui.drive("file-dialog")
    seen, done = [], threading.Event()

    def watch_pointer():
        while not done.is_set():
            seen.append(gui.pointer() in wait)
            time.sleep(0.02)

    watcher = threading.Thread(target=watch_pointer)
    watcher.start()
    try:
        status = gui.drive("choose", winpath(large))["status"]
    finally:
        done.set()
        watcher.join()
    assert re.fullmatch(re.escape(winpath(large)) + " - Large000[0-9]Map", status)
    assert seen.count(True) >= 3, f"the wait cursor while the repair ran ({len(seen)} looks)"
    # Put back at once, with the pointer still: no mouse move brings the arrow back instead.
    arrow_after = gui.pointer() in arrow
    assert arrow_after, "the arrow again after the repair"
    with open(large, "rb") as file:
        assert file.read(len(track(NATIONAL, SITE))) == track(status[-12:].encode(), MARKER)
    assert large.stat().st_size == 1 << 30
    close(gui, program)
