#!/usr/bin/python3
"""Proves that each static check of check_exe.py catches the fault it is there for.

Usage: check_exe_test.py --arch x86|x64 EXE
Each case writes a copy of the good executable with one fault patched in (with python3-pefile)
and asserts that exactly the checks meant to notice it fail, and that the untouched copy passes.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_exe  # noqa: E402

EXE = ARCH = None  # set from the command line before the tests run


def patch_bytes(pe, rva, new):
    """Queues bytes to overwrite in the written copy: pefile's write() puts back the version
    strings it parsed, so a change made in its buffer could be silently undone."""
    pe.raw_patches.append((pe.get_offset_from_rva(rva), new))


def imports(pe):
    return [(entry, imp) for entry in pe.DIRECTORY_ENTRY_IMPORT for imp in entry.imports]


def import_named(pe, predicate):
    """The first by-name import whose (dll in lower case, name) satisfies predicate."""
    for entry, imp in imports(pe):
        if imp.name and predicate(entry.dll.decode().lower(), imp.name.decode()):
            return imp
    raise AssertionError("the executable has no import to patch for this case")


def rename_import(pe, predicate, new_name):
    """Overwrites an import's name in place; the new name may not be longer."""
    imp = import_named(pe, predicate)
    if len(new_name) > len(imp.name):
        raise AssertionError(f"{new_name} does not fit over {imp.name}")
    patch_bytes(pe, pe.get_rva_from_offset(imp.name_offset), new_name.encode() + b"\0")


def rename_dll(pe, dll, new_name):
    """Overwrites the name of an imported DLL in place; the new name may not be longer."""
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        if entry.dll.decode().lower() == dll and len(new_name) <= len(entry.dll):
            patch_bytes(pe, entry.struct.Name, new_name.encode().ljust(len(entry.dll), b"\0"))
            return
    raise AssertionError(f"no import from {dll} to rename")


def widen_import(pe, dll):
    """Turns the first "A" form imported from dll into its "W" form."""
    imp = import_named(pe, lambda d, name: d == dll and name.endswith("A"))
    patch_bytes(pe, pe.get_rva_from_offset(imp.name_offset) + len(imp.name) - 1, b"W")


def resource_entries(pe, type_id, name_id):
    """(type entry, name entry, language entry) of one resource."""
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != type_id:
            continue
        for name_entry in type_entry.directory.entries:
            if name_entry.id == name_id:
                return type_entry, name_entry, name_entry.directory.entries[0]
    raise AssertionError(f"no resource {type_id} {name_id}")


def patch_resource(pe, type_id, name_id, old, new):
    """Replaces the first occurrence of old in a resource's data by new, of the same length."""
    data = resource_entries(pe, type_id, name_id)[2].data.struct
    content = pe.get_data(data.OffsetToData, data.Size)
    at = content.find(old)
    if at < 0 or len(old) != len(new):
        raise AssertionError(f"cannot patch {old!r} in resource {type_id} {name_id}")
    patch_bytes(pe, data.OffsetToData + at, new)


def set_language(pe, type_id, name_id, language):
    resource_entries(pe, type_id, name_id)[2].struct.Name = language


def set_type(pe, type_id, new_type_id):
    resource_entries(pe, type_id, 1)[0].struct.Name = new_type_id


def utf16(text):
    return text.encode("utf-16-le")


def set_field(structure, field, value):
    setattr(structure, field, value)


