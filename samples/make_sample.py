#!/usr/bin/env python3
"""Writes "Sample Inbox.mbx": a small but realistic mailbox for trying the converter by hand.

The output is byte-for-byte the same on every run and every machine: all dates are fixed, the
only "random" bytes come from SHA-256 in counter mode over a fixed seed, and compressed data is
written as stored (uncompressed) deflate blocks so no zlib version can change it.

Usage: make_sample.py [OUTPUT]   (default: "Sample Inbox.mbx" next to this script)
"""

import base64
import datetime
import hashlib
import os
import quopri
import struct
import sys
import zlib

SEED = b"quillon-sample-inbox-1"
SEPARATOR = b"From ???@???"

# The separator date is written in English whatever the locale of the machine running this.
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]

# Whatever a mail client leaves at the top of its file before the first message; it belongs to no
# message and must not end up in any output file.
PREAMBLE = b"QMBX 2.1 Inbox\x00\x00\x00\x0c\r\n"


def pseudo_random(n, label):
    out = bytearray()
    counter = 0
    while len(out) < n:
        out += hashlib.sha256(SEED + label + struct.pack(">Q", counter)).digest()
        counter += 1
    return bytes(out[:n])


def separator_line(when):
    return "From ???@??? {} {} {:02d} {:02d}:{:02d}:{:02d} {}\n".format(
        DAYS[when.weekday()], MONTHS[when.month - 1], when.day, when.hour, when.minute,
        when.second, when.year).encode("ascii")


def header_date(when, zone="+0100"):
    return "{}, {:02d} {} {} {:02d}:{:02d}:{:02d} {}".format(
        DAYS[when.weekday()], when.day, MONTHS[when.month - 1], when.year, when.hour,
        when.minute, when.second, zone)


def b64_lines(data):
    return base64.encodebytes(data)  # 76-character lines, each ending in "\n"


def qp(text, charset="utf-8"):
    return quopri.encodestring(text.encode(charset))


# --- attachments ------------------------------------------------------------------------------

def png(width, height, pixel):
    """A valid RGB PNG; pixel(x, y) gives (r, g, b)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter: none
        for x in range(width):
            raw += bytes(pixel(x, y))
    # zlib stream of stored blocks, so the bytes never depend on the zlib version.
    stream = bytearray(b"\x78\x01")
    for start in range(0, len(raw), 65535):
        block = raw[start:start + 65535]
        final = 1 if start + 65535 >= len(raw) else 0
        stream += struct.pack("<BHH", final, len(block), len(block) ^ 0xFFFF) + block
    stream += struct.pack(">I", zlib.adler32(bytes(raw)))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body)))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", bytes(stream)) + chunk(b"IEND", b""))


def pdf(lines):
    """A one-page PDF with a few lines of text and a correct cross-reference table."""
    text = "BT /F1 14 Tf 72 720 Td 18 TL\n" + "".join(
        "({}) '\n".format(line.replace("(", "\\(").replace(")", "\\)")) for line in lines) + "ET"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
        b"/Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>",
        b"<< /Length " + str(len(text)).encode() + b" >>\nstream\n" + text.encode("latin-1") +
        b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    ]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += str(number).encode() + b" 0 obj\n" + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 " + str(len(objects) + 1).encode() + b"\n0000000000 65535 f \n"
    for offset in offsets:
        out += "{:010d} 00000 n \n".format(offset).encode()
    out += (b"trailer\n<< /Size " + str(len(objects) + 1).encode() + b" /Root 1 0 R >>\n"
            b"startxref\n" + str(xref).encode() + b"\n%%EOF\n")
    return bytes(out)


def gradient(x, y):
    return (x * 8 % 256, y * 10 % 256, 160)


def logo(x, y):
    inside = (x - 7.5) ** 2 + (y - 7.5) ** 2 < 36
    return (20, 90, 170) if inside else (255, 255, 255)


# --- messages ---------------------------------------------------------------------------------
# Each builder returns the message with "\n" line ends, separator line included; the whole file
# is turned into CR LF at the end.

def msg_plain_text():
    when = datetime.datetime(2024, 3, 4, 9, 15, 22)
    return separator_line(when) + f"""\
