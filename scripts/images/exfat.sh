# exFAT volume images made with mkfs.exfat (exfatprogs) and written through exfat-fuse on a
# loop device. exfat-fuse deletes a file by clearing the in-use bits of its entry set and its
# bits in the allocation bitmap; a contiguous file's data stays, a fragmented file's FAT chain
# is cleared.

# exfat_mount IMAGE DIR [SECTOR_BYTES]: mounts IMAGE through a loop device of that sector size.
exfat_mount() {
  local dev
  dev=$(losetup -f --show -b "${3:-512}" "$1")
  LOOPS+=("$dev")
  mkdir -p "$2"
  mount.exfat-fuse "$dev" "$2"
  MOUNTS+=("$2")
}

# exfat_umount DIR: unmounts and detaches the loop device under it.
exfat_umount() {
  local dev
  dev=$(findmnt -n -o SOURCE "$1")
  sync
  umount "$1"
  losetup -d "$dev"
}

# exfat_format IMAGE SERIAL LABEL [SECTOR_BYTES]: mkfs.exfat over IMAGE as it is (a quick
# format: only the boot regions, FAT, bitmap, upcase table and root are written).
exfat_format() {
  local img=$1 serial=$2 label=$3 sb=${4:-512} dev
  dev=$(losetup -f --show -b "$sb" "$img")
  LOOPS+=("$dev")
  mkfs.exfat -L "$label" "$dev" >/dev/null
  tune.exfat -I "0x$serial" "$dev" >/dev/null
  losetup -d "$dev"
}

# exfat_new IMAGE SIZE SERIAL LABEL [SECTOR_BYTES]: a fresh exFAT volume in a new image.
exfat_new() {
  rm -f "$1"
  truncate -s "$2" "$1"
  exfat_format "$1" "$3" "$4" "${5:-512}"
}

# exfat_check IMAGE [SECTOR_BYTES]: fsck.exfat finds nothing to repair.
exfat_check() {
  local dev
  dev=$(losetup -f --show -b "${2:-512}" "$1")
  fsck.exfat -n "$dev" >/dev/null || { losetup -d "$dev"; echo "$1: fsck.exfat reports errors" >&2; exit 1; }
  losetup -d "$dev"
}

# exfat_fragment MOUNT NAME SIZE SEED: writes NAME fragmented around a freed gap (three
# 20000-byte files, the middle one deleted, then NAME larger than the gap).
exfat_fragment() {
  local m=$1 name=$2 size=$3 seed=$4
  fx content rand "$seed-a" 20000 "$m/.frag-a-$seed"
  fx content rand "$seed-b" 20000 "$m/.frag-b-$seed"
  fx content rand "$seed-c" 20000 "$m/.frag-c-$seed"
  rm "$m/.frag-b-$seed"
  sync
  fx content rand "$seed" "$size" "$m/$name"
  rm "$m/.frag-a-$seed" "$m/.frag-c-$seed"
}

