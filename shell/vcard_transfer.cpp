#include "shell/vcard_transfer.h"

#include <fstream>
#include <sstream>

#include "content/replaced_file.h"
#include "content/vcard.h"
#include "model/sys_schema.h"
#include "shell/mail_transfer_command.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

// vCard files hold text only; anything this large is not one.
constexpr std::streamoff kMaxVCardFile = std::streamoff(64) << 20;

// The person keys the editor knows, in its order.
std::vector<std::string_view> PersonKeyNames() {
    std::vector<std::string_view> keys = {"name",        "LASTNAME",   "email",     "ReturnEmail",
                                          "PHTitle",     "PHNickname", "PHADDRESS", "PHZipcode",
                                          "PHWebsite",   "PHBirthday", "PDEPT",     "PCOMPANY",
                                          "PPROFESSION", "PADDRESS",   "PCITY",     "PSTATE",
                                          "PCOUNTRY",    "PCWEB",      "note"};
    keys.insert(keys.end(), std::begin(kPhoneKeys), std::end(kPhoneKeys));
    return keys;
}

}  // namespace

baseDataStruct* FindBookFolderByPath(CSysData& sys, std::string_view path, std::string* error) {
    std::vector<std::string> parts = SplitBoxPath(path);
    // "USER//FOLDER": the doubled "/" right after the user is the empty account part.
    const size_t own = path.find("//");
    if (parts.size() < 3 && own != std::string_view::npos) {
        parts = SplitBoxPath(path.substr(own + 2));
        parts.insert(parts.begin(), {std::string(path.substr(0, own)), std::string()});
    }
    if (parts.size() < 3) {
        *error = "a book folder is named USER/ACCOUNT/FOLDER or USER//FOLDER: " + std::string(path);
        return nullptr;
    }
    baseDataStruct* owner = FindUserOrAccount(sys, parts[0], parts[1], error);
    if (!owner) return nullptr;
    baseDataStruct* node = sys.DataGetSysPoint(owner, parts[1].empty() ? kKindUBook : kKindPBook);
    for (size_t i = 2; node && i < parts.size(); ++i) {
        node = ValidSonNamed(node, "BookFolder", parts[i]);
        if (!node) *error = "no address-book folder " + parts[i];
    }
    return node;
}

VCardResult ImportVCardFile(CSysData& sys, baseDataStruct* folder, const std::string& path) {
    VCardResult result;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        result.error = "cannot read " + path;
        return result;
    }
    if (in.tellg() > kMaxVCardFile) {
        result.error = path + " is too large for a vCard file";
        return result;
    }
    in.seekg(0);
    std::ostringstream text;
    text << in.rdbuf();
    baseDataStruct* persons = sys.mailBox().SysReadLinkTree(folder, kLoadProperty | kLoadSdata);
    if (!persons) {
        result.error = "the folder has no place in the mail store";
        return result;
    }
    for (const PersonKeys& person : ReadVCards(text.str())) {
        baseDataStruct* node = AddSonText(persons, "");
        for (const auto& [key, value] : person.items()) setinfo(node, kThisNode, key, value);
        if (sys.mailBox().DataNewPoint(node, -1) == -1) {
            deletepoint(node);
            result.error = "the mail store could not be written: " + sys.mailBox().failureText();
            return result;
        }
        ++result.persons;
    }
    if (!sys.mailBox().DataSync()) {
        result.error = "the mail store could not be written: " + sys.mailBox().failureText();
        return result;
    }
    result.ok = true;
    return result;
}

VCardResult ExportVCardFile(CSysData& sys, baseDataStruct* folder, const std::string& path) {
    VCardResult result;
    baseDataStruct* persons = sys.mailBox().SysReadLinkTree(folder, kLoadProperty | kLoadSdata);
    if (!persons) {
        result.error = "the folder has no place in the mail store";
        return result;
    }
    ReplacedFile file;
    bool written = file.Open(path);
    for (baseDataStruct* p = persons->firstSon(); written && p; p = p->nextBrother()) {
        if (getinfo(p, kThisNode, "type") != "PersonInfo" || !teststate(p, STATE_VALID)) continue;
        PersonKeys person;
        for (std::string_view key : PersonKeyNames()) {
            const std::string value = getinfo(p, kThisNode, key);
            if (value != kAbsent) person.Set(key, value);
        }
        written = file.Write(WriteVCard(person));
        ++result.persons;
    }
    if (!written || !file.Commit()) {
        result.error = file.error();
        result.persons = 0;
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace korvo