Return-Path: <martin.keller@northwind-logistics.example>
Received: from mail.northwind-logistics.example (mail.northwind-logistics.example [192.0.2.25])
\tby mx1.harbor-mail.example with ESMTPS id 4Tp1Xq0L3Rz9sW
\tfor <anna.berg@harbor-mail.example>; {header_date(when)}
Date: {header_date(when)}
From: Martin Keller <martin.keller@northwind-logistics.example>
To: Anna Berg <anna.berg@harbor-mail.example>
Subject: Weekly planning - week 10
Message-ID: <20240304081522.4411@northwind-logistics.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii; format=flowed
Content-Transfer-Encoding: 7bit
X-Mailer: Quillon 4.2

Hi Anna,

here is the plan for this week. Nothing dramatic, but please check the
dates for the Rotterdam shipment before Wednesday.

  Mon  - inventory count, hall B
  Tue  - carrier review with Jan and Priya
  Wed  - Rotterdam shipment (38 pallets), customs papers ready by 10:00
  Thu  - quarterly numbers to finance
  Fri  - no meetings, catch-up day

>From the minutes of last week: the forklift in hall B is booked for
maintenance on Thursday afternoon, so plan the loading for the morning.

Regards,
Martin

-- 
Martin Keller | Operations | Northwind Logistics
+49 40 555 0147

""".encode("ascii")


def msg_html_alternative():
    when = datetime.datetime(2024, 3, 4, 11, 2, 47)
    text = """\
Spring Reading List

Hello Anna,

our editors picked twelve new titles for March. Three of them are on
sale until Sunday: "The Salt Road", "Quiet Engines" and "A Year of Soup".

Browse the list: https://books.example/march

You receive this because you subscribed at books.example.
Unsubscribe: https://books.example/unsubscribe?u=8812
"""
    html = """\
<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>Spring Reading List</title></head>
<body style="font-family: Georgia, serif; color: #222222; max-width: 600px;">
<h1 style="color: #2a6f4f;">Spring Reading List</h1>
<p>Hello Anna,</p>
<p>our editors picked <strong>twelve new titles</strong> for March. Three of them are on sale until Sunday:</p>
<ul>
<li><a href="https://books.example/salt-road">The Salt Road</a> &ndash; 30% off</li>
<li><a href="https://books.example/quiet-engines">Quiet Engines</a> &ndash; 25% off</li>
<li><a href="https://books.example/soup">A Year of Soup</a> &ndash; 40% off</li>
</ul>
<p><a href="https://books.example/march" style="background: #2a6f4f; color: #ffffff; padding: 8px 16px; text-decoration: none;">Browse the list</a></p>
<p style="font-size: 11px; color: #888888;">You receive this because you subscribed at books.example.
<a href="https://books.example/unsubscribe?u=8812">Unsubscribe</a></p>
</body>
</html>
"""
    boundary = "----=_Part_20240304_1102_7731"
    return separator_line(when) + f"""\
Date: {header_date(when, "+0000")}
From: "Books Example" <newsletter@books.example>
To: anna.berg@harbor-mail.example
Subject: Spring Reading List: 12 new titles
Message-ID: <nl-2024-03-8812.1709550167@books.example>
List-Unsubscribe: <https://books.example/unsubscribe?u=8812>
MIME-Version: 1.0
Content-Type: multipart/alternative; boundary="{boundary}"

This is a multi-part message in MIME format.

--{boundary}
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: quoted-printable

""".encode("ascii") + qp(text) + f"""
--{boundary}
Content-Type: text/html; charset=utf-8
Content-Transfer-Encoding: quoted-printable

""".encode("ascii") + qp(html) + f"""
--{boundary}--

