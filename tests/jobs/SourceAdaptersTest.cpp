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
    std::vector<std::string> requests; // empty: not compared
    std::vector<Progress> progress;
    std::optional<std::string> reply; // instead of the fixture
};

std::function<int64_t(SyncTestBed&)> arbeitnow(const char* name, const char* service, std::string q) {
    return [=](SyncTestBed& b) {
        return b.service->fetchArbeitnow(b.boards.baseFor(service) + "/api/job-board-api", name, q, b.recorder());
    };
}

} // namespace

TEST(SourceAdapters, EachBoardIsAskedAndReportsItsWay) {
    using B = SyncTestBed&;
    const std::string h = "Searching Himalayas\u2026", a = "Searching Arbeitnow Europe\u2026";
    // clang-format off
    const Board boards[] = {
        {"Himalayas browses by offset", "himalayas", [](B b) { return b.service->fetchHimalayas("", b.recorder()); }, 4,
         {"/jobs/api?limit=20&offset=0", "/jobs/api?limit=20&offset=4"}, {{h, 4, 6}, {h, 6, 6}}},
        {"Himalayas searches page by page; a short page ends it", "himalayas",
         [](B b) { return b.service->fetchHimalayas("rust", b.recorder()); }, 2,
         {"/jobs/api/search?page=1&q=rust&sort=recent"}, {{h, 2, 0}}},
        {"Himalayas sends the query as one value", "himalayas",
         [](B b) { return b.service->fetchHimalayas("C++ & Go", {}); }, 2,
         {"/jobs/api/search?page=1&q=C++ & Go&sort=recent"}},
        {"Himalayas: an empty page ends paging whatever the total says", "himalayas",
         [](B b) { return b.service->fetchHimalayas("", {}); }, 0, {"/jobs/api?limit=20&offset=0"}, {},
         R"({"jobs": [], "totalCount": 500, "offset": 0})"},
        {"Jobicy", "jobicy", [](B b) { return b.service->fetchJobicy("", b.recorder()); }, 3,
         {"/api/v2/remote-jobs?count=100"}, {{"Searching Jobicy\u2026", 3, 4}}},
        {"Jobicy filters by a tag the service accepts, not again here", "jobicy",
         [](B b) { return b.service->fetchJobicy("marketing", {}); }, 3,
         {"/api/v2/remote-jobs?count=100&tag=marketing"}},
        {"Jobicy filters locally on a tag the service would refuse with HTTP 400", "jobicy",
         [](B b) { return b.service->fetchJobicy("UX", {}); }, 1, {"/api/v2/remote-jobs?count=100"}},
        {"Arbeitnow follows next links", "arbeitnow", arbeitnow("Arbeitnow Europe", "arbeitnow", ""), 3,
         {"/api/job-board-api?", "/api/job-board-api?page=2"}, {{a, 2, 0}, {a, 3, 0}}},
        {"Arbeitnow filters locally", "arbeitnow", arbeitnow("Arbeitnow Europe", "arbeitnow", "php"), 1, {},
         {{a, 1, 0}, {a, 1, 0}}},
        {"Arbeitnow UK never follows a next link to another host", "arbeitnowUk",
         arbeitnow("Arbeitnow UK", "arbeitnowUk", ""), 1, {"/api/job-board-api?"},
         {{"Searching Arbeitnow UK\u2026", 1, 0}}},
        {"We Work Remotely", "weWorkRemotely", [](B b) { return b.service->fetchWWR("", b.recorder()); }, 3, {},
         {{"Searching We Work Remotely\u2026", 3, 4}}},
        {"Remotive", "remotive", [](B b) { return b.service->fetchRemotive("", b.recorder()); }, 3, {},
         {{"Searching Remotive\u2026", 3, 5}}},
        {"Remotive searches on the service and filters again here", "remotive",
         [](B b) { return b.service->fetchRemotive("django, PYTHON", {}); }, 2,
         {"/api/remote-jobs?search=django, PYTHON"}},
        {"Remote OK", "remoteOk", [](B b) { return b.service->fetchRemoteOK("", b.recorder()); }, 2, {},
         {{"Searching Remote OK\u2026", 2, 5}}},
        {"Remote OK with nothing to offer", "remoteOk",
         [](B b) { return b.service->fetchRemoteOK("", b.recorder()); }, 0,
         {}, {{"Searching Remote OK\u2026", 0, 0}}, "[]"},
        {"RemoteJobs.org ends on a short page", "remoteJobs",
         [](B b) { return b.service->fetchRemoteJobsOrg("security", b.recorder()); }, 2,
         {"/api/v1/jobs?limit=50&offset=0&q=security"}, {{"Searching RemoteJobs.org\u2026", 3, 3}}},
    };
    // clang-format on
    for (const auto& board : boards) {
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
    }
}

