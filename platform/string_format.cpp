#include "platform/string_format.h"

#include <cstdio>

namespace korvo {

std::string StrVPrintf(const char* format, va_list args) {
    if (!format) return {};
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    // vsnprintf writes the terminator too; std::string keeps room for it at out[needed].
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

std::string StrPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = StrVPrintf(format, args);
    va_end(args);
    return out;
}

}  // namespace korvo
