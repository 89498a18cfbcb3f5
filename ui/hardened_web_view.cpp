#include "ui/hardened_web_view.h"

#include <dlfcn.h>
#include <wx/filename.h>
#include <wx/uri.h>
#include <wx/utils.h>

#include <cctype>

#include "store/diag_log.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

// The engine's C functions, looked up in the libraries the process has loaded. Nothing is
// loaded here: a library that is not there already is not the one the view uses.
void* Symbol(const char* name) {
    if (void* found = dlsym(RTLD_DEFAULT, name)) return found;
    for (const char* library : {"libwebkit2gtk-4.1.so.0", "libwebkit2gtk-4.0.so.37"}) {
        void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
        if (!handle) continue;
        void* found = dlsym(handle, name);
        dlclose(handle);
        if (found) return found;
    }
    return nullptr;
}

template <class F>
F Function(const char* name) {
    return reinterpret_cast<F>(Symbol(name));
}

using GetObject = void* (*)(void*);
using SetFlag = void (*)(void*, int);
using GetFlag = int (*)(void*);
using GetInt = int (*)(void*);
using GetText = const char* (*)(void*);
using Ignore = void (*)(void*);
using Connect = unsigned long (*)(void*, const char*, void*, void*, void*, int);
using Disconnect = void (*)(void*, unsigned long);

// Engine settings that would let a letter do more than show itself.
constexpr const char* kSwitchedOff[] = {
    "webkit_settings_set_enable_javascript",
    "webkit_settings_set_enable_javascript_markup",
    "webkit_settings_set_javascript_can_open_windows_automatically",
    "webkit_settings_set_javascript_can_access_clipboard",
    "webkit_settings_set_enable_plugins",
    "webkit_settings_set_enable_java",
    "webkit_settings_set_enable_dns_prefetching",
    "webkit_settings_set_enable_html5_local_storage",
    "webkit_settings_set_enable_html5_database",
    "webkit_settings_set_enable_offline_web_application_cache",
    "webkit_settings_set_enable_webgl",
    "webkit_settings_set_enable_webaudio",
    "webkit_settings_set_enable_media_stream",
    "webkit_settings_set_enable_fullscreen",
    "webkit_settings_set_enable_developer_extras",
    "webkit_settings_set_allow_file_access_from_file_urls",
    "webkit_settings_set_allow_universal_access_from_file_urls",
};

// Policy decision kinds and the navigation kind of a click, as the engine numbers them.
constexpr int kNavigationDecision = 0;
constexpr int kNewWindowDecision = 1;
constexpr int kLinkClicked = 0;

void* SettingsOf(wxWebView* view) {
    static const auto getSettings = Function<GetObject>("webkit_web_view_get_settings");
    void* native = view ? view->GetNativeBackend() : nullptr;
    return native && getSettings ? getSettings(native) : nullptr;
}

// The address without its fragment, with escapes decoded, for comparing.
wxString Comparable(const wxString& url) {
    return wxURI::Unescape(url.BeforeFirst('#'));
}

}  // namespace

