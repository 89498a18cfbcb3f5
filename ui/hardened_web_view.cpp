#include "ui/hardened_web_view.h"

#include <dlfcn.h>
#include <wx/filename.h>
#include <wx/uri.h>
#include <wx/utils.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "content/mail_header.h"
#include "platform/data_dir.h"
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
    "webkit_settings_set_enable_hyperlink_auditing",
};

// Newer engines keep this setting on whatever it is set to; their pings are stopped by the
// content filter and the page policy.
constexpr std::string_view kHyperlinkAuditing = "webkit_settings_get_enable_hyperlink_auditing";

// The engine's content blocker rules for the view: no load by a network scheme, whatever asks
// for it. The rules' expressions know no alternation, hence one rule for each scheme.
constexpr char kRemoteLoadRules[] =
    R"([{"trigger":{"url-filter":"^https?:"},"action":{"type":"block"}},)"
    R"({"trigger":{"url-filter":"^wss?:"},"action":{"type":"block"}},)"
    R"({"trigger":{"url-filter":"^ftp:"},"action":{"type":"block"}}])";
constexpr char kRemoteLoadRulesId[] = "korvo-no-remote-loads";

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

// The process's one compiled content filter: views made while it is compiled wait for it,
// views made later get it at once. Used on the UI thread only.
class ContentFilterSetup {
  public:
    enum class State { kIdle, kCompiling, kDone };

    static ContentFilterSetup& Get() {
        static ContentFilterSetup setup;
        return setup;
    }

    // Gives `view` the filter now, or when it is compiled. False when the view must wait.
    bool Attach(HardenedWebView* view) {
        if (state_ == State::kDone) {
            view->FilterReady(filter_);
            return true;
        }
        waiting_.push_back(view);
        if (state_ == State::kIdle) Compile();
        return state_ == State::kDone;
    }
    void Forget(HardenedWebView* view) { std::erase(waiting_, view); }

  private:
    using StoreNew = void* (*)(const char*);
    using StoreSave = void (*)(void*, const char*, void*, void*, void (*)(void*, void*, void*),
                               void*);
    using StoreSaveFinish = void* (*)(void*, void*, void**);
    using BytesNew = void* (*)(const void*, size_t);

    void Compile() {
        static const auto storeNew = Function<StoreNew>("webkit_user_content_filter_store_new");
        static const auto save = Function<StoreSave>("webkit_user_content_filter_store_save");
        static const auto bytesNew = Function<BytesNew>("g_bytes_new_static");
        static const auto bytesUnref = Function<Ignore>("g_bytes_unref");
        if (!storeNew || !save || !bytesNew || !bytesUnref ||
            !Symbol("webkit_user_content_filter_store_save_finish")) {
            Finish(nullptr);
            return;
        }
        // The compiled rules are kept as a file; the engine maps it for as long as it runs.
        std::string folder = DataDirectory();
        folder =
            (folder.empty() ? std::string(wxFileName::GetTempDir().utf8_str()) + "/" : folder) +
            "Cache/filters";
        state_ = State::kCompiling;
        store_ = storeNew(folder.c_str());
        void* bytes = bytesNew(kRemoteLoadRules, sizeof kRemoteLoadRules - 1);
        save(store_, kRemoteLoadRulesId, bytes, nullptr, &ContentFilterSetup::Saved, this);
        bytesUnref(bytes);
    }

    static void Saved(void*, void* result, void* data) {
        static const auto finish =
            Function<StoreSaveFinish>("webkit_user_content_filter_store_save_finish");
        static const auto errorFree = Function<Ignore>("g_error_free");
        auto* self = static_cast<ContentFilterSetup*>(data);
        void* error = nullptr;
        void* filter = finish(self->store_, result, &error);
        if (error && errorFree) errorFree(error);
        self->Finish(filter);
    }

    void Finish(void* filter) {
        state_ = State::kDone;
        filter_ = filter;  // kept for the life of the process
        if (!filter_) LogLine(DiagLog::kWarning, "browser: the remote load filter is missing");
        const std::vector<HardenedWebView*> waiting = std::move(waiting_);
        waiting_.clear();
        for (HardenedWebView* view : waiting) view->FilterReady(filter_);
    }

    State state_ = State::kIdle;
    void* store_ = nullptr;
    void* filter_ = nullptr;
    std::vector<HardenedWebView*> waiting_;
};

