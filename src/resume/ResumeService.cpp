#include "resume/ResumeService.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <curl/curl.h>

#include <mutex>
#include <optional>

namespace velmora {

namespace {

const char* const kPrivacyCheckFailed = "Private AI service configuration failed the local-only privacy check.";
const char* const kInvalidUrl = "Private AI URL is invalid.";
const char* const kUnexpectedResponse = "Private AI assistance returned an unexpected response.";

// A local model answers with a few kilobytes; anything near this is not the server we expect,
// and reading it whole would only waste memory.
constexpr size_t kMaxAnswerBytes = 32u * 1024u * 1024u;
// What one answer may contribute: far beyond any section, letter or review, and small enough
// that a runaway model cannot fill the library.
constexpr size_t kMaxAnswerCharacters = 100000;
const char* const kEmptyAnswer = "Private AI assistance returned an empty answer.";

const char* const kOfflineTemplate =
    "[YOUR NAME]\n"
    "[City, State] | [Phone] | [Professional Email] | [LinkedIn/Portfolio]\n"
    "\n"
    "PROFESSIONAL SUMMARY\n"
    "[2–4 lines describing your target role, years of relevant experience, strongest specialties, and remote-work strengths.]\n"
    "\n"
    "CORE SKILLS\n"
    "• [Skill] • [Skill] • [Skill] • [Tool/Technology] • [Domain]\n"
    "\n"
    "PROFESSIONAL EXPERIENCE\n"
    "[EMPLOYER] — [Job Title] | [Location/Remote] | [Month Year – Month Year]\n"
    "• [Action verb] [what you did], resulting in [measurable result].\n"
    "• [Action verb] [scope/technology/process] to [business/security/customer outcome].\n"
    "• [Action verb] [cross-functional or remote collaboration accomplishment].\n"
    "\n"
    "[EMPLOYER] — [Job Title] | [Location/Remote] | [Month Year – Month Year]\n"
    "• [Accomplishment]\n"
    "• [Accomplishment]\n"
    "\n"
    "EDUCATION\n"
    "[Degree] — [School], [Location] | [Year]\n"
    "\n"
    "CERTIFICATIONS\n"
    "[Certification] | [Year]\n"
    "\n"
    "TARGETING NOTES PROVIDED TO VELMORA\n";

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlUrlDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
struct CurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlStringDeleter {
    void operator()(char* p) const { curl_free(p); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

void ensureCurlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Parses a URL the way the transfer will use it, so the host we check is the host we reach.
CurlUrl parseUrl(const std::string& url) {
    CurlUrl handle(curl_url());
    if (!handle) return nullptr;
    if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return nullptr;
    return handle;
}

std::optional<std::string> hostOf(CURLU* url) {
    char* raw = nullptr;
    if (curl_url_get(url, CURLUPART_HOST, &raw, 0) != CURLUE_OK || raw == nullptr) return std::nullopt;
    CurlString owned(raw);
    std::string host(raw);
    // The IPv6 loopback is written in brackets inside a URL; the check compares the bare address.
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return host;
}

bool isLoopbackHost(const std::optional<std::string>& host) {
    return host && (*host == "localhost" || *host == "127.0.0.1" || *host == "::1");
}

std::string trimTrailingSlashes(std::string base) {
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

// Builds the endpoint and returns its parsed form; throws the privacy or invalid-URL error.
CurlUrl endpointFor(const std::string& baseSetting, std::string* endpointText) {
    ensureCurlInitialised();
    std::string base = trimTrailingSlashes(baseSetting);
    CurlUrl baseUrl = parseUrl(base);
    if (!baseUrl || !isLoopbackHost(hostOf(baseUrl.get()))) throw VelmoraError(kPrivacyCheckFailed);

    std::string endpoint = base + "/api/generate";
    CurlUrl url = parseUrl(endpoint);
    if (!url) throw VelmoraError(kInvalidUrl);
    // Appending the path must never move the request off the machine (a base ending in an
    // odd character could otherwise change how the authority is read).
    if (!isLoopbackHost(hostOf(url.get()))) throw VelmoraError(kPrivacyCheckFailed);
    if (endpointText) *endpointText = endpoint;
    return url;
}

struct AnswerBuffer {
    std::string body;
    bool overflow = false;
};

size_t collectAnswer(char* data, size_t size, size_t count, void* userdata) {
    auto* answer = static_cast<AnswerBuffer*>(userdata);
    size_t bytes = size * count;
    if (answer->body.size() + bytes > kMaxAnswerBytes) {
        answer->overflow = true;
        return 0; // aborts the transfer
    }
    answer->body.append(data, bytes);
    return bytes;
}

} // namespace

ResumeService::ResumeService(std::shared_ptr<DatabaseService> db, std::chrono::milliseconds aiTimeout)
    : db_(std::move(db)), aiTimeout_(aiTimeout) {}

std::string ResumeService::generateEndpoint(const std::string& baseUrl) {
    std::string endpoint;
    endpointFor(baseUrl, &endpoint);
    return endpoint;
}

std::string ResumeService::askLocalAi(const std::string& prompt) const {
    // Settings are read on every call so a changed address or model applies at once.
    std::string base = db_->getSetting("ollamaUrl", "http://localhost:11434");
    std::string model = db_->getSetting("ollamaModel", "llama3.2:3b");

    // The privacy check runs before any handle that could open a socket exists.
    CurlUrl url = endpointFor(base, nullptr);

    std::string body;
    try {
        body = nlohmann::json{{"model", model}, {"prompt", prompt}, {"stream", false}}.dump();
    } catch (const nlohmann::json::exception& e) {
        throw VelmoraError(e.what());
    }

    CurlEasy curl(curl_easy_init());
    if (!curl) throw VelmoraError(kUnexpectedResponse);
    curl_slist* rawHeaders = curl_slist_append(nullptr, "Content-Type: application/json");
    if (rawHeaders) rawHeaders = curl_slist_append(rawHeaders, "Expect:");
    CurlList headers(rawHeaders);

    AnswerBuffer answer;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_CURLU, url.get());
    // Only plain or TLS HTTP to the checked host: no proxy from the environment, no redirects
    // (either could carry resume text off the machine), no other protocols.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(aiTimeout_.count()));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collectAnswer);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);

    CURLcode result = curl_easy_perform(h);
    if (answer.overflow) throw VelmoraError(kUnexpectedResponse);
    if (result != CURLE_OK) {
        std::string message = errorBuffer[0] ? std::string(errorBuffer) : std::string(curl_easy_strerror(result));
        throw VelmoraError(message);
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) throw VelmoraError(kUnexpectedResponse);

    nlohmann::json parsed;
    try {
        parsed = nlohmann::json::parse(answer.body);
    } catch (const nlohmann::json::parse_error& e) {
        throw VelmoraError(e.what());
    }
    if (!parsed.is_object()) throw VelmoraError(kUnexpectedResponse);
    auto it = parsed.find("response");
    if (it == parsed.end() || !it->is_string()) throw VelmoraError(kUnexpectedResponse);
    std::string reply = text::trim(it->get<std::string>());
    // White space is no answer: callers would otherwise show an empty text as the model's work.
    if (reply.empty()) throw VelmoraError(kEmptyAnswer);
    return text::prefixCharacters(reply, kMaxAnswerCharacters);
}

std::string ResumeService::languageName(const std::string& code) {
    std::string lower = text::lower(code);
    if (lower == "es") return "Spanish";
    if (lower == "fr") return "French";
    if (lower == "de") return "German";
    if (lower == "it") return "Italian";
    if (lower == "pt") return "Portuguese";
    return "English";
}

const std::string& ResumeService::offlineTemplate() {
    static const std::string tmpl = kOfflineTemplate;
    return tmpl;
}

nlohmann::json ResumeService::generateResume(const std::string& prompt, const std::string& language) const {
    std::string notes = text::trim(prompt);
    if (notes.empty()) throw VelmoraError("Describe your background and the type of role you want.");

    std::string modelPrompt =
        "Create a professional ATS-friendly resume using only facts supplied by the user. Never invent employers, "
        "dates, degrees, certifications, metrics, or skills. If information is missing, use clear [ADD ...] "
        "placeholders. Return plain text with these sections: NAME/CONTACT, PROFESSIONAL SUMMARY, CORE SKILLS, "
        "PROFESSIONAL EXPERIENCE, EDUCATION, CERTIFICATIONS (if provided). Focus on remote-work readiness and "
        "measurable accomplishments where the user supplied measurements. Write the resume in " +
        languageName(language) + ". User information:\n\n" + notes;
    try {
        std::string answer = askLocalAi(modelPrompt);
        return {{"mode", "private_ai"},
                {"resume", answer},
                {"notice", "Generated with Velmora private AI assistance. Review all facts before submitting."}};
    } catch (const std::exception&) {
        // Any failure of the model means the offline template; the user always gets a draft.
    }
    return {{"mode", "offline_template"},
            {"resume", offlineTemplate() + notes +
                           "\n\nReplace every bracketed placeholder with verified facts before applying."},
            {"notice", "Private AI assistance was unavailable, so Velmora created a structured offline template instead."}};
}

std::string ResumeService::fragmentPrompt(const std::string& fragment, const std::string& sourceFacts,
                                          const std::string& targetRole, const std::string& jobDescription,
                                          const std::string& mode, const std::string& language) {
    std::string lowerMode = text::lower(mode);
    std::string instruction;
    if (lowerMode == "shorten") {
        instruction = "Shorten this resume line while preserving every fact.";
    } else if (lowerMode == "strengthen") {
        instruction = "Strengthen this resume line with clearer action-oriented wording while preserving every fact. "
                      "Do not add a metric.";
    } else if (lowerMode == "regenerate") {
        instruction = "Regenerate this resume line from the same verified facts without adding any new fact.";
    } else {
        instruction = "Rewrite this resume line for clarity and impact while preserving every fact.";
    }
    return instruction +
           "\nSTRICT RULES: Use only verified source facts. Never invent a metric, responsibility, employer, title, "
           "date, technology, skill, credential, project, or achievement.\nTarget role: " +
           targetRole + "\nOutput language: " + languageName(language) +
           "\nJob description: " + text::prefixCharacters(text::trim(jobDescription), 7000) +
           "\nVerified source facts: " + text::prefixCharacters(text::trim(sourceFacts), 12000) +
           "\nCurrent line: " + text::trim(fragment) + "\nReturn one revised line only.";
}

nlohmann::json ResumeService::rewriteFragment(const std::string& fragment, const std::string& sourceFacts,
                                              const std::string& targetRole, const std::string& jobDescription,
                                              const std::string& mode, const std::string& language) const {
    std::string trimmed = text::trim(fragment);
    if (trimmed.empty()) return {{"text", ""}};
    try {
        std::string answer =
            askLocalAi(fragmentPrompt(trimmed, sourceFacts, targetRole, jobDescription, mode, language));
        return {{"text", answer}, {"mode", "private_ai"}};
    } catch (const std::exception&) {
        // The line stays as the user wrote it; the rewrite is only a suggestion.
    }
    return {{"text", trimmed}, {"mode", "offline"}};
}

} // namespace velmora
