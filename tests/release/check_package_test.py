#!/usr/bin/python3
"""Tests of the zip checks: copies of the real zip with one fault each must fail the right check.

Usage: check_package_test.py --dist DIR --source DIR [--with-command]
"""

import argparse
import hashlib
import shutil
import struct
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

import check_package


def entries_of(zip_path):
    """[(ZipInfo, bytes)] of a zip, in its order."""
    with zipfile.ZipFile(zip_path) as archive:
        return [(info, archive.read(info)) for info in archive.infolist()]


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w") as archive:
        for info, data in entries:
            archive.writestr(info, data, compresslevel=1)  # quick; no check reads the level


def replace_data(entries, name, change):
    return [(info, change(data) if info.filename == name else data) for info, data in entries]


def with_link_time(exe):
    """The executable with a link time in its COFF header, as a linker writes by default."""
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    return exe[:header + 8] + struct.pack("<I", 0x6B170ED0) + exe[header + 12:]


def console(exe):
    """The executable with the console subsystem in its optional header."""
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    at = header + 24 + 68  # PE signature and COFF header, then Subsystem in the optional header
    return exe[:at] + struct.pack("<H", 3) + exe[at + 2:]


def with_symbols(exe):
    """The executable with a COFF symbol table named in its header, as an unstripped link has."""
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    return exe[:header + 12] + struct.pack("<II", len(exe), 1) + exe[header + 20:]


def set_info(entries, name, **fields):
    for info, _ in entries:
        if info.filename == name:
            for field, value in fields.items():
                setattr(info, field, value)
    return entries


# (case, fault made in the entries, the checks that must fail, and no others)
CASES = [
    ("untouched copy", lambda e: e, set()),
    ("README.txt with LF line ends",
     lambda e: replace_data(e, "README.txt", lambda d: d.replace(b"\r\n", b"\n")), {"README.txt"}),
    ("README.txt with one LF line end",
     lambda e: replace_data(e, "README.txt", lambda d: d.replace(b"\r\n", b"\n", 1)),
     {"README.txt"}),
    ("LICENSE.txt with LF line ends",
     lambda e: replace_data(e, "LICENSE.txt", lambda d: d.replace(b"\r\n", b"\n")),
     {"LICENSE.txt"}),
    ("entries in name order", lambda e: sorted(e, key=lambda entry: entry[0].filename),
     {"entries"}),
    ("LICENSE.txt missing", lambda e: [entry for entry in e if entry[0].filename != "LICENSE.txt"],
     {"entries", "LICENSE.txt"}),
    ("README.txt with the packaging time",
     lambda e: set_info(e, "README.txt", date_time=(2030, 1, 2, 3, 4, 6)), {"entries"}),
    ("trackmapfix.exe with Unix attributes",
     lambda e: set_info(e, "trackmapfix.exe", create_system=3, external_attr=0o100755 << 16),
     {"entries"}),
    ("trackmapfix.exe stored uncompressed",
     lambda e: set_info(e, "trackmapfix.exe", compress_type=zipfile.ZIP_STORED), {"entries"}),
    ("trackmapfix.exe with its link time",
     lambda e: replace_data(e, "trackmapfix.exe", with_link_time), {"programs"}),
    ("trackmapfix.exe naming the source folder",
     lambda e: replace_data(e, "trackmapfix.exe", lambda d: d + str(SOURCE.resolve()).encode()),
     {"programs"}),
    ("trackmapfix.exe for the console",
     lambda e: replace_data(e, "trackmapfix.exe", console), {"programs"}),
    ("trackmapfix.exe not stripped",
     lambda e: replace_data(e, "trackmapfix.exe", with_symbols), {"programs"}),
    ("tracklibrary.exe for the console",
     lambda e: replace_data(e, "tracklibrary.exe", console), {"programs"}),
    ("tracklibrary.exe missing",
     lambda e: [entry for entry in e if entry[0].filename != "tracklibrary.exe"], {"entries"}),
]


class CheckPackageTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.dist = Path(folder.name)
        self.version = check_package.version_of(SOURCE)
        self.zip_name = f"trackmapfix-{self.version}-win32.zip"
        self.deb_name = f"trackmaps_{self.version}_amd64.deb"

    def faulty_dist(self, fault, stale_sums=False):
        """A dist folder whose zip has the fault; SHA256SUMS matches it unless stale_sums."""
        write_zip(self.dist / self.zip_name, fault(entries_of(DIST / self.zip_name)))
        names = [self.zip_name]
        if WITH_COMMAND:
            shutil.copyfile(DIST / self.deb_name, self.dist / self.deb_name)
            names.append(self.deb_name)
        if stale_sums:
            shutil.copyfile(DIST / "SHA256SUMS", self.dist / "SHA256SUMS")
        else:
            (self.dist / "SHA256SUMS").write_text("".join(
                f"{hashlib.sha256((self.dist / n).read_bytes()).hexdigest()}  {n}\n"
                for n in sorted(names)))

    def failed_checks(self):
        results = check_package.zip_checks(self.dist, SOURCE, WITH_COMMAND, [str(SOURCE.resolve())])
        return {check for check, problems in results.items() if problems}, results

    def test_each_fault_fails_exactly_its_checks(self):
        for name, fault, must_fail in CASES:
            with self.subTest(name):
                self.faulty_dist(fault)
                failed, results = self.failed_checks()
                self.assertEqual(failed, must_fail, results)

    def test_stale_checksum_fails_the_sums(self):
        self.faulty_dist(lambda e: replace_data(e, "README.txt", lambda d: d + b"\r\n"),
                         stale_sums=True)
        failed, results = self.failed_checks()
        self.assertEqual(failed, {"SHA256SUMS"}, results)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dist", type=Path, required=True)
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--with-command", action="store_true")
    args, rest = parser.parse_known_args()
    DIST, SOURCE, WITH_COMMAND = args.dist, args.source, args.with_command
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
