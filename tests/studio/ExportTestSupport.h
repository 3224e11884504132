#pragma once

// Sample resumes and read-back helpers for the DOCX and PDF export tests: the exported files
// are opened with the same libraries and tools a recruiter's software would use (libzip and
// expat for DOCX, poppler and pdffonts for PDF).

#include "studio/ResumeDocument.h"

#include <array>
#include <cstdio>
#include <expat.h>
#include <filesystem>
#include <map>
#include <memory>
#include <poppler-document.h>
#include <poppler-page.h>
#include <string>
#include <vector>
#include <zip.h>

namespace velmora::testing {

inline ResumeDocument sampleResume() {
    ResumeDocument d;
    d.name = "Backend CV";
    d.templateName = "modern";
    d.targetRole = "Senior Backend Engineer";
    d.language = "en";
    d.contact = "Jane Doe\njane@example.com\n+1 555 0100\nLisbon, Portugal";
    d.summary = "Backend engineer with eight years of distributed systems work.\nLeads small teams.";
    d.skills = "Go, Rust, PostgreSQL, Kafka";
    d.experience = "Acme Corp — Staff Engineer (2020–2024)\n- Cut p99 latency of the billing API by 40%\n"
                   "• Ran the migration to event sourcing\nMentored four engineers";
    d.education = "BSc Computer Science, University of Lisbon";
    d.certifications = "AWS Solutions Architect";
    d.projects = "Open-source rate limiter in Rust";
    return d;
}

// Experience long enough for several pages: numbered lines that are easy to find again.
inline ResumeDocument longResume(int lines) {
    ResumeDocument d = sampleResume();
    std::string experience;
    for (int i = 1; i <= lines; ++i) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "Line%03d delivered a measurable improvement to the platform team's deployment pipeline\n", i);
        experience += buf;
    }
    d.experience = experience;
    return d;
}

// The entries of a zip archive, name -> content, read with libzip.
inline std::map<std::string, std::string> readZip(const std::filesystem::path& file) {
    std::map<std::string, std::string> entries;
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) return entries;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
        std::string content(static_cast<size_t>(st.size), '\0');
        zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (f) {
            zip_fread(f, content.data(), content.size());
            zip_fclose(f);
        }
        entries[st.name] = content;
    }
    zip_discard(archive);
    return entries;
}

// Parses XML with expat; returns the text of every <w:t> element in order (for document.xml)
// and whether the whole text was well-formed.
struct XmlReadBack {
    bool wellFormed = false;
    std::vector<std::string> runTexts;
    int paragraphs = 0;
};

inline XmlReadBack parseXml(const std::string& xml) {
    struct State {
        XmlReadBack out;
        bool inText = false;
        std::string current;
    } state;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char**) {
            auto* s = static_cast<State*>(data);
            std::string n = name;
            if (n == "w:t") {
                s->inText = true;
                s->current.clear();
            } else if (n == "w:p") {
                ++s->out.paragraphs;
            }
        },
        [](void* data, const XML_Char* name) {
            auto* s = static_cast<State*>(data);
            if (std::string(name) == "w:t") {
                s->inText = false;
                s->out.runTexts.push_back(s->current);
            }
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* chars, int len) {
        auto* s = static_cast<State*>(data);
        if (s->inText) s->current.append(chars, static_cast<size_t>(len));
    });
    state.out.wellFormed = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return state.out;
}

struct PdfReadBack {
    bool opened = false;
    std::vector<std::string> pageTexts;
    std::string allText() const {
        std::string all;
        for (const auto& t : pageTexts) all += t;
        return all;
    }
};

inline PdfReadBack readPdf(const std::filesystem::path& file) {
    PdfReadBack out;
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(file.string()));
    if (!doc || doc->is_locked()) return out;
    out.opened = true;
    for (int i = 0; i < doc->pages(); ++i) {
        std::unique_ptr<poppler::page> page(doc->create_page(i));
        auto bytes = page->text().to_utf8();
        out.pageTexts.emplace_back(bytes.begin(), bytes.end());
    }
    return out;
}

// Runs a shell command and returns its standard output.
inline std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return output;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) output.append(buf.data(), n);
    int rc = ::pclose(pipe);
    if (status) *status = rc;
    return output;
}

inline std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

inline size_t countOf(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + 1)) ++count;
    return count;
}

// Files in a folder other than the given ones (left-over temporary files).
inline std::vector<std::string> folderEntries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    return names;
}

} // namespace velmora::testing
