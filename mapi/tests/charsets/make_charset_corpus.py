#!/usr/bin/env python3
"""Writes mail as old mail programs wrote it in many languages: 8-bit header text without
encoded words, charsets named only on the body (or nowhere), labels misspelled or run into the
next header, senders without addresses, attachment names raw, in RFC 2231 or in encoded words,
and messages forwarded inside others. Python's own codecs make the bytes, so what a message
should read as is known apart from the program that reads it.

usage: make_charset_corpus.py OUT_DIR

Writes OUT_DIR/Charsets.mbx (mail that names its charset somewhere, or needs none named),
OUT_DIR/Unlabelled-1251.mbx (mail that names no charset at all, in windows-1251: converted with
--charset windows-1251) and OUT_DIR/expected.json: for each mailbox, each message's subject,
sender name and address, recipients (name, address), attachment names (an embedded message
by its subject) and plain text, as the writer meant them. Deterministic."""
import base64
import json
import pathlib
import sys
import urllib.parse

SEPARATOR = b"From ???@??? Mon Jan 01 00:00:00 2024\r\n"
DATE = "Date: Tue, 05 Mar 2024 10:11:12 +0100"


def codec(charset):
    """Python's codec for a MIME label (mail labels that are not Python's names)."""
    return {"utf-7": "utf_7", "x-sjis": "shift_jis", "ks_c_5601-1987": "euc_kr",
            "gb2312": "gb2312", "windows1251": "cp1251", "cp-1251": "cp1251",
            "iso8859-2": "iso8859_2", "unicode-1-1-utf-7": "utf_7", "utf8": "utf-8",
            "x-mac-cyrillic": "mac_cyrillic", "x-euc-jp": "euc_jp"}.get(charset, charset)


def b_word(text, charset):
    return "=?%s?B?%s?=" % (charset, base64.b64encode(text.encode(codec(charset))).decode())


def q_word(text, charset):
    raw = text.encode(codec(charset))
    out = "".join(chr(b) if (0x30 <= b <= 0x39 or 0x41 <= b <= 0x5A or 0x61 <= b <= 0x7A)
                  else "_" if b == 0x20 else "=%02X" % b for b in raw)
    return "=?%s?Q?%s?=" % (charset, out)


class Message:
    """One message: header lines as bytes, and what a reader must find."""

    def __init__(self, name, subject, sender=("", ""), recipients=(), text="",
                 attachments=()):
        self.name = name
        self.expected = {"name": name, "subject": subject, "sender_name": sender[0],
                         "sender_email": sender[1],
                         "recipients": [list(r) for r in recipients],
                         "attachments": list(attachments), "text": text}
        self.headers = []
        self.body = b""

    def header(self, line):
        self.headers.append(line if isinstance(line, bytes) else line.encode("ascii"))
        return self

    def bytes(self):
        return b"\r\n".join(self.headers) + b"\r\n\r\n" + self.body + b"\r\n"


def plain(charset_label, text, body_charset=None, label_line=None):
    """A text/plain body in `body_charset` (the label's codec by default)."""
    data = text.encode(codec(body_charset or charset_label))
    ctype = label_line or ("Content-Type: text/plain; charset=%s" % charset_label
                           if charset_label else "Content-Type: text/plain")
    return [ctype.encode("latin-1"), b"Content-Transfer-Encoding: 8bit"], data


def raw_message(name, charset, subject, sender, recipient, filename, text, label=None):
    """Headers as raw 8-bit text in `charset`; the body names `label` (the charset by default);
    the attachment named raw in both Content-Type and Content-Disposition."""
    label = charset if label is None else label
    enc = codec(charset)
    m = Message(name, subject, sender, [recipient], text,
                [filename] if filename else [])
    m.header(b"From: " + sender[0].encode(enc) + b" <" + sender[1].encode() + b">")
    m.header(b"To: " + recipient[0].encode(enc) + b" <" + recipient[1].encode() + b">")
    m.header(b"Subject: " + subject.encode(enc))
    m.header(DATE).header("Message-ID: <%s@example.org>" % name).header("MIME-Version: 1.0")
    if not filename:
        headers, body = plain(label, text, charset)
        m.headers += headers
        m.body = body
        return m
    m.header('Content-Type: multipart/mixed; boundary="b"')
    part = [b"--b"]
    headers, body = plain(label, text, charset)
    part += headers + [b"", body, b"--b"]
    raw_name = filename.encode(enc)
    part += [b'Content-Type: text/plain; name="' + raw_name + b'"',
             b'Content-Disposition: attachment; filename="' + raw_name + b'"',
             b"Content-Transfer-Encoding: base64", b"",
             base64.b64encode(b"attached data\r\n"), b"--b--"]
    m.body = b"\r\n".join(part)
    return m


