#!/usr/bin/env bash
# Runs the disk test program with two file systems mounted for it and unmounts them afterwards:
# a small tmpfs (256 KiB, 32 inodes) named in TMF_FULL_DISK, and a FAT image through FUSE
# (fusefat: no rename that refuses to replace, no hard links) named in TMF_FAT_DISK. Under Wine
# (TMF_EMULATOR set) they are named as Z: paths. A mount the kernel refuses is left out; exits 77,
# which CTest reports as skipped, when both are.
set -u
program=$1
work=$(mktemp -d /tmp/trackmapfix-disks-XXXXXX)
mkdir "$work/full" "$work/fat"
full=
fat=
if timeout 10 mount -t tmpfs -o size=256k,nr_inodes=32,mode=0777 tmpfs "$work/full" 2>/dev/null; then
  full=$work/full
fi
if dd if=/dev/zero of="$work/fat.img" bs=1M count=4 status=none &&
  mkfs.fat "$work/fat.img" >/dev/null 2>&1 &&
  timeout 10 fusefat -o rw+ "$work/fat.img" "$work/fat" >/dev/null 2>&1; then
  fat=$work/fat
fi
unmount() {
  # Wine's server may hold a folder a moment longer than the program: then detach it lazily.
  for mounted in $full $fat; do
    timeout 10 umount "$mounted" 2>/dev/null || timeout 10 umount -l "$mounted"
  done
  rm -rf "$work"
}
trap unmount EXIT
if [ -z "$full$fat" ]; then
  echo "skipped: mounting a tmpfs and a FUSE file system were refused here (they need root)"
  exit 77
fi

windows() { [ -n "$1" ] && echo "Z:${1//\//\\}"; }
if [ -n "${TMF_EMULATOR:-}" ]; then
  TMF_FULL_DISK=$(windows "$full") TMF_FAT_DISK=$(windows "$fat") "$TMF_EMULATOR" "$program"
else
  TMF_FULL_DISK=$full TMF_FAT_DISK=$fat "$program"
fi
