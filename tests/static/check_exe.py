#!/usr/bin/python3
"""Static checks of the built Windows executable: its headers, its imports and its resources.

Usage: check_exe.py --arch x86|x64 EXE
Prints one line per check, "ok" or "FAIL" with what differs, and exits 1 if any check failed.
Reads the file with Debian's python3-pefile and cross-checks the resource list with icoutils'
wrestool; runs no Windows code, so it checks the 32-bit build that cannot execute here.
"""

import argparse
import re
import struct
import subprocess
import sys

import pefile

# What each build must be: (optional-header magic, its name, COFF machine, its name).
ARCHES = {
    "x86": (0x10B, "PE32", 0x14C, "i386"),
    "x64": (0x20B, "PE32+", 0x8664, "AMD64"),
}
SUBSYSTEM_WINDOWS_GUI = 2
# The whole 4 GiB for a 32-bit process on 64-bit Windows and under Wine: without it, the 32-bit
# build held a track of at most about 1 GiB in one piece.
IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x20

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "comctl32.dll", "comdlg32.dll", "ole32.dll",
                "msvcrt.dll"}
# The wide form of a text call: its name ends in a capital W right after a lower-case letter or a
# digit (CreateFileW, lstrlenW, CreateWindowExW), as the "A" form ends in A.
W_FORM = re.compile(r"[a-z0-9]W$")

LANG_EN_US = 1033
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
RESOURCE_TYPE_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG",
                       6: "RT_STRING", 9: "RT_ACCELERATOR", 10: "RT_RCDATA", 12: "RT_GROUP_CURSOR",
                       14: "RT_GROUP_ICON", 16: "RT_VERSION", 24: "RT_MANIFEST"}
EXPECTED_RESOURCES = [(RT_ICON, 1, LANG_EN_US), (RT_GROUP_ICON, 102, LANG_EN_US),
                      (RT_VERSION, 1, LANG_EN_US)]

ICON_IMAGE_SIZE = 2216  # 40-byte header + 256 colours x 4 + 32x32 colour bytes + 32x32 bits of mask
# BITMAPINFOHEADER of an icon image: the height counts the colour rows and the mask rows.
EXPECTED_ICON_HEADER = {"biSize": 40, "biWidth": 32, "biHeight": 64, "biPlanes": 1,
                        "biBitCount": 8, "biCompression": 0}
# GRPICONDIRENTRY: width, height, colour count, reserved, planes, bit count, bytes, image id.
EXPECTED_GROUP_ENTRY = (32, 32, 0, 0, 1, 8, ICON_IMAGE_SIZE, 1)

EXPECTED_FIXED_VERSION = {
    "Signature": 0xFEEF04BD, "StrucVersion": 0x00010000,
    "FileVersionMS": 0x00010000, "FileVersionLS": 0x00000001,
    "ProductVersionMS": 0x00010000, "ProductVersionLS": 0x00000001,
    "FileFlagsMask": 0x3F, "FileFlags": 0, "FileOS": 4, "FileType": 1, "FileSubtype": 0,
    "FileDateMS": 0, "FileDateLS": 0,
}
EXPECTED_STRING_TABLES = {
    "040904B0": {
        "FileDescription": "Provides a unique name to the track map files of user made Trailfury"
                           " user made tracks.",
        "FileVersion": "1.00.0001",
        "ProductVersion": "1.00.0001",
    }
}
EXPECTED_VAR_FILE_INFO = {"Translation": "0x0409 0x04b0"}


def type_name(type_id):
    return RESOURCE_TYPE_NAMES.get(type_id, str(type_id))


def check_headers(pe, arch):
    """The file kind, the machine, the subsystem and the address space."""
    magic, magic_name, machine, machine_name = ARCHES[arch]
    problems = []
    if pe.OPTIONAL_HEADER.Magic != magic:
        problems.append(f"optional header magic is {pe.OPTIONAL_HEADER.Magic:#x}, "
                        f"not {magic:#x} ({magic_name})")
    if pe.FILE_HEADER.Machine != machine:
        problems.append(f"machine is {pe.FILE_HEADER.Machine:#x}, not {machine:#x} ({machine_name})")
    if pe.OPTIONAL_HEADER.Subsystem != SUBSYSTEM_WINDOWS_GUI:
        problems.append(f"subsystem is {pe.OPTIONAL_HEADER.Subsystem}, not 2 (Windows GUI)")
    if not pe.FILE_HEADER.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE:
        problems.append("not large-address-aware")
    return problems


