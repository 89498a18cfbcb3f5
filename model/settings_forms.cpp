#include "model/settings_forms.h"

#include "controls/data_tree_items.h"
#include "model/account_form.h"
#include "model/form_fields.h"
#include "model/sys_schema.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

constexpr std::string_view kPasswordError = "Password input error!";

// The checks the user, box and folder dialogs share: a name, and a lock password typed the
// same twice. Shows the first failure and returns false.
bool CheckNameAndLock(const std::string& name, std::string_view emptyNameMessage,
                      const std::string& password, const std::string& confirm, Prompter& prompter) {
    if (name.empty()) {
        prompter.Message(emptyNameMessage, kErrorTitle);
        return false;
    }
    if (password != confirm) {
        prompter.Message(kPasswordError, kErrorTitle);
        return false;
    }
    return true;
}

}  // namespace

UserForm::UserForm(const baseDataStruct* user) : existing_(true) {
    caption_ = getinfo(user, kThisNode, "caption");
    name = FieldFromKey(user, "caption");
    check = getinfo(user, kThisNode, "check") == "1";
    checkTimer = LongToText(TextToLong(getinfo(user, kThisNode, "checkTimer")));
    if (checkTimer == kAbsent) checkTimer = "0";
    saveFile = FieldFromKey(user, "SaveFile");
    lockPassword = lockConfirm = FieldFromKey(user, "lockPassword");
    if (const std::string charset = getinfo(user, kThisNode, kFallbackCharsetKey);
        charset != kAbsent && !charset.empty())
        fallbackCharset = charset;
    newMailNotice = getinfo(user, kThisNode, kNewMailNoticeKey) != "0";
}

void ApplyUserCharset(const baseDataStruct* user) {
    const std::string charset =
        user ? getinfo(user, kThisNode, kFallbackCharsetKey) : std::string(kAbsent);
    if (charset == kAbsent || charset.empty() || !SetFallbackCharset(charset))
        SetFallbackCharset(kDefaultFallbackCharset);
}

std::string UserForm::Title() const {
    return existing_ ? caption_ + " modify" : "Add new user";
}

bool UserForm::Apply(baseDataStruct* user, Prompter& prompter) {
    for (std::string* f :
         {&name, &checkTimer, &saveFile, &lockPassword, &lockConfirm, &fallbackCharset}) {
        *f = TrimField(*f);
    }
    if (fallbackCharset.empty()) fallbackCharset = kDefaultFallbackCharset;
    if (!IsKnownCharset(fallbackCharset)) {
        prompter.Message(kUnknownCharsetMessage, kErrorTitle);
        return false;
    }
    long timer = 0;
    if (!ReadNumberField(checkTimer, 0, 65536, &timer)) {
        prompter.Message(kCheckTimerRangeMessage, kErrorTitle);
        return false;
    }
    if (!CheckNameAndLock(name, "Please input user 's name!", lockPassword, lockConfirm, prompter))
        return false;
    if (!user) return false;
    setinfo(user, kThisNode, "type", "User");
    setinfo(user, kThisNode, "pType", "2");
    setinfo(user, kThisNode, "caption", name);
    setinfo(user, kThisNode, "check", check ? "1" : "-1");
    setinfo(user, kThisNode, "checkTimer", LongToText(timer));
    // An emptied field means no mail store, like a user stored without the key.
    setinfo(user, kThisNode, "SaveFile", ValueOrAbsent(saveFile));
    setinfo(user, kThisNode, "RunTime", "0");
    WriteLockKeys(user, lockPassword);
    // Users who keep the default store no key, so their records stay as they were.
    if (fallbackCharset != kDefaultFallbackCharset ||
        getinfo(user, kThisNode, kFallbackCharsetKey) != kAbsent)
        setinfo(user, kThisNode, kFallbackCharsetKey, fallbackCharset);
    ApplyUserCharset(user);
    if (!newMailNotice || getinfo(user, kThisNode, kNewMailNoticeKey) != kAbsent)
        setinfo(user, kThisNode, kNewMailNoticeKey, newMailNotice ? "1" : "0");
    changestate(user, 0, CATEGORY_USER | STATE_VALID);
    return true;
}

