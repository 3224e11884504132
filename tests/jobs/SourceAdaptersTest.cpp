// Each adapter against the hand-written board responses: what is stored, what is skipped,
// what is asked of the service and what is reported.
#include "SyncTestBed.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;
using Progress = std::tuple<std::string, int64_t, int64_t>;
using json = nlohmann::json;

namespace {

std::string query(const JobBoardFixtureServer::Request& r) {
    std::string out;
    for (const auto& [k, v] : r.params)
        out += (out.empty() ? "" : "&") + k + "=" + v;
    return r.path + "?" + out;
}

struct Board {
    const char* name;
    const char* service;
    std::function<int64_t(SyncTestBed&)> fetch;
    int64_t stored;
    std::vector<std::string> requests;
    std::vector<Progress> progress;
    std::vector<std::tuple<std::string, std::string, std::string>> cells; // link, column, stored text
    std::vector<std::pair<std::string, int64_t>> counts;                  // rows matching a condition
    std::optional<std::string> reply;                                     // instead of the fixture
};

const std::string kHimalayas = "https://himalayas.app/companies/";
const std::string kJobicy = "https://jobicy.com/jobs/";
const std::string kWwr = "https://weworkremotely.com/remote-jobs/";
const std::string kRemotive = "https://remotive.com/remote-jobs/";
const std::string kRemoteOk = "https://remoteOK.com/remote-jobs/remote-";

std::vector<Board> boards() {
    const std::string hFirst = kHimalayas + "hollowbrook-and-sons/jobs/senior-backend-engineer";
    const std::string hSecond = "https://jobs.tidewell.io/apply/csm-2291";
    const std::string hFourth = kHimalayas + "brightquill/jobs/freelance-copywriter";
    const std::string jFirst = kJobicy + "118204-marketing-operations-specialist";
    const std::string jOld = kJobicy + "117990-technical-support-engineer";
    const std::string jNoId = kJobicy + "116500-ux-researcher";
    const std::string wRails = kWwr + "hollowbrook-sons-senior-rails-developer-payments";
    const std::string wPlain = kWwr + "bookkeeper-4411";
    const std::string rPython = kRemotive + "software-dev/senior-python-developer-2045118";
    const std::string rLead = kRemotive + "customer-support/support-lead-2043500";
    const std::string okFront = kRemoteOk + "senior-frontend-engineer-quillstack-1130221";
    const std::string staff = "https://greywater.co/careers/staff-security-engineer";
    const std::string hr = "https://brightline.example/jobs/recruiting-coordinator";
    auto arbeitnow = [](const char* name, const char* service, std::string q) {
        return [=](SyncTestBed& b) {
            return b.service->fetchArbeitnow(b.boards.baseFor(service) + "/api/job-board-api", name, q, b.recorder());
        };
    };
    return {
        {"Himalayas browses by offset, both location forms",
         "himalayas",
         [](SyncTestBed& b) { return b.service->fetchHimalayas("", b.recorder()); },
         4,
         {"/jobs/api?limit=20&offset=0", "/jobs/api?limit=20&offset=4"},
         {{"Searching Himalayas\u2026", 4, 6}, {"Searching Himalayas\u2026", 6, 6}},
         {{hFirst, "title", "Senior Backend Engineer & Platform Lead"},
          {hFirst, "company", "Hollowbrook & Sons"},
          {hFirst, "location", "Germany, Netherlands"},
          {hFirst, "description", "We're hiring a backend engineer. Design APIs & services 5+ years experience"},
          {hFirst, "published_at", "2026-12-05T09:30:00.000Z"},
          {hFirst, "tags", "Backend-Engineer, Platform-Engineer, Software Development"},
          {hFirst, "security_score", "85"},
          {hSecond, "location", "India, Spain, Portugal, Brazil, Mexico"},
          {hSecond, "description", "Help customers in six markets get value from Tidewell."},
          {hSecond, "published_at", "2026-12-04T16:45:10.000Z"}, // milliseconds on the wire
          {hSecond, "external_id", kHimalayas + "tidewell/jobs/customer-success-manager"},
          {hSecond, "category", "Customer Support"},
          {hFourth, "location", "Worldwide / Remote"},
          {hFourth, "external_id", hFourth},
          {hFourth, "category", "Writing & Editorial"}},
         {{"url LIKE '%northgate%' OR url LIKE '%loomfield%'", 0}}}, // no application link
        {"Himalayas searches page by page; a short page ends the search",
         "himalayas",
         [](SyncTestBed& b) { return b.service->fetchHimalayas("rust", b.recorder()); },
         2,
         {"/jobs/api/search?page=1&q=rust&sort=recent"},
         {{"Searching Himalayas\u2026", 2, 0}}},
        {"Himalayas sends the query as one value",
         "himalayas",
         [](SyncTestBed& b) { return b.service->fetchHimalayas("C++ & Go", {}); },
         2,
         {"/jobs/api/search?page=1&q=C++ & Go&sort=recent"}},
        {"Himalayas: an empty page ends paging even when the total says more",
         "himalayas",
         [](SyncTestBed& b) { return b.service->fetchHimalayas("", {}); },
         0,
         {"/jobs/api?limit=20&offset=0"},
         {},
         {},
         {},
         R"({"jobs": [], "totalCount": 500, "offset": 0})"},
        {"Jobicy reads ids, dates and escaped text in both forms",
         "jobicy",
         [](SyncTestBed& b) { return b.service->fetchJobicy("", b.recorder()); },
         3,
         {"/api/v2/remote-jobs?count=100"},
         {{"Searching Jobicy\u2026", 3, 4}},
         {{jFirst, "company", "Saltmarsh & Reed"},
          {jFirst, "external_id", "118204"},
          {jFirst, "tags", "Marketing & Sales, Full-Time"},
          {jFirst, "description", "Own HubSpot & Salesforce workflows. Caf\u00e9 budget included."},
          {jFirst, "published_at", "2026-12-04T12:00:00.000Z"},
          {jOld, "external_id", "117990"},
          {jOld, "published_at", "2024-12-07T04:10:26.000Z"}, // no zone: read as UTC
          {jOld, "description", "Help customers with our API."},
          {jNoId, "external_id", jNoId},
          {jNoId, "tags", "Design & Multimedia, Healthcare, Full-Time"},
          {jNoId, "published_at", "2026-11-30T08:15:00.000Z"}}},
        {"Jobicy filters by a tag the service accepts",
         "jobicy",
         [](SyncTestBed& b) { return b.service->fetchJobicy("marketing", {}); },
         3, // filtered by the service, not again here
         {"/api/v2/remote-jobs?count=100&tag=marketing"}},
        {"Jobicy filters locally on a tag the service would refuse",
         "jobicy",
         [](SyncTestBed& b) { return b.service->fetchJobicy("UX", {}); },
         1, // two bytes would get HTTP 400
         {"/api/v2/remote-jobs?count=100"}},
        {"Arbeitnow follows next links, skips office and stale listings",
         "arbeitnow",
         arbeitnow("Arbeitnow Europe", "arbeitnow", ""),
         3,
         {"/api/job-board-api?", "/api/job-board-api?page=2"},
         {{"Searching Arbeitnow Europe\u2026", 2, 0}, {"Searching Arbeitnow Europe\u2026", 3, 0}},
         {{"https://www.arbeitnow.com/jobs/companies/zugvogel-analytics/data-engineer-remote-77120", "location",
           "Europe / Remote"},
          {"https://www.arbeitnow.com/jobs/companies/zugvogel-analytics/data-engineer-remote-77120", "external_id",
           "data-engineer-remote-77120"},
          {"https://www.arbeitnow.com/jobs/companies/zugvogel-analytics/data-engineer-remote-77120", "tags",
           "full time"}},
         {{"company='Hafenblick AG' OR company='Altbau Media'", 0},
          {"title='DevOps Engineer Kubernetes (m/w/d)' AND location='M\u00fcnchen'", 1}}},
        {"Arbeitnow filters locally",
         "arbeitnow",
         arbeitnow("Arbeitnow Europe", "arbeitnow", "php"),
         1,
         {},
         {{"Searching Arbeitnow Europe\u2026", 1, 0}, {"Searching Arbeitnow Europe\u2026", 1, 0}}},
        {"Arbeitnow never follows a next link to another host",
         "arbeitnowUk",
         arbeitnow("Arbeitnow UK", "arbeitnowUk", ""),
         1,
         {"/api/job-board-api?"},
         {{"Searching Arbeitnow UK\u2026", 1, 0}},
         {},
         {{"source='Arbeitnow UK' AND location='United Kingdom / Remote'", 1}}},
        {"We Work Remotely splits the company from the title and keeps CDATA",
         "weWorkRemotely",
         [](SyncTestBed& b) { return b.service->fetchWWR("", b.recorder()); },
         3,
         {},
         {{"Searching We Work Remotely\u2026", 3, 4}},
         {{wRails, "company", "Hollowbrook & Sons"},
          {wRails, "title", "Senior Rails Developer: Payments"},
          {wRails, "description", "Headquarters: Leeds Ruby & Rails on our payments stack."},
          {wRails, "published_at", "2026-12-05T14:30:12.000Z"},
          {wRails, "tags", "Back-End Programming"},
          {wRails, "location", "Anywhere in the World"},
          {kWwr + "tidewell-support-specialist-emea", "description", "Answer tickets in German & English."},
          {wPlain, "company", "Remote employer"},
          {wPlain, "location", "Remote"},
          {wPlain, "published_at", "<null>"}}},
        {"Remotive filters by freshness and reads zoneless dates",
         "remotive",
         [](SyncTestBed& b) { return b.service->fetchRemotive("", b.recorder()); },
         3,
         {},
         {{"Searching Remotive\u2026", 3, 5}},
         {{rPython, "company", "Ashgrove Labs"},
          {rPython, "published_at", "2026-12-02T10:23:26.000Z"},
          {rPython, "external_id", "2045118"},
          {rPython, "tags", "Software & IT, full_time, $90k - $110k"},
          {rLead, "location", "Remote"},
          {rLead, "category", "Customer Support"}},
         {{"title LIKE 'Growth%'", 0}}}, // 91 days old
        {"Remotive searches on the service and filters again here",
         "remotive",
         [](SyncTestBed& b) { return b.service->fetchRemotive("django, PYTHON", {}); },
         2,
         {"/api/remote-jobs?search=django, PYTHON"},
         {},
         {},
         {{"title='Brand Designer'", 0}}},
        {"Remote OK skips the notice and placeholders and repairs text",
         "remoteOk",
         [](SyncTestBed& b) { return b.service->fetchRemoteOK("", b.recorder()); },
         2,
         {},
         {{"Searching Remote OK\u2026", 2, 5}},
         {{okFront, "title", "Senior Frontend Engineer \u2013 React"},
          {okFront, "location", "Worldwide"},
          {okFront, "external_id", "1130221"},
          {okFront, "tags", "react, typescript, frontend"},
          {okFront, "security_score", "85"}, // host compared case-insensitively
          // An empty apply link falls back to the listing page.
          {kRemoteOk + "customer-support-agent-brightline-1130100", "published_at", "2026-12-03T11:00:00.000Z"}},
         {{"title IN ('JOBS','DevOps Engineer','Accountant')", 0}, {"description LIKE '%We\u2019re looking%'", 1}}},
        {"Remote OK with nothing to offer",
         "remoteOk",
         [](SyncTestBed& b) { return b.service->fetchRemoteOK("", b.recorder()); },
         0,
         {},
         {{"Searching Remote OK\u2026", 0, 0}},
         {},
         {},
         "[]"},
        {"RemoteJobs.org reads nested objects and ends on a short page",
         "remoteJobs",
         [](SyncTestBed& b) { return b.service->fetchRemoteJobsOrg("security", b.recorder()); },
         2,
         {"/api/v1/jobs?limit=50&offset=0&q=security"},
         {{"Searching RemoteJobs.org\u2026", 3, 3}},
         {{staff, "company", "Greywater & Co"},
          {staff, "tags", "Security, full-time, $160k \u2013 $190k"},
          {staff, "source", "RemoteJobs.org"},
          {hr, "location", "Remote"},
          {hr, "tags", "human-resources, contract"},
          {hr, "external_id", "a7e3d9f2-0c44-4f1b-8d2e-3b9a7c6e5d21"}},
         {{"title='Paralegal'", 0}}},
    };
}

} // namespace

