// Arbitrary bytes as an RTF resume: the reader must either refuse them with its message or
// return valid UTF-8, without crashing, hanging or growing memory beyond the input's size.

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "resume/RtfReader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    try {
        std::string text = velmora::RtfReader::toPlainText(input);
        if (!velmora::text::isValidUtf8(text)) std::abort();
    } catch (const velmora::VelmoraError&) {
    }
    return 0;
}
