// The main window titled "Korvo": the user tree and an address-list place on the left, the
// letter list, a viewer place and the attachment list on the right, the "Standard" tool bar
// with its drop-down menus, the menu bar and the status bar. Every command goes to a
// CommandSink, which also answers whether an item is enabled or checked; items without a
// handler are always disabled. The close box asks the sink, which normally hides the window.
#pragma once

#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/splitter.h>
#include <wx/toolbar.h>

#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/menu_commands.h"
#include "ui/wx_list_view.h"
#include "ui/wx_tree_view.h"

class wxSearchCtrl;

namespace korvo {

inline constexpr int kLeftColumnWidth = 200;
inline constexpr int kLetterListHeight = 150;
inline constexpr int kViewerHeight = 200;
inline constexpr int kAttachmentHeight = 100;
inline constexpr int kMinClientWidth = 550;
inline constexpr int kMinClientHeight = 300;

// The context menus: the user tree's sub-menus by the node right-clicked, and the "mail" menu
// over the letter list.
enum class ContextMenu { kSystem, kUser, kAccount, kBox, kMail };

class MainWindow : public wxFrame {
  public:
    static constexpr int kFirstCommandId = wxID_HIGHEST + 1000;
    // The window's own command: the quick search field takes the focus.
    static constexpr int kQuickSearchId = wxID_HIGHEST + 999;
    // The Edit menu's "Find..." (Ctrl+Shift+F); the desktop opens the find window.
    static constexpr int kFindId = wxID_HIGHEST + 998;

    // `sink` must outlive the window or be replaced with SetSink first.
    explicit MainWindow(CommandSink& sink);
    ~MainWindow() override;

    void SetSink(CommandSink& sink) { sink_ = &sink; }

    WxTreeView& userTree() { return *tree_; }
    WxListView& letterList() { return *letters_; }
    // The quick search field above the letter list (Ctrl+F).
    wxSearchCtrl* quickSearchField() const { return search_; }
    WxListView& attachmentList() { return *attachments_; }
    wxPanel* viewerPlace() const { return viewer_; }
    wxPanel* addressPlace() const { return addresses_; }
    // The splitters: columns, left column, right column, viewer/attachments.
    const std::array<wxSplitterWindow*, 4>& splitters() const { return splitters_; }

    const MenuCommandTable& commands() const { return table_; }
    // The drop-down menu of a tool bar button (none for buttons without one).
    wxMenu* DropdownMenu(int toolId) const;
    // The context menu, built once; PopupContextMenu shows it at the mouse, enabled and checked
    // as the sink answers.
    wxMenu* contextMenu(ContextMenu which) const { return context_[size_t(which)].get(); }
    void PopupContextMenu(ContextMenu which);
    // Tests see the menu that would pop up instead of a menu waiting for the mouse.
    void SetPopupHook(std::function<void(ContextMenu)> hook) { popupHook_ = std::move(hook); }
    // Asks the sink about every menu item and tool bar button now (the toolkit otherwise asks
    // when a menu opens and at idle time).
    void UpdateCommandStates();

    // One entry of a menu: its text (none for a separator) and its command.
    struct Item;

  private:
    void BuildLayout();
    void BuildMenuBar();
    void BuildToolBar();
    void BuildContextMenus();
    wxMenu* MakeMenu(const std::vector<Item>& items);

    void OnCommand(wxCommandEvent& event);
    void OnUpdateUI(wxUpdateUIEvent& event);
    void OnClose(wxCloseEvent& event);

    CommandSink* sink_;
    MenuCommandTable table_{kFirstCommandId};
    std::set<int> checkable_;
    std::vector<wxMenu*> dropdowns_;  // owned by the tool bar
    std::unique_ptr<wxMenu> context_[5];
    std::function<void(ContextMenu)> popupHook_;
    std::unique_ptr<WxTreeView> tree_;
    std::unique_ptr<WxListView> letters_;
    std::unique_ptr<WxListView> attachments_;
    std::array<wxSplitterWindow*, 4> splitters_{};
    wxPanel* viewer_ = nullptr;
    wxPanel* addresses_ = nullptr;
    wxSearchCtrl* search_ = nullptr;
};

}  // namespace korvo
