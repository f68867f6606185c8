# Partitioned disks (sfdisk) and a superfloppy. Each file system is made in its own sparse
# file with the hidden-sector / partition-start field set to where it will sit, filled, checked,
# and then written into the disk image at that sector.

# part_fat FILE SECTORS START BITS SERIAL LABEL [mkfs.fat options]
part_fat() {
  local f=$1 n=$2 start=$3 bits=$4 serial=$5 label=$6
  shift 6
  rm -f "$f"
  truncate -s $(( n * 512 )) "$f"
  mkfs.fat --invariant -i "$serial" -F "$bits" -h "$start" -n "$label" "$@" "$f" >/dev/null
}

# part_ntfs FILE SECTORS START SERIAL LABEL
part_ntfs() {
  rm -f "$1"
  truncate -s $(( $2 * 512 )) "$1"
  mkntfs_at "$1" "$3" "$4" -c 4096 -L "$5"
}

# fill_fat FILE WORK PREFIX NAME < list: stages the listed files as NAME and copies it in.
fill_fat() {
  stage "$4"
  fat_put "$1" "$WORK/$4.stage"
  fx record "$2" present "$3" "$WORK/$4.stage"
}

# fill_ntfs FILE WORK PREFIX NAME < list
fill_ntfs() {
  local m=$WORK/mnt-$4
  stage "$4"
  ntfs_mount "$1" "$m"
  ntfs_put_stage "$m" "$WORK/$4.stage"
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  fx record "$2" present "$3" "$WORK/$4.stage"
}

# ntfs_rm FILE PATH...: deletes files or folders through the driver.
ntfs_rm() {
  local img=$1 m=$WORK/mnt-rm p
  shift
  ntfs_mount "$img" "$m"
  for p in "$@"; do rm -r "$m/$p"; done
  ntfs_umount "$m"
}

# part_geometry DISK N: "start size" of partition N as sfdisk lists it.
part_geometry() {
  sfdisk -d "$1" | sed -n "s|^$1$2 : start= *\([0-9]*\), size= *\([0-9]*\).*|\1 \2|p"
}

# An MBR disk: FAT16, FAT32 and NTFS primaries and an extended partition holding FAT12,
# FAT16 and NTFS logical drives (an EBR chain of three).
make_mbr_basic() {
  local disk=$WORK/mbr-basic.img work=$WORK/mbr-basic.work n geo start size
  rm -f "$disk" "$work"
  truncate -s $(( 198656 * 512 )) "$disk"
  sfdisk -q "$disk" <<'TABLE'
label: dos
label-id: 0x5eed0001
unit: sectors

start=2048, size=32768, type=e
start=34816, size=81920, type=c
start=116736, size=16384, type=7
start=133120, size=65536, type=f
size=8192, type=1
size=32768, type=e
size=16384, type=7
TABLE
  for n in 1 2 3 5 6 7; do
    geo=$(part_geometry "$disk" $n)
    start=${geo% *}
    size=${geo#* }
    case $n in
      1) part_fat "$WORK/p1" "$size" "$start" 16 b1160001 BASIC-P1
         fill_fat "$WORK/p1" "$work" p1 mb1 <<'FILES'
text mb1-1 3000 Documents/notes on partition one.txt
blocks mb1-2 24000 Documents/inventory.csv
rand mb1-3 2500 Pictures/icon.bin
text mb1-4 1500 deleted on p1.txt
FILES
         mdel -i "$WORK/p1" "::/deleted on p1.txt"
         fx mark "$work" deleted "p1/deleted on p1.txt" ;;
      2) part_fat "$WORK/p2" "$size" "$start" 32 b1320002 BASIC-P2 -s 1
         fill_fat "$WORK/p2" "$work" p2 mb2 <<'FILES'
blocks mb2-1 50000 Backup/archive part 1.txt
text mb2-2 8000 Backup/readme.txt
text mb2-3 900 Backup/Old/removed list.txt
FILES
         mdel -i "$WORK/p2" "::/Backup/Old/removed list.txt"
         fx mark "$work" deleted "p2/Backup/Old/removed list.txt" ;;
      3) part_ntfs "$WORK/p3" "$size" "$start" 4e7fb1b100000003 BASIC-P3
         fill_ntfs "$WORK/p3" "$work" p3 mb3 <<'FILES'
