#!/usr/bin/env python3
"""Fills an empty FAT32 volume made by mkfs.fat with COUNT small files in folders of PER files.

mtools writes one file at a time and takes minutes for a hundred thousand files; this writes
the folders, the files' single clusters and the allocation table directly, laid out as a
formatter and a copy would lay them out (8.3 upper-case names, one cluster per file).
Check the result with `fsck.fat -n`.
Usage: fat_fill.py IMAGE COUNT [PER]
"""
import struct
import sys

DATE = ((2024 - 1980) << 9) | (1 << 5) | 2   # 2024-01-02
TIME = (3 << 11) | (4 << 5) | 3              # 03:04:06
EOC = 0x0FFFFFFF


def entry(name83, attr, cluster, size):
    return struct.pack("<11sBBBHHHHHHHI", name83, attr, 0, 0, TIME, DATE, DATE,
                       cluster >> 16, TIME, DATE, cluster & 0xFFFF, size)


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    per = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    with open(path, "r+b") as f:
        boot = f.read(512)
        bps, spc, reserved, nfats = struct.unpack_from("<HBHB", boot, 11)
        total = struct.unpack_from("<I", boot, 32)[0]
        if struct.unpack_from("<H", boot, 22)[0] != 0:
            sys.exit("fat_fill: not a FAT32 volume (too small for 65,525 clusters?)")
        fat_sectors, _, _, root = struct.unpack_from("<IHHI", boot, 36)
        fsinfo = struct.unpack_from("<H", boot, 48)[0]
        cluster_bytes = bps * spc
        data_start = (reserved + nfats * fat_sectors) * bps
        clusters = (total - reserved - nfats * fat_sectors) // spc
        f.seek(reserved * bps)
        fat = list(struct.unpack("<%dI" % (clusters + 2), f.read((clusters + 2) * 4)))
        free = [root + 1]

        def allocate(n, first=None):
            chain = [first] if first else []
            while len(chain) < n:
                c = free[0]
                if c >= clusters + 2:
                    sys.exit("fat_fill: the volume is full")
                free[0] += 1
                chain.append(c)
            for a, b in zip(chain, chain[1:]):
                fat[a] = b
            fat[chain[-1]] = EOC
            return chain

        def write(chain, data):
            for i, c in enumerate(chain):
                f.seek(data_start + (c - 2) * cluster_bytes)
                f.write(data[i * cluster_bytes:(i + 1) * cluster_bytes].ljust(cluster_bytes, b"\0"))

        # The root keeps what the formatter put there (the label entry).
        f.seek(data_start + (root - 2) * cluster_bytes)
        root_old = f.read(cluster_bytes)
        used = 0
        while used < cluster_bytes and root_old[used] != 0:
            used += 32
        root_entries = [root_old[:used]]
        folders = (count + per - 1) // per
        for d in range(folders):
            name = ("D%04d" % d).encode().ljust(11)
            files = range(d * per, min(count, (d + 1) * per))
            size = (2 + len(files)) * 32
            chain = allocate((size + cluster_bytes - 1) // cluster_bytes)
            entries = [entry(b".          ", 0x10, chain[0], 0), entry(b"..         ", 0x10, 0, 0)]
            for i in files:
                text = b"file %d\n" % i
                c = allocate(1)
                write(c, text)
                entries.append(entry(("F%07dTXT" % i).encode(), 0x20, c[0], len(text)))
            write(chain, b"".join(entries))
            root_entries.append(entry(name, 0x10, chain[0], 0))
        data = b"".join(root_entries)
        write(allocate((len(data) + cluster_bytes - 1) // cluster_bytes, root), data)
        raw = struct.pack("<%dI" % len(fat), *fat)
        for n in range(nfats):
            f.seek((reserved + n * fat_sectors) * bps)
            f.write(raw)
        for sector in (fsinfo, fsinfo + 6):
            f.seek(sector * bps + 488)
            f.write(struct.pack("<II", 0xFFFFFFFF, 0xFFFFFFFF))


main()