""".encode("ascii")


def msg_attachments():
    when = datetime.datetime(2024, 3, 5, 8, 40, 3)
    boundary = "=_qc_mixed_5e2a9f10"
    invoice = pdf(["Harbor Print & Copy", "Invoice 2024-0117", "Date: 5 March 2024",
                   "200 business cards, matte", "Total: EUR 84.50"])
    chart = png(32, 24, gradient)
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: Harbor Print & Copy <billing@harbor-print.example>
To: Anna Berg <anna.berg@harbor-mail.example>
Subject: Invoice 2024-0117 and proof of your business cards
Message-ID: <inv-2024-0117@harbor-print.example>
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="{boundary}"

--{boundary}
Content-Type: text/plain; charset=us-ascii
Content-Transfer-Encoding: 7bit

Dear Ms Berg,

please find attached invoice 2024-0117 for your order of 200 business
cards, and a colour proof of the card design. Payment is due within
14 days.

Kind regards,
Harbor Print & Copy

--{boundary}
Content-Type: application/pdf; name="Invoice 2024-0117.pdf"
Content-Disposition: attachment; filename="Invoice 2024-0117.pdf"
Content-Transfer-Encoding: base64

""".encode("ascii") + b64_lines(invoice) + f"""
--{boundary}
Content-Type: image/png; name="card-proof.png"
Content-Disposition: attachment; filename="card-proof.png"
Content-Transfer-Encoding: base64

""".encode("ascii") + b64_lines(chart) + f"""
--{boundary}--

""".encode("ascii")


def msg_encoded_words():
    when = datetime.datetime(2024, 3, 5, 14, 27, 51)
    subject = base64.b64encode("Grüße aus München – Résumé der Tagung".encode("utf-8"))
    body = """\
Hallo Anna,

viele Grüße aus München! Die Tagung war großartig, hier ein kurzes Résumé:

• Vortrag über Lagerlogistik – sehr gut besucht
• Workshop „Zoll 2024“ – die Folien schicke ich nach
• Abendessen im Bräuhaus – Käsespätzle für alle

Bis nächste Woche,
Jürgen
"""
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: =?ISO-8859-1?Q?J=FCrgen_M=FCller?= <juergen.mueller@bergwerk-consult.example>
To: Anna Berg <anna.berg@harbor-mail.example>
Subject: =?UTF-8?B?{subject.decode("ascii")}?=
Message-ID: <5f1c2a77-3b1e-4c0a-9d55-0e6a1b2c3d4e@bergwerk-consult.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=UTF-8
Content-Transfer-Encoding: quoted-printable

""".encode("ascii") + qp(body) + b"\n"


def msg_latin1_body():
    when = datetime.datetime(2024, 3, 6, 10, 5, 10)
    body = """\
Bonjour Anna,

la réunion à Zürich est confirmée pour le 14 mars à 9h30, salle « Léman ».
Après la réunion, déjeuner au café de la gare (menu à 28 CHF, boisson comprise).

Ordre du jour :
  1. Bilan de l'année écoulée
  2. Tarifs 2024 pour Köln et Genève
  3. Divers

Merci de confirmer votre présence avant vendredi.

Cordialement,
Hélène Dubois
Société Générale de Transports Lémaniques
"""
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: =?ISO-8859-1?Q?H=E9l=E8ne_Dubois?= <helene.dubois@sgtl.example>
To: Anna Berg <anna.berg@harbor-mail.example>
Subject: =?ISO-8859-1?Q?R=E9union_=E0_Z=FCrich_le_14_mars?=
Message-ID: <000a01da6f9b$3c2e4f10$b48aed30$@sgtl.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=ISO-8859-1
Content-Transfer-Encoding: 8bit

""".encode("ascii") + body.encode("iso-8859-1") + b"\n"