text mb3-1 40 small.txt
blocks mb3-2 60000 Projects/plan.txt
text mb3-3 2200 Projects/deleted on p3.txt
FILES
         ntfs_rm "$WORK/p3" "Projects/deleted on p3.txt"
         fx mark "$work" deleted "p3/Projects/deleted on p3.txt" ;;
      5) part_fat "$WORK/p5" "$size" "$start" 12 b1120005 LOGICAL-5
         fill_fat "$WORK/p5" "$work" p5 mb5 <<'FILES'
text mb5-1 2000 first logical.txt
rand mb5-2 3000 Data/blob.bin
FILES
         ;;
      6) part_fat "$WORK/p6" "$size" "$start" 16 b1160006 LOGICAL-6
         fill_fat "$WORK/p6" "$work" p6 mb6 <<'FILES'
text mb6-1 2500 second logical.txt
blocks mb6-2 30000 Music/playlist.txt
FILES
         ;;
      7) part_ntfs "$WORK/p7" "$size" "$start" 4e7fb1b100000007 LOGICAL-7
         fill_ntfs "$WORK/p7" "$work" p7 mb7 <<'FILES'
text mb7-1 3300 third logical.txt
blocks mb7-2 20000 Video/list.txt
FILES
         ;;
    esac
    case $n in 3|7) ntfs_verify "$WORK/p$n" "$work" "p$n" ;; *) fat_verify "$WORK/p$n" "$work" "p$n" ;; esac
    sparse_embed "$WORK/p$n" "$disk" "$start"
    fx describe "$work" "$disk" "$start" "p$n" "entry-sectors=$size"
  done
  fx header "$work" "mbr label-id=0x5eed0001 extended start=133120 sectors=65536 type=0x0f"
  pack mbr-basic
}

# A disk whose partition table lost two of its three entries: one FAT16 partition, then more
# than 0x200000 unpartitioned sectors holding an NTFS and a FAT32 file system.
make_mbr_deleted() {
  local disk=$WORK/mbr-deleted.img work=$WORK/mbr-deleted.work
  local ntfs_start=69632 ntfs_size=32768 fat_start=1050624 fat_size=81920
  rm -f "$disk" "$work"
  truncate -s $(( (34816 + 0x200000 + 2048) * 512 )) "$disk"
  sfdisk -q "$disk" <<TABLE
label: dos
label-id: 0x5eed0002
unit: sectors

start=2048, size=32768, type=e
start=$ntfs_start, size=$ntfs_size, type=7
start=$fat_start, size=$fat_size, type=c
TABLE
  part_fat "$WORK/d1" 32768 2048 16 de160001 KEPT
  fill_fat "$WORK/d1" "$work" p1 md1 <<'FILES'
text md1-1 2000 still here.txt
blocks md1-2 15000 Logs/system.log
FILES
  fat_verify "$WORK/d1" "$work" p1
  sparse_embed "$WORK/d1" "$disk" 2048

  part_ntfs "$WORK/d2" $ntfs_size $ntfs_start 4e7fde1e7ed00002 LOSTNTFS
  fill_ntfs "$WORK/d2" "$work" lost-ntfs mdn <<'FILES'
text mdn-1 60 tiny resident.txt
text mdn-2 12000 Documents/contract.txt
blocks mdn-3 90000 Documents/scan.txt
rand mdn-4 7000 Pictures/photo.bin
text mdn-5 3000 Documents/deleted draft.txt
FILES
  ntfs_rm "$WORK/d2" "Documents/deleted draft.txt"
  fx mark "$work" deleted "lost-ntfs/Documents/deleted draft.txt"
  ntfs_verify "$WORK/d2" "$work" lost-ntfs
  sparse_embed "$WORK/d2" "$disk" $ntfs_start

  part_fat "$WORK/d3" $fat_size $fat_start 32 de320003 LOSTFAT32 -s 1
  fill_fat "$WORK/d3" "$work" lost-fat32 mdf <<'FILES'
text mdf-1 5000 Letters/letter to grandma.txt
blocks mdf-2 40000 Letters/Scans/page 1.txt
rand mdf-3 6000 DCIM/IMG_1001.bin
text mdf-4 1000 Letters/removed.txt
FILES
  mdel -i "$WORK/d3" "::/Letters/removed.txt"
  fx mark "$work" deleted "lost-fat32/Letters/removed.txt"
  fat_verify "$WORK/d3" "$work" lost-fat32
  sparse_embed "$WORK/d3" "$disk" $fat_start

  # Losing the entries: the table is written again without them.
  sfdisk -q --delete "$disk" 3
  sfdisk -q --delete "$disk" 2
  fx describe "$work" "$disk" 2048 p1 "entry-sectors=32768"
  fx describe "$work" "$disk" $ntfs_start lost-ntfs "entry-sectors=$ntfs_size state=deleted"
  fx describe "$work" "$disk" $fat_start lost-fat32 "entry-sectors=$fat_size state=deleted"
  fx header "$work" "mbr label-id=0x5eed0002 entries 2 and 3 removed; unpartitioned from 34816 to the end"
  pack mbr-deleted
}

