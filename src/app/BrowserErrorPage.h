#pragma once

#include <string>

namespace velmora {

// The page the application browser shows instead of the web engine's own text when a page
// cannot be loaded: what went wrong in the interface language, the address, and a Retry link.
enum class LoadFailure { Offline, Dns, Tls, Timeout, Other };

// Complete HTML with its own restrictive policy (no scripts). The address is escaped; the
// Retry link is only offered for http and https addresses.
std::string browserErrorPage(const std::string& address, LoadFailure failure, const std::string& language);

} // namespace velmora