# A 48 MB camera card (4 KB clusters): photos in DCIM, nested folders, long Unicode names,
# deleted photos (contiguous), a deleted folder, a present and a deleted fragmented file.
make_exfat_card() {
  local img=$WORK/exfat-card.img work=$WORK/exfat-card.work m=$WORK/mnt-exfat-card dir i long
  rm -f "$work"
  exfat_new "$img" 48M ec0de5d1 CARD
  long="Very long file name $(printf 'x%.0s' $(seq 1 150)) — Ünïcödé 名前 ending here.txt"
  {
    for i in $(seq -w 1 40); do echo "jpeg card-$i - DCIM/100PHOTO/IMG_00$i.JPG"; done
    cat <<'FILES'
text c-01 1500 readme.txt
text c-02 12000 Documents/2023/Reports/Quarterly report.txt
blocks c-03 70000 Documents/2023/Reports/Appendix with tables.txt
text c-04 800 Documents/2023/Letters/Письмо банку.txt
text c-05 900 Documents/2023/Letters/手紙.txt
blocks c-06 30000 Documents/Old/Scans/scan 001.txt
blocks c-07 31000 Documents/Old/Scans/scan 002.txt
text c-08 3000 Documents/Old/index.txt
FILES
  } > "$WORK/exfat-card.list"
  rm -rf "$WORK/exfat-card.stage"; mkdir -p "$WORK/exfat-card.stage"; dir=$WORK/exfat-card.stage
  while read -r kind seed size path; do
    mkdir -p "$(dirname "$dir/$path")"
    if [ "$kind" = jpeg ]; then fx jpeg "$seed" 160 120 "$dir/$path"; else fx content "$kind" "$seed" "$size" "$dir/$path"; fi
  done < "$WORK/exfat-card.list"
  fx content text c-09 2500 "$dir/$long"
  touch_fixed -R "$dir" 2>/dev/null || find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  exfat_mount "$img" "$m"
  cp -a "$dir/." "$m/"
  exfat_fragment "$m" "Fragmented kept.bin" 60000 frag-kept
  exfat_fragment "$m" "Fragmented deleted.bin" 60000 frag-del
  cp "$m/Fragmented kept.bin" "$WORK/frag-kept"; cp "$m/Fragmented deleted.bin" "$WORK/frag-del"
  fx record "$work" present "" "$dir"
  fx recordfile "$work" present "Fragmented kept.bin" "$WORK/frag-kept"
  fx recordfile "$work" deleted-fragmented "Fragmented deleted.bin" "$WORK/frag-del"
  rm "$m/Fragmented deleted.bin"
  rm "$m/DCIM/100PHOTO/IMG_0007.JPG" "$m/DCIM/100PHOTO/IMG_0021.JPG" "$m/DCIM/100PHOTO/IMG_0033.JPG"
  fx mark "$work" deleted DCIM/100PHOTO/IMG_0007.JPG DCIM/100PHOTO/IMG_0021.JPG DCIM/100PHOTO/IMG_0033.JPG
  rm -r "$m/Documents/Old"
  fx mark "$work" deleted "Documents/Old/"
  fx verify-dir "$m" "$work"
  exfat_umount "$m"
  exfat_check "$img"
  fx describe "$work" "$img" 0 p0
  pack exfat-card
}

# A 32 MB volume filled with folders, quick-formatted again with another serial, then three
# files written: the old entry sets and data outlive the new FAT, bitmap and root.
make_exfat_reformatted() {
  local img=$WORK/exfat-reformatted.img work=$WORK/exfat-reformatted.work m=$WORK/mnt-exfat-ref dir
  rm -f "$work"
  exfat_new "$img" 32M 01d0e0fa OLDCARD
  stage exfat-ref <<'FILES'
blocks r-01 9000 DCIM/100PHOTO/IMG_0001.JPG
blocks r-02 9500 DCIM/100PHOTO/IMG_0002.JPG
blocks r-03 10000 DCIM/100PHOTO/IMG_0003.JPG
blocks r-04 10500 DCIM/100PHOTO/IMG_0004.JPG
blocks r-05 41000 DCIM/101PHOTO/IMG_0101.JPG
blocks r-06 42000 DCIM/101PHOTO/IMG_0102.JPG
text r-07 1050 Documents/Letters/letter 01.txt
text r-08 1200 Documents/Letters/letter 02.txt
text r-09 7000 Documents/Notes/notes.txt
blocks r-10 120000 Documents/Notes/Big notes.txt
FILES
  dir=$WORK/exfat-ref.stage
  exfat_mount "$img" "$m"
  cp -a "$dir/." "$m/"
  exfat_umount "$m"
  fx describe "$work" "$img" 0 previous state=overwritten-by-format
  fx record "$work" formatted "" "$dir"
  exfat_format "$img" 5eca11ed NEWCARD
  rm -rf "$WORK/exfat-ref-new"; mkdir -p "$WORK/exfat-ref-new/New"
  fx content text r-20 3000 "$WORK/exfat-ref-new/New/after format.txt"
  fx content blocks r-21 5000 "$WORK/exfat-ref-new/second.txt"
  exfat_mount "$img" "$m"
  cp -r "$WORK/exfat-ref-new/." "$m/"
  exfat_umount "$m"
  exfat_check "$img"
  fx record "$work" present "" "$WORK/exfat-ref-new"
  fx describe "$work" "$img" 0 p0
  pack exfat-reformatted
}

