#include "app/Bridge.h"

#include "core/RequestLimits.h"
#include "core/Log.h"
#include "core/VelmoraError.h"

#include <optional>

namespace velmora {

namespace {

// Reads a request text's top-level id without building any value, so a text too large or too
// deep to take in can still be answered. Events deeper down are only counted.
class IdProbe : public nlohmann::json_sax<json> {
public:
    std::optional<std::string> id;

    // The id as JSONTools::s would read it from the built request.
    bool null() override { return scalar(std::string()); }
    bool boolean(bool v) override { return scalar(JSONTools::describe(json(v))); }
    bool number_integer(number_integer_t v) override { return scalar(JSONTools::describe(json(v))); }
    bool number_unsigned(number_unsigned_t v) override { return scalar(JSONTools::describe(json(v))); }
    bool number_float(number_float_t v, const string_t&) override { return scalar(JSONTools::describe(json(v))); }
    bool string(string_t& v) override { return scalar(v); }
    bool binary(binary_t&) override { return scalar(std::string()); }
    bool start_object(std::size_t) override { return open(); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(); }
    bool end_array() override { return close(); }
    bool key(string_t& k) override {
        idNext_ = depth_ == 1 && topIsObject_ && k == "id";
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool scalar(const std::string& text) {
        if (idNext_ && depth_ == 1) id = text;
        idNext_ = false;
        return true;
    }
    bool open() {
        if (depth_ == 0) topIsObject_ = !sawTop_;
        sawTop_ = true;
        idNext_ = false; // an id that is itself an array or object is not readable as text
        ++depth_;
        return true;
    }
    bool close() {
        --depth_;
        return true;
    }
    size_t depth_ = 0;
    bool sawTop_ = false;
    bool topIsObject_ = false;
    bool idNext_ = false;
};

} // namespace

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
    // Refused unread: answered by id when the id can be read without building the request.
    auto refuse = [this, &line](const std::string& message) {
        IdProbe probe;
        json::sax_parse(line, &probe, json::input_format_t::json, false);
        if (!probe.id || probe.id->empty()) {
            logLine("Velmora bridge refused a request: " + message);
            return;
        }
        ++inFlight_;
        ui_.post([this, id = *probe.id, message] { finish(id, false, nullptr, message); });
    };
    if (line.size() > JSONTools::kMaxRequestBytes) {
        return refuse("Velmora could not read this request: it is larger than " +
                                std::to_string(JSONTools::kMaxRequestBytes / (1024 * 1024)) + " MB.");
    }
    if (JSONTools::nestingDepth(line) > JSONTools::kMaxRequestDepth) {
        return refuse("Velmora could not read this request: it nests more than " +
                                std::to_string(JSONTools::kMaxRequestDepth) + " levels deep.");
    }
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
