#!/usr/bin/python3
"""Checks the release packages as a user gets them.

Usage: check_package.py zip|deb --dist DIR --source DIR [--with-command] [--build-dir DIR]
Prints one line per check, "ok" or "FAIL" with what is wrong, and exits 1 if any check failed.
zip: the Windows zip (its entries, their times, the programs, README.txt, LICENSE.txt) and
SHA256SUMS; deb: the Debian package of the command (lintian, its fields and files, and the
command run from a scratch root made with dpkg -x).
"""

import argparse
import gzip
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

import pefile

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "static"))
import check_exe  # noqa: E402  (the PE checks of the shipped executable)
import check_window_exe  # noqa: E402  (and those of the Track Library window)

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry holds
FILE_ATTRIBUTE_ARCHIVE = 0x20  # what Windows gives a new plain file


def source_date_epoch(source):
    """The time the packages carry, found as scripts/package finds it."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    return int(subprocess.run(["git", "-C", str(source), "log", "-1", "--format=%ct"],
                              check=True, capture_output=True, text=True).stdout)


def version_of(source):
    """The version text of resources/version.h: its three numbers as written, joined by dots."""
    text = (Path(source) / "resources" / "version.h").read_text()
    return ".".join(re.search(rf"#define TMF_VERSION_{field} (\d+)", text).group(1)
                    for field in ("MAJOR", "MINOR", "BUILD"))


def only_crlf(text):
    """What is wrong with the line ends of a Windows text: bare LF or CR, or no final line end."""
    problems = []
    bare_lf = len(re.findall(rb"(?<!\r)\n", text))
    bare_cr = len(re.findall(rb"\r(?!\n)", text))
    if bare_lf:
        problems.append(f"{bare_lf} lines end in a bare LF")
    if bare_cr:
        problems.append(f"{bare_cr} bare CR")
    if not text.endswith(b"\r\n"):
        problems.append("the last line has no CRLF")
    return problems


def check_entries(archive, expected_names, epoch):
    """Exactly the expected entries in that order, all with the commit's time, compressed, as
    plain MS-DOS files."""
    infos = archive.infolist()
    names = [info.filename for info in infos]
    problems = [] if names == expected_names else [f"entries are {names}, not {expected_names}"]
    when = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    # A zip stores times in two-second steps.
    when = when[:5] + (when[5] // 2 * 2,)
    for info in infos:
        if info.date_time != when:
            problems.append(f"{info.filename} has time {info.date_time}, not {when}")
        if (info.create_system, info.external_attr) != (0, FILE_ATTRIBUTE_ARCHIVE):
            problems.append(f"{info.filename} has attributes {info.external_attr:#x} of system "
                            f"{info.create_system}, not plain MS-DOS ones")
        if info.compress_type != zipfile.ZIP_DEFLATED:
            problems.append(f"{info.filename} is not deflated")
        if info.extra:
            problems.append(f"{info.filename} carries extra fields {info.extra!r}")
    return problems


def check_programs(files, traces):
    """trackmapfix.exe passes the checks of the shipped executable, tracklibrary.exe those of the
    window, trackmaps.exe is a console program; every program is 32-bit, stripped, and holds no link time and none of the given
    folder names."""
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        for name, data in files.items():
            if not name.endswith(".exe"):
                continue
            path = Path(folder) / name
            path.write_bytes(data)
            checks = {"trackmapfix.exe": check_exe, "tracklibrary.exe": check_window_exe}
            if name in checks:
                for check, found in checks[name].run_checks(str(path), "x86").items():
                    problems += [f"{name} {check}: {problem}" for problem in found]
            pe = pefile.PE(str(path), fast_load=True)
            if pe.FILE_HEADER.Machine != 0x14C:
                problems.append(f"{name} is for machine {pe.FILE_HEADER.Machine:#x}, not i386")
            if name == "trackmaps.exe" and pe.OPTIONAL_HEADER.Subsystem != 3:
                problems.append(f"{name} has subsystem {pe.OPTIONAL_HEADER.Subsystem}, "
                                "not 3 (console)")
            if pe.FILE_HEADER.TimeDateStamp != 0:
                problems.append(f"{name} carries the link time {pe.FILE_HEADER.TimeDateStamp:#x}")
            # Debug sections have long names, kept in the symbol table's strings ("/4"): a
            # stripped program has neither.
            long_names = sum(section.Name.startswith(b"/") for section in pe.sections)
            if pe.FILE_HEADER.PointerToSymbolTable or pe.FILE_HEADER.NumberOfSymbols or long_names:
                problems.append(f"{name} is not stripped: {pe.FILE_HEADER.NumberOfSymbols} "
                                f"symbols, {long_names} sections of debug information")
            pe.close()
            for trace in traces:
                if trace.encode() in data:
                    problems.append(f"{name} holds the build machine's folder {trace}")
    return problems


def check_readme(text, version, with_command):
    """README.txt: Windows line ends, plain ASCII, the version, both programs' use, the licence."""
    problems = only_crlf(text)
    try:
        words = text.decode("ascii")
    except UnicodeDecodeError:
        return problems + ["README.txt is not plain ASCII"]
    wanted = [f"trackmapfix {version}", "Using tracklibrary.exe", "Using trackmapfix.exe",
              "promises about your files", "MIT licence", "LICENSE.txt"]
    if with_command:
        wanted += ["Using trackmaps.exe", "trackmaps --help"]
    problems += [f"README.txt does not say {phrase!r}" for phrase in wanted if phrase not in words]
    if not with_command and "trackmaps" in words:
        problems.append("README.txt describes trackmaps.exe, which the zip does not hold")
    return problems


