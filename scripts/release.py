#!/usr/bin/env python3
"""Stages and packs the release programs.

    release.py stage BUILD [CERT KEY [PASSFILE]]
        copies BUILD/win32/ostrivel.exe and BUILD/win64/ostrivel.exe to
        BUILD/pack/win32/ and BUILD/pack/win64/, signed with Authenticode by
        osslsigncode when a certificate and its key are given
    release.py pack VERSION SOURCE BUILD DIST
        empties DIST and writes into it ostrivel-VERSION-win32.zip and
        ostrivel-VERSION-win64.zip, each holding BUILD/README.txt and its
        staged ostrivel.exe, and SHA256SUMS naming both

The ZIPs' bytes depend only on the files they hold and on one time:
SOURCE_DATE_EPOCH when it is set, else the time of SOURCE's last commit.
Entries are stored (not compressed, so no compressor's version shows in
them), in a fixed order, with fixed attributes and no extra fields.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile

PACKAGES = ["win32", "win64"]
# In this order: name in the ZIP, file in BUILD, Unix mode.
ENTRIES = [("README.txt", "README.txt", 0o644), ("ostrivel.exe", "pack/{}/ostrivel.exe", 0o755)]


def stage(build, sign):
    for package in PACKAGES:
        built = os.path.join(build, package, "ostrivel.exe")
        staged = os.path.join(build, "pack", package, "ostrivel.exe")
        os.makedirs(os.path.dirname(staged), exist_ok=True)
        if os.path.exists(staged):
            os.remove(staged)  # osslsigncode does not overwrite
        if not sign:
            shutil.copyfile(built, staged)
            continue
        command = ["osslsigncode", "sign", "-certs", sign[0], "-key", sign[1]]
        if len(sign) > 2:
            command += ["-readpass", sign[2]]
        command += ["-n", "Ostrivel", "-h", "sha256", "-in", built, "-out", staged]
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            sys.exit(f"signing {built} failed:\n{result.stdout}")
        print(f"Signed {staged}")


def source_time(source):
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch is None:
        result = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                                stdout=subprocess.PIPE, text=True)
        epoch = result.stdout.strip()
        if result.returncode != 0 or not epoch:
            sys.exit(f"{source} is not a git checkout: set SOURCE_DATE_EPOCH")
    # ZIP times are local times without a zone: the UTC one is written. ZIP
    # cannot hold a time before 1980.
    return max(time.gmtime(int(epoch))[:6], (1980, 1, 1, 0, 0, 0))


def pack(version, source, build, dist):
    when = source_time(source)
    if os.path.isdir(dist):
        shutil.rmtree(dist)
    os.makedirs(dist)
    sums = []
    for package in PACKAGES:
        name = f"ostrivel-{version}-{package}.zip"
        with zipfile.ZipFile(os.path.join(dist, name), "w") as z:
            for entry, path, mode in ENTRIES:
                info = zipfile.ZipInfo(entry, when)
                info.compress_type = zipfile.ZIP_STORED
                info.create_system = 3  # Unix, whatever system packs it
                info.external_attr = (0o100000 | mode) << 16
                with open(os.path.join(build, path.format(package)), "rb") as f:
                    z.writestr(info, f.read())
        with open(os.path.join(dist, name), "rb") as f:
            sums.append(f"{hashlib.sha256(f.read()).hexdigest()}  {name}\n")
        print(f"Package: {os.path.join(dist, name)}")
    with open(os.path.join(dist, "SHA256SUMS"), "w", newline="\n") as f:
        f.writelines(sums)
    print(f"Checksums: {os.path.join(dist, 'SHA256SUMS')}")


def main(argv):
    if argv[:1] == ["stage"] and len(argv) in (2, 4, 5):
        stage(argv[1], argv[2:])
    elif argv[:1] == ["pack"] and len(argv) == 5:
        pack(*argv[1:])
    else:
        sys.exit(__doc__)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
