#include "jobs/HttpClient.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "jobs/JobSourceError.h"

#include <curl/curl.h>

namespace velmora {

const char* const HttpClient::kUserAgent = "Velmora-by-Quorvane/0.2.2 (+https://quorvane.com/velmora)";

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlStringDeleter {
    void operator()(char* s) const { curl_free(s); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

std::string urlPart(CURLU* url, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || !raw) return "";
    CurlString owned(raw);
    return owned.get();
}

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

struct Sink {
    std::string body;
    size_t limit = 0;
    bool tooLarge = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    size_t n = size * count;
    if (sink->body.size() + n > sink->limit) {
        sink->tooLarge = true;
        return 0; // makes curl stop with a write error
    }
    sink->body.append(data, n);
    return n;
}

std::string megabytes(size_t bytes) { return std::to_string(bytes / (1024u * 1024u)) + " MB"; }

} // namespace

void HttpClient::EasyDeleter::operator()(void* easy) const {
    if (easy) curl_easy_cleanup(static_cast<CURL*>(easy));
}

HttpClient::HttpClient() : HttpClient(Options{}) {}

HttpClient::HttpClient(Options options) : options_(options) { globalInit(); }

HttpClient::~HttpClient() = default;

HttpClient::HandlePtr HttpClient::acquire() const {
    {
        std::lock_guard lock(poolMutex_);
        if (!pool_.empty()) {
            HandlePtr h = std::move(pool_.back());
            pool_.pop_back();
            curl_easy_reset(h.get()); // keeps the connection cache, forgets every option
            return h;
        }
    }
    HandlePtr h(curl_easy_init());
    if (!h) throw VelmoraError("The network library could not be started.");
    return h;
}

void HttpClient::release(HandlePtr handle) const {
    std::lock_guard lock(poolMutex_);
    if (pool_.size() < 4) pool_.push_back(std::move(handle));
}

bool HttpClient::isWebUrl(const std::string& url) {
    UrlPtr u(curl_url());
    if (!u || url.empty()) return false;
    if (curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
    std::string scheme = text::lower(urlPart(u.get(), CURLUPART_SCHEME));
    return (scheme == "http" || scheme == "https") && !urlPart(u.get(), CURLUPART_HOST).empty();
}

std::string HttpClient::hostOf(const std::string& url) {
    UrlPtr u(curl_url());
    if (!u || url.empty()) return "";
    if (curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return "";
    return text::lower(urlPart(u.get(), CURLUPART_HOST));
}

HttpResponse HttpClient::getApi(const std::string& url) const { return get(url, true, options_.apiTimeout); }

std::string HttpClient::failureKind(int code) {
    switch (static_cast<CURLcode>(code)) {
    case CURLE_OPERATION_TIMEDOUT: return "timeout";
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return "dns";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return "tls";
    default: return "network";
    }
}

HttpResponse HttpClient::getFeed(const std::string& url) const { return get(url, false, options_.feedTimeout); }

HttpResponse HttpClient::get(const std::string& url, bool userAgent, std::chrono::milliseconds timeout) const {
    if (!isWebUrl(url)) throw VelmoraError("Invalid job-source URL.");

    HandlePtr handle = acquire();
    CURL* c = static_cast<CURL*>(handle.get());
    Sink sink;
    sink.limit = options_.maxBodyBytes;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    SlistPtr headers;
    if (userAgent) {
        std::string header = std::string("User-Agent: ") + kUserAgent;
        headers.reset(curl_slist_append(nullptr, header.c_str()));
    }

    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // requests run on worker threads
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, ""); // any encoding curl can decode; the cap applies after decoding
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options_.maxBodyBytes));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    if (headers) curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    CURLcode rc = curl_easy_perform(c);
    // The handle must not keep pointers into this frame once it goes back to the pool.
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);

    if (rc != CURLE_OK) {
        if (sink.tooLarge || rc == CURLE_FILESIZE_EXCEEDED)
            throw VelmoraError("A job source sent a response larger than " + megabytes(options_.maxBodyBytes) + ".");
        std::string detail = errorBuffer[0] ? std::string(errorBuffer) : std::string(curl_easy_strerror(rc));
        throw JobSourceError("The job source could not be reached: " + text::trim(detail), failureKind(rc));
    }

    HttpResponse response;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
    char* effective = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) response.finalUrl = effective;
    response.body = std::move(sink.body);
    release(std::move(handle));
    return response;
}

} // namespace velmora
