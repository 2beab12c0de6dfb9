"""widl stamps a type library with the time of the build: the custom data
text "Created by WIDL version V at DATE" and, right after it, the same time as
a 4-byte number (VT_UI4). Both are set to 1970-01-01 00:00:00 UTC, so that two
builds of the library are alike.

    zv_tlb_fixed_time.py LIBRARY.tlb
"""
import re
import sys

path = sys.argv[1]
data = open(path, "rb").read()
stamp = re.compile(rb"(Created by WIDL version [0-9.]+ at )[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}"
                   rb"(\n?W*\x13\x00)....", re.S)
fixed, count = stamp.subn(lambda m: m.group(1) + b"Thu Jan  1 00:00:00 1970" + m.group(2) + b"\0\0\0\0", data)
if count != 1:
    sys.exit("%s: widl's time stamp not found once (%d times)" % (path, count))
open(path, "wb").write(fixed)
