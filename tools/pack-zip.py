#!/usr/bin/env python3
"""Writes the release zip, its files flat and ordered by name, and its SHA-256 file beside it.

  pack-zip.py <zip> <file>...

Nothing of the machine, account, folder or hour goes in: every entry is dated SOURCE_DATE_EPOCH
(the commit's time) and has fixed attributes, so the same files give the same bytes wherever packed.
"""
import hashlib
import os
import sys
import time
import zipfile
from pathlib import Path

# 1980-01-01 00:00 UTC, the earliest date a zip entry holds: for files with no commit to date them.
WITHOUT_A_COMMIT = 315532800


def main(zip_path, files):
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not epoch:
        print("pack-zip: SOURCE_DATE_EPOCH is not set; the entries are dated 1980-01-01", file=sys.stderr)
    # A zip's dates are local times without a zone; taken as UTC they are the same in every zone.
    date_time = time.gmtime(int(epoch or WITHOUT_A_COMMIT))[:6]
    with zipfile.ZipFile(zip_path, "w") as archive:
        for path in sorted(files, key=os.path.basename):
            entry = zipfile.ZipInfo(os.path.basename(path), date_time)
            entry.create_system = 3  # Unix: unzip on Linux then keeps the program executable
            entry.external_attr = (0o100755 if path.endswith(".exe") else 0o100644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, Path(path).read_bytes(), compresslevel=9)
    digest = hashlib.sha256(Path(zip_path).read_bytes()).hexdigest()
    Path(zip_path + ".sha256").write_text(f"{digest}  {os.path.basename(zip_path)}\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
