#pragma once

#include "core/VelmoraError.h"

#include <string>

namespace velmora {

// A job board that failed in a way worth telling apart on the dashboard: its message is the
// usual sentence, and the kind ("http", "timeout", "dns", "tls", "network") and the HTTP status
// say what to try (wait, check the connection, retry later).
class JobSourceError : public VelmoraError {
public:
    JobSourceError(const std::string& message, std::string kind, long httpStatus = 0)
        : VelmoraError(message), kind_(std::move(kind)), httpStatus_(httpStatus) {}
    const std::string& kind() const { return kind_; }
    long httpStatus() const { return httpStatus_; }

private:
    std::string kind_;
    long httpStatus_;
};

} // namespace velmora
