// Arbitrary bytes as a stored or posted Resume Studio document. Decoding either refuses the
// text with its own message or gives a document that survives its own round trip unchanged.

#include "core/VelmoraError.h"
#include "studio/ResumeDocument.h"

#include "FuzzSupport.h"

#include <cstdlib>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResumeDocument document;
    try {
        document = ResumeDocument::fromJsonText(std::string(fuzz::asText(data, size)));
    } catch (const VelmoraError&) {
        return 0;
    }
    ResumeDocument again = ResumeDocument::fromJsonText(document.toJsonText());
    if (!(again == document)) std::abort();
    return 0;
}
