// Each adapter against the hand-written board responses: what is stored, what is skipped,
// what is asked of the service and what is reported.
#include "SyncTestBed.h"

#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;
using Progress = std::tuple<std::string, int64_t, int64_t>;
using json = nlohmann::json;

namespace {
std::string query(const JobBoardFixtureServer::Request& r) {
    std::string out;
    for (const auto& [k, v] : r.params) out += (out.empty() ? "" : "&") + k + "=" + v;
    return r.path + "?" + out;
}
} // namespace

TEST(SourceHimalayas, BrowsesByOffsetAndReadsBothLocationForms) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchHimalayas("", bed.recorder()), 4);

    auto requests = bed.boards.requests("himalayas");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(query(requests[0]), "/jobs/api?limit=20&offset=0");
    EXPECT_EQ(query(requests[1]), "/jobs/api?limit=20&offset=4");
    EXPECT_EQ(requests[0].userAgent, HttpClient::kUserAgent);
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching Himalayas\u2026", 4, 6}, {"Searching Himalayas\u2026", 6, 6}}));
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(150));

    const std::string first = "https://himalayas.app/companies/hollowbrook-and-sons/jobs/senior-backend-engineer";
    EXPECT_EQ(bed.text(first, "title"), "Senior Backend Engineer & Platform Lead");
    EXPECT_EQ(bed.text(first, "company"), "Hollowbrook & Sons");
    EXPECT_EQ(bed.text(first, "location"), "Germany, Netherlands");
    EXPECT_EQ(bed.text(first, "description"), "We're hiring a backend engineer. Design APIs & services 5+ years experience");
    EXPECT_EQ(bed.text(first, "published_at"), "2026-12-05T09:30:00.000Z");
    EXPECT_EQ(bed.text(first, "tags"), "Backend-Engineer, Platform-Engineer, Software Development");
    EXPECT_EQ(bed.text(first, "source"), "Himalayas");
    EXPECT_EQ(sqlite_row::integer(bed.row(first), "security_score"), 85);

    const std::string second = "https://jobs.tidewell.io/apply/csm-2291";
    EXPECT_EQ(bed.text(second, "location"), "India, Spain, Portugal, Brazil, Mexico");
    EXPECT_EQ(bed.text(second, "description"), "Help customers in six markets get value from Tidewell.");
    EXPECT_EQ(bed.text(second, "published_at"), "2026-12-04T16:45:10.000Z"); // milliseconds on the wire
    EXPECT_EQ(bed.text(second, "external_id"), "https://himalayas.app/companies/tidewell/jobs/customer-success-manager");
    EXPECT_EQ(bed.text(second, "category"), JobAggregatorService::normalizeCategory("Customer Service"));

    const std::string fourth = "https://himalayas.app/companies/brightquill/jobs/freelance-copywriter";
    EXPECT_EQ(bed.text(fourth, "location"), "Worldwide / Remote");
    EXPECT_EQ(bed.text(fourth, "external_id"), fourth);
    EXPECT_EQ(bed.text(fourth, "category"), JobAggregatorService::classify("Freelance Copywriter"));
    EXPECT_EQ(bed.count("url LIKE '%northgate%' OR url LIKE '%loomfield%'"), 0); // no application link
}

TEST(SourceHimalayas, SearchesPageByPageWithAnEncodedQuery) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchHimalayas("rust", bed.recorder()), 2);
    auto requests = bed.boards.requests("himalayas");
    ASSERT_EQ(requests.size(), 1u); // fewer than 20 listings ends the search
    EXPECT_EQ(query(requests[0]), "/jobs/api/search?page=1&q=rust&sort=recent");
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching Himalayas\u2026", 2, 0}}));

    bed.boards.clearRequests();
    bed.service->fetchHimalayas("C++ & Go", {});
    EXPECT_EQ(bed.boards.requests("himalayas").at(0).params.at("q"), "C++ & Go");
}

TEST(SourceHimalayas, AnEmptyPageEndsPagingEvenWhenTheTotalSaysMore) {
    SyncTestBed bed;
    bed.boards.setReply("himalayas", {200, R"({"jobs": [], "totalCount": 500, "offset": 0})"});
    EXPECT_EQ(bed.service->fetchHimalayas("", {}), 0);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 1u);
}

