#!/usr/bin/env python3
"""Writes mail messages the way ordinary mailers encode them, using Python's email package.

  make_messages.py <outdir> < messages.json   one message per element of the JSON array
  make_messages.py --bulk <count> <outdir>    a mixed mailbox of <count> messages

An element of the JSON array:
  {"charset": "iso-2022-jp" | "utf-8" | "us-ascii",
   "fromName": "...", "fromAddr": "...", "subject": "...",
   "date": "Tue, 15 Apr 2003 10:20:30 +0900" | null (no Date header),
   "headers": {"X-Spam-Flag": "YES"}  (optional: more fields, as a filter adds them)}

The header encoder folds long values at 76 columns into several encoded words
on continuation lines, as mailers do. Prints the written file names in order.
"""

import json
import os
import sys
from email.charset import BASE64, Charset
from email.generator import Generator
from email.header import Header
from email.message import Message
from email.utils import formataddr


def charset_for(name):
    charset = Charset(name)
    if name.lower() == "utf-8":
        # The default picks the shorter of B and Q per word; Japanese mailers use B throughout.
        charset.header_encoding = BASE64
    return charset


def build_message(entry, number):
    charset_name = entry.get("charset", "us-ascii")
    msg = Message()
    msg["Return-Path"] = "<%s>" % entry["fromAddr"]
    msg["Received"] = ("from mx.example.jp (mx.example.jp [192.0.2.25]) by pop.example.jp "
                       "with ESMTP id T%06d for <taro@example.jp>; Tue, 15 Apr 2003 10:20:31 +0900" % number)
    if charset_name == "us-ascii":
        msg["From"] = formataddr((entry["fromName"], entry["fromAddr"]))
        msg["Subject"] = entry["subject"]
    else:
        charset = charset_for(charset_name)
        msg["From"] = formataddr((entry["fromName"], entry["fromAddr"]), charset=charset)
        msg["Subject"] = Header(entry["subject"], charset, header_name="Subject")
    msg["To"] = "taro@example.jp"
    if entry.get("date") is not None:
        msg["Date"] = entry["date"]
    msg["Message-ID"] = "<tandrel-%06d@example.jp>" % number
    for name, value in entry.get("headers", {}).items():
        msg[name] = value
    msg["MIME-Version"] = "1.0"
    body_charset = "us-ascii" if charset_name == "us-ascii" else charset_name
    msg.set_payload("This message was made for a test.\n", charset=body_charset)
    return msg


def write_messages(entries, outdir):
    os.makedirs(outdir, exist_ok=True)
    names = []
    for number, entry in enumerate(entries, start=1):
        path = os.path.join(outdir, "msg-%06d.eml" % number)
        with open(path, "w", encoding="ascii", newline="\n") as out:
            Generator(out, mangle_from_=False, maxheaderlen=76).flatten(build_message(entry, number))
        names.append(path)
    print("\n".join(names))


BULK_PATTERNS = [
    {"charset": "iso-2022-jp", "fromName": "山田 花子", "fromAddr": "hanako@example.jp",
     "subject": "会議資料の送付について（第%d版）"},
    {"charset": "utf-8", "fromName": "佐藤 次郎", "fromAddr": "jiro@example.com",
     "subject": "【お知らせ】システムメンテナンスのご案内 その%d"},
    {"charset": "us-ascii", "fromName": "Build Robot", "fromAddr": "robot@example.org",
     "subject": "Nightly build report number %d: all green"},
    {"charset": "iso-2022-jp", "fromName": "鈴木", "fromAddr": "suzuki@example.ne.jp",
     "subject": "長いお知らせの件名は途中で折り返されて複数の符号化語になります、番号%d"},
]


def bulk_entries(count):
    entries = []
    for i in range(count):
        pattern = dict(BULK_PATTERNS[i % len(BULK_PATTERNS)])
        pattern["subject"] = pattern["subject"] % (i + 1)
        pattern["date"] = "Mon, %d Dec 2026 %02d:%02d:%02d +0900" % (1 + i % 28, i % 24, i % 60, (i * 7) % 60)
        entries.append(pattern)
    return entries


def main(argv):
    if len(argv) == 4 and argv[1] == "--bulk":
        write_messages(bulk_entries(int(argv[2])), argv[3])
    elif len(argv) == 2:
        write_messages(json.load(sys.stdin), argv[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
