#pragma once

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace velmora::testing {

// What both fixture servers share: an httplib server on 127.0.0.1 and a free port, answering
// from a thread of its own until stop().
class LoopbackServer {
public:
    httplib::Server http;

    explicit LoopbackServer(const char* name) : name_(name) {}
    ~LoopbackServer() { stop(); }

    void start() {
        // The server writes headers and body apart; with Nagle on, the body waits for the client's
        // delayed ACK (40 ms on loopback), which real servers do not add to every reply.
        http.set_tcp_nodelay(true);
        port_ = http.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) throw std::runtime_error(std::string(name_) + " could not bind");
        thread_ = std::thread([this] { http.listen_after_bind(); });
        while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Call before the state the handlers use goes away: it waits for replies in progress.
    void stop() {
        http.stop();
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    const char* name_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace velmora::testing
