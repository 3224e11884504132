// Arbitrary bytes as a .docx file through the real import path (libzip, the streaming XML
// parser, the text collector). A refusal must be one of the import's own messages.

#include "core/VelmoraError.h"
#include "resume/ResumeService.h"

#include "FuzzSupport.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz::writeInput(data, size, "resume.docx");
    try {
        ResumeService::extractText(path);
    } catch (const VelmoraError&) {
    }
    return 0;
}
