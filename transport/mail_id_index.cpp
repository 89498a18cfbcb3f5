#include "transport/mail_id_index.h"

namespace korvo {

std::string LetterMailId(const baseDataStruct* letter) {
    std::string id = getinfo(letter, kThisNode, "MailId");
    if (id == kAbsent) id.clear();
    return id;
}

void MailIdIndex::Build(const baseDataStruct* container) {
    container_ = container;
    byId_.clear();
    if (!container) return;
    for (baseDataStruct* son = container->firstSon(); son; son = son->nextBrother()) {
        std::string id = LetterMailId(son);
        if (!id.empty()) byId_.emplace(std::move(id), son);
    }
}

baseDataStruct* MailIdIndex::Find(std::string_view id) const {
    if (id.empty()) return nullptr;
    auto it = byId_.find(std::string(id));
    return it == byId_.end() ? nullptr : it->second;
}

void MailIdIndex::Insert(baseDataStruct* letter) {
    std::string id = LetterMailId(letter);
    if (!id.empty()) byId_.emplace(std::move(id), letter);
}

void MailIdIndex::Erase(baseDataStruct* letter) {
    const std::string id = LetterMailId(letter);
    auto it = byId_.find(id);
    if (it == byId_.end() || it->second != letter) return;
    byId_.erase(it);
    // Rare: another letter with the same id further on becomes the one found.
    if (!container_) return;
    for (baseDataStruct* son = container_->firstSon(); son; son = son->nextBrother()) {
        if (son != letter && LetterMailId(son) == id) {
            byId_.emplace(id, son);
            return;
        }
    }
}

}  // namespace korvo
