#!/usr/bin/python3
"""Completes a package wixl built, in one pass through Debian's libmsi
bindings: runs the SQL that wixl cannot express, one query per line, then
sets the summary information to fixed values (creation and last-saved times
SOURCE_DATE_EPOCH, the package code of the WiX source; wixl writes the
current time and a random code).

    finish_msi.py PACKAGE.msi EPOCH SOURCE.wxs QUERIES.sql
"""
import re
import sys

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402


def main():
    path, epoch, wxs, sql = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    code = re.search(r'<Package Id="(\{[0-9A-F-]{36}\})"', open(wxs, encoding="utf-8").read())
    if not code:
        raise SystemExit("no package code in " + wxs)
    db = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
    for line in open(sql, encoding="utf-8").read().split("\n"):
        if not line:
            continue
        try:
            query = Libmsi.Query.new(db, line)
            query.execute(None)
            query.close()
        except Exception as e:  # GLib errors carry the reason
            raise SystemExit("query failed: %s\n  %s" % (line, e))
    info = Libmsi.SummaryInfo.new(db, 20)
    filetime = (epoch + 11644473600) * 10000000  # 100 ns since 1601
    info.set_filetime(Libmsi.Property.CREATED_TM, filetime)
    info.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
    info.set_string(Libmsi.Property.UUID, code.group(1))
    info.persist()
    db.commit()


if __name__ == "__main__":
    main()