bool IsExternalLinkUrl(std::string_view url) {
    std::string scheme;
    for (const char c : url) {
        if (c == ':') break;
        scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (scheme.size() == url.size()) return false;  // no scheme at all
    return scheme == "http" || scheme == "https" || scheme == "mailto";
}

wxString FileUrlOfPath(const std::string& path) {
    return wxFileName::FileNameToURL(wxFileName(WxFromBytes(path)));
}

HardenedWebView::HardenedWebView(wxWindow* parent, LinkOpener opener) : opener_(std::move(opener)) {
    view_ = wxWebView::New(parent, wxID_ANY, "about:blank");
    Harden();
    view_->Bind(wxEVT_WEBVIEW_NAVIGATING, &HardenedWebView::OnNavigating, this);
    view_->Bind(wxEVT_WEBVIEW_NEWWINDOW, &HardenedWebView::OnNewWindow, this);
}

HardenedWebView::~HardenedWebView() {
    if (!view_) return;
    view_->Unbind(wxEVT_WEBVIEW_NAVIGATING, &HardenedWebView::OnNavigating, this);
    view_->Unbind(wxEVT_WEBVIEW_NEWWINDOW, &HardenedWebView::OnNewWindow, this);
    if (policyHandler_ != 0) {
        static const auto disconnect = Function<Disconnect>("g_signal_handler_disconnect");
        if (void* native = view_->GetNativeBackend(); native && disconnect)
            disconnect(native, policyHandler_);
    }
}

void HardenedWebView::Harden() {
    view_->EnableContextMenu(false);
    view_->EnableAccessToDevTools(false);
    view_->EnableHistory(false);
    if (void* settings = SettingsOf(view_.get())) {
        for (const char* name : kSwitchedOff) {
            // Settings this engine version does not know are simply not there.
            if (const auto set = Function<SetFlag>(name)) set(settings, 0);
        }
    }

    // The toolkit's navigation event does not say whether the user clicked, which decides
    // whether a link may go to the system browser; the engine's policy signal does. The
    // toolkit's own handler runs first and lets everything through (OnNavigating).
    static const auto connect = Function<Connect>("g_signal_connect_data");
    static const bool haveEngine =
        Symbol("webkit_navigation_policy_decision_get_navigation_action") &&
        Symbol("webkit_navigation_action_get_navigation_type") &&
        Symbol("webkit_navigation_action_get_request") && Symbol("webkit_uri_request_get_uri") &&
        Symbol("webkit_policy_decision_ignore");
    void* native = view_->GetNativeBackend();
    if (connect && haveEngine && native) {
        policyHandler_ =
            connect(native, "decide-policy",
                    reinterpret_cast<void*>(&HardenedWebView::OnDecidePolicy), this, nullptr, 0);
    }
    // The page policy still forbids scripts and every navigation is still refused; what is
    // missing goes to the log.
    if (!ScriptsOff()) LogLine(DiagLog::kWarning, "browser: scripts could not be switched off");
    if (!LinkHookActive())
        LogLine(DiagLog::kWarning, "browser: clicked links cannot be told apart, none is opened");
}

bool HardenedWebView::ScriptsOff() const {
    static const auto get = Function<GetFlag>("webkit_settings_get_enable_javascript");
    void* settings = SettingsOf(view_.get());
    return settings && get && get(settings) == 0;
}

bool HardenedWebView::IsPage(const wxString& url) const {
    return Comparable(url) == Comparable(page_);
}

void HardenedWebView::LoadFile(const std::string& path) {
    if (!view_) return;
    page_ = FileUrlOfPath(path);
    view_->LoadURL(page_);
}

void HardenedWebView::LoadHtml(const wxString& html) {
    if (!view_) return;
    page_ = "about:blank";
    view_->SetPage(html, wxString());
}

void HardenedWebView::OnNavigating(wxWebViewEvent& event) {
    // With the policy hook in place it decides (after this handler) and can tell clicks.
    if (LinkHookActive() || IsPage(event.GetURL())) return;
    event.Veto();
    ++refused_;
}

void HardenedWebView::OnNewWindow(wxWebViewEvent& event) {
    // Without scripts only a click (a link with a target) asks for a new window. The policy
    // hook normally refuses it before it gets here.
    ++refused_;
    Open(event.GetURL());
}

void HardenedWebView::Open(const wxString& url) {
    if (!IsExternalLinkUrl(BytesFromWx(url))) return;
    if (opener_) {
        opener_(url);
    } else {
        wxLaunchDefaultBrowser(url);
    }
}

int HardenedWebView::OnDecidePolicy(void*, void* decision, int type, void* data) {
    if (type != kNavigationDecision && type != kNewWindowDecision) return 0;
    static const auto getAction =
        Function<GetObject>("webkit_navigation_policy_decision_get_navigation_action");
    static const auto getType = Function<GetInt>("webkit_navigation_action_get_navigation_type");
    static const auto getRequest = Function<GetObject>("webkit_navigation_action_get_request");
    static const auto getUri = Function<GetText>("webkit_uri_request_get_uri");
    static const auto ignore = Function<Ignore>("webkit_policy_decision_ignore");
    auto* self = static_cast<HardenedWebView*>(data);
    void* action = getAction(decision);
    const char* uri = action ? getUri(getRequest(action)) : nullptr;
    const wxString url = wxString::FromUTF8(uri ? uri : "");
    if (type == kNavigationDecision && self->IsPage(url)) return 0;
    ignore(decision);
    ++self->refused_;
    if (action && getType(action) == kLinkClicked) self->Open(url);
    return 1;
}

}  // namespace korvo
