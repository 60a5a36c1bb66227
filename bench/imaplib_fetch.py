#!/usr/bin/env python3
"""Reference figures for bench_listing: Python's imaplib fetching a folder's messages
over TLS, one by one (one round trip each), or with --bulk all at once (one FETCH 1:*).

usage: imaplib_fetch.py host port user password folder cafile count [--bulk]
Prints: imaplib: <n> msg/s, <m> MB/s, <count> messages
"""
import imaplib
import ssl
import sys
import time


def main():
    host, port, user, password, folder, cafile, count = sys.argv[1:8]
    bulk = "--bulk" in sys.argv[8:]
    if host not in ("127.0.0.1", "localhost", "::1"):
        sys.exit("imaplib_fetch.py stays on loopback")
    context = ssl.create_default_context(cafile=cafile)
    start = time.perf_counter()
    imap = imaplib.IMAP4_SSL(host, int(port), ssl_context=context)
    imap.login(user, password)
    imap.select('"%s"' % folder, readonly=True)
    total = 0
    fetched = 0
    if bulk:
        status, data = imap.fetch("1:%s" % count, "(UID INTERNALDATE BODY.PEEK[])")
        for item in data if status == "OK" else []:
            if isinstance(item, tuple):
                total += len(item[1])
                fetched += 1
    else:
        for number in range(1, int(count) + 1):
            status, data = imap.fetch(str(number), "(UID INTERNALDATE BODY.PEEK[])")
            if status == "OK" and data and isinstance(data[0], tuple):
                total += len(data[0][1])
                fetched += 1
    elapsed = time.perf_counter() - start
    imap.logout()
    print("imaplib: %.0f msg/s, %.1f MB/s, %d messages" % (fetched / elapsed, total / elapsed / 1e6, fetched))


if __name__ == "__main__":
    main()
