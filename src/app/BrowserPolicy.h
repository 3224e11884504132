#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace velmora {

// The rules of the two web views that need no platform at all: which navigations go
// through, the native toolbar's texts in every interface language, and the scripts the
// application browser runs. MainWindowController applies them; tests check them directly.

enum class WebViewRole { Interface, Browser, Other };

enum class NavigationVerdict {
    Allow,
    Cancel,
    CancelAndOpenInBrowser,   // a web link clicked in the interface: shown in the application browser
    CancelWithBlockedMessage, // a non-web link followed inside the application browser
};

// The lower-cased scheme of an address ("https", "mailto"), or empty when it has none.
std::string urlScheme(const std::string& url);
// True when the address parses as an http or https address with a host, read as the browser
// engine reads it.
bool isWebAddress(const std::string& url);
// The address the engine would load (see WebUrl), or nullopt when it is not a web address.
std::optional<std::string> canonicalWebAddress(const std::string& url);
// The local path of a file address, decoded; nullopt for anything else.
std::optional<std::filesystem::path> fileUrlPath(const std::string& url);
// file:// address of a local path, percent-encoded where needed.
std::string fileUrl(const std::filesystem::path& path);
// True when `path` is `root` or lies inside it, comparing whole path components after
// resolving "." and ".." (so /srv/ui-old is not inside /srv/ui).
bool isInsideFolder(const std::filesystem::path& path, const std::filesystem::path& root);

// The decision for one navigation request. `uiRoot` is the folder of the loaded interface
// page (absent before it is loaded).
NavigationVerdict decideNavigation(const std::string& url, WebViewRole source,
                                   const std::optional<std::filesystem::path>& uiRoot);

// Whether a message that reached the "velmora" script message handler may be served: only
// when it came from the interface view while that view shows a page of the interface's own
// folder. A page that navigated elsewhere (or the application browser) never reaches the core.
bool isTrustedBridgeSender(WebViewRole source, const std::string& pageUrl,
                           const std::optional<std::filesystem::path>& uiRoot);

struct ToolbarTexts {
    std::string assist;
    std::string reload;
    std::string close;
    std::string browserTitle;  // title shown while the browser is closed
    std::string securityLabel; // trust badge shown while the browser is closed
};

// `language` is normalised first (es, fr, de, it, pt, otherwise en).
ToolbarTexts toolbarTexts(const std::string& language);
// Title for the browser mode: "website", "application"; anything else "Application browser".
std::string browserModeLabel(const std::string& language, const std::string& mode);
// "Review · 45/100" for a rating; without one the badge is the toolbar's securityLabel.
std::string securityBadgeText(const std::string& label, int64_t score);
// "Assist complete: 7 fields · resume attached · review before submitting" and its translations.
std::string buildAssistSummary(const std::string& language, int64_t filledCount, bool resumeAttached);

inline constexpr const char* kProfilePlaceholder = "__VELMORA_PROFILE__";
// Every occurrence of the placeholder replaced by the profile JSON, as plain text.
std::string substituteProfile(const std::string& script, const std::string& profileJson);

// Scripts run in the application browser to hand a resume to the marked upload field. Both
// find input[type=file][data-velmora-resume="1"] in the document, then depth-first through
// every open shadow root. The click script clicks it and answers true (false when absent);
// the check script answers true only when the field holds a file.
const std::string& uploadClickScript();
const std::string& uploadCheckScript();

} // namespace velmora