SAMPLES = [
    # charset, subject, sender name, recipient name, attachment name, body
    ("koi8-r", "Привет мир", "Иван Петров", "Пётр Сидоров", "отчёт.txt", "Текст письма."),
    ("windows-1251", "Отчёт за квартал", "Сергей Иванов", "Анна Смирнова", "таблица.txt",
     "Добрый день!"),
    ("gb2312", "你好世界", "张三", "李四", "报告.txt", "这是正文。"),
    ("big5", "您好世界", "陳大文", "王小明", "報告.txt", "這是內文。"),
    ("shift_jis", "こんにちは", "山田太郎", "鈴木花子", "資料.txt", "本文です。"),
    ("euc-jp", "会議のお知らせ", "佐藤一郎", "高橋次郎", "議事録.txt", "よろしくお願いします。"),
    ("euc-kr", "안녕하세요", "김철수", "이영희", "보고서.txt", "본문입니다."),
    ("iso-8859-2", "Zażółć gęślą jaźń", "Łukasz Wąs", "Małgorzata Żak", "źródło.txt",
     "Dzień dobry."),
    ("iso-8859-7", "Ελληνικά", "Νίκος", "Μαρία Παππά", "", "Καλημέρα σας."),
    ("iso-8859-8", "שלום עולם", "דוד לוי", "שרה כהן", "מסמך.txt", "בוקר טוב."),
    ("iso-8859-9", "Merhaba dünya, çağ", "Ayşe Yılmaz", "Gülşen Öztürk", "belge.txt",
     "İyi günler."),
    ("windows-1250", "Příliš žluťoučký kůň", "Jiří Novák", "Věra Dvořáková", "příloha.txt",
     "Dobrý den."),
    ("windows-1253", "Άνοιξη στην Αθήνα", "Γιώργος", "Ελένη", "αρχείο.txt", "Γειά σου."),
    ("windows-1256", "مرحبا بالعالم", "أحمد علي", "فاطمة", "ملف.txt", "صباح الخير."),
]


