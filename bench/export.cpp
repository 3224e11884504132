// Resume export timings: DOCX (libzip, in memory, then an atomic write) and PDF (Pango over a
// Cairo PDF surface) of a two-page resume, against converting the same DOCX with headless
// LibreOffice, the tool a user would otherwise reach for.

#include "studio/DocxWriter.h"
#include "studio/PdfWriter.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <poppler-document.h>
#include <string>

using namespace velmora;
using namespace velmora::testing;

namespace {

// A resume with enough experience for two full pages: 85 numbered lines under one role.
ResumeDocument twoPageResume() {
    ResumeDocument d;
    d.name = "Backend CV";
    d.templateName = "modern";
    d.targetRole = "Senior Backend Engineer";
    d.language = "en";
    d.contact = "Jane Doe\njane@example.com\n+1 555 0100\nLisbon, Portugal";
    d.summary = "Backend engineer with eight years of distributed systems work.\nLeads small teams.";
    d.skills = "Go, Rust, PostgreSQL, Kafka";
    d.education = "BSc Computer Science, University of Lisbon";
    d.certifications = "AWS Solutions Architect";
    d.projects = "Open-source rate limiter in Rust";
    d.experience = "Acme Corp — Staff Engineer (2020–2024)\n";
    for (int i = 1; i <= 85; ++i) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "Line%03d delivered a measurable improvement to the platform team's deployment pipeline\n", i);
        d.experience += line;
    }
    return d;
}

void BM_BuildDocxPackage(benchmark::State& state) {
    ResumeDocument d = twoPageResume();
    size_t bytes = 0;
    for (auto _ : state) {
        std::string package = buildDocxPackage(d);
        bytes = package.size();
        benchmark::DoNotOptimize(package);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildDocxPackage)->Unit(benchmark::kMillisecond);

void BM_ExportDocx(benchmark::State& state) {
    TempDir dir;
    ResumeDocument d = twoPageResume();
    auto out = dir / "resume.docx";
    for (auto _ : state) exportDocx(out, d);
}
BENCHMARK(BM_ExportDocx)->Unit(benchmark::kMillisecond);

void BM_ExportPdf(benchmark::State& state) {
    TempDir dir;
    ResumeDocument d = twoPageResume();
    auto out = dir / "resume.pdf";
    int pages = 0;
    for (auto _ : state) pages = writePdf(out, d).pages;
    state.counters["pages"] = pages;
}
BENCHMARK(BM_ExportPdf)->Unit(benchmark::kMillisecond);

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The command's standard output; its exit status in *status.
std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int result = ::pclose(pipe);
    if (status) *status = result;
    return output;
}

// The baseline: LibreOffice converting the exported DOCX to PDF (warm profile, so its
// first-run set-up is not counted).
void BM_LibreOfficeDocxToPdf(benchmark::State& state) {
    if (runCommand("command -v soffice").empty()) {
        state.SkipWithError("LibreOffice (soffice) is not installed");
        return;
    }
    TempDir dir;
    auto docx = dir / "resume.docx";
    exportDocx(docx, twoPageResume());
    const std::string command = "soffice -env:UserInstallation=" + shellQuote("file://" + (dir / "profile").string()) +
                                " --headless --convert-to pdf --outdir " + shellQuote((dir / "out").string()) + " " +
                                shellQuote(docx.string()) + " >/dev/null 2>&1";
    runCommand(command); // warm-up
    int status = 0;
    for (auto _ : state) runCommand(command, &status);
    if (status != 0) state.SkipWithError("LibreOffice conversion failed");
    std::unique_ptr<poppler::document> pdf(poppler::document::load_from_file((dir / "out" / "resume.pdf").string()));
    state.counters["pages"] = pdf ? pdf->pages() : 0;
}
BENCHMARK(BM_LibreOfficeDocxToPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
