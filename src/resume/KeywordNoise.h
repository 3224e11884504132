#pragma once

#include <string>

namespace velmora {

// Words that job ads and resumes use around the skills without being skills themselves ("need",
// "strong", "plus", "hiring", "across", "time"). Keyword lists that leave them in tell a user to
// add words no screening system looks for. Compared lower-cased.
bool isKeywordFiller(const std::string& lowerWord);

} // namespace velmora
