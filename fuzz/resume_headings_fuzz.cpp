// Arbitrary text as an imported resume through the heading splitter and section parser,
// alone and inside a facts block as the build pipeline passes it.

#include "core/Text.h"
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
    return 0;
}
