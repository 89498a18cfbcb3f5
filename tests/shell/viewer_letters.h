// Letters for the viewer tests, written the way mail programs write them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "content/letter_node.h"
#include "content/mail_codec.h"
#include "model/sys_mail_box.h"
#include "store/node_tree.h"
#include "tests/content/mail_samples.h"

namespace korvo::test {

// A letter stored in `box` whose text is no longer in memory, as the letter list leaves it.
inline baseDataStruct* AddStoredLetter(CSysMailBox& mail, baseDataStruct* box,
                                       const std::string& raw) {
    baseDataStruct* letters = mail.SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
    baseDataStruct* letter = AddSonText(letters, "type =letter ,MailId =m");
    setinfo(letter, kThisNode, "SDATA", raw);
    mailInitProperty(letter, box, &mail);
    mail.DataSavePoint(letter);
    freedata(letter, 8);
    return letter;
}

// The first bytes of a PNG file, NUL bytes and a CR LF included.
inline std::string PngBytes() {
    static const unsigned char kBytes[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
        0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00,
        0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(kBytes), sizeof kBytes);
}

inline std::string PlainLetter() {
    return Mail({"From: Bob <bob@x.org>", "To: ann@x.org", "Cc: carl@x.org", "Subject: plain",
                 "Date: Tue, 6 Jan 2004 09:05:33 +0800", "", "line one", "a <b> & c", "", "last"});
}

inline std::string HtmlOnlyLetter() {
    return Mail({"From: shop@x.org", "Subject: offer", "MIME-Version: 1.0",
                 "Content-Type: text/html; charset=utf-8", "",
                 "<HTML lang=\"en\"><body><p>Hello</p></body></HTML>"});
}

inline std::string AlternativeLetter() {
    return Mail({"From: Bob <bob@x.org>", "To: ann@x.org", "Subject: both",
                 "Content-Type: multipart/alternative; boundary=\"alt\"", "", "--alt",
                 "Content-Type: text/plain", "", "plain part", "--alt", "Content-Type: text/html",
                 "", "<p>html part</p>", "--alt--"});
}

// multipart/related: an HTML part that refers to an inline PNG (base64, Content-ID in angle
// brackets) three ways, to a GIF sent as raw bytes (Content-ID without brackets), and to a
// part that is not there.
inline std::string RelatedLetter(std::string_view html) {
    std::string letter =
        Mail({"From: Bob <bob@x.org>", "To: ann@x.org", "Subject: picture", "MIME-Version: 1.0",
              "Content-Type: multipart/related; boundary=\"rel\"", "", "--rel",
              "Content-Type: text/html; charset=utf-8", ""});
    letter += std::string(html) + "\r\n";
    letter += Mail({"--rel", "Content-Type: image/png; name=\"logo.png\"",
                    "Content-Transfer-Encoding: base64", "Content-ID: <Logo@X.org>", ""});
    letter += CMailCodec::EncodeBase64(PngBytes()) + "\r\n";
    letter += Mail({"--rel", "Content-Type: image/gif; name=\"dot.gif\"",
                    "Content-Transfer-Encoding: binary", "Content-ID: dot", "", "GIF89a\x01\x02",
                    "--rel--"});
    return letter;
}

struct TestAttachment {
    std::string fileName;  // as written in the letter
    std::string bytes;
    std::string encoding = "base64";
};

// multipart/mixed: a text part, then one part per attachment.
inline std::string LetterWithAttachments(const std::vector<TestAttachment>& attachments) {
    std::string letter = Mail({"From: Bob <bob@x.org>", "To: ann@x.org", "Subject: files",
                               "Content-Type: multipart/mixed; boundary=\"mix\"", "", "--mix",
                               "Content-Type: text/plain", "", "see the files"});
    for (const TestAttachment& a : attachments) {
        letter += Mail({"--mix", "Content-Type: application/octet-stream",
                        "Content-Disposition: attachment; filename=\"" + a.fileName + "\"",
                        "Content-Transfer-Encoding: " + a.encoding, ""});
        letter += (a.encoding == "base64" ? CMailCodec::EncodeBase64(a.bytes) : a.bytes) + "\r\n";
    }
    return letter + "--mix--\r\n";
}

// An encoded word carrying `text`.
inline std::string EncodedWord(std::string_view text) {
    std::string encoded = CMailCodec::EncodeBase64(text);
    return "=?utf-8?B?" + encoded + "?=";
}

}  // namespace korvo::test
