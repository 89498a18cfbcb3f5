// Letters of one box by their server unique id (`MailId`), so that a walk over the server's
// letters finds each one without scanning the box. The index holds plain pointers into the
// box's letter container: whoever adds or destroys letters of the container while an index is
// in use keeps it in step (Insert, Erase), or rebuilds it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "store/node.h"

namespace korvo {

class MailIdIndex {
  public:
    // Indexes the sons of `container` (none: empty). Where several letters share an id, the
    // first in the box wins, as a scan from the first letter would find it.
    void Build(const baseDataStruct* container);

    // The first letter with this id, or null.
    baseDataStruct* Find(std::string_view id) const;

    // A letter appended to the container (an earlier letter with the same id keeps its place).
    void Insert(baseDataStruct* letter);
    // A letter about to leave the container; the next letter with its id, if any, takes over.
    void Erase(baseDataStruct* letter);

    size_t size() const { return byId_.size(); }

  private:
    const baseDataStruct* container_ = nullptr;
    std::unordered_map<std::string, baseDataStruct*> byId_;
};

// The letter's `MailId`, or empty when it has none.
std::string LetterMailId(const baseDataStruct* letter);

}  // namespace korvo
