#include "studio/PdfWriter.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "studio/AtomicFile.h"
#include "studio/DocxWriter.h"
#include "studio/ResumeStudioService.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <memory>
#include <optional>
#include <pango/pangocairo.h>

namespace velmora {

namespace {

const char* const kOutputFileError = "Could not create the PDF output file.";
const char* const kDocumentError = "Could not create the PDF document.";
const char* const kMissingGlyphError =
    "The PDF was not saved: some characters in the resume cannot be drawn by any installed font.";

// Pango looks for a line break at every position of an unbroken run, so a run of many thousand
// characters costs time that grows with its square. Runs longer than any word get an invisible
// break opportunity (a zero-width space) every 40 characters, which keeps the work linear.
std::string withBreakOpportunities(const std::string& value) {
    constexpr size_t kLongRun = 60, kStep = 40;
    std::string out;
    size_t run = 0;
    bool changed = false;
    for (size_t i = 0; i < value.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        bool space = c == ' ' || c == '\t' || c == '\n';
        bool continuation = (c & 0xC0) == 0x80;
        if (space) run = 0;
        else if (!continuation) {
            if (run >= kLongRun && run % kStep == 0) {
                out += "\u200B";
                changed = true;
            }
            ++run;
        }
        out += value[i];
    }
    return changed ? out : value;
}

struct PdfTemplate {
    std::string family;
    double nameSize;
    double contactSize;
    double roleSize;
    double headingSize;
    double bodySize;
    double bodySpacing;
};

PdfTemplate pdfTemplate(const std::string& style) {
    std::string key = ResumeStudioService::normalizeTemplate(style);
    if (key == "compact") return {"Arial", 14, 8.7, 9, 9, 8.7, 1};
    if (key == "classic") return {"Georgia", 16, 9.5, 10, 10, 9.5, 1.5};
    return {"Helvetica", 16, 9.5, 10, 10, 9.5, 1.5};
}

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const {
        if (p) Free(p);
    }
};
void unrefObject(void* object) { g_object_unref(object); }
using SurfacePtr = std::unique_ptr<cairo_surface_t, Deleter<cairo_surface_t, cairo_surface_destroy>>;
using CairoPtr = std::unique_ptr<cairo_t, Deleter<cairo_t, cairo_destroy>>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, Deleter<cairo_font_options_t, cairo_font_options_destroy>>;
using PangoContextPtr = std::unique_ptr<PangoContext, Deleter<void, unrefObject>>;
using LayoutPtr = std::unique_ptr<PangoLayout, Deleter<void, unrefObject>>;
using FontDescriptionPtr =
    std::unique_ptr<PangoFontDescription, Deleter<PangoFontDescription, pango_font_description_free>>;
using LayoutIterPtr = std::unique_ptr<PangoLayoutIter, Deleter<PangoLayoutIter, pango_layout_iter_free>>;
using FcPatternPtr = std::unique_ptr<FcPattern, Deleter<FcPattern, FcPatternDestroy>>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, Deleter<FcObjectSet, FcObjectSetDestroy>>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, Deleter<FcFontSet, FcFontSetDestroy>>;

bool familyInstalled(const std::string& family) {
    if (family == "serif" || family == "sans-serif") return true; // fontconfig always answers these
    FcPatternPtr pattern(FcPatternCreate());
    FcObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, nullptr));
    if (!pattern || !objects) return false;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcFontSetPtr fonts(FcFontList(nullptr, pattern.get(), objects.get()));
    return fonts && fonts->nfont > 0;
}

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<AtomicOutputFile*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS
                                                                       : CAIRO_STATUS_WRITE_ERROR;
}

PdfParagraph paragraph(PdfParagraph::Kind kind, std::string text, const std::string& family, double size, bool bold,
                       bool centred, double spacingAfter) {
    return PdfParagraph{kind, std::move(text), family, size, bold, centred, spacingAfter};
}

// Draws the paragraphs line by line, starting a page whenever the next line would leave the
// text rectangle. Lines rather than whole paragraphs are the unit, so a long paragraph
// continues on the next page exactly where the previous one stopped.
class PageComposer {
public:
    PageComposer(cairo_t* cr, PangoContext* context) : cr_(cr), context_(context) {}

