#include "content/mime_walk.h"

#include <gtest/gtest.h>

#include "content/mail_codec.h"
#include "store/node_tree.h"
#include "tests/content/mail_samples.h"

namespace korvo {
namespace {

using test::Mail;
using test::SonKinds;
using test::Sons;
using Kinds = std::vector<std::string>;

const std::string kPdf = CMailCodec::EncodeBase64(std::string("%PDF-1.4\x00\x01\xff", 11));

std::string MixedWithAttachment(std::string_view fileNameParam = "filename=\"report.pdf\"") {
    return Mail({"From: a@example.org", "Subject: report",
                 "Content-Type: multipart/mixed; boundary=\"==b1==\"", "", "preamble",
                 "--==b1==", "Content-Type: text/plain; charset=us-ascii",
                 "Content-Transfer-Encoding: 7bit", "", "See attached.",
                 "--==b1==", "Content-Type: application/pdf; name=\"report.pdf\"",
                 "Content-Transfer-Encoding: base64",
                 "Content-Disposition: attachment; " + std::string(fileNameParam), "", kPdf,
                 "--==b1==--", "epilogue"});
}

struct Walk {
    std::unique_ptr<baseDataStruct> root = CreateRootNode();
    baseDataStruct* node = AddSonText(root.get(), "type =view");

