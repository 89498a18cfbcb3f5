#include "filters/letter_facts.h"

#include "content/mail_codec.h"
#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "content/text_search.h"
#include "store/node_tree.h"
#include "transport/smtp_envelope.h"

namespace korvo {
namespace {

std::string_view HeaderOf(std::string_view raw) {
    const size_t end = raw.find("\r\n\r\n");
    if (end != std::string_view::npos) return raw.substr(0, end + 2);
    const size_t bare = raw.find("\n\n");
    return bare == std::string_view::npos ? raw : raw.substr(0, bare + 1);
}

}  // namespace

LetterFacts::LetterFacts(std::string_view raw, long bytes) : raw_(raw) {
    const std::string_view header = HeaderOf(raw);
    subject_ = FoldCase(MailGetHeaderItem(header, "Subject"));
    from_ = ReadAddresses(header, "From");
    cc_ = ReadAddresses(header, "Cc");
    to_ = ReadAddresses(header, "To");
    if (bytes < 0) bytes = static_cast<long>(raw.size());
    sizeKb_ = (bytes + 1023) / 1024;
}

LetterFacts::Addresses LetterFacts::ReadAddresses(std::string_view header, std::string_view field) {
    Addresses out;
    // Split before decoding, so that a comma inside an encoded name splits nothing.
    for (const std::string& entry : SplitAddressList(RawHeaderField(header, field))) {
        std::string name = GetAddressName(entry);
        out.names.push_back(FoldCase(DefaultMailCodec().DecodeText(name, "subject")));
        out.mails.push_back(FoldCase(EntryAddress(entry)));
    }
    return out;
}

void LetterFacts::ReadBody() const {
    if (bodyRead_) return;
    bodyRead_ = true;
    const std::unique_ptr<baseDataStruct> scratch = CreateRootNode();
    mailProcess(raw_, scratch.get(), true);
    for (baseDataStruct* part = scratch->firstSon(); part; part = part->nextBrother()) {
        const std::string type = getinfo(part, kThisNode, "type");
        if (type == "text" && getinfo(part, kThisNode, "style") != "error") {
            if (!text_.empty()) text_ += "\r\n";
            text_ += FoldCase(getdata(part, "SDATA").value_or(""));
        } else if (type == "attachment") {
            attachments_.push_back(FoldCase(getinfo(part, kThisNode, "fileName")));
        }
    }
}

const std::string& LetterFacts::text() const {
    ReadBody();
    return text_;
}

const std::vector<std::string>& LetterFacts::attachmentNames() const {
    ReadBody();
    return attachments_;
}

bool LetterFacts::hasAttachment() const {
    return !attachmentNames().empty() || mailTestAttachment(raw_) == 1;
}

}  // namespace korvo