def corpus():
    labelled, unlabelled = [], []
    for n, (cs, subject, sender, recipient, filename, text) in enumerate(SAMPLES):
        labelled.append(raw_message("raw-%s" % cs, cs, subject,
                                    (sender, "from%d@example.org" % n),
                                    (recipient, "to%d@example.net" % n), filename, text))

    # ISO-2022-JP written raw: escape sequences in the headers, no encoded words.
    m = Message("raw-iso-2022-jp", "週末の予定", ("田中", "tanaka@example.jp"),
                [("中村", "nakamura@example.jp")], "了解しました。")
    m.header(b"From: " + "田中".encode("iso2022_jp") + b" <tanaka@example.jp>")
    m.header(b"To: " + "中村".encode("iso2022_jp") + b" <nakamura@example.jp>")
    m.header(b"Subject: " + "週末の予定".encode("iso2022_jp")).header(DATE)
    m.header("MIME-Version: 1.0")
    m.headers += plain("iso-2022-jp", "了解しました。")[0]
    m.headers[-1] = b"Content-Transfer-Encoding: 7bit"
    m.body = "了解しました。".encode("iso2022_jp")
    labelled.append(m)

    # The charset named only on a second text part: the first names none.
    m = Message("charset-on-second-part", "Привет из второй части",
                ("Борис", "boris@example.ru"), [("Глеб", "gleb@example.ru")], "Hello")
    m.header(b"From: " + "Борис".encode("koi8_r") + b" <boris@example.ru>")
    m.header(b"To: " + "Глеб".encode("koi8_r") + b" <gleb@example.ru>")
    m.header(b"Subject: " + "Привет из второй части".encode("koi8_r")).header(DATE)
    m.header("MIME-Version: 1.0").header('Content-Type: multipart/alternative; boundary="a"')
    m.body = b"\r\n".join([b"--a", b"Content-Type: text/plain", b"", b"Hello", b"--a",
                           b"Content-Type: text/html; charset=koi8-r", b"",
                           b"<p>" + "Здравствуй".encode("koi8_r") + b"</p>", b"--a--"])
    labelled.append(m)

    # Aliases and misspellings, in body labels and in encoded words.
    for label, text in [("x-sjis", "日本語のテキスト"), ("ks_c_5601-1987", "한국어 텍스트"),
                        ("utf8", "Grüße aus Köln"), ("windows1251", "Русский текст"),
                        ("cp-1251", "Ещё один текст"), ("iso8859-2", "Zażółć"),
                        ("x-mac-cyrillic", "Кириллица"), ("x-euc-jp", "日本語")]:
        m = Message("alias-" + label, text, (text.split()[0][:4], "alias@example.org"),
                    [("Reader", "reader@example.org")], text)
        m.header("From: %s <alias@example.org>" % b_word(text.split()[0][:4], label))
        m.header("To: Reader <reader@example.org>")
        m.header("Subject: " + q_word(text, label)).header(DATE).header("MIME-Version: 1.0")
        headers, body = plain(label, text)
        m.headers += headers
        m.body = body
        labelled.append(m)

    # gb2312 labels mail written in GBK (as programs that said gb2312 wrote it).
    m = Message("gb2312-holding-gbk", "繁體字與简体字", ("王", "wang@example.cn"),
                [("李", "li@example.cn")], "繁體字與简体字")
    m.header(b"From: " + "王".encode("gbk") + b" <wang@example.cn>")
    m.header(b"To: " + "李".encode("gbk") + b" <li@example.cn>")
    m.header(b"Subject: " + "繁體字與简体字".encode("gbk")).header(DATE)
    m.header("MIME-Version: 1.0")
    m.headers += [b"Content-Type: text/plain; charset=gb2312",
                  b"Content-Transfer-Encoding: 8bit"]
    m.body = "繁體字與简体字".encode("gbk")
    labelled.append(m)

    # UTF-7 bodies, labelled as they were: "+AD4-" is ">".
    for label in ("UTF-7", "unicode-1-1-utf-7"):
        text = "Quoted > text & more: Привет"
        m = Message("utf7-" + label, "UTF-7 " + label, ("Sender", "u7@example.org"),
                    [("Reader", "reader@example.org")], text)
        m.header("From: Sender <u7@example.org>").header("To: Reader <reader@example.org>")
        m.header("Subject: UTF-7 " + label).header(DATE).header("MIME-Version: 1.0")
        m.header('Content-Type: text/plain; charset="%s"' % label)
        m.header("Content-Transfer-Encoding: 7bit")
        m.body = text.encode("utf_7")
        labelled.append(m)

    # A label run into the next header, and one with garbage after it.
    m = Message("label-runs-on", "Заголовок", ("Отправитель", "sender@example.org"),
                [("Reader", "reader@example.org")], "Привет, мир")
    m.header("From: %s <sender@example.org>" % b_word("Отправитель", "utf-8"))
    m.header("To: Reader <reader@example.org>")
    m.header(b"Subject: " + "Заголовок".encode("utf-8")).header(DATE)
    m.header("MIME-Version: 1.0")
    m.header('Content-Type: text/plain; charset="UTF-8Return-Path: <bounce@example.org>')
    m.header("Content-Transfer-Encoding: 8bit")
    m.body = "Привет, мир".encode("utf-8")
    labelled.append(m)
    # The same with nothing in the body: GLib once said so on the terminal.
    m = Message("label-runs-on-empty", "Пусто", ("Отправитель", "sender@example.org"),
                [("Reader", "reader@example.org")], "")
    m.header("From: %s <sender@example.org>" % b_word("Отправитель", "utf-8"))
    m.header("To: Reader <reader@example.org>")
    m.header(b"Subject: " + "Пусто".encode("utf-8")).header(DATE).header("MIME-Version: 1.0")
    m.header('Content-Type: multipart/alternative; boundary="z"')
    m.body = (b'--z\r\nContent-Type: text/html; charset="UTF-8Return-Path: <b@example.org>'
              b"\r\n\r\n--z--")
    labelled.append(m)
    m = Message("label-garbage", "Отчёт", ("Отправитель", "sender@example.org"),
                [("Reader", "reader@example.org")], "Добрый день")
    m.header(b"From: " + "Отправитель".encode("koi8_r") + b" <sender@example.org>")
    m.header("To: Reader <reader@example.org>")
    m.header(b"Subject: " + "Отчёт".encode("koi8_r")).header(DATE).header("MIME-Version: 1.0")
    m.header("Content-Type: text/plain; charset='koi8-r'; format=flowed")
    m.header("Content-Transfer-Encoding: 8bit")
    m.body = "Добрый день".encode("koi8_r")
    labelled.append(m)

    # Mislabelled: the body says koi8-r, the header bytes are valid UTF-8.
    m = Message("utf8-headers-koi8-body", "Ёжик в тумане", ("Юрий", "yuri@example.ru"),
                [("Reader", "reader@example.org")], "Тест")
    m.header(b"From: " + "Юрий".encode() + b" <yuri@example.ru>")
    m.header("To: Reader <reader@example.org>")
    m.header(b"Subject: " + "Ёжик в тумане".encode()).header(DATE).header("MIME-Version: 1.0")
    m.headers += plain("koi8-r", "Тест")[0]
    m.body = "Тест".encode("koi8_r")
    labelled.append(m)

    # An unknown label: the text is read as UTF-8 where valid, else as the fallback.
    m = Message("unknown-label", "Café crème", ("José", "jose@example.org"),
                [("Reader", "reader@example.org")], "Café crème brûlée")
    m.header(b"From: " + "José".encode("cp1252") + b" <jose@example.org>")
    m.header("To: Reader <reader@example.org>")
    m.header(b"Subject: " + "Café crème".encode("cp1252")).header(DATE)
    m.header("MIME-Version: 1.0")
    m.header("Content-Type: text/plain; charset=x-no-such-charset")
    m.header("Content-Transfer-Encoding: 8bit")
    m.body = "Café crème brûlée".encode("cp1252")
    labelled.append(m)

    # Senders and recipients: only a name (encoded or raw), a group, a broken address.
    m = Message("from-only-encoded-name", "Only a name", ("Иван Петров", ""),
                [("Reader", "reader@example.org")], "Body")
    m.header("From: " + b_word("Иван Петров", "koi8-r"))
    m.header("To: Reader <reader@example.org>").header("Subject: Only a name").header(DATE)
    m.header("MIME-Version: 1.0").header("Content-Type: text/plain; charset=us-ascii")
    m.body = b"Body"
    labelled.append(m)
    m = Message("from-only-raw-name", "Только имя", ("Иван Петров", ""),
                [("Undisclosed recipients", "")], "Текст")
    m.header(b"From: " + "Иван Петров".encode("koi8_r"))
    m.header("To: Undisclosed recipients:;")
    m.header(b"Subject: " + "Только имя".encode("koi8_r")).header(DATE)
    m.header("MIME-Version: 1.0").headers += plain("koi8-r", "Текст")[0]
    m.body = "Текст".encode("koi8_r")
    labelled.append(m)
    m = Message("broken-address", "Broken address", ("Ivan", ""),
                [("Анна", ""), ("Bob", "bob@example.net")], "Body")
    m.header("From: Ivan <ivan at example.ru>")
    m.header("To: %s, Bob <bob@example.net>" % b_word("Анна", "utf-8"))
    m.header("Subject: Broken address").header(DATE).header("MIME-Version: 1.0")
    m.header("Content-Type: text/plain; charset=us-ascii")
    m.body = b"Body"
    labelled.append(m)

    # Encoded words each padded on its own, the way many programs split long names.
    m = Message("padded-encoded-words", "AB CD", ("Пётр", "petr@example.ru"),
                [("Reader", "reader@example.org")], "Body")
    m.header("From: =?utf-8?B?0J8=?= =?utf-8?B?0ZE=?= =?utf-8?B?0YLRgA==?= <petr@example.ru>")
    m.header("To: Reader <reader@example.org>")
    m.header("Subject: =?utf-8?B?QQ==?= =?utf-8?B?Qg==?= =?utf-8?Q?_CD?=").header(DATE)
    m.header("MIME-Version: 1.0").header("Content-Type: text/plain; charset=us-ascii")
    m.body = b"Body"
    labelled.append(m)

    # Attachment names in RFC 2231 (with their own charset, and continued), and in encoded words.
    m = Message("attachment-names", "Attachment names", ("Ann", "ann@example.org"),
                [("Bob", "bob@example.net")], "See the files.",
                ["отчёт 2024.txt", "résumé final.txt", "报告.txt", "資料.txt"])
    m.header("From: Ann <ann@example.org>").header("To: Bob <bob@example.net>")
    m.header("Subject: Attachment names").header(DATE).header("MIME-Version: 1.0")
    m.header('Content-Type: multipart/mixed; boundary="b"')
    koi = urllib.parse.quote("отчёт 2024.txt".encode("koi8_r"))
    utf = urllib.parse.quote("résumé final.txt".encode("utf-8"))
    parts = [b"--b", b"Content-Type: text/plain; charset=us-ascii", b"", b"See the files."]
    for disposition in (
            "attachment; filename*=koi8-r''" + koi,
            "attachment;\r\n filename*0*=utf-8''" + utf[:10] + ";\r\n filename*1*=" + utf[10:],
            'attachment; filename="' + b_word("报告.txt", "gb2312") + '"',
            'attachment; filename="' + b_word("資料.txt", "x-sjis") + '"'):
        parts += [b"--b", b"Content-Type: application/octet-stream",
                  b"Content-Disposition: " + disposition.encode(),
                  b"Content-Transfer-Encoding: base64", b"", base64.b64encode(b"data")]
    parts.append(b"--b--")
    m.body = b"\r\n".join(parts)
    labelled.append(m)

    # Keywords and Thread-Topic written raw; a message forwarded inside another, raw too.
    m = Message("forwarded-raw", "Fwd: Пересылка", ("Ann", "ann@example.org"),
                [("Bob", "bob@example.net")], "Forwarded below.", [{"embedded": "Пересылка"}])
    m.header("From: Ann <ann@example.org>").header("To: Bob <bob@example.net>")
    m.header(b"Subject: Fwd: " + "Пересылка".encode("koi8_r")).header(DATE)
    m.header(b"Thread-Topic: " + "Пересылка".encode("koi8_r"))
    m.header(b"Keywords: " + "Важное".encode("koi8_r"))
    m.expected["keywords"] = ["Важное"]
    m.header("MIME-Version: 1.0").header('Content-Type: multipart/mixed; boundary="f"')
    inner = b"\r\n".join([b"From: " + "Олег".encode("koi8_r") + b" <oleg@example.ru>",
                          b"Subject: " + "Пересылка".encode("koi8_r"), DATE.encode(),
                          b"Content-Type: text/plain; charset=koi8-r", b"",
                          "Исходное письмо".encode("koi8_r")])
    m.body = b"\r\n".join([b"--f", b"Content-Type: text/plain; charset=koi8-r", b"",
                           b"Forwarded below.", b"--f", b"Content-Type: message/rfc822", b"",
                           inner, b"--f--"])
    labelled.append(m)

    # Mail that names no charset anywhere, in windows-1252 (the default fallback) ...
    m = Message("unlabelled-1252", "Déjà vu à Noël", ("Zoë Brontë", "zoe@example.org"),
                [("François", "francois@example.fr")], "Crème brûlée", ["Café menu.txt"])
    m.header(b"From: " + "Zoë Brontë".encode("cp1252") + b" <zoe@example.org>")
    m.header(b"To: " + "François".encode("cp1252") + b" <francois@example.fr>")
    m.header(b"Subject: " + "Déjà vu à Noël".encode("cp1252")).header(DATE)
    m.header("MIME-Version: 1.0").header('Content-Type: multipart/mixed; boundary="b"')
    m.body = b"\r\n".join([b"--b", b"Content-Type: text/plain", b"",
                           "Crème brûlée".encode("cp1252"), b"--b",
                           b'Content-Disposition: attachment; filename="' +
                           "Café menu.txt".encode("cp1252") + b'"',
                           b"Content-Transfer-Encoding: base64", b"",
                           base64.b64encode(b"menu"), b"--b--"])
    labelled.append(m)

    # ... and in windows-1251, for a run told --charset windows-1251.
    for n, (subject, name, text) in enumerate([("Привет без кодировки", "Иван", "Текст"),
                                               ("Счёт на оплату", "Бухгалтерия", "Оплатите")]):
        m = Message("unlabelled-1251-%d" % n, subject, (name, "u%d@example.ru" % n),
                    [("Читатель", "reader@example.ru")], text)
        m.header(b"From: " + name.encode("cp1251") + b" <u%d@example.ru>" % n)
        m.header(b"To: " + "Читатель".encode("cp1251") + b" <reader@example.ru>")
        m.header(b"Subject: " + subject.encode("cp1251")).header(DATE)
        m.body = text.encode("cp1251")
        unlabelled.append(m)
    return {"Charsets.mbx": labelled, "Unlabelled-1251.mbx": unlabelled}


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    expected = {}
    for box, messages in corpus().items():
        (out / box).write_bytes(b"".join(SEPARATOR + m.bytes() for m in messages))
        expected[box] = [m.expected for m in messages]
    (out / "expected.json").write_text(json.dumps(expected, ensure_ascii=False, indent=1),
                                       encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
