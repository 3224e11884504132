#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// The one error type of the core. Its message is a sentence meant for the user:
// the bridge sends it as the reply's error text and native alerts show it as is.
class VelmoraError : public std::runtime_error {
public:
    explicit VelmoraError(const std::string& message) : std::runtime_error(message) {}
    const std::string message() const { return what(); }
};

} // namespace velmora