# A GPT disk (protective MBR, primary header and array at sectors 1-33, backup at the end)
# with a FAT32 and an NTFS partition, one file deleted on each. GUIDs are fixed so that
# sfdisk writes the same bytes every time.
make_gpt_basic() {
  local disk=$WORK/gpt-basic.img work=$WORK/gpt-basic.work
  local fat_start=2048 fat_size=81920 ntfs_start=83968 ntfs_size=16384
  rm -f "$disk" "$work"
  truncate -s $(( 102400 * 512 )) "$disk"
  sfdisk -q "$disk" <<TABLE
label: gpt
label-id: 6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9
unit: sectors
first-lba: 2048

start=$fat_start, size=$fat_size, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=0F0E0D0C-0B0A-4908-8706-050403020101, name="gpt fat32"
start=$ntfs_start, size=$ntfs_size, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=0F0E0D0C-0B0A-4908-8706-050403020102, name="gpt ntfs"
TABLE
  part_fat "$WORK/g1" $fat_size $fat_start 32 6e320001 GPT-FAT32 -s 1
  fill_fat "$WORK/g1" "$work" p1 gp1 <<'FILES'
text gp1-1 4000 Reports/summary.txt
blocks gp1-2 30000 Reports/figures.txt
rand gp1-3 5000 Photos/holiday.bin
text gp1-4 1800 Reports/deleted on gpt fat32.txt
FILES
  mdel -i "$WORK/g1" "::/Reports/deleted on gpt fat32.txt"
  fx mark "$work" deleted "p1/Reports/deleted on gpt fat32.txt"
  fat_verify "$WORK/g1" "$work" p1
  sparse_embed "$WORK/g1" "$disk" $fat_start

  part_ntfs "$WORK/g2" $ntfs_size $ntfs_start 4e7f6e7f00000002 GPT-NTFS
  fill_ntfs "$WORK/g2" "$work" p2 gp2 <<'FILES'
text gp2-1 50 small resident.txt
blocks gp2-2 40000 Projects/outline.txt
text gp2-3 2600 Projects/deleted on gpt ntfs.txt
FILES
  ntfs_rm "$WORK/g2" "Projects/deleted on gpt ntfs.txt"
  fx mark "$work" deleted "p2/Projects/deleted on gpt ntfs.txt"
  ntfs_verify "$WORK/g2" "$work" p2
  sparse_embed "$WORK/g2" "$disk" $ntfs_start

  fx describe "$work" "$disk" $fat_start p1 "entry-sectors=$fat_size"
  fx describe "$work" "$disk" $ntfs_start p2 "entry-sectors=$ntfs_size"
  fx header "$work" "gpt label-id=6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9 entries at sector 2, backup header in the last sector"
  pack gpt-basic
}

# A GPT disk of 4096-byte sectors, as a "4Kn" drive or a USB enclosure presents it: every
# position in its tables counts 4096-byte sectors, and both file systems use them too.
make_gpt_4k() { make_4k_disk gpt; }
make_mbr_4k() { make_4k_disk mbr; }

