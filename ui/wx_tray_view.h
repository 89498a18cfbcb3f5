// The tray icon over wxTaskBarIcon (harmless where the desktop has no tray). Its menu ("Show",
// "Hide", "Show Task", "Check", "exit") and a double click go to a TraySink.
#pragma once

#include <wx/menu.h>
#include <wx/taskbar.h>

#include <memory>
#include <string>
#include <string_view>

#include "shell/desktop_interfaces.h"

namespace korvo {

// Called on the UI thread.
class TraySink {
  public:
    virtual ~TraySink() = default;
    virtual void TrayCommand(FrameCommand command) = 0;
    virtual bool IsTrayCommandEnabled(FrameCommand command) = 0;
    virtual void TrayDoubleClick() = 0;
};

class WxTrayView : public TrayView {
  public:
    explicit WxTrayView(TraySink& sink);
    ~WxTrayView() override;

    void ShowImage(int image, std::string_view tip) override;
    void Remove() override;

    // The tray menu as it would pop up now; the caller owns it.
    wxMenu* MakeMenu();
    // Where the menu's and the icon's events arrive.
    wxTaskBarIcon& icon();
    int shownImage() const { return image_; }
    const std::string& tip() const { return tip_; }

  private:
    class Icon;
    TraySink& sink_;
    std::unique_ptr<Icon> icon_;
    int image_ = -1;
    std::string tip_;
};

}  // namespace korvo
