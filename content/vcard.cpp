#include "content/vcard.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "content/charset.h"
#include "content/mail_codec.h"
#include "content/mail_header.h"

namespace korvo {
namespace {

struct Property {
    std::string name;                // upper case, without group
    std::vector<std::string> types;  // lower case, 2.1 bare parameters included
    bool preferred = false;
    std::string value;  // decoded to UTF-8, still escaped
};

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    return out;
}

std::string Unquoted(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return std::string(text);
}

// The logical lines of `text`: folded lines joined, and the soft line breaks of a
// quoted-printable value.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> physical;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        physical.emplace_back(line);
        pos = nl + 1;
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < physical.size(); ++i) {
        const std::string& line = physical[i];
        if (!lines.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            lines.back().append(line, 1);
            continue;
        }
        lines.push_back(line);
        // A quoted-printable value goes on past a line ending in "=".
        const std::string head = Upper(lines.back().substr(0, lines.back().find(':')));
        if (head.find("QUOTED-PRINTABLE") == std::string::npos) continue;
        while (!lines.back().empty() && lines.back().back() == '=' && i + 1 < physical.size()) {
            lines.back().pop_back();
            lines.back() += physical[++i];
        }
    }
    return lines;
}

bool ParseProperty(const std::string& line, Property* property) {
    bool quoted = false;
    size_t colon = std::string::npos;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon == std::string::npos) return false;
    std::vector<std::string> head;
    size_t start = 0;
    for (size_t i = 0; i <= colon; ++i) {
        if (i == colon || line[i] == ';') {
            head.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string name = Upper(head[0]);
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(0, dot + 1);
    property->name = name;
    std::string encoding, charset;
    for (size_t i = 1; i < head.size(); ++i) {
        const size_t eq = head[i].find('=');
        const std::string key = eq == std::string::npos ? "TYPE" : Upper(head[i].substr(0, eq));
        const std::string value =
            Unquoted(eq == std::string::npos ? head[i] : head[i].substr(eq + 1));
        const std::string upper = Upper(value);
        if (key == "ENCODING" || upper == "QUOTED-PRINTABLE" || upper == "BASE64") {
            encoding = upper;
        } else if (key == "CHARSET") {
            charset = value;
        } else if (key == "PREF") {
            property->preferred = true;
        } else if (key == "TYPE") {
            size_t from = 0;
            for (size_t j = 0; j <= value.size(); ++j) {
                if (j == value.size() || value[j] == ',') {
                    std::string type = AsciiLowerCopy(value.substr(from, j - from));
                    if (type == "pref") property->preferred = true;
                    if (!type.empty()) property->types.push_back(std::move(type));
                    from = j + 1;
                }
            }
        }
    }
    if (encoding == "BASE64" || encoding == "B") return false;  // pictures and keys
    std::string value = line.substr(colon + 1);
    if (encoding == "QUOTED-PRINTABLE") {
        std::string decoded;
        CMailCodec::DecodeQuotedPrintable(value, decoded);
        value = std::move(decoded);
    }
    property->value = TextToUtf8(charset, value);
    return true;
}

// The escaped value split at unescaped ";" (structured values), each part unescaped.
std::vector<std::string> Components(std::string_view value, bool structured) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            if (next == 'n' || next == 'N') {
                parts.back() += '\n';
            } else if (next == ',' || next == ';' || next == '\\' || next == ':') {
                parts.back() += next;
            } else {
                parts.back() += c;
                parts.back() += next;
            }
        } else if (c == ';' && structured) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string Part(const std::vector<std::string>& parts, size_t i) {
    return i < parts.size() ? std::string(TrimWhite(parts[i])) : std::string();
}

std::string Joined(std::initializer_list<std::string> parts, std::string_view separator) {
    std::string out;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!out.empty()) out += separator;
        out += part;
    }
    return out;
}

bool Has(const Property& p, std::string_view type) {
    return std::find(p.types.begin(), p.types.end(), type) != p.types.end();
}

// The phone keys a TEL of these types goes to, first choice first.
std::vector<std::string_view> PhoneKeysFor(const Property& p) {
    const bool work = Has(p, "work");
    if (Has(p, "fax")) {
        return Has(p, "home") && !work ? std::vector<std::string_view>{"PHONEHOMEFAX"}
                                       : std::vector<std::string_view>{"PHONEBUSINESSFAX"};
    }
    if (Has(p, "cell") || Has(p, "mobile") || Has(p, "iphone")) return {"PHONEHANDPHONE"};
    if (Has(p, "pager")) return {"PHONEBP"};
    if (Has(p, "car")) return {"PHONECARPHONE"};
    if (Has(p, "textphone") || Has(p, "tty") || Has(p, "tdd")) return {"PHONETTY"};
    if (Has(p, "x-assistant") || Has(p, "assistant")) return {"PHONEASSISTANT"};
    if (Has(p, "x-company") || Has(p, "company") || Has(p, "main")) return {"PHONECOMPANY"};
    if (work) return {"PHONEBUSINESS", "PHONEBUSINESS2"};
    return {"PHONEHOME", "PHONEHOME2"};
}

