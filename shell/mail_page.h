// The page the letter viewer hands to the embedded browser: which text part is the body, the
// grey page around a plain text, the security policy that goes first in every page, and the
// inline pictures of a multipart/related letter turned into data: URIs.
//
// A page never loads anything from outside: the policy forbids every remote source, scripts,
// frames, forms and <base>, and pictures the letter carries are put into the page itself.
#pragma once

#include <string>
#include <string_view>

#include "content/mail_codec.h"
#include "content/page_security.h"
#include "store/node.h"

namespace korvo {

// Shown while a letter is being prepared, so that the previous one vanishes at once.
inline constexpr std::string_view kBlankPage =
    "<html><head><title>korvo</title></head><body></body></html>";

// The page file below the data directory.
inline constexpr std::string_view kMailPageFile = "Cache/html/korvo.html";

// DataDirectory() + kMailPageFile.
std::string MailPagePath();

struct LetterBody {
    std::string text;
    bool fromHtmlPart = false;  // the text came from a text/html part
};

// The SDATA of the last content son of type "text" with style "html" or "text" (for the usual
// multipart/alternative order, the HTML part).
LetterBody ChooseLetterBody(const baseDataStruct* letter);

// Whether the text is a whole HTML document: it holds an <html> start tag (attributes allowed),
// in any case.
bool HasHtmlTag(std::string_view text);

// A plain text as a grey page: markup characters escaped, each CR LF a <br>.
std::string GreyTextPage(std::string_view text);

// Every page is UTF-8, whatever the letter's own markup declares later: the first
// declaration a browser meets wins.
inline constexpr std::string_view kPageCharsetMeta = "<meta charset=\"utf-8\">";

// `html` with kPageSecurityMeta and kPageCharsetMeta put first: before everything but a byte
// order mark and a doctype, so that the parser puts them into the head ahead of the letter's
// own head.
std::string GuardPage(std::string_view html);

// The most a page may grow to by inlining pictures. Each reference gets its own copy of the
// picture, so a small letter naming one large part many times would otherwise expand without
// bound.
inline constexpr size_t kMaxInlinedPageBytes = 64u << 20;

// Rewrites each cid: reference in `html` whose id is the Content-ID of a "cid" son of
// `letter` (angle brackets ignored, letters compared without case, %XX escapes in the
// reference decoded) as a data: URI of that part's bytes. Other references stay as they are,
// and so do those that would take the page beyond `maxPageBytes`.
std::string InlineCidImages(std::string_view html, const baseDataStruct* letter,
                            const CMailCodec& codec = DefaultMailCodec(),
                            size_t maxPageBytes = kMaxInlinedPageBytes);

// Writes GuardPage(html) to the page file (private_file.h: 0600, no link followed), creating
// its folders; false when it cannot be written.
bool WritePageFile(std::string_view html);

}  // namespace korvo
