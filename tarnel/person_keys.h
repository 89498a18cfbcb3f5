// The keys of a person node that the sheet's pages read and write, with the texts of their
// controls, in the order each page writes them.
#pragma once

#include <array>
#include <string_view>

namespace korvo::tarnel {

struct KeyField {
    std::string_view key;
    std::string_view label;
};

// The Details page's phone kinds, in the order of the "Phone" menu.
inline constexpr std::array<KeyField, 12> kPhoneKinds = {{
    {"PHONEASSISTANT", "Assistant"},
    {"PHONEBP", "BP"},
    {"PHONEBUSINESS", "Business"},
    {"PHONEBUSINESS2", "Business2"},
    {"PHONEBUSINESSFAX", "Business Fax"},
    {"PHONECARPHONE", "Car phone"},
    {"PHONECOMPANY", "Company"},
    {"PHONEHANDPHONE", "Handphone"},
    {"PHONEHOME", "Home"},
    {"PHONEHOME2", "Home2"},
    {"PHONEHOMEFAX", "Home Fax"},
    {"PHONETTY", "TTY/TDD"},
}};
// The kind the phone edit stands for before one is picked: "Home".
inline constexpr size_t kFirstPhoneKind = 8;

// The Dept/Company page, in the order it writes its keys.
inline constexpr std::array<KeyField, 12> kCompanyFields = {{
    {"PADDRESS", "Address"},
    {"PCITY", "City"},
    {"PCOMPANY", "Company"},
    {"PCOUNTRY", "Country/Region"},
    {"PCWEB", "Web site"},
    {"PDEPT", "Dept"},
    {"PFAX", "Fax"},
    {"PMANAGER", "Manager's name"},
    {"PPHONE1", "Phone"},
    {"PPHONE2", "Phone2"},
    {"PPROFESSION", "Profession"},
    {"PSTATE", "State"},
}};

// The Details page's plain edits, in the order it writes them.
inline constexpr std::array<KeyField, 4> kDetailFields = {{
    {"PHADDRESS", "Address"},
    {"PHWebsite", "Web address"},
    {"PHZipcode", "Zip code"},
    {"PHNickname", "Nick name"},
}};

inline constexpr std::array<std::string_view, 6> kTitles = {"Mr.", "Mrs.", "Miss",
                                                            "Ms.", "Dr.",  "Prof."};

inline constexpr std::string_view kSheetTitle = "Person property";
inline constexpr std::string_view kNewPersonTitle = "Add new person info";
inline constexpr std::string_view kNoFirstNameMessage = "Please input person's first name!";

}  // namespace korvo::tarnel
