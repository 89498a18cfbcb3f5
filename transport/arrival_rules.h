// What rules decide for a letter arriving in a receive pass. The receive pass asks; the rules
// themselves live above the transport layer.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/node.h"

namespace korvo {

struct ArrivalDecision {
    baseDataStruct* moveTo = nullptr;     // a box stored in instead of the receive box
    std::vector<baseDataStruct*> copyTo;  // boxes that get a copy as well
    bool hide = false;                    // LETTER_HIDDEN
    bool deleteAfter = false;             // deleted on the server once stored, kept or not
    std::string markColor, markStyle;     // letter keys; empty for none
    bool message = false;                 // named in the notification of the receive
    bool playIcon = false;                // the tray's new-mail animation
    std::string voice;                    // a sound file to play; empty for none
};

class ArrivalRules {
  public:
    virtual ~ArrivalRules() = default;
    // Called with the model lock held, once per letter fetched whole. `bytes` is its size.
    virtual ArrivalDecision Decide(std::string_view raw, long bytes) = 0;
    // Whether any rule deletes letters on their header block alone, before the download.
    virtual bool DecidesOnHeaders() const { return false; }
    // Whether such a rule deletes the letter whose header block is `header` (`bytes` in all).
    virtual bool DeleteAtOnce(std::string_view header, long bytes) {
        (void)header;
        (void)bytes;
        return false;
    }
    // Called once the letter of the last Decide is in the mail store: the letters the rules
    // write about it (forwards, answers) are written now, so that a letter fetched again after
    // a failed store never gets them twice. Returns the letters written into OutgoingBox().
    virtual std::vector<baseDataStruct*> Stored() { return {}; }
    // The box the written letters wait in for the send that follows the receive; null when
    // none was written.
    virtual baseDataStruct* OutgoingBox() const { return nullptr; }
    // Names of the rules skipped because they could not be applied, each once; for the
    // task's Info.
    virtual std::vector<std::string> SkippedRules() const { return {}; }
};

// The rules of an account, read with the model lock held; null for none.
using ArrivalRulesSource = std::function<std::unique_ptr<ArrivalRules>(baseDataStruct* account)>;

}  // namespace korvo
