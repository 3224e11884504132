#pragma once

#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/QueueUiLoop.h"
#include "core/DateUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace velmora::testing {

// Every action registered on a real bridge over a fresh data folder, a fixed "now", and a
// request helper that waits for the one reply the way the page does.
class BridgeTestBed : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-03-01T12:00:00Z"));
    std::shared_ptr<AppContext> ctx = AppContext::create(AppPaths(dir / "data"), clock);
    QueueUiLoop loop;
    BackgroundRunner background{1};
    std::vector<json> delivered;
    Bridge bridge{loop, background, [this](const std::string& text) { delivered.push_back(json::parse(text)); }};

    void SetUp() override { registerActions(bridge, *ctx); }

    // Until every request has been answered.
    void settle() {
        EXPECT_TRUE(loop.runUntil([&] { return bridge.inFlight() == 0; }, std::chrono::seconds(10)));
        loop.drain();
    }

    // The whole reply envelope of one request.
    json envelope(const std::string& action, const json& payload = json::object()) {
        delivered.clear();
        bridge.receive({{"action", action}, {"id", "1"}, {"payload", payload}});
        settle();
        EXPECT_EQ(delivered.size(), 1u);
        return delivered.empty() ? json() : delivered[0];
    }

    // The data of a request that must succeed.
    json call(const std::string& action, const json& payload = json::object()) {
        json reply = envelope(action, payload);
        EXPECT_EQ(reply["ok"], true) << reply.dump();
        return reply["data"];
    }

    // The error text of a request that must fail.
    std::string error(const std::string& action, const json& payload) {
        json reply = envelope(action, payload);
        EXPECT_EQ(reply["ok"], false) << reply.dump();
        return reply.value("error", "");
    }
};

} // namespace velmora::testing
