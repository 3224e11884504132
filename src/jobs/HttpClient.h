#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora {

struct HttpResponse {
    long status = 0;
    std::string body;
    std::string finalUrl; // the address that answered, after redirects
};

// GET over libcurl for the job sources. Certificate verification stays on; redirects are
// followed only to http and https; bodies are capped so a misbehaving service cannot
// exhaust memory. Safe to use from several threads at once: every request takes its own
// easy handle from a small pool (the pool only exists to keep connections alive).
class HttpClient {
public:
    struct Options {
        std::chrono::milliseconds apiTimeout{40000};  // JSON APIs
        std::chrono::milliseconds feedTimeout{60000}; // the plain feed request
        size_t maxBodyBytes = 32u * 1024u * 1024u;
    };

    static const char* const kUserAgent;

    HttpClient();
    explicit HttpClient(Options options);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // The JSON API request: User-Agent header and the API time-out.
    HttpResponse getApi(const std::string& url) const;
    // The feed request: no extra header and the feed time-out.
    HttpResponse getFeed(const std::string& url) const;

    // True when the text is an absolute http or https URL with a host.
    static bool isWebUrl(const std::string& url);
    // Lower-cased host of an absolute URL, empty when it has none.
    static std::string hostOf(const std::string& url);

    const Options& options() const { return options_; }

    // "timeout", "dns", "tls" or "network" for a libcurl result code.
    static std::string failureKind(int curlCode);

private:
    // An easy handle (CURL is void in libcurl's headers, so none of them leak out of here).
    struct EasyDeleter {
        void operator()(void* easy) const;
    };
    using HandlePtr = std::unique_ptr<void, EasyDeleter>;

    HttpResponse get(const std::string& url, bool userAgent, std::chrono::milliseconds timeout) const;
    HandlePtr acquire() const;
    void release(HandlePtr handle) const;

    Options options_;
    mutable std::mutex poolMutex_;
    mutable std::vector<HandlePtr> pool_;
};

} // namespace velmora
