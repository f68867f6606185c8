#!/usr/bin/env bash
# Imaging throughput: `vlm image` against `dd bs=1M conv=fsync` on the same healthy loop device,
# alternating runs, medians printed. Needs root (losetup).
#   bench/imaging-vs-dd.sh [SIZE_MIB] [RUNS] [TARGET_DIR]
# VLM names the vlm binary (default build/bin/vlm).
set -euo pipefail
size=${1:-1024} runs=${2:-6} dir=${3:-${TMPDIR:-/tmp}}
vlm=${VLM:-build/bin/vlm}
[ "$(id -u)" = 0 ] || { echo "needs root for losetup" >&2; exit 2; }
work=$(mktemp -d "$dir/vlm-imaging.XXXXXX")
loop=
cleanup() { [ -n "$loop" ] && losetup -d "$loop"; rm -rf "$work"; }
trap cleanup EXIT
head -c $((size * 1048576)) /dev/urandom > "$work/source.img"
loop=$(losetup -f --show -r "$work/source.img")
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
seconds() {
  local t0 t1; t0=$(date +%s.%N)
  "$@" >/dev/null 2>"$work/err" || { echo "failed: $* ($(head -c 300 "$work/err"))" >&2; exit 1; }
  t1=$(date +%s.%N); echo "$t1 - $t0" | bc
}
: > "$work/vlm.times"; : > "$work/dd.times"
for i in $(seq 1 "$runs"); do
  rm -f "$work/out.img"; sync; sleep 2
  seconds "$vlm" --no-machine-devices image "$loop" --to "$work/out.img" >> "$work/vlm.times"
  cmp -s "$work/out.img" "$work/source.img" || { echo "vlm image: the copy differs" >&2; exit 1; }
  rm -f "$work/out.img"; sync; sleep 2
  seconds dd if="$loop" of="$work/out.img" bs=1M conv=fsync status=none >> "$work/dd.times"
done
v=$(median < "$work/vlm.times"); d=$(median < "$work/dd.times")
echo "size ${size} MiB, ${runs} runs each, target $dir, load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "vlm image median ${v} s; dd median ${d} s; vlm throughput / dd throughput = $(echo "scale=2; $d / $v" | bc)"
