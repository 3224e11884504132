#include "app/BrowserErrorPage.h"

#include "app/Actions.h"
#include "app/BrowserPolicy.h"

#include <array>
#include <map>

namespace velmora {

namespace {

struct ErrorTexts {
    std::array<const char*, 5> titles; // by LoadFailure
    const char* hint;
    const char* retry;
    const char* address;
};

const ErrorTexts& textsFor(const std::string& language) {
    static const std::map<std::string, ErrorTexts> all = {
        {"en",
         {{"You appear to be offline", "This address could not be found", "The secure connection could not be verified",
           "The page took too long to answer", "This page could not be opened"},
          "Check the internet connection, then try again. Nothing you entered was sent.",
          "Retry",
          "Address"}},
        {"es",
         {{"Parece que no hay conexión", "No se encontró esta dirección", "No se pudo verificar la conexión segura",
           "La página tardó demasiado en responder", "No se pudo abrir esta página"},
          "Comprueba la conexión a internet y vuelve a intentarlo. No se envió nada de lo que escribiste.",
          "Reintentar",
          "Dirección"}},
        {"fr",
         {{"Vous semblez hors ligne", "Cette adresse est introuvable", "La connexion sécurisée n’a pas pu être vérifiée",
           "La page a mis trop de temps à répondre", "Cette page n’a pas pu être ouverte"},
          "Vérifiez la connexion internet, puis réessayez. Rien de ce que vous avez saisi n’a été envoyé.",
          "Réessayer",
          "Adresse"}},
        {"de",
         {{"Sie scheinen offline zu sein", "Diese Adresse wurde nicht gefunden",
           "Die sichere Verbindung konnte nicht geprüft werden", "Die Seite hat zu lange nicht geantwortet",
           "Diese Seite konnte nicht geöffnet werden"},
          "Prüfen Sie die Internetverbindung und versuchen Sie es erneut. Nichts von Ihren Eingaben wurde gesendet.",
          "Erneut versuchen",
          "Adresse"}},
        {"it",
         {{"Sembra che tu sia offline", "Impossibile trovare questo indirizzo",
           "Impossibile verificare la connessione sicura", "La pagina ha impiegato troppo a rispondere",
           "Impossibile aprire questa pagina"},
          "Controlla la connessione a internet e riprova. Nulla di ciò che hai inserito è stato inviato.",
          "Riprova",
          "Indirizzo"}},
        {"pt",
         {{"Parece estar sem ligação", "Não foi possível encontrar este endereço",
           "Não foi possível verificar a ligação segura", "A página demorou demasiado a responder",
           "Não foi possível abrir esta página"},
          "Verifique a ligação à internet e tente de novo. Nada do que escreveu foi enviado.",
          "Tentar de novo",
          "Endereço"}},
    };
    return all.at(normalizeLanguage(language));
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

std::string browserErrorPage(const std::string& address, LoadFailure failure, const std::string& language) {
    const ErrorTexts& texts = textsFor(language);
    const std::string title = texts.titles[static_cast<size_t>(failure)];
    const std::string shown = escapeHtml(address);
    std::string html =
        "<!doctype html><html lang=\"" + normalizeLanguage(language) +
        "\"><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
        "<title>" + escapeHtml(title) + "</title><style>"
        "body{margin:0;font:15px/1.5 system-ui,'DejaVu Sans',sans-serif;background:#f7f7f7;color:#1f262d}"
        "main{max-width:560px;margin:12vh auto;padding:28px 32px;background:#fff;border:1px solid #e1e5ea;border-radius:10px}"
        "h1{font-size:20px;margin:0 0 8px}p{margin:8px 0;color:#4b5561}"
        "code{display:block;margin:4px 0 18px;padding:8px 10px;background:#f4f6f8;border-radius:6px;"
        "overflow-wrap:anywhere;font:13px 'DejaVu Sans Mono',monospace;color:#1f262d}"
        "a.retry{display:inline-block;padding:8px 16px;border-radius:7px;background:#b35300;color:#fff;"
        "text-decoration:none;font-weight:600}a.retry:focus{outline:2px solid #1f262d;outline-offset:2px}"
        "@media (prefers-color-scheme:dark){body{background:#14181d;color:#e8ecef}"
        "main{background:#1d232a;border-color:#333c45}p{color:#c3cad1}code{background:#232a32;color:#e8ecef}"
        "a.retry{background:#f59a3c;color:#1a1206}}"
        "</style></head><body><main><h1>" + escapeHtml(title) + "</h1><p>" + texts.hint + "</p><p>" +
        texts.address + "</p><code>" + shown + "</code>";
    if (isWebAddress(address)) html += "<a class=\"retry\" href=\"" + shown + "\">" + texts.retry + "</a>";
    return html + "</main></body></html>";
}

} // namespace velmora
