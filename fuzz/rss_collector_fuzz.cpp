// Arbitrary bytes as the We Work Remotely feed, through the streaming RSS collector.

#include "core/Text.h"
#include "jobs/RSSCollector.h"

#include "FuzzSupport.h"

#include <cstdlib>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto items = RSSCollector::collect(fuzz::asText(data, size));
    if (!items) return 0;
    // expat only hands over well-formed UTF-8, and the collector trims what it keeps.
    for (const auto& item : *items) {
        for (const auto& [name, value] : item) {
            if (name.empty() || value.empty() || !text::isValidUtf8(value)) std::abort();
            if (text::trim(value) != value) std::abort();
        }
    }
    return 0;
}