// What a full sync stores from each board's hand-written responses, field by field.
TEST(SourceAdapters, TheBoardsFixturesAreStoredFieldByField) {
    SyncTestBed bed;
    bed.service->sync({});
    const std::string hi = "https://himalayas.app/companies/", jo = "https://jobicy.com/jobs/",
                      ww = "https://weworkremotely.com/remote-jobs/", re = "https://remotive.com/remote-jobs/",
                      ok = "https://remoteOK.com/remote-jobs/remote-",
                      an = "https://www.arbeitnow.com/jobs/companies/zugvogel-analytics/data-engineer-remote-77120";
    const std::string h1 = hi + "hollowbrook-and-sons/jobs/senior-backend-engineer",
                      h2 = "https://jobs.tidewell.io/apply/csm-2291", h4 = hi + "brightquill/jobs/freelance-copywriter",
                      j1 = jo + "118204-marketing-operations-specialist", j2 = jo + "117990-technical-support-engineer",
                      j3 = jo + "116500-ux-researcher", w1 = ww + "hollowbrook-sons-senior-rails-developer-payments",
                      w3 = ww + "bookkeeper-4411", r1 = re + "software-dev/senior-python-developer-2045118",
                      r2 = re + "customer-support/support-lead-2043500",
                      o1 = ok + "senior-frontend-engineer-quillstack-1130221",
                      s1 = "https://greywater.co/careers/staff-security-engineer",
                      s2 = "https://brightline.example/jobs/recruiting-coordinator";
    // clang-format off
    const std::tuple<std::string, const char*, std::string> cells[] = {
        {h1, "title", "Senior Backend Engineer & Platform Lead"},
        {h1, "company", "Hollowbrook & Sons"},
        {h1, "location", "Germany, Netherlands"},
        {h1, "description", "We're hiring a backend engineer. Design APIs & services 5+ years experience"},
        {h1, "published_at", "2026-12-05T09:30:00.000Z"},
        {h1, "tags", "Backend-Engineer, Platform-Engineer, Software Development"},
        {h1, "security_score", "85"},
        {h1, "source", "Himalayas"},
        {h2, "location", "India, Spain, Portugal, Brazil, Mexico"},
        {h2, "description", "Help customers in six markets get value from Tidewell."},
        {h2, "published_at", "2026-12-04T16:45:10.000Z"}, // milliseconds on the wire
        {h2, "external_id", hi + "tidewell/jobs/customer-success-manager"},
        {h2, "category", "Customer Support"},
        {h4, "location", "Worldwide / Remote"},
        {h4, "external_id", h4},
        {h4, "category", "Writing & Editorial"},
        {j1, "company", "Saltmarsh & Reed"},
        {j1, "external_id", "118204"},
        {j1, "tags", "Marketing & Sales, Full-Time"},
        {j1, "description", "Own HubSpot & Salesforce workflows. Caf\u00e9 budget included."},
        {j1, "published_at", "2026-12-04T12:00:00.000Z"},
        {j2, "external_id", "117990"},
        {j2, "published_at", "2024-12-07T04:10:26.000Z"}, // no zone: read as UTC
        {j2, "description", "Help customers with our API."},
        {j3, "external_id", j3},
        {j3, "tags", "Design & Multimedia, Healthcare, Full-Time"},
        {an, "location", "Europe / Remote"},
        {an, "external_id", "data-engineer-remote-77120"},
        {an, "tags", "full time"},
        {w1, "company", "Hollowbrook & Sons"},
        {w1, "title", "Senior Rails Developer: Payments"},
        {w1, "description", "Headquarters: Leeds Ruby & Rails on our payments stack."},
        {w1, "published_at", "2026-12-05T14:30:12.000Z"},
        {w1, "tags", "Back-End Programming"},
        {w1, "location", "Anywhere in the World"},
        {ww + "tidewell-support-specialist-emea", "description", "Answer tickets in German & English."},
        {w3, "company", "Remote employer"},
        {w3, "location", "Remote"},
        {w3, "published_at", "<null>"},
        {r1, "company", "Ashgrove Labs"},
        {r1, "published_at", "2026-12-02T10:23:26.000Z"},
        {r1, "external_id", "2045118"},
        {r1, "tags", "Software & IT, full_time, $90k - $110k"},
        {r2, "location", "Remote"},
        {r2, "category", "Customer Support"},
        {o1, "title", "Senior Frontend Engineer \u2013 React"},
        {o1, "location", "Worldwide"},
        {o1, "external_id", "1130221"},
        {o1, "tags", "react, typescript, frontend"},
        {o1, "security_score", "85"}, // the host is compared case-insensitively
        {ok + "customer-support-agent-brightline-1130100", "published_at", "2026-12-03T11:00:00.000Z"}, // from the page
        {s1, "company", "Greywater & Co"},
        {s1, "tags", "Security, full-time, $160k \u2013 $190k"},
        {s1, "source", "RemoteJobs.org"},
        {s2, "location", "Remote"},
        {s2, "tags", "human-resources, contract"},
        {s2, "external_id", "a7e3d9f2-0c44-4f1b-8d2e-3b9a7c6e5d21"},
    };
    const std::pair<const char*, int64_t> counts[] = {
        {"url LIKE '%northgate%' OR url LIKE '%loomfield%'", 0}, // Himalayas listings without an application link
        {"company IN ('Hafenblick AG', 'Altbau Media')", 0},      // Arbeitnow's office and stale listings
        {"title='DevOps Engineer Kubernetes (m/w/d)' AND location='M\u00fcnchen'", 1},
        {"source='Arbeitnow UK' AND location='United Kingdom / Remote'", 1},
        {"title LIKE 'Growth%'", 0}, // Remotive's listing of 91 days
        {"title IN ('JOBS', 'DevOps Engineer', 'Accountant')", 0}, // Remote OK's notice and placeholders
        {"description LIKE '%We\u2019re looking%'", 1},            // repaired double-decoded text
        {"title='Paralegal'", 0},
    };
    // clang-format on
    for (const auto& [url, column, value] : cells)
        EXPECT_EQ(bed.cell(url, column), value) << url << " " << column;
    for (const auto& [where, expected] : counts)
        EXPECT_EQ(bed.count(where), expected) << where;
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
