// Reading real resumes: people write headings in their own language and style, PDF text layers
// wrap long bullets, and templates add rules and dotted leaders. Every line the user wrote must
// land somewhere; only decoration is dropped.

#include "studio/ResumeSectionReader.h"

#include "core/Text.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace velmora {

namespace {

std::optional<text::Regex> compile(const char* pattern) {
    try {
        return text::Regex(pattern);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string replaced(const std::optional<text::Regex>& regex, const std::string& value, const char* with) {
    return regex ? regex->replaceAll(value, with) : value;
}

const std::map<std::string, std::string>& headingTable() {
    // Lower-cased, with "and" in any language written as "&" (see joinWords below).
    static const std::map<std::string, std::string> table = [] {
        std::map<std::string, std::string> t;
        auto add = [&t](const char* section, std::initializer_list<const char*> names) {
            for (const char* name : names) t.emplace(name, section);
        };
        add("summary", {"professional summary", "career summary", "summary", "professional profile", "profile",
                        "objective", "career objective", "professional objective", "personal statement",
                        "personal profile", "about", "about me", "overview", "executive summary",
                        "summary of qualifications", "qualifications summary", "resumen", "resumen profesional",
                        "perfil", "perfil profesional", "sobre mí", "objetivo", "objetivo profesional", "résumé",
                        "profil", "profil professionnel", "résumé professionnel", "à propos", "objectif",
                        "synthèse", "zusammenfassung", "kurzprofil", "berufsprofil", "berufliches profil",
                        "über mich", "sommario", "profilo", "profilo professionale", "riepilogo", "chi sono",
                        "obiettivo", "resumo", "resumo profissional", "perfil profissional", "sobre mim"});
        add("skills", {"core skills", "technical skills", "skills", "core competencies", "competencies",
                       "technologies", "areas of expertise", "key skills", "skills & tools", "tools & technologies",
                       "tech stack", "technical proficiencies", "skill set", "skillset", "expertise", "tools",
                       "languages", "programming languages", "compiled languages", "scripting languages",
                       "languages & frameworks", "frameworks", "libraries", "databases", "database", "platforms",
                       "cloud", "operating systems", "software", "habilidades", "habilidades técnicas",
                       "competencias", "conocimientos", "aptitudes", "tecnologías", "idiomas", "herramientas",
                       "compétences", "compétences techniques", "langues", "outils", "kenntnisse", "fähigkeiten",
                       "fachkenntnisse", "it-kenntnisse", "kompetenzen", "technologien", "sprachen",
                       "sprachkenntnisse", "werkzeuge", "competenze", "competenze tecniche", "tecnologie", "lingue",
                       "strumenti", "competências", "competências técnicas", "tecnologias", "ferramentas"});
        add("experience", {"professional experience", "work experience", "experience", "employment history",
                           "work history", "career history", "employment", "relevant experience",
                           "professional background", "experiencia", "experiencia profesional",
                           "experiencia laboral", "historial laboral", "expérience", "expériences",
                           "expérience professionnelle", "expériences professionnelles", "parcours professionnel",
                           "berufserfahrung", "erfahrung", "beruflicher werdegang", "werdegang", "esperienza",
                           "esperienze", "esperienza professionale", "esperienze professionali",
                           "esperienza lavorativa", "experiência", "experiência profissional",
                           "histórico profissional"});
        add("education", {"education", "academic background", "education & training", "training",
                          "academic qualifications", "educación", "formación", "formación académica", "estudios",
                          "formation", "éducation", "études", "diplômes", "ausbildung", "bildung", "bildungsweg",
                          "studium", "akademischer werdegang", "istruzione", "formazione", "istruzione & formazione",
                          "studi", "educação", "formação", "formação acadêmica", "formação académica",
                          "escolaridade"});
        add("certifications", {"certifications", "certificates", "licenses", "licensures", "certification",
                               "licenses & certifications", "certifications & licenses", "certificaciones",
                               "certificados", "certificats", "zertifikate", "zertifizierungen", "certificazioni",
                               "certificati", "certificações"});
        add("projects", {"projects", "selected projects", "key projects", "personal projects", "side projects",
                         "open source", "open source projects", "notable projects", "proyectos", "projets",
                         "projekte", "progetti", "projetos"});
        return t;
    }();
    return table;
}

char32_t firstCodePoint(const std::string& s) {
    if (s.empty()) return 0;
    int32_t i = 0;
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), i, static_cast<int32_t>(s.size()), c);
    return c < 0 ? 0 : static_cast<char32_t>(c);
}

// At least two capitals and no small letter: "PRIYA NAIR SUMMARY", "WORK EXPERIENCE".
bool isAllCaps(const std::string& s) {
    int32_t i = 0, upper = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    while (i < static_cast<int32_t>(s.size())) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, static_cast<int32_t>(s.size()), c);
        if (c < 0) continue;
        if (u_islower(c)) return false;
        if (u_isupper(c)) ++upper;
    }
    return upper >= 2;
}

