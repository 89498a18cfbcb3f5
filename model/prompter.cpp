#include "model/prompter.h"

#include "platform/message_hook.h"

namespace korvo {

void MessageHookPrompter::Message(std::string_view text, std::string_view) {
    ShowMessage(std::string(text));
}

bool MessageHookPrompter::AskPassword(std::string_view, std::string*) {
    return false;
}

}  // namespace korvo
