#!/usr/bin/env bash
# Side-by-side timings against the open-source recovery tools, run by hand (not in CI):
#   listing   `vlm ls --json` and `vlm ls` against `fls -r`, on a FAT32 and an NTFS image of
#             LISTING_FILES small files (time and peak memory)
#   recover   `vlm recover` of everything against `tsk_recover -a` on the same images
#   carve     deep scan + recovery against PhotoRec on CARVE_MIB of random data with the
#             carving samples planted in it: time, and how many planted files each tool got
#             back byte for byte
# Usage: bench/peers.sh [BUILD_DIR] [PART...]   (default: build, all parts)
# Sizes: LISTING_FILES (150000), LISTING_PER_FOLDER (1000), CARVE_MIB (2048), CARVE_COPIES
# (copies of each sample, 4); WORK (a scratch folder, /tmp/vlm-peers) keeps the images between
# runs, and PhotoRec's log. Needs root for the ntfs-3g mount that fills the NTFS image. Every
# program runs with its output to files in WORK; timings are wall-clock seconds and peak RSS
# from /usr/bin/time.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build}
shift || true
parts=${*:-listing recover carve}
vlm=$build/bin/vlm
files=${LISTING_FILES:-150000}
per=${LISTING_PER_FOLDER:-1000}
carve_mib=${CARVE_MIB:-2048}
copies=${CARVE_COPIES:-4}
work=${WORK:-/tmp/vlm-peers}
export SAMPLES=$repo/tests/data/raw
mkdir -p "$work"
[ -x "$vlm" ] || { echo "peers: $vlm not built" >&2; exit 1; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "load: $(uptime)"

# Runs a command with its standard output to $work/out.<tag>; prints "<seconds> <peak KiB>".
measure() {
  local tag=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time.$tag" "$@" >"$work/out.$tag" 2>"$work/err.$tag" ||
    echo "peers: $* failed, see $work/err.$tag" >&2
  tail -n 1 "$work/time.$tag"
}
ratio() { python3 -c "import sys; a, b = float(sys.argv[1]), float(sys.argv[2]); print('%.2f' % (a / b if b else float('nan')))" "$1" "$2"; }

make_fat() {
  local img=$work/fat-$files.img
  if [ ! -s "$img" ]; then
    # One 512-byte cluster per file, folders and tables: about 600 bytes a file.
    truncate -s $(( (files * 600 / 1048576 + 48) * 1048576 )) "$img.tmp"  # FAT32 wants 65,525 clusters
    mkfs.fat -F 32 -s 1 -n LISTING "$img.tmp" >/dev/null
    python3 "$here/peers/fat_fill.py" "$img.tmp" "$files" "$per"
    mv "$img.tmp" "$img"
  fi
  echo "$img"
}

make_ntfs() {
  local img=$work/ntfs-$files.img mnt=$work/mnt
  if [ ! -s "$img" ]; then
    # A 1 KiB file record per file (the files are small enough to be resident).
    truncate -s $(( (files * 2048 / 1048576 + 64) * 1048576 )) "$img.tmp"
    mkntfs -F -Q -q -L LISTING "$img.tmp" >/dev/null 2>&1
    mkdir -p "$mnt"
    ntfs-3g "$img.tmp" "$mnt"
    python3 - "$mnt" "$files" "$per" <<'EOF'
import os, sys
root, n, per = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(n):
    d = os.path.join(root, "D%04d" % (i // per))
    if i % per == 0:
        os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "F%07d.TXT" % i), "w") as f:
        f.write("file %d\n" % i)
EOF
    umount "$mnt"
    mv "$img.tmp" "$img"
  fi
  echo "$img"
}

# The volume number vlm gives the image's file system (the first volume that has one).
vlm_volume() {
  "$vlm" --no-machine-devices --image "$1" devices --json |
    python3 -c "import json, sys; print(next(r['volume'] for r in json.load(sys.stdin) if r['file_system'] and r['volume'] > 0))"
}

listing() {
  echo
  echo "== listing: $files files in folders of $per"
  printf "%-6s %-16s %8s %10s\n" image tool seconds "peak MiB"
  for kind in fat ntfs; do
    local img vol
    img=$(make_$kind)
    vol=$(vlm_volume "$img")
    read -r tj mj < <(measure json "$vlm" --no-machine-devices --image "$img" ls "$vol" --json)
    python3 -m json.tool "$work/out.json" >/dev/null || echo "peers: ls --json gave invalid JSON" >&2
    read -r tt mt < <(measure text "$vlm" --no-machine-devices --image "$img" ls "$vol")
    read -r tf mf < <(measure fls fls -r "$img")
    for row in "vlm ls --json:$tj:$mj" "vlm ls:$tt:$mt" "fls -r:$tf:$mf"; do
      IFS=: read -r name t m <<<"$row"
      printf "%-6s %-16s %8s %10s\n" "$kind" "$name" "$t" "$((m / 1024))"
    done
    echo "$kind: ls --json / ls = $(ratio "$tj" "$tt"), ls --json / fls -r = $(ratio "$tj" "$tf")," \
         "entries: vlm $(grep -c '"path"' "$work/out.json"), fls $(wc -l <"$work/out.fls")"
  done
}

# A fresh, empty target for one tool's recovery: as root an ext4 file system made for the run in
# a loop-mounted file (the same for every tool), else a plain folder in WORK. Creating files
# right after a mass deletion on ext4 can take many times longer (the allocator steps over the
# inodes just freed), so a target reused between tools favours whichever runs later.
fresh_target() {
  local tag=$1 dir=$work/rec-$1
  if mountpoint -q "$dir" 2>/dev/null; then umount "$dir"; fi
  rm -rf "$dir" "$work/target-$tag.ext4"
  mkdir -p "$dir"
  if [ "$(id -u)" = 0 ] && command -v mkfs.ext4 >/dev/null; then
    truncate -s $(( (files * 8192 / 1048576 + 512) * 1048576 )) "$work/target-$tag.ext4"
    mkfs.ext4 -q -F -i 4096 "$work/target-$tag.ext4"  # an inode for every 4 KiB: one per file
    mount -o loop "$work/target-$tag.ext4" "$dir"
  fi
  mkdir -p "$dir/out"
  echo "$dir/out"
}

drop_target() {
  local dir=$work/rec-$1
  if mountpoint -q "$dir" 2>/dev/null; then umount "$dir"; fi
  rm -rf "$dir" "$work/target-$1.ext4"
}

# Like measure, with the CPU time: prints "<seconds> <user+system seconds>".
measure_cpu() {
  local tag=$1; shift
  /usr/bin/time -f "%e %U %S" -o "$work/time.$tag" "$@" >"$work/out.$tag" 2>"$work/err.$tag" ||
    echo "peers: $* failed, see $work/err.$tag" >&2
  tail -n 1 "$work/time.$tag" | awk '{ printf "%s %.2f\n", $1, $2 + $3 }'
}

recover() {
  echo
  echo "== recover everything: $files files, each tool into a fresh target"
  for kind in fat ntfs; do
    local img vol tv cv tk ck nv nk out
    img=$(make_$kind)
    vol=$(vlm_volume "$img")
    out=$(fresh_target vlm)
    read -r tv cv < <(measure_cpu recvlm "$vlm" --no-machine-devices --image "$img" recover "$vol" --to "$out")
    nv=$(find "$out" -type f | wc -l)
    drop_target vlm
    out=$(fresh_target tsk)
    read -r tk ck < <(measure_cpu rectsk tsk_recover -a "$img" "$out")
    nk=$(find "$out" -type f | wc -l)
    drop_target tsk
    echo "$kind: vlm recover ${tv}s (${cv}s CPU, $nv files), tsk_recover -a ${tk}s (${ck}s CPU, $nk files)," \
         "vlm / tsk = $(ratio "$tv" "$tk") (CPU $(ratio "$cv" "$ck"))"
  done
}

# The sample files planted in the carving image, each as many times as asked, at sector
# boundaries of a random fill; the manifest lists the SHA-256 of each.
make_carve() {
  local img=$work/carve-$carve_mib.img
  if [ ! -s "$img" ]; then
    head -c $((carve_mib * 1048576)) /dev/urandom >"$img.tmp"
    python3 - "$img.tmp" "$repo/tests/data/raw" "$copies" "$work/planted.sha256" <<'EOF'
import hashlib, os, random, sys
img, root, copies, manifest = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
samples = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs)
size = os.path.getsize(img)
rng = random.Random(1)
slots = size // 512
used = []
with open(img, "r+b") as out, open(manifest, "w") as m:
    for path in samples * copies:
        data = open(path, "rb").read()
        span = (len(data) + 511) // 512 + 64    # keep 32 KiB of random data after each file
        for _ in range(1000):
            s = rng.randrange(0, slots - span)
            if all(s + span <= a or b <= s for a, b in used):
                break
        used.append((s, s + span))
        out.seek(s * 512)
        out.write(data)
        m.write("%s  %s\n" % (hashlib.sha256(data).hexdigest(), os.path.relpath(path, root)))
EOF
    mv "$img.tmp" "$img"
  fi
  echo "$img"
}

