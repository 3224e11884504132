#pragma once

#include <cstddef>
#include <string>

namespace velmora::JSONTools {

// The bridge refuses a request text longer than this unread (with a failure reply when its
// top-level id can be read on the way); a host may hand over just the first kMaxRequestBytes + 1
// bytes of an endless line.
inline constexpr size_t kMaxRequestBytes = 8 * 1024 * 1024;

// Requests nested deeper than this are refused before any value is built: copying, writing and
// destroying a value recurse once per level, and a page can send a line 150,000 levels deep.
// JSONTools::parseRequest discards such text.
inline constexpr size_t kMaxRequestDepth = 512;

// The deepest nesting of arrays and objects in a JSON text, counted without parsing it (brackets
// inside strings do not count). Malformed text may over-count, which only refuses it sooner.
// Stops counting once the depth passes `stopAbove`.
size_t nestingDepth(const std::string& text, size_t stopAbove = kMaxRequestDepth);

} // namespace velmora::JSONTools