def msg_large_attachment():
    when = datetime.datetime(2024, 3, 6, 16, 45, 33)
    boundary = "----=_NextPart_000_0041_01DA6FD2.8E1B4A60"
    # Incompressible bytes, like the recorder's own compressed log; enough to pass 1 MB encoded.
    log = pseudo_random(900_000, b"sensor-log")
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: Priya Raman <priya.raman@northwind-logistics.example>
To: Anna Berg <anna.berg@harbor-mail.example>
Subject: Cold chain recorder log, container NWLU 448213-7
Message-ID: <CAF3k9Lx0p2=Qm4rT7uVb1YzW8eN5sHd@mail.northwind-logistics.example>
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="{boundary}"

This is a multi-part message in MIME format.

--{boundary}
Content-Type: text/plain; charset="us-ascii"
Content-Transfer-Encoding: 7bit

Anna,

attached is the full recorder log of container NWLU 448213-7 for the
insurance claim. The temperature went above 8 C twice on 29 February.
The file opens with the vendor's viewer (ColdTrace 3).

Priya

--{boundary}
Content-Type: application/octet-stream; name="NWLU4482137-2024-02.ctl"
Content-Disposition: attachment; filename="NWLU4482137-2024-02.ctl"
Content-Transfer-Encoding: base64

""".encode("ascii") + b64_lines(log) + f"""
--{boundary}--

""".encode("ascii")


def msg_forwarded():
    when = datetime.datetime(2024, 3, 7, 9, 30, 0)
    inner_when = datetime.datetime(2024, 3, 6, 18, 12, 40)
    boundary = "fwd-7c1e0b2d9a"
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: Jan de Vries <jan.devries@northwind-logistics.example>
To: Anna Berg <anna.berg@harbor-mail.example>
Subject: Fwd: Carrier rates for Q2
Message-ID: <a7d2e1f0-fwd-20240307@northwind-logistics.example>
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="{boundary}"

--{boundary}
Content-Type: text/plain; charset=us-ascii
Content-Transfer-Encoding: 7bit

Anna, see the carrier's offer below. The diesel surcharge is new;
can we discuss it on Tuesday?

Jan

--{boundary}
Content-Type: message/rfc822
Content-Disposition: inline

Return-Path: <sales@blue-road-freight.example>
Date: {header_date(inner_when)}
From: Blue Road Freight Sales <sales@blue-road-freight.example>
To: Jan de Vries <jan.devries@northwind-logistics.example>
Subject: Carrier rates for Q2
Message-ID: <rates-q2-2024-0306@blue-road-freight.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii
Content-Transfer-Encoding: 7bit

Dear Mr de Vries,

our rates for April to June 2024:

  Full truck load, Hamburg - Rotterdam     EUR 1,180
  Full truck load, Hamburg - Antwerp       EUR 1,240
  Part load, per pallet                    EUR    64
  Diesel surcharge                         6.5 %

The offer is valid until 31 March 2024.

Best regards,
Blue Road Freight

--{boundary}--

""".encode("ascii")


def msg_cc_bcc_reply_to():
    when = datetime.datetime(2024, 3, 7, 13, 12, 45)
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: Anna Berg <anna.berg@harbor-mail.example>
Sender: Office Harbor <office@harbor-mail.example>
Reply-To: Team Events <events@harbor-mail.example>
To: Martin Keller <martin.keller@northwind-logistics.example>,
 Jan de Vries <jan.devries@northwind-logistics.example>
Cc: Priya Raman <priya.raman@northwind-logistics.example>,
 "Dubois, Helene" <helene.dubois@sgtl.example>
Bcc: anna.berg+archive@harbor-mail.example
Subject: Team dinner on 21 March
Message-ID: <qc.20240307121245.0007@harbor-mail.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii
Content-Transfer-Encoding: 7bit
Importance: normal

Hello all,

the team dinner is on Thursday 21 March at 19:00, Restaurant Fischerhaus,
Hafenstrasse 12. Please answer to events@ (the Reply-To of this mail)
by Monday if you come, and tell us about any dietary wishes.

Anna

