# NTFS volume images made with mkntfs and filled through an ntfs-3g mount, so every
# structure (compression, sparse runs, named streams, attribute lists, deletions) is the
# one a real driver writes.

# ntfs_put_stage MOUNT STAGE: copies a staged tree onto the mounted volume.
ntfs_put_stage() {
  cp -r --preserve=timestamps "$2"/. "$1"/
}

# fill_until_full FILE: appends zeros until the volume has no free cluster left.
fill_until_full() {
  dd if=/dev/zero of="$1" bs=64k oflag=append conv=notrunc status=none 2>/dev/null || true
  dd if=/dev/zero of="$1" bs=4k oflag=append conv=notrunc status=none 2>/dev/null || true
  sync
}

# data_runs IMAGE PATH: the number of runs of the unnamed $DATA attribute.
data_runs() {
  ntfsinfo -v -F "$2" "$1" | sed -n 's/^Total runs: \([0-9]*\).*/\1/p' | tail -1
}

# A 32 MB NTFS volume (4 KB clusters) with resident files, Unicode names, a folder of 300
# entries, a compressed folder, a sparse file, named streams, a large file in 20 pieces,
# a file in about 340 pieces whose runs need an attribute list, deleted files and a deleted
# folder.
make_ntfs_basic() {
  local img=$WORK/ntfs-basic.img work=$WORK/ntfs-basic.work m=$WORK/mnt-ntfs-basic dir i list
  rm -f "$img" "$work"
  truncate -s 32M "$img"
  mkntfs_at "$img" 0 4e7f0b451c000001 -c 4096 -L BASIC

  list=$WORK/ntfs-basic.list
  cat > "$list" <<'FILES'
text nb-01 20 tiny.txt
text nb-02 0 empty.txt
rand nb-03 400 small resident.bin
text nb-04 30000 report.txt
text nb-05 1800 Документы/Отчёт за квартал.txt
text nb-06 900 中文文件夹/照片说明.txt
text nb-07 700 Ελληνικά σημειώσεις.txt
text nb-08 500 emoji 😀 notes.txt
blocks nb-09 45000 Deleted folder/plan.txt
text nb-10 300 Deleted folder/small note.txt
blocks nb-11 12000 Deleted folder/Inner/inner data.txt
blocks nb-12 28000 old report to delete.txt
text nb-13 90 tiny deleted.txt
text nb-14 6000 streams.txt
dir - 0 Compressed
dir - 0 Fragmented
dir - 0 Pad
FILES
  for i in $(seq -w 1 300); do echo "text many-$i $(( 100 + 10#$i * 5 )) Many entries/entry $i.txt" >> "$list"; done
  stage ntfsb < "$list"
  dir=$WORK/ntfsb.stage
  # Named streams: a resident one and one with its own clusters.
  fx content text nb-zone 90 "$WORK/ntfsb.zone"
  fx content blocks nb-thumb 20000 "$WORK/ntfsb.thumb"
  # Compressed folder contents: text compresses, random data stays stored per unit.
  rm -rf "$WORK/ntfsb.comp"
  mkdir -p "$WORK/ntfsb.comp"
  fx content text nb-c1 200000 "$WORK/ntfsb.comp/compressible text.txt"
  fx content blocks nb-c2 100000 "$WORK/ntfsb.comp/block log.txt"
  fx content rand nb-c3 20000 "$WORK/ntfsb.comp/random.bin"
  fx content text nb-c4 3000 "$WORK/ntfsb.comp/small.txt"
  # Sparse file: 64 KB of data, a hole, 64 KB at 4 MB, and a hole up to 6 MB.
  "$PYTHON" - "$WORK/ntfsb.sparse" <<'PY'
import sys
sys.path.insert(0, "scripts/images")
from fixture import make_content
with open(sys.argv[1], "wb") as f:
    f.write(make_content("blocks", "nb-s1", 65536))
    f.seek(4 << 20)
    f.write(make_content("blocks", "nb-s2", 65536))
    f.truncate(6 << 20)
PY

  ntfs_mount "$img" "$m"
  ntfs_put_stage "$m" "$dir"
  cp "$WORK/ntfsb.zone" "$m/streams.txt:Zone.Identifier"
  cp "$WORK/ntfsb.thumb" "$m/streams.txt:thumbnail"
  setfattr -n system.ntfs_attrib_be -v 0x00000810 "$m/Compressed"
  cp "$WORK/ntfsb.comp"/* "$m/Compressed/"
  "$PYTHON" - "$WORK/ntfsb.sparse" "$m/sparse file.bin" <<'PY'
import sys
src = open(sys.argv[1], "rb").read()
with open(sys.argv[2], "wb") as f:
    f.write(src[:65536])
    f.seek(4 << 20)
    f.write(src[4 << 20:(4 << 20) + 65536])
    f.truncate(6 << 20)
PY
  : > "$m/Fragmented/large fragmented.bin"
  : > "$m/Fragmented/attribute list.bin"

  # Fragmentation: pads fill the volume up, every other pad is deleted, and the two targets
  # must take the holes, in 8-cluster pieces and then 1-cluster pieces.
  for i in $(seq -w 1 40); do echo "blocks pad8-$i 32768 pad8-$i.bin"; done > "$WORK/ntfsb.padlist"
  for i in $(seq -w 1 700); do echo "blocks pad1-$i 4096 pad1-$i.bin"; done >> "$WORK/ntfsb.padlist"
  stage ntfsb.pad < "$WORK/ntfsb.padlist"
  # One writer process per file: the driver then places consecutive pads next to each other
  # in each free area. Which pads end up neighbours is read back from the MFT below.
  for i in "$WORK"/ntfsb.pad.stage/pad8-*.bin "$WORK"/ntfsb.pad.stage/pad1-*.bin; do
    cat "$i" > "$m/Pad/${i##*/}"
  done
  : > "$m/Pad/filler 2.bin"
  sync
  fill_until_full "$m/Pad/filler.bin"
  ntfs_umount "$m"
  { fx every-other-by-lcn "$img" pad8-; fx every-other-by-lcn "$img" pad1-; } > "$WORK/ntfsb.victims"
  ntfs_mount "$img" "$m"
  while read -r i; do rm "$m/Pad/$i"; done < "$WORK/ntfsb.victims"
  sync
  fx content blocks nb-frag 655360 "$WORK/ntfsb.frag"
  fx content blocks nb-alist 1392640 "$WORK/ntfsb.alist"
  cat "$WORK/ntfsb.frag" >> "$m/Fragmented/large fragmented.bin"
  sync
  cat "$WORK/ntfsb.alist" >> "$m/Fragmented/attribute list.bin"
  sync
  # Whatever holes are left go to a second filler, so every deleted pad is overwritten.
  fill_until_full "$m/Pad/filler 2.bin"
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"

  fx record "$work" present "" "$dir"
  fx recordfile "$work" present "streams.txt:Zone.Identifier" "$WORK/ntfsb.zone"
  fx recordfile "$work" present "streams.txt:thumbnail" "$WORK/ntfsb.thumb"
  fx record "$work" present "Compressed" "$WORK/ntfsb.comp"
  fx recordfile "$work" present "sparse file.bin" "$WORK/ntfsb.sparse"
  fx recordfile "$work" present "Fragmented/large fragmented.bin" "$WORK/ntfsb.frag"
  fx recordfile "$work" present "Fragmented/attribute list.bin" "$WORK/ntfsb.alist"
  fx record "$work" present "Pad" "$WORK/ntfsb.pad.stage"
  ntfscat "$img" "/Pad/filler.bin" > "$WORK/ntfsb.filler1"
  ntfscat "$img" "/Pad/filler 2.bin" > "$WORK/ntfsb.filler2"
  fx recordfile "$work" present "Pad/filler.bin" "$WORK/ntfsb.filler1"
  fx recordfile "$work" present "Pad/filler 2.bin" "$WORK/ntfsb.filler2"
  mapfile -t victims < <(sed 's|^|Pad/|' "$WORK/ntfsb.victims")
  fx mark "$work" deleted-overwritten "${victims[@]}"

  # Checks that the real driver made what the tests rely on.
  local runs
  runs=$(data_runs "$img" "/Fragmented/large fragmented.bin")
  [ "$runs" -ge 10 ] || { echo "ntfs-basic: large fragmented.bin has $runs runs" >&2; exit 1; }
  fx header "$work" "Fragmented/large fragmented.bin has $runs data runs"
  # (grep reads all of ntfsinfo's output: with -q it could quit early and fail the pipe.)
  ntfsinfo -F "/Fragmented/attribute list.bin" "$img" | grep 'Dumping attribute \$ATTRIBUTE_LIST' >/dev/null \
    || { echo "ntfs-basic: attribute list.bin has no attribute list" >&2; exit 1; }
  runs=$(data_runs "$img" "/Fragmented/attribute list.bin")
  fx header "$work" "Fragmented/attribute list.bin has an attribute list and $runs data runs"
  ntfsinfo -v -F "/Compressed/compressible text.txt" "$img" | grep 'Compression unit:[[:space:]]*4' >/dev/null \
    || { echo "ntfs-basic: Compressed/compressible text.txt is not compressed" >&2; exit 1; }
  ntfsinfo -v -F "/sparse file.bin" "$img" | grep '<HOLE>' >/dev/null \
    || { echo "ntfs-basic: sparse file.bin has no hole" >&2; exit 1; }
  ntfs_verify "$img" "$work"

  # Deletions last, so nothing writes over the deleted files' clusters.
  ntfs_mount "$img" "$m"
  rm -r "$m/Deleted folder"
  rm "$m/old report to delete.txt" "$m/tiny deleted.txt" "$m/Many entries/entry 150.txt"
  ntfs_umount "$m"
  fx mark "$work" deleted "Deleted folder/" "old report to delete.txt" "tiny deleted.txt" \
    "Many entries/entry 150.txt"
  fx describe "$work" "$img" 0 p0
  pack ntfs-basic
}

