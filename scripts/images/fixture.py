#!/usr/bin/env python3
"""Helpers for building the test images: deterministic file contents, manifests,
partition descriptions read back from the boot sectors the real tools wrote.

Subcommands (all paths relative to the caller):
  content KIND SEED SIZE OUT        write SIZE bytes of KIND (rand|text|blocks|zero) seeded by SEED
  tree STAGE LIST                   fill folder STAGE from a file list (lines: KIND SEED SIZE PATH)
  record WORK STATE PREFIX ROOT     add every file under ROOT to WORK with STATE, path PREFIX/rel
  recordfile WORK STATE PATH FILE   add one file
  mark WORK STATE PATH...           change the state of entries (PATH may end in '/' for a subtree)
  header WORK TEXT                  add a '#' line
  describe WORK IMAGE START LABEL [NOTE]  add a partition line read from the boot sector at START
  finish WORK OUT                   write the manifest: header lines, then entries sorted by path
  clear-fsinfo-hint IMAGE [START]   mark the FAT32 next-free hint unknown
  png SEED W H OUT / jpeg SEED W H OUT   small photo-like pictures
"""
import hashlib
import os
import random
import struct
import sys
import zlib

WORDS = ("recovery sector cluster volume record index folder table boot image photo "
         "holiday garden river mountain invoice letter report budget summary draft "
         "north south morning evening quarterly meeting notes chapter section figure "
         "alpha beta gamma delta lamp window street market coffee paper station").split()


def make_content(kind, seed, size):
    rng = random.Random(f"{kind}:{seed}")
    if kind == "zero":
        return bytes(size)
    if kind == "rand":
        return rng.randbytes(size)
    if kind == "text":
        out = bytearray()
        line = 0
        while len(out) < size:
            line += 1
            words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14)))
            out += f"{seed} {line:05d} {words}.\n".encode()
        return bytes(out[:size])
    if kind == "blocks":
        # Every 512-byte block names itself, so a block recovered in the wrong
        # place or order shows, while the whole still compresses well.
        out = bytearray()
        block = 0
        filler = " ".join(rng.choice(WORDS) for _ in range(12)) + " "
        while len(out) < size:
            head = f"[{seed} block {block:07d}] "
            body = (head + filler * 40)[:511] + "\n"
            out += body.encode()
            block += 1
        return bytes(out[:size])
    raise SystemExit(f"unknown content kind {kind}")


