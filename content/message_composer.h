// The message composer: turns the fields of the composer form into one complete MIME message
// and stores it as a letter's SDATA, exactly the bytes the sending session transmits.
//
// The message is always multipart/mixed under the boundary kMailBoundary: one base64
// text/plain part for the body and one base64 part per attached file. An attachment carried
// over from a received letter keeps its own part header and body and is put under this
// message's boundary. Should a carried-over part itself contain a line that starts with this
// message's delimiter (a forwarded letter that was written here), the boundary gets a numbered
// suffix so the message structure cannot be broken by its contents.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "content/letter_node.h"
#include "store/node.h"

namespace korvo {

inline constexpr std::string_view kMailBoundary = "Korvo_Mail_2003_05_08";

// Files are read and encoded in chunks of this size (a multiple of 57, so every chunk fills
// whole base64 lines and only the last one can end in "=").
inline constexpr size_t kAttachChunk = 114000;

inline constexpr std::string_view kMailerLine = "X-Mailer: Korvo v1.0 \r\n\r\n";

// The composer's input, taken from the form.
struct SendParam {
    std::string From;
    std::string To;
    std::string CC;  // may be empty
    std::string Subject;
    std::string Body;  // CR LF line ends
    // Each son is one item: "type =file ,fileFullName =<path> ,fileName =... ,icon =..." for a
    // file on disk, or fileFullName "attachment" with the raw part of a received letter as SDATA.
    baseDataStruct* Attachments = nullptr;
    baseDataStruct* Letter = nullptr;  // the letter to fill
    baseDataStruct* Box = nullptr;     // the box that holds it
    // Further header lines, each ending in CR LF, put after the Subject line.
    std::string ExtraHeaders;
};

// "%a, %d %b %y %H:%M:%S %Z" of the local time `when`, with English day and month names
// whatever the locale.
std::string MailDateText(std::time_t when);

// "KORVO=" ten capital letters "=" and the local time of `when` as YYYYMMDDhhmmss. Ids made
// by one process never repeat, even within one second; between runs the letters start at a
// random place.
std::string NewMessageId(std::time_t when);

// The body part. Every line of the body that holds only "." becomes " ." (in the form's text
// too), then the part header and the base64 text follow.
std::string textTo64(SendParam& param, std::string_view boundary = kMailBoundary);

// The attachment parts in the order of the list, then the closing delimiter. A file that no
// longer exists is left out silently.
std::string fileTo64(const SendParam& param, std::string_view boundary = kMailBoundary);

// The part of the file at `path` into `out`: empty when the file cannot be opened or read.
void attach_file(const std::string& path, std::string& out,
                 std::string_view boundary = kMailBoundary);

// A part cut from a received letter (starting with that letter's delimiter line) as a part of
// this message: the old delimiter line is replaced by "\r\n--" + boundary, the part's own
// header and body are kept, and it ends with a line end. Empty for an empty part.
std::string CarriedOverPart(std::string_view raw, std::string_view boundary = kMailBoundary);

// kMailBoundary, or a suffixed form of it when a carried-over part contains its delimiter.
std::string ChooseBoundary(const SendParam& param);

// The whole message text for `param` at time `now`.
std::string ComposeMessage(SendParam& param, std::time_t now);

// Builds the message, stores it as the Letter's SDATA, replaces the Letter's property text
// (type, pType, mailLong, MailId, read, pointId; an existing MailId is kept) and runs
// mailInitProperty with the Box, which writes the letter through `mailStore` when given.
void BuildLetter(SendParam& param, std::time_t now = std::time(nullptr),
                 CBaseDataManage* mailStore = nullptr);

}  // namespace korvo
