#include "app/SettingsActions.h"

#include "app/Actions.h"
#include "core/Text.h"
#include "core/CountryLocationService.h"

namespace velmora {

std::string normalizeTheme(const std::string& value) {
    const std::string lower = text::lower(text::trim(value));
    return (lower == "light" || lower == "dark") ? lower : "system";
}

namespace {

// Every settable text is short (a job title, search words, a country name). Values are cut to
// this many user-perceived characters when saved and when shown.
constexpr size_t kMaxSettingCharacters = 200;

// Cut before anything counts the whole text: a value stored by an older version may be huge.
std::string bounded(std::string value) {
    if (value.size() > kMaxSettingCharacters) value = text::prefixCharacters(value, kMaxSettingCharacters);
    return value;
}

} // namespace

json publicSettings(const DatabaseService& db) {
    return json{
        {"searchIntervalHours", db.getSetting("searchIntervalHours", "24")},
        {"jobTitle", bounded(db.getSetting("jobTitle", ""))},
        {"keywords", bounded(db.getSetting("keywords", ""))},
        {"locationMode", CountryLocationService::normalizeMode(db.getSetting("locationMode", "worldwide"))},
        {"homeCountryCode", CountryLocationService::normalizeCountryCode(db.getSetting("homeCountryCode", ""))},
        {"homeCountryName", bounded(db.getSetting("homeCountryName", ""))},
        {"language", normalizeLanguage(db.getSetting("language", "en"))},
        {"lastJobSync", db.getSetting("lastJobSync", "")},
        {"theme", normalizeTheme(db.getSetting("theme", "system"))},
        {"welcomeDone", db.getSetting("welcomeDone", "") == "1"},
    };
}

void saveSettings(DatabaseService& db, const json& payload) {
    static const char* const settable[] = {"jobTitle",        "keywords",        "locationMode",       "homeCountryCode",
                                           "homeCountryName", "searchIntervalHours", "language",
                                           "theme",           "welcomeDone"};
    if (!payload.is_object()) return;
    for (const auto& [key, raw] : payload.items()) {
        bool known = false;
        for (const char* k : settable) known = known || key == k;
        if (!known) continue;
        // null (a field the page left unset) keeps the stored value: as text it would be "null",
        // and the sync would search for that word. Lists and objects are no setting either.
        if (raw.is_null() || raw.is_structured()) continue;
        std::string value = text::trim(JSONTools::describe(raw));
        value = bounded(std::move(value));
        if (key == "searchIntervalHours") {
            if (value != "1" && value != "6" && value != "12" && value != "24") value = "24";
        } else if (key == "locationMode") {
            value = CountryLocationService::normalizeMode(value);
        } else if (key == "homeCountryCode") {
            value = CountryLocationService::normalizeCountryCode(value);
        } else if (key == "language") {
            value = normalizeLanguage(value);
        } else if (key == "theme") {
            value = normalizeTheme(value);
        } else if (key == "welcomeDone") {
            value = (value == "true" || value == "1") ? "1" : "";
        }
        db.setSetting(key, value);
    }
}

void registerSettingsActions(Bridge& bridge, AppContext& ctx) {
    bridge.addSync("getSettings", [&ctx](const json&) { return publicSettings(*ctx.db); });
    bridge.addSync("saveSettings", [&ctx](const json& payload) {
        saveSettings(*ctx.db, payload);
        if (ctx.applyNativeLanguage) ctx.applyNativeLanguage();
        return publicSettings(*ctx.db);
    });
}

} // namespace velmora