# A 16 MB NTFS volume filled with files in folders, then formatted again with mkntfs -Q.
make_ntfs_reformatted() {
  local img=$WORK/ntfs-reformatted.img work=$WORK/ntfs-reformatted.work m=$WORK/mnt-ntfs-ref dir list i
  rm -f "$img" "$work"
  truncate -s 16M "$img"
  mkntfs_at "$img" 0 4e7f0000000000a1 -c 4096 -L BEFORE
  fx describe "$work" "$img" 0 previous "state=overwritten-by-format"
  list=$WORK/ntfs-ref.list
  : > "$list"
  for i in $(seq -w 1 8); do echo "rand nrp-$i $(( 5000 + 10#$i * 700 )) Pictures/Camera/IMG_00$i.JPG" >> "$list"; done
  for i in $(seq -w 1 30); do echo "text nrd-$i $(( 300 + 10#$i * 120 )) Documents/Letters/letter $i.txt" >> "$list"; done
  for i in $(seq -w 1 6); do echo "blocks nrb-$i $(( 30000 + 10#$i * 2000 )) Documents/Reports/report $i.txt" >> "$list"; done
  echo "blocks nrm-1 300000 Music/track 01.bin" >> "$list"
  echo "text nrr-1 600 notes in the root.txt" >> "$list"
  stage ntfsr < "$list"
  dir=$WORK/ntfsr.stage
  ntfs_mount "$img" "$m"
  ntfs_put_stage "$m" "$dir"
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  fx record "$work" present "" "$dir"
  ntfs_verify "$img" "$work"
  fx mark "$work" formatted "Pictures/" "Documents/" "Music/" "notes in the root.txt"
  mkntfs_at "$img" 0 4e7f0000000000a2 -c 4096 -L AFTER
  fx describe "$work" "$img" 0 p0
  pack ntfs-reformatted
}