# How many lines of the planted manifest (one per planted copy) have a twin among the files
# under the folders given: byte-exact, and whole but followed by extra bytes (a carver that
# keeps whole sectors or runs past the end).
exact_count() {
  python3 - "$work/planted.sha256" "$@" <<'EOF'
import collections, hashlib, os, sys
planted = [line.split() for line in open(sys.argv[1])]
want = collections.Counter(h for h, _ in planted)
by_head = collections.defaultdict(set)
for h, rel in planted:
    data = open(os.path.join(os.environ["SAMPLES"], rel), "rb").read()
    by_head[data[:64]].add((len(data), h))
exact, whole = collections.Counter(), collections.Counter()
for d, _, fs in (w for r in sys.argv[2:] for w in os.walk(r)):
    for f in fs:
        data = open(os.path.join(d, f), "rb").read()
        for size, h in by_head.get(data[:64], ()):
            if len(data) >= size and hashlib.sha256(data[:size]).hexdigest() == h:
                (exact if len(data) == size else whole)[h] += 1
n_exact = sum(min(n, exact[h]) for h, n in want.items())
n_whole = sum(min(n, exact[h] + whole[h]) for h, n in want.items())
print("%d of %d planted files byte-exact, %d more whole with extra bytes after" % (n_exact, sum(want.values()), n_whole - n_exact))
EOF
}

