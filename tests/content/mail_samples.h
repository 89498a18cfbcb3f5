// Letters of the shapes real mail has, written line by line.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/node.h"

namespace korvo::test {

// Joins the lines with CR LF, each line ended by one.
inline std::string Mail(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (std::string_view line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

struct Son {
    std::string type;
    std::string style;
    std::string fileName;
    std::string transferEncoding;
    std::string data;
};

inline std::vector<Son> Sons(const baseDataStruct* node) {
    std::vector<Son> sons;
    for (const baseDataStruct* s = node->firstSon(); s; s = s->nextBrother()) {
        sons.push_back({getinfo(s, kThisNode, "type"), getinfo(s, kThisNode, "style"),
                        getinfo(s, kThisNode, "fileName"),
                        getinfo(s, kThisNode, "transferEncoding"),
                        std::string(getdata(s, "SDATA").value_or(""))});
    }
    return sons;
}

inline std::vector<std::string> SonKinds(const baseDataStruct* node) {
    std::vector<std::string> kinds;
    for (const Son& s : Sons(node))
        kinds.push_back(s.style == "-1" ? s.type : s.type + "/" + s.style);
    return kinds;
}

}  // namespace korvo::test
