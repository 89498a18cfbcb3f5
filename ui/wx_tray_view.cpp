#include "ui/wx_tray_view.h"

#include <iterator>

#include "ui/tray_strip.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

struct TrayItem {
    const char* text;
    FrameCommand command;
    bool handled;
};

// "Check" has no handler: shown disabled.
constexpr TrayItem kTrayItems[] = {
    {"Show", FrameCommand::kShowMainAndTasks, true},
    {"Hide", FrameCommand::kTrayHide, true},
    {"Show Task", FrameCommand::kTrayShowTask, true},
    {"Check", FrameCommand::kTrayCheck, false},
    {"exit", FrameCommand::kExit, true},
};

constexpr int kFirstTrayId = wxID_HIGHEST + 900;

}  // namespace

class WxTrayView::Icon : public wxTaskBarIcon {
  public:
    explicit Icon(WxTrayView& owner) : owner_(owner) {
        Bind(wxEVT_TASKBAR_LEFT_DCLICK,
             [this](wxTaskBarIconEvent&) { owner_.sink_.TrayDoubleClick(); });
        Bind(
            wxEVT_MENU,
            [this](wxCommandEvent& event) {
                const int index = event.GetId() - kFirstTrayId;
                if (index >= 0 && index < int(std::size(kTrayItems)) && kTrayItems[index].handled) {
                    owner_.sink_.TrayCommand(kTrayItems[index].command);
                }
            },
            kFirstTrayId, kFirstTrayId + int(std::size(kTrayItems)) - 1);
    }

  protected:
    wxMenu* CreatePopupMenu() override { return owner_.MakeMenu(); }

  private:
    WxTrayView& owner_;
};

WxTrayView::WxTrayView(TraySink& sink) : sink_(sink), icon_(std::make_unique<Icon>(*this)) {}

WxTrayView::~WxTrayView() {
    icon_->RemoveIcon();
}

void WxTrayView::ShowImage(int image, std::string_view tip) {
    image_ = image;
    tip_ = std::string(tip);
    icon_->SetIcon(TrayImage(image), WxFromBytes(tip));
}

wxTaskBarIcon& WxTrayView::icon() {
    return *icon_;
}

void WxTrayView::Remove() {
    icon_->RemoveIcon();
    image_ = -1;
}

wxMenu* WxTrayView::MakeMenu() {
    auto* menu = new wxMenu;
    for (size_t i = 0; i < std::size(kTrayItems); ++i) {
        const TrayItem& item = kTrayItems[i];
        const int id = kFirstTrayId + int(i);
        if (item.command == FrameCommand::kExit) menu->AppendSeparator();
        menu->Append(id, item.text);
        menu->Enable(id, item.handled && sink_.IsTrayCommandEnabled(item.command));
    }
    return menu;
}

}  // namespace korvo
