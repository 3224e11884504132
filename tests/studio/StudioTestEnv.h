#pragma once

// A complete, real Resume Studio over a fresh data folder (SQLite file, key store, Application
// Profile and resume services; only the model server is a loopback stand-in or absent), sample
// resumes, and the read-back of exported PDFs through poppler.

#include "resume/ResumeTestSupport.h" // errorOf, runCommand, TempDir and the resume service
#include "support/ModelFixtureServer.h"
#include "core/AppPaths.h"
#include "core/Text.h"
#include "studio/ResumeStudioService.h"

#include <gtest/gtest.h>
#include <poppler-document.h>
#include <poppler-page.h>

// Documents and requests are written with designated initializers that name only what a case sets.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace velmora::testing {

// Nothing listens on the discard port, so a request there is refused at once.
inline const char* kNoModel = "http://127.0.0.1:9";

struct StudioEnv {
    TempDir dir;
    std::filesystem::path root = dir.path() / "data";
    std::shared_ptr<AppPaths> paths = std::make_shared<AppPaths>(root);
    std::shared_ptr<FixedClock> clock =
        std::make_shared<FixedClock>(std::chrono::system_clock::time_point(std::chrono::milliseconds(1772357400000)));
    std::shared_ptr<SQLiteDatabase> sqlite = std::make_shared<SQLiteDatabase>(paths->database().string());
    std::shared_ptr<DatabaseService> db = started(std::make_shared<DatabaseService>(sqlite, clock));
    std::shared_ptr<SecureStoreService> store = std::make_shared<SecureStoreService>(paths->secureStoreDirectory());
    std::shared_ptr<ApplicationProfileService> profiles =
        std::make_shared<ApplicationProfileService>(db, store, paths, clock);
    std::shared_ptr<ResumeStudioService> studio = restart();

    // Over a data folder that outlives this object, as successive runs of the program see it.
    explicit StudioEnv(std::filesystem::path at = {}, const std::string& model = kNoModel)
        : root(at.empty() ? dir.path() / "data" : std::move(at)) {
        db->setSetting("ollamaUrl", model);
    }
    // A second service over the same files, as the next start of the program would make.
    std::shared_ptr<ResumeStudioService> restart() {
        return started(std::make_shared<ResumeStudioService>(sqlite, std::make_shared<ResumeService>(db), profiles,
                                                             store, clock));
    }

private:
    template <typename T> static std::shared_ptr<T> started(std::shared_ptr<T> service) {
        service->initialize();
        return service;
    }
};

inline ResumeDocument sampleResume() {
    return {.targetRole = "Senior Backend Engineer",
            .contact = "Jane Doe\njane@example.com\n+1 555 0100\nLisbon, Portugal",
            .summary = "Backend engineer with eight years of distributed systems work.\nLeads small teams.",
            .skills = "Go, Rust, PostgreSQL, Kafka",
            .experience = "Acme Corp — Staff Engineer (2020–2024)\n- Cut p99 latency of the billing API by 40%\n"
                          "• Ran the migration to event sourcing\nMentored four engineers",
            .education = "BSc Computer Science, University of Lisbon",
            .certifications = "AWS Solutions Architect",
            .projects = "Open-source rate limiter in Rust"};
}

// The text of each page, or nothing when poppler cannot open the file.
inline std::vector<std::string> pdfPages(const std::filesystem::path& file) {
    std::vector<std::string> pages;
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(file.string()));
    for (int i = 0; doc && !doc->is_locked() && i < doc->pages(); ++i) {
        auto bytes = std::unique_ptr<poppler::page>(doc->create_page(i))->text().to_utf8();
        pages.emplace_back(bytes.begin(), bytes.end());
    }
    return pages;
}

} // namespace velmora::testing
