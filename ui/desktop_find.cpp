// The desktop's find window: opening it and showing what it found.
#include <wx/srchctrl.h>

#include "platform/model_lock.h"
#include "shell/letter_find.h"
#include "store/node_tree.h"
#include "ui/desktop.h"
#include "ui/find_frame.h"

namespace korvo {

void Desktop::OnFind(wxCommandEvent&) {
    OpenFind();
}

void Desktop::OpenFind() {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    baseDataStruct* user = tree_->getTypeItem(kKindUser);
    if (!user) {
        window_->SetStatusText("Select a user to search the letters of.");
        return;
    }
    // One window, for the user selected when it opened.
    delete find_.get();
    find_ = new FindFrame(window_, stores_.sys(), user,
                          [this](uint32_t box, uint32_t letter) { ShowFoundLetter(box, letter); });
    find_->Show();
}

void Desktop::ShowFoundLetter(uint32_t boxId, uint32_t letterId) {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    baseDataStruct* box = findid(stores_.sys().root(), boxId);
    if (!box || getinfo(box, kThisNode, "type") != "Box") {
        window_->SetStatusText("That box is gone.");
        return;
    }
    if (letters_->shownBox() != box) SelectTreeNode(box);
    const int row = letters_->SelectLetter(letterId);
    if (letters_->quickSearch().empty()) window_->quickSearchField()->ChangeValue(wxString());
    if (row < 0) {
        window_->SetStatusText("That letter is not shown in its box.");
        return;
    }
    window_->letterList().control()->EnsureVisible(row);
    window_->Raise();
}

}  // namespace korvo
