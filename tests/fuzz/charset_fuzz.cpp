// Charset names and bytes come straight from senders: any name with any bytes, through the
// converter, the header decoder and the body reader, must finish and give valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "content/charset.h"
#include "content/mail_codec.h"
#include "content/mail_header.h"

using namespace korvo;

namespace {

void MustBeUtf8(const std::string& text) {
    if (!IsValidUtf8(text)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The first line is a charset name, the rest the bytes.
    const size_t nl = input.find('\n');
    const std::string name = nl == std::string::npos ? input : input.substr(0, nl);
    const std::string bytes = nl == std::string::npos ? std::string() : input.substr(nl + 1);

    if (const auto out = CharsetToUtf8(name, bytes)) MustBeUtf8(*out);
    MustBeUtf8(TextToUtf8(name, bytes));
    const std::string clean = SanitizeUtf8(bytes);
    MustBeUtf8(clean.substr(0, Utf8CutLength(clean, bytes.size() / 2)));

    const CMailCodec& codec = DefaultMailCodec();
    MustBeUtf8(codec.DecodeText(bytes, "subject"));  // undeclared text and words
    for (const char* encoding : {"base64", "quoted-printable", "7bit", "8bit"}) {
        MustBeUtf8(codec.DecodeBody(bytes, encoding, name, false));
        MustBeUtf8(codec.DecodeBody(bytes, encoding, {}, true));
    }
    // The bytes as one encoded word, and cut in two words, in the given charset.
    const std::string b64 = CMailCodec::EncodeBase64(bytes);
    std::string word;
    for (const char c : b64)
        if (c != '\r' && c != '\n') word += c;
    const std::string header = "Subject: =?" + name + "?B?" + word + "?= =?" + name + "?Q?" +
                               bytes.substr(0, bytes.find_first_of("\r\n?")) + "?=\r\n";
    MustBeUtf8(MailGetHeaderItem(header, "Subject"));
    return 0;
}
