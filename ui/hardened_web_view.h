// The embedded browser for letters and template previews. Letters come from anyone, so the
// browser is locked down before it shows anything:
// - scripts, plug-ins, storage, hyperlink pings and the developer tools are switched off in the
//   engine's own settings (reached through the already loaded engine library, so nothing of it
//   is linked here);
// - it shows only the page it was told to load: every other navigation (links, refreshes,
//   frames, new windows) is refused;
// - a link the user clicks is handed to the system browser, and only for http, https and
//   mailto;
// - remote pictures, style sheets and frames are stopped by the Content-Security-Policy that
//   every page carries first (content/page_security.h), not here.
//
// The view is a child of `parent`, which owns it; this object must not outlive the parent's
// children and detaches from the view when destroyed.
#pragma once

#include <type_traits>  // before the toolkit's weak reference, which needs it

#include <wx/weakref.h>
#include <wx/webview.h>

#include <functional>
#include <string>
#include <string_view>

namespace korvo {

// Whether a clicked link may go to the system browser: http, https and mailto only.
bool IsExternalLinkUrl(std::string_view url);

// The file:// URL of a local path.
wxString FileUrlOfPath(const std::string& path);

class HardenedWebView {
  public:
    // Receives the links the user clicked that may leave the program; the default hands them
    // to the system browser.
    using LinkOpener = std::function<void(const wxString& url)>;

    explicit HardenedWebView(wxWindow* parent, LinkOpener opener = {});
    ~HardenedWebView();
    HardenedWebView(const HardenedWebView&) = delete;
    HardenedWebView& operator=(const HardenedWebView&) = delete;

    wxWebView* view() const { return view_.get(); }

    // Shows the page file at `path`, read anew.
    void LoadFile(const std::string& path);
    // Shows `html` with no address of its own (about:blank).
    void LoadHtml(const wxString& html);
    // The page being shown (without fragment).
    const wxString& pageUrl() const { return page_; }

    // Whether the engine's settings were reached and say that scripts are off.
    bool ScriptsOff() const;
    // Whether clicked links can be told apart from other navigations (the engine's policy
    // hook is in place). Without it nothing is handed to the system browser.
    bool LinkHookActive() const { return policyHandler_ != 0; }

    // Navigations refused so far (for the curious and for tests).
    int refusedNavigations() const { return refused_; }

  private:
    void Harden();
    bool IsPage(const wxString& url) const;
    void OnNavigating(wxWebViewEvent& event);
    void OnNewWindow(wxWebViewEvent& event);
    void Open(const wxString& url);

    // Called by the engine for each policy decision.
    static int OnDecidePolicy(void* webView, void* decision, int type, void* self);

    wxWeakRef<wxWebView> view_;
    LinkOpener opener_;
    wxString page_ = "about:blank";
    unsigned long policyHandler_ = 0;
    int refused_ = 0;
};

}  // namespace korvo