// "1980-04-12", "19800412", "1980-04-12T10:00:00Z": local midnight of the day; -1 without a
// full date.
long BirthdaySeconds(std::string_view value) {
    std::string digits;
    for (char c : value) {
        if (c == 'T' || c == 't') break;
        if (c >= '0' && c <= '9') digits += c;
    }
    if (digits.size() != 8 || value.substr(0, 2) == "--") return -1;
    tm day{};
    day.tm_year = std::stoi(digits.substr(0, 4)) - 1900;
    day.tm_mon = std::stoi(digits.substr(4, 2)) - 1;
    day.tm_mday = std::stoi(digits.substr(6, 2));
    day.tm_isdst = -1;
    if (day.tm_mon < 0 || day.tm_mon > 11 || day.tm_mday < 1 || day.tm_mday > 31) return -1;
    return long(mktime(&day));
}

PersonKeys CardPerson(const std::vector<Property>& properties) {
    PersonKeys person;
    person.Set("type", "PersonInfo");
    person.Set("pType", "100");
    std::string fullName;
    std::vector<std::string> emails;
    for (const Property& p : properties) {
        const bool structured = p.name == "N" || p.name == "ADR" || p.name == "ORG";
        const std::vector<std::string> parts = Components(p.value, structured);
        const std::string text = Part(parts, 0);
        if (p.name == "FN") {
            fullName = text;
        } else if (p.name == "N") {
            person.Set("LASTNAME", Part(parts, 0));
            person.Set("name", Joined({Part(parts, 1), Part(parts, 2)}, " "));
            if (!Part(parts, 3).empty()) person.Set("PHTitle", Part(parts, 3));
        } else if (p.name == "NICKNAME") {
            person.Set("PHNickname", text);
        } else if (p.name == "EMAIL" && !text.empty()) {
            if (p.preferred) {
                emails.insert(emails.begin(), text);
            } else {
                emails.push_back(text);
            }
        } else if (p.name == "TEL" && !text.empty()) {
            // 4.0 writers may give the number as a "tel:" URI.
            const std::string number =
                AsciiLowerCopy(text.substr(0, 4)) == "tel:" ? text.substr(4) : text;
            for (std::string_view key : PhoneKeysFor(p)) {
                if (!person.Get(key).empty()) continue;
                person.Set(key, number);
                break;
            }
        } else if (p.name == "BDAY") {
            if (const long seconds = BirthdaySeconds(text); seconds != -1)
                person.Set("PHBirthday", std::to_string(seconds));
        } else if (p.name == "ADR") {
            if (Has(p, "work")) {
                person.Set("PADDRESS", Joined({Part(parts, 1), Part(parts, 2)}, ", "));
                person.Set("PCITY", Part(parts, 3));
                person.Set("PSTATE", Part(parts, 4));
                person.Set("PCOUNTRY", Part(parts, 6));
            } else {
                person.Set("PHADDRESS", Joined({Part(parts, 1), Part(parts, 2), Part(parts, 3),
                                                Part(parts, 4), Part(parts, 6)},
                                               ", "));
                person.Set("PHZipcode", Part(parts, 5));
            }
        } else if (p.name == "URL") {
            person.Set(Has(p, "work") ? "PCWEB" : "PHWebsite", text);
        } else if (p.name == "ORG") {
            person.Set("PCOMPANY", Part(parts, 0));
            person.Set("PDEPT", Joined({Part(parts, 1), Part(parts, 2)}, ", "));
        } else if (p.name == "TITLE") {
            person.Set("PPROFESSION", text);
        } else if (p.name == "NOTE") {
            person.Set("note", parts[0]);
        }
    }
    if (person.Get("name").empty() && !fullName.empty()) {
        // Without a given name the whole name is the first name; a family name from N stays.
        std::string name = fullName;
        const std::string& last = person.Get("LASTNAME");
        if (!last.empty() && name.size() > last.size() &&
            name.compare(name.size() - last.size(), last.size(), last) == 0) {
            name = std::string(TrimWhite(name.substr(0, name.size() - last.size())));
        }
        person.Set("name", name);
    }
    if (!emails.empty()) {
        person.Set("email", emails[0]);
        std::string others;
        for (size_t i = 1; i < emails.size(); ++i) others += (i > 1 ? "\r\n" : "") + emails[i];
        if (!others.empty()) person.Set("ReturnEmail", others);
    }
    return person;
}

bool Usable(const PersonKeys& person) {
    if (!person.Get("name").empty() || !person.Get("LASTNAME").empty() ||
        !person.Get("email").empty()) {
        return true;
    }
    for (std::string_view key : kPhoneKeys) {
        if (!person.Get(key).empty()) return true;
    }
    return false;
}

std::string Escaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += "\\n";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

// Appends `line` folded at 75 octets, continuation lines starting with a blank.
void AppendFolded(std::string& out, std::string_view line) {
    size_t room = 75;
    while (line.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        room = 74;
    }
    out.append(line);
    out += "\r\n";
}

}  // namespace

