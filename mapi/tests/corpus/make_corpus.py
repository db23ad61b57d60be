#!/usr/bin/env python3
"""Writes the generated part of the .msg validation corpus: one message per MIME feature the
import handles. Deterministic: running it again gives the same bytes."""
import base64
import pathlib

HERE = pathlib.Path(__file__).parent
PNG = base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==")
CRLF = "\r\n"


def write(name, text, raw=False):
    data = text if raw else text.replace("\n", CRLF).encode("utf-8")
    (HERE / name).write_bytes(data)


HEAD = """From: Ann Example <ann@example.org>
To: Bob <bob@example.net>, carol@example.com
Date: Tue, 05 Mar 2024 10:11:12 +0100
Message-ID: <{id}@example.org>
MIME-Version: 1.0
"""

write("encoded-words.eml", HEAD.format(id="ew") + """Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4g4pyT?= and
 =?ISO-8859-1?Q?caf=E9?=
Cc: =?ISO-8859-1?Q?Jos=E9_P=E9rez?= <jose@example.es>
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: 8bit

Grüße, José! ✓
""")

write("rfc2231-filename.eml", HEAD.format(id="2231") + """Subject: Rates attached
Content-Type: multipart/mixed; boundary="b1"

--b1
Content-Type: text/plain; charset=us-ascii

See the attachment.
--b1
Content-Type: application/pdf; name*=UTF-8''%E2%82%AC-rates.pdf
Content-Disposition: attachment; filename*=UTF-8''%E2%82%AC-rates.pdf
Content-Transfer-Encoding: base64

""" + base64.encodebytes(b"%PDF-1.4\n% not really a pdf\n").decode() + """--b1--
""")

latin1 = (HEAD.format(id="latin1") + """Subject: Latin-1 without a charset
Content-Type: text/plain
Content-Transfer-Encoding: 8bit

Caf\xe9 cr\xe8me br\xfbl\xe9e \x80 5
""").replace("\n", CRLF).encode("latin-1")
write("latin1-no-charset.eml", latin1, raw=True)

write("html-only.eml", HEAD.format(id="html") + """Subject: Only HTML
Content-Type: text/html; charset=utf-8

<html><body><p>Hello <b>there</b>,</p><p>only HTML here.</p></body></html>
""")

write("related-inline-image.eml", HEAD.format(id="rel") + """Subject: Picture inside
Content-Type: multipart/related; boundary="r1"; type="multipart/alternative"

--r1
Content-Type: multipart/alternative; boundary="a1"

--a1
Content-Type: text/plain; charset=utf-8

A picture: [dot]
--a1
Content-Type: text/html; charset=utf-8

<p>A picture: <img src="cid:dot@example.org"></p>
--a1--
--r1
Content-Type: image/png; name="dot.png"
Content-ID: <dot@example.org>
Content-Disposition: inline; filename="dot.png"
Content-Transfer-Encoding: base64

""" + base64.encodebytes(PNG).decode() + """--r1--
""")

write("forwarded.eml", HEAD.format(id="fwd") + """Subject: Fwd: Lunch
Content-Type: multipart/mixed; boundary="f1"

--f1
Content-Type: text/plain; charset=us-ascii

Forwarding this.
--f1
Content-Type: message/rfc822

From: Dave <dave@example.com>
To: ann@example.org
Subject: Lunch
Date: Mon, 04 Mar 2024 09:00:00 +0000
Content-Type: text/plain; charset=us-ascii

Lunch at noon?
--f1--
""")

write("signed.eml", HEAD.format(id="sig") + """Subject: Signed note
Content-Type: multipart/signed; protocol="application/pgp-signature"; micalg=pgp-sha256; boundary="s1"

--s1
Content-Type: text/plain; charset=us-ascii

This text is signed.
--s1
Content-Type: application/pgp-signature; name="signature.asc"
Content-Disposition: attachment; filename="signature.asc"

-----BEGIN PGP SIGNATURE-----
iQEzBAEBCAAdFiEEexampleexampleexampleexampleexampleAAoJEA==
-----END PGP SIGNATURE-----
--s1--
""")

write("headers.eml", """Received: from relay.example.net by mx.example.org; Tue, 05 Mar 2024 10:12:00 +0100
Received: from client by relay.example.net; Tue, 05 Mar 2024 10:11:30 +0100
""" + HEAD.format(id="hdr") + """Subject: RE: Budget
Bcc: hidden@example.org
Reply-To: Ann <ann@example.org>, Team <team@example.org>
Importance: high
X-Priority: 1
Sensitivity: Company-Confidential
In-Reply-To: <budget@example.net>
References: <start@example.net> <budget@example.net>
Content-Type: text/plain; charset=us-ascii

Numbers follow.
""")

# HTML with its pictures as one alternative: what most mail programs send.
write("alternative-related.eml", HEAD.format(id="altrel") + """Subject: Alternative around related
Content-Type: multipart/alternative; boundary="a2"

--a2
Content-Type: text/plain; charset=utf-8

Plain: see the dot.
--a2
Content-Type: multipart/related; boundary="r2"

--r2
Content-Type: text/html; charset=utf-8

<html><body><p>HTML: <img src="cid:dot2@example.org" alt="dot"></p></body></html>
--r2
Content-Type: image/png; name="dot.png"
Content-ID: <dot2@example.org>
Content-Disposition: inline; filename="dot.png"
Content-Transfer-Encoding: base64

""" + base64.encodebytes(PNG).decode() + """--r2--
--a2--
""")

