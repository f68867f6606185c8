#!/usr/bin/env bash
# A full scan of a disk image against reading the same image with cat: how close the scan comes
# to the speed of the disk. Prints the best of three runs of each.
#
#   bench/scan-vs-cat.sh [--cold | --rate MB_PER_S] [IMAGE] [VLM]
#
# By default the page cache is warm, so cat runs at the speed of memory and the figure shows the
# scan's own cost. With --cold (root only) the page cache is dropped before every run
# (sync; echo 3 > /proc/sys/vm/drop_caches), so cat and the scans read from the disk itself: the
# comparison "at the speed of the disk" means. The image must then lie on a disk, not in tmpfs.
# A virtual machine's disk does not hold still (cat of the same image, cold, scatters by a factor
# of two from minute to minute), so --rate (root only; implies --cold) runs every command in a
# control group that lets it read the image's disk at MB_PER_S megabytes a second at most: a
# disk of that speed that holds still (200 is a hard disk, 550 a SATA SSD). It needs the blkio
# controller (cgroup v1) or the io controller (cgroup v2).
#
# Without IMAGE an image of SIZE_MIB (default 4096) MiB is made in a temporary folder (TMPDIR):
# random bytes (as compressed data and free space look) with a FAT32 file system laid over them
# holding the carving samples of tests/data/raw, when mkfs.fat and mtools are installed.
# Every vlm run also starts the program, looks at the volume and saves its result (about 50 ms
# whatever the size, shown on a 1 MiB image): a real disk is hundreds of times larger than
# the image, so the ratios are given with and without that fixed cost.
# VLM defaults to build/bin/vlm of this checkout. Scan results are saved into the temporary
# folder (HOME is pointed there), never into the user's own.
# The deep scan runs twice: with the types a user gets by default, and with every type
# (--types all).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cold=false
rate=""
if [ "${1:-}" = --cold ]; then
  cold=true
  shift
elif [ "${1:-}" = --rate ]; then
  cold=true
  rate=${2:?--rate needs megabytes a second}
  shift 2
  [[ "$rate" =~ ^[0-9]+$ ]] && [ "$rate" -gt 0 ] || { echo "--rate: not a number of MB/s: $rate" >&2; exit 1; }
fi
if $cold && [ "$(id -u)" != 0 ]; then
  echo "--cold and --rate drop the page cache and need root" >&2
  exit 1
