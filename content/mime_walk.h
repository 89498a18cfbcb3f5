// The MIME walk: reading the head of a part, cutting parts by their delimiter, hanging one
// content node per part under a node, and classifying a letter as plain, multipart or
// carrying an attachment.
//
// The walk keeps positions into the text it was given and never copies the remaining text;
// header work is done on the part's header region only. Nesting deeper than
// kMaxMimeDepth is not followed: such a part is taken as text.
#pragma once

#include <string>
#include <string_view>

#include "content/mail_codec.h"
#include "store/node.h"

namespace korvo {

inline constexpr int kMaxMimeDepth = 64;

// The header region of a part never reaches further than this, even without an empty line.
inline constexpr size_t kMaxPartHeaderBytes = 1 << 20;

// What mailGetContent reads from the head of a part. Values are read unfolded, with every space
// removed from the header; `boundary` holds the delimiter ("--" + parameter).
struct MailPartHead {
    std::string contentType;
    std::string boundary;
    std::string transferEncoding;
    std::string fileName;  // filename=, encoded words decoded
    std::string name;      // the first name= (possibly the one inside filename=)
    std::string disposition;
    std::string contentId;  // without its angle brackets
    std::string typeParam;  // type=
    std::string charset;    // charset=, which the text of the part is read in
};

// Reads the head of `text` (up to its first empty line) into `head`. Returns "0" when it has a
// Content-Type field; "-1" when not, and then `head` is left as it was. `boundary` is only
// written when a boundary is found, so values carry over between calls on one level.
std::string mailGetContent(std::string_view text, MailPartHead& head,
                           const CMailCodec& codec = DefaultMailCodec());

// Cuts the next part out of `text`: `block` runs from the first `boundary` to the next one
// (so it starts with its own delimiter line) and `text` continues at that next delimiter, or
// becomes empty when that is the closing delimiter or no further delimiter exists. With an
// empty boundary the block is all of `text`. Both views point into the caller's text.
void mailGetContentBlock(std::string_view& text, std::string_view& block,
                         std::string_view boundary);

// Adds one son per part under `node` (text, html, attachment, cid, rfc822.eml, message or
// error) and sets haveText, haveHtml, haveAttachment, haveMessage, haveError and filename on
// it. `readText` is only logged.
void mailProcess(std::string_view text, baseDataStruct* node, bool readText,
                 const CMailCodec& codec = DefaultMailCodec());

// A letter written with bare LF line ends throughout is read as if they were CR LF (the
// copy goes to `storage`); any other text comes back as it is.
std::string_view WithCrLfLineEnds(std::string_view text, std::string& storage);

// 1 when the letter carries an attachment (at any depth), 2 when it is multipart otherwise,
// 0 when neither.
int mailTestAttachment(std::string_view text);

}  // namespace korvo
