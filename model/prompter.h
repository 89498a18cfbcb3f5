// How the settings forms talk to the user: message boxes and the password question. The
// desktop program implements it with dialogs; MessageHookPrompter sends messages through the
// platform message hook and answers no password question.
#pragma once

#include <string>
#include <string_view>

namespace korvo {

class Prompter {
  public:
    virtual ~Prompter() = default;
    // A message box with an OK button.
    virtual void Message(std::string_view text, std::string_view title) = 0;
    // Asks for a password in a dialog titled `caption`; false when the user cancels.
    virtual bool AskPassword(std::string_view caption, std::string* typed) = 0;
};

class MessageHookPrompter : public Prompter {
  public:
    void Message(std::string_view text, std::string_view title) override;
    bool AskPassword(std::string_view caption, std::string* typed) override;
};

}  // namespace korvo