# make_4k_disk gpt|mbr: the disk gpt-4k or mbr-4k, partitioned and formatted in 4096-byte
# sectors as a USB enclosure or a 4Kn drive shows them; its image does not say so otherwise.
make_4k_disk() {
  local kind=$1
  local disk=$WORK/$kind-4k.img work=$WORK/$kind-4k.work
  local fat_start=256 fat_size=8192 ntfs_start=8448 ntfs_size=4096 total=12800
  rm -f "$disk" "$work"
  truncate -s $(( total * 4096 )) "$disk"
  # sfdisk takes the sector size of the device it writes to: a loop device of 4096-byte sectors.
  local loop
  loop=$(losetup --sector-size 4096 --find --show "$disk")
  if [ "$kind" = gpt ]; then
    sfdisk -q "$loop" <<TABLE
label: gpt
label-id: 4B3A2918-0706-4554-8433-221100FFEEDD
unit: sectors
first-lba: 256

start=$fat_start, size=$fat_size, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=4B3A2918-0706-4554-8433-221100FF0001, name="4k fat16"
start=$ntfs_start, size=$ntfs_size, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=4B3A2918-0706-4554-8433-221100FF0002, name="4k ntfs"
TABLE
  else
    sfdisk -q "$loop" <<TABLE
label: dos
label-id: 0x4b3a2918
unit: sectors

start=$fat_start, size=$fat_size, type=6
start=$ntfs_start, size=$ntfs_size, type=7
TABLE
  fi
  sync
  losetup -d "$loop"
  rm -f "$WORK/k1"
  truncate -s $(( fat_size * 4096 )) "$WORK/k1"
  mkfs.fat --invariant -i 4b160001 -F 16 -S 4096 -s 1 -h $fat_start -n 4K-FAT16 "$WORK/k1" >/dev/null
  fill_fat "$WORK/k1" "$work" p1 kp1 <<'FILES'
text kp1-1 4000 Camera/note.txt
rand kp1-2 30000 Camera/IMG_0001.bin
text kp1-3 1800 Camera/deleted on 4k fat16.txt
FILES
  mdel -i "$WORK/k1" "::/Camera/deleted on 4k fat16.txt"
  fx mark "$work" deleted "p1/Camera/deleted on 4k fat16.txt"
  fat_verify "$WORK/k1" "$work" p1
  sparse_embed "$WORK/k1" "$disk" $(( fat_start * 8 ))

  rm -f "$WORK/k2"
  truncate -s $(( ntfs_size * 4096 )) "$WORK/k2"
  mkntfs -q -F -Q -T -s 4096 -p $ntfs_start -H 255 -S 63 -c 4096 -L 4K-NTFS "$WORK/k2" 2>/dev/null
  ntfslabel -q --new-serial=4b7f6e7f00000004 "$WORK/k2" >/dev/null
  fill_ntfs "$WORK/k2" "$work" p2 kp2 <<'FILES'
text kp2-1 60 small resident.txt
blocks kp2-2 40000 Projects/outline.txt
text kp2-3 2600 Projects/deleted on 4k ntfs.txt
FILES
  ntfs_rm "$WORK/k2" "Projects/deleted on 4k ntfs.txt"
  fx mark "$work" deleted "p2/Projects/deleted on 4k ntfs.txt"
  ntfs_verify "$WORK/k2" "$work" p2
  sparse_embed "$WORK/k2" "$disk" $(( ntfs_start * 8 ))

  fx describe "$work" "$disk" $fat_start p1 "entry-sectors=$fat_size" 4096
  fx describe "$work" "$disk" $ntfs_start p2 "entry-sectors=$ntfs_size" 4096
  if [ "$kind" = gpt ]; then
    fx header "$work" "gpt of 4096-byte sectors: header at byte 4096, starts and sizes in 4096-byte sectors"
  else
    fx header "$work" "mbr of 4096-byte sectors: starts and sizes in 4096-byte sectors"
  fi
  pack "$kind-4k"
}

