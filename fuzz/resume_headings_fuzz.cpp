// Arbitrary text as an imported resume through the section reader and the contact finder, alone
// and inside a facts block as the build pipeline passes it, and as a model answer checked
// against the facts it came from.

#include "core/Text.h"
#include "studio/GroundingCheck.h"
#include "studio/ResumeStudioService.h"

#include "FuzzSupport.h"

#include <cstdlib>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(fuzz::asText(data, size));
    // Resume text reaches the parser from the import, which only gives UTF-8.
    if (!text::isValidUtf8(text)) return 0;
    ParsedResumeSections sections = ResumeStudioService::parseExistingResume(text);
    for (const std::string* s : {&sections.summary, &sections.skills, &sections.experience, &sections.education,
                                 &sections.certifications, &sections.projects})
        if (!text::isValidUtf8(*s)) std::abort();
    std::string facts = std::string("FULL NAME: Jordan Avery\n") + ResumeStudioService::kExistingResumeMarker + "\n" + text;
    ResumeStudioService::extractExistingResumeText(facts);
    if (!text::isValidUtf8(ResumeStudioService::buildContact(ApplicationProfile{}, text))) std::abort();
    GroundingCheck check(facts, text, "Engineer", "en");
    // The answer's own words are in the facts, so only what the facts lack may be reported.
    if (check.unsupportedClaims(text, true).size() > 8) std::abort();
    return 0;
}
