// Template texts are typed by the user and the values come from received letters: filling must
// finish, never read values as macros, and leave a text without known values unchanged.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "content/template_macros.h"
#include "content/template_store.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // Pieces split at zero bytes: the template text, then the context values.
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t zero; (zero = input.find('\0', start)) != std::string::npos; start = zero + 1) {
        pieces.push_back(input.substr(start, zero - start));
    }
    pieces.push_back(input.substr(start));
    pieces.resize(10);
    const std::string& text = pieces[0];

    // With no values only the cursor changes anything.
    const std::array<std::string, kMacroCount> none;
    if (ReplaceMacros(text, none) != text) abort();

    TemplateContext context;
    context.now = 1073351133;
    context.returnAddress = pieces[1];
    context.senderAddress = pieces[2];
    context.to = pieces[3];
    context.cc = pieces[4];
    context.oldDate = pieces[5];
    context.oldSubject = pieces[6];
    context.oldText = pieces[7];
    context.oldFrom = pieces[8];
    context.oldTo = pieces[9];
    const FilledTemplate filled = FillTemplate(text, context);
    if (filled.caret > filled.text.size()) abort();
    // A value goes in as it is, whatever keys it holds.
    if (!context.oldText.empty() &&
        FillTemplate("@@OLD_MAIL_TEXT@@", context).text != context.oldText) {
        abort();
    }
    const std::string page = TemplatePreviewPage(text);
    if (page.size() < text.size()) abort();
    return 0;
}
