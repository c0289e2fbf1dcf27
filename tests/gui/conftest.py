"""What the GUI scenarios run against: a build's program and test driver, its Wine loader and a
Wine prefix of their own. The same scenarios run against the 64-bit build under wine64 and the
32-bit build under 32-bit Wine."""

import pathlib
import shlex
import tempfile

import pytest

import session


def pytest_addoption(parser):
    parser.addoption("--exe", required=True,
                     help="the program, trackmapfix.exe (or tracklibrary.exe for library_test.py)")
    parser.addoption("--trackmaps", help="the command, trackmaps.exe, for library_test.py")
    parser.addoption("--driver", required=True, help="the test driver, gui_driver.exe")
    parser.addoption("--wine", required=True, help="the Wine loader command, e.g. scripts/wine-run")
    parser.addoption("--prefix", required=True, help="the Wine prefix's folder (made on first use)")


@pytest.fixture(scope="session")
def gui(request, tmp_path_factory):
    option = request.config.getoption
    try:
        wine_session = session.Session(shlex.split(option("--wine")), option("--driver"),
                                       option("--exe"), pathlib.Path(option("--prefix")).resolve(),
                                       tmp_path_factory.mktemp("session"))
    except session.Unavailable as reason:
        pytest.exit(f"skipped: {reason}", returncode=77)
    yield wine_session
    wine_session.stop()


@pytest.fixture
def folder():
    """A fresh folder for one scenario's tracks, removed afterwards (large tracks included)."""
    with tempfile.TemporaryDirectory(prefix="tmf-gui.") as path:
        yield pathlib.Path(path)


@pytest.fixture
def start(gui):
    """Session.start; a program still running when the scenario ends is ended with it."""
    yield gui.start
    gui.end_program()


@pytest.fixture(scope="session")
def trackmaps(request):
    """The build's trackmaps.exe: what the Track Library window shows is checked against it."""
    return request.config.getoption("--trackmaps")
