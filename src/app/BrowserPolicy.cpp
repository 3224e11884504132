#include "app/BrowserPolicy.h"

#include "app/Actions.h"
#include "core/Text.h"
#include "core/WebUrl.h"

#include <curl/curl.h>

#include <map>
#include <memory>

namespace velmora {

namespace {

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlStringDeleter {
    void operator()(char* s) const { curl_free(s); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

UrlHandle parseUrl(const std::string& url, unsigned flags) {
    UrlHandle handle(curl_url());
    if (!handle) return nullptr;
    if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), flags | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return nullptr;
    return handle;
}

std::optional<std::string> urlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK || !raw) return std::nullopt;
    std::unique_ptr<char, CurlStringDeleter> owned(raw);
    return std::string(raw);
}

const text::Regex& schemePattern() {
    // RFC 3986: a letter, then letters, digits, "+", "-" or ".", then the colon.
    static const text::Regex pattern("^([A-Za-z][A-Za-z0-9+.\\-]*):");
    return pattern;
}

struct LanguageTexts {
    ToolbarTexts toolbar;
    std::string websiteTitle;
    std::string applicationTitle;
    std::string summaryPrefix;
    std::string fieldsWord;
    std::string attachedPhrase;
    std::string reviewPhrase;
};

const LanguageTexts& textsFor(const std::string& language) {
    static const std::map<std::string, LanguageTexts> table = {
        {"en",
         {{"✦ Assist Apply", "↻ Reload", "✕ Close", "Application browser", "Secure browser"},
          "Web browser",
          "Application browser",
          "Assist complete: ",
          " fields",
          " · resume attached",
          " · review before submitting"}},
        {"es",
         {{"✦ Ayuda para solicitar", "↻ Recargar", "✕ Cerrar", "Navegador de solicitudes", "Navegador seguro"},
          "Navegador web",
          "Navegador de solicitudes",
          "Ayuda completada: ",
          " campos",
          " · currículum adjunto",
          " · revisa antes de enviar"}},
        {"fr",
         {{"✦ Aide candidature", "↻ Actualiser", "✕ Fermer", "Navigateur de candidature", "Navigateur sécurisé"},
          "Navigateur web",
          "Navigateur de candidature",
          "Aide terminée : ",
          " champs",
          " · CV joint",
          " · vérifiez avant l’envoi"}},
        {"de",
         {{"✦ Bewerbung ausfüllen", "↻ Neu laden", "✕ Schließen", "Bewerbungsbrowser", "Sicherer Browser"},
          "Webbrowser",
          "Bewerbungsbrowser",
          "Ausgefüllt: ",
          " Felder",
          " · Lebenslauf angehängt",
          " · vor dem Senden prüfen"}},
        {"it",
         {{"✦ Assistenza candidatura", "↻ Ricarica", "✕ Chiudi", "Browser candidatura", "Browser sicuro"},
          "Browser web",
          "Browser candidatura",
          "Assistenza completata: ",
          " campi",
          " · curriculum allegato",
          " · controlla prima di inviare"}},
        {"pt",
         {{"✦ Ajudar candidatura", "↻ Recarregar", "✕ Fechar", "Navegador de candidatura", "Navegador seguro"},
          "Navegador web",
          "Navegador de candidatura",
          "Ajuda concluída: ",
          " campos",
          " · currículo anexado",
          " · revise antes de enviar"}},
    };
    return table.at(normalizeLanguage(language));
}

// Shared by the click and check scripts: the marked field in the document, else depth-first
// through open shadow roots (closed ones are out of reach by design).
const char* const kFindResumeInput = R"JS(
  const selector = 'input[type=file][data-velmora-resume="1"]';
  const find = (root) => {
    const direct = root.querySelector(selector);
    if (direct) return direct;
    for (const element of root.querySelectorAll('*')) {
      if (element.shadowRoot) {
        const hit = find(element.shadowRoot);
        if (hit) return hit;
      }
    }
    return null;
  };
  const input = find(document);
)JS";

} // namespace

std::string urlScheme(const std::string& url) {
    auto match = schemePattern().firstMatch(url);
    if (!match || !match->groups[1]) return "";
    return text::lower(*match->groups[1]);
}

bool isWebAddress(const std::string& url) {
    return url.find('\0') == std::string::npos && WebUrl::parse(url).has_value();
}

