#!/usr/bin/env python3
"""Mailboxes of one message built to strain the .pst and .msg forms, written as they are made
(never held whole), for measuring peak memory by hand:

  gen_extreme.py long-line SIZE OUT.mbx     a text/plain body that is one line of SIZE bytes
  gen_extreme.py long-html SIZE OUT.mbx     a text/html body of SIZE bytes, one paragraph
  gen_extreme.py attachments COUNT OUT.mbx  COUNT small base64 attachments on one message
  gen_extreme.py nested DEPTH OUT.mbx       a text/plain part inside DEPTH multipart/mixed levels
  gen_extreme.py junk SIZE OUT.mbx          SIZE bytes of binary junk on one line, no header

SIZE takes k, M and G suffixes (binary). The same arguments give the same bytes.
"""
import sys

HEADER = (
    "From ???@??? Mon Jan 01 00:00:00 2024\r\n"
    "From: Ann Example <ann@example.org>\r\n"
    "To: Bob Example <bob@example.org>\r\n"
    "Subject: {subject}\r\n"
    "Date: Mon, 01 Jan 2024 00:00:00 +0000\r\n"
    "Message-ID: <{subject}@example.org>\r\n"
    "MIME-Version: 1.0\r\n"
)


def size_of(text):
    units = {"k": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    return int(text[:-1]) * units[text[-1]] if text[-1] in units else int(text)


def long_line(out, size):
    out.write(HEADER.format(subject="long-line").encode())
    out.write(b"Content-Type: text/plain; charset=us-ascii\r\n\r\n")
    words = b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
    piece = words * (65536 // len(words) + 1)
    left = size
    while left > 0:
        n = min(left, len(piece))
        out.write(piece[:n])
        left -= n
    out.write(b"\r\n")


def long_html(out, size):
    out.write(HEADER.format(subject="long-html").encode())
    out.write(b"Content-Type: text/html; charset=utf-8\r\n\r\n<html><body><p>")
    words = b"lorem <b>ipsum</b> dolor &amp; sit amet consectetur adipiscing elit sed do "
    piece = words * (65536 // len(words) + 1)
    left = size
    while left > 0:
        n = min(left, len(piece))
        out.write(piece[:n])
        left -= n
    out.write(b"</p></body></html>\r\n")


def attachments(out, count):
    out.write(HEADER.format(subject="attachments").encode())
    out.write(b'Content-Type: multipart/mixed; boundary="b0"\r\n\r\n')
    out.write(b"--b0\r\nContent-Type: text/plain\r\n\r\nMany attachments.\r\n")
    for i in range(count):
        out.write(
            b"--b0\r\nContent-Type: application/octet-stream; name=\"file%05d.bin\"\r\n"
            b"Content-Disposition: attachment; filename=\"file%05d.bin\"\r\n"
            b"Content-Transfer-Encoding: base64\r\n\r\n"
            b"QXR0YWNobWVudCBudW1iZXIg%s\r\n" % (i, i, b"%08d" % i)
        )
    out.write(b"--b0--\r\n")


def nested(out, depth):
    out.write(HEADER.format(subject="nested").encode())
    for level in range(depth):
        if level > 0:
            out.write(b"--n%d\r\n" % (level - 1))
        out.write(b'Content-Type: multipart/mixed; boundary="n%d"\r\n\r\n' % level)
    out.write(b"--n%d\r\nContent-Type: text/plain\r\n\r\nThe text at the bottom.\r\n" % (depth - 1))
    for level in reversed(range(depth)):
        out.write(b"--n%d--\r\n" % level)


def junk(out, size):
    out.write(b"From ???@??? Mon Jan 01 00:00:00 2024\r\n")
    piece = b"\x00\x01binary junk \xff\xfe without a line break " * 1500
    left = size
    while left > 0:
        n = min(left, len(piece))
        out.write(piece[:n])
        left -= n


def main():
    kinds = {"long-line": long_line, "long-html": long_html, "attachments": attachments,
             "nested": nested, "junk": junk}
    if len(sys.argv) != 4 or sys.argv[1] not in kinds:
        sys.exit(__doc__)
    kind, amount, path = sys.argv[1], size_of(sys.argv[2]), sys.argv[3]
    with open(path, "wb") as out:
        kinds[kind](out, amount)


if __name__ == "__main__":
    main()
