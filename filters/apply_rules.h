// "Apply filters" on a box: the rules of the box's account run over the box's letters as they
// run over arriving letters, without the server: letters are moved or copied to other boxes,
// hidden and marked. DeleteAfter and the other server actions do nothing here.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/sys_data.h"

namespace korvo {

struct ApplyResult {
    long letters = 0;  // valid letters looked at
    long moved = 0;
    long copied = 0;
    long changed = 0;                    // hidden or marked
    std::vector<std::string> skipped;    // rules that could not be applied
    std::vector<baseDataStruct*> boxes;  // whose counters changed
    bool cancelled = false;              // stopped early; the letters looked at keep the change
};

// Runs under the caller's model lock. `progress` hears the percentage done, each value once,
// and returns false to stop.
ApplyResult ApplyRulesToBox(CSysData& sys, baseDataStruct* box,
                            const std::function<bool(int)>& progress = {});

}  // namespace korvo