TEST(SourceAdapters, EachBoardsFixtureIsReadStoredAndReported) {
    for (const auto& board : boards()) {
        SCOPED_TRACE(board.name);
        SyncTestBed bed;
        if (board.reply) bed.boards.setReply(board.service, {200, *board.reply});
        EXPECT_EQ(board.fetch(bed), board.stored);
        EXPECT_EQ(bed.count(), board.stored);
        std::vector<std::string> requests;
        for (const auto& r : bed.boards.requests(board.service))
            requests.push_back(query(r));
        if (!board.requests.empty()) EXPECT_EQ(requests, board.requests);
        EXPECT_EQ(bed.progress, board.progress);
        for (const auto& [url, column, value] : board.cells)
            EXPECT_EQ(bed.cell(url, column), value) << url << " " << column;
        for (const auto& [where, expected] : board.counts)
            EXPECT_EQ(bed.count(where), expected) << where;
    }
}

TEST(SourceAdapters, PagesWaitBetweenRequestsAndOnlyTheFeedGoesWithoutTheUserAgent) {
    SyncTestBed bed;
    bed.service->fetchHimalayas("", {});
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(150));
    bed.service->fetchArbeitnow(bed.boards.baseFor("arbeitnow") + "/api/job-board-api", "Arbeitnow Europe", "", {});
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(150 + 120));
    bed.service->fetchWWR("", {});
    EXPECT_EQ(bed.boards.requests("himalayas").at(0).userAgent, HttpClient::kUserAgent);
    EXPECT_EQ(bed.boards.requests("weWorkRemotely").at(0).userAgent, "");
}

