#!/usr/bin/env python3
"""Writes the character-set letters beside this script and expected.tsv, their texts in UTF-8.

Run once; the letters and expectations are committed. The encoding is done by Python's own
codecs, independently of the program's reader. Each letter has a From name as a base64 word,
a Subject as two Q words cut in the middle of its bytes (possibly inside a character), a text
part in the charset, and an attachment named by RFC 2231 or by an encoded word in name=.
"""
import base64
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# label in the letter, Python codec, sample text
SETS = [
    ("iso-8859-1", "latin_1", "Grüße aus München, café à la crème"),
    ("ISO-8859-2", "iso8859_2", "Zażółć gęślą jaźń"),
    ("iso-8859-5", "iso8859_5", "Съешь же ещё этих мягких булок"),
    ("iso-8859-7", "iso8859_7", "Καλημέρα κόσμε"),
    ("iso-8859-15", "iso8859_15", "Prix 5 € pour l'œuvre"),
    ("windows-1250", "cp1250", "Příliš žluťoučký kůň úpěl ďábelské ódy"),
    ("windows-1251", "cp1251", "Привет, мир! Ёлка"),
    ("windows-1252", "cp1252", "“Smart quotes” – naïve résumé €"),
    ("KOI8-R", "koi8_r", "Съешь же ещё этих булок"),
    ("koi8-u", "koi8_u", "Їжак і ґава, єнот"),
    ("gb2312", "gb2312", "中文邮件测试，你好世界"),
    ("GBK", "gbk", "欢迎光临，丂乂"),
    ("big5", "big5", "繁體中文測試郵件"),
    ("shift_jis", "shift_jis", "日本語のメールです"),
    ("euc-jp", "euc_jp", "日本語のテストです"),
    ("iso-2022-jp", "iso2022_jp", "こんにちは世界"),
    ("euc-kr", "euc_kr", "안녕하세요 세계"),
    ("ks_c_5601-1987", "cp949", "한국어 메일 시험"),
    ("utf-7", "utf_7", "Hello ☃ and 日本"),
    ("utf-8", "utf_8", "Ünïcödé 😀 ok"),
]


def q_word(label, data):
    out = []
    for b in data:
        c = chr(b)
        if c.isascii() and c.isalnum():
            out.append(c)
        elif c == " ":
            out.append("_")
        else:
            out.append("=%02X" % b)
    return "=?%s?Q?%s?=" % (label, "".join(out))


def b_word(label, data):
    return "=?%s?B?%s?=" % (label, base64.b64encode(data).decode())


def pct(data):
    keep = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_"
    return "".join(chr(b) if b in keep else "%%%02X" % b for b in data)


def letter(index, label, codec, text):
    name = text.split(" ")[0].strip(",") or text
    subject = text
    body = text + " / " + text
    file_name = name + ".txt"
    enc = lambda s: s.encode(codec)
    sb = enc(subject)
    half = len(sb) // 2
    lines = [
        "From: %s <sender@example.test>" % b_word(label, enc(name)),
        "To: reader@example.test",
        "Subject: %s\r\n %s" % (q_word(label, sb[:half]), q_word(label, sb[half:])),
        "MIME-Version: 1.0",
        'Content-Type: multipart/mixed; boundary="b"',
        "",
        "--b",
        'Content-Type: text/plain; charset="%s"' % label,
    ]
    raw_body = enc(body)
    if index % 2:
        lines += ["Content-Transfer-Encoding: base64", "", base64.b64encode(raw_body).decode()]
    else:
        qp = "".join(chr(b) if 33 <= b < 127 and b != 61 else "=%02X" % b for b in raw_body)
        lines += ["Content-Transfer-Encoding: quoted-printable", "", qp]
    if index % 2:
        disposition = "Content-Disposition: attachment; filename*=%s''%s" % (label, pct(enc(file_name)))
        ctype = "Content-Type: text/plain"
    else:
        disposition = 'Content-Disposition: attachment; filename="%s"' % b_word(label, enc(file_name))
        ctype = "Content-Type: text/plain"
    lines += ["--b", ctype, "Content-Transfer-Encoding: base64", disposition, "",
              base64.b64encode(b"data").decode(), "--b--", ""]
    return "\r\n".join(lines).encode("ascii"), (name, subject, body, file_name)


def main():
    rows = []
    for i, (label, codec, text) in enumerate(SETS):
        data, expected = letter(i, label, codec, text)
        file = "%02d-%s.eml" % (i, label.lower())
        with open(os.path.join(HERE, file), "wb") as f:
            f.write(data)
        rows.append("\t".join((file,) + expected))
    with open(os.path.join(HERE, "expected.tsv"), "w", encoding="utf-8") as f:
        f.write("# file\tfrom name\tsubject\tbody\tattachment name\n")
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