def imports_of(pe):
    """[(dll in lower case, function name or "#ordinal")] of the plain and the delay-load imports."""
    found = []
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            dll = entry.dll.decode("ascii", "replace").lower()
            for imp in entry.imports:
                name = imp.name.decode("ascii", "replace") if imp.name else f"#{imp.ordinal}"
                found.append((dll, name))
    return found


def check_import_dlls(pe, arch):
    """Nothing is imported from any DLL but the six the program is built on."""
    dlls = sorted({dll for dll, _ in imports_of(pe)})
    return [f"imports from {dll}, which is not one of {sorted(ALLOWED_DLLS)}"
            for dll in dlls if dll not in ALLOWED_DLLS]


def check_text_calls(pe, arch):
    """Only "A" forms of text calls are imported, and every import is by name, so it can be told."""
    problems = []
    for dll, name in imports_of(pe):
        if name.startswith("#"):
            problems.append(f"{dll} {name} is imported by ordinal")
        elif W_FORM.search(name):
            problems.append(f"{dll} {name} is a wide (W) form")
    return problems


def check_common_controls(pe, arch):
    """InitCommonControls is linked by name; InitCommonControlsEx only looked up at run time."""
    found = imports_of(pe)
    problems = []
    if ("comctl32.dll", "InitCommonControls") not in found:
        problems.append("InitCommonControls is not imported from COMCTL32.DLL")
    problems += [f"InitCommonControlsEx is imported from {dll}"
                 for dll, name in found if name == "InitCommonControlsEx"]
    return problems


def resources_of(pe):
    """{(type id, name id, language id): data bytes}; a named (not numbered) entry gets its name."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        type_id = type_entry.id if type_entry.name is None else str(type_entry.name)
        for name_entry in type_entry.directory.entries:
            name_id = name_entry.id if name_entry.name is None else str(name_entry.name)
            for lang_entry in name_entry.directory.entries:
                data = lang_entry.data.struct
                found[(type_id, name_id, lang_entry.id)] = pe.get_data(data.OffsetToData, data.Size)
    return found


def wrestool_list(path):
    """{(type id, name id, language id): size} as icoutils' wrestool lists them."""
    out = subprocess.run(["wrestool", "--list", path], check=True, capture_output=True,
                         text=True).stdout
    found = {}
    for line in out.splitlines():
        match = re.match(r"--type=(\S+) --name=(\S+) --language=(\S+) \[.*size=(\d+)\]", line)
        if not match:
            raise ValueError(f"unexpected wrestool line: {line}")
        key = tuple(int(f) if f.isdigit() else f for f in match.groups()[:3])
        found[key] = int(match.group(4))
    return found


def check_resource_list(pe, path):
    """Exactly the icon image, the icon group and the version block, all in US English, and
    wrestool reads the same list."""
    found = resources_of(pe)
    problems = []
    for key in sorted(set(found) - set(EXPECTED_RESOURCES), key=str):
        problems.append(f"unexpected resource {type_name(key[0])} {key[1]} language {key[2]}")
    for key in EXPECTED_RESOURCES:
        if key not in found:
            problems.append(f"missing resource {type_name(key[0])} {key[1]} language {key[2]}")
    listed = wrestool_list(path)
    sizes = {key: len(data) for key, data in found.items()}
    if listed != sizes:
        problems.append(f"wrestool lists {listed}, pefile reads {sizes}")
    return problems


def resource(pe, type_id, name_id):
    """The data of the one resource of that type and name in US English, or None."""
    return resources_of(pe).get((type_id, name_id, LANG_EN_US))


def check_icon_image(pe, arch):
    """RT_ICON 1: one 32x32 image of 8 bits a pixel, 2216 bytes."""
    data = resource(pe, RT_ICON, 1)
    if data is None:
        return ["no RT_ICON 1 in US English"]
    problems = []
    if len(data) != ICON_IMAGE_SIZE:
        problems.append(f"RT_ICON 1 is {len(data)} bytes, not {ICON_IMAGE_SIZE}")
    if len(data) < 40:
        return problems + ["RT_ICON 1 is too short for a BITMAPINFOHEADER"]
    fields = ("biSize", "biWidth", "biHeight", "biPlanes", "biBitCount", "biCompression")
    header = dict(zip(fields, struct.unpack_from("<IiiHHI", data)))
    for field, want in EXPECTED_ICON_HEADER.items():
        if header[field] != want:
            problems.append(f"RT_ICON 1 {field} is {header[field]}, not {want}")
    return problems


