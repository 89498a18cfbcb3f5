// The letters filter rules write about a letter that arrived: the forward of a rule's Forward
// and the automatic answer of its AutoBack (filled from the named template of the account's
// answer templates). They are composed as the composer composes its forwards and answers and
// wait in the account's prepare box for the send that follows the receive. The loop guards of
// answer_guard.h decide first.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "model/sys_data.h"

namespace korvo {

class RuleLetters {
  public:
    using Clock = std::function<std::time_t()>;
    // `account` is a node of `sys`; both must outlive this. Called with the model lock held.
    RuleLetters(CSysData& sys, baseDataStruct* account, Clock clock = {});

    // Each returns the letter written into the prepare box, or null when the guards stop it,
    // the template is unknown or it could not be stored.
    baseDataStruct* Forward(std::string_view raw, std::string_view receivers);
    baseDataStruct* AutoBack(std::string_view raw, std::string_view templateCaption);

    baseDataStruct* prepareBox() const;

  private:
    struct Original;
    baseDataStruct* Write(const std::string& to, const std::string& cc, const std::string& hidden,
                          const std::string& subject, const std::string& body,
                          baseDataStruct* attachments, std::string_view extraHeaders);
    std::string AccountKey(std::string_view key) const;

    CSysData& sys_;
    baseDataStruct* account_;
    Clock clock_;
};

}  // namespace korvo
