# FAT12/16/32 volume images made with mkfs.fat and mtools.
# mdel and mdeltree leave the 0xE5 directory entries and the data clusters in place.

# A 1.44 MB FAT12 floppy: long names (one Cyrillic), a subfolder, two deleted files.
make_fat12_floppy() {
  local img=$WORK/fat12-floppy.img work=$WORK/fat12-floppy.work dir
  rm -f "$img" "$work"
  mkfs.fat -C --invariant -i 1a2b3c4d -F 12 -n FLOPPY "$img" 1440 >/dev/null
  stage fat12 <<'FILES'
text f12-1 1200 Read me first.txt
text f12-2 5000 Meeting notes 2021-06-15.txt
rand f12-3 700 CONFIG.SYS
blocks f12-4 40000 Documents/Quarterly report final version.txt
text f12-5 3100 Documents/letter to the bank.txt
text f12-6 2600 Documents/old draft of the letter.txt
rand f12-7 9000 Pictures/holiday photo from the beach.bin
text f12-8 300 Отчёт за май.txt
text f12-9 2600 to be deleted later.txt
FILES
  dir=$WORK/fat12.stage
  fat_put "$img" "$dir"
  fx record "$work" present "" "$dir"
  mdel -i "$img" "::/to be deleted later.txt" "::/Documents/old draft of the letter.txt"
  fx mark "$work" deleted "to be deleted later.txt" "Documents/old draft of the letter.txt"
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat12-floppy
}

# A 32 MB FAT16 volume with folders six levels deep, deleted files in nested folders and a
# deleted folder tree (mdeltree) whose files and subfolder keep their data.
make_fat16_nested() {
  local img=$WORK/fat16-nested.img work=$WORK/fat16-nested.work dir
  rm -f "$img" "$work"
  truncate -s 32M "$img"
  mkfs.fat --invariant -i 0f16abcd -F 16 -n NESTED "$img" >/dev/null
  stage fat16 <<'FILES'
text n16-01 1500 autoexec.txt
text n16-02 12000 Projects/2021/Alpha/Design/Design overview.txt
blocks n16-03 70000 Projects/2021/Alpha/Design/Interface definitions.txt
text n16-04 800 Projects/2021/Alpha/Design/Reviews/Review round 1/comments.txt
text n16-05 900 Projects/2021/Alpha/Design/Reviews/Review round 1/answers.txt
text n16-06 4000 Projects/2021/Alpha/Design/Reviews/Review round 2/comments.txt
text n16-07 2500 Projects/2021/Beta/plan.txt
text n16-08 2500 Projects/2021/Beta/risks.txt
blocks n16-09 33000 Projects/2021/Beta/measurements.csv
text n16-10 6000 Projects/2020/Gamma/final report.txt
rand n16-11 5000 Projects/2020/Gamma/data.bin
text n16-12 2000 Archive/Old letters/letter 1998.txt
text n16-13 2100 Archive/Old letters/letter 1999.txt
blocks n16-14 20000 Archive/Old letters/Scans/scan 001.txt
blocks n16-15 21000 Archive/Old letters/Scans/scan 002.txt
text n16-16 3000 Archive/index.txt
rand n16-17 3000 Photos/Summer/IMG_0001.bin
rand n16-18 3500 Photos/Summer/IMG_0002.bin
text n16-19 700 Photos/Summer/captions.txt
text n16-20 1000 Photos/Winter/captions.txt
FILES
  dir=$WORK/fat16.stage
  fat_put "$img" "$dir"
  fx record "$work" present "" "$dir"
  mdel -i "$img" "::/Projects/2021/Alpha/Design/Reviews/Review round 1/answers.txt" \
    "::/Projects/2021/Beta/risks.txt" "::/Photos/Summer/IMG_0002.bin"
  fx mark "$work" deleted "Projects/2021/Alpha/Design/Reviews/Review round 1/answers.txt" \
    "Projects/2021/Beta/risks.txt" "Photos/Summer/IMG_0002.bin"
  mdeltree -i "$img" "::/Archive/Old letters"
  fx mark "$work" deleted "Archive/Old letters/"
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat16-nested
}