TEST(SourceJobicy, ReadsIdsDatesAndEscapedTextInBothForms) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchJobicy("", bed.recorder()), 3);
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching Jobicy\u2026", 3, 4}}));
    EXPECT_EQ(query(bed.boards.requests("jobicy").at(0)), "/api/v2/remote-jobs?count=100");

    const std::string first = "https://jobicy.com/jobs/118204-marketing-operations-specialist";
    EXPECT_EQ(bed.text(first, "company"), "Saltmarsh & Reed");
    EXPECT_EQ(bed.text(first, "external_id"), "118204");
    EXPECT_EQ(bed.text(first, "tags"), "Marketing & Sales, Full-Time");
    EXPECT_EQ(bed.text(first, "description"), "Own HubSpot & Salesforce workflows. Caf\u00e9 budget included.");
    EXPECT_EQ(bed.text(first, "published_at"), "2026-12-04T12:00:00.000Z");

    const std::string old = "https://jobicy.com/jobs/117990-technical-support-engineer";
    EXPECT_EQ(bed.text(old, "external_id"), "117990");
    EXPECT_EQ(bed.text(old, "published_at"), "2024-12-07T04:10:26.000Z"); // no zone: read as UTC
    EXPECT_EQ(bed.text(old, "description"), "Help customers with our API.");

    const std::string noId = "https://jobicy.com/jobs/116500-ux-researcher";
    EXPECT_EQ(bed.text(noId, "external_id"), noId);
    EXPECT_EQ(bed.text(noId, "tags"), "Design & Multimedia, Healthcare, Full-Time");
    EXPECT_EQ(bed.text(noId, "published_at"), "2026-11-30T08:15:00.000Z");
}

TEST(SourceJobicy, SendsATagOnlyWhenTheServiceAcceptsIt) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchJobicy("marketing", {}), 3); // filtered by the service, not again here
    EXPECT_EQ(bed.boards.requests("jobicy").back().params.at("tag"), "marketing");

    // Two bytes would get HTTP 400; the query is applied here instead.
    EXPECT_EQ(bed.service->fetchJobicy("UX", {}), 1);
    EXPECT_EQ(bed.boards.requests("jobicy").back().params.count("tag"), 0u);
}

TEST(SourceArbeitnow, FollowsNextLinksSkipsOfficeAndStaleListings) {
    SyncTestBed bed;
    auto first = bed.boards.baseFor("arbeitnow") + "/api/job-board-api";
    EXPECT_EQ(bed.service->fetchArbeitnow(first, "Arbeitnow Europe", "", bed.recorder()), 3);
    EXPECT_EQ(bed.boards.requests("arbeitnow").size(), 2u);
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching Arbeitnow Europe\u2026", 2, 0},
                                                   {"Searching Arbeitnow Europe\u2026", 3, 0}}));
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(120));
    EXPECT_EQ(bed.count("company='Hafenblick AG' OR company='Altbau Media'"), 0); // remote:false, stale
    const std::string data = "https://www.arbeitnow.com/jobs/companies/zugvogel-analytics/data-engineer-remote-77120";
    EXPECT_EQ(bed.text(data, "location"), "Europe / Remote");
    EXPECT_EQ(bed.text(data, "external_id"), "data-engineer-remote-77120");
    EXPECT_EQ(bed.text(data, "tags"), "full time");
    EXPECT_EQ(bed.count("title='DevOps Engineer Kubernetes (m/w/d)' AND location='M\u00fcnchen'"), 1);
}

TEST(SourceArbeitnow, FiltersLocallyAndNeverFollowsALinkToAnotherHost) {
    SyncTestBed bed;
    auto eu = bed.boards.baseFor("arbeitnow") + "/api/job-board-api";
    EXPECT_EQ(bed.service->fetchArbeitnow(eu, "Arbeitnow Europe", "php", {}), 1); // remote:false stays out
    auto uk = bed.boards.baseFor("arbeitnowUk") + "/api/job-board-api";
    EXPECT_EQ(bed.service->fetchArbeitnow(uk, "Arbeitnow UK", "", {}), 1);
    EXPECT_EQ(bed.boards.requests("arbeitnowUk").size(), 1u);
    EXPECT_EQ(bed.count("source='Arbeitnow UK' AND location='United Kingdom / Remote'"), 1);
}

