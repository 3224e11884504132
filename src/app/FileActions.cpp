// The bridge actions behind the native file dialogs: choosing a resume to import, exporting
// a Resume Studio document as DOCX or PDF, and saving a generated text.

#include "app/Actions.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "studio/AtomicFile.h"
#include "studio/DocxWriter.h"
#include "studio/PdfWriter.h"
#include "studio/ResumeDocument.h"

namespace velmora {

namespace {

// File names may not hold "/" and ":" is the folder separator of some file systems, so a
// resume called "A/B: CV" is proposed as "A_B_ CV".
std::string fileNameSafe(const std::string& name) {
    return text::replaceAll(text::replaceAll(name, "/", "_"), ":", "_");
}

ResumeDocument documentFromPayload(const json& payload) {
    auto it = payload.find("resume");
    if (it == payload.end() || !it->is_object()) throw VelmoraError("Resume payload is invalid.");
    return ResumeDocument::fromJson(*it);
}

// Save panels that enforce their file type add the extension the user left off; the GTK
// chooser does not, so the action does, keeping an exported file recognisable.
std::filesystem::path withExtension(std::filesystem::path path, const std::string& extension) {
    if (text::lower(path.extension().string()) != "." + extension) path += "." + extension;
    return path;
}

// The save panel is modal on the UI thread; writing the file (a long document takes a while to
// lay out) is the returned work, run on a background thread so the window stays live.
std::function<json()> exportResume(AppContext& ctx, ResumeDocument document, const std::string& format) {
    const bool pdf = text::lower(format) == "pdf";
    const std::string extension = pdf ? "pdf" : "docx";
    auto notSaved = [] { return json{{"saved", false}}; };
    std::string base = text::trim(fileNameSafe(document.name));
    if (base.empty()) base = "Velmora-Resume";
    if (!ctx.dialogs) return notSaved;
    auto chosen = ctx.dialogs->chooseSaveFile(pdf ? "Export resume as PDF" : "Export resume as Word document",
                                              base + "." + extension, {extension});
    if (!chosen) return notSaved;
    return [pdf, path = withExtension(*chosen, extension), document = std::move(document)] {
        if (pdf) exportPdf(path, document);
        else exportDocx(path, document);
        return json{{"saved", true}, {"path", path.string()}};
    };
}

json saveTextFile(AppContext& ctx, const std::string& content, const std::string& suggestedName) {
    std::string name = fileNameSafe(suggestedName);
    if (!text::endsWith(name, ".txt") && !text::endsWith(name, ".md")) name += ".txt";
    if (!ctx.dialogs) return json{{"saved", false}};
    auto chosen = ctx.dialogs->chooseSaveFile("Save generated resume", name, {});
    if (!chosen || !text::isValidUtf8(content)) return json{{"saved", false}};
    try {
        writeFileAtomically(*chosen, content);
    } catch (const std::system_error& e) {
        throw VelmoraError(describeWriteError(*chosen, e));
    }
    return json{{"saved", true}, {"path", chosen->string()}};
}

json chooseResumeFile(AppContext& ctx) {
    if (!ctx.dialogs) return json{{"selected", false}};
    auto chosen = ctx.dialogs->chooseOpenFile("Choose a resume", {"pdf", "docx", "txt", "md", "rtf"});
    if (!chosen || chosen->empty()) return json{{"selected", false}};
    return json{{"selected", true}, {"path", chosen->string()}, {"name", chosen->filename().string()}};
}

} // namespace

void registerFileActions(Bridge& bridge, AppContext& ctx) {
    bridge.addSync("chooseResumeFile", [&ctx](const json&) { return chooseResumeFile(ctx); });
    bridge.addAsync("exportResumeDocx",
                    [&ctx](const json& payload) { return exportResume(ctx, documentFromPayload(payload), "docx"); });
    bridge.addAsync("exportResumePdf",
                    [&ctx](const json& payload) { return exportResume(ctx, documentFromPayload(payload), "pdf"); });
    bridge.addSync("saveTextFile", [&ctx](const json& payload) {
        return saveTextFile(ctx, JSONTools::s(payload, "text", ""),
                            JSONTools::s(payload, "suggestedName", "Velmora-Resume.txt"));
    });
}

} // namespace velmora
