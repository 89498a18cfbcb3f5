// The template every new account starts with: its first line is the template's name, the rest
// its text.
#pragma once

#include <string_view>

namespace korvo {

std::string_view DefaultTemplateText();

}  // namespace korvo
