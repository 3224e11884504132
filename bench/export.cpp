// Resume export timings: DOCX (libzip, in memory, then an atomic write) and PDF (Pango over a
// Cairo PDF surface) of a two-page resume, against converting the same DOCX with headless
// LibreOffice, the tool a user would otherwise reach for.

#include "studio/DocxWriter.h"
#include "studio/ExportTestSupport.h"
#include "studio/PdfWriter.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

using namespace velmora;
using namespace velmora::testing;

namespace {

// The sample resume with enough experience for two full pages.
ResumeDocument twoPageResume() {
    ResumeDocument d = longResume(85);
    d.experience = "Acme Corp — Staff Engineer (2020–2024)\n" + d.experience;
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
    state.counters["pages"] = static_cast<double>(readPdf(dir / "out" / "resume.pdf").pageTexts.size());
}
BENCHMARK(BM_LibreOfficeDocxToPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