# A 64 MB FAT32 volume with 512-byte clusters: a few hundred files, a file fragmented around
# another (A, B, C written, B deleted, D fills B's gap and continues after C), deleted
# contiguous files.
make_fat32_many() {
  local img=$WORK/fat32-many.img work=$WORK/fat32-many.work dir list i chainb chaind
  rm -f "$img" "$work"
  truncate -s 64M "$img"
  mkfs.fat --invariant -i 32a0b1c2 -F 32 -s 1 -n MANYFILES "$img" >/dev/null
  list=$WORK/fat32-many.list
  : > "$list"
  for i in $(seq -w 1 120); do echo "text m-$i $(( 150 + 10#$i * 23 )) Mail/Inbox/message $i.eml" >> "$list"; done
  for i in $(seq -w 1 100); do echo "blocks l-$i $(( 512 * (1 + 10#$i % 9) + 10#$i )) Logs/service-$i.log" >> "$list"; done
  for i in $(seq -w 1 80); do echo "text d-$i $(( 40 + 10#$i * 7 )) Data/Small/record_$i.txt" >> "$list"; done
  echo "blocks big-1 102400 Big contiguous file.log" >> "$list"
  echo "text lfn-1 4000 A file with a rather long name to be deleted.txt" >> "$list"
  stage fat32 < "$list"
  dir=$WORK/fat32.stage
  fat_put "$img" "$dir"
  fx record "$work" present "" "$dir"

  # Fragmentation: B's freed clusters are reused by D, which then continues after C.
  local frag=$WORK/fat32-frag
  rm -rf "$frag"; mkdir -p "$frag"
  fx content blocks frag-A 20480 "$frag/A.bin"
  fx content blocks frag-B 20480 "$frag/B.bin"
  fx content blocks frag-C 20480 "$frag/C.bin"
  fx content blocks frag-D 61440 "$frag/Fragmented.bin"
  touch_fixed "$frag"/*
  for i in A B C; do
    mcopy -m -i "$img" "$frag/$i.bin" "::/$i.bin"
    fx recordfile "$work" present "$i.bin" "$frag/$i.bin"
  done
  chainb=$(fat_chain "$img" B.bin)
  mdel -i "$img" ::/B.bin
  fx clear-fsinfo-hint "$img"
  mcopy -m -i "$img" "$frag/Fragmented.bin" ::/Fragmented.bin
  fx recordfile "$work" present Fragmented.bin "$frag/Fragmented.bin"
  fx mark "$work" deleted-overwritten B.bin
  chaind=$(fat_chain "$img" Fragmented.bin)
  # D must start with B's run and have exactly two runs.
  if [ "${chaind%% *}" != "$chainb" ] || [ "$(wc -w <<< "$chaind")" -ne 2 ]; then
    echo "fat32-many: Fragmented.bin is $chaind, B.bin was $chainb" >&2
    exit 1
  fi
  fx header "$work" "fragmented Fragmented.bin clusters $chaind (first run was B.bin's)"

  mdel -i "$img" "::/Big contiguous file.log" "::/A file with a rather long name to be deleted.txt" \
    "::/Mail/Inbox/message 007.eml" "::/Mail/Inbox/message 100.eml" "::/Logs/service-050.log" \
    "::/Data/Small/record_01.txt"
  fx mark "$work" deleted "Big contiguous file.log" "A file with a rather long name to be deleted.txt" \
    "Mail/Inbox/message 007.eml" "Mail/Inbox/message 100.eml" "Logs/service-050.log" \
    "Data/Small/record_01.txt"
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat32-many
}

# A 64 MB FAT32 volume filled with files in folders, then formatted again by mkfs.fat with
# another volume id: the old files' data and subfolders remain, their FAT chains do not.
make_fat32_reformatted() {
  local img=$WORK/fat32-reformatted.img work=$WORK/fat32-reformatted.work dir list i
  rm -f "$img" "$work"
  truncate -s 64M "$img"
  mkfs.fat --invariant -i 0ad0fa70 -F 32 -s 1 -n BEFORE "$img" >/dev/null
  fx describe "$work" "$img" 0 previous "state=overwritten-by-format"
  list=$WORK/fat32-reformatted.list
  : > "$list"
  for i in $(seq -w 1 12); do echo "rand rp-$i $(( 6000 + 10#$i * 900 )) DCIM/100PHOTO/IMG_00$i.JPG" >> "$list"; done
  for i in $(seq -w 1 20); do echo "text rd-$i $(( 900 + 10#$i * 150 )) Documents/Letters/letter $i.txt" >> "$list"; done
  for i in $(seq -w 1 10); do echo "blocks rb-$i $(( 20000 + 10#$i * 1000 )) Documents/Reports/report $i.txt" >> "$list"; done
  echo "blocks rm-1 150000 Music/Album/track 01.bin" >> "$list"
  echo "blocks rm-2 140000 Music/Album/track 02.bin" >> "$list"
  echo "text rr-1 2000 notes in the root.txt" >> "$list"
  stage fat32r < "$list"
  dir=$WORK/fat32r.stage
  fat_put "$img" "$dir"
  fx record "$work" formatted "" "$dir"
  mkfs.fat --invariant -i 5eca11ed -F 32 -s 1 -n AFTER "$img" >/dev/null
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat32-reformatted
}

# A 40 MB FAT32 volume with 512-byte clusters and two deleted folders many clusters long:
# deleting frees a folder's chain. Trip (notes beside two folders of pictures) was copied as a
# tree, which gives each folder its later clusters after the data written into it; Album was
# filled one file at a time.
make_fat32_deleted_tree() {
  local img=$WORK/fat32-deleted-tree.img work=$WORK/fat32-deleted-tree.work dir list i
  rm -f "$img" "$work"
  truncate -s 40M "$img"
  mkfs.fat --invariant -i 3d0e1e7e -F 32 -s 1 -n TRIP "$img" >/dev/null
  list=$WORK/fat32-deleted-tree.list
  : > "$list"
  for i in $(seq 1 30); do echo "text tn-$i $(( 100 + i * 7 )) Trip/note $i.txt" >> "$list"; done
  for i in $(seq 1 40); do echo "blocks t1-$i $(( 2000 + i * 311 )) Trip/Day1/photo from the first day $i.jpg" >> "$list"; done
  for i in $(seq 1 40); do echo "blocks t2-$i $(( 900 + i * 13 )) Trip/Day2/second day $i.jpg" >> "$list"; done
  echo "text keep-1 1500 Keep/readme.txt" >> "$list"
  stage fat32del < "$list"
  dir=$WORK/fat32del.stage
  fat_put "$img" "$dir"
  fx record "$work" present "" "$dir"
  # Album: made empty, then its pictures copied one at a time, so each later cluster of the
  # folder comes right after the data of the picture whose entry overflowed it.
  local album=$WORK/fat32del.album name
  rm -rf "$album"; mkdir -p "$album"
  mmd -i "$img" ::/Album
  for i in $(seq 1 40); do
    name="picture number $i of the album.jpg"
    fx content blocks al-$i $(( 1500 + i * 97 )) "$album/$name"
    touch_fixed "$album/$name"
    mcopy -m -i "$img" "$album/$name" "::/Album/$name"
    fx recordfile "$work" present "Album/$name" "$album/$name"
  done
  mdeltree -i "$img" ::/Trip ::/Album
  fx mark "$work" deleted "Trip/" "Album/"
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat32-deleted-tree
}

# A 40 MB FAT32 volume with 512-byte clusters and one folder of 20,000 files with 8.3 names:
# its entries take 1,251 clusters, about 625 KiB of the 2 MiB (65,536 entries) a FAT folder
# may hold.
make_fat32_big_folder() {
  local img=$WORK/fat32-big-folder.img work=$WORK/fat32-big-folder.work dir list
  rm -f "$img" "$work"
  truncate -s 40M "$img"
  mkfs.fat --invariant -i 20000f01 -F 32 -s 1 -n BIGFOLDER "$img" >/dev/null
  list=$WORK/fat32-big-folder.list
  seq 1 20000 | awk '{ printf "text bf-%d 40 BIG/F%07d.TXT\n", $1, $1 }' > "$list"
  echo "text bf-root 300 README.TXT" >> "$list"
  stage fat32big < "$list"
  dir=$WORK/fat32big.stage
  fat_put "$img" "$dir"
  fx record "$work" present "" "$dir"
  local clusters
  clusters=$(fat_chain "$img" BIG | tr ' ' '\n' | tr -d '<>' |
    awk -F- 'NF == 1 && $1 != "" {n++} NF == 2 {n += $2 - $1 + 1} END {print n}')
  [ "$clusters" -gt 1000 ] || { echo "fat32-big-folder: BIG takes only $clusters clusters" >&2; exit 1; }
  fx header "$work" "folder BIG holds 20000 files in $clusters clusters of 512 bytes"
  # One mcopy of the whole tree: one per file would read the long folder 20,000 times.
  mcopy -s -n -i "$img" ::/ "$WORK/fat32big.out"
  fx verify-dir "$WORK/fat32big.out" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat32-big-folder
}

# A 300 MB FAT32 volume with 4 KB clusters (about the smallest FAT32 that takes them) and 80
# folders in the root, one file in each: the root's entries fill more than one sector of its
# cluster and go on into a second cluster.
make_fat32_root_folders() {
  local img=$WORK/fat32-root-folders.img work=$WORK/fat32-root-folders.work dir list i
  rm -f "$img" "$work"
  truncate -s 300M "$img"
  mkfs.fat --invariant -i 80f0da01 -F 32 -s 8 -n ROOTDIRS "$img" >/dev/null
  list=$WORK/fat32-root-folders.list
  : > "$list"
  for i in $(seq -w 1 80); do echo "text rf-$i $(( 200 + 10#$i * 37 )) Folder number $i/file in folder $i.txt" >> "$list"; done
  stage fat32root < "$list"
  dir=$WORK/fat32root.stage
  fat_put "$img" "$dir"
  fx record "$work" present "" "$dir"
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat32-root-folders
}

# A 40 MB FAT32 volume with 512-byte clusters, filled with pictures, documents and text in
# nested folders, then quick-formatted by mkfs.fat (new, empty tables and root) and the
# clusters of two old folders written over with zeros, so their entries are gone too.
# States: "formatted" files keep an entry in an old folder; "entry-overwritten" files keep
# only their data (the deep scan can find those of a known type); "root-lost" files were in
# the old root, which the format replaced.
make_fat32_quick_formatted() {
  local img=$WORK/fat32-quick-formatted.img work=$WORK/fat32-quick-formatted.work
  local dir=$WORK/fat32q.stage raw=$REPO/tests/data/raw folder chain clusters i
  rm -f "$img" "$work"; rm -rf "$dir"
  truncate -s 40M "$img"
  mkfs.fat --invariant -i 0ca4d001 -F 32 -s 1 -n OLDCARD "$img" >/dev/null
  fx describe "$work" "$img" 0 previous "state=overwritten-by-format"
  mkdir -p "$dir/DCIM/100CAMERA/Edited" "$dir/DCIM/101CAMERA" "$dir/Documents/Work/Drafts" \
    "$dir/Documents/Letters" "$dir/Pictures/Web" "$dir/Notes"
  for i in 1 2 3; do
    cp "$raw/media/baseline.jpg" "$dir/DCIM/100CAMERA/IMG_010$i.JPG"
    printf 'camera %d\n' "$i" >> "$dir/DCIM/100CAMERA/IMG_010$i.JPG"
  done
  cp "$raw/media/progressive.jpg" "$dir/DCIM/100CAMERA/Edited/IMG_0101 edit.jpg"
  cp "$raw/media/restart.jpg" "$dir/DCIM/101CAMERA/IMG_0201.JPG"
  fx jpeg q-6 320 240 "$dir/DCIM/101CAMERA/IMG_0202.JPG"
  cp "$raw/media/picture.png" "$dir/Pictures/Web/banner.png"
  cp "$raw/media/still87.gif" "$dir/Pictures/Web/spinner.gif"
  cp "$raw/media/truecolor.bmp" "$dir/Pictures/scan.bmp"
  cp "$raw/docs/sample.pdf" "$dir/Documents/Work/invoice 2021.pdf"
  cp "$raw/docs/sample-update.pdf" "$dir/Documents/Work/Drafts/invoice draft.pdf"
  cp "$raw/docs/sample.docx" "$dir/Documents/Letters/letter to the bank.docx"
  cp "$raw/docs/sample.zip" "$dir/Documents/Letters/attachments.zip"
  cp "$raw/media/tone.wav" "$dir/Notes/voice memo.wav"
  cp "$raw/media/tagged.mp3" "$dir/Notes/song.mp3"
  fx content text q-1 3000 "$dir/Notes/shopping list.txt"
  fx content text q-2 5200 "$dir/Documents/Work/minutes.txt"
  fx content text q-3 1800 "$dir/DCIM/101CAMERA/captions.txt"
  fx content text q-4 900 "$dir/Documents/Work/Drafts/todo.txt"
  fx content text q-5 700 "$dir/readme in the root.txt"
  find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  fat_put "$img" "$dir"
  fx record "$work" formatted "" "$dir"
  fat_verify "$img" "$work" "" formatted
  # The folders whose clusters the format is followed by overwriting, as cluster runs.
  local gone=("DCIM/101CAMERA" "Documents/Work")
  local runs=()
  for folder in "${gone[@]}"; do
    chain=$(fat_chain "$img" "$folder")
    [ -n "$chain" ] || { echo "fat32-quick-formatted: no chain for $folder" >&2; exit 1; }
    runs+=("$chain")
  done
  mkfs.fat --invariant -i 0ca4d002 -F 32 -s 1 -n NEWCARD "$img" >/dev/null
  for chain in "${runs[@]}"; do
    for clusters in $(tr -d '<>' <<< "$chain"); do
      fx zero-clusters "$img" "${clusters%-*}" "${clusters#*-}"
    done
  done
  fx header "$work" "old folders overwritten after the format: ${gone[*]} (clusters ${runs[*]})"
  fx mark "$work" entry-overwritten "DCIM/101CAMERA/" "Documents/Work/invoice 2021.pdf" \
    "Documents/Work/minutes.txt"
  fx mark "$work" root-lost "readme in the root.txt"
  fx describe "$work" "$img" 0 p0
  pack fat32-quick-formatted
}

# A 16 MB FAT16 camera card with 2 KB clusters. Pictures, every other one deleted later with
# its clusters left alone; a picture written fragmented around a document (A, B, C written, B
# deleted, the picture fills B's gap and goes on after C), then deleted while C stays: its
# rest lies in the free clusters after C. B, whose clusters the picture took and freed again,
# is deleted-overwritten. Empty files in the root and in a folder, and one deleted.
make_fat16_card() {
  local img=$WORK/fat16-card.img work=$WORK/fat16-card.work d=$WORK/fat16-card.files i name chainb chainp
  rm -f "$img" "$work"; rm -rf "$d"; mkdir -p "$d/DCIM/100CANON" "$d/Docs"
  truncate -s 16M "$img"
  mkfs.fat --invariant -i 16ca4d00 -F 16 -s 4 -n CARD "$img" >/dev/null
  mmd -i "$img" ::/DCIM ::/DCIM/100CANON ::/Docs
  for i in 1 2 3 4 5 6 7 8; do fx jpeg card-$i $(( 200 + i * 20 )) $(( 150 + i * 15 )) "$d/DCIM/100CANON/IMG_000$i.JPG"; done
  for i in A B C; do fx content blocks card-$i 12000 "$d/Docs/$i.TXT"; done
  fx jpeg card-frag 420 320 "$d/DCIM/100CANON/IMG_0009.JPG"
  : > "$d/empty.txt"
  : > "$d/DCIM/100CANON/empty marker.txt"
  : > "$d/deleted empty.txt"
  find "$d" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  for name in DCIM/100CANON/IMG_0001.JPG DCIM/100CANON/IMG_0002.JPG DCIM/100CANON/IMG_0003.JPG \
    DCIM/100CANON/IMG_0004.JPG Docs/A.TXT Docs/B.TXT Docs/C.TXT; do
    mcopy -m -i "$img" "$d/$name" "::/$name"
    fx recordfile "$work" present "$name" "$d/$name"
  done
  chainb=$(fat_chain "$img" Docs/B.TXT)
  mdel -i "$img" ::/Docs/B.TXT
  for name in DCIM/100CANON/IMG_0009.JPG DCIM/100CANON/IMG_0005.JPG DCIM/100CANON/IMG_0006.JPG \
    DCIM/100CANON/IMG_0007.JPG DCIM/100CANON/IMG_0008.JPG "empty.txt" "DCIM/100CANON/empty marker.txt" \
    "deleted empty.txt"; do
    mcopy -m -i "$img" "$d/$name" "::/$name"
    fx recordfile "$work" present "$name" "$d/$name"
  done
  chainp=$(fat_chain "$img" DCIM/100CANON/IMG_0009.JPG)
  # The picture must start with B's run and have exactly two runs.
  if [ "${chainp%% *}" != "$chainb" ] || [ "$(wc -w <<< "$chainp")" -ne 2 ]; then
    echo "fat16-card: IMG_0009.JPG is $chainp, B.TXT was $chainb" >&2
    exit 1
  fi
  fx header "$work" "deleted fragmented IMG_0009.JPG clusters $chainp (first run was B.TXT's)"
  mdel -i "$img" ::/DCIM/100CANON/IMG_0009.JPG ::/DCIM/100CANON/IMG_0002.JPG ::/DCIM/100CANON/IMG_0006.JPG \
    ::/DCIM/100CANON/IMG_0007.JPG "::/deleted empty.txt"
  fx mark "$work" deleted DCIM/100CANON/IMG_0009.JPG DCIM/100CANON/IMG_0002.JPG DCIM/100CANON/IMG_0006.JPG \
    DCIM/100CANON/IMG_0007.JPG "deleted empty.txt"
  fx mark "$work" deleted-overwritten Docs/B.TXT
  fat_verify "$img" "$work"
  fx describe "$work" "$img" 0 p0
  pack fat16-card
}

build_fat_images() {
  make_fat12_floppy
  make_fat16_nested
  make_fat16_card
  make_fat32_many
  make_fat32_reformatted
  make_fat32_deleted_tree
  make_fat32_big_folder
  make_fat32_root_folders
  make_fat32_quick_formatted
}