std::optional<std::string> canonicalWebAddress(const std::string& url) {
    if (!isWebAddress(url)) return std::nullopt;
    return WebUrl::parse(url)->href();
}

std::optional<std::filesystem::path> fileUrlPath(const std::string& url) {
    if (urlScheme(url) != "file") return std::nullopt;
    auto handle = parseUrl(url, 0);
    if (!handle) return std::nullopt;
    // A file address naming another machine is not one of our local files.
    if (auto host = urlPart(handle.get(), CURLUPART_HOST); host && !host->empty() && *host != "localhost")
        return std::nullopt;
    auto path = urlPart(handle.get(), CURLUPART_PATH, CURLU_URLDECODE);
    if (!path || path->empty() || path->find('\0') != std::string::npos) return std::nullopt;
    return std::filesystem::path(*path);
}

std::string fileUrl(const std::filesystem::path& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : path.string()) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                     c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

bool isInsideFolder(const std::filesystem::path& path, const std::filesystem::path& root) {
    if (path.empty() || root.empty() || !path.is_absolute() || !root.is_absolute()) return false;
    auto normalPath = path.lexically_normal();
    auto normalRoot = root.lexically_normal();
    auto p = normalPath.begin();
    for (auto r = normalRoot.begin(); r != normalRoot.end(); ++r) {
        if (r->empty()) continue; // trailing separator of a folder path
        if (p == normalPath.end() || *p != *r) return false;
        ++p;
    }
    return true;
}

NavigationVerdict decideNavigation(const std::string& url, WebViewRole source,
                                   const std::optional<std::filesystem::path>& uiRoot) {
    if (url.empty()) return NavigationVerdict::Cancel;
    std::string scheme = urlScheme(url);
    switch (source) {
    case WebViewRole::Interface: {
        if (scheme == "file") {
            auto path = fileUrlPath(url);
            if (path && uiRoot && isInsideFolder(*path, *uiRoot)) return NavigationVerdict::Allow;
            return NavigationVerdict::Cancel;
        }
        if (isWebAddress(url)) return NavigationVerdict::CancelAndOpenInBrowser;
        return NavigationVerdict::Cancel;
    }
    case WebViewRole::Browser:
        if (scheme == "about") return NavigationVerdict::Allow;
        if (isWebAddress(url)) return NavigationVerdict::Allow;
        return NavigationVerdict::CancelWithBlockedMessage;
    case WebViewRole::Other:
        break;
    }
    return NavigationVerdict::Allow;
}

bool isTrustedBridgeSender(WebViewRole source, const std::string& pageUrl,
                           const std::optional<std::filesystem::path>& uiRoot) {
    return source == WebViewRole::Interface && uiRoot && urlScheme(pageUrl) == "file" &&
           decideNavigation(pageUrl, WebViewRole::Interface, uiRoot) == NavigationVerdict::Allow;
}

ToolbarTexts toolbarTexts(const std::string& language) { return textsFor(language).toolbar; }

std::string browserModeLabel(const std::string& language, const std::string& mode) {
    const auto& texts = textsFor(language);
    if (mode == "website") return texts.websiteTitle;
    if (mode == "application") return texts.applicationTitle;
    return "Application browser";
}

std::string securityBadgeText(const std::string& label, int64_t score) {
    return label + " · " + std::to_string(score) + "/100";
}

std::string buildAssistSummary(const std::string& language, int64_t filledCount, bool resumeAttached) {
    const auto& texts = textsFor(language);
    std::string summary = texts.summaryPrefix + std::to_string(filledCount) + texts.fieldsWord;
    if (resumeAttached) summary += texts.attachedPhrase;
    return summary + texts.reviewPhrase;
}

std::string substituteProfile(const std::string& script, const std::string& profileJson) {
    return text::replaceAll(script, kProfilePlaceholder, profileJson);
}

const std::string& uploadClickScript() {
    static const std::string script = std::string("(() => {") + kFindResumeInput + R"JS(
  if (!input) return false;
  input.click();
  return true;
})())JS";
    return script;
}

const std::string& uploadCheckScript() {
    static const std::string script = std::string("(() => {") + kFindResumeInput + R"JS(
  return !!(input && input.files && input.files.length > 0);
})())JS";
    return script;
}

} // namespace velmora