def check_icon_group(pe, arch):
    """RT_GROUP_ICON 102: one entry that names image 1 with its exact format and size."""
    data = resource(pe, RT_GROUP_ICON, 102)
    if data is None:
        return ["no RT_GROUP_ICON 102 in US English"]
    if len(data) < 6:
        return [f"RT_GROUP_ICON 102 is {len(data)} bytes, too short for its header"]
    reserved, kind, count = struct.unpack_from("<HHH", data)
    problems = []
    if (reserved, kind, count) != (0, 1, 1):
        problems.append(f"RT_GROUP_ICON 102 header is (reserved {reserved}, type {kind}, "
                        f"count {count}), not (0, 1, 1)")
    if len(data) != 6 + 14 * count or count < 1:
        return problems + [f"RT_GROUP_ICON 102 is {len(data)} bytes for {count} entries"]
    entry = struct.unpack_from("<BBBBHHIH", data, 6)
    if entry != EXPECTED_GROUP_ENTRY:
        problems.append(f"RT_GROUP_ICON 102 entry is {entry}, not {EXPECTED_GROUP_ENTRY}")
    return problems


def check_version(pe, arch):
    """RT_VERSION 1: the fixed part and the strings, exactly."""
    if resource(pe, RT_VERSION, 1) is None:
        return ["no RT_VERSION 1 in US English"]
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        return ["RT_VERSION 1 has no fixed part"]
    problems = []
    fixed = pe.VS_FIXEDFILEINFO[0]
    for field, want in EXPECTED_FIXED_VERSION.items():
        got = getattr(fixed, field)
        if got != want:
            problems.append(f"fixed part {field} is {got:#x}, not {want:#x}")
    tables, variables = {}, {}
    for info in [e for group in getattr(pe, "FileInfo", []) for e in group]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode("ascii", "replace")] = {
                    k.decode("utf-8", "replace"): v.decode("utf-8", "replace")
                    for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                variables.update({k.decode("ascii", "replace"): v for k, v in var.entry.items()})
    problems += differences("StringFileInfo", tables, EXPECTED_STRING_TABLES)
    problems += differences("VarFileInfo", variables, EXPECTED_VAR_FILE_INFO)
    return problems


def differences(where, got, want):
    """What differs between two nested dictionaries of texts, one line per key."""
    if not isinstance(got, dict) or not isinstance(want, dict):
        return [] if got == want else [f"{where} is {got!r}, not {want!r}"]
    lines = [f"{where} has {key!r}, which it should not" for key in got if key not in want]
    lines += [f"{where} lacks {key!r}" for key in want if key not in got]
    for key in want:
        if key in got:
            lines += differences(f"{where} {key}", got[key], want[key])
    return lines


def run_checks(path, arch):
    """Runs every check on the file; returns {check name: [what differs]}."""
    pe = pefile.PE(path)
    return {
        "headers": check_headers(pe, arch),
        "import DLLs": check_import_dlls(pe, arch),
        "text calls": check_text_calls(pe, arch),
        "common controls": check_common_controls(pe, arch),
        "resource list": check_resource_list(pe, path),
        "icon image": check_icon_image(pe, arch),
        "icon group": check_icon_group(pe, arch),
        "version block": check_version(pe, arch),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=sorted(ARCHES), required=True)
    parser.add_argument("exe")
    args = parser.parse_args()
    try:
        results = run_checks(args.exe, args.arch)
    except (OSError, pefile.PEFormatError, subprocess.CalledProcessError) as error:
        print(f"FAIL {args.exe} cannot be read as a Windows executable: {error}")
        return 1
    for name, problems in results.items():
        print(f"{'ok  ' if not problems else 'FAIL'} {name}")
        for problem in problems:
            print(f"     {problem}")
    failed = [name for name, problems in results.items() if problems]
    print(f"{args.exe}: {len(results) - len(failed)} of {len(results)} checks passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
