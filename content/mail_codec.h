// Transfer decoders and the base64 encoder of mail text.
//
// A codec works in one of three ways: on bytes alone (no character set is converted), with a
// converter installed (which sees the charset name of each encoded word and text part), or
// converting every text to UTF-8 (charset.h), which is what the program shows and stores.
// The codec keeps no state between calls, so one object may serve any number of callers.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace korvo {

// Turns `bytes` written in `charset` into the text to show. Never installed by default.
using CharsetConverter = std::function<std::string(std::string_view charset, std::string bytes)>;

class CMailCodec {
  public:
    enum class Mode { kBytes, kUtf8 };

    CMailCodec() = default;
    explicit CMailCodec(Mode mode) : utf8_(mode == Mode::kUtf8) {}
    explicit CMailCodec(CharsetConverter converter) : converter_(std::move(converter)) {}

    // Decodes `in` by transfer encoding `encoding` (compared lower-cased): "base64",
    // "quoted-printable", "7bit" (ISO-2022 escapes to 8-bit; as it stands when converting to
    // UTF-8) or "subject" (encoded words of a header value). Returns the number of bytes in `out`,
    // or -1 for any other name, and in "subject" mode when nothing was decoded; `out` is then left
    // untouched.
    long DecodeContent(std::string_view in, std::string_view encoding, std::string& out) const;

    // Decodes a part (its header, up to the first empty line, is skipped) or, with
    // "subject", a header value. Undecodable input comes back as it stands. The result ends
    // at the first zero byte. `charset` is handed to the converter, if one is installed.
    //
    // Encoded words: "_" in a Q word is a space; blanks between two encoded words are
    // dropped; adjacent words of one charset are joined as bytes before conversion, so a
    // character split between them comes out whole; an RFC 2231 language suffix on the
    // charset ("utf-8*en") is ignored. Converting to UTF-8, a word in an unknown charset
    // stays as written and other text is read as undeclared (charset.h).
    std::string DecodeText(std::string_view text, std::string_view encoding,
                           std::string_view charset = {}) const;

    // A text/plain or text/html part for display: decoded as DecodeText does, read in
    // `charset`, or for HTML without one in the charset its own <meta> declares.
    std::string DecodeBody(std::string_view part, std::string_view encoding,
                           std::string_view charset, bool html) const;

    bool convertsToUtf8() const { return utf8_; }

    // Base64 in lines of 76 characters, each full line followed by CR LF.
    static std::string EncodeBase64(std::string_view bytes);
    // Base64 on one line, without line end (protocol answers).
    static std::string EncodeBase64Line(std::string_view bytes);

    // Bytes outside the base64 alphabet are skipped. Returns the byte count in `out`.
    static long DecodeBase64(std::string_view text, std::string& out);

    // "=XX" gives a byte (lower-case digits read as upper-case), "=" CR (or a lone LF) ends a
    // soft line break; an "=" without two hex digits is kept as it is.
    static long DecodeQuotedPrintable(std::string_view text, std::string& out);

    // Text between ESC $ B and ESC ( B gets its top bits set and loses the escapes.
    // Returns the number of pairs converted.
    static long Convert7Bit(std::string_view text, std::string& out);

  private:
    // `text` after its header, transfer-decoded (as it stands when undecodable), up to a zero.
    std::string Decoded(std::string_view text, std::string_view encoding) const;
    long DecodeEncodedWords(std::string_view text, std::string& out) const;
    std::string Convert(std::string_view charset, std::string bytes) const;

    CharsetConverter converter_;
    bool utf8_ = false;
};

// The codec that converts to UTF-8, shared by callers that have no other.
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