carve() {
  echo
  echo "== deep scan + recovery: $carve_mib MiB random data, $copies copies of each sample"
  local img
  img=$(make_carve)
  rm -rf "$work/carve-vlm" "$work/carve.rrs" "$work"/carve-pr*
  mkdir -p "$work/carve-vlm"
  read -r ts _ < <(measure scan "$vlm" --no-machine-devices --image "$img" scan 0 --deep-only --save "$work/carve.rrs")
  read -r tr _ < <(measure carvrec "$vlm" --no-machine-devices --image "$img" recover "$work/carve.rrs" \
                     --candidate 1 --to "$work/carve-vlm")
  read -r tp _ < <(measure photorec env -C "$work" photorec /log /d "$work/carve-pr" /cmd "$img" \
                     partition_none,options,paranoid_no,fileopt,everything,enable,wholespace,search)
  local tv
  tv=$(python3 -c "print('%.2f' % ($ts + $tr))")
  echo "vlm scan --deep-only ${ts}s + recover ${tr}s = ${tv}s, $(find "$work/carve-vlm" -type f | wc -l) files," \
       "$(exact_count "$work/carve-vlm")"
  echo "photorec ${tp}s, $(find "$work"/carve-pr* -type f ! -name report.xml | wc -l) files," \
       "$(exact_count "$work"/carve-pr.*)"
  echo "vlm / photorec time = $(ratio "$tv" "$tp")"
}

for part in $parts; do
  "$part"
done
