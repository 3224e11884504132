#pragma once

#include "app/BackgroundRunner.h"
#include "core/JSONTools.h"
#include "app/UiLoop.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace velmora {

// The message bridge between the interface page and the core: the action table, request
// entry, reply and event envelopes. It knows no web view: requests come in as JSON values,
// envelopes leave as compact JSON text through the Deliver callback (the desktop shell runs
// "window.__velmoraReceive(<json>);" in the page, the headless host prints a line).
// Everything here runs on the UI thread except the work of async actions.
class Bridge {
public:
    using Deliver = std::function<void(const std::string& envelopeJson)>;

    // Finishes one request; call exactly once, on the UI thread.
    class Responder {
    public:
        void succeed(const json& result) const;
        void fail(const std::string& message) const;

    private:
        friend class Bridge;
        Responder(Bridge* bridge, std::string id)
            : bridge_(bridge), id_(std::move(id)), done_(std::make_shared<bool>(false)) {}
        bool claim() const;
        Bridge* bridge_;
        std::string id_;
        std::shared_ptr<bool> done_; // UI-thread only; a request is answered once
    };

    using Handler = std::function<void(const json& payload, const Responder& respond)>;
    using SyncHandler = std::function<json(const json& payload)>;
    // Reads the payload on the UI thread and returns the work to run on a background thread;
    // the work's result (or error) is replied on the UI thread.
    using AsyncHandler = std::function<std::function<json()>(const json& payload)>;

    Bridge(UiLoop& ui, BackgroundRunner& background, Deliver deliver);

    void add(const std::string& action, Handler handler);
    void addSync(const std::string& action, SyncHandler handler);
    void addAsync(const std::string& action, AsyncHandler handler);
    bool has(const std::string& action) const { return handlers_.count(action) != 0; }

    // Request entry for a message already known to come from the interface page under the
    // handler name "velmora". Non-object bodies are dropped without a reply.
    void receive(const json& body);
    // The headless host's entry: one request per line; lines that are not a JSON object are dropped.
    void receiveLine(const std::string& line);

    void sendEvent(const std::string& name, const json& data);

    // Requests accepted but not yet finished (the headless host waits for them at end of input).
    size_t inFlight() const { return inFlight_.load(); }

    UiLoop& ui() const { return ui_; }
    BackgroundRunner& background() const { return background_; }

    static json replyEnvelope(const std::string& id, bool ok, const json& data, const json& error);
    static json eventEnvelope(const std::string& name, const json& data);
    static std::string deliveryScript(const std::string& envelopeJson);

private:
    void handleAction(const std::string& action, const json& payload, const Responder& respond);
    void deliver(const json& envelope);
    void finish(const std::string& id, bool ok, const json& data, const std::string& error);

    UiLoop& ui_;
    BackgroundRunner& background_;
    Deliver deliver_;
    std::map<std::string, Handler> handlers_;
    std::atomic<size_t> inFlight_{0};
};

} // namespace velmora