""".encode("ascii")


def msg_inline_image():
    when = datetime.datetime(2024, 3, 8, 8, 0, 19)
    outer = "b1_related_7f3c"
    inner = "b2_alt_91d4"
    image = png(16, 16, logo)
    html = """\
<html>
<body>
<table><tr>
<td><img src="cid:logo.7f3c@harbor-mail.example" width="16" height="16" alt="Harbor"></td>
<td><b>Harbor Mail</b> service notice</td>
</tr></table>
<p>Dear customer,</p>
<p>on Sunday 10 March between 02:00 and 04:00 (CET) our servers are being
upgraded. Mail sent to you in that time is delivered after the upgrade;
nothing is lost.</p>
<p>Your Harbor Mail team</p>
</body>
</html>
"""
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: Harbor Mail <no-reply@harbor-mail.example>
To: anna.berg@harbor-mail.example
Subject: Planned maintenance on 10 March
Message-ID: <notice-2024-03-10@harbor-mail.example>
MIME-Version: 1.0
Content-Type: multipart/related; boundary="{outer}"; type="multipart/alternative"

--{outer}
Content-Type: multipart/alternative; boundary="{inner}"

--{inner}
Content-Type: text/plain; charset=us-ascii
Content-Transfer-Encoding: 7bit

Dear customer,

on Sunday 10 March between 02:00 and 04:00 (CET) our servers are being
upgraded. Mail sent to you in that time is delivered after the upgrade;
nothing is lost.

Your Harbor Mail team

--{inner}
Content-Type: text/html; charset=us-ascii
Content-Transfer-Encoding: 7bit

""".encode("ascii") + html.encode("ascii") + f"""
--{inner}--

--{outer}
Content-Type: image/png; name="logo.png"
Content-Transfer-Encoding: base64
Content-ID: <logo.7f3c@harbor-mail.example>
Content-Disposition: inline; filename="logo.png"

""".encode("ascii") + b64_lines(image) + f"""
--{outer}--

""".encode("ascii")


def msg_reply_trailing_spaces():
    when = datetime.datetime(2024, 3, 8, 17, 55, 2)
    # The spaces after the last line break are trimmed from this message's file.
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: Anna Berg <anna.berg@harbor-mail.example>
To: Martin Keller <martin.keller@northwind-logistics.example>
Subject: Re: Weekly planning - week 10
Message-ID: <qc.20240308165502.0009@harbor-mail.example>
In-Reply-To: <20240304081522.4411@northwind-logistics.example>
References: <20240304081522.4411@northwind-logistics.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii
Content-Transfer-Encoding: 7bit

Hi Martin,

the customs papers went out on time, thanks.

On Mon, 04 Mar 2024 09:15:22 +0100, Martin Keller wrote:
> Hi Anna,
>
> here is the plan for this week. Nothing dramatic, but please check the
> dates for the Rotterdam shipment before Wednesday.
>
>   Wed  - Rotterdam shipment (38 pallets), customs papers ready by 10:00
>
> Regards,
> Martin

Anna

   """.encode("ascii")


def msg_utf8_8bit():
    when = datetime.datetime(2024, 3, 9, 12, 0, 0)
    subject = base64.b64encode("Фото с выставки 📷".encode("utf-8")).decode("ascii")
    body = """\
Привет, Анна!

Фотографии с выставки в Гамбурге лежат здесь: https://photos.example/s/hh2024
Пароль пришлю отдельно. 東京の展示会の写真も近いうちに送ります。

Ольга
"""
    return separator_line(when) + f"""\
Date: {header_date(when, "+0300")}
From: =?UTF-8?B?0J7Qu9GM0LPQsCDQodC80LjRgNC90L7QstCw?= <olga.smirnova@mailbox-east.example>
To: Anna Berg <anna.berg@harbor-mail.example>
Subject: =?UTF-8?B?{subject}?=
Message-ID: <1709974800.552190@mailbox-east.example>
MIME-Version: 1.0
Content-Type: text/plain; charset=UTF-8
Content-Transfer-Encoding: 8bit

