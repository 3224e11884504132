// Arbitrary bytes as a DOCX document part, fed in two chunks through the XML parser into the
// text collector: malformed XML must be reported, never crash, and accepted XML must give
// valid UTF-8.

#include "core/Text.h"
#include "resume/DocxTextCollector.h"
#include "resume/XmlEventParser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::DocxTextCollector collector;
    velmora::XmlEventParser parser(collector);
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t split = size / 2;
    bool ok = parser.feed(bytes, split) && parser.feed(bytes + split, size - split) && parser.finish();
    if (ok && !velmora::text::isValidUtf8(collector.text())) std::abort();
    return 0;
}
