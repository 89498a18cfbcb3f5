// The embedded browser for letters and template previews. Letters come from anyone, so the
// browser is locked down before it shows anything:
// - scripts, plug-ins, storage, hyperlink pings and the developer tools are switched off in the
//   engine's own settings (reached through the already loaded engine library, so nothing of it
//   is linked here);
// - it loads its page once for each time it is told to: every other navigation (links,
//   refreshes to itself or elsewhere, frames, new windows) is refused;
// - a link the user clicks is handed to the system browser, and only for http, https and
//   mailto (of a mailto link only the address);
// - remote pictures, style sheets and frames are stopped twice: by the Content-Security-Policy
//   that every page carries first (content/page_security.h), and by a content filter in the
//   engine that blocks every http, https, ws, wss and ftp load of the view. Until the filter
//   is in place (the engine compiles it once per process) pages wait.
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

// What a clicked link hands to the system: the link itself for http and https; for mailto
// only "mailto:" and the address (the sender's subject, body, copies and attachments are
// dropped); empty for anything else, and for a mailto whose address is not plain.
std::string LinkToHandOn(std::string_view url);

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

    // Shows the page file at `path`, read anew. Its address (pageUrl) carries a query that
    // tells this load from earlier ones.
    void LoadFile(const std::string& path);
    // Shows `html` with no address of its own (about:blank).
    void LoadHtml(const wxString& html);
    // The page being shown (without fragment).
    const wxString& pageUrl() const { return page_; }

    // Whether the engine's settings were reached and say that scripts are off.
    bool ScriptsOff() const;
    // Whether the settings that let a page reach out read off (hyperlink auditing is switched
    // off too, but newer engines ignore that).
    bool SettingsLocked() const;
    // Whether the engine's content filter blocks remote loads of this view.
    bool ContentFilterActive() const { return filterActive_; }
    // Whether clicked links can be told apart from other navigations (the engine's policy
    // hook is in place). Without it nothing is handed to the system browser.
    bool LinkHookActive() const { return policyHandler_ != 0; }

    // Navigations refused so far (for the curious and for tests).
    int refusedNavigations() const { return refused_; }

  private:
    friend class ContentFilterSetup;

    void Harden();
    void InstallContentFilter();
    // Called once the process's filter is compiled (null when it cannot be); runs the load
    // that waited for it.
    void FilterReady(void* filter);
    void RunHeldLoad();
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
    // Whether the engine may still load page_: true from LoadFile or LoadHtml until the engine
    // asks about that load. Each file load has its own address, so an older load the engine
    // asks about late is refused rather than taken for this one.
    bool loadPermitted_ = false;
    int loads_ = 0;
    bool filterActive_ = false;
    bool waitingForFilter_ = false;
    // The load asked for while waiting for the filter: a page address, or HTML.
    bool heldLoad_ = false;
    bool heldIsHtml_ = false;
    wxString heldText_;
};

}  // namespace korvo
