// A letter decides what goes into the page the browser shows: whatever it holds, the policy
// comes before the letter's own markup, a plain text cannot add markup, and inline pictures
// only replace cid: references.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "shell/mail_page.h"
#include "store/node_tree.h"

using namespace korvo;

namespace {

size_t Count(std::string_view text, char c) {
    size_t n = 0;
    for (const char x : text) n += x == c;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto root = CreateRootNode();
    baseDataStruct* letter = AddSonText(root.get(), "type =letter");
    mailProcess(text, letter, true);

    const LetterBody body = ChooseLetterBody(letter);
    const std::string html = InlineCidImages(body.text, letter);
    // Only references are rewritten: a text without "cid:" comes back unchanged.
    if (html != body.text && AsciiLowerCopy(body.text).find("cid:") == std::string::npos) abort();

    const std::string page = GuardPage(html);
    const size_t policy = page.find(kPageSecurityMeta);
    if (policy == std::string::npos ||
        page.size() != html.size() + kPageSecurityMeta.size() + kPageCharsetMeta.size())
        abort();
    // Before the policy stand at most a byte order mark, blanks and a doctype (which ends at
    // its first ">").
    std::string_view before = std::string_view(page).substr(0, policy);
    if (before.starts_with("\xEF\xBB\xBF")) before.remove_prefix(3);
    before = TrimWhite(before);
    if (!before.empty() && (!AsciiLowerCopy(before).starts_with("<!doctype") ||
                            before.back() != '>' || Count(before, '>') != 1))
        abort();

    // The grey page holds its own markup only: eight tags and a <br> per CR LF.
    size_t lineBreaks = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lineBreaks;
    const std::string grey = GreyTextPage(text);
    if (Count(grey, '<') != 8 + lineBreaks || Count(grey, '>') != 8 + lineBreaks) abort();
    return 0;
}
