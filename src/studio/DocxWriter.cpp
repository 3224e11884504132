#include "studio/DocxWriter.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "studio/AtomicFile.h"
#include "studio/ResumeStudioService.h"

#include <array>
#include <map>
#include <memory>
#include <zip.h>

namespace velmora {

namespace {

constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
constexpr const char* kWordNamespace = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

const std::string kFailurePrefix = "DOCX export failed. ";

struct DocxTemplate {
    std::string font;
    int nameSize;    // half-points
    int roleSize;
    int headingSize;
    int bodySize;
    int margin;      // twentieths of a point
};

DocxTemplate docxTemplate(const std::string& style) {
    std::string key = ResumeStudioService::normalizeTemplate(style);
    if (key == "compact") return {"Arial", 27, 19, 19, 18, 500};
    if (key == "classic") return {"Georgia", 30, 21, 20, 19, 720};
    return {"Aptos", 30, 21, 20, 19, 720};
}

// Characters XML 1.0 cannot carry at all (C0 controls other than tab, and the two
// non-characters). Text pasted from PDFs sometimes holds them, and one of them is enough for
// a word processor to refuse the whole file, so they are dropped.
const text::Regex& forbiddenXmlCharacters() {
    static const text::Regex pattern("[\\x{0}-\\x{8}\\x{B}\\x{C}\\x{E}-\\x{1F}\\x{FFFE}\\x{FFFF}]");
    return pattern;
}

std::string escape(const std::string& raw) {
    std::string s = forbiddenXmlCharacters().replaceAll(raw, "");
    s = text::replaceAll(std::move(s), "&", "&amp;");
    s = text::replaceAll(std::move(s), "<", "&lt;");
    s = text::replaceAll(std::move(s), ">", "&gt;");
    s = text::replaceAll(std::move(s), "\"", "&quot;");
    s = text::replaceAll(std::move(s), "'", "&apos;");
    return s;
}

std::string runFonts(const std::string& font) {
    std::string f = escape(font);
    return "<w:rFonts w:ascii=\"" + f + "\" w:hAnsi=\"" + f + "\"/>";
}

std::string centredParagraph(const std::string& text, const std::string& font, int size, bool bold) {
    return "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:rPr>" + runFonts(font) + (bold ? "<w:b/>" : "") +
           "<w:sz w:val=\"" + std::to_string(size) + "\"/></w:rPr><w:t xml:space=\"preserve\">" + escape(text) +
           "</w:t></w:r></w:p>";
}

std::string headingParagraph(const std::string& heading, const std::string& font, int size) {
    // keepNext: a heading never ends a page alone.
    return "<w:p><w:pPr><w:keepNext/><w:spacing w:before=\"150\" w:after=\"50\"/><w:pBdr><w:bottom w:val=\"single\" w:sz=\"4\" "
           "w:color=\"808080\"/></w:pBdr></w:pPr><w:r><w:rPr>" +
           runFonts(font) + "<w:b/><w:sz w:val=\"" + std::to_string(size) + "\"/></w:rPr><w:t>" + escape(heading) +
           "</w:t></w:r></w:p>";
}

std::string bodyParagraph(const std::string& line, const std::string& font, int size) {
    return "<w:p><w:pPr><w:spacing w:after=\"35\"/></w:pPr><w:r><w:rPr>" + runFonts(font) + "<w:sz w:val=\"" +
           std::to_string(size) + "\"/></w:rPr><w:t xml:space=\"preserve\">" + escape(line) + "</w:t></w:r></w:p>";
}

// Line breaks of every kind a pasted text may carry; "\r\n" leaves an empty piece that the
// callers drop.
const text::Regex& lineBreaks() {
    static const text::Regex pattern("[\\n\\r\\x{B}\\x{C}\\x{85}\\x{2028}\\x{2029}]");
    return pattern;
}

struct ZipDeleter {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipSourceDeleter {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipDeleter>;
using ZipSourcePtr = std::unique_ptr<zip_source_t, ZipSourceDeleter>;

[[noreturn]] void archiveFailure(const std::string& reason) { throw VelmoraError(kFailurePrefix + reason); }

} // namespace

std::string resumeHeading(const std::string& language, const std::string& section) {
    // Columns: en, es, fr, de, it, pt.
    static const std::map<std::string, std::array<const char*, 6>> headings = {
        {"summary", {"PROFESSIONAL SUMMARY", "RESUMEN PROFESIONAL", "PROFIL PROFESSIONNEL", "BERUFLICHES PROFIL",
                     "PROFILO PROFESSIONALE", "RESUMO PROFISSIONAL"}},
        {"skills", {"SKILLS", "HABILIDADES", "COMPÉTENCES", "KOMPETENZEN", "COMPETENZE", "COMPETÊNCIAS"}},
        {"experience",
         {"EXPERIENCE", "EXPERIENCIA", "EXPÉRIENCE", "BERUFSERFAHRUNG", "ESPERIENZA", "EXPERIÊNCIA"}},
        {"education", {"EDUCATION", "EDUCACIÓN", "FORMATION", "AUSBILDUNG", "ISTRUZIONE", "FORMAÇÃO"}},
        {"certifications", {"CERTIFICATIONS", "CERTIFICACIONES", "CERTIFICATIONS", "ZERTIFIZIERUNGEN",
                            "CERTIFICAZIONI", "CERTIFICAÇÕES"}},
        {"projects", {"PROJECTS", "PROYECTOS", "PROJETS", "PROJEKTE", "PROGETTI", "PROJETOS"}},
    };
    static const std::map<std::string, size_t> column = {{"en", 0}, {"es", 1}, {"fr", 2},
                                                         {"de", 3}, {"it", 4}, {"pt", 5}};
    auto row = headings.find(text::lower(section));
    if (row == headings.end()) return text::upper(section);
    return row->second[column.at(ResumeStudioService::normalizeLanguage(language))];
}

const std::vector<ResumeSectionRef>& resumeSections() {
    static const std::vector<ResumeSectionRef> sections = {
        {"summary", &ResumeDocument::summary, false},
        {"skills", &ResumeDocument::skills, false},
        {"experience", &ResumeDocument::experience, true},
        {"education", &ResumeDocument::education, true},
        {"certifications", &ResumeDocument::certifications, true},
        {"projects", &ResumeDocument::projects, true},
    };
    return sections;
}

std::vector<std::string> resumeLines(const std::string& text) {
    std::vector<std::string> lines;
    for (const std::string& piece : lineBreaks().split(text)) {
        std::string line = text::trim(piece);
        if (!line.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

namespace {

// Every bullet mark people and models use, Markdown list and heading marks included, possibly
// stacked ("• – Migrated", "• ### Lumen Health").
const text::Regex& leadingMarks() {
    static const text::Regex pattern("^(?:(?:[•·▪‣◦●○■□►▸➢✓✔➤*+]+|[-–—](?=\\s)|#{1,6}(?=\\s))\\s*)+");
    return pattern;
}

// The first line of an entry (employer, title, school, dates) rather than an accomplishment.
bool looksLikeEntryLine(const std::string& line) {
    static const text::Regex entry("(?:\\b(?:19|20)\\d\\d\\b| \\| | — | – )");
    return entry.search(line) && !text::endsWith(line, ".") && text::split(line, ' ', false).size() <= 16;
}

std::string withoutMarks(const std::string& raw, bool& marked) {
    const std::string line = text::replaceAll(text::replaceAll(raw, "**", ""), "__", "");
    auto match = leadingMarks().firstMatch(line);
    bool any = match && match->begin == 0 && match->end > 0;
    std::string prefix = any ? line.substr(0, match->end) : "";
    // A Markdown heading mark alone ("### Lumen Health") names an entry; it is no bullet.
    marked = any && prefix.find_first_not_of("# \t") != std::string::npos;
    return any ? text::trim(std::string_view(line).substr(match->end)) : line;
}

} // namespace

std::string bulletedLine(const std::string& line, bool bulleted) {
    if (!bulleted) return line;
    bool marked = false;
    std::string rest = withoutMarks(line, marked);
    return rest.empty() ? line : "• " + rest;
}

std::vector<std::string> sectionLines(const std::string& text, bool bulleted) {
    std::vector<std::string> lines = resumeLines(text);
    if (!bulleted) return lines;
    // Where the text marks its bullets, unmarked lines are entry lines; where it marks none,
    // entry lines are told apart by their dates and separators.
    bool anyMarked = false;
    std::vector<std::pair<bool, std::string>> parts;
    for (const std::string& line : lines) {
        bool marked = false;
        std::string rest = withoutMarks(line, marked);
        if (rest.empty()) continue;
        anyMarked = anyMarked || marked;
        parts.emplace_back(marked, std::move(rest));
    }
    std::vector<std::string> out;
    for (auto& [marked, rest] : parts) {
        bool entry = anyMarked ? !marked : looksLikeEntryLine(rest);
        out.push_back(entry ? rest : "• " + rest);
    }
    return out;
}

std::string buildDocxDocumentXml(const ResumeDocument& document) {
    const DocxTemplate t = docxTemplate(document.templateName);
    std::vector<std::string> paragraphs;

    // Blank contact lines are dropped before the first line is taken as the name, so a
    // contact block that starts with an empty-looking line still puts the name on top.
    std::vector<std::string> contact = resumeLines(document.contact);
    if (!contact.empty()) {
        paragraphs.push_back(centredParagraph(contact.front(), t.font, t.nameSize, true));
        if (contact.size() > 1) {
            std::vector<std::string> rest(contact.begin() + 1, contact.end());
            paragraphs.push_back(centredParagraph(text::join(rest, " | "), t.font, t.bodySize, false));
        }
    }
    std::string role = text::trim(document.targetRole);
    if (!role.empty()) paragraphs.push_back(centredParagraph(role, t.font, t.roleSize, false));

    for (const ResumeSectionRef& section : resumeSections()) {
        std::vector<std::string> lines = sectionLines(document.*section.text, section.bulleted);
        if (lines.empty()) continue;
        paragraphs.push_back(headingParagraph(resumeHeading(document.language, section.key), t.font, t.headingSize));
        for (const std::string& line : lines)
            paragraphs.push_back(bodyParagraph(line, t.font, t.bodySize));
    }

    const std::string m = std::to_string(t.margin);
    return std::string(kXmlDeclaration) + "<w:document xmlns:w=\"" + kWordNamespace + "\"><w:body>\n" +
           text::join(paragraphs, "\n") + "\n<w:sectPr><w:pgMar w:top=\"" + m + "\" w:right=\"" + m +
           "\" w:bottom=\"" + m + "\" w:left=\"" + m +
           "\" w:header=\"300\" w:footer=\"300\" w:gutter=\"0\"/></w:sectPr>\n</w:body></w:document>";
}

std::string docxContentTypesXml() {
    return std::string(kXmlDeclaration) + "\n" +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">\n"
           "  <Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>\n"
           "  <Default Extension=\"xml\" ContentType=\"application/xml\"/>\n"
           "  <Override PartName=\"/word/document.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>\n"
           "</Types>";
}

std::string docxRelationshipsXml() {
    return std::string(kXmlDeclaration) + "\n" +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">\n"
           "  <Relationship Id=\"rId1\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
           "Target=\"word/document.xml\"/>\n"
           "</Relationships>";
}

std::string buildDocxPackage(const ResumeDocument& document) {
    // The parts must outlive zip_close, which is when libzip reads them.
    const std::vector<std::pair<const char*, std::string>> parts = {
        {"[Content_Types].xml", docxContentTypesXml()},
        {"_rels/.rels", docxRelationshipsXml()},
        {"word/document.xml", buildDocxDocumentXml(document)},
    };

    zip_error_t error;
    zip_error_init(&error);
    ZipSourcePtr buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
    if (!buffer) {
        std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        archiveFailure(reason);
    }
    // The archive takes over one reference; this keeps the buffer alive after zip_close so
    // the finished bytes can be read back.
    zip_source_keep(buffer.get());
    ZipPtr archive(zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error));
    if (!archive) {
        zip_source_free(buffer.get()); // the reference the archive did not take
        std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        archiveFailure(reason);
    }
    zip_error_fini(&error);

    for (const auto& [name, content] : parts) {
        zip_source_t* source = zip_source_buffer(archive.get(), content.data(), content.size(), 0);
        if (!source) archiveFailure(zip_strerror(archive.get()));
        if (zip_file_add(archive.get(), name, source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            archiveFailure(zip_strerror(archive.get()));
        }
    }
    if (zip_close(archive.get()) != 0) archiveFailure(zip_strerror(archive.get()));
    archive.release(); // zip_close freed it

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(buffer.get(), &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        zip_source_open(buffer.get()) != 0)
        archiveFailure(zip_error_strerror(zip_source_error(buffer.get())));
    std::string bytes(static_cast<size_t>(stat.size), '\0');
    zip_int64_t read = zip_source_read(buffer.get(), bytes.data(), bytes.size());
    zip_source_close(buffer.get());
    if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size)
        archiveFailure("The archive could not be read back from memory.");
    return bytes;
}

std::filesystem::path exportDocx(const std::filesystem::path& destination, const ResumeDocument& document) {
    std::string package = buildDocxPackage(document);
    try {
        writeFileAtomically(destination, package);
    } catch (const std::system_error& e) {
        throw VelmoraError(kFailurePrefix + describeWriteError(destination, e));
    }
    return destination;
}

} // namespace velmora
