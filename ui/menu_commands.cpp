#include "ui/menu_commands.h"

namespace korvo {

int MenuCommandTable::Add(MenuCommand command) {
    const int id = next_++;
    commands_[id] = command;
    return id;
}

std::optional<MenuCommand> MenuCommandTable::Find(int wxId) const {
    const auto it = commands_.find(wxId);
    if (it == commands_.end()) return std::nullopt;
    return it->second;
}

std::vector<int> MenuCommandTable::IdsOf(MenuCommand command) const {
    std::vector<int> ids;
    for (const auto& [id, bound] : commands_) {
        if (bound == command) ids.push_back(id);
    }
    return ids;
}

}  // namespace korvo
