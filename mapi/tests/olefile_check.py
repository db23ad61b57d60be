#!/usr/bin/env python3
"""Opens each .msg file with olefile, raising every defect from DEFECT_INCORRECT up, and reads
every stream. Exits non-zero naming the first file it rejects."""
import sys

import olefile

for path in sys.argv[1:]:
    try:
        ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
        for entry in ole.listdir(streams=True, storages=False):
            ole.openstream(entry).read()
        ole.close()
    except Exception as error:  # any rejection is a failure of our writer
        print(f"{path}: {error}")
        sys.exit(1)
print(f"olefile read {len(sys.argv) - 1} files")