// Hostile or careless board data: markup in short fields, dates after the fetch (which would pin
// a listing to the top), and links that are no web page at all.
TEST(SourceAdapters, OddListingsAreCleanedClampedOrSkipped) {
    SyncTestBed bed;
    auto listing = [](int id, const std::string& url, const std::string& title, json date) {
        return json{{"id", id},
                    {"url", url},
                    {"title", title},
                    {"company_name", "<i>Acme</i> &amp; Co"},
                    {"description", "Real work."},
                    {"publication_date", date}};
    };
    json jobs = json::array({
        listing(1, "https://remotive.com/j/1", "<b>Lead</b> Product Manager", "2099-01-01T00:00:00"),
        listing(2, "https://remotive.com/j/2", "Data Analyst", 4102444800), // 2100, in seconds
        listing(3, "javascript:alert(document.cookie)", "Data Analyst", "2026-12-01T00:00:00"),
        listing(4, " data:text/html,<script>alert(1)</script>", "Data Analyst", "2026-12-01T00:00:00"),
        listing(5, "VBScript:msgbox(1)", "Data Analyst", "2026-12-01T00:00:00"),
        listing(6, "file:///etc/passwd", "Data Analyst", "2026-12-01T00:00:00"),
        listing(7, "ftp://remotive.com/j/7", "Data Analyst", "2026-12-01T00:00:00"),
    });
    bed.boards.setReply("remotive", {200, json{{"jobs", jobs}}.dump()});
    EXPECT_EQ(bed.service->fetchRemotive("", {}), 2);
    EXPECT_EQ(bed.count(), 2);
    EXPECT_EQ(bed.cell("https://remotive.com/j/1", "title"), "Lead Product Manager");
    EXPECT_EQ(bed.cell("https://remotive.com/j/1", "company"), "Acme & Co");
    for (const char* url : {"https://remotive.com/j/1", "https://remotive.com/j/2"})
        EXPECT_EQ(bed.cell(url, "published_at"), "2026-12-06T12:00:00.000Z") << url;
}

