# Shared helpers for scripts/make-test-images (sourced; expects REPO and WORK).

PYTHON=${PYTHON:-$(command -v /usr/bin/python3 || command -v python3)}
# The Debian interpreter: python3-pil installs there, and it starts fast.
fx() { "$PYTHON" "$REPO/scripts/images/fixture.py" "$@"; }

# stage NAME: fills $WORK/NAME.stage from a file list on stdin (lines: KIND SEED SIZE PATH, or
# "dir - 0 PATH"), with every time stamp set to SOURCE_DATE_EPOCH.
stage() {
  local dir="$WORK/$1.stage"
  rm -rf "$dir"
  mkdir -p "$dir"
  cat > "$WORK/$1.files"
  fx tree "$dir" "$WORK/$1.files"
  find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# fat_put IMAGE STAGE: copies the staged tree into the root of a FAT image (long names kept).
fat_put() {
  local img=$1 dir=$2 e
  for e in "$dir"/*; do
    mcopy -s -m -Q -i "$img" "$e" ::/
  done
}

# fat_chain IMAGE PATH: the cluster runs of a file, as "<a-b> <c-d>".
fat_chain() {
  mshowfat -i "$1" "::/$2" | sed 's/^[^<]*//'
}

# sparse_embed PART DISK START: writes a partition image into a disk image at sector START.
sparse_embed() {
  dd if="$1" of="$2" bs=1M conv=sparse,notrunc oflag=seek_bytes seek=$(( $3 * 512 )) status=none
}

# ntfs_mount IMAGE DIR: mounts an NTFS image through ntfs-3g with named streams as name:stream.
ntfs_mount() {
  mkdir -p "$2"
  ntfs-3g -o streams_interface=windows "$1" "$2"
  MOUNTS+=("$2")
}

ntfs_umount() {
  sync
  umount "$1"
}

# mkntfs_at IMAGE START SERIAL [OPTIONS]: a fresh NTFS over the whole IMAGE, which will sit at
# sector START. -T fixes the times (and with them the serial), so the serial is set afterwards:
# volumes of one disk must not share it.
mkntfs_at() {
  local img=$1 start=$2 serial=$3; shift 3
  mkntfs -q -F -Q -T -s 512 -p "$start" -H 255 -S 63 "$@" "$img" 2>/dev/null
  ntfslabel -q --new-serial="$serial" "$img" >/dev/null
}

# pack NAME DEST_DIR: compresses $WORK/NAME.img and writes the manifest next to it.
pack() {
  local name=$1 dest=${2:-tests/data}
  mkdir -p "$dest"
  zstd -19 -q -f "$WORK/$name.img" -o "$dest/$name.img.zst"
  fx finish "$WORK/$name.work" "$dest/$name.manifest"
  echo "$dest/$name.img.zst: $(stat -c %s "$dest/$name.img.zst") bytes" >&2
}

# Files listed in a manifest come from the staged tree; their times are fixed.
touch_fixed() { touch -h -d "@$SOURCE_DATE_EPOCH" "$@"; }

# fat_verify IMAGE WORK [PREFIX] [STATE]: every present (or STATE) file of the manifest reads
# back through mtools with the recorded hash (PREFIX/ is stripped from the manifest paths).
fat_verify() {
  local img=$1 work=$2 prefix=${3:-} want=${4:-present} state size sha path got
  while IFS=$'\t' read -r state size sha path; do
    [ "$state" = "$want" ] || continue
    [ -n "$prefix" ] && { [ "${path#"$prefix/"}" != "$path" ] || continue; path=${path#"$prefix/"}; }
    got=$(mcopy -n -i "$img" "::/$path" - | sha256sum)
    [ "${got%% *}" = "$sha" ] || { echo "$img: $path reads back wrong" >&2; exit 1; }
  done < <(grep -v '^#' "$work")
}

# ntfs_verify IMAGE WORK [PREFIX]: the same through a fresh read-only mount.
# A path FILE:NAME is the named data stream NAME of FILE.
ntfs_verify() {
  local m=$WORK/mnt-verify
  mkdir -p "$m"
  ntfs-3g -o ro,streams_interface=windows "$1" "$m"
  MOUNTS+=("$m")
  fx verify-dir "$m" "$2" "${3:-}"
  umount "$m"
}