# (case, fault patched into a copy, the checks that must fail, and no others)
CASES = [
    ("untouched copy", lambda pe: None, set()),
    ("console subsystem", lambda pe: set_field(pe.OPTIONAL_HEADER, "Subsystem", 3), {"headers"}),
    ("ARM machine", lambda pe: set_field(pe.FILE_HEADER, "Machine", 0x1C4), {"headers"}),
    ("2 GiB of address space",
     lambda pe: set_field(pe.FILE_HEADER, "Characteristics", pe.FILE_HEADER.Characteristics
                          & ~check_exe.IMAGE_FILE_LARGE_ADDRESS_AWARE),
     {"headers"}),
    ("DLL outside the six", lambda pe: rename_dll(pe, "user32.dll", "GDI32.dll"),
     {"import DLLs"}),
    ("wide form of a kernel call", lambda pe: widen_import(pe, "kernel32.dll"), {"text calls"}),
    ("wide form of a window call", lambda pe: widen_import(pe, "user32.dll"), {"text calls"}),
    ("InitCommonControls missing",
     lambda pe: rename_import(pe, lambda dll, name: name == "InitCommonControls",
                              "InitCommonControlZ"), {"common controls"}),
    ("InitCommonControlsEx imported",
     lambda pe: rename_import(pe, lambda dll, name: len(name) >= len("InitCommonControlsEx")
                              and name != "InitCommonControls", "InitCommonControlsEx"),
     {"common controls"}),
    ("icon in German", lambda pe: set_language(pe, check_exe.RT_ICON, 1, 1031),
     {"resource list", "icon image"}),
    ("version block in German", lambda pe: set_language(pe, check_exe.RT_VERSION, 1, 1031),
     {"resource list", "version block"}),
    ("manifest instead of version block",
     lambda pe: set_type(pe, check_exe.RT_VERSION, 24), {"resource list", "version block"}),
    ("icon of 4 bits a pixel",
     lambda pe: patch_resource(pe, check_exe.RT_ICON, 1, b"\x01\x00\x08\x00", b"\x01\x00\x04\x00"),
     {"icon image"}),
    ("icon group names image 2",
     lambda pe: patch_resource(pe, check_exe.RT_GROUP_ICON, 102, b"\xa8\x08\x00\x00\x01\x00",
                               b"\xa8\x08\x00\x00\x02\x00"), {"icon group"}),
    ("icon group of 16 colours",
     lambda pe: patch_resource(pe, check_exe.RT_GROUP_ICON, 102, b"\x20\x20\x00",
                               b"\x20\x20\x10"), {"icon group"}),
    ("file version 1.0.0.2",
     lambda pe: set_field(pe.VS_FIXEDFILEINFO[0], "FileVersionLS", 2), {"version block"}),
    ("debug build flag",
     lambda pe: set_field(pe.VS_FIXEDFILEINFO[0], "FileFlags", 1), {"version block"}),
    ("file version text 1.00.0002",
     lambda pe: patch_resource(pe, check_exe.RT_VERSION, 1, utf16("1.00.0001"),
                               utf16("1.00.0002")), {"version block"}),
    ("description in other words",
     lambda pe: patch_resource(pe, check_exe.RT_VERSION, 1, utf16("Trailfury"),
                               utf16("TrailFury")), {"version block"}),
    ("string table for code page 1252",
     lambda pe: patch_resource(pe, check_exe.RT_VERSION, 1, utf16("040904B0"),
                               utf16("040904E4")), {"version block"}),
    ("translation for code page 1252",
     lambda pe: patch_resource(pe, check_exe.RT_VERSION, 1, b"\x09\x04\xb0\x04",
                               b"\x09\x04\xe4\x04"), {"version block"}),
]


class CheckExeTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.folder = folder.name

    def faulty_copy(self, name, patch):
        pe = pefile.PE(EXE)
        pe.raw_patches = []
        patch(pe)
        path = os.path.join(self.folder, name.replace(" ", "_") + ".exe")
        pe.write(path)
        pe.close()
        with open(path, "r+b") as copy:
            for offset, new in pe.raw_patches:
                copy.seek(offset)
                copy.write(new)
        return path

    def test_each_fault_fails_exactly_its_checks(self):
        for name, patch, must_fail in CASES:
            with self.subTest(name):
                results = check_exe.run_checks(self.faulty_copy(name, patch), ARCH)
                failed = {check for check, problems in results.items() if problems}
                self.assertEqual(failed, must_fail, results)

    def test_command_line_reports_what_differs_and_fails(self):
        path = self.faulty_copy("console", CASES[1][1])
        run = subprocess.run([sys.executable, check_exe.__file__, "--arch", ARCH, path],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        self.assertIn("FAIL headers", run.stdout)
        self.assertIn("subsystem is 3, not 2 (Windows GUI)", run.stdout)

    def test_command_line_passes_the_untouched_file(self):
        path = os.path.join(self.folder, "good.exe")
        shutil.copyfile(EXE, path)
        run = subprocess.run([sys.executable, check_exe.__file__, "--arch", ARCH, path],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertNotIn("FAIL", run.stdout)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=sorted(check_exe.ARCHES), required=True)
    parser.add_argument("exe")
    args, rest = parser.parse_known_args()
    EXE, ARCH = args.exe, args.arch
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
