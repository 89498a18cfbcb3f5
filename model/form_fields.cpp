#include "model/form_fields.h"

namespace korvo {

std::string TrimField(std::string_view text) {
    constexpr std::string_view kBlank = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(kBlank);
    return std::string(text.substr(first, last - first + 1));
}

bool ReadNumberField(std::string_view text, long low, long high, long* value) {
    // Ten digits exceed every range used here; more would overflow.
    if (text.empty() || text.size() > 10) return false;
    long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high) return false;
    *value = n;
    return true;
}

std::string ValueOrAbsent(const std::string& text) {
    return text.empty() ? std::string(kAbsent) : text;
}

std::string FieldFromKey(const baseDataStruct* node, std::string_view key) {
    std::string value = getinfo(node, kThisNode, key);
    return value == kAbsent ? std::string() : value;
}

void WriteLockKeys(baseDataStruct* node, const std::string& password) {
    setinfo(node, kThisNode, "lockPassword", ValueOrAbsent(password));
    setinfo(node, kThisNode, "LockState", password.empty() ? kAbsent : "unLock");
}

}  // namespace korvo
