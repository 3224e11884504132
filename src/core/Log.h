#pragma once

#include <string>

namespace velmora {

// One line to the system log (ident "velmora"): a fixed prefix naming what failed, then the
// error's message. Background failures the user never sees end up here; there are no levels.
void logLine(const std::string& prefixAndMessage);

} // namespace velmora
