#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// An http or https address read the way the browser engine reads it (backslashes count as
// slashes, the last "@" ends the user information, tabs and newlines vanish, hosts go through
// IDNA), so that a link is rated for exactly the host that will load, and that host is loaded.
struct WebUrl {
    std::string scheme;   // "http" or "https"
    std::string username; // percent-encoded, as it will be sent
    std::string password;
    std::string host;               // ASCII, lower-case; IPv4 in dotted decimal, IPv6 in brackets
    std::optional<uint16_t> port;   // only a port other than the scheme's default
    std::string rest;               // path (from "/"), query and fragment
    bool internationalHost = false; // written with non-ASCII letters, or holding an "xn--" label

    bool hasUserInfo() const { return !username.empty() || !password.empty(); }
    // The canonical text: what to hand to the web view.
    std::string href() const;

    // nullopt for anything that is not an http or https address with a valid host.
    static std::optional<WebUrl> parse(std::string_view text);
};

} // namespace velmora