bool IsExternalLinkUrl(std::string_view url) {
    std::string scheme;
    for (const char c : url) {
        if (c == ':') break;
        scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (scheme.size() == url.size()) return false;  // no scheme at all
    return scheme == "http" || scheme == "https" || scheme == "mailto";
}

std::string LinkToHandOn(std::string_view url) {
    if (!IsExternalLinkUrl(url)) return {};
    if (AsciiLowerCopy(url.substr(0, 7)) != "mailto:") return std::string(url);
    std::string_view to = url.substr(7);
    to = to.substr(0, to.find_first_of("?#"));
    std::string address;
    for (size_t i = 0; i < to.size(); ++i) {
        char c = to[i];
        if (c == '%' && i + 2 < to.size() && std::isxdigit(static_cast<unsigned char>(to[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(to[i + 2]))) {
            c = static_cast<char>(std::stoi(std::string(to.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        }
        // Addresses and the commas between them; nothing a handler could read as more
        // parameters or as a second line.
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) ||
                           std::string_view("@.-_+,!$'*/=^`{|}~").find(c) != std::string_view::npos;
        if (!plain) return {};
        address += c;
    }
    if (address.find('@') == std::string::npos) return {};
    return "mailto:" + address;
}

wxString FileUrlOfPath(const std::string& path) {
    return wxFileName::FileNameToURL(wxFileName(WxFromBytes(path)));
}

HardenedWebView::HardenedWebView(wxWindow* parent, LinkOpener opener) : opener_(std::move(opener)) {
    view_ = wxWebView::New(parent, wxID_ANY, "about:blank");
    Harden();
    InstallContentFilter();
    view_->Bind(wxEVT_WEBVIEW_NAVIGATING, &HardenedWebView::OnNavigating, this);
    view_->Bind(wxEVT_WEBVIEW_NEWWINDOW, &HardenedWebView::OnNewWindow, this);
}

HardenedWebView::~HardenedWebView() {
    ContentFilterSetup::Get().Forget(this);
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

void HardenedWebView::InstallContentFilter() {
    waitingForFilter_ = true;
    if (ContentFilterSetup::Get().Attach(this)) waitingForFilter_ = false;
}

void HardenedWebView::FilterReady(void* filter) {
    waitingForFilter_ = false;
    static const auto getManager = Function<GetObject>("webkit_web_view_get_user_content_manager");
    static const auto addFilter =
        Function<void (*)(void*, void*)>("webkit_user_content_manager_add_filter");
    void* native = view_ ? view_->GetNativeBackend() : nullptr;
    void* manager = native && getManager ? getManager(native) : nullptr;
    if (filter && manager && addFilter) {
        addFilter(manager, filter);
        filterActive_ = true;
    }
    // The page policy still stops remote loads of a letter; the missing lock goes to the log.
    if (!filterActive_) LogLine(DiagLog::kWarning, "browser: remote loads are not filtered");
    RunHeldLoad();
}

bool HardenedWebView::SettingsLocked() const {
    void* settings = SettingsOf(view_.get());
    if (!settings) return false;
    for (std::string name : kSwitchedOff) {
        name.replace(name.find("_set_"), 5, "_get_");
        const auto get = Function<GetFlag>(name.c_str());
        if (get && get(settings) != 0 && name != kHyperlinkAuditing) return false;
    }
    return ScriptsOff();
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
    // Each load its own address, so that the engine's question about a load that a newer one
    // overtook is not taken for the newer one.
    page_ = FileUrlOfPath(path) + wxString::Format("?load=%d", ++loads_);
    heldLoad_ = true;
    heldIsHtml_ = false;
    heldText_.clear();
    if (!waitingForFilter_) RunHeldLoad();
}

void HardenedWebView::LoadHtml(const wxString& html) {
    if (!view_) return;
    page_ = "about:blank";
    heldLoad_ = true;
    heldIsHtml_ = true;
    heldText_ = html;
    if (!waitingForFilter_) RunHeldLoad();
}

void HardenedWebView::RunHeldLoad() {
    if (!heldLoad_ || !view_) return;
    heldLoad_ = false;
    loadPermitted_ = true;
    if (heldIsHtml_) {
        view_->SetPage(heldText_, wxString());
    } else {
        view_->LoadURL(page_);
    }
    heldText_.clear();
}

void HardenedWebView::OnNavigating(wxWebViewEvent& event) {
    // With the policy hook in place it decides (after this handler) and can tell clicks.
    if (LinkHookActive()) return;
    if (IsPage(event.GetURL()) && (event.GetURL() == "about:blank" || loadPermitted_)) {
        if (event.GetURL() != "about:blank") loadPermitted_ = false;
        return;
    }
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
    const std::string link = LinkToHandOn(BytesFromWx(url));
    if (link.empty()) return;
    if (opener_) {
        opener_(WxFromBytes(link));
    } else {
        wxLaunchDefaultBrowser(WxFromBytes(link));
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
    // Only the loads this object started: a page that reloads itself (a refresh to its own
    // address) would otherwise do so for ever.
    if (type == kNavigationDecision && self->IsPage(url)) {
        // The empty page holds nothing that could load anything.
        if (url == "about:blank") return 0;
        if (self->loadPermitted_) {
            self->loadPermitted_ = false;
            return 0;
        }
    }
    ignore(decision);
    ++self->refused_;
    if (action && getType(action) == kLinkClicked) self->Open(url);
    return 1;
}

}  // namespace korvo
