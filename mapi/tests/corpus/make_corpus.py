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