def check_license(text, source):
    """LICENSE.txt: the project's LICENSE with Windows line ends."""
    want = (Path(source) / "LICENSE").read_bytes().replace(b"\n", b"\r\n")
    return [] if text == want else ["LICENSE.txt is not LICENSE with CRLF line ends"]


def check_sums(dist, packages):
    """SHA256SUMS names exactly the packages, each with its checksum, as sha256sum writes it."""
    want = "".join(f"{hashlib.sha256((dist / name).read_bytes()).hexdigest()}  {name}\n"
                   for name in sorted(packages))
    got = (dist / "SHA256SUMS").read_text()
    return [] if got == want else [f"SHA256SUMS reads {got!r}, not {want!r}"]


def zip_checks(dist, source, with_command, traces):
    """Runs every check of the zip; returns {check name: [what is wrong]}."""
    version = version_of(source)
    names = ["trackmapfix.exe", "tracklibrary.exe"] + (["trackmaps.exe"] if with_command else [])
    names += ["README.txt", "LICENSE.txt"]
    zip_name = f"trackmapfix-{version}-win32.zip"
    packages = [zip_name] + ([f"trackmaps_{version}_amd64.deb"] if with_command else [])
    with zipfile.ZipFile(dist / zip_name) as archive:
        files = {info.filename: archive.read(info) for info in archive.infolist()}
        results = {"entries": check_entries(archive, names, source_date_epoch(source))}
    results["programs"] = check_programs(files, traces)
    results["README.txt"] = check_readme(files.get("README.txt", b""), version, with_command)
    results["LICENSE.txt"] = check_license(files.get("LICENSE.txt", b""), source)
    results["SHA256SUMS"] = check_sums(dist, packages)
    return results


def deb_checks(dist, source):
    """Runs every check of the Debian package; returns {check name: [what is wrong]}."""
    version = version_of(source)
    deb = dist / f"trackmaps_{version}_amd64.deb"
    results = {}
    lint = subprocess.run(["lintian", str(deb)], capture_output=True, text=True)
    results["lintian"] = [line for line in lint.stdout.splitlines() if line.startswith("E:")]
    if lint.returncode != 0 and not results["lintian"]:
        results["lintian"].append(f"lintian exited {lint.returncode}: {lint.stderr.strip()}")

    fields = {}
    for field in ("Package", "Version", "Architecture", "Maintainer"):
        fields[field] = subprocess.run(["dpkg-deb", "-f", str(deb), field], capture_output=True,
                                       text=True).stdout.strip()
    want = {"Package": "trackmaps", "Version": version, "Architecture": "amd64"}
    results["control"] = [f"{field} is {fields[field]!r}, not {value!r}"
                          for field, value in want.items() if fields[field] != value]

    with tempfile.TemporaryDirectory() as root:
        subprocess.run(["dpkg", "-x", str(deb), root], check=True)
        root = Path(root)
        files = sorted(str(path.relative_to(root)) for path in root.rglob("*")
                       if path.is_file() or path.is_symlink())
        want_files = ["usr/bin/trackmaps", "usr/share/doc/trackmaps/changelog.gz",
                      "usr/share/doc/trackmaps/copyright", "usr/share/man/man1/trackmaps.1.gz"]
        results["files"] = [] if files == want_files else [f"files are {files}"]

        results["runs"] = []
        program = root / "usr/bin/trackmaps"
        if program.is_file():
            run = subprocess.run([str(program), "--version"], capture_output=True, text=True,
                                 timeout=30)
            if run.returncode != 0 or version not in run.stdout:
                results["runs"].append(f"trackmaps --version exited {run.returncode} with "
                                       f"{run.stdout!r}, not 0 with the version {version}")
        else:
            results["runs"].append("no usr/bin/trackmaps to run")

        results["manual page"] = []
        man = root / "usr/share/man/man1/trackmaps.1.gz"
        page = gzip.decompress(man.read_bytes()).decode() if man.is_file() else ""
        for phrase in (".TH TRACKMAPS \"1\"", f"trackmaps {version}", "\\-\\-help"):
            if phrase not in page:
                results["manual page"].append(f"the manual page lacks {phrase!r}")

        results["copyright"] = []
        notice = root / "usr/share/doc/trackmaps/copyright"
        text = notice.read_text() if notice.is_file() else ""
        license_lines = (Path(source) / "LICENSE").read_text().splitlines()[1:]
        for phrase in ["License: Expat", "MIT licence"] + [l for l in license_lines if l]:
            if phrase not in text:
                results["copyright"].append(f"the copyright file lacks {phrase!r}")
    return results


def report(results):
    """Prints one line per check; returns 0 when all passed, else 1."""
    failed = False
    for check, problems in results.items():
        if problems:
            failed = True
            print(f"FAIL {check}")
            for problem in problems:
                print(f"     {problem}")
        else:
            print(f"ok   {check}")
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("package", choices=("zip", "deb"))
    parser.add_argument("--dist", type=Path, required=True)
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--with-command", action="store_true",
                        help="the release holds trackmaps too")
    parser.add_argument("--build-dir", type=Path, action="append", default=[],
                        help="a folder the packages must not name (more than once)")
    args = parser.parse_args()
    if args.package == "zip":
        traces = [str(args.source.resolve())] + [str(b.resolve()) for b in args.build_dir]
        results = zip_checks(args.dist, args.source, args.with_command, traces)
    else:
        results = deb_checks(args.dist, args.source)
    sys.exit(report(results))


if __name__ == "__main__":
    main()