def write(path, data):
    d = os.path.dirname(path)
    if d:
        os.makedirs(d, exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def cmd_content(kind, seed, size, out):
    write(out, make_content(kind, seed, int(size)))


def cmd_tree(stage, listing):
    with open(listing, encoding="utf-8") as f:
        for raw in f:
            raw = raw.rstrip("\n")
            if not raw or raw.startswith("#"):
                continue
            kind, seed, size, rel = raw.split(None, 3)
            if kind == "dir":
                os.makedirs(os.path.join(stage, rel), exist_ok=True)
                continue
            write(os.path.join(stage, rel), make_content(kind, seed, int(size)))


def entry(state, path, data):
    return f"{state}\t{len(data)}\t{hashlib.sha256(data).hexdigest()}\t{path}\n"


def join(prefix, rel):
    rel = rel.replace(os.sep, "/")
    return f"{prefix}/{rel}" if prefix not in ("", "/") else rel


def cmd_record(work, state, prefix, root):
    lines = []
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        for name in sorted(filenames):
            full = os.path.join(dirpath, name)
            with open(full, "rb") as f:
                lines.append(entry(state, join(prefix, os.path.relpath(full, root)), f.read()))
    with open(work, "a", encoding="utf-8") as f:
        f.writelines(lines)


def cmd_recordfile(work, state, path, file):
    with open(file, "rb") as f:
        data = f.read()
    with open(work, "a", encoding="utf-8") as f:
        f.write(entry(state, path, data))


def cmd_mark(work, state, *paths):
    with open(work, encoding="utf-8") as f:
        lines = f.readlines()
    hit = {p: 0 for p in paths}
    out = []
    for line in lines:
        if not line.startswith("#"):
            parts = line.rstrip("\n").split("\t")
            for p in paths:
                if parts[3] == p or (p.endswith("/") and parts[3].startswith(p)):
                    parts[0] = state
                    hit[p] += 1
            line = "\t".join(parts) + "\n"
        out.append(line)
    missing = [p for p, n in hit.items() if n == 0]
    if missing:
        raise SystemExit(f"mark: not in manifest: {missing}")
    with open(work, "w", encoding="utf-8") as f:
        f.writelines(out)


def cmd_header(work, text):
    with open(work, "a", encoding="utf-8") as f:
        f.write(f"# {text}\n")


def describe(image, start, sector_bytes=512):
    with open(image, "rb") as f:
        f.seek(start * sector_bytes)
        bs = f.read(512)
    if len(bs) < 512 or bs[510:512] != b"\x55\xaa":
        raise SystemExit(f"{image}: no boot sector at sector {start}")
    if bs[3:11] == b"EXFAT   ":
        total = struct.unpack_from("<Q", bs, 72)[0]
        serial = struct.unpack_from("<I", bs, 100)[0]
        return "exfat", total, (1 << bs[108]) << bs[109], f"{serial:08x}"
    bps = struct.unpack_from("<H", bs, 11)[0]
    spc = bs[13]
    if bs[3:11] == b"NTFS    ":
        total = struct.unpack_from("<Q", bs, 0x28)[0]
        serial = struct.unpack_from("<Q", bs, 0x48)[0]
        return "ntfs", total, bps * spc, f"{serial:016x}"
    reserved, nfats, rootents, tot16 = struct.unpack_from("<HBHH", bs, 14)
    fatsz16 = struct.unpack_from("<H", bs, 22)[0]
    tot32 = struct.unpack_from("<I", bs, 32)[0]
    total = tot16 or tot32
    if fatsz16 == 0:
        fatsz = struct.unpack_from("<I", bs, 36)[0]
        serial = struct.unpack_from("<I", bs, 67)[0]
    else:
        fatsz = fatsz16
        serial = struct.unpack_from("<I", bs, 39)[0]
    rootsec = (rootents * 32 + bps - 1) // bps
    clusters = (total - reserved - nfats * fatsz - rootsec) // spc
    if fatsz16 == 0:
        fs = "fat32"
    else:
        fs = "fat12" if clusters < 4085 else "fat16"
    return fs, total, bps * spc, f"{serial:08x}"


def cmd_describe(work, image, start, label, note="", sector_bytes="512"):
    # start counts the disk's own sectors (sector_bytes each).
    start = int(start)
    fs, total, cluster, serial = describe(image, start, int(sector_bytes))
    line = f"partition {label} start={start} sectors={total} fs={fs} cluster={cluster} serial={serial}"
    if int(sector_bytes) != 512:
        line += f" sector-bytes={sector_bytes}"
    if note:
        line += f" {note}"
    cmd_header(work, line)


def cmd_finish(work, out):
    with open(work, encoding="utf-8") as f:
        lines = f.readlines()
    head = [l for l in lines if l.startswith("#")]
    body = sorted((l for l in lines if not l.startswith("#")), key=lambda l: l.split("\t")[3])
    head.insert(0, "# state\tsize\tsha256\tpath\n")
    with open(out, "w", encoding="utf-8") as f:
        f.writelines(head + body)


def cmd_clear_fsinfo_hint(image, start="0"):
    # The FSInfo sector holds a next-free-cluster hint. With the hint unknown the
    # allocator searches from the front of the volume, so a file written after a
    # deletion first fills the freed gap and then continues further on.
    base = int(start) * 512
    with open(image, "r+b") as f:
        f.seek(base)
        bs = f.read(512)
        fsinfo = struct.unpack_from("<H", bs, 48)[0]
        f.seek(base + fsinfo * 512)
        sec = f.read(512)
        if sec[0:4] != b"RRaA" or sec[484:488] != b"rrAa":
            raise SystemExit("no FSInfo sector")
        f.seek(base + fsinfo * 512 + 492)
        f.write(struct.pack("<I", 0xFFFFFFFF))


def picture(seed, w, h):
    rng = random.Random(f"pic:{seed}")
    cx, cy = rng.uniform(0, w), rng.uniform(0, h)
    c0 = [rng.randint(0, 255) for _ in range(3)]
    c1 = [rng.randint(0, 255) for _ in range(3)]
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            t = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5 / (w + h) * 2
            t = min(1.0, t)
            n = rng.randint(-12, 12)
            for k in range(3):
                v = int(c0[k] * (1 - t) + c1[k] * t) + n
                row.append(max(0, min(255, v)))
        rows.append(bytes(row))
    return rows


def cmd_png(seed, w, h, out):
    w, h = int(w), int(h)
    rows = picture(seed, w, h)
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"tEXt", f"Comment\x00sample picture {seed}".encode())
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    write(out, png)


def cmd_jpeg(seed, w, h, out):
    from PIL import Image  # python3-pil
    w, h = int(w), int(h)
    img = Image.frombytes("RGB", (w, h), b"".join(picture(seed, w, h)))
    exif = Image.Exif()
    exif[0x010F] = "Vellumar test camera"
    exif[0x0132] = "2021:06:15 10:30:00"
    exif[0x010E] = f"sample photo {seed}"
    os.makedirs(os.path.dirname(out) or ".", exist_ok=True)
    img.save(out, "JPEG", quality=88, exif=exif.tobytes())


def ntfs_runs(mapping):
    """Decodes a runlist into (lcn, length) pairs; lcn None for a hole."""
    runs, pos, lcn = [], 0, 0
    while pos < len(mapping) and mapping[pos]:
        head = mapping[pos]
        nlen, noff = head & 15, head >> 4
        length = int.from_bytes(mapping[pos + 1:pos + 1 + nlen], "little")
        if noff:
            lcn += int.from_bytes(mapping[pos + 1 + nlen:pos + 1 + nlen + noff], "little", signed=True)
            runs.append((lcn, length))
        else:
            runs.append((None, length))
        pos += 1 + nlen + noff
    return runs