    explicit Walk(std::string_view text) { mailProcess(text, node, true); }
    std::string key(const char* k) const { return getinfo(node, kThisNode, k); }
};

TEST(MailGetContent, ReadsTheHeadAndKeepsValuesWithoutContentType) {
    MailPartHead head;
    head.boundary = "--old";
    head.contentType = "kept";
    EXPECT_EQ(mailGetContent("Subject: x\r\n\r\nContent-Type: text/html\r\n", head), "-1");
    EXPECT_EQ(head.contentType, "kept");

    const std::string part =
        Mail({"content-TYPE: image/png; name=\"my pic.png\"", "Content-Transfer-Encoding: base64",
              "Content-Disposition: inline; filename=\"=?utf-8?B?aMOkdC5wbmc=?=\"",
              "Content-ID: <img1@local>", "", "iVBOR", "Content-Type: text/plain"});
    EXPECT_EQ(mailGetContent(part, head), "0");
    EXPECT_EQ(head.contentType, "image/png");
    EXPECT_EQ(head.boundary, "--old");  // no boundary in this head: kept
    EXPECT_EQ(head.transferEncoding, "base64");
    EXPECT_EQ(head.fileName, "h\xc3\xa4t.png");
    EXPECT_EQ(head.name, "mypic.png");  // spaces are removed from the header
    EXPECT_EQ(head.disposition, "inline");
    EXPECT_EQ(head.contentId, "img1@local");

    EXPECT_EQ(mailGetContent("Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n"
                             "\tboundary=\"rel\"\r\n\r\n",
                             head),
              "0");
    EXPECT_EQ(head.boundary, "--rel");
    EXPECT_EQ(head.typeParam, "text/html");
    EXPECT_EQ(head.transferEncoding, "");  // written when the head has a type
}

TEST(MailGetContent, ExtendedFileNamesAsSendersWriteThem) {
    MailPartHead head;
    mailGetContent(
        "Content-Type: application/pdf\r\nContent-Disposition: attachment;\r\n"
        " filename*=UTF-8''%E2%82%AC%20rates.pdf\r\n\r\n",
        head);
    EXPECT_EQ(head.fileName, "\xe2\x82\xac rates.pdf");
    mailGetContent(
        "Content-Type: application/pdf\r\nContent-Disposition: attachment;\r\n"
        " filename*0*=utf-8''long%20;\r\n filename*1=name.txt\r\n\r\n",
        head);
    EXPECT_EQ(head.fileName, "long name.txt");
    // The plain form wins when both are given.
    mailGetContent(
        "Content-Type: a/b\r\nContent-Disposition: attachment; filename=\"plain.txt\";"
        " filename*=utf-8''other.txt\r\n\r\n",
        head);
    EXPECT_EQ(head.fileName, "plain.txt");
    // A name is never read from the tail of a longer one, nor a field from inside another.
    mailGetContent(
        "X-Original-Content-Type: text/html\r\nContent-Disposition: attachment; "
        "filename=\"a.pdf\"; filename*=utf-8''c.pdf\r\n"
        "Content-Type: application/pdf; name=\"b.pdf\"; name*=utf-8''d.pdf\r\n\r\n",
        head);
    EXPECT_EQ(head.contentType, "application/pdf");
    EXPECT_EQ(head.fileName, "a.pdf");
    EXPECT_EQ(head.name, "b.pdf");
    mailGetContent(
        "Content-Type: application/pdf\r\nContent-Disposition: attachment; "
        "filename*=utf-8''only.pdf\r\n\r\n",
        head);
    EXPECT_EQ(head.fileName, "only.pdf");
    EXPECT_EQ(head.name, "");
}

TEST(MailGetContentBlock, CutsFromDelimiterToDelimiter) {
    std::string_view text = "pre\r\n--b\r\none\r\n--b\r\ntwo\r\n--b--\r\nepilogue";
    std::string_view block;
    mailGetContentBlock(text, block, "--b");
    EXPECT_EQ(block, "--b\r\none\r\n");
    EXPECT_EQ(text, "--b\r\ntwo\r\n--b--\r\nepilogue");
    mailGetContentBlock(text, block, "--b");
    EXPECT_EQ(block, "--b\r\ntwo\r\n");
    EXPECT_EQ(text, "");  // closing delimiter: the epilogue goes

    text = "--b\r\nlast part without a closing line\r\n";
    mailGetContentBlock(text, block, "--b");
    EXPECT_EQ(block, "");
    EXPECT_EQ(text, "");

    text = "no delimiter";
    mailGetContentBlock(text, block, "--b");
    EXPECT_EQ(block, "");
    EXPECT_EQ(text, "");

    text = "whole";
    mailGetContentBlock(text, block, "");
    EXPECT_EQ(block, "whole");
    EXPECT_EQ(text, "");
}

TEST(MailProcess, PlainLetterIsOneTextSon) {
    Walk w(Mail({"From: a@b", "Subject: hi", "", "Hello,", "", "bye"}));
    EXPECT_EQ(SonKinds(w.node), Kinds{"text/text"});
    EXPECT_EQ(Sons(w.node)[0].data, "Hello,\r\n\r\nbye\r\n");
    EXPECT_EQ(w.key("haveText"), "yes");
    EXPECT_EQ(w.key("haveError"), "-1");
    EXPECT_EQ(mailTestAttachment(Mail({"Subject: hi", "", "x"})), 0);
    EXPECT_EQ(mailTestAttachment(""), 0);

    Walk qp(Mail({"Content-Type: text/plain; charset=utf-8",
                  "Content-Transfer-Encoding: quoted-printable", "", "caf=C3=A9 au l=", "ait"}));
    EXPECT_EQ(Sons(qp.node)[0].data, "caf\xc3\xa9 au lait\r\n");
}

TEST(MailProcess, MixedLetterWithAttachment) {
    const std::string letter = MixedWithAttachment();
    Walk w(letter);
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/text", "attachment"}));
    EXPECT_EQ(sons[0].data, "See attached.\r\n");
    EXPECT_EQ(sons[1].fileName, "report.pdf");
    EXPECT_EQ(sons[1].transferEncoding, "base64");
    EXPECT_TRUE(sons[1].data.starts_with("--==b1==\r\nContent-Type: application/pdf"));
    EXPECT_EQ(CMailCodec().DecodeText(sons[1].data, "base64"), std::string("%PDF-1.4", 8));
    EXPECT_EQ(w.key("filename"), "report.pdf;");
    EXPECT_EQ(w.key("haveAttachment"), "yes");
    EXPECT_EQ(w.key("haveText"), "yes");
    EXPECT_EQ(mailTestAttachment(letter), 1);
}

TEST(MailProcess, AlternativeInsideMixedAndTwoAttachments) {
    const std::string letter = Mail({"Content-Type: multipart/mixed; boundary=outer",
                                     "",
                                     "--outer",
                                     "Content-Type: multipart/alternative; boundary=inner",
                                     "",
                                     "--inner",
                                     "Content-Type: text/plain",
                                     "",
                                     "plain body",
                                     "--inner",
                                     "Content-Type: text/html; charset=utf-8",
                                     "Content-Transfer-Encoding: base64",
                                     "",
                                     CMailCodec::EncodeBase64("<p>html body</p>"),
                                     "--inner--",
                                     "",
                                     "--outer",
                                     "Content-Type: text/csv; name=a.csv",
                                     "Content-Disposition: attachment; filename=a.csv",
                                     "",
                                     "1,2",
                                     "--outer",
                                     "Content-Type: application/zip",
                                     "Content-Disposition: ATTACHMENT; filename=\"b c.zip\"",
                                     "Content-Transfer-Encoding: base64",
                                     "",
                                     "UEsDBA==",
                                     "--outer--"});
    Walk w(letter);
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/text", "text/html", "attachment", "attachment"}));
    EXPECT_EQ(sons[0].data, "plain body\r\n");
    EXPECT_EQ(sons[1].data, "<p>html body</p>");
    EXPECT_EQ(sons[2].fileName, "a.csv");
    EXPECT_EQ(sons[3].fileName, "bc.zip");
    EXPECT_EQ(w.key("filename"), "a.csv;bc.zip;");
    EXPECT_EQ(w.key("haveHtml"), "yes");
    EXPECT_EQ(mailTestAttachment(letter), 1);

    // Without the attachments the letter is only multipart, and a final text part resets it.
    const std::string alternative = Mail({"Content-Type: multipart/alternative; boundary=x", "",
                                          "--x", "Content-Type: text/plain", "", "a", "--x",
                                          "Content-Type: text/html", "", "b", "--x--"});
    EXPECT_EQ(mailTestAttachment(alternative), 0);
}

TEST(MailProcess, RelatedHtmlWithInlineImage) {
    const std::string letter =
        Mail({"Content-Type: multipart/related; type=\"text/html\"; boundary=\"rel\"", "", "--rel",
              "Content-Type: text/html", "", "<img src=\"cid:logo@x\">", "--rel",
              "Content-Type: image/png; name=\"logo.png\"", "Content-Transfer-Encoding: base64",
              "Content-ID: <logo@x>", "", "iVBORw0KGgo=", "--rel--"});
    Walk w(letter);
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/html", "cid"}));
    EXPECT_EQ(sons[1].fileName, "logo.png");
    EXPECT_EQ(sons[1].transferEncoding, "base64");
    EXPECT_TRUE(sons[1].data.starts_with("--rel\r\nContent-Type: image/png"));
    EXPECT_EQ(w.key("haveAttachment"), "-1");
    EXPECT_EQ(mailTestAttachment(letter), 0);
}

TEST(MailProcess, DeliveryReportWithReturnedMessage) {
    const std::string letter =
        Mail({"Content-Type: multipart/report; report-type=delivery-status;", "\tboundary=\"rep\"",
              "", "--rep", "Content-Type: text/plain", "", "Delivery failed.", "--rep",
              "Content-Type: message/delivery-status", "", "Action: failed", "--rep",
              "Content-Type: message/rfc822", "", "From: me@x", "Subject: original", "", "body",
              "--rep--"});
    Walk w(letter);
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/text", "message", "rfc822.eml"}));
    EXPECT_TRUE(sons[1].data.find("Action: failed") != std::string::npos);
    EXPECT_TRUE(sons[2].data.find("Subject: original") != std::string::npos);
    EXPECT_EQ(w.key("haveMessage"), "yes");
    EXPECT_EQ(mailTestAttachment(letter), 1);

    // A forwarded letter alone counts as an attachment.
    EXPECT_EQ(
        mailTestAttachment(Mail(
            {"Content-Type: multipart/mixed; boundary=f", "", "--f", "Content-Type: text/plain", "",
             "fwd", "--f", "Content-Type: message/rfc822", "", "Subject: x", "", "y", "--f--"})),
        1);
}

TEST(MailProcess, CarriedValuesAndUnknownTypes) {
    // A part without Content-Type takes the type of the part before it on its level; a part
    // of another type is walked as text; mixed-case types and dispositions are recognised.
    const std::string letter =
        Mail({"CONTENT-TYPE: Multipart/Mixed; BOUNDARY=k", "", "--k", "Content-Type: Text/Plain",
              "", "first", "--k", "X-Note: no type here", "", "second", "--k",
              "Content-Type: application/x-unknown", "", "third", "--k--"});
    Walk w(letter);
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/text", "text/text", "text/text"}));
    EXPECT_EQ(sons[0].data, "first\r\n");
    EXPECT_EQ(sons[1].data, "second\r\n");
    EXPECT_EQ(sons[2].data, "third\r\n");

    // Text parts marked inline are shown like any other text part.
    const std::string inlineText =
        Mail({"Content-Type: multipart/mixed; boundary=k", "", "--k", "Content-Type: text/plain",
              "Content-Disposition: inline", "", "a", "--k", "Content-Type: text/html",
              "Content-Disposition: inline", "", "<b>b</b>", "--k--"});
    Walk inl(inlineText);
    EXPECT_EQ(SonKinds(inl.node), (Kinds{"text/text", "text/html"}));
    EXPECT_EQ(Sons(inl.node)[1].data, "<b>b</b>\r\n");
    EXPECT_EQ(mailTestAttachment(inlineText), 0);
}

TEST(MailProcess, AttachmentOnlyInANestedPartCountsForTheLetter) {
    const std::string letter =
        Mail({"Content-Type: multipart/mixed; boundary=o", "", "--o",
              "Content-Type: multipart/mixed; boundary=i", "", "--i",
              "Content-Type: application/pdf", "Content-Disposition: attachment; filename=x.pdf",
              "", "data", "--i--", "--o", "Content-Type: text/plain", "", "note", "--o--"});
    EXPECT_EQ(mailTestAttachment(letter), 1);
    Walk w(letter);
    EXPECT_EQ(w.key("filename"), "x.pdf;");
}

TEST(MailProcess, MissingClosingDelimiterGivesAnEmptyLastPart) {
    const std::string letter =
        Mail({"Content-Type: multipart/mixed; boundary=z", "", "--z", "Content-Type: text/plain",
              "", "body", "--z", "Content-Type: application/octet-stream",
              "Content-Disposition: attachment; filename=cut.bin", "", "AAAA"});
    Walk w(letter);
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/text", "attachment"}));
    EXPECT_EQ(sons[1].fileName, "cut.bin");
    EXPECT_EQ(sons[1].data, "");
}

TEST(MailProcess, UnclassifiablePartBecomesTheErrorSon) {
    Walk w(Mail({"Content-Type: multipart/mixed; boundary=e", "", "--e", "Content-Type: text/plain",
                 "", "ok", "--e", "Content-Type: ;", "", "odd", "--e", "Content-Type: text/plain",
                 "", "never reached", "--e--"}));
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/text", "text/error"}));
    EXPECT_TRUE(sons[1].data.find("odd") != std::string::npos);
    EXPECT_EQ(w.key("haveError"), "yes");
}

TEST(MailProcess, HostileFileNamesStayInsideTheirKey) {
    // Separators of the property text in a name must not add or change keys of the son.
    Walk w(MixedWithAttachment("filename=\"x ,type =text ,style =html\""));
    const auto sons = Sons(w.node);
    ASSERT_EQ(SonKinds(w.node), (Kinds{"text/text", "attachment"}));
    EXPECT_EQ(sons[1].fileName, "x,type=text,style=html");
    // Encoded words that decode to a path are kept as written; making a file of the name is
    // the job of SafeAttachmentFileName.
    Walk p(MixedWithAttachment("filename=\"=?utf-8?B?Li4vLi4vLmJhc2hyYw==?=\""));
    EXPECT_EQ(Sons(p.node)[1].fileName, "../../.bashrc");
}

TEST(MailProcess, StaysBoundedOnHostileStructure) {
    // 1,000 nested multiparts: the walk stops following them and shows the rest as text.
    std::string deep;
    for (int i = 0; i < 1000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "_\r\n\r\n--b" +
                std::to_string(i) + "_\r\n";
    deep += "Content-Type: application/pdf\r\nContent-Disposition: attachment\r\n\r\nx\r\n";
    for (int i = 999; i >= 0; --i) deep += "--b" + std::to_string(i) + "_--\r\n";
    Walk d(deep);
    ASSERT_EQ(SonKinds(d.node), Kinds{"text/text"});
    EXPECT_EQ(Sons(d.node)[0].data.find("--b"), 0u);  // the raw rest, from the level cut off
    EXPECT_EQ(d.key("haveAttachment"), "-1");
    EXPECT_EQ(mailTestAttachment(deep), 2);

    // Boundaries that are prefixes of each other.
    const std::string prefixes =
        Mail({"Content-Type: multipart/mixed; boundary=a", "", "--a",
              "Content-Type: multipart/alternative; boundary=ab", "", "--ab",
              "Content-Type: text/plain", "", "x", "--ab--", "--a--"});
    Walk p(prefixes);
    ASSERT_FALSE(Sons(p.node).empty());
    EXPECT_EQ(Sons(p.node)[0].data, "x\r\n");
    mailTestAttachment(prefixes);

    // A header without its empty line, NUL bytes, lone CR and LF line ends, base64 garbage.
    for (const std::string& odd :
         {std::string("Content-Type: multipart/mixed; boundary=q\r\n--q\r\nContent-Type: "
                      "text/plain\r\n--q--"),
          std::string("Content-Type: text/plain\0\r\n\r\nx\0y", 32),
          std::string("Content-Type: multipart/mixed; boundary=n\n\n--n\nContent-Type: "
                      "text/plain\n\nlf only\n--n--\n"),
          std::string("Content-Type: text/plain\r\rContent-Transfer-Encoding: base64\r\r"),
          std::string("Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                      "!!**\xff\xfe==QQ=")}) {
        Walk o(odd);
        EXPECT_GE(Sons(o.node).size(), 1u);
        mailTestAttachment(odd);
    }

    // A letter with bare LF line ends reads like its CR LF twin.
    Walk lf(
        "Content-Type: multipart/mixed; boundary=n\n\n--n\nContent-Type: text/plain\n\n"
        "lf only\n--n\nContent-Type: a/b\nContent-Disposition: attachment; filename=l.txt\n\n"
        "x\n--n--\n");
    ASSERT_EQ(SonKinds(lf.node), (Kinds{"text/text", "attachment"}));
    EXPECT_EQ(Sons(lf.node)[0].data, "lf only\r\n");
    EXPECT_EQ(mailTestAttachment("Content-Type: multipart/mixed; boundary=n\n\n--n\n"
                                 "Content-Type: text/plain\n\nx\n--n\nContent-Type: a/b\n"
                                 "Content-Disposition: attachment\n\nx\n--n--\n"),
              1);

    // Repeated delimiters give empty parts and nothing worse.
    Walk r(Mail({"Content-Type: multipart/mixed; boundary=r", "", "--r", "--r", "--r",
                 "Content-Type: text/plain", "", "t", "--r--"}));
    ASSERT_FALSE(Sons(r.node).empty());
    EXPECT_EQ(Sons(r.node).back().data, "t\r\n");
}

TEST(MailProcess, HundredThousandTinyParts) {
    std::string letter = "Content-Type: multipart/mixed; boundary=t\r\n\r\n";
    for (int i = 0; i < 100000; ++i)
        letter += i % 2 ? "--t\r\nContent-Type: a/b\r\nContent-Disposition: attachment; "
                          "filename=f\r\n\r\nx\r\n"
                        : "--t\r\nContent-Type: text/plain\r\n\r\ny\r\n";
    letter += "--t--\r\n";
    Walk w(letter);
    EXPECT_EQ(Sons(w.node).size(), 100000u);
    EXPECT_EQ(w.key("filename").size(), 2u * 50000);
    EXPECT_EQ(mailTestAttachment(letter), 1);

    // The same without empty lines: each part's head ends at the next delimiter.
    std::string bare = "Content-Type: multipart/mixed; boundary=t\r\n\r\n";
    for (int i = 0; i < 100000; ++i) bare += "--t\r\nContent-Type: text/plain\r\ny\r\n";
    Walk b(bare);
    EXPECT_EQ(Sons(b.node).size(), 100000u);
}

}  // namespace
}  // namespace korvo