bool hasLetterOrDigit(const std::string& s) {
    int32_t i = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    while (i < static_cast<int32_t>(s.size())) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, static_cast<int32_t>(s.size()), c);
        if (c >= 0 && (u_isalpha(c) || u_isdigit(c))) return true;
    }
    return false;
}

// "and" joining two heading words, in the six languages, reads as "&".
std::string joinWords(const std::string& heading) {
    static const std::optional<text::Regex> conjunction = compile(" (?:and|y|et|und|e|&amp;) ");
    return replaced(conjunction, heading, " & ");
}

struct Heading {
    std::string section;
    std::string before; // text that ran into the heading on the same line ("PRIYA NAIR SUMMARY")
    std::string rest;   // content after "Heading:" on the same line
};

std::string stripBullet(const std::string& line, bool& bullet) {
    static const std::optional<text::Regex> mark = compile("^(?:[•·▪‣◦●○■□►▸➢✓✔➤*+]+|[-–—](?=\\s))\\s*");
    std::string stripped = line;
    if (mark) {
        if (auto m = mark->firstMatch(line); m && m->begin == 0 && m->end > 0) {
            stripped = text::trim(std::string_view(line).substr(m->end));
            bullet = true;
        }
    }
    return stripped;
}

std::optional<Heading> headingOf(const std::string& line) {
    // Headings are short; a long line is body text whatever words it holds.
    if (line.size() > 400) return std::nullopt;
    std::string whole = ResumeSectionReader::sectionOf(ResumeSectionReader::normalizeHeading(line));
    if (!whole.empty()) return Heading{whole, "", ""};

    static const std::optional<text::Regex> emphasis = compile("\\*\\*|__");
    bool bullet = false;
    std::string body = stripBullet(replaced(emphasis, line, ""), bullet);
    // "Skills: Go, Rust" and "**Education:** BSc ..." open their section with content; a bulleted
    // "- Skills: ..." inside a job stays a line of that job.
    size_t colon = body.find(':');
    if (!bullet && colon != std::string::npos && colon > 0 && colon <= 60) {
        std::string section = ResumeSectionReader::sectionOf(ResumeSectionReader::normalizeHeading(body.substr(0, colon)));
        if (!section.empty()) {
            static const std::optional<text::Regex> leadingMarks = compile("^[*_\\s]+");
            return Heading{section, "", text::trim(replaced(leadingMarks, body.substr(colon + 1), ""))};
        }
    }

    // A heading run into the text before it, as PDF text layers give it: "PRIYA NAIR SUMMARY"
    // or "Jane Doe    SUMMARY". Only a capitalised heading at the very end counts.
    std::vector<std::string> words = text::split(body, ' ', false);
    if (words.size() < 2 || words.size() > 10) return std::nullopt;
    for (size_t take = std::min<size_t>(4, words.size() - 1); take >= 1; --take) {
        std::vector<std::string> tail(words.end() - static_cast<long>(take), words.end());
        std::string tailText = text::join(tail, " ");
        if (!isAllCaps(tailText)) continue;
        std::string section = ResumeSectionReader::sectionOf(ResumeSectionReader::normalizeHeading(tailText));
        if (section.empty()) continue;
        std::vector<std::string> head(words.begin(), words.end() - static_cast<long>(take));
        std::string headText = text::join(head, " ");
        // Imported text has its wide gaps collapsed, so what stands before must look like a
        // header (a name, an address) rather than a sentence that ends in capitals.
        bool gap = text::contains(line, "  ") || text::contains(line, "\t");
        bool headerLike = isAllCaps(headText) || head.size() <= 3 || text::contains(headText, "@") ||
                          text::contains(headText, "|");
        if (!gap && !headerLike) continue;
        return Heading{section, text::trim(headText), ""};
    }
    return std::nullopt;
}

