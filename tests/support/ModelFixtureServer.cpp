#include "support/ModelFixtureServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <stdexcept>

namespace velmora::testing {

struct ModelFixtureServer::Impl {
    httplib::Server server;
    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    Reply fallback = ModelFixtureServer::answer("ok");
    std::deque<Reply> queue;
    std::vector<Request> log;
};

ModelFixtureServer::Reply ModelFixtureServer::answer(const std::string& text) {
    Reply r;
    r.body = nlohmann::json{{"model", "fixture"}, {"response", text}, {"done", true}}.dump();
    return r;
}

ModelFixtureServer::Reply ModelFixtureServer::status(int code, const std::string& body) {
    Reply r;
    r.status = code;
    r.body = body;
    return r;
}

ModelFixtureServer::Reply ModelFixtureServer::raw(const std::string& body, const std::string& contentType) {
    Reply r;
    r.body = body;
    r.contentType = contentType;
    return r;
}

ModelFixtureServer::ModelFixtureServer() : impl_(std::make_unique<Impl>()) {
    auto& server = impl_->server;
    server.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Reply reply;
        {
            std::unique_lock lock(impl_->mutex);
            impl_->log.push_back({req.method, req.path, req.get_header_value("Content-Type"), req.body});
            if (!impl_->queue.empty()) {
                reply = impl_->queue.front();
                impl_->queue.pop_front();
            } else {
                reply = impl_->fallback;
            }
            if (reply.delay.count() > 0)
                impl_->stopped.wait_for(lock, reply.delay, [this] { return impl_->stopping; });
        }
        res.status = reply.status;
        res.set_content(reply.body, reply.contentType.c_str());
    });
    server.set_tcp_nodelay(true); // no 40 ms Nagle/delayed-ACK stall per reply on loopback
    port_ = server.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("model fixture server could not bind");
    thread_ = std::thread([this] { impl_->server.listen_after_bind(); });
    while (!impl_->server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ModelFixtureServer::~ModelFixtureServer() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->stopped.notify_all();
    impl_->server.stop();
    if (thread_.joinable()) thread_.join();
}

std::string ModelFixtureServer::base() const { return "http://127.0.0.1:" + std::to_string(port_); }

void ModelFixtureServer::setDefault(Reply reply) {
    std::lock_guard lock(impl_->mutex);
    impl_->fallback = std::move(reply);
}

void ModelFixtureServer::enqueue(Reply reply) {
    std::lock_guard lock(impl_->mutex);
    impl_->queue.push_back(std::move(reply));
}

std::vector<ModelFixtureServer::Request> ModelFixtureServer::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

size_t ModelFixtureServer::requestCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log.size();
}

} // namespace velmora::testing
