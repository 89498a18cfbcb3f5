// printf-style formatting into std::string, checked by the compiler.
#pragma once

#include <cstdarg>
#include <string>

namespace korvo {

// Formats like snprintf, but the result is never truncated.
std::string StrPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The va_list form; `args` is consumed.
std::string StrVPrintf(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace korvo