bool endsWithAny(const std::string& s, std::initializer_list<const char*> endings) {
    for (const char* e : endings)
        if (text::endsWith(s, e)) return true;
    return false;
}

// A wrapped line of a PDF text layer continues the long line above it: it starts with a small
// letter, or the line above stopped at a dash, comma or conjunction.
bool continues(const std::string& previous, const std::string& line) {
    // Only a line that filled the width wraps, and an address starts a line of its own
    // ("Jane Yuki" / "yuki@example.jp").
    if (previous.size() < 30 || text::contains(line, "@") || text::contains(line, "://")) return false;
    if (endsWithAny(previous, {" –", " —", " -", ",", "&", " and", " or", "/", "("})) return true;
    if (endsWithAny(previous, {".", "!", "?", ":", ";"})) return false;
    auto first = static_cast<UChar32>(firstCodePoint(line));
    if (u_islower(first)) return true;
    // "• Cut costs by" / "40% with caching.": a bullet cut before a number.
    auto last = static_cast<UChar32>(previous.back());
    return text::startsWith(previous, "• ") && (u_isdigit(first) || first == '(' || first == '$') && u_islower(last);
}

struct LineReader {
    std::map<std::string, std::vector<std::string>> sections;
    std::vector<std::vector<std::string>> preamble{{}}; // paragraphs before the first heading
    std::string current;
    bool paragraphBreak = true;
    bool headingFound = false;

    std::vector<std::string>& target() { return current.empty() ? preamble.back() : sections[current]; }

    void breakParagraph() {
        paragraphBreak = true;
        if (current.empty() && !preamble.back().empty()) preamble.emplace_back();
    }

    void add(const std::string& raw) {
        static const std::optional<text::Regex> spaces = compile("\\s+");
        bool bullet = false;
        std::string line = stripBullet(replaced(spaces, raw, " "), bullet);
        if (line.empty() || !hasLetterOrDigit(line)) return;
        std::vector<std::string>& lines = target();
        if (!bullet && !paragraphBreak && !lines.empty() && continues(lines.back(), line)) {
            lines.back() += " " + line;
        } else {
            lines.push_back(bullet ? "• " + line : line);
        }
        paragraphBreak = false;
    }

    void open(const Heading& heading) {
        if (!heading.before.empty()) add(heading.before);
        current = heading.section;
        headingFound = true;
        paragraphBreak = true;
        if (!heading.rest.empty()) add(heading.rest);
        paragraphBreak = true;
    }
};

// Prose, not a name, headline or contact line: a sentence of several words without an address.
bool isProse(const std::string& line) {
    if (text::contains(line, "@") || text::contains(line, "://") || text::contains(line, " | ")) return false;
    return text::split(line, ' ', false).size() >= 8;
}

} // namespace

