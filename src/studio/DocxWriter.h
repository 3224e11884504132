#pragma once

#include "studio/ResumeDocument.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velmora {

// The localised heading of a resume section ("summary", "skills", "experience", "education",
// "certifications", "projects"; compared lower-cased) for a language code; unknown
// languages read as English, unknown sections give the key upper-cased. Shared by the DOCX
// and PDF exports.
std::string resumeHeading(const std::string& language, const std::string& section);

// The section keys in the order both exports write them, and whether a section's lines
// are bulleted.
struct ResumeSectionRef {
    const char* key;
    const std::string ResumeDocument::*text;
    bool bulleted;
};
const std::vector<ResumeSectionRef>& resumeSections();

// The lines of a text: split at any line break, each trimmed, blank ones dropped.
std::vector<std::string> resumeLines(const std::string& text);
// A section line as written in a bulleted section: any bullet, list or Markdown marks it
// carries replaced by one "• ". Lines of other sections are left as they are.
std::string bulletedLine(const std::string& line, bool bulleted);
// The lines of a section as both exports write them: in a bulleted section every item has one
// "• " and entry lines (employer, title, school, dates) have none.
std::vector<std::string> sectionLines(const std::string& text, bool bulleted);

// The text of word/document.xml: a single-column, directly formatted WordprocessingML body
// (centred name, contact and role lines, a ruled heading per non-empty section, one
// paragraph per line), in the template's font, sizes and margins.
std::string buildDocxDocumentXml(const ResumeDocument& document);
// The two fixed package parts.
std::string docxContentTypesXml();
std::string docxRelationshipsXml();

// The whole .docx archive ([Content_Types].xml, _rels/.rels, word/document.xml) as bytes,
// built in memory. Throws VelmoraError "DOCX export failed. " + reason.
std::string buildDocxPackage(const ResumeDocument& document);

// Writes the document as a .docx file at `destination` and returns that path. The archive is
// written to a temporary file in the destination's folder and renamed over the destination
// only when complete, so a failure leaves any earlier file untouched. Throws VelmoraError
// "DOCX export failed. " + reason.
std::filesystem::path exportDocx(const std::filesystem::path& destination, const ResumeDocument& document);

} // namespace velmora