# An 8 MB NTFS volume whose names hold the characters that Windows refuses but the POSIX
# name space allows (: ? * " < > | \), as Linux writes them through ntfs-3g: a file for each,
# a folder so named with files inside, and some of each kind deleted.
make_ntfs_names() {
  local img=$WORK/ntfs-names.img work=$WORK/ntfs-names.work m=$WORK/mnt-ntfs-names dir list
  rm -f "$img" "$work"
  truncate -s 8M "$img"
  mkntfs_at "$img" 0 4e7f00000000a3e5 -c 4096 -L NAMES
  list=$WORK/ntfs-names.list
  cat > "$list" <<'FILES'
text nn-01 120 colon: in the middle.txt
text nn-02 2500 question?.txt
rand nn-03 9000 star*.bin
text nn-04 700 quote "marks".txt
text nn-05 40 less<than.txt
blocks nn-06 20000 greater>than.txt
text nn-07 5000 pipe|bar.txt
text nn-08 800 back\slash.txt
text nn-09 1500 plain name.txt
text nn-10 3000 Odd: "folder" <1>?/inner|file*.txt
text nn-11 600 Odd: "folder" <1>?/plain inside.txt
blocks nn-12 12000 Odd: "folder" <1>?/Sub\dir/deep?.txt
text nn-13 4000 deleted: one?.txt
rand nn-14 6000 deleted<two>.bin
text nn-15 900 Odd: "folder" <1>?/gone "x".txt
text nn-16 2000 Gone|folder*/kept?.txt
text nn-17 300 Gone|folder*/small.txt
FILES
  stage ntfsn < "$list"
  dir=$WORK/ntfsn.stage
  # Mounted without the Windows stream syntax: a colon is a plain name character here.
  mkdir -p "$m"
  ntfs-3g "$img" "$m"
  MOUNTS+=("$m")
  ntfs_put_stage "$m" "$dir"
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  fx record "$work" present "" "$dir"
  ntfs-3g -o ro "$img" "$m"
  fx verify-dir "$m" "$work"
  umount "$m"
  ntfs-3g "$img" "$m"
  rm "$m/deleted: one?.txt" "$m/deleted<two>.bin" "$m/Odd: \"folder\" <1>?/gone \"x\".txt"
  rm -r "$m/Gone|folder*"
  ntfs_umount "$m"
  fx mark "$work" deleted "deleted: one?.txt" "deleted<two>.bin" "Odd: \"folder\" <1>?/gone \"x\".txt" \
    "Gone|folder*/"
  fx describe "$work" "$img" 0 p0
  pack ntfs-names
}

