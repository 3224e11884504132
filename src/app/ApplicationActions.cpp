// Bridge actions of the application tracker: the entries, their stages and follow-ups, and
// the CSV export through the save dialog.
#include "app/Actions.h"

#include "core/CsvWriter.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "studio/AtomicFile.h"

namespace velmora {

namespace {

// A key the page did not send (or sent as something other than text) is left unchanged.
std::optional<std::string> given(const json& payload, const char* key) {
    if (!payload.is_object()) return std::nullopt;
    auto it = payload.find(key);
    if (it == payload.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

DatabaseService::NewApplication newApplication(const json& payload) {
    DatabaseService::NewApplication entry;
    const int64_t jobId = JSONTools::i64(payload, "jobId", 0);
    if (jobId > 0) entry.jobId = jobId;
    entry.title = JSONTools::s(payload, "title", "");
    entry.company = JSONTools::s(payload, "company", "");
    entry.url = JSONTools::s(payload, "url", "");
    entry.status = JSONTools::s(payload, "status", "Saved");
    entry.notes = JSONTools::s(payload, "notes", "");
    return entry;
}

std::string applicationsCsv(const json& applications) {
    CsvWriter csv;
    csv.addRow({"Title", "Company", "Link", "Stage", "Applied", "Follow-up", "Stage changed", "First opened",
                "Last opened", "Notes"});
    for (const auto& app : applications) {
        csv.addRow({app.value("title", ""), app.value("company", ""), app.value("url", ""), app.value("status", ""),
                    app.value("appliedAt", ""), app.value("followUpAt", ""), app.value("statusChangedAt", ""),
                    app.value("firstOpenedAt", ""), app.value("lastOpenedAt", ""), app.value("notes", "")});
    }
    return csv.text();
}

json exportApplicationsCsv(AppContext& ctx) {
    if (!ctx.dialogs) return json{{"saved", false}};
    // Read before asking, so a database failure is reported instead of an empty file.
    const json applications = ctx.db->getApplications();
    auto chosen = ctx.dialogs->chooseSaveFile("Export applications as CSV", "Velmora-Applications.csv", {"csv"});
    if (!chosen) return json{{"saved", false}};
    std::filesystem::path path = *chosen;
    if (text::lower(path.extension().string()) != ".csv") path += ".csv";
    try {
        writeFileAtomically(path, applicationsCsv(applications));
    } catch (const std::system_error& e) {
        throw VelmoraError(describeWriteError(path, e));
    }
    return json{{"saved", true}, {"path", path.string()}, {"count", applications.size()}};
}

} // namespace

void registerApplicationActions(Bridge& bridge, AppContext& ctx) {
    bridge.addSync("getApplications", [&ctx](const json&) { return ctx.db->getApplications(); });

    bridge.addSync("addApplication", [&ctx](const json& payload) { return ctx.db->addApplication(newApplication(payload)); });

    bridge.addSync("updateApplication", [&ctx](const json& payload) {
        auto application = ctx.db->updateApplication(
            JSONTools::i64(payload, "id", 0),
            {given(payload, "status"), given(payload, "notes"), given(payload, "followUpAt")});
        return json{{"ok", true}, {"application", application}};
    });

    bridge.addSync("deleteApplication", [&ctx](const json& payload) {
        ctx.db->deleteApplication(JSONTools::i64(payload, "id", 0));
        return json{{"ok", true}};
    });

    bridge.addSync("exportApplicationsCsv", [&ctx](const json&) { return exportApplicationsCsv(ctx); });
}

} // namespace velmora
