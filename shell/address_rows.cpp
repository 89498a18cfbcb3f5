#include "shell/address_rows.h"

#include "content/mail_header.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

std::string Value(const baseDataStruct* node, std::string_view key) {
    std::string value = getinfo(node, kThisNode, key);
    return value == kAbsent ? std::string() : value;
}

std::string Cleaned(std::string text) {
    for (char& c : text)
        if (c == '"') c = ' ';
    return std::string(TrimWhite(text));
}

std::string TypeOf(const baseDataStruct* node) {
    return getinfo(node, kThisNode, "type");
}

// Splits at "," outside double quotes and angle brackets.
std::vector<std::string> SplitReceivers(std::string_view text) {
    std::vector<std::string> items(1);
    bool quoted = false;
    int angle = 0;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '<') ++angle;
        if (!quoted && c == '>' && angle > 0) --angle;
        if (c == ',' && !quoted && angle == 0) {
            items.emplace_back();
            continue;
        }
        items.back().push_back(c);
    }
    return items;
}

}  // namespace

std::string ShownName(const baseDataStruct* person) {
    return Cleaned(Value(person, "name"));
}

std::string BookPersonRow(const baseDataStruct* person) {
    return "S ," + encodeinfo(Value(person, "email")) + " ," + encodeinfo(ShownName(person));
}

std::string SidePersonRow(const baseDataStruct* person) {
    return " ," + encodeinfo("\"" + ShownName(person) + "\"<" + Value(person, "email") + ">");
}

std::string PickPersonRow(const baseDataStruct* person) {
    return encodeinfo(Value(person, "email")) + " ," + encodeinfo(ShownName(person));
}

std::string PersonAddress(const baseDataStruct* person) {
    std::string address = Value(person, "ReturnEmail");
    return address.empty() ? Value(person, "email") : address;
}

bool IsPerson(const baseDataStruct* node) {
    return TypeOf(node) == "PersonInfo";
}

bool IsFolderOrTeam(const baseDataStruct* node) {
    const std::string type = TypeOf(node);
    return type == "BookFolder" || type == "BookTeam";
}

bool HoldsPersons(const baseDataStruct* node) {
    const std::string type = TypeOf(node);
    return IsFolderOrTeam(node) || type == "PBook" || type == "UBook";
}

baseDataStruct* PersonsOf(CSysMailBox& mail, baseDataStruct* folder) {
    if (!folder) return nullptr;
    return mail.SysReadLinkTree(folder, kLoadProperty);
}

int ListPersons(CBaseListControl& list, baseDataStruct* holder,
                std::string (*rowText)(const baseDataStruct*)) {
    int rows = 0;
    list.view().SetRedraw(false);
    for (baseDataStruct* p = holder ? holder->lastSon() : nullptr; p; p = p->prevBrother()) {
        if (!IsPerson(p)) continue;
        list.InsertRow(rowText(p), p->nodeId());
        ++rows;
    }
    list.view().SetRedraw(true);
    return rows;
}

baseDataStruct* PersonOfRow(CBaseListControl& list, baseDataStruct* holder, int row) {
    if (!holder || row < 0 || row >= list.view().RowCount()) return nullptr;
    const uint32_t id = list.view().ItemData(row) & kNodeIdMask;
    for (baseDataStruct* p = holder->firstSon(); p; p = p->nextBrother())
        if (p->nodeId() == id) return p;
    return nullptr;
}

void ParseReceivers(std::string_view text, baseDataStruct* list) {
    if (!list) return;
    std::string joined(text);
    for (size_t at; (at = joined.find("\r\n")) != std::string::npos;) joined.replace(at, 2, ",");
    for (const std::string& raw : SplitReceivers(joined)) {
        const std::string item(TrimWhite(raw));
        if (item.empty()) continue;
        const size_t open = item.find('<');
        const size_t close = item.find('>');
        const bool bracketed = open != std::string::npos && close != std::string::npos;
        std::string email = item, name = item;
        if (bracketed) {
            email = close > open ? item.substr(open + 1, close - open - 1) : std::string();
            name = item.substr(0, open);
        } else if (const size_t at = item.find('@'); at != std::string::npos && at > 0) {
            name = item.substr(0, at);
        }
        baseDataStruct* person = addson(list, "%s", "type =PersonInfo");
        setinfo(person, kThisNode, "name", Cleaned(name));
        setinfo(person, kThisNode, "email", std::string(TrimWhite(email)));
    }
}

std::string ReceiverText(const baseDataStruct* list) {
    std::string text;
    for (const baseDataStruct* p = list ? list->firstSon() : nullptr; p; p = p->nextBrother()) {
        std::string name = Value(p, "name");
        if (name.find_first_of(",;<>\"") != std::string::npos) {
            for (char& c : name)
                if (c == '"') c = ' ';
            name = "\"" + name + "\"";
        }
        text += name + "<" + Value(p, "email") + ">,";
    }
    std::string trimmed(TrimWhite(text));
    if (!trimmed.empty() && trimmed.back() == ',') trimmed.pop_back();
    return trimmed;
}

}  // namespace korvo