def ntfs_records(image):
    """Yields (name, first data lcn) of every in-use file record with a non-resident $DATA."""
    with open(image, "rb") as f:
        data = f.read()
    bs = data[:512]
    cluster = struct.unpack_from("<H", bs, 11)[0] * bs[13]
    mft = struct.unpack_from("<Q", bs, 0x30)[0] * cluster
    raw = struct.unpack_from("<b", bs, 0x40)[0]
    rsize = raw * cluster if raw > 0 else 1 << -raw

    def record(off):
        rec = bytearray(data[off:off + rsize])
        if rec[:4] != b"FILE":
            return None
        uo, un = struct.unpack_from("<HH", rec, 4)
        for i in range(1, un):
            rec[i * 512 - 2:i * 512] = rec[uo + 2 * i:uo + 2 * i + 2]
        return rec

    def attrs(rec):
        pos = struct.unpack_from("<H", rec, 20)[0]
        while pos + 8 <= len(rec):
            atype, alen = struct.unpack_from("<II", rec, pos)
            if atype == 0xFFFFFFFF or alen == 0:
                return
            yield atype, rec[pos:pos + alen]
            pos += alen

    mft_runs = []
    for atype, a in attrs(record(mft)):
        if atype == 0x80 and a[8]:
            mft_runs = ntfs_runs(a[struct.unpack_from("<H", a, 32)[0]:])
    for lcn, length in mft_runs:
        for off in range(lcn * cluster, (lcn + length) * cluster, rsize):
            rec = record(off)
            if rec is None or not (struct.unpack_from("<H", rec, 22)[0] & 1):
                continue
            name, first = None, None
            for atype, a in attrs(rec):
                if atype == 0x30:
                    v = a[struct.unpack_from("<H", a, 20)[0]:]
                    name = bytes(v[66:66 + 2 * v[64]]).decode("utf-16-le")
                elif atype == 0x80 and a[8] and a[9] == 0 and first is None:
                    runs = ntfs_runs(a[struct.unpack_from("<H", a, 32)[0]:])
                    if runs and runs[0][0] is not None:
                        first = runs[0][0]
            if name is not None and first is not None:
                yield name, first


def cmd_every_other_by_lcn(image, prefix):
    """Prints every other file (the 1st, 3rd, ...) whose name starts with PREFIX, in the
    order of their first cluster: deleting them leaves holes between the kept ones."""
    found = sorted((lcn, name) for name, lcn in ntfs_records(image) if name.startswith(prefix))
    for lcn, name in found[::2]:
        print(name)


def cmd_verify_dir(root, work, prefix=""):
    """Every present file of WORK (under PREFIX/) reads back from the mounted ROOT unchanged."""
    bad = 0
    with open(work, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            state, size, sha, path = line.rstrip("\n").split("\t")
            if state != "present":
                continue
            if prefix:
                if not path.startswith(prefix + "/"):
                    continue
                path = path[len(prefix) + 1:]
            with open(os.path.join(root, path), "rb") as g:
                if hashlib.sha256(g.read()).hexdigest() != sha:
                    print(f"{path} reads back wrong", file=sys.stderr)
                    bad += 1
    if bad:
        raise SystemExit(1)


def cmd_zero_clusters(image, first, last):
    """Writes zeros over the FAT data clusters FIRST..LAST of the volume at the start of IMAGE."""
    with open(image, "r+b") as f:
        boot = f.read(512)
        bps, spc, reserved, fats = struct.unpack_from("<HBHB", boot, 11)
        fat_sectors = struct.unpack_from("<H", boot, 22)[0] or struct.unpack_from("<I", boot, 36)[0]
        root_sectors = (struct.unpack_from("<H", boot, 17)[0] * 32 + bps - 1) // bps
        data = reserved + fats * fat_sectors + root_sectors
        first, last = int(first), int(last)
        f.seek((data + (first - 2) * spc) * bps)
        f.write(bytes((last - first + 1) * spc * bps))


COMMANDS = {
    "verify-dir": cmd_verify_dir,
    "every-other-by-lcn": cmd_every_other_by_lcn,
    "content": cmd_content, "tree": cmd_tree, "record": cmd_record, "recordfile": cmd_recordfile,
    "mark": cmd_mark, "header": cmd_header, "describe": cmd_describe, "finish": cmd_finish,
    "clear-fsinfo-hint": cmd_clear_fsinfo_hint, "png": cmd_png, "jpeg": cmd_jpeg,
    "zero-clusters": cmd_zero_clusters,
}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in COMMANDS:
        raise SystemExit(__doc__)
    COMMANDS[sys.argv[1]](*sys.argv[2:])
