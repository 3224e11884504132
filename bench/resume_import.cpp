// Resume import and analysis timings: PDF extraction against poppler's own pdftotext on the
// same two-page file, DOCX extraction, and the rule-based analysis of a 1,000-word resume.

#include "resume/ResumeService.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <string>

extern char** environ;

namespace {

std::string fixture(const std::string& name) { return std::string(VELMORA_FIXTURES_DIR) + "/resumes/" + name; }

void BM_ExtractPdfTwoPages(benchmark::State& state) {
    std::string path = fixture("two-page.pdf");
    for (auto _ : state) benchmark::DoNotOptimize(velmora::ResumeService::extractText(path));
}
BENCHMARK(BM_ExtractPdfTwoPages)->Unit(benchmark::kMillisecond);

// The reference: the pdftotext program on the same file, text to /dev/null (process start
// included, since that is how it is used).
void BM_PdftotextTwoPages(benchmark::State& state) {
    std::string path = fixture("two-page.pdf");
    for (auto _ : state) {
        const char* argv[] = {"pdftotext", "-enc", "UTF-8", path.c_str(), "/dev/null", nullptr};
        pid_t pid;
        if (posix_spawnp(&pid, "pdftotext", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            state.SkipWithError("pdftotext is not installed");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
}
BENCHMARK(BM_PdftotextTwoPages)->Unit(benchmark::kMillisecond);

void BM_ExtractDocx(benchmark::State& state) {
    std::string path = fixture(state.range(0) == 0 ? "sample.docx" : "libreoffice.docx");
    for (auto _ : state) benchmark::DoNotOptimize(velmora::ResumeService::extractText(path));
}
BENCHMARK(BM_ExtractDocx)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

std::string thousandWordResume() {
    std::string s = "Jordan Avery\njordan@example.com | (555) 123-4567\nPROFESSIONAL SUMMARY\nSite reliability engineer.\n"
                    "EXPERIENCE\n";
    const char* bullets[] = {"Led the migration of 140 services to Kubernetes, cutting deploy time by 65%.",
                             "Automated certificate rotation for 3,200 hosts with Terraform and Go.",
                             "Reduced paging volume by 40% through better alerting in Prometheus.",
                             "Designed an on-call handbook adopted by six teams across four time zones."};
    size_t words = 0;
    for (int i = 0; words < 1000; ++i) {
        std::string b = std::string("• ") + bullets[i % 4] + "\n";
        for (char c : b) words += c == ' ';
        s += b;
    }
    return s + "SKILLS\nKubernetes, Terraform, Go\nEDUCATION\nB.Sc. Computer Science\n";
}

void BM_Analyze1000Words(benchmark::State& state) {
    std::string text = thousandWordResume();
    for (auto _ : state) benchmark::DoNotOptimize(velmora::ResumeService::analyze(text));
    state.counters["words"] = static_cast<double>(velmora::ResumeService::analyze(text)["wordCount"].get<int>());
}
BENCHMARK(BM_Analyze1000Words)->Unit(benchmark::kMillisecond);

} // namespace
