#include "SyncTestBed.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;
using nlohmann::json;

TEST(BoardStatus, AFailureSaysWhatKindAndIsRememberedUntilTheRetrySucceeds) {
    SyncTestBed bed;
    bed.fetchedAgo(std::chrono::minutes(5), "Remotive");
    bed.db->setSetting("sourceLast.Jobicy", "");
    bed.boards.setReply("remotive", {503, "busy", "text/plain"});
    // An address nothing listens on: the board cannot be reached at all.
    json endpoints = json::parse(bed.boards.endpointsJson());
    endpoints["jobicy"] = "http://127.0.0.1:1";
    JobAggregatorService unreachable(bed.db, bed.security, bed.http, JobSourceEndpoints::fromJsonText(endpoints.dump()),
                                     bed.clock, bed.sleeper);

    const json summary = unreachable.sync({});
    const json remotive = SyncTestBed::sourceRecord(summary, "Remotive");
    EXPECT_EQ(remotive["errorKind"], "http");
    EXPECT_EQ(remotive["httpStatus"], 503);
    const json jobicy = SyncTestBed::sourceRecord(summary, "Jobicy");
    EXPECT_EQ(jobicy["errorKind"], "network");
    EXPECT_FALSE(jobicy.contains("httpStatus"));
    EXPECT_EQ(bed.service->lastSummary(), summary); // a restart reads the same summary back

    bed.boards.setReply("remotive", {200, R"({"jobs":[]})"});
    bed.boards.clearRequests();
    bed.clock->advance(std::chrono::minutes(1));
    const json retried = bed.service->retrySource("Remotive");
    EXPECT_EQ(retried["retried"], "Remotive");
    EXPECT_EQ(SyncTestBed::sourceRecord(retried, "Remotive"),
              (json{{"source", "Remotive"}, {"status", "ok"}, {"imported", 0}}));
    EXPECT_EQ(SyncTestBed::sourceRecord(retried, "Jobicy"), jobicy); // other boards keep their row
    EXPECT_EQ(retried["sources"].size(), summary["sources"].size());
    EXPECT_EQ(bed.boards.requests().size(), 1u);
    EXPECT_EQ(bed.service->lastSummary(), retried);

    EXPECT_THROW(bed.service->retrySource("Nowhere Jobs"), VelmoraError);
    // A summary row cut short or edited by hand is shown as none rather than as garbage.
    for (const char* stored : {"{\"sources\":", "[]", "{\"sources\":7}"}) {
        bed.db->setSetting(JobAggregatorService::kSummaryKey, stored);
        EXPECT_TRUE(bed.service->lastSummary().is_null()) << stored;
    }
}