TEST(SourceWeWorkRemotely, SplitsCompanyFromTitleAndKeepsCdataDescriptions) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchWWR("", bed.recorder()), 3);
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching We Work Remotely\u2026", 3, 4}}));
    EXPECT_EQ(bed.boards.requests("weWorkRemotely").at(0).userAgent, ""); // the plain feed request

    const std::string rails = "https://weworkremotely.com/remote-jobs/hollowbrook-sons-senior-rails-developer-payments";
    EXPECT_EQ(bed.text(rails, "company"), "Hollowbrook & Sons");
    EXPECT_EQ(bed.text(rails, "title"), "Senior Rails Developer: Payments");
    EXPECT_EQ(bed.text(rails, "description"), "Headquarters: Leeds Ruby & Rails on our payments stack.");
    EXPECT_EQ(bed.text(rails, "published_at"), "2026-12-05T14:30:12.000Z");
    EXPECT_EQ(bed.text(rails, "tags"), "Back-End Programming");
    EXPECT_EQ(bed.text(rails, "location"), "Anywhere in the World");

    EXPECT_EQ(bed.text("https://weworkremotely.com/remote-jobs/tidewell-support-specialist-emea", "description"),
              "Answer tickets in German & English.");
    const std::string plain = "https://weworkremotely.com/remote-jobs/bookkeeper-4411";
    EXPECT_EQ(bed.text(plain, "company"), "Remote employer");
    EXPECT_EQ(bed.text(plain, "location"), "Remote");
    EXPECT_TRUE(sqlite_row::isNull(bed.row(plain), "published_at"));
}

TEST(SourceRemotive, FiltersByQueryAndFreshnessAndReadsZonelessDates) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchRemotive("", bed.recorder()), 3);
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching Remotive\u2026", 3, 5}}));
    const std::string py = "https://remotive.com/remote-jobs/software-dev/senior-python-developer-2045118";
    EXPECT_EQ(bed.text(py, "company"), "Ashgrove Labs");
    EXPECT_EQ(bed.text(py, "published_at"), "2026-12-02T10:23:26.000Z");
    EXPECT_EQ(bed.text(py, "external_id"), "2045118");
    EXPECT_EQ(bed.text(py, "tags"),
              JobAggregatorService::normalizeCategory("Software Development") + ", full_time, $90k - $110k");
    const std::string lead = "https://remotive.com/remote-jobs/customer-support/support-lead-2043500";
    EXPECT_EQ(bed.text(lead, "location"), "Remote");
    EXPECT_EQ(bed.text(lead, "category"), JobAggregatorService::classify("Support Lead"));
    EXPECT_EQ(bed.count("title LIKE 'Growth%'"), 0); // 91 days old

    SyncTestBed searched;
    EXPECT_EQ(searched.service->fetchRemotive("django, PYTHON", {}), 2);
    EXPECT_EQ(searched.boards.requests("remotive").at(0).params.at("search"), "django, PYTHON");
    EXPECT_EQ(searched.count("title='Brand Designer'"), 0);
}

// Hostile or careless board data: markup in short fields, dates after the fetch (which would pin
// a listing to the top), and links that are no web page at all.
TEST(SourceRemotive, OddListingsAreCleanedClampedOrSkipped) {
    SyncTestBed bed;
    auto listing = [](int id, const std::string& url, const std::string& title, json date) {
        return json{{"id", id}, {"url", url}, {"title", title}, {"company_name", "<i>Acme</i> &amp; Co"},
                    {"description", "Real work."}, {"publication_date", date}};
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
    EXPECT_EQ(bed.text("https://remotive.com/j/1", "title"), "Lead Product Manager");
    EXPECT_EQ(bed.text("https://remotive.com/j/1", "company"), "Acme & Co");
    for (const char* url : {"https://remotive.com/j/1", "https://remotive.com/j/2"})
        EXPECT_EQ(bed.text(url, "published_at"), "2026-12-06T12:00:00.000Z") << url;
}

TEST(SourceRemoteOK, SkipsTheNoticeAndPlaceholdersAndRepairsText) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchRemoteOK("", bed.recorder()), 2);
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching Remote OK\u2026", 2, 5}}));
    const std::string fe = "https://remoteOK.com/remote-jobs/remote-senior-frontend-engineer-quillstack-1130221";
    EXPECT_EQ(bed.text(fe, "title"), "Senior Frontend Engineer \u2013 React");
    EXPECT_NE(bed.text(fe, "description").find("We\u2019re looking"), std::string::npos);
    EXPECT_EQ(bed.text(fe, "location"), "Worldwide");
    EXPECT_EQ(bed.text(fe, "external_id"), "1130221");
    EXPECT_EQ(bed.text(fe, "tags"), "react, typescript, frontend");
    EXPECT_EQ(sqlite_row::integer(bed.row(fe), "security_score"), 85); // host compared case-insensitively

    // An empty apply link falls back to the listing page; the date falls back to the epoch.
    const std::string support = "https://remoteOK.com/remote-jobs/remote-customer-support-agent-brightline-1130100";
    EXPECT_EQ(bed.text(support, "published_at"), "2026-12-03T11:00:00.000Z");
    EXPECT_EQ(bed.count("title IN ('JOBS','DevOps Engineer','Accountant')"), 0);

    bed.boards.setReply("remoteOk", {200, "[]"});
    EXPECT_EQ(bed.service->fetchRemoteOK("", bed.recorder()), 0);
    EXPECT_EQ(bed.progress.back(), (Progress{"Searching Remote OK\u2026", 0, 0}));
}