BoxForm::BoxForm() {
    SetColumns(kNewBoxShowColumn);
}

BoxForm::BoxForm(const baseDataStruct* box) : existing_(true) {
    name = FieldFromKey(box, "caption");
    lockPassword = lockConfirm = FieldFromKey(box, "lockPassword");
    SetColumns(TextToLong(getinfo(box, kThisNode, "showColumn")));
}

void BoxForm::SetColumns(long showColumn) {
    for (size_t i = 0; i < kColumnBits.size(); ++i) {
        columns[i] = (showColumn & kColumnBits[i]) != 0;
    }
}

long BoxForm::ShowColumn() const {
    long value = 0;
    for (size_t i = 0; i < kColumnBits.size(); ++i) {
        if (columns[i]) value |= kColumnBits[i];
    }
    return value;
}

bool BoxForm::Apply(baseDataStruct* box, Prompter& prompter) {
    for (std::string* f : {&name, &lockPassword, &lockConfirm}) *f = TrimField(*f);
    if (!CheckNameAndLock(name, "Please input user!", lockPassword, lockConfirm, prompter))
        return false;
    if (!box) return false;
    setinfo(box, kThisNode, "type", "Box");
    setinfo(box, kThisNode, "caption", name);
    setinfo(box, kThisNode, "showColumn", LongToText(ShowColumn()));
    setinfo(box, kThisNode, "pType", "10");
    setinfo(box, kThisNode, "MaxId", "-1");
    WriteLockKeys(box, lockPassword);
    changestate(box, 0, 0x00100003);
    return true;
}

FolderForm::FolderForm(const baseDataStruct* folder) : existing_(true) {
    caption_ = getinfo(folder, kThisNode, "caption");
    name = FieldFromKey(folder, "caption");
    lockPassword = lockConfirm = FieldFromKey(folder, "lockPassword");
}

std::string FolderForm::Title() const {
    return existing_ ? caption_ + " modify" : "Add new Folder";
}

bool FolderForm::Apply(baseDataStruct* folder, Prompter& prompter) {
    for (std::string* f : {&name, &lockPassword, &lockConfirm}) *f = TrimField(*f);
    if (!CheckNameAndLock(name, "Please input user 's name!", lockPassword, lockConfirm, prompter))
        return false;
    if (!folder) return false;
    setinfo(folder, kThisNode, "type", "BookFolder");
    setinfo(folder, kThisNode, "pType", "7");
    setinfo(folder, kThisNode, "caption", name);
    WriteLockKeys(folder, lockPassword);
    return true;
}

baseDataStruct* CBoxLockTree::NodeOf(TreeItem item) const {
    if (item == kNoItem) return nullptr;
    return findid(store_.root(), tree_.view().ItemData(item) & kNodeIdMask);
}

bool CBoxLockTree::Unlock(baseDataStruct* node, TreeItem item) {
    std::string typed;
    if (!prompter_.AskPassword(getinfo(node, kThisNode, "caption"), &typed)) return false;
    if (typed != getinfo(node, kThisNode, "lockPassword")) {
        prompter_.Message("Error password input!", kErrorTitle);
        return false;
    }
    setinfo(node, kThisNode, "lock", "unLock");
    tree_.view().SetStateImage(item, kUnlockedStateImage);
    return true;
}

bool CBoxLockTree::OnItemExpanding(TreeItem item) {
    if (tree_.view().StateImage(item) != kLockedStateImage) return true;
    baseDataStruct* node = NodeOf(item);
    return node && Unlock(node, item);
}

void CBoxLockTree::OnItemDoubleClick(TreeItem item) {
    if (!lockHandling_ || item == kNoItem) return;
    tree_.SelectNodeItem(item);
    const TreeItem selected = tree_.view().Caret();
    baseDataStruct* node = NodeOf(selected);
    if (!node) return;
    const std::string lock = getinfo(node, kThisNode, "lock");
    if (lock == "lock") {
        if (Unlock(node, selected)) tree_.view().Expand(selected);
    } else if (lock == "unLock") {
        setinfo(node, kThisNode, "lock", "lock");
        tree_.view().SetStateImage(selected, kLockedStateImage);
        tree_.view().Collapse(selected);
    }
}

}  // namespace korvo
