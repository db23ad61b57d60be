#!/usr/bin/env python3
"""Writes sample Compound Files with qc_cfb_samples and has two independent readers check them:
olefile (with every defect from DEFECT_INCORRECT up raised, every stream's size and CRC compared
with the manifest) and olecfinfo from libolecf. Exits 77 (skipped) when neither is installed.

usage: independent_readers.py <qc_cfb_samples> <scratch folder>"""
import os
import shutil
import subprocess
import sys
import zlib

SKIPPED = 77


def find_olefile():
    """olefile may live with the system's Python rather than the one running this script."""
    try:
        import olefile  # noqa: F401
        return sys.executable
    except ImportError:
        pass
    for candidate in ("/usr/bin/python3", shutil.which("python3")):
        if candidate and candidate != sys.executable and subprocess.run(
                [candidate, "-c", "import olefile"], capture_output=True).returncode == 0:
            return candidate
    return None


OLEFILE_CHECK = r'''
import sys, zlib, olefile
path, expected = sys.argv[1], sys.argv[2:]
ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
found = {}
for parts in ole.listdir(streams=True, storages=True):
    name = "/" + "/".join(parts)
    if ole.get_type(parts) == olefile.STGTY_STORAGE:
        found[name + "/"] = "-\t-"
    else:
        data = ole.openstream(parts).read()
        found[name] = "%d\t%d" % (len(data), zlib.crc32(data))
if path.endswith("msg_shape.cfb") and ole.root.clsid != "00020D0B-0000-0000-C000-000000000046":
    sys.exit("root CLSID " + ole.root.clsid)
for line in expected:
    name, rest = line.split("\t", 1)
    if found.pop(name, None) != rest:
        sys.exit("%s: %s read back differently" % (path, name))
if found:
    sys.exit("%s: unexpected entries %s" % (path, sorted(found)))
'''


def main():
    samples, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    subprocess.run([samples, folder], check=True)
    manifest = {}
    with open(os.path.join(folder, "manifest.tsv"), encoding="utf-8") as lines:
        for line in lines:
            name, rest = line.rstrip("\n").split("\t", 1)
            manifest.setdefault(name, []).append(rest)

    python = find_olefile()
    olecfinfo = shutil.which("olecfinfo")
    if not python and not olecfinfo:
        print("neither olefile nor olecfinfo is installed")
        return SKIPPED
    failures = 0
    for name, expected in sorted(manifest.items()):
        path = os.path.join(folder, name)
        if python:
            done = subprocess.run([python, "-c", OLEFILE_CHECK, path] + expected,
                                  capture_output=True, text=True)
            if done.returncode != 0:
                failures += 1
                print("olefile rejects %s:\n%s%s" % (name, done.stdout, done.stderr))
        if olecfinfo:
            done = subprocess.run([olecfinfo, "-a", path], capture_output=True, text=True)
            said = (done.stdout + done.stderr).lower()
            if done.returncode != 0 or "error" in said or "unable" in said:
                failures += 1
                print("olecfinfo rejects %s:\n%s%s" % (name, done.stdout, done.stderr))
    print("%d files, olefile %s, olecfinfo %s, %d rejections" % (
        len(manifest), "used" if python else "missing", "used" if olecfinfo else "missing",
        failures))
    if not python or not olecfinfo:
        print("one reader is missing; the other one checked every file")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