TEST(SourceRemoteJobs, ReadsNestedObjectsAndEndsOnAShortPage) {
    SyncTestBed bed;
    EXPECT_EQ(bed.service->fetchRemoteJobsOrg("security", bed.recorder()), 2);
    auto requests = bed.boards.requests("remoteJobs");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(query(requests[0]), "/api/v1/jobs?limit=50&offset=0&q=security");
    EXPECT_EQ(bed.progress, (std::vector<Progress>{{"Searching RemoteJobs.org\u2026", 3, 3}}));
    const std::string staff = "https://greywater.co/careers/staff-security-engineer";
    EXPECT_EQ(bed.text(staff, "company"), "Greywater & Co");
    EXPECT_EQ(bed.text(staff, "tags"), "Security, full-time, $160k \u2013 $190k");
    EXPECT_EQ(bed.text(staff, "source"), "RemoteJobs.org");
    const std::string hr = "https://brightline.example/jobs/recruiting-coordinator";
    EXPECT_EQ(bed.text(hr, "location"), "Remote");
    EXPECT_EQ(bed.text(hr, "tags"), "human-resources, contract");
    EXPECT_EQ(bed.text(hr, "external_id"), "a7e3d9f2-0c44-4f1b-8d2e-3b9a7c6e5d21");
    EXPECT_EQ(bed.count("title='Paralegal'"), 0);
}

TEST(SourcePaging, LimitsHoldWithoutRealWaiting) {
    SyncTestBed bed;
    bed.boards.generate("arbeitnow", -1, false); // a next link on every page
    bed.boards.setArbeitnowPageSize(2);
    EXPECT_EQ(bed.service->fetchArbeitnow(bed.boards.baseFor("arbeitnow") + "/api/job-board-api", "Arbeitnow Europe", "", {}),
              60);
    EXPECT_EQ(bed.boards.requests("arbeitnow").size(), 30u);
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(29 * 120));

    bed.boards.generate("himalayas", 100000, false);
    EXPECT_EQ(bed.service->fetchHimalayas("engineer", {}), 25 * 20);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 25u);

    bed.boards.generate("remoteJobs", 4000, false);
    EXPECT_EQ(bed.service->fetchRemoteJobsOrg("", {}), 2500);
    EXPECT_EQ(bed.boards.requests("remoteJobs").size(), 50u);
}

TEST(SourcePaging, HimalayasStopsAtFiveThousandStored) {
    SyncTestBed bed;
    bed.boards.generate("himalayas", 6000, false);
    EXPECT_EQ(bed.service->fetchHimalayas("", bed.recorder()), 5000);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 250u);
    EXPECT_EQ(bed.progress.back(), (Progress{"Searching Himalayas\u2026", 5000, 6000}));
    EXPECT_EQ(bed.count("source='Himalayas'"), 5000);
}

// Found by fuzzing: full pages of listings that cannot be stored (no link), with a total that
// is never reached, kept the offset-paged adapters asking for the next page for ever.
TEST(SourcePaging, PagesOfUnusableListingsStillEndPaging) {
    SyncTestBed bed;
    bed.boards.setReply("himalayas", {200, R"({"jobs": [{"title": "No link"}], "totalCount": 100000000})"});
    EXPECT_EQ(bed.service->fetchHimalayas("", {}), 0);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 250u);
    EXPECT_EQ(bed.sleeper->total, std::chrono::milliseconds(249 * 150));

    // A board that ignores the offset and repeats one short page without a total.
    bed.boards.clearRequests();
    bed.boards.setReply("himalayas", {200, R"({"jobs": [{"applicationLink": "https://a.example/j", "title": "Dev"}]})"});
    EXPECT_EQ(bed.service->fetchHimalayas("", {}), 250);
    EXPECT_EQ(bed.boards.requests("himalayas").size(), 250u);
    EXPECT_EQ(bed.count("source='Himalayas'"), 1);

    std::string page = R"({"data": [)";
    for (int i = 0; i < 50; ++i) page += std::string(i ? "," : "") + R"({"title": "No link"})";
    bed.boards.setReply("remoteJobs", {200, page + "]}"});
    EXPECT_EQ(bed.service->fetchRemoteJobsOrg("", {}), 0);
    EXPECT_EQ(bed.boards.requests("remoteJobs").size(), 50u);
}
