// Header values, dates, addresses and encoded words come straight from senders: every reader
// must finish, stay inside its input and keep the codec's round trips.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "content/attachment_name.h"
#include "content/mail_codec.h"
#include "content/mail_header.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The first line is a field name or key, the rest the text.
    const size_t nl = input.find('\n');
    const std::string name = nl == std::string::npos ? input : input.substr(0, nl);
    const std::string text = nl == std::string::npos ? std::string() : input.substr(nl + 1);

    for (int occurrence = 0; occurrence < 3; ++occurrence)
        MailGetHeaderItem(text, name, occurrence);
    if (mailGetHeaderParam(text, name).size() > text.size()) abort();
    std::string date = text;
    StrGetDate(date);
    if (GetAddressName(text).size() > text.size() || GetAddressEmail(text).size() > text.size())
        abort();

    // Without conversion no decoding makes a text longer (converting to UTF-8 may).
    const CMailCodec bytes;
    const CMailCodec& codec = DefaultMailCodec();
    for (const char* encoding : {"subject", "base64", "quoted-printable", "7bit", "8bit"}) {
        const std::string decoded = bytes.DecodeText(text, encoding);
        if (decoded.size() > text.size() + 1) abort();
    }

    std::string out;
    if (CMailCodec::DecodeBase64(CMailCodec::EncodeBase64(input), out) !=
            static_cast<long>(input.size()) ||
        out != input)
        abort();
    if (CMailCodec::DecodeQuotedPrintable(input, out) > static_cast<long>(input.size())) abort();

    const std::string safe = SafeAttachmentFileName(codec.DecodeText(input, "subject"));
    if (safe.empty() || safe.size() > kMaxAttachmentNameBytes || safe[0] == '.' ||
        safe.find_first_of("/\\") != std::string::npos)
        abort();
    for (const char c : safe)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) abort();
    return 0;
}
