#!/usr/bin/python3
"""The release is reproducible: packaging a copy of the sources in another folder gives the same
bytes as the reference packages.

Usage: reproducible.py --source DIR --dist DIR --work DIR
Copies the sources of DIR (the files git knows, as they are in the working tree) into a folder of
a different name and depth under WORK, runs its scripts/package with build and dist folders there,
and compares every file of the new dist with the one in DIST. Exits 1 on any difference, naming
the zip entries that differ.
"""

import argparse
import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_package  # noqa: E402


def copy_sources(source, target):
    """Copies what git tracks or would track (untracked files not ignored) from source to target."""
    listed = subprocess.run(["git", "-C", str(source), "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], check=True, capture_output=True).stdout
    for name in sorted(set(listed.decode().split("\0")) - {""}):
        path = source / name
        if path.is_file():  # a file deleted in the working tree is still listed
            (target / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(path, target / name)


def zip_differences(a, b):
    """Which entries of two zips differ, and in what."""
    with zipfile.ZipFile(a) as first, zipfile.ZipFile(b) as second:
        lines = []
        names = [info.filename for info in first.infolist()]
        if names != [info.filename for info in second.infolist()]:
            lines.append(f"entries {names} against {second.namelist()}")
        for info in first.infolist():
            if info.filename not in second.namelist():
                continue
            other = second.getinfo(info.filename)
            if first.read(info) != second.read(other):
                lines.append(f"{info.filename}: contents differ")
            if (info.date_time, info.external_attr) != (other.date_time, other.external_attr):
                lines.append(f"{info.filename}: time or attributes differ")
        return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--dist", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    args = parser.parse_args()
    source = args.source.resolve()

    shutil.rmtree(args.work, ignore_errors=True)
    copy = args.work / "another" / "checkout" / "of-the-sources"
    copy_sources(source, copy)
    # The copy has no history: it gets the time of the reference's commit.
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(check_package.source_date_epoch(source)))
    dist = args.work / "dist"
    subprocess.run([str(copy / "scripts" / "package"), "--build-dir", str(args.work / "build"),
                    "--dist", str(dist)], check=True, env=env, stdout=subprocess.DEVNULL)

    reference = sorted(path.name for path in args.dist.iterdir())
    rebuilt = sorted(path.name for path in dist.iterdir())
    failed = reference != rebuilt
    if failed:
        print(f"FAIL the packages are {rebuilt}, not {reference}")
    for name in reference:
        if name not in rebuilt:
            continue
        if (args.dist / name).read_bytes() == (dist / name).read_bytes():
            print(f"ok   {name} is byte for byte the same")
            continue
        failed = True
        print(f"FAIL {name} differs")
        if name.endswith(".zip"):
            for line in zip_differences(args.dist / name, dist / name):
                print(f"     {line}")
    if not failed:
        shutil.rmtree(args.work)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