""".encode("ascii") + body.encode("utf-8") + b"\n"


def msg_delivery_report():
    when = datetime.datetime(2024, 3, 11, 7, 58, 41)
    boundary = "dsn.9Qk2Lm4Np7"
    return separator_line(when) + f"""\
Date: {header_date(when)}
From: Mail Delivery System <MAILER-DAEMON@mx1.harbor-mail.example>
To: anna.berg@harbor-mail.example
Subject: Undelivered Mail Returned to Sender
Message-ID: <20240311065841.3F2A1C0042@mx1.harbor-mail.example>
Auto-Submitted: auto-replied
MIME-Version: 1.0
Content-Type: multipart/report; report-type=delivery-status; boundary="{boundary}"

This is a MIME-encapsulated message.

--{boundary}
Content-Description: Notification
Content-Type: text/plain; charset=us-ascii

This is the mail system at host mx1.harbor-mail.example.

I'm sorry to have to inform you that your message could not
be delivered to one or more recipients.

<k.olsen@fjord-shipping.example>: host mx.fjord-shipping.example[198.51.100.7]
    said: 550 5.1.1 <k.olsen@fjord-shipping.example>: Recipient address
    rejected: User unknown in virtual mailbox table

--{boundary}
Content-Description: Delivery report
Content-Type: message/delivery-status

Reporting-MTA: dns; mx1.harbor-mail.example
Arrival-Date: Mon, 11 Mar 2024 07:58:39 +0100

Final-Recipient: rfc822; k.olsen@fjord-shipping.example
Action: failed
Status: 5.1.1
Diagnostic-Code: smtp; 550 5.1.1 Recipient address rejected: User unknown

--{boundary}
Content-Description: Undelivered Message Headers
Content-Type: text/rfc822-headers

Date: Mon, 11 Mar 2024 07:58:30 +0100
From: Anna Berg <anna.berg@harbor-mail.example>
To: k.olsen@fjord-shipping.example
Subject: Pallet exchange
Message-ID: <qc.20240311065830.0012@harbor-mail.example>

--{boundary}--
""".encode("ascii")


MESSAGES = [
    msg_plain_text,
    msg_html_alternative,
    msg_attachments,
    msg_encoded_words,
    msg_latin1_body,
    msg_large_attachment,
    msg_forwarded,
    msg_cc_bcc_reply_to,
    msg_inline_image,
    msg_reply_trailing_spaces,
    msg_utf8_8bit,
    msg_delivery_report,
]


def build():
    messages = [make().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n") for make in MESSAGES]
    for number, message in enumerate(messages):
        # Every message carries exactly one separator (in any letter case, as the converter's
        # search ignores case) and it must stand at its very start.
        if message.upper().count(SEPARATOR.upper()) != 1 or not message.startswith(SEPARATOR):
            sys.exit(f"message {number} does not hold exactly one leading separator")
        if b"\r" in message.replace(b"\r\n", b""):
            sys.exit(f"message {number} has a bare carriage return")
    if SEPARATOR.upper() in PREAMBLE.upper() or not PREAMBLE.endswith(b"\n"):
        sys.exit("the preamble must end its line and hold no separator")
    if max(len(m) for m in messages) <= 1 << 20:
        sys.exit("the large message is not over 1 MiB")
    return PREAMBLE + b"".join(messages), messages


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "Sample Inbox.mbx")
    data, messages = build()
    with open(output, "wb") as f:
        f.write(data)
    offset = len(PREAMBLE)
    for number, message in enumerate(messages):
        print(f"message {number:2d}: offset {offset:8d}, {len(message):8d} bytes")
        offset += len(message)
    print(f"{output}: {len(data)} bytes, {len(messages)} messages, "
          f"sha256 {hashlib.sha256(data).hexdigest()}")


if __name__ == "__main__":
    main()
