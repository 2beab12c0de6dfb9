#!/usr/bin/python3
"""Sets the summary information of a package to fixed values: its creation
and last-saved times to SOURCE_DATE_EPOCH and its package code to the one of
the WiX source (wixl and msibuild write the current time and a random code).

    summary_info.py PACKAGE.msi EPOCH SOURCE.wxs
"""
import re
import sys

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402


def main():
    path, epoch, wxs = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    code = re.search(r'<Package Id="(\{[0-9A-F-]{36}\})"', open(wxs, encoding="utf-8").read())
    if not code:
        raise SystemExit("no package code in " + wxs)
    db = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
    info = Libmsi.SummaryInfo.new(db, 20)
    filetime = (epoch + 11644473600) * 10000000  # 100 ns since 1601
    info.set_filetime(Libmsi.Property.CREATED_TM, filetime)
    info.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
    info.set_string(Libmsi.Property.UUID, code.group(1))
    info.persist()
    db.commit()


if __name__ == "__main__":
    main()
