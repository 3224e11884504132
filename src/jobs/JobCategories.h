#pragma once

#include <string>

namespace velmora {

// The program's category for a listing title: the first keyword row with a substring hit in
// the lower-cased title wins; "Other Remote Jobs" when none does.
std::string classify(const std::string& title);

// Maps a job board's own category text onto a program category. Text that matches no
// keyword row is kept (trimmed, entities decoded, cut to 50 characters); blank text is
// "Other Remote Jobs". Every program category maps to itself.
std::string normalizeCategory(const std::string& sourceCategory);

} // namespace velmora
