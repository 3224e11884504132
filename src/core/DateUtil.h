#pragma once

#include "core/Clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace velmora::DateUtil {

// 2026-01-31T09:05:00.123Z: every timestamp the program writes has this fixed-width UTC
// form, which is why SQL can compare and order them as text.
std::string withFractional(TimePoint t);

// 2026-01-31T09:05:00Z
std::string standard(TimePoint t);

// Accepts the two forms above (only UTC "Z"); anything else, or empty text, is no date.
// So is a moment outside what TimePoint can hold (before 1677 or after 2262).
std::optional<TimePoint> parse(std::string_view text);

// Milliseconds since the Unix epoch, handy for sources that send epoch seconds. Values beyond
// what TimePoint can hold are clamped to its ends.
TimePoint fromUnixSeconds(double seconds);

} // namespace velmora::DateUtil
