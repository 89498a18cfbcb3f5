// File names taken from letters are chosen by whoever sent the letter. Before one is used to
// make a file it is reduced to a safe single name.
#pragma once

#include <string>
#include <string_view>

namespace korvo {

// The longest name made, in bytes (file systems allow 255).
inline constexpr size_t kMaxAttachmentNameBytes = 200;

// The name used when nothing usable is left.
inline constexpr std::string_view kFallbackAttachmentName = "attachment";

// Keeps only the last path component ("/" and "\\" both separate), drops control bytes,
// leading dots and spaces, trailing dots, spaces and invisible characters (Unicode spaces,
// format and direction marks) and every invisible character after the last dot, and shortens
// long names at a character boundary while keeping the extension. Never empty, never "." or
// "..". What a name looks like in a list therefore ends in the extension the file really has.
std::string SafeAttachmentFileName(std::string_view name);

// Where an attachment is written for opening: DataDirectory() + "Cache/temp/" + safe name.
std::string AttachmentCachePath(std::string_view name);

}  // namespace korvo