# A small disk a user brings after deleting partitions: a FAT16 primary kept; an NTFS primary
# whose entry was deleted (it started one track behind a 1 MiB boundary, as older tools put
# it); and an extended partition whose chain lost its middle logical drive (FAT16) while the
# FAT12 before it and the NTFS after it stay listed. The gaps are far smaller than a GiB.
make_mbr_lost() {
  local disk=$WORK/mbr-lost.img work=$WORK/mbr-lost.work
  rm -f "$disk" "$work"
  truncate -s $(( 49152 * 512 )) "$disk"
  sfdisk -q "$disk" <<'TABLE'
label: dos
label-id: 0x5eed0003
unit: sectors

start=2048, size=8192, type=6
start=10303, size=8129, type=7
start=18432, size=30720, type=f
start=20480, size=4096, type=1
start=26624, size=8192, type=6
start=36864, size=8192, type=7
TABLE
  part_fat "$WORK/l1" 8192 2048 16 10570001 KEPT16 -s 1
  fill_fat "$WORK/l1" "$work" p1 ml1 <<'FILES'
text ml1-1 2100 kept.txt
blocks ml1-2 9000 Notes/kept list.txt
FILES
  fat_verify "$WORK/l1" "$work" p1
  sparse_embed "$WORK/l1" "$disk" 2048

  part_ntfs "$WORK/l2" 8129 10303 4e7f105700000002 LOST-NTFS
  fill_ntfs "$WORK/l2" "$work" lost-ntfs mln <<'FILES'
text mln-1 70 tiny resident.txt
blocks mln-2 30000 Work/report.txt
rand mln-3 6000 Work/chart.bin
FILES
  ntfs_verify "$WORK/l2" "$work" lost-ntfs
  sparse_embed "$WORK/l2" "$disk" 10303

  part_fat "$WORK/l5" 4096 20480 12 10571205 LOGICAL12
  fill_fat "$WORK/l5" "$work" p5 ml5 <<'FILES'
text ml5-1 1500 first logical.txt
FILES
  fat_verify "$WORK/l5" "$work" p5
  sparse_embed "$WORK/l5" "$disk" 20480

  part_fat "$WORK/l6" 8192 26624 16 10571606 LOST16 -s 1
  fill_fat "$WORK/l6" "$work" lost-fat16 ml6 <<'FILES'
text ml6-1 2600 Music/playlist.txt
rand ml6-2 7000 Music/track.bin
FILES
  fat_verify "$WORK/l6" "$work" lost-fat16
  sparse_embed "$WORK/l6" "$disk" 26624

  part_ntfs "$WORK/l7" 8192 36864 4e7f105700000007 LOGICAL-NTFS
  fill_ntfs "$WORK/l7" "$work" p7 ml7 <<'FILES'
text ml7-1 3300 last logical.txt
FILES
  ntfs_verify "$WORK/l7" "$work" p7
  sparse_embed "$WORK/l7" "$disk" 36864

  # The logical drive first (the chain is written again without it), then the primary.
  sfdisk -q --delete "$disk" 6
  sfdisk -q --delete "$disk" 2
  fx describe "$work" "$disk" 2048 p1 "entry-sectors=8192"
  fx describe "$work" "$disk" 10303 lost-ntfs "entry-sectors=8129 state=deleted"
  fx describe "$work" "$disk" 20480 p5 "entry-sectors=4096"
  fx describe "$work" "$disk" 26624 lost-fat16 "entry-sectors=8192 state=deleted"
  fx describe "$work" "$disk" 36864 p7 "entry-sectors=8192"
  fx header "$work" "mbr label-id=0x5eed0003 primary 2 and the second logical drive removed"
  pack mbr-lost
}

# A 16 MB FAT16 file system starting at sector 0 of the disk, no partition table.
make_superfloppy() {
  local img=$WORK/superfloppy.img work=$WORK/superfloppy.work
  rm -f "$img" "$work"
  truncate -s 16M "$img"
  mkfs.fat --invariant -i 5f10aa01 -F 16 --mbr=n -n SUPERFLOPPY "$img" >/dev/null
  fill_fat "$img" "$work" "" sfl <<'FILES'
text sf-1 2000 Readme.txt
blocks sf-2 30000 Camera/DSC00001.txt
rand sf-3 5000 Camera/DSC00002.bin
text sf-4 1200 Camera/erased.txt
FILES
  mdel -i "$img" "::/Camera/erased.txt"
  fx mark "$work" deleted "Camera/erased.txt"
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack superfloppy
}

build_disk_images() {
  make_mbr_basic
  make_mbr_deleted
  make_mbr_lost
  make_gpt_basic
  make_gpt_4k
  make_mbr_4k
  make_superfloppy
}
