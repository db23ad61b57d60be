#!/usr/bin/env python3
"""odd_header_mailbox.py OUT: a mailbox of 3,003 messages whose header blocks vary in every way
the import must read alike, whether it splits a block itself or leaves it to GMime (folds, CR LF,
encoded words, 8-bit text, repeated fields, lines that are no field, blocks without an empty
line). Compare the outputs of two builds on it with SOURCE_DATE_EPOCH set."""
import random, sys
random.seed(7)
out = open(sys.argv[1], "wb")
bodies = [b"Plain body line.\n", b"",
          b"--b1\nContent-Type: text/plain; charset=utf-8\n\nPart one \xc3\xa9.\n--b1\nContent-Type: text/html\n\n<p>two</p>\n--b1--\n"]
fields = [
  b"From: Ann Example <ann@example.org>\n",
  b"From: =?UTF-8?B?QW5uIMOJeGFtcGxl?= <ann@example.org>\n",
  b"From: ann@example.org, bob@example.net\n",
  b"From: \"Doe, John\" <john@example.com>\n",
  b"From: Broken <<ann@example.org\n",
  b"From: undisclosed-recipients:;\n",
  b"To: Bob <bob@example.net>,\n carol@example.com,\n\t\"Dave\" <dave@example.com>\n",
  b"To: group: a@example.com, b@example.com;\n",
  b"To: J\xf6rg <joerg@example.de>\n",
  b"Cc: =?ISO-8859-1?Q?Jos=E9_P=E9rez?= <jose@example.es>\n",
  b"Bcc: hidden@example.com\n",
  b"Reply-To: replies@example.org\n",
  b"Sender: list@example.org\n",
  b"Subject: Hello there\n",
  b"Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?= and\n =?ISO-8859-1?Q?caf=E9?=\n",
  b"Subject: Re: Fwd: AW: long subject that is folded\n\tover two lines\n",
  b"Subject: 8-bit \xe9t\xe9 subject\n",
  b"Subject:no space\n",
  b"Subject:   \n",
  b"Date: Tue, 05 Mar 2024 10:11:12 +0100\n",
  b"Date: 5 Mar 2024 10:11 GMT\n",
  b"Date: garbage date\n",
  b"Date: Tue, 05 Mar 2024 10:11:12 +0100 (CET)\n",
  b"Message-ID: <abc@example.org>\n",
  b"Message-ID:\n <folded@example.org>\n",
  b"In-Reply-To: <parent@example.org>\n",
  b"References: <root@example.org>\n <parent@example.org>\n",
  b"Thread-Topic: Topic here\n",
  b"Thread-Index: AdQ2Y5v5h1Q2Y5v5h1Q2Y5v5h1Q2Yw==\n",
  b"Keywords: one, two,\n three\n",
  b"Importance: High\n", b"Importance: low\n", b"X-Priority: 1 (Highest)\n", b"X-Priority: 5\n",
  b"Priority: urgent\n", b"Priority: non-urgent\n", b"Sensitivity: Company-Confidential\n",
  b"Received: from a by b; Tue, 05 Mar 2024 10:12:00 +0100\n",
  b"Received: from x\n\tby y with ESMTP id 1;\n\tWed, 06 Mar 2024 11:00:00 +0000\n",
  b"Received: from =?UTF-8?Q?x?= by y; Thu, 07 Mar 2024 12:00:00 +0000\n",
  b"Return-Path: <bounce@example.org>\n",
  b"X-Mailer: Quillon 4.2\n", b"MIME-Version: 1.0\n",
  b"X-Long: " + b"x" * 3000 + b"\n",
  b"Content-Type: text/plain; charset=iso-8859-1\n",
  b"Content-Type: text/plain;\n charset=\"utf-8\"; format=flowed\n",
  b"Content-Transfer-Encoding: quoted-printable\n",
  b"Content-Type: multipart/alternative; boundary=\"b1\"\n",
  b"content-type: TEXT/HTML\n",
  b"Content-Disposition: inline\n",
  b"Content-Description: a body\n",
  b"Content-ID: <cid@example.org>\n",
]
odd = [  # lines that make a block one the import must leave to GMime whole
  b"Odd line without colon\n", b"Name With Space: value\n", b"Subject : spaced\n",
  b"From someone@example.com Wed Sep 11 19:43:23 2002\n", b"X-Nul: a\x00b\n", b"\tleading fold\n",
  b":empty name\n", b"X-\x01ctl: v\n", b"X-\xe9: eight-bit name\n",
]
count = 0
def emit(block, body, crlf=False, blank=b"\n"):
    global count
    msg = block + blank + body
    if crlf:
        msg = msg.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    out.write(b"From ???@??? Mon Jan 01 00:00:00 2024\n" + msg)
    if not msg.endswith(b"\n"):
        out.write(b"\n")
    count += 1
for n in range(3000):
    k = random.randint(0, 14)
    block = b"".join(random.choice(fields) for _ in range(k))
    if random.random() < 0.25:
        pos = random.randint(0, k)
        lines = block.split(b"\n")
        lines.insert(min(pos, len(lines) - 1), random.choice(odd).rstrip(b"\n"))
        block = b"\n".join(lines)
    body = random.choice(bodies)
    if b"multipart/alternative" not in block and body.startswith(b"--b1"):
        body = bodies[0]
    emit(block, body, crlf=random.random() < 0.2)
# Blocks that end without an empty line, or at the end of the mailbox's message
emit(b"From: a@example.org\nSubject: no blank line\n", b"", blank=b"")
emit(b"Subject: body starts\nThis line is no header\nmore\n", b"", blank=b"")
emit(b"", b"No headers at all\n")
print(count, "messages")
