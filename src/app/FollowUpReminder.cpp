#include "app/FollowUpReminder.h"

#include "app/Actions.h"
#include "core/Text.h"
#include "storage/DatabaseService.h"

namespace velmora {

namespace {

struct ReminderTexts {
    const char* title;
    const char* one;
    const char* many; // {count}
};

ReminderTexts textsFor(const std::string& language) {
    if (language == "es")
        return {"Seguimientos pendientes", "Hay 1 candidatura pendiente de seguimiento.",
                "Hay {count} candidaturas pendientes de seguimiento."};
    if (language == "fr")
        return {"Relances à faire", "1 candidature attend une relance.", "{count} candidatures attendent une relance."};
    if (language == "de")
        return {"Nachfassen fällig", "Bei 1 Bewerbung ist Nachfassen fällig.",
                "Bei {count} Bewerbungen ist Nachfassen fällig."};
    if (language == "it")
        return {"Solleciti in scadenza", "1 candidatura da sollecitare.", "{count} candidature da sollecitare."};
    if (language == "pt")
        return {"Acompanhamentos pendentes", "1 candidatura aguarda acompanhamento.",
                "{count} candidaturas aguardam acompanhamento."};
    return {"Follow-ups due", "1 application is due for a follow-up.", "{count} applications are due for a follow-up."};
}

} // namespace

bool remindOfDueFollowUps(const DatabaseService& db, DesktopNotifier& notifier) {
    const int64_t due = db.trackerCounts().value("followUpsDue", int64_t{0});
    if (due <= 0) return false;
    const ReminderTexts texts = textsFor(defaultLanguage(db));
    const std::string body = due == 1 ? texts.one : text::replaceAll(texts.many, "{count}", std::to_string(due));
    notifier.notify("velmora-follow-ups", texts.title, body);
    return true;
}

} // namespace velmora
