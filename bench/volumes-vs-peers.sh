#!/usr/bin/env bash
# Volume discovery against the peers, run by hand (not in CI): disks partitioned and formatted
# with the real tools (sfdisk, mkfs.fat, mkntfs, mkfs.exfat, mkfs.ext4), then damaged as users
# bring them (entries deleted, a logical drive dropped from its chain, sector 0 or the GPT
# wiped, a disk partitioned again over an old layout), each listed by `vlm devices` (with the
# file count `vlm ls` gives for every volume), `mmls`, `testdisk /list` and TestDisk's
# analyse and search (`testdisk /cmd IMAGE partition_i386|partition_gpt,analyze,search`).
# Usage: bench/volumes-vs-peers.sh [BUILD_DIR]   (default: build)
# WORK (default /tmp/vlm-volumes) keeps the images. Needs root for the loop devices that give
# the 4096-byte-sector disks their sector size.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(dirname "$here")/build}
vlm=$build/bin/vlm
work=${WORK:-/tmp/vlm-volumes}
[ -x "$vlm" ] || { echo "volumes-vs-peers: $vlm not built" >&2; exit 1; }
for tool in sfdisk mkfs.fat mkntfs mkfs.exfat mkfs.ext4 mcopy ntfscp mmls testdisk losetup; do
  command -v "$tool" >/dev/null || { echo "volumes-vs-peers: $tool is missing" >&2; exit 1; }
done
mkdir -p "$work"
cd "$work"
export MTOOLS_SKIP_CHECK=1
echo "Files in each volume: readme.txt" > readme.txt

# format IMAGE START SIZE FS [SECTOR_BYTES]: a file system with one file in the sectors given.
format() {
  local img=$1 start=$2 size=$3 fs=$4 ss=${5:-512} loop
  loop=$(losetup --sector-size "$ss" -o $((start * ss)) --sizelimit $((size * ss)) -f --show "$img")
  case $fs in
    fat32|fat16) mkfs.fat -F "${fs#fat}" -S "$ss" -h "$start" -n "${fs^^}" "$loop" >/dev/null
                 mcopy -i "$loop" readme.txt ::/ 2>/dev/null || true ;;
    ntfs) mkntfs -q -F -Q -s "$ss" -p "$start" -H 255 -S 63 -L NTFS "$loop" >/dev/null 2>&1
          ntfscp -q "$loop" readme.txt readme.txt >/dev/null 2>&1 || true ;;
    exfat) mkfs.exfat -L EXFAT "$loop" >/dev/null ;;
    ext4) mkfs.ext4 -q -F "$loop" >/dev/null 2>&1 ;;
  esac
  losetup -d "$loop"
}

# table IMAGE SECTOR_BYTES < sfdisk script
table() {
  local loop
  loop=$(losetup --sector-size "$2" -f --show "$1")
  sfdisk -q --wipe never "$loop" >/dev/null 2>&1 || true
  sync
  losetup -d "$loop"
}

# variant BASE NAME COMMAND...: a copy of BASE damaged by COMMAND (run with the copy's name).
variant() {
  local base=$1 name=$2
  shift 2
  cp --sparse=always "$base.img" "$name.img"
  "$@" "$name.img"
}
zero() { dd if=/dev/zero of="$3" bs="$1" seek="${2%:*}" count="${2#*:}" conv=notrunc status=none; }
delete() { local loop; loop=$(losetup --sector-size "$1" -f --show "$3"); sfdisk -q --delete "$loop" "$2" >/dev/null 2>&1 || true; sync; losetup -d "$loop"; }

rm -f ./*.img
# MBR: FAT32 and NTFS primaries, an extended partition with FAT16, NTFS and ext4 logical drives.
truncate -s 512M mbr.img
table mbr.img 512 <<'T'
label: dos
start=2048, size=131072, type=c
start=133120, size=131072, type=7
start=264192, type=f
start=266240, size=65536, type=6
start=333824, size=131072, type=7
start=466944, size=65536, type=83
T
format mbr.img 2048 131072 fat32; format mbr.img 133120 131072 ntfs; format mbr.img 266240 65536 fat16
format mbr.img 333824 131072 ntfs; format mbr.img 466944 65536 ext4
variant mbr mbr-del-first delete 512 1
variant mbr mbr-del-middle delete 512 2
variant mbr mbr-del-logical delete 512 6
variant mbr mbr-del-extended delete 512 3
variant mbr mbr-wiped zero 512 0:1
# Partitioned again: a GPT with one exFAT partition over the first half of the old FAT32.
variant mbr mbr-repartitioned true
table mbr-repartitioned.img 512 <<'T'
label: gpt
start=2048, size=65536, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
T
format mbr-repartitioned.img 2048 65536 exfat

# MBR on cylinder boundaries (partitions one track into the disk, not on 1 MiB).
truncate -s 256M chs.img
table chs.img 512 <<'T'
label: dos
start=63, size=100000, type=c
start=100063, size=120000, type=7
start=220063, size=100000, type=6
T
format chs.img 63 100000 fat32; format chs.img 100063 120000 ntfs; format chs.img 220063 100000 fat16
variant chs chs-del-middle delete 512 2
variant chs chs-wiped zero 512 0:1

# GPT: FAT32, NTFS, exFAT, ext4 and FAT16.
truncate -s 512M gpt.img
table gpt.img 512 <<'T'
label: gpt
start=2048, size=131072, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=133120, size=131072, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=264192, size=131072, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=395264, size=131072, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4
start=526336, size=520192, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
T
format gpt.img 2048 131072 fat32; format gpt.img 133120 131072 ntfs; format gpt.img 264192 131072 exfat
format gpt.img 395264 131072 ext4; format gpt.img 526336 520192 fat16
variant gpt gpt-del-middle delete 512 2
variant gpt gpt-primary-damaged zero 512 1:1
variant gpt gpt-start-wiped zero 512 0:34
variant gpt gpt-both-wiped zero 512 1:33
zero 512 $((1048576 - 33)):33 gpt-both-wiped.img
variant gpt gpt-all-wiped zero 512 0:34
zero 512 $((1048576 - 33)):33 gpt-all-wiped.img

# GPT of 4096-byte sectors: FAT32, NTFS and exFAT.
truncate -s 512M gpt4k.img
table gpt4k.img 4096 <<'T'
label: gpt
start=256, size=16384, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=16640, size=16384, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=33024, size=16384, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
T
format gpt4k.img 256 16384 fat32 4096; format gpt4k.img 16640 16384 ntfs 4096; format gpt4k.img 33024 16384 exfat 4096
variant gpt4k gpt4k-del-middle delete 4096 2
variant gpt4k gpt4k-start-wiped zero 4096 0:6
variant gpt4k gpt4k-all-wiped zero 4096 0:6
zero 4096 $((131072 - 6)):6 gpt4k-all-wiped.img

echo "Volumes as (start, sectors of 512 bytes unless the disk's own, type[, files]); D = deleted"
python3 "$here/peers/volume_lists.py" "$vlm" ./*.img
