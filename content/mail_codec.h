// Transfer decoders and the base64 encoder of mail text.
//
// Everything works on bytes: no character-set conversion is done unless a converter is
// installed, which then sees the charset name of each encoded word and text part. The codec
// keeps no state between calls, so one object may serve any number of callers.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace korvo {

// Turns `bytes` written in `charset` into the text to show. Never installed by default.
using CharsetConverter = std::function<std::string(std::string_view charset, std::string bytes)>;

class CMailCodec {
  public:
    CMailCodec() = default;
    explicit CMailCodec(CharsetConverter converter) : converter_(std::move(converter)) {}

    // Decodes `in` by transfer encoding `encoding` (compared lower-cased): "base64",
    // "quoted-printable", "7bit" (ISO-2022 escapes to 8-bit) or "subject" (encoded words of
    // a header value). Returns the number of bytes in `out`, or -1 for any other name, and in
    // "subject" mode when nothing was decoded; `out` is then left untouched.
    long DecodeContent(std::string_view in, std::string_view encoding, std::string& out) const;

    // Decodes a part (its header, up to the first empty line, is skipped) or, with
    // "subject", a header value. Undecodable input comes back as it stands. The result ends
    // at the first zero byte; a trailing lone lead byte of a double-byte pair gets a space.
    // `charset` is handed to the converter, if one is installed.
    std::string DecodeText(std::string_view text, std::string_view encoding,
                           std::string_view charset = {}) const;

    // Base64 in lines of 76 characters, each full line followed by CR LF.
    static std::string EncodeBase64(std::string_view bytes);

    // Bytes outside the base64 alphabet are skipped. Returns the byte count in `out`.
    static long DecodeBase64(std::string_view text, std::string& out);

    // "=XX" gives a byte (lower-case digits read as upper-case), "=" CR (or a lone LF) ends a
    // soft line break; an "=" without two hex digits is kept as it is.
    static long DecodeQuotedPrintable(std::string_view text, std::string& out);

    // Text between ESC $ B and ESC ( B gets its top bits set and loses the escapes.
    // Returns the number of pairs converted.
    static long Convert7Bit(std::string_view text, std::string& out);

  private:
    long DecodeEncodedWords(std::string_view text, std::string& out) const;
    std::string Convert(std::string_view charset, std::string bytes) const;

    CharsetConverter converter_;
};

// The codec without conversion, shared by callers that have no other.
const CMailCodec& DefaultMailCodec();

// Writes the decoded body of a raw part (its header skipped) to `path`, created or truncated.
// An encoding the codec does not decode shows "Error on save file!" and writes nothing; a
// path that cannot be opened writes nothing.
void SysMailAttachmentToFile(std::string_view part, const std::string& path,
                             std::string_view transferEncoding,
                             const CMailCodec& codec = DefaultMailCodec());

// The same into the open file `fd`, which `path` names in the log. False when nothing was
// decoded or the bytes could not all be written.
bool SysMailAttachmentToFile(std::string_view part, int fd, const std::string& path,
                             std::string_view transferEncoding,
                             const CMailCodec& codec = DefaultMailCodec());

}  // namespace korvo