# A 6 MB NTFS volume (1 KB clusters, one record each) whose $MFT is in hundreds of pieces, so many that its
# runs go on in an extension record named by an $ATTRIBUTE_LIST of record 0 (where the driver
# also moves the $MFT's $FILE_NAME). 900 pads and a filler fill the volume, every other pad (by
# cluster) is deleted, and 750 files created in 250 folders made beforehand (each folder's index
# stays in its record) take the freed records and then make the MFT grow into the one-cluster
# holes. The filler is then cut, the first file of each folder gets its data outside the
# record, and some files are deleted.
make_ntfs_mft_pieces() {
  local img=$WORK/ntfs-mft-pieces.img work=$WORK/ntfs-mft-pieces.work m=$WORK/mnt-ntfs-mft
  local list d j victims=() gone=()
  rm -f "$img" "$work"
  truncate -s 6M "$img"
  # Clusters of 512 bytes: records of 1024 bytes then straddle the ends of the MFT's runs.
  mkntfs_at "$img" 0 4e7f00000000a4f1 -c 512 -L PIECES
  list=$WORK/ntfsm.list
  : > "$list"
  for d in $(seq -w 1 900); do echo "blocks pm-$d 1024 Pad/pad-$d.bin"; done >> "$list"
  stage ntfsm.pad < "$list"
  ntfs_mount "$img" "$m"
  for d in $(seq -w 1 250); do mkdir -p "$m/Late/d$d"; done
  mkdir "$m/Pad"
  for d in "$WORK"/ntfsm.pad.stage/Pad/pad-*.bin; do cat "$d" > "$m/Pad/${d##*/}"; done
  : > "$m/Pad/filler.bin"
  sync
  fill_until_full "$m/Pad/filler.bin"
  dd if=/dev/zero of="$m/Pad/filler.bin" bs=512 oflag=append conv=notrunc status=none 2>/dev/null || true
  ntfs_umount "$m"
  fx every-other-by-lcn "$img" pad- > "$WORK/ntfsm.victims"
  ntfs_mount "$img" "$m"
  while read -r d; do rm "$m/Pad/$d"; done < "$WORK/ntfsm.victims"
  sync
  # Small files: their data stays in their records, which the MFT must find room for.
  : > "$WORK/ntfsm.late"
  for d in $(seq -w 1 250); do
    for j in 1 2 3; do echo "text pl-$d-$j $(( 60 + 10#$d % 7 * 30 + j * 11 )) Late/d$d/note $j.txt"; done
  done >> "$WORK/ntfsm.late"
  stage ntfsm.late < "$WORK/ntfsm.late"
  for d in $(seq -w 1 250); do
    for j in 1 2 3; do cat "$WORK/ntfsm.late.stage/Late/d$d/note $j.txt" > "$m/Late/d$d/note $j.txt"; done
  done
  sync
  ntfs_umount "$m"
  # Room for data again: the filler shrinks, and the first note of every folder grows out of
  # its record into clusters of its own.
  ntfs_mount "$img" "$m"
  truncate -s 0 "$m/Pad/filler.bin"
  sync
  for d in $(seq -w 1 250); do
    fx content blocks pb-$d $(( 1200 + 10#$d * 9 )) "$WORK/ntfsm.late.stage/Late/d$d/note 1.txt"
    cat "$WORK/ntfsm.late.stage/Late/d$d/note 1.txt" > "$m/Late/d$d/note 1.txt"
  done
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  fx record "$work" present "Pad" "$WORK/ntfsm.pad.stage/Pad"
  : > "$WORK/ntfsm.empty"
  fx recordfile "$work" present "Pad/filler.bin" "$WORK/ntfsm.empty"
  fx record "$work" present "Late" "$WORK/ntfsm.late.stage/Late"
  mapfile -t victims < <(sed 's|^|Pad/|' "$WORK/ntfsm.victims")
  fx mark "$work" deleted-overwritten "${victims[@]}"

  # Checks that the real driver made what the tests rely on.
  ntfsinfo -i 0 "$img" | grep 'Dumping attribute \$ATTRIBUTE_LIST' >/dev/null \
    || { echo "ntfs-mft-pieces: \$MFT has no attribute list" >&2; exit 1; }
  local runs
  runs=$(ntfsinfo -v -i 0 "$img" | sed -n 's/^Total runs: \([0-9]*\).*/\1/p' | tail -1)
  [ "$runs" -ge 100 ] || { echo "ntfs-mft-pieces: \$MFT has $runs runs" >&2; exit 1; }
  local odd
  odd=$(ntfsinfo -v -i 0 "$img" | awk '$1 ~ /^0x/ && $2 ~ /^0x/ && $3 ~ /^0x[0-9a-f]*[13579bdf]$/ {n++} END {print n+0}')
  [ "$odd" -ge 1 ] || { echo "ntfs-mft-pieces: no \$MFT run ends inside a record" >&2; exit 1; }
  fx header "$work" "\$MFT has an attribute list and $runs data runs, $odd of them ending inside a record"
  ntfs_verify "$img" "$work"

  # Deletions last: every tenth folder loses its first note (data in clusters) and its second
  # (data in the record), and nothing is written after them.
  for d in $(seq -w 5 10 250); do gone+=("Late/d$d/note 1.txt" "Late/d$d/note 2.txt"); done
  ntfs_mount "$img" "$m"
  for d in "${gone[@]}"; do rm "$m/$d"; done
  ntfs_umount "$m"
  fx mark "$work" deleted "${gone[@]}"
  fx describe "$work" "$img" 0 p0
  pack ntfs-mft-pieces
}

# An 8 MB NTFS volume (1 KB clusters, so 16 KB compression units) whose free space is left in
# two-cluster holes before compressed files are written: the driver then stores a unit's
# clusters in more than one run. One of them is deleted last.
make_ntfs_packed_pieces() {
  local img=$WORK/ntfs-packed-pieces.img work=$WORK/ntfs-packed-pieces.work m=$WORK/mnt-ntfs-packed
  local i n=0 split
  rm -f "$img" "$work"
  truncate -s 8M "$img"
  mkntfs_at "$img" 0 4e7f00000000b7c2 -c 1024 -L PACKED
  rm -rf "$WORK/ntfsp.comp"
  mkdir -p "$WORK/ntfsp.comp"
  fx content text np-1 200000 "$WORK/ntfsp.comp/minutes.txt"
  fx content blocks np-2 90000 "$WORK/ntfsp.comp/server log.txt"
  fx content text np-3 70000 "$WORK/ntfsp.comp/letter to delete.txt"
  ntfs_mount "$img" "$m"
  mkdir "$m/Pad" "$m/Packed"
  # Files created in a folder marked compressed are compressed by the driver.
  setfattr -h -v 0x00000800 -n system.ntfs_attrib_be "$m/Packed"
  # Two-cluster pad files (compressible, so the committed image stays small) until the volume
  # is full, then every other one deleted.
  fx content text np-pad 1500 "$WORK/ntfsp.pad"
  while cp "$WORK/ntfsp.pad" "$m/Pad/p$n" 2>/dev/null; do n=$((n + 1)); done
  rm -f "$m/Pad/p$n"
  ntfs_umount "$m"
  ntfs_mount "$img" "$m"
  for i in $(seq 1 2 $((n - 1))); do rm "$m/Pad/p$i"; done
  sync
  cp "$WORK/ntfsp.comp/"* "$m/Packed/"
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  fx record "$work" present "Packed" "$WORK/ntfsp.comp"

  # A unit whose data goes on in another run: a run that ends inside a 16-cluster unit and is
  # followed by another run with data.
  split=$(ntfsinfo -v -F "/Packed/minutes.txt" "$img" | awk '
    function hex(h,   i, x) { x = 0; h = tolower(substr(h, 3))
      for (i = 1; i <= length(h); i++) x = x * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1
      return x }
    $1 ~ /^0x/ && NF == 3 { data = $2 !~ /HOLE/; if (data && open) n++
      open = data && (hex($1) + hex($3)) % 16 != 0 }
    END { print n + 0 }')
  [ "$split" -ge 1 ] || { echo "ntfs-packed-pieces: no compression unit of minutes.txt is split" >&2; exit 1; }
  fx header "$work" "Packed/minutes.txt has $split compression units split across runs"
  ntfs_verify "$img" "$work"

  ntfs_mount "$img" "$m"
  rm "$m/Packed/letter to delete.txt"
  ntfs_umount "$m"
  fx mark "$work" deleted "Packed/letter to delete.txt"
  fx describe "$work" "$img" 0 p0
  pack ntfs-packed-pieces
}

# A 4 MB NTFS volume with two files spread over extension records: one with 40 hard links,
# one with 30 named streams, each beside a kept twin. Deleting them, the driver takes every
# $FILE_NAME out of the records before it frees them: only the records' data stays.
make_ntfs_nameless() {
  local img=$WORK/ntfs-nameless.img work=$WORK/ntfs-nameless.work m=$WORK/mnt-ntfs-nameless k
  rm -f "$img" "$work"
  truncate -s 4M "$img"
  mkntfs_at "$img" 0 4e7f00000000c9d3 -c 1024 -L NAMELESS
  rm -rf "$WORK/ntfsl" && mkdir -p "$WORK/ntfsl/streams"
  fx content blocks nl-1 30000 "$WORK/ntfsl/linked.bin"
  fx content blocks nl-2 26000 "$WORK/ntfsl/linked gone.bin"
  fx content text nl-3 2000 "$WORK/ntfsl/streams.txt"
  fx content text nl-4 2500 "$WORK/ntfsl/streams gone.txt"
  for k in $(seq 1 30); do fx content text "nl-s$k" $((300 + k * 50)) "$WORK/ntfsl/streams/s$k"; done
  ntfs_mount "$img" "$m"
  mkdir "$m/Links"
  cp "$WORK/ntfsl/"*.* "$m/"
  for k in $(seq 1 40); do
    ln "$m/linked.bin" "$m/Links/kept link with a long name $k"
    ln "$m/linked gone.bin" "$m/Links/gone link with a long name $k"
  done
  for k in $(seq 1 30); do
    cp "$WORK/ntfsl/streams/s$k" "$m/streams.txt:s$k"
    cp "$WORK/ntfsl/streams/s$k" "$m/streams gone.txt:s$k"
  done
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  fx recordfile "$work" present "linked.bin" "$WORK/ntfsl/linked.bin"
  fx recordfile "$work" present "streams.txt" "$WORK/ntfsl/streams.txt"
  for k in $(seq 1 30); do fx recordfile "$work" present "streams.txt:s$k" "$WORK/ntfsl/streams/s$k"; done
  fx recordfile "$work" present "linked gone.bin" "$WORK/ntfsl/linked gone.bin"
  fx recordfile "$work" present "streams gone.txt" "$WORK/ntfsl/streams gone.txt"
  for k in $(seq 1 30); do fx recordfile "$work" present "streams gone.txt:s$k" "$WORK/ntfsl/streams/s$k"; done
  for k in "linked.bin" "streams.txt" "linked gone.bin" "streams gone.txt"; do
    ntfsinfo -F "/$k" "$img" | grep 'Dumping attribute \$ATTRIBUTE_LIST' >/dev/null \
      || { echo "ntfs-nameless: $k has no attribute list" >&2; exit 1; }
  done
  ntfs_verify "$img" "$work"

  ntfs_mount "$img" "$m"
  rm "$m/linked gone.bin" "$m/Links/gone link"* "$m/streams gone.txt"
  ntfs_umount "$m"
  fx mark "$work" deleted "linked gone.bin" "streams gone.txt"
  for k in $(seq 1 30); do fx mark "$work" deleted "streams gone.txt:s$k"; done
  fx describe "$work" "$img" 0 p0
  pack ntfs-nameless
}

# A 4 MB NTFS volume (1 KB clusters) filled with two-cluster pads, every other one (by
# cluster) deleted in two groups. The second group's records go to small files, and a long
# file takes its holes (so many runs that they need an attribute list); then a later file
# takes the first group's holes, and both files are deleted. The first group's pads and the
# later file claim the same free clusters, and only the later file's bytes are there; the
# long file loses the names and some extents of its map to the deleting driver.
make_ntfs_reused() {
  local img=$WORK/ntfs-reused.img work=$WORK/ntfs-reused.work m=$WORK/mnt-ntfs-reused d
  rm -f "$img" "$work"
  truncate -s 4M "$img"
  mkntfs_at "$img" 0 4e7f00000000d1e4 -c 1024 -L REUSED
  for d in $(seq -w 1 1500); do echo "blocks pr-$d 2048 Pad/pad-$d.txt"; done | stage ntfsu.pad
  ntfs_mount "$img" "$m"
  mkdir "$m/Pad" "$m/Small"
  for d in "$WORK"/ntfsu.pad.stage/Pad/pad-*.txt; do
    cat "$d" > "$m/Pad/${d##*/}" 2>/dev/null || { rm -f "$m/Pad/${d##*/}"; break; }
  done
  ntfs_umount "$m"
  fx every-other-by-lcn "$img" pad- > "$WORK/ntfsu.victims"
  head -40 "$WORK/ntfsu.victims" > "$WORK/ntfsu.first"
  tail -n +41 "$WORK/ntfsu.victims" > "$WORK/ntfsu.second"
  ntfs_mount "$img" "$m"
  while read -r d; do rm "$m/Pad/$d"; done < "$WORK/ntfsu.second"
  sync
  while read -r d; do echo "small $d" > "$m/Small/$d"; done < "$WORK/ntfsu.second"
  sync
  fx content blocks pr-long 4000000 "$WORK/ntfsu.long"
  dd if="$WORK/ntfsu.long" of="$m/long.txt" bs=1024 status=none 2>/dev/null || true
  sync
  while read -r d; do rm "$m/Pad/$d"; done < "$WORK/ntfsu.first"
  sync
  fx content blocks pr-later 4000000 "$WORK/ntfsu.later"
  dd if="$WORK/ntfsu.later" of="$m/later.txt" bs=1024 status=none 2>/dev/null || true
  ls "$m/Pad" > "$WORK/ntfsu.kept"
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  ntfscat "$img" /long.txt > "$WORK/ntfsu.long.got"
  ntfscat "$img" /later.txt > "$WORK/ntfsu.later.got"
  [ "$(stat -c %s "$WORK/ntfsu.later.got")" -eq 81920 ] \
    || { echo "ntfs-reused: later.txt did not take the 40 holes" >&2; exit 1; }
  ntfsinfo -F /long.txt "$img" | grep 'Dumping attribute \$ATTRIBUTE_LIST' >/dev/null \
    || { echo "ntfs-reused: long.txt has no attribute list" >&2; exit 1; }
  ntfsinfo -F /later.txt "$img" | grep 'Dumping attribute \$ATTRIBUTE_LIST' >/dev/null \
    && { echo "ntfs-reused: later.txt has an attribute list" >&2; exit 1; }
  fx recordfile "$work" present "long.txt" "$WORK/ntfsu.long.got"
  fx recordfile "$work" present "later.txt" "$WORK/ntfsu.later.got"
  while read -r d; do
    fx recordfile "$work" present "Pad/$d" "$WORK/ntfsu.pad.stage/Pad/$d"
  done < <(cat "$WORK/ntfsu.kept" "$WORK/ntfsu.victims")
  mapfile -t victims < <(sed 's|^|Pad/|' "$WORK/ntfsu.victims")
  fx mark "$work" deleted-overwritten "${victims[@]}"
  ntfs_verify "$img" "$work"

  ntfs_mount "$img" "$m"
  rm "$m/long.txt" "$m/later.txt"
  ntfs_umount "$m"
  fx mark "$work" deleted "long.txt" "later.txt"
  fx describe "$work" "$img" 0 p0
  pack ntfs-reused
}

build_ntfs_images() {
  make_ntfs_basic
  make_ntfs_reformatted
  make_ntfs_names
  make_ntfs_mft_pieces
  make_ntfs_packed_pieces
  make_ntfs_nameless
  make_ntfs_reused
}
