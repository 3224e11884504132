// Resume import: plain text out of PDF, DOCX, RTF, TXT and MD files.

#include "resume/DocxTextCollector.h"
#include "resume/ResumeService.h"
#include "resume/RtfReader.h"
#include "resume/XmlEventParser.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace velmora {

namespace {

// A resume is a few pages; these bounds only stop a mistaken pick (a video, a disk image,
// a zip bomb) from filling memory.
constexpr std::uintmax_t kMaxPlainTextBytes = 16u * 1024u * 1024u;
constexpr std::uintmax_t kMaxRtfBytes = 64u * 1024u * 1024u;
constexpr std::uintmax_t kMaxPdfBytes = 256u * 1024u * 1024u;
constexpr std::uint64_t kMaxDocumentXmlBytes = 64u * 1024u * 1024u;

const char* const kTooLarge = "The resume file is too large to import.";
const char* const kDocxNotFound = "DOCX document.xml was not found.";
const char* const kDocxNotParsed = "The DOCX resume could not be parsed.";

std::string readWholeFile(const std::filesystem::path& path, std::uintmax_t limit) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) throw VelmoraError("The resume file could not be read: " + ec.message() + ".");
    if (size > limit) throw VelmoraError(kTooLarge);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw VelmoraError("The resume file could not be read.");
    std::string data(static_cast<size_t>(size), '\0');
    in.read(data.data(), static_cast<std::streamsize>(size));
    data.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) throw VelmoraError("The resume file could not be read.");
    return data;
}

void silencePoppler() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Damaged PDFs make poppler chatter on stderr; the user gets our message instead.
        poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    });
}

std::string extractPdf(const std::filesystem::path& path) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxPdfBytes) throw VelmoraError(kTooLarge);
    silencePoppler();
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(path.string()));
    // A document locked by a user password has no readable text at all.
    if (!doc || doc->is_locked()) throw VelmoraError("The PDF resume could not be opened.");
    std::string out;
    int pages = doc->pages();
    for (int i = 0; i < pages; ++i) {
        std::unique_ptr<poppler::page> page(doc->create_page(i));
        if (page) {
            // Reading order, as a person would read the page (columns kept apart).
            poppler::byte_array bytes =
                page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout).to_utf8();
            // The layout engine ends each page with a form feed; pages are separated by line feeds here.
            for (char c : bytes)
                if (c != '\f') out += c;
        }
        out += '\n';
    }
    return out;
}

struct ZipDeleter {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileDeleter {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

} // namespace

std::string ResumeService::clean(const std::string& input) {
    static const text::Regex blanks("[\\t ]+");
    static const text::Regex blankLines("\\n{3,}");
    std::string s = text::replaceAll(input, "\r\n", "\n");
    s = text::replaceAll(std::move(s), "\r", "\n");
    s = blanks.replaceAll(s, " ");
    s = blankLines.replaceAll(s, "\n\n");
    return text::trim(s);
}

std::string ResumeService::extractDocx(const std::string& path) {
    int error = 0;
    std::unique_ptr<zip_t, ZipDeleter> archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
    if (!archive) throw VelmoraError(kDocxNotFound);
    zip_int64_t index = zip_name_locate(archive.get(), "word/document.xml", 0);
    if (index < 0) throw VelmoraError(kDocxNotFound);
    std::unique_ptr<zip_file_t, ZipFileDeleter> member(zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0));
    if (!member) throw VelmoraError(kDocxNotFound);

    // The part is streamed into the parser and counted as it inflates: the size in the
    // archive's directory is the sender's claim, not a bound.
    DocxTextCollector collector;
    XmlEventParser parser(collector);
    std::vector<char> chunk(64 * 1024);
    std::uint64_t total = 0;
    bool wellFormed = true;
    for (;;) {
        zip_int64_t n = zip_fread(member.get(), chunk.data(), chunk.size());
        if (n < 0) throw VelmoraError(kDocxNotFound); // damaged or truncated member
        if (n == 0) break;
        total += static_cast<std::uint64_t>(n);
        if (total > kMaxDocumentXmlBytes) throw VelmoraError("The DOCX resume is too large to read.");
        if (wellFormed) wellFormed = parser.feed(chunk.data(), static_cast<size_t>(n));
    }
    if (total == 0) throw VelmoraError(kDocxNotFound);
    if (!wellFormed || !parser.finish()) throw VelmoraError(kDocxNotParsed);
    return clean(collector.text());
}

std::string ResumeService::extractText(const std::string& pathText) {
    std::filesystem::path path(pathText);
    std::error_code ec;
    if (pathText.empty() || !std::filesystem::is_regular_file(path, ec)) throw VelmoraError("Resume file was not found.");

    std::string extension = path.extension().string();
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    extension = text::lower(extension);

    if (extension == "txt" || extension == "md") {
        std::string data = readWholeFile(path, kMaxPlainTextBytes);
        if (text::startsWith(data, "\xEF\xBB\xBF")) data.erase(0, 3);
        // Guessing another encoding would hand the analysis mojibake; say so instead.
        if (!text::isValidUtf8(data)) throw VelmoraError("The text resume is not valid UTF-8. Save it as UTF-8 text and try again.");
        return clean(data);
    }
    if (extension == "rtf") return clean(RtfReader::toPlainText(readWholeFile(path, kMaxRtfBytes)));
    if (extension == "pdf") return clean(extractPdf(path));
    if (extension == "docx") return extractDocx(pathText);
    throw VelmoraError("Supported resume formats are PDF, DOCX, TXT, MD, and RTF.");
}

} // namespace velmora