TEST(SourceAdapters, PageLimitsHoldWithoutRealWaiting) {
    SyncTestBed bed;
    bed.boards.generate("arbeitnow", -1, false); // a next link on every page
    bed.boards.setArbeitnowPageSize(2);
    EXPECT_EQ(
        bed.service->fetchArbeitnow(bed.boards.baseFor("arbeitnow") + "/api/job-board-api", "Arbeitnow Europe", "", {}),
        60);
    EXPECT_EQ(bed.boards.requests("arbeitnow").size(), 30u);
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(29 * 120));

    bed.boards.generate("himalayas", 100000, false);
    EXPECT_EQ(bed.service->fetchHimalayas("engineer", {}), 25 * 20);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 25u);
}

// Found by fuzzing: full pages of listings that cannot be stored (no link), with a total that
// is never reached, kept the offset-paged adapters asking for the next page for ever.
TEST(SourceAdapters, PagesOfUnusableListingsStillEndPaging) {
    SyncTestBed bed;
    bed.boards.setReply("himalayas", {200, R"({"jobs": [{"title": "No link"}], "totalCount": 100000000})"});
    EXPECT_EQ(bed.service->fetchHimalayas("", {}), 0);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 250u);
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(249 * 150));

    // A board that ignores the offset and repeats one short page without a total.
    bed.boards.clearRequests();
    bed.boards.setReply("himalayas",
                        {200, R"({"jobs": [{"applicationLink": "https://a.example/j", "title": "Dev"}]})"});
    EXPECT_EQ(bed.service->fetchHimalayas("", {}), 250);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 250u);
    EXPECT_EQ(bed.count("source='Himalayas'"), 1);

    std::string page = R"({"data": [)";
    for (int i = 0; i < 50; ++i)
        page += std::string(i ? "," : "") + R"({"title": "No link"})";
    bed.boards.setReply("remoteJobs", {200, page + "]}"});
    EXPECT_EQ(bed.service->fetchRemoteJobsOrg("", {}), 0);
    EXPECT_EQ(bed.boards.requests("remoteJobs").size(), 50u);
}
