#!/usr/bin/env bash
# Runs the full-disk test program with a small tmpfs mounted for it (256 KiB, 32 inodes) and
# unmounts it afterwards. The program finds the mount in TMF_FULL_DISK; under Wine (TMF_EMULATOR
# set) as a Z: path. Exits 77, which CTest reports as skipped, when the kernel refuses the mount.
set -u
program=$1
mountpoint=$(mktemp -d /tmp/trackmapfix-full-XXXXXX)
if ! timeout 10 mount -t tmpfs -o size=256k,nr_inodes=32,mode=0777 tmpfs "$mountpoint" 2>/dev/null; then
  echo "skipped: mounting a tmpfs was refused here (it needs root and a kernel that allows it)"
  rmdir "$mountpoint"
  exit 77
fi
unmount() {
  # Wine's server may hold the folder a moment longer than the program: then detach it lazily.
  timeout 10 umount "$mountpoint" 2>/dev/null || timeout 10 umount -l "$mountpoint"
  rmdir "$mountpoint"
}
trap unmount EXIT

if [ -n "${TMF_EMULATOR:-}" ]; then
  TMF_FULL_DISK="Z:${mountpoint//\//\\}" "$TMF_EMULATOR" "$program"
else
  TMF_FULL_DISK=$mountpoint "$program"
fi
