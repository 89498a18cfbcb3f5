#include "content/attachment_name.h"

#include "platform/data_dir.h"

namespace korvo {
namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view CutAtCharacter(std::string_view text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && IsContinuationByte(text[end])) --end;
    return text.substr(0, end);
}

}  // namespace

std::string SafeAttachmentFileName(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);

    std::string clean;
    clean.reserve(name.size());
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) continue;
        clean += c;
    }
    size_t first = 0;
    while (first < clean.size() && (clean[first] == '.' || clean[first] == ' ')) ++first;
    size_t last = clean.size();
    while (last > first && (clean[last - 1] == '.' || clean[last - 1] == ' ')) --last;
    std::string_view result = std::string_view(clean).substr(first, last - first);
    if (result.empty()) return std::string(kFallbackAttachmentName);
    if (result.size() <= kMaxAttachmentNameBytes) return std::string(result);

    // Too long: shorten the stem and keep a reasonable extension.
    std::string_view extension;
    const size_t dot = result.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && result.size() - dot <= 16)
        extension = result.substr(dot);
    const std::string_view stem = result.substr(0, result.size() - extension.size());
    std::string shortened(CutAtCharacter(stem, kMaxAttachmentNameBytes - extension.size()));
    while (!shortened.empty() && (shortened.back() == '.' || shortened.back() == ' '))
        shortened.pop_back();
    if (shortened.empty()) shortened = kFallbackAttachmentName;
    return shortened + std::string(extension);
}

std::string AttachmentCachePath(std::string_view name) {
    return DataDirectory() + "Cache/temp/" + SafeAttachmentFileName(name);
}

}  // namespace korvo
