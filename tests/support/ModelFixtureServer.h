#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace velmora::testing {

// A loopback stand-in for the local model server, on 127.0.0.1 and a free port. It answers
// POST requests on any path (so a base address with a path prefix can be checked) with
// scripted replies: queued ones first, then the default reply. Every request is recorded.
class ModelFixtureServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        std::chrono::milliseconds delay{0}; // wait before answering (cut short when the server stops)
    };

    struct Request {
        std::string path;
        std::string contentType;
        std::string body;
    };

    // {"model": ..., "response": text, "done": true}: what a successful generate call returns.
    static Reply answer(const std::string& text);
    static Reply status(int code) { return {code, "{\"error\":\"model failed\"}"}; }

    ModelFixtureServer();
    ~ModelFixtureServer();

    std::string base() const; // http://127.0.0.1:PORT

    void setDefault(Reply reply);
    void enqueue(Reply reply);

    std::vector<Request> requests() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora::testing
