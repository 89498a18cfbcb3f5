// The person editor library's interface, shared by the library and the program that calls it.
//
// DlgModel shows the modal sheet "Person property" over a copy of `person` (the caller's node
// is only read). On OK it returns 1 and sets *propertyText and *sdataText to new wide texts: the
// copy's property text and SDATA. Any other result leaves them untouched: 2 for Cancel, -1 for
// a mode other than 1 (or when no sheet can be shown). The caller sets both to null before the
// call and hands whatever they hold afterwards to TarnelFreeText, which is the only right way
// to free them: the texts come from the library's allocator. Nothing thrown inside the library
// ever leaves these functions.
//
// A text is length-prefixed: TarnelTextLength reads its length in characters; the characters
// are followed by a terminating zero.
#pragma once

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace korvo {
class baseDataStruct;
}

#define TARNEL_EXPORT __attribute__((visibility("default")))

extern "C" {

TARNEL_EXPORT int32_t DlgModel(int32_t mode, int32_t existing, korvo::baseDataStruct* person,
                               wchar_t** propertyText, wchar_t** sdataText);
// Frees a text DlgModel handed out; null is allowed.
TARNEL_EXPORT void TarnelFreeText(wchar_t* text);

using DlgModelFunction = int32_t (*)(int32_t, int32_t, korvo::baseDataStruct*, wchar_t**,
                                     wchar_t**);
using TarnelFreeFunction = void (*)(wchar_t*);
}

// The length prefix sits just before the characters.
inline uint32_t TarnelTextLength(const wchar_t* text) {
    if (!text) return 0;
    uint32_t length;
    std::memcpy(&length, reinterpret_cast<const char*>(text) - sizeof(uint32_t), sizeof length);
    return length;
}