# A volume of 4096-byte sectors, one file deleted.
make_exfat_4k() {
  local img=$WORK/exfat-4k.img work=$WORK/exfat-4k.work m=$WORK/mnt-exfat-4k dir
  rm -f "$work"
  exfat_new "$img" 64M 4c4c4c4c BIGSECTORS 4096
  stage exfat-4k <<'FILES'
blocks k-01 100000 Video/clip one.bin
blocks k-02 250000 Video/clip two.bin
text k-03 5000 notes.txt
rand k-04 77777 Pictures/odd size.bin
FILES
  dir=$WORK/exfat-4k.stage
  exfat_mount "$img" "$m" 4096
  cp -a "$dir/." "$m/"
  fx record "$work" present "" "$dir"
  rm "$m/Video/clip one.bin"
  fx mark "$work" deleted "Video/clip one.bin"
  fx verify-dir "$m" "$work"
  exfat_umount "$m"
  exfat_check "$img" 4096
  fx describe "$work" "$img" 0 p0 "" 4096
  pack exfat-4k
}

# An MBR disk of 1 GiB (sparse): a kept FAT16 partition, then an exFAT partition right after it
# whose entry was removed from the table (gap search), with a deleted file.
make_exfat_erased() {
  local disk=$WORK/exfat-erased.img work=$WORK/exfat-erased.work m=$WORK/mnt-exfat-erased
  local fat_start=2048 fat_size=32768 ex_start=34816 ex_size=65536
  rm -f "$disk" "$work"
  truncate -s $(( (ex_start + 0x200000 + 2048) * 512 )) "$disk"
  sfdisk -q "$disk" <<TABLE
label: dos
label-id: 0x5eed0e4f
unit: sectors

start=$fat_start, size=$fat_size, type=e
start=$ex_start, size=$ex_size, type=7
TABLE
  part_fat "$WORK/e1" $fat_size $fat_start 16 e4f00001 KEPT
  fill_fat "$WORK/e1" "$work" p1 ee1 <<'FILES'
text ee1-1 2000 kept.txt
FILES
  sparse_embed "$WORK/e1" "$disk" $fat_start
  exfat_new "$WORK/e2" $(( ex_size * 512 )) e4f0e4f0 LOSTEXFAT
  stage exfat-erased <<'FILES'
text ee2-1 4000 Documents/contract.txt
blocks ee2-2 90000 Documents/scan.txt
rand ee2-3 7000 Pictures/photo.bin
text ee2-4 3000 Documents/deleted draft.txt
FILES
  exfat_mount "$WORK/e2" "$m"
  cp -a "$WORK/exfat-erased.stage/." "$m/"
  fx record "$work" present lost-exfat "$WORK/exfat-erased.stage"
  rm "$m/Documents/deleted draft.txt"
  fx mark "$work" deleted "lost-exfat/Documents/deleted draft.txt"
  fx verify-dir "$m" "$work" lost-exfat
  exfat_umount "$m"
  exfat_check "$WORK/e2"
  sparse_embed "$WORK/e2" "$disk" $ex_start
  sfdisk -q --delete "$disk" 2
  fx describe "$work" "$disk" $fat_start p1 "entry-sectors=$fat_size"
  fx describe "$work" "$disk" $ex_start lost-exfat "entry-sectors=$ex_size state=deleted"
  fx header "$work" "mbr label-id=0x5eed0e4f entry 2 removed; unpartitioned from 34816 to the end"
  pack exfat-erased
}

build_exfat_images() {
  make_exfat_card
  make_exfat_reformatted
  make_exfat_4k
  make_exfat_erased
}