void PersonKeys::Set(std::string_view key, std::string value) {
    for (auto& item : items_) {
        if (item.first == key) {
            item.second = std::move(value);
            return;
        }
    }
    items_.emplace_back(std::string(key), std::move(value));
}

const std::string& PersonKeys::Get(std::string_view key) const {
    static const std::string kNone;
    for (const auto& item : items_) {
        if (item.first == key) return item.second;
    }
    return kNone;
}

std::vector<PersonKeys> ReadVCards(std::string_view text) {
    std::vector<PersonKeys> people;
    std::vector<Property> card;
    bool inCard = false;
    for (const std::string& line : LogicalLines(text)) {
        Property property;
        if (!ParseProperty(line, &property)) continue;
        const std::string value = Upper(TrimWhite(property.value));
        if (property.name == "BEGIN" && value == "VCARD") {
            inCard = true;
            card.clear();
        } else if (property.name == "END" && value == "VCARD") {
            if (inCard) {
                PersonKeys person = CardPerson(card);
                if (Usable(person)) people.push_back(std::move(person));
            }
            inCard = false;
        } else if (inCard) {
            card.push_back(std::move(property));
        }
    }
    return people;
}

std::string WriteVCard(const PersonKeys& person) {
    auto get = [&](std::string_view key) { return Escaped(person.Get(key)); };
    std::string out;
    auto line = [&](std::string_view name, const std::string& value) {
        if (!value.empty()) AppendFolded(out, std::string(name) + ":" + value);
    };
    out += "BEGIN:VCARD\r\nVERSION:4.0\r\n";
    std::string fn = Joined({person.Get("name"), person.Get("LASTNAME")}, " ");
    if (fn.empty()) fn = person.Get("email");
    AppendFolded(out, "FN:" + Escaped(fn));
    if (!person.Get("name").empty() || !person.Get("LASTNAME").empty() ||
        !person.Get("PHTitle").empty()) {
        AppendFolded(out, "N:" + get("LASTNAME") + ";" + get("name") + ";;" + get("PHTitle") + ";");
    }
    line("NICKNAME", get("PHNickname"));
    const std::string& birthday = person.Get("PHBirthday");
    if (!birthday.empty() && birthday != "-1") {
        const time_t when = time_t(std::atol(birthday.c_str()));
        tm day{};
        localtime_r(&when, &day);
        char text[40];
        std::snprintf(text, sizeof text, "%04d%02d%02d", day.tm_year + 1900, day.tm_mon + 1,
                      day.tm_mday);
        line("BDAY", text);
    }
    line("EMAIL;PREF=1", get("email"));
    const std::string& others = person.Get("ReturnEmail");
    for (size_t pos = 0; pos < others.size();) {
        size_t end = others.find('\n', pos);
        if (end == std::string::npos) end = others.size();
        line("EMAIL", Escaped(TrimWhite(std::string_view(others).substr(pos, end - pos))));
        pos = end + 1;
    }
    static constexpr std::pair<std::string_view, std::string_view> kPhoneTypes[] = {
        {"PHONEASSISTANT", "x-assistant"}, {"PHONEBP", "pager"},
        {"PHONEBUSINESS", "work,voice"},   {"PHONEBUSINESS2", "work,voice"},
        {"PHONEBUSINESSFAX", "work,fax"},  {"PHONECARPHONE", "car"},
        {"PHONECOMPANY", "x-company"},     {"PHONEHANDPHONE", "cell"},
        {"PHONEHOME", "home,voice"},       {"PHONEHOME2", "home,voice"},
        {"PHONEHOMEFAX", "home,fax"},      {"PHONETTY", "textphone"}};
    for (const auto& [key, types] : kPhoneTypes) {
        line("TEL;VALUE=text;TYPE=\"" + std::string(types) + "\"", get(key));
    }
    if (!person.Get("PHADDRESS").empty() || !person.Get("PHZipcode").empty()) {
        line("ADR;TYPE=home", ";;" + get("PHADDRESS") + ";;;" + get("PHZipcode") + ";");
    }
    if (!person.Get("PADDRESS").empty() || !person.Get("PCITY").empty() ||
        !person.Get("PSTATE").empty() || !person.Get("PCOUNTRY").empty()) {
        line("ADR;TYPE=work", ";;" + get("PADDRESS") + ";" + get("PCITY") + ";" + get("PSTATE") +
                                  ";;" + get("PCOUNTRY"));
    }
    line("URL", get("PHWebsite"));
    line("URL;TYPE=work", get("PCWEB"));
    if (!person.Get("PCOMPANY").empty() || !person.Get("PDEPT").empty()) {
        line("ORG", get("PCOMPANY") + ";" + get("PDEPT"));
    }
    line("TITLE", get("PPROFESSION"));
    line("NOTE", get("note"));
    out += "END:VCARD\r\n";
    return out;
}

}  // namespace korvo
