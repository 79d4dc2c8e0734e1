#!/usr/bin/env python3
"""Makes a ZIP with many tiny members for timing listers side by side.

    bench/make_many_members_zip.py [OUT] [COUNT]     default /tmp/many_members.zip, 50000

Then, for example (hyperfine when installed, else a loop of runs):
    hyperfine -w 2 'build/linux/ui/console/tessaly -l /tmp/many_members.zip' \
        'unzip -l /tmp/many_members.zip' '7zz l /tmp/many_members.zip'
"""
import sys
import zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "/tmp/many_members.zip"
count = int(sys.argv[2]) if len(sys.argv) > 2 else 50000
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(count):
        z.writestr("dir%03d/member_%06d.txt" % (i // 1000, i), "member %d\n" % i)
print(out)