fi
vlm=${2:-$here/build/bin/vlm}
tmp=$(mktemp -d)
group=""
cleanup() {
  [ -z "$group" ] || rmdir "$group" 2> /dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
image=${1:-}
if [ -z "$image" ]; then
  image=$tmp/scan-vs-cat.img
  head -c $((${SIZE_MIB:-4096} * 1024 * 1024)) /dev/urandom > "$image"
  if command -v mkfs.fat > /dev/null && command -v mcopy > /dev/null; then
    mkfs.fat -F 32 -n BENCH "$image" > /dev/null
    mcopy -s -i "$image" "$here"/tests/data/raw/* ::/
  fi
fi
[ -x "$vlm" ] || { echo "no vlm at $vlm (build it, or give its path)" >&2; exit 1; }
export HOME=$tmp XDG_DATA_HOME=$tmp/share

# Wall seconds of the fastest of three runs of "$@".
best() {
  local best="" t0 t1
  for _ in 1 2 3; do
    if $cold; then
      sync
      echo 3 > /proc/sys/vm/drop_caches
    fi
    t0=$(date +%s.%N)
    # A scan that finds nothing ends with a non-zero status; it still read the whole image.
    if [ -n "$group" ]; then
      sh -c 'echo $$ > "$0/cgroup.procs" && exec "$@"' "$group" "$@" > /dev/null 2>&1 || true
    else
      "$@" > /dev/null 2>&1 || true
    fi
    t1=$(date +%s.%N)
    best=$(awk -v a="$t0" -v b="$t1" -v c="$best" 'BEGIN { d = b - a; if (c == "" || d < c) print d; else print c }')
  done
  echo "$best"
}

# The whole disk under the file system that holds FILE, as major:minor (throttling is set per disk).
disk_of() {
  local dev sys
  dev=$(stat -c '%Hd:%Ld' "$1")
  sys=$(readlink -f "/sys/dev/block/$dev") || return 1
  [ -e "$sys/dev" ] || return 1
  [ ! -e "$sys/partition" ] || sys=$(dirname "$sys")
  cat "$sys/dev"
}

# A control group whose reads of DISK are held to RATE MB/s; prints its folder.
throttled_group() {
  local disk=$1 bps=$(($2 * 1000000)) g
  if [ -e /sys/fs/cgroup/blkio/cgroup.procs ]; then
    g=/sys/fs/cgroup/blkio/vlm-scan-vs-cat-$$
    mkdir "$g" && echo "$disk $bps" > "$g/blkio.throttle.read_bps_device" || return 1
  elif grep -qw io /sys/fs/cgroup/cgroup.controllers 2> /dev/null; then
    grep -qw io /sys/fs/cgroup/cgroup.subtree_control || echo +io > /sys/fs/cgroup/cgroup.subtree_control
    g=/sys/fs/cgroup/vlm-scan-vs-cat-$$
    mkdir "$g" && echo "$disk rbps=$bps" > "$g/io.max" || return 1
  else
    return 1
  fi
  echo "$g"
}

if $cold; then
  [ "$(stat -f -c %T "$image")" != tmpfs ] || { echo "--cold: $image lies in tmpfs, not on a disk" >&2; exit 1; }
  if [ -n "$rate" ]; then
    disk=$(disk_of "$image") || { echo "--rate: no block device found under $image" >&2; exit 1; }
    group=$(throttled_group "$disk" "$rate") || { echo "--rate: no control group can throttle reads here" >&2; exit 1; }
  fi
else
  cat "$image" > /dev/null   # into the page cache
fi
bytes=$(stat -L -c %s "$image")
t_cat=$(best sh -c 'cat "$0" > /dev/null' "$image")
t_fs=$(best "$vlm" --image "$image" --no-machine-devices -y scan 0 --save "$tmp/fs.rrs")
t_default=$(best "$vlm" --image "$image" --no-machine-devices -y scan 0 --deep-only --save "$tmp/default.rrs")
t_deep=$(best "$vlm" --image "$image" --no-machine-devices -y scan 0 --deep-only --types all --save "$tmp/deep.rrs")
head -c $((1024 * 1024)) /dev/zero > "$tmp/fixed.img"
t_fixed=$(best "$vlm" --image "$tmp/fixed.img" --no-machine-devices -y scan 0 --deep-only --types all --save "$tmp/fixed.rrs")
echo "image: $image ($bytes bytes), page cache: $($cold && echo "dropped before each run" || echo warm)," \
     "${rate:+reads held to $rate MB/s, }load: $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v n="$bytes" -v c="$t_cat" -v f="$t_fs" -v t="$t_default" -v d="$t_deep" -v x="$t_fixed" 'BEGIN {
  printf "cat                      %7.3f s  %6.2f GB/s\n", c, n / c / 1e9
  printf "scan (file systems)      %7.3f s  %6.2f GB/s  %.2f x cat  (%.2f x without the fixed cost)\n", f, n / f / 1e9, f / c, (f - x) / c
  printf "deep scan, default types %7.3f s  %6.2f GB/s  %.2f x cat  (%.2f x without the fixed cost)\n", t, n / t / 1e9, t / c, (t - x) / c
  printf "deep scan, every type    %7.3f s  %6.2f GB/s  %.2f x cat  (%.2f x without the fixed cost)\n", d, n / d / 1e9, d / c, (d - x) / c
  printf "fixed cost               %7.3f s  (start, look at the volume, save the result: a 1 MiB image)\n", x
}'
