// Writing non-ASCII text into the header of an outgoing letter: RFC 2047 encoded words of
// UTF-8 for unstructured values and display names, RFC 2231 for file name parameters.
//
// Text that is ASCII throughout is never touched, so letters without such text go out byte for
// byte as before. Encoded words are base64, at most kMaxEncodedWord characters, never split a
// character, and header lines are folded (CR LF and a space) before they pass kMaxHeaderLine.
#pragma once

#include <string>
#include <string_view>

namespace korvo {

inline constexpr size_t kMaxEncodedWord = 75;
inline constexpr size_t kMaxHeaderLine = 78;

bool IsAscii(std::string_view text);

// An unstructured value (Subject) to write behind `prefix` ("Subject: "), folded.
std::string EncodeUnstructured(std::string_view prefix, std::string_view value);

// An address list ("Name <a@b>, c@d") to write behind `prefix`: each display name that is not
// ASCII becomes encoded words; addresses, separators and ASCII names stay as written.
std::string EncodeAddressList(std::string_view prefix, std::string_view value);

// The parameter lines of a non-ASCII file name, each starting with ";" CR LF and a space:
// `key`*=UTF-8''%XX... (split into `key`*0*=, `key`*1*=, ... when long).
std::string EncodeExtendedParam(std::string_view key, std::string_view value);

// `key`="encoded words" for readers that know no RFC 2231, as one folded parameter line that
// starts with ";" CR LF and a space.
std::string EncodeWordParam(std::string_view key, std::string_view value);

}  // namespace korvo
