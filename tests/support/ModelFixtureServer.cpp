#include "support/ModelFixtureServer.h"

#include "support/LoopbackServer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>

namespace velmora::testing {

struct ModelFixtureServer::Impl {
    LoopbackServer server{"model fixture server"};
    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    Reply fallback = ModelFixtureServer::answer("ok");
    std::deque<Reply> queue;
    std::vector<Request> log;
};

ModelFixtureServer::Reply ModelFixtureServer::answer(const std::string& text) {
    return {200, nlohmann::json{{"model", "fixture"}, {"response", text}, {"done", true}}.dump()};
}

ModelFixtureServer::ModelFixtureServer() : impl_(std::make_unique<Impl>()) {
    impl_->server.http.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        std::unique_lock lock(impl_->mutex);
        impl_->log.push_back({req.path, req.get_header_value("Content-Type"), req.body});
        Reply reply = impl_->queue.empty() ? impl_->fallback : impl_->queue.front();
        if (!impl_->queue.empty()) impl_->queue.pop_front();
        impl_->stopped.wait_for(lock, reply.delay, [this] { return impl_->stopping; });
        res.status = reply.status;
        res.set_content(reply.body, reply.contentType.c_str());
    });
    impl_->server.start();
}

ModelFixtureServer::~ModelFixtureServer() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->stopped.notify_all();
    impl_->server.stop();
}

std::string ModelFixtureServer::base() const { return impl_->server.base(); }

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

} // namespace velmora::testing
