// What a menu item, tool bar button or tray item of the desktop stands for. The command ids of
// the user tree, the main frame and the letter list overlap, so wx items get ids of their own
// and a table maps each wx id back to the command set and the command within it.
#pragma once

#include <map>
#include <optional>
#include <vector>

namespace korvo {

enum class CommandSet {
    kNone,      // an item without a handler: always disabled
    kTree,      // TreeCommand
    kFrame,     // FrameCommand
    kLetter,    // LetterCommand
    kTransfer,  // TransferCommand
};

// Letters in and out of the File menu, handled by the desktop itself.
enum class TransferCommand { kImportLetters, kExportBox, kSaveLetter };

struct MenuCommand {
    CommandSet set = CommandSet::kNone;
    int command = 0;
    friend bool operator==(const MenuCommand&, const MenuCommand&) = default;
};

// Where the desktop's commands go. Called on the UI thread with the model lock held.
class CommandSink {
  public:
    virtual ~CommandSink() = default;
    virtual bool IsCommandEnabled(MenuCommand command) = 0;
    virtual bool IsCommandChecked(MenuCommand command) = 0;
    virtual void RunCommand(MenuCommand command) = 0;
    // The main window's close box (and "E&xit" of its File menu): the window hides itself only
    // when the sink says so.
    virtual void CloseRequested() = 0;
};

// A sink that answers every question with no and runs nothing.
class NullCommandSink : public CommandSink {
  public:
    bool IsCommandEnabled(MenuCommand) override { return false; }
    bool IsCommandChecked(MenuCommand) override { return false; }
    void RunCommand(MenuCommand) override {}
    void CloseRequested() override {}
};

// wx ids handed out from `firstId` upwards, each bound to one command.
class MenuCommandTable {
  public:
    explicit MenuCommandTable(int firstId) : next_(firstId), first_(firstId) {}

    // A new wx id for `command`.
    int Add(MenuCommand command);
    // Items without a handler.
    int AddDisabled() { return Add({CommandSet::kNone, 0}); }
    std::optional<MenuCommand> Find(int wxId) const;
    // Every wx id bound to `command`, lowest first.
    std::vector<int> IdsOf(MenuCommand command) const;
    int firstId() const { return first_; }
    // One past the last id handed out.
    int endId() const { return next_; }

  private:
    int next_;
    int first_;
    std::map<int, MenuCommand> commands_;
};

}  // namespace korvo
