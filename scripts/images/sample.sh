# The shipped sample: an MBR disk with a FAT32 and an NTFS partition holding camera photos,
# screenshots and documents, some of them deleted. Paths in the manifest start with p1/ or p2/.

# sample_pictures DIR: the photos and screenshots (JPEG through python3-pil, PNG by hand).
sample_pictures() {
  local d=$1 i
  for i in 1 2 3 4 5; do fx jpeg "sample-$i" 480 360 "$d/p1/DCIM/100CAMERA/IMG_000$i.JPG"; done
  fx jpeg sample-6 400 300 "$d/p2/Users/Ann/Pictures/Holiday/beach.jpg"
  fx jpeg sample-7 400 300 "$d/p2/Users/Ann/Pictures/Holiday/sunset.jpg"
  fx png sample-8 320 200 "$d/p1/Screenshots/screen 1.png"
  fx png sample-9 320 200 "$d/p2/Users/Ann/Pictures/diagram.png"
}

build_sample() {
  local disk=$WORK/sample-disk.img work=$WORK/sample-disk.work pics=$WORK/sample-pics
  rm -rf "$disk" "$work" "$pics"
  truncate -s $(( 157696 * 512 )) "$disk"
  sfdisk -q "$disk" <<'TABLE'
label: dos
label-id: 0x5a3b1e01
unit: sectors

start=2048, size=106496, type=c, bootable
start=108544, size=49152, type=7
TABLE
  sample_pictures "$pics"
  find "$pics" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

  part_fat "$WORK/s1" 106496 2048 32 5a3b0001 CAMERA -s 1
  stage sample-p1 <<'FILES'
text s1-1 1800 DCIM/100CAMERA/info.txt
text s1-2 4200 Documents/shopping list.txt
text s1-3 15000 Documents/Travel diary.txt
text s1-4 2600 Documents/old notes.txt
FILES
  cp -r --preserve=timestamps "$pics/p1"/. "$WORK/sample-p1.stage"/
  fat_put "$WORK/s1" "$WORK/sample-p1.stage"
  fx record "$work" present p1 "$WORK/sample-p1.stage"
  mdel -i "$WORK/s1" ::/DCIM/100CAMERA/IMG_0002.JPG ::/DCIM/100CAMERA/IMG_0004.JPG "::/Documents/old notes.txt"
  fx mark "$work" deleted p1/DCIM/100CAMERA/IMG_0002.JPG p1/DCIM/100CAMERA/IMG_0004.JPG "p1/Documents/old notes.txt"
  fat_verify "$WORK/s1" "$work" p1
  sparse_embed "$WORK/s1" "$disk" 2048

  part_ntfs "$WORK/s2" 49152 108544 5a3b1e0100000002 DATA
  stage sample-p2 <<'FILES'
text s2-1 9000 Users/Ann/Documents/Letter to the council.txt
text s2-2 300 Users/Ann/Documents/todo.txt
blocks s2-3 40000 Users/Ann/Documents/Budget 2021.csv
text s2-4 5000 Users/Ann/Documents/Recipe book.txt
FILES
  cp -r --preserve=timestamps "$pics/p2"/. "$WORK/sample-p2.stage"/
  local m=$WORK/mnt-sample
  ntfs_mount "$WORK/s2" "$m"
  ntfs_put_stage "$m" "$WORK/sample-p2.stage"
  find "$m" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  ntfs_umount "$m"
  fx record "$work" present p2 "$WORK/sample-p2.stage"
  ntfs_rm "$WORK/s2" "Users/Ann/Pictures/Holiday/sunset.jpg" "Users/Ann/Documents/Recipe book.txt"
  fx mark "$work" deleted p2/Users/Ann/Pictures/Holiday/sunset.jpg "p2/Users/Ann/Documents/Recipe book.txt"
  ntfs_verify "$WORK/s2" "$work" p2
  sparse_embed "$WORK/s2" "$disk" 108544

  fx describe "$work" "$disk" 2048 p1 "entry-sectors=106496"
  fx describe "$work" "$disk" 108544 p2 "entry-sectors=49152"
  fx header "$work" "mbr label-id=0x5a3b1e01"
  pack sample-disk samples
}