write("mixed-alternative-related.eml", HEAD.format(id="mixaltrel") + """Subject: Picture and a file
Content-Type: multipart/mixed; boundary="m3"

--m3
Content-Type: multipart/alternative; boundary="a3"

--a3
Content-Type: text/plain; charset=utf-8

Plain with a file.
--a3
Content-Type: multipart/related; boundary="r3"

--r3
Content-Type: text/html; charset=utf-8

<p>HTML with a file <img src="cid:dot3@example.org"></p>
--r3
Content-Type: image/png
Content-ID: <dot3@example.org>
Content-Transfer-Encoding: base64

""" + base64.encodebytes(PNG).decode() + """--r3--
--a3--
--m3
Content-Type: application/pdf; name="notes.pdf"
Content-Disposition: attachment; filename="notes.pdf"
Content-Transfer-Encoding: base64

""" + base64.encodebytes(b"%PDF-1.4\n% notes\n").decode() + """--m3--
""")

# Status headers first, then the mailbox's envelope line, then the message's own headers.
write("envelope-in-headers.eml", """Status: RO
X-Status: A
From ann@example.org  Wed Sep 11 19:43:23 2002
""" + HEAD.format(id="env") + """Subject: After the envelope line
Content-Type: text/plain; charset=us-ascii

The headers go on after the envelope line.
""")

write("no-date.eml", """From ???@??? Mon Jan 01 12:00:00 2024
Received: from relay.example.net by mx.example.org; Tue, 05 Mar 2024 10:12:00 +0100
From: Ann Example <ann@example.org>
To: bob@example.net
Subject: No Date header
Message-ID: <nodate@example.org>

Dated by the Received header.
""")

write("thread-reply.eml", HEAD.format(id="reply2") + """Subject: Re: Re: Lunch
In-Reply-To: <reply1@example.net>
References: <lunch@example.org> <reply1@example.net>
Thread-Topic: Lunch
Content-Type: text/plain; charset=us-ascii

Noon is fine.
""")

write("keywords.eml", HEAD.format(id="kw") + """Subject: Tagged
Keywords: Project X, Urgent,
 =?UTF-8?Q?K=C3=A4se?=
Content-Type: text/plain; charset=us-ascii

Three categories.
""")

write("smime-signed.eml", HEAD.format(id="smime") + """Subject: S/MIME signed
Content-Type: multipart/signed; protocol="application/pkcs7-signature"; micalg=sha-256;
 boundary="ss1"

This is a cryptographically signed message in MIME format.

--ss1
Content-Type: multipart/alternative; boundary="sa1"

--sa1
Content-Type: text/plain; charset=utf-8

Signed text.
--sa1
Content-Type: text/html; charset=utf-8

<p>Signed <b>HTML</b>.</p>
--sa1--
--ss1
Content-Type: application/pkcs7-signature; name="smime.p7s"
Content-Transfer-Encoding: base64
Content-Disposition: attachment; filename="smime.p7s"

""" + base64.encodebytes(bytes(range(64))).decode() + """--ss1--
""")

write("delivery-report.eml", """From: Mail Delivery System <MAILER-DAEMON@mx.example.org>
To: ann@example.org
Date: Tue, 05 Mar 2024 10:20:00 +0100
Subject: Undelivered Mail Returned to Sender
Message-ID: <dsn@mx.example.org>
MIME-Version: 1.0
Content-Type: multipart/report; report-type=delivery-status; boundary="d1"

--d1
Content-Type: text/plain; charset=us-ascii

Your message could not be delivered to nobody@example.net.
--d1
Content-Type: message/delivery-status

Reporting-MTA: dns; mx.example.org

Final-Recipient: rfc822; nobody@example.net
Action: failed
Status: 5.1.1
--d1
Content-Type: message/rfc822

From: Ann Example <ann@example.org>
To: nobody@example.net
Subject: Hello
Date: Tue, 05 Mar 2024 10:19:00 +0100

Hello there.
--d1--
""")

write("indented-first-header.eml", " " + HEAD.format(id="indent") + """Subject: Indented first line
Content-Type: text/plain; charset=us-ascii

The first header line begins with a space.
""")

write("content-type-no-subtype.eml", HEAD.format(id="nosub") + """Subject: Content-Type without a subtype
Content-Type: text; charset=us-ascii

Readable all the same.
""")

write("content-type-garbage.eml", HEAD.format(id="garbage") + """Subject: Garbage in Content-Type
Content-Type: ;;; =?= "broken

Still a body.
""")

# The boundary the header names never comes: all of it is text a person wrote.
write("boundary-missing.eml", HEAD.format(id="noboundary") + """Subject: The boundary never comes
Content-Type: multipart/mixed; boundary="XYZ"

--ABC
Content-Type: text/plain

The text the sender wrote.
--ABC--
""")
