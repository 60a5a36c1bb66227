#!/usr/bin/env python3
"""Reference figures for bench_mbox: Python's mailbox.mbox finds the messages of an mbox
file, and the email package parses each one for what a listing shows: sender, subject,
date, Message-ID, and the plain-text and HTML bodies decoded.

usage: mbox_python.py path
Prints: python: <n> msg/s, <m> MB/s, <count> messages
"""
import email.policy
import mailbox
import sys
import time
from email.parser import BytesParser


def main():
    path = sys.argv[1]
    start = time.perf_counter()
    box = mailbox.mbox(path, create=False)
    parser = BytesParser(policy=email.policy.default)
    count = 0
    total = 0
    for key in box.iterkeys():
        raw = box.get_bytes(key)
        message = parser.parsebytes(raw)
        for name in ("From", "Subject", "Message-ID"):
            str(message[name] or "")
        try:
            date = message["Date"]
            if date is not None:
                date.datetime
        except (TypeError, ValueError):
            pass
        for kind in ("plain", "html"):
            part = message.get_body(preferencelist=(kind,))
            if part is not None:
                part.get_content()
        count += 1
        total += len(raw)
    box.close()
    elapsed = time.perf_counter() - start
    print("python: %.0f msg/s, %.1f MB/s, %d messages" % (count / elapsed, total / elapsed / 1e6, count))


if __name__ == "__main__":
    main()
