#!/usr/bin/python3
"""Static checks of the Track Library window's executable, tracklibrary.exe: its headers, its use
of the wide Windows API, its manifest, its icon and its version block.

Usage: check_window_exe.py --arch x86|x64 EXE
Prints one line per check, "ok" or "FAIL" with what differs, and exits 1 if any check failed.
"""

import argparse
import re
import sys
import xml.etree.ElementTree as ElementTree

import pefile

import check_exe

RT_MANIFEST = 24
# The window's own calls: a text call of these DLLs in its "A" form would lose the names of
# tracks outside the ANSI code page.
WINDOW_DLLS = {"user32.dll", "comctl32.dll", "comdlg32.dll", "shell32.dll"}
A_FORM = re.compile(r"[a-z0-9]A$")
ASM_V1, ASM_V3 = "urn:schemas-microsoft-com:asm.v1", "urn:schemas-microsoft-com:asm.v3"


def check_window_calls(pe, arch):
    return [f"{dll} {name} is an ANSI (A) form" for dll, name in check_exe.imports_of(pe)
            if dll in WINDOW_DLLS and A_FORM.search(name)]


def check_manifest(pe, arch):
    """RT_MANIFEST 1: common controls 6, PerMonitorV2 DPI awareness, run as the invoker."""
    data = check_exe.resource(pe, RT_MANIFEST, 1)
    if data is None:
        return ["no RT_MANIFEST 1 in US English"]
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        return [f"the manifest is not XML: {error}"]
    problems = []
    controls = [identity.attrib for identity in root.iter(f"{{{ASM_V1}}}assemblyIdentity")
                if identity.get("name") == "Microsoft.Windows.Common-Controls"]
    if [c.get("version") for c in controls] != ["6.0.0.0"]:
        problems.append(f"common controls dependencies are {controls}, not one of version 6.0.0.0")
    awareness = [element.text or "" for element in root.iter()
                 if element.tag.endswith("}dpiAwareness")]
    if not awareness or awareness[0].split(",")[0].strip() != "PerMonitorV2":
        problems.append(f"dpiAwareness is {awareness}, not PerMonitorV2 first")
    levels = [element.get("level") for element in root.iter(f"{{{ASM_V3}}}requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        problems.append(f"requested execution levels are {levels}, not asInvoker")
    return problems


def check_version(pe, arch):
    """RT_VERSION 1 with the project's version numbers."""
    if check_exe.resource(pe, check_exe.RT_VERSION, 1) is None or not getattr(
            pe, "VS_FIXEDFILEINFO", None):
        return ["no RT_VERSION 1 with a fixed part in US English"]
    fixed = pe.VS_FIXEDFILEINFO[0]
    want = check_exe.EXPECTED_FIXED_VERSION
    return [f"fixed part {field} is {getattr(fixed, field):#x}, not {want[field]:#x}"
            for field in ("FileVersionMS", "FileVersionLS", "FileType")
            if getattr(fixed, field) != want[field]]


def run_checks(path, arch):
    pe = pefile.PE(path)
    return {
        "headers": check_exe.check_headers(pe, arch),
        "window calls": check_window_calls(pe, arch),
        "manifest": check_manifest(pe, arch),
        "icon image": check_exe.check_icon_image(pe, arch),
        "icon group": check_exe.check_icon_group(pe, arch),
        "version block": check_version(pe, arch),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=sorted(check_exe.ARCHES), required=True)
    parser.add_argument("exe")
    args = parser.parse_args()
    try:
        results = run_checks(args.exe, args.arch)
    except (OSError, pefile.PEFormatError) as error:
        print(f"FAIL {args.exe} cannot be read as a Windows executable: {error}")
        return 1
    for name, problems in results.items():
        print(f"{'FAIL' if problems else 'ok  '} {name}")
        for problem in problems:
            print(f"     {problem}")
    return 1 if any(results.values()) else 0


if __name__ == "__main__":
    sys.exit(main())
