#!/usr/bin/env python3
"""Lists the volumes of disk images as vlm, mmls and TestDisk see them (bench/volumes-vs-peers.sh).

Usage: volume_lists.py VLM IMAGE...
Each volume is (start, length, type); vlm's also carry the file count `vlm ls` gives and a
leading D on deleted partitions. TestDisk searches an image whose name starts with "gpt" as a
GPT disk, any other as an MBR disk. TestDisk's CHS positions are turned into sectors with the
geometry it prints; for a GPT disk, where its search proposes nothing, every candidate its
search printed is listed (duplicates and misplaced ones included: that is its noise).
"""
import json
import os
import re
import subprocess
import sys
import tempfile


def run(cmd, cwd=None):
    r = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, errors="replace", timeout=1800)
    return r.stdout + r.stderr


def vlm_volumes(vlm, img):
    base = [vlm, "--image", img, "--no-machine-devices"]
    out = run(base + ["devices", "--json"])
    try:
        records = json.loads(out[out.index("["):])
    except ValueError:
        return [("error", out.strip()[:200])]
    volumes = []
    for r in records:
        if r["physical"]:
            continue
        listing = run(base + ["ls", str(r["volume"])]).strip().splitlines()
        files = re.search(r"in (\d+) files", listing[-1]) if listing else None
        kind = ("D" if r["volume_type"] == 16 else "") + r["file_system"]
        volumes.append((r["start_sector"], r["capacity_bytes"] // 512, kind, files.group(1) if files else "-"))
    return volumes


def mmls_volumes(img):
    volumes = []
    for line in run(["mmls", img]).splitlines():
        m = re.match(r"\d+:\s+(\d+:\d+|\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(.*)", line)
        if m:
            volumes.append((int(m.group(2)), int(m.group(4)), m.group(5).strip()))
    return volumes


def testdisk_volumes(img, search):
    img = os.path.abspath(img)
    if search:
        kind = "partition_gpt" if os.path.basename(img).startswith("gpt") else "partition_i386"
        with tempfile.TemporaryDirectory() as d:
            run(["testdisk", "/log", "/cmd", img, kind + ",analyze,search"], cwd=d)
            with open(os.path.join(d, "testdisk.log"), errors="replace") as f:
                text = f.read()
        part = text.rsplit("interface_write()", 1)[-1] if "interface_write()" in text else ""
        if "No partition found" in part and "search_part()" in text:
            found = text.rsplit("search_part()", 1)[-1].split("interface_write()")[0]
            part = "\n".join(sorted({"  * " + l.strip() for l in found.splitlines()
                                     if re.match(r"\s+\S.*\s\d+\s+\d+\s+\d+(\s*\[.*\])?$", l)}))
    else:
        text = part = run(["testdisk", "/list", img])
    geometry = re.search(r"CHS \d+ (\d+) (\d+)", text)
    heads, sectors = (int(geometry.group(1)), int(geometry.group(2))) if geometry else (255, 63)
    volumes = []
    for line in part.splitlines():
        chs = re.match(r"\s*(\d+)?\s*([*PLEDX])\s+(.*?)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)", line)
        lba = re.match(r"\s*(\d+)?\s*([*PLEDX])\s+(.*?)\s+(\d+)\s+(\d+)\s+(\d+)(\s.*)?$", line)
        if chs and chs.group(2) not in "EX":
            c, h, s = int(chs.group(4)), int(chs.group(5)), int(chs.group(6))
            volumes.append(((c * heads + h) * sectors + s - 1, int(chs.group(10)), chs.group(3).strip()))
        elif not chs and lba and lba.group(2) not in "EX":
            volumes.append((int(lba.group(4)), int(lba.group(6)), lba.group(3).strip()))
    return volumes


def main():
    vlm = sys.argv[1]
    for img in sys.argv[2:]:
        print("==", os.path.basename(img))
        print("  vlm            ", vlm_volumes(vlm, img))
        print("  mmls           ", [v for v in mmls_volumes(img) if not v[2].startswith(("Meta", "-----", "Unalloc"))])
        print("  testdisk list  ", testdisk_volumes(img, False))
        print("  testdisk search", testdisk_volumes(img, True))


if __name__ == "__main__":
    main()