std::string ResumeSectionReader::normalizeHeading(const std::string& line) {
    static const std::optional<text::Regex> edges = compile("^[•\\-*#|_=\\s]+|[•\\-*#|_=\\s:：]+$");
    static const std::optional<text::Regex> emphasis = compile("\\*\\*|__");
    static const std::optional<text::Regex> spaces = compile("\\s+");
    std::string result = replaced(emphasis, line, "");
    result = replaced(edges, result, "");
    result = replaced(spaces, result, " ");
    return text::lower(text::trim(result));
}

bool ResumeSectionReader::isHeading(const std::string& line, std::string* before) {
    auto heading = headingOf(line);
    if (heading && before) *before = heading->before;
    return heading.has_value();
}

std::string ResumeSectionReader::sectionOf(const std::string& normalizedHeading) {
    if (normalizedHeading.empty() || normalizedHeading.size() > 60) return "";
    auto it = headingTable().find(normalizedHeading);
    if (it == headingTable().end()) it = headingTable().find(joinWords(normalizedHeading));
    return it == headingTable().end() ? "" : it->second;
}

ResumeReading ResumeSectionReader::read(const std::string& input) {
    ResumeReading reading;
    if (text::isBlank(input)) return reading;
    static const std::optional<text::Regex> emphasis = compile("\\*\\*|__");
    static const std::optional<text::Regex> markdownHeading = compile("^\\s*#{1,6}\\s+");
    // Dotted or ruled leaders between a name and a date ("Acme ........ 2019") are layout.
    static const std::optional<text::Regex> leaders = compile("\\s*(?:\\.{4,}|…{2,}|_{3,}|-{4,}|={3,}|·{3,})\\s*");

    std::string normalized = text::replaceAll(text::replaceAll(input, "\r\n", "\n"), "\r", "\n");
    LineReader reader;
    for (const std::string& piece : text::split(normalized, '\n', true)) {
        std::string line = text::trim(piece);
        if (line.empty() || !hasLetterOrDigit(line)) {
            reader.breakParagraph();
            continue;
        }
        if (auto heading = headingOf(line)) {
            reader.open(*heading);
            continue;
        }
        line = replaced(markdownHeading, line, "");
        line = replaced(emphasis, line, "");
        line = text::trim(replaced(leaders, line, " "));
        reader.add(line);
    }

    // Before the first heading: the opening paragraph (prose) is the summary; name, headline
    // and contact lines are the header. Without any heading at all, whatever is not header is
    // the experience, so nothing the user wrote is dropped.
    std::vector<std::string> opening, rest;
    bool openingTaken = false, headerTaken = false;
    for (const auto& paragraph : reader.preamble) {
        if (paragraph.empty()) continue;
        auto prose = std::find_if(paragraph.begin(), paragraph.end(), isProse);
        if (!openingTaken && prose != paragraph.end()) {
            reading.header.insert(reading.header.end(), paragraph.begin(), prose);
            opening.insert(opening.end(), prose, paragraph.end());
            openingTaken = headerTaken = true;
        } else if (!reader.headingFound && headerTaken) {
            rest.insert(rest.end(), paragraph.begin(), paragraph.end());
        } else {
            reading.header.insert(reading.header.end(), paragraph.begin(), paragraph.end());
            headerTaken = true;
        }
    }
    auto& summary = reader.sections["summary"];
    summary.insert(summary.begin(), opening.begin(), opening.end());
    auto& experience = reader.sections["experience"];
    experience.insert(experience.end(), rest.begin(), rest.end());

    reading.headingFound = reader.headingFound;
    auto joined = [&reader](const char* key) { return text::join(reader.sections[key], "\n"); };
    reading.sections.summary = joined("summary");
    reading.sections.skills = joined("skills");
    reading.sections.experience = joined("experience");
    reading.sections.education = joined("education");
    reading.sections.certifications = joined("certifications");
    reading.sections.projects = joined("projects");
    return reading;
}

} // namespace velmora
