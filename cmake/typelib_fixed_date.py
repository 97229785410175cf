#!/usr/bin/env python3
"""Gives a type library made by widl a fixed creation date, so that two builds give the
same bytes: widl writes the time of the run twice, as the text "Created by WIDL version
V at <date>" and as the 4-byte time value (a VT_UI4 item) stored after it. Both become
SOURCE_DATE_EPOCH when that is set, else the start of 1970.

  typelib_fixed_date.py FILE.tlb
"""
import os
import re
import sys
import time

path = sys.argv[1]
data = bytearray(open(path, "rb").read())
epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
fixed = time.asctime(time.gmtime(epoch)).encode()
m = re.search(rb"Created by WIDL version [0-9.]+ at (.{24})\n", data, re.S)
if not m:
    sys.exit(0)  # a widl that writes no date needs nothing
data[m.start(1):m.end(1)] = fixed
# The time value follows the text, after padding, as the type code 0x0013 and 4 bytes.
tail = data.find(b"\x13\x00", m.end(), m.end() + 16)
if tail < 0:
    sys.exit(f"typelib_fixed_date: no time value after the creation text in {path}")
data[tail + 2:tail + 6] = epoch.to_bytes(4, "little")
open(path, "wb").write(data)
