#include "content/vcard.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>

namespace korvo {
namespace {

using Keys = std::map<std::string, std::string>;

// The keys with a value.
Keys Filled(const PersonKeys& person) {
    Keys keys;
    for (const auto& [key, value] : person.items()) {
        if (!value.empty()) keys[key] = value;
    }
    return keys;
}

std::string LocalMidnight(int year, int month, int day) {
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    return std::to_string(long(mktime(&t)));
}

TEST(VCard, CardsOfCommonExportersGiveThePersonKeys) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<Keys> people;
    } cases[] = {
        {"3.0 of a phone's contacts app",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;Dr.;\r\nFN:Dr. Ann Lee\r\n"
         "ORG:Example Corp;Research\r\nTITLE:Engineer\r\n"
         "EMAIL;type=INTERNET;type=WORK:ann@work.example\r\n"
         "EMAIL;type=INTERNET;type=HOME;type=pref:ann@home.example\r\n"
         "EMAIL;type=INTERNET:ann@old.example\r\n"
         "TEL;type=CELL;type=VOICE;type=pref:+1 555 0100\r\nTEL;type=WORK;type=VOICE:+1 555 "
         "0101\r\nTEL;type=WORK:+1 555 0103\r\nTEL;type=HOME;type=FAX:+1 555 0102\r\n"
         "item1.ADR;type=HOME;type=pref:;;12 Main St;Springfield;IL;62701;USA\r\n"
         "item2.URL;type=pref:http://ann.example\r\nBDAY;value=date:1980-04-12\r\n"
         "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQ\r\n"
         "NOTE:Line one\\nLine two\\, with comma\\; and \\\\ backslash\r\nEND:VCARD\r\n",
         {{{"type", "PersonInfo"},
           {"pType", "100"},
           {"name", "Ann"},
           {"LASTNAME", "Lee"},
           {"PHTitle", "Dr."},
           {"PCOMPANY", "Example Corp"},
           {"PDEPT", "Research"},
           {"PPROFESSION", "Engineer"},
           {"email", "ann@home.example"},
           {"ReturnEmail", "ann@work.example\r\nann@old.example"},
           {"PHONEHANDPHONE", "+1 555 0100"},
           {"PHONEBUSINESS", "+1 555 0101"},
           {"PHONEBUSINESS2", "+1 555 0103"},
           {"PHONEHOMEFAX", "+1 555 0102"},
           {"PHADDRESS", "12 Main St, Springfield, IL, USA"},
           {"PHZipcode", "62701"},
           {"PHWebsite", "http://ann.example"},
           {"PHBirthday", LocalMidnight(1980, 4, 12)},
           {"note", "Line one\nLine two, with comma; and \\ backslash"}}}},
        {"2.1 of a desktop mail program, Latin-1 and quoted-printable",
         "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=ISO-8859-1:M\xfcller;J\xfcrgen\n"
         "FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:J=C3=BCrgen M=C3=BCller\n"
         "NOTE;ENCODING=QUOTED-PRINTABLE:first line=0D=0A=\nsecond line\n"
         "TEL;WORK;FAX:+49 30 1234\nTEL;HOME:+49 30 5678\nTEL;HOME;VOICE:+49 30 9999\n"
         "EMAIL;PREF;INTERNET:j@example.de\nADR;WORK:;;Hauptstr. 1;Berlin;;10115;Germany\n"
         "END:VCARD\n",
         {{{"type", "PersonInfo"},
           {"pType", "100"},
           {"name", "J\xc3\xbcrgen"},
           {"LASTNAME", "M\xc3\xbcller"},
           {"note", "first line\r\nsecond line"},
           {"PHONEBUSINESSFAX", "+49 30 1234"},
           {"PHONEHOME", "+49 30 5678"},
           {"PHONEHOME2", "+49 30 9999"},
           {"email", "j@example.de"},
           {"PADDRESS", "Hauptstr. 1"},
           {"PCITY", "Berlin"},
           {"PCOUNTRY", "Germany"}}}},
        {"4.0 with folded lines, a tel: URI and cards to leave out",
         "junk before\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bo Chen\r\n"
         "EMAIL;PREF=1:bo@example.org\r\nTEL;VALUE=uri;TYPE=\"work,voice\":tel:+1-555-0199\r\n"
         "NOTE:A note long enough to be folded over more than one li\r\n ne of text.\r\n"
         "URL;TYPE=work:https://work.example\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:4.0\r\nPHOTO:data:image/png;base64,iVBOR\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Nameless\r\nTEL;TYPE=PAGER:77\r\n",
         {{{"type", "PersonInfo"},
           {"pType", "100"},
           {"name", "Bo Chen"},
           {"email", "bo@example.org"},
           {"PHONEBUSINESS", "+1-555-0199"},
           {"note", "A note long enough to be folded over more than one line of text."},
           {"PCWEB", "https://work.example"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<PersonKeys> people = ReadVCards(c.text);
        ASSERT_EQ(people.size(), c.people.size());
        for (size_t i = 0; i < people.size(); ++i) EXPECT_EQ(Filled(people[i]), c.people[i]);
    }
}

TEST(VCard, AWrittenCardReadsBackWhole) {
    PersonKeys person;
    const Keys keys = {
        {"type", "PersonInfo"},
        {"pType", "100"},
        {"name", "Zo\xc3\xab"},
        {"LASTNAME", "O'Neil; Sr, \\ Jr"},
        {"PHTitle", "Prof."},
        {"PHNickname", "Zed"},
        {"email", "zoe@example.org"},
        {"ReturnEmail", "z1@example.org\r\nz2@example.org"},
        {"PHBirthday", LocalMidnight(1977, 1, 2)},
        {"PHADDRESS", "1 Long Road, Town"},
        {"PHZipcode", "12345"},
        {"PADDRESS", "Office 2"},
        {"PCITY", "City"},
        {"PSTATE", "State"},
        {"PCOUNTRY", "Land"},
        {"PHWebsite", "https://zoe.example"},
        {"PCWEB", "https://corp.example"},
        {"PCOMPANY", "Corp"},
        {"PDEPT", "Dept"},
        {"PPROFESSION", "Maker"},
    };
    Keys want = keys;
    // Long enough to fold several times, with two-byte characters across the fold points.
    want["note"] = "First line\nthen ";
    for (int i = 0; i < 80; ++i) want["note"] += "\xc3\xa9";
    for (const auto& [key, value] : want) person.Set(key, value);
    for (std::string_view key : kPhoneKeys) {
        person.Set(key, "+" + std::string(key));
        want[std::string(key)] = "+" + std::string(key);
    }
    const std::string card = WriteVCard(person);
    size_t pos = 0;
    while (pos < card.size()) {
        const size_t end = card.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - pos, 75u);
        if (end + 3 < card.size() && card[end + 2] == ' ') {
            EXPECT_NE(static_cast<unsigned char>(card[end + 3]) & 0xC0, 0x80) << "split character";
        }
        pos = end + 2;
    }
    EXPECT_EQ(card.rfind("BEGIN:VCARD\r\nVERSION:4.0\r\n", 0), 0u);
    const std::vector<PersonKeys> back = ReadVCards(card);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(Filled(back[0]), want);
}

}  // namespace
}  // namespace korvo
