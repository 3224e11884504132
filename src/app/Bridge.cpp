#include "app/Bridge.h"

#include "core/Log.h"
#include "core/VelmoraError.h"

namespace velmora {

Bridge::Bridge(UiLoop& ui, BackgroundRunner& background, Deliver deliver)
    : ui_(ui), background_(background), deliver_(std::move(deliver)) {}

void Bridge::add(const std::string& action, Handler handler) { handlers_[action] = std::move(handler); }

void Bridge::addSync(const std::string& action, SyncHandler handler) {
    add(action, [handler = std::move(handler)](const json& payload, const Responder& respond) {
        respond.succeed(handler(payload));
    });
}

void Bridge::addAsync(const std::string& action, AsyncHandler handler) {
    add(action, [this, handler = std::move(handler)](const json& payload, const Responder& respond) {
        auto work = handler(payload);
        background_.run([this, work = std::move(work), respond] {
            try {
                json result = work();
                ui_.post([respond, result = std::move(result)] { respond.succeed(result); });
            } catch (const std::exception& e) {
                std::string message = e.what();
                ui_.post([respond, message] { respond.fail(message); });
            }
        });
    });
}

void Bridge::receive(const json& body) {
    if (!body.is_object()) return;
    std::string id = JSONTools::s(body, "id", "");
    std::string action = JSONTools::s(body, "action", "");
    json payload = json::object();
    if (auto it = body.find("payload"); it != body.end() && it->is_object()) payload = *it;

    ++inFlight_;
    // Each request is its own task on the UI thread, so replies may overtake each other.
    ui_.post([this, id = std::move(id), action = std::move(action), payload = std::move(payload)] {
        Responder respond(this, id);
        try {
            handleAction(action, payload, respond);
        } catch (const std::exception& e) {
            respond.fail(e.what());
        }
    });
}

void Bridge::receiveLine(const std::string& line) {
    json body = JSONTools::parseRequest(line);
    if (body.is_discarded() || !body.is_object()) return;
    receive(body);
}

void Bridge::handleAction(const std::string& action, const json& payload, const Responder& respond) {
    auto it = handlers_.find(action);
    if (it == handlers_.end()) throw VelmoraError("Unknown Velmora action: " + action);
    it->second(payload, respond);
}

bool Bridge::Responder::claim() const {
    if (*done_) return false;
    *done_ = true;
    return true;
}

void Bridge::Responder::succeed(const json& result) const {
    if (claim()) bridge_->finish(id_, true, result, "");
}

void Bridge::Responder::fail(const std::string& message) const {
    if (claim()) bridge_->finish(id_, false, nullptr, message);
}

void Bridge::finish(const std::string& id, bool ok, const json& data, const std::string& error) {
    if (!id.empty()) {
        if (ok) {
            json cleaned;
            try {
                JSONTools::string(data); // a result that cannot be encoded fails the request instead
                cleaned = JSONTools::clean(data);
                deliver(replyEnvelope(id, true, cleaned, nullptr));
            } catch (const std::exception& e) {
                deliver(replyEnvelope(id, false, nullptr, e.what()));
            }
        } else {
            deliver(replyEnvelope(id, false, nullptr, error));
        }
    }
    --inFlight_;
}

json Bridge::replyEnvelope(const std::string& id, bool ok, const json& data, const json& error) {
    return json{{"type", "response"}, {"id", id}, {"ok", ok}, {"data", data}, {"error", error}};
}

json Bridge::eventEnvelope(const std::string& name, const json& data) {
    return json{{"type", "event"}, {"name", name}, {"data", JSONTools::clean(data)}};
}

std::string Bridge::deliveryScript(const std::string& envelopeJson) {
    return "window.__velmoraReceive(" + envelopeJson + ");";
}

void Bridge::sendEvent(const std::string& name, const json& data) { deliver(eventEnvelope(name, data)); }

void Bridge::deliver(const json& envelope) {
    std::string text;
    try {
        text = JSONTools::string(envelope);
    } catch (const std::exception& e) {
        logLine(std::string("Velmora bridge encode error: ") + e.what());
        return;
    }
    deliver_(text);
}

} // namespace velmora