    // The paragraph laid out to the text width. Throws when a character has no font to draw it:
    // a box in the PDF would be a silent loss of the user's text.
    LayoutPtr layout(const PdfParagraph& p, const std::string& family) const {
        LayoutPtr layout(pango_layout_new(context_));
        FontDescriptionPtr font(pango_font_description_new());
        pango_font_description_set_family(font.get(), family.c_str());
        pango_font_description_set_absolute_size(font.get(), p.size * PANGO_SCALE);
        pango_font_description_set_weight(font.get(), p.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_layout_set_font_description(layout.get(), font.get());
        pango_layout_set_width(layout.get(), static_cast<int>(PdfPageGeometry::textWidth * PANGO_SCALE));
        // Word wrapping, breaking inside a word only when the word alone is wider than the
        // rectangle (a long address), so nothing runs off the page.
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(layout.get(), p.centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
        const std::string shown = withBreakOpportunities(p.text);
        pango_layout_set_text(layout.get(), shown.c_str(), static_cast<int>(shown.size()));
        if (pango_layout_get_unknown_glyphs_count(layout.get()) > 0) throw VelmoraError(kMissingGlyphError);
        return layout;
    }

    double firstLineHeight(const PdfParagraph& p, const std::string& family) const {
        LayoutPtr l = layout(p, family);
        LayoutIterPtr iter(pango_layout_get_iter(l.get()));
        int y0 = 0, y1 = 0;
        pango_layout_iter_get_line_yrange(iter.get(), &y0, &y1);
        return static_cast<double>(y1 - y0) / PANGO_SCALE;
    }

    // False when a line does not fit even on an empty page. `keepWith` is the height that must
    // still fit below the paragraph's last line (the first line of what follows a heading).
    bool add(const PdfParagraph& p, const std::string& family, double keepWith = 0) {
        LayoutPtr l = layout(p, family);
        LayoutIterPtr iter(pango_layout_get_iter(l.get()));
        const int lineCount = pango_layout_get_line_count(l.get());
        int index = 0;
        do {
            int y0 = 0, y1 = 0;
            pango_layout_iter_get_line_yrange(iter.get(), &y0, &y1);
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(iter.get(), nullptr, &logical);
            const double height = static_cast<double>(y1 - y0) / PANGO_SCALE;
            const double ascent = static_cast<double>(pango_layout_iter_get_baseline(iter.get()) - y0) / PANGO_SCALE;
            // Space after the last line may fall below the page; the next paragraph's first line
            // (for a heading) may not.
            const double needed = height + (++index == lineCount ? keepWith : 0);

            if (cursor_ + needed > PdfPageGeometry::textHeight && pageHasText_) newPage();
            if (height > PdfPageGeometry::textHeight) return false;
            if (!pageHasText_) ++pages_;
            pageHasText_ = true;

            cairo_move_to(cr_, PdfPageGeometry::left + static_cast<double>(logical.x) / PANGO_SCALE,
                          PdfPageGeometry::top + cursor_ + ascent);
            pango_cairo_show_layout_line(cr_, pango_layout_iter_get_line_readonly(iter.get()));
            cursor_ += height;
        } while (pango_layout_iter_next_line(iter.get()));
        cursor_ += p.spacingAfter;
        return true;
    }

    int pages() const { return pages_; }

private:
    void newPage() {
        cairo_show_page(cr_);
        cursor_ = 0;
        pageHasText_ = false;
    }

    cairo_t* cr_;
    PangoContext* context_;
    double cursor_ = 0; // from the top of the text rectangle
    bool pageHasText_ = false;
    int pages_ = 0;
};

} // namespace

// Fontconfig (used by Pango and Cairo to find fonts) keeps its configuration and match caches
// for the life of the process and never frees them, which the leak checker of our sanitizer
// builds would report at exit of every program that exported a PDF.
#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_LSAN_HOOK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_LSAN_HOOK 1
#endif
#endif
#ifdef VELMORA_LSAN_HOOK
// Cairo's subsetter keeps one buffer of every CFF font it embeds (the CJK fallback font is one),
// found by exporting the same resume with and without CJK text; the handles we own are all freed.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libcairo.so\n"; }
#endif

std::vector<PdfParagraph> buildPdfParagraphs(const ResumeDocument& document) {
    using Kind = PdfParagraph::Kind;
    const PdfTemplate t = pdfTemplate(document.templateName);
    std::vector<PdfParagraph> out;

    std::vector<std::string> contact = resumeLines(document.contact);
    if (!contact.empty()) {
        out.push_back(paragraph(Kind::Name, contact.front(), t.family, t.nameSize, true, true, 1));
        std::vector<std::string> rest(contact.begin() + 1, contact.end());
        std::string line = text::trim(text::join(rest, " | "));
        if (!line.empty()) out.push_back(paragraph(Kind::Contact, line, t.family, t.contactSize, false, true, 1));
    }
    std::string role = text::trim(document.targetRole);
    if (!role.empty()) out.push_back(paragraph(Kind::Role, role, t.family, t.roleSize, false, true, 5));

    for (const ResumeSectionRef& section : resumeSections()) {
        std::vector<std::string> lines = sectionLines(document.*section.text, section.bulleted);
        if (lines.empty()) continue;
        std::string heading = text::trim(resumeHeading(document.language, section.key));
        if (!heading.empty()) out.push_back(paragraph(Kind::Heading, heading, t.family, t.headingSize, true, false, 1));
        for (const std::string& line : lines)
            out.push_back(paragraph(Kind::Body, line, t.family, t.bodySize, false,
                                    false, t.bodySpacing));
    }
    return out;
}

std::string resolvePdfFontFamily(const std::string& family) {
    if (familyInstalled(family)) return family;
    std::string key = text::lower(family);
    std::vector<std::string> substitutes;
    if (key == "helvetica" || key == "arial") substitutes = {"Liberation Sans", "Arimo", "Nimbus Sans"};
    else if (key == "georgia") substitutes = {"Gelasio", "serif"};
    for (const std::string& candidate : substitutes)
        if (familyInstalled(candidate)) return candidate;
    return "sans-serif";
}

PdfExportResult writePdf(const std::filesystem::path& destination, const ResumeDocument& document) {
    std::unique_ptr<AtomicOutputFile> file;
    try {
        file = std::make_unique<AtomicOutputFile>(destination);
    } catch (const std::system_error&) {
        throw VelmoraError(kOutputFileError);
    }

    SurfacePtr surface(cairo_pdf_surface_create_for_stream(writeToFile, file.get(), PdfPageGeometry::pageWidth,
                                                           PdfPageGeometry::pageHeight));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw VelmoraError(kDocumentError);
    CairoPtr cr(cairo_create(surface.get()));
    PangoContextPtr context(pango_cairo_create_context(cr.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS || !context) throw VelmoraError(kDocumentError);

    // Unhinted outlines and unrounded positions: a PDF is scaled by whoever views it, and
    // hinting for a screen grid would only distort the spacing.
    FontOptionsPtr options(cairo_font_options_create());
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context.get(), options.get());
    pango_context_set_round_glyph_positions(context.get(), FALSE);
    cairo_set_source_rgb(cr.get(), 0, 0, 0);

    PdfExportResult result;
    result.path = destination;
    std::vector<PdfParagraph> paragraphs = buildPdfParagraphs(document);
    const std::string family = paragraphs.empty() ? "" : resolvePdfFontFamily(paragraphs.front().family);
    PageComposer composer(cr.get(), context.get());
    // A text no font can draw stops the export, but the surface is still closed properly (it
    // owns memory that only finishing releases); nothing is committed.
    std::optional<VelmoraError> unprintable;
    try {
        for (size_t i = 0; i < paragraphs.size(); ++i) {
            const PdfParagraph& p = paragraphs[i];
            // A heading stays with the first line of its section.
            double keepWith = p.kind == PdfParagraph::Kind::Heading && i + 1 < paragraphs.size()
                                  ? composer.firstLineHeight(paragraphs[i + 1], family)
                                  : 0;
            if (!composer.add(p, family, keepWith)) {
                result.complete = false;
                break;
            }
        }
    } catch (const VelmoraError& e) {
        unprintable = e;
    }
    result.pages = composer.pages();
    // A PDF needs at least one page to be readable at all, so an empty resume gives one
    // blank page (cairo emits it on finish).
    if (result.pages == 0) result.pages = 1;

    context.reset();
    cr.reset();
    cairo_surface_finish(surface.get());
    cairo_status_t status = cairo_surface_status(surface.get());
    surface.reset();
    if (unprintable) throw *unprintable;
    if (file->failed() || status == CAIRO_STATUS_WRITE_ERROR) throw VelmoraError(kOutputFileError);
    if (status != CAIRO_STATUS_SUCCESS) throw VelmoraError(kDocumentError);
    try {
        file->commit();
    } catch (const std::system_error&) {
        throw VelmoraError(kOutputFileError);
    }
    return result;
}

std::filesystem::path exportPdf(const std::filesystem::path& destination, const ResumeDocument& document) {
    return writePdf(destination, document).path;
}

} // namespace velmora
