#include "shell/mail_page.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "content/mime_walk.h"
#include "store/node_tree.h"
#include "tests/shell/viewer_letters.h"

namespace korvo {
namespace {

// What every page starts with: the policy, then the page's own charset.
std::string Guard() {
    return std::string(kPageSecurityMeta) + std::string(kPageCharsetMeta);
}

using test::Mail;

// The bytes behind each "data:<type>;base64," URI of a page, in order.
std::vector<std::pair<std::string, std::string>> DataUris(std::string_view page) {
    std::vector<std::pair<std::string, std::string>> found;
    for (size_t at = page.find("data:"); at != std::string_view::npos;
         at = page.find("data:", at + 1)) {
        const size_t semi = page.find(";base64,", at);
        if (semi == std::string_view::npos) break;
        size_t end = semi + 8;
        while (end < page.size() &&
               std::string_view("\"')> ").find(page[end]) == std::string_view::npos)
            ++end;
        std::string bytes;
        CMailCodec::DecodeBase64(page.substr(semi + 8, end - semi - 8), bytes);
        found.emplace_back(std::string(page.substr(at + 5, semi - at - 5)), bytes);
    }
    return found;
}

class MailPageTest : public ::testing::Test {
  protected:
    baseDataStruct* Walk(const std::string& raw) {
        letter = AddSonText(root.get(), "type =letter");
        mailProcess(raw, letter, true);
        return letter;
    }
    std::unique_ptr<baseDataStruct> root = CreateRootNode();
    baseDataStruct* letter = nullptr;
};

TEST_F(MailPageTest, PolicyGoesAheadOfEverythingTheLetterPutsInItsHead) {
    const std::string own =
        "<html><head><meta http-equiv=\"Content-Security-Policy\" content=\"default-src *\">"
        "<base href=\"http://evil.example/\"></head><body>x</body></html>";
    std::string page = GuardPage(own);
    EXPECT_TRUE(page.starts_with(Guard()));
    EXPECT_EQ(page.substr(Guard().size()), own);

    // A doctype stays first so the page keeps its rendering mode; nothing else comes before.
    page = GuardPage("  <!DOCTYPE html>\r\n<HEAD><META charset=utf-8></HEAD>");
    EXPECT_EQ(page, "  <!DOCTYPE html>" + Guard() + "\r\n<HEAD><META charset=utf-8></HEAD>");
    page = GuardPage("\xEF\xBB\xBF<p>fragment</p>");
    EXPECT_EQ(page, "\xEF\xBB\xBF" + Guard() + "<p>fragment</p>");
    EXPECT_EQ(GuardPage("<!DOCTYPE html><img src=x>"), "<!DOCTYPE html>" + Guard() + "<img src=x>");
    // A doctype that never ends cannot hide the policy.
    EXPECT_EQ(GuardPage("<!doctype html"), Guard() + "<!doctype html");
    EXPECT_EQ(GuardPage(""), Guard());
    // The policy allows no remote source of any kind.
    EXPECT_NE(kPageSecurityMeta.find("default-src 'none'"), std::string_view::npos);
    EXPECT_NE(kPageSecurityMeta.find("base-uri 'none'"), std::string_view::npos);
    EXPECT_EQ(kPageSecurityMeta.find("://"), std::string_view::npos);
}

TEST_F(MailPageTest, PlainTextBecomesAGreyPageWithOneBreakPerLine) {
    EXPECT_EQ(GreyTextPage("one\r\ntwo\r\n\r\nBob <bob@x.org> & co\nbare"),
              "<html><head><title>null</title></head><body bgcolor=#eeeeee>one<br>two<br><br>"
              "Bob &lt;bob@x.org&gt; &amp; co\nbare</body></html>");
    EXPECT_EQ(GreyTextPage(""),
              "<html><head><title>null</title></head><body bgcolor=#eeeeee></body></html>");
}

TEST_F(MailPageTest, HtmlTagIsFoundInAnyCaseAndWithAttributes) {
    EXPECT_TRUE(HasHtmlTag("<html>"));
    EXPECT_TRUE(HasHtmlTag("x <HTML lang=en>"));
    EXPECT_TRUE(HasHtmlTag("<Html\r\nxmlns=a>"));
    EXPECT_FALSE(HasHtmlTag("<htmlfoo> <html"));
    EXPECT_FALSE(HasHtmlTag("see html and <p>"));
}

TEST_F(MailPageTest, BodyIsTheLastTextOrHtmlPart) {
    EXPECT_EQ(ChooseLetterBody(Walk(test::AlternativeLetter())).text, "<p>html part</p>\r\n");
    EXPECT_TRUE(ChooseLetterBody(letter).fromHtmlPart);

    // html first, text last: the text wins, as the parts come.
    const std::string reversed = Mail({"Content-Type: multipart/alternative; boundary=b", "", "--b",
                                       "Content-Type: text/html", "", "<p>h</p>", "--b",
                                       "Content-Type: text/plain", "", "t", "--b--"});
    const LetterBody body = ChooseLetterBody(Walk(reversed));
    EXPECT_EQ(body.text, "t\r\n");
    EXPECT_FALSE(body.fromHtmlPart);

    // An attachment-only letter has no body.
    const std::string onlyFile = Mail({"Content-Type: multipart/mixed; boundary=b", "", "--b",
                                       "Content-Type: application/octet-stream",
                                       "Content-Disposition: attachment; filename=a.bin",
                                       "Content-Transfer-Encoding: base64", "", "AAAA", "--b--"});
    EXPECT_EQ(ChooseLetterBody(Walk(onlyFile)).text, "");
    EXPECT_EQ(ChooseLetterBody(nullptr).text, "");
}

TEST_F(MailPageTest, CidReferencesBecomeDataUrisOfTheMatchingParts) {
    const std::string html =
        "<html><body><img src=\"cid:logo@x.org\"><img src='CID:%3CLOGO%40x.org%3E'>"
        "<div style=\"background:url(cid:Logo@X.org)\"></div><img src=cid:dot>"
        "<img src=\"cid:missing@x.org\"><p>acid:dot stays</p></body></html>";
    const std::string page = InlineCidImages(html, Walk(test::RelatedLetter(html)));

    const auto uris = DataUris(page);
    ASSERT_EQ(uris.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(uris[i].first, "image/png");
        EXPECT_EQ(uris[i].second, test::PngBytes());
    }
    // A part sent as raw bytes is carried as those bytes, without the delimiter's CR LF.
    EXPECT_EQ(uris[3].first, "image/gif");
    EXPECT_EQ(uris[3].second, "GIF89a\x01\x02");
    EXPECT_NE(page.find("<img src=\"data:image/png;base64,iVBORw0KGgo"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"cid:missing@x.org\">"), std::string::npos);
    EXPECT_NE(page.find("acid:dot stays"), std::string::npos);
    // The URI is one unbroken token.
    EXPECT_EQ(page.find('\r'), std::string::npos);

    // A letter without inline parts keeps its page as it is.
    EXPECT_EQ(InlineCidImages(html, Walk(test::AlternativeLetter())), html);
}

TEST_F(MailPageTest, OddMediaTypesCannotBreakOutOfTheAttribute) {
    const std::string raw =
        Mail({"Content-Type: multipart/related; boundary=b", "", "--b", "Content-Type: text/html",
              "", "<img src=\"cid:a\">", "--b", "Content-Type: image/png\"onerror=x",
              "Content-Transfer-Encoding: base64", "Content-ID: <a>", "", "AAEC", "--b--"});
    const std::string page = InlineCidImages("<img src=\"cid:a\">", Walk(raw));
    EXPECT_EQ(page, "<img src=\"data:application/octet-stream;base64,AAEC\">");
}

// The process's peak resident size in bytes, reset first when `reset` (the kernel allows it).
size_t PeakResidentBytes(bool reset = false) {
    if (reset) std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stoul(line.substr(6)) * 1024;
    return 0;
}

TEST_F(MailPageTest, OnePictureNamedThousandsOfTimesCannotBlowUpThePage) {
    // 1 MB of picture that does not compress, referenced 30,000 times from 200 KB of HTML:
    // copied for every reference the page would be about 40 GB.
    std::string picture(1u << 20, '\0');
    std::mt19937 random(7);
    for (char& c : picture) c = static_cast<char>(random());
    std::string html = "<html><body>";
    for (int i = 0; i < 30000; ++i) html += "<img src=cid:p>";
    html += "</body></html>";
    const std::string raw =
        Mail({"Content-Type: multipart/related; boundary=b", "", "--b", "Content-Type: text/html",
              "", html, "--b", "Content-Type: image/png", "Content-Transfer-Encoding: base64",
              "Content-ID: <p>", ""}) +
        CMailCodec::EncodeBase64(picture) + "\r\n--b--\r\n";
    baseDataStruct* walked = Walk(raw);

    const size_t before = PeakResidentBytes(true);
    const std::string inlined = InlineCidImages(html, walked);
    const std::string page = GuardPage(inlined);
    const size_t grown = PeakResidentBytes() - before;
    std::printf("inlined page %zu bytes, peak resident size grew by %zu MB\n", page.size(),
                grown >> 20);

    EXPECT_LE(inlined.size(), kMaxInlinedPageBytes);
    auto count = [&](std::string_view what) {
        size_t n = 0;
        for (size_t at = inlined.find(what); at != std::string::npos;
             at = inlined.find(what, at + 1))
            ++n;
        return n;
    };
    const size_t pictures = count("<img src=data:image/png;base64,");
    EXPECT_GT(pictures, 40u);  // pictures up to the bound are still shown
    EXPECT_EQ(pictures + count("<img src=cid:p>"), 30000u);
    EXPECT_EQ(DataUris(inlined.substr(0, 2u << 20))[0].second, picture);
    // The page and its working copies, with the sanitizer's quarantine: far below the
    // gigabytes an unbounded page takes.
    EXPECT_LT(grown, size_t{768} << 20);
}

}  // namespace
}  // namespace korvo
