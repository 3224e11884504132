#pragma once

#include <filesystem>
#include <string>

namespace velmora {

// The base address of each job-board service. Defaults are the real HTTPS hosts; the
// environment variable VELMORA_SOURCE_ENDPOINTS may name a JSON file whose entries replace
// any of them, so the program can run against mirrors and loopback fixture servers. A base
// may carry a path prefix ("http://127.0.0.1:8123/uk"); the adapters append their paths to it.
struct JobSourceEndpoints {
    std::string himalayas = "https://himalayas.app";
    std::string jobicy = "https://jobicy.com";
    std::string arbeitnow = "https://www.arbeitnow.com";
    std::string arbeitnowUk = "https://www.arbeitnow.co.uk";
    std::string weWorkRemotely = "https://weworkremotely.com";
    std::string remotive = "https://remotive.com";
    std::string remoteOk = "https://remoteok.com";
    std::string remoteJobs = "https://remotejobs.org";

    static constexpr const char* kEnvironmentVariable = "VELMORA_SOURCE_ENDPOINTS";

    // The real hosts, replaced by the file named in VELMORA_SOURCE_ENDPOINTS when it is set
    // and not empty. Throws VelmoraError when that file cannot be read or holds anything but
    // an object of known keys with http(s) addresses: a typo must not silently reach the
    // real services.
    static JobSourceEndpoints fromEnvironment();
    static JobSourceEndpoints fromFile(const std::filesystem::path& file);
    // Applies the entries of a JSON object text over the defaults.
    static JobSourceEndpoints fromJsonText(const std::string& jsonText);
};

} // namespace velmora
