#pragma once

#include "studio/ResumeDocument.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velmora {

// One paragraph of the PDF's styled text: its own font, size, weight, alignment and the
// space left after it. Drawn in black.
struct PdfParagraph {
    enum class Kind { Name, Contact, Role, Heading, Body };
    Kind kind = Kind::Body;
    std::string text;
    std::string family;      // as the template names it ("Helvetica", "Arial", "Georgia")
    double size = 0;         // points
    bool bold = false;
    bool centred = false;
    double spacingAfter = 0; // points
};

// How a PDF export went: the pages written, and whether all of the text was shown (false
// only when a line could not fit even on an empty page, which ends the document there).
struct PdfExportResult {
    std::filesystem::path path;
    int pages = 0;
    bool complete = true;
};

// US Letter pages: 612 x 792 pt, text in a 520 x 696 pt rectangle 46 pt from the sides and
// 48 pt from top and bottom.
struct PdfPageGeometry {
    static constexpr double pageWidth = 612;
    static constexpr double pageHeight = 792;
    static constexpr double left = 46;
    static constexpr double top = 48;
    static constexpr double textWidth = pageWidth - 92;
    static constexpr double textHeight = pageHeight - 96;
};

// The styled text of a resume: name, contact line, role, then each non-empty section's
// localised heading and lines, in the same order and with the same bullet rules as the DOCX.
std::vector<PdfParagraph> buildPdfParagraphs(const ResumeDocument& document);

// The font family actually used for a template family: the family itself when installed,
// else a metric-compatible or same-kind substitute (Helvetica and Arial: Liberation Sans;
// Georgia: a serif), else the system sans.
std::string resolvePdfFontFamily(const std::string& family);

// Lays the styled text out page after page into the text rectangle (Pango over a Cairo PDF
// surface, so the text stays selectable and extractable in reading order, fonts embedded)
// and writes the file atomically: a failure leaves any earlier file at `destination` as it
// was. Stops when a page could show nothing, keeping the pages written so far. Throws
// VelmoraError "Could not create the PDF output file." when the file cannot be written and
// "Could not create the PDF document." when the PDF surface cannot be made; a text holding a
// character that no installed font can draw fails with a message saying so, leaving no file.
PdfExportResult writePdf(const std::filesystem::path& destination, const ResumeDocument& document);

// writePdf, returning the destination path.
std::filesystem::path exportPdf(const std::filesystem::path& destination, const ResumeDocument& document);

} // namespace velmora
