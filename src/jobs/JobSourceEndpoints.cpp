#include "jobs/JobSourceEndpoints.h"

#include "core/VelmoraError.h"
#include "jobs/HttpClient.h"

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace velmora {

namespace {

std::string withoutTrailingSlashes(std::string s) {
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
}

} // namespace

JobSourceEndpoints JobSourceEndpoints::fromJsonText(const std::string& jsonText) {
    nlohmann::json doc = nlohmann::json::parse(jsonText, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        throw VelmoraError("The job-source endpoints file must hold one JSON object.");

    JobSourceEndpoints endpoints;
    std::pair<const char*, std::string*> fields[] = {
        {"himalayas", &endpoints.himalayas},           {"jobicy", &endpoints.jobicy},
        {"arbeitnow", &endpoints.arbeitnow},           {"arbeitnowUk", &endpoints.arbeitnowUk},
        {"weWorkRemotely", &endpoints.weWorkRemotely}, {"remotive", &endpoints.remotive},
        {"remoteOk", &endpoints.remoteOk},             {"remoteJobs", &endpoints.remoteJobs},
    };
    for (const auto& [key, value] : doc.items()) {
        std::string* target = nullptr;
        for (auto& [name, field] : fields)
            if (key == name) target = field;
        if (!target) throw VelmoraError("The job-source endpoints file names an unknown source: " + key);
        if (!value.is_string() || !HttpClient::isWebUrl(value.get<std::string>()))
            throw VelmoraError("The job-source endpoint for " + key + " is not an http or https address.");
        *target = withoutTrailingSlashes(value.get<std::string>());
    }
    return endpoints;
}

JobSourceEndpoints JobSourceEndpoints::fromFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw VelmoraError("The job-source endpoints file could not be read: " + file.string());
    std::ostringstream content;
    content << in.rdbuf();
    return fromJsonText(content.str());
}

JobSourceEndpoints JobSourceEndpoints::fromEnvironment() {
    const char* file = std::getenv(kEnvironmentVariable);
    if (!file || !*file) return JobSourceEndpoints{};
    return fromFile(file);
}

} // namespace velmora
