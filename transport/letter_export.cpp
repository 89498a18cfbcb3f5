#include "transport/letter_export.h"

#include <algorithm>

#include "content/letter_node.h"
#include "content/mail_archive.h"
#include "content/replaced_file.h"

namespace korvo {
namespace {

// The letter's raw text, read from the store when it is not in memory; `loaded` says so, so that
// the caller can let it go again.
std::string_view RawText(CSysMailBox& mail, baseDataStruct* letter, bool* loaded) {
    *loaded = false;
    if (!getdata(letter, "SDATA") || getdatasize(letter, "SDATA") == 0) {
        if (teststate(letter, STATE_HAS_SDATA) && !teststate(letter, STATE_SDATA_CHANGED)) {
            *loaded = mail.DataLoadPoint(letter, -1, kLoadSdata);
        }
    }
    return getdata(letter, "SDATA").value_or(std::string_view());
}

bool IsLetter(const baseDataStruct* node) {
    return getinfo(node, kThisNode, "type") == "letter";
}

ExportResult Failed(const ReplacedFile& file) {
    ExportResult result;
    result.error = file.error();
    return result;
}

}  // namespace

ExportResult ExportBox(CSysData& sys, baseDataStruct* box, const std::string& path,
                       const std::vector<baseDataStruct*>* only) {
    CSysMailBox& mail = sys.mailBox();
    baseDataStruct* letters = mail.SysReadLinkTree(box, kLoadProperty);
    ExportResult result;
    if (!letters) {
        result.error = "the box has no place in the mail store";
        return result;
    }
    ReplacedFile file;
    if (!file.Open(path)) return Failed(file);
    std::string chunk;
    for (baseDataStruct* letter = letters->firstSon(); letter; letter = letter->nextBrother()) {
        if (!IsLetter(letter)) continue;
        if (only && std::find(only->begin(), only->end(), letter) == only->end()) continue;
        bool loaded;
        const std::string_view raw = RawText(mail, letter, &loaded);
        AppendMboxLetter(chunk, raw, EnvelopeSender(raw),
                         ParseReceiveTime(getinfo(letter, kThisNode, "RECEIVETIME")),
                         teststate(letter, LETTER_READ), teststate(letter, LETTER_REPLIED),
                         !teststate(letter, STATE_VALID));
        if (loaded) freedata(letter, 8);
        ++result.written;
        if (!file.Write(chunk)) return Failed(file);
        chunk.clear();
    }
    if (!file.Commit()) return Failed(file);
    result.ok = true;
    return result;
}

ExportResult SaveLetterAs(CSysData& sys, baseDataStruct* letter, const std::string& path) {
    ReplacedFile file;
    if (!file.Open(path)) return Failed(file);
    bool loaded;
    const bool written = file.Write(RawText(sys.mailBox(), letter, &loaded));
    if (loaded) freedata(letter, 8);
    if (!written || !file.Commit()) return Failed(file);
    return {1, true, {}};
}

}  // namespace korvo
