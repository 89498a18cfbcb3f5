// Contacts as vCards: cards of versions 2.1, 3.0 and 4.0 read into the keys of an address-book
// person (the person editor's keys: name, LASTNAME, email, the PH... and P... keys, the twelve
// phone keys, note), and a person written out as a vCard 4.0.
//
// Read: folded lines, escaped "\,", "\;", "\\" and "\n", 2.1-style ENCODING=QUOTED-PRINTABLE
// (with its soft line breaks) and CHARSET=, bare 2.1 type parameters ("TEL;WORK;FAX:"). Text
// comes out as UTF-8. Written: UTF-8, CRLF, lines folded at 75 octets, never inside a character.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvo {

// A person's keys in the order they were set: (key, value), no key twice.
class PersonKeys {
  public:
    void Set(std::string_view key, std::string value);
    // The value, or empty when the key is not set.
    const std::string& Get(std::string_view key) const;
    const std::vector<std::pair<std::string, std::string>>& items() const { return items_; }

  private:
    std::vector<std::pair<std::string, std::string>> items_;
};

// The phone keys of the person editor, in its menu order.
inline constexpr std::string_view kPhoneKeys[] = {
    "PHONEASSISTANT",   "PHONEBP",       "PHONEBUSINESS", "PHONEBUSINESS2",
    "PHONEBUSINESSFAX", "PHONECARPHONE", "PHONECOMPANY",  "PHONEHANDPHONE",
    "PHONEHOME",        "PHONEHOME2",    "PHONEHOMEFAX",  "PHONETTY"};

// Every card of `text`, in order. A card without a name, an e-mail address or a phone number
// is left out. Keys: type "PersonInfo", pType "100", name (given name, else FN), LASTNAME,
// email (the first or preferred EMAIL; the others, one a line, in ReturnEmail), PHTitle (the
// name prefix), PHNickname, PHBirthday (local midnight of BDAY in seconds), PHADDRESS and
// PHZipcode (home address), PADDRESS, PCITY, PSTATE, PCOUNTRY (work address), PHWebsite, PCWEB
// (a work URL), PCOMPANY and PDEPT (ORG), PPROFESSION (TITLE), note, and the phone keys by the
// TEL types.
std::vector<PersonKeys> ReadVCards(std::string_view text);

// A vCard 4.0 of `person` (keys as ReadVCards gives them).
std::string WriteVCard(const PersonKeys& person);

}  // namespace korvo
