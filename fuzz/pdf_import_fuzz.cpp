// Arbitrary bytes as a .pdf file through the real import path (poppler's text layer).

#include "core/VelmoraError.h"
#include "resume/ResumeService.h"

#include "FuzzSupport.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz::writeInput(data, size, "resume.pdf");
    try {
        ResumeService::extractText(path);
    } catch (const VelmoraError&) {
    }
    return 0;
}
