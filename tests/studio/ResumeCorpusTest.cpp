// Resumes written the ways people write them, each as the file a user would import, walked
// through import and an offline build: every fact must land in its own section, and nothing else.
#include "StudioTestEnv.h"

using namespace velmora;
using namespace velmora::testing;
using Words = std::vector<std::string>;

namespace {

// Each file stem, its formats, and its contact, skills, summary, experience, education,
// certifications and projects, with white space collapsed: a PDF may break a line where the text
// file does not.
const std::vector<std::tuple<const char*, Words, Words>> kCorpus = {
    {"classic-us", {"txt", "pdf", "docx"},
     {"JORDAN AVERY jordan.avery@example.com | (503) 555-0142 | Portland, OR",
      "Kubernetes, PostgreSQL, Terraform, Go, Prometheus, Python",
      "Site reliability engineer with eight years of experience running payment platforms on Kubernetes and "
      "PostgreSQL, with a focus on incident response and capacity planning.",
      "Northwind Payments — Senior Site Reliability Engineer Mar 2020 – Present • Cut p99 checkout latency by 38% by "
      "moving session state from Redis to a sharded PostgreSQL cluster serving 4,000 requests per second. • Led "
      "blameless incident reviews for key projects and wrote the runbooks that the on-call rotation still uses. • "
      "Reduced monthly cloud spend by $42,000 through Terraform-managed rightsizing of 120 nodes. Contoso Retail — "
      "Systems Engineer Jun 2016 – Feb 2020 • Automated deployments for 35 services with Jenkins pipelines.",
      "B.S. Computer Science, Oregon State University, 2016", "Certified Kubernetes Administrator (CKA), 2021",
      "Pagerlite — open-source alert router written in Go, 900 GitHub stars"}},
    {"markdown", {"md"},
     {"Tomás Ruiz-Velasco tomas.ruiz@example.org | +34 612 345 678 | Madrid, Spain",
      "Kotlin, Java, Kafka, gRPC, PostgreSQL, AWS",
      "Backend engineer who builds event-driven systems for healthcare data, with eleven years across Java and "
      "Kotlin services.",
      "Lumen Health Staff Backend Engineer | 2021 – 2025 • Migrated 14 billing services from a monolith to Kafka "
      "consumers with zero downtime. • Mentored six engineers through the promotion process. Brightpath Labs Backend "
      "Engineer | 2014 – 2021 • Designed a gRPC gateway that handled 2.5 million calls a day.",
      "• M.Sc. Software Engineering, Universidad Politécnica de Madrid, 2014",
      "• AWS Certified Solutions Architect – Associate", "• Tidewater: a Kotlin library for idempotent message handling"}},
    // Prose before any heading, skills under two headings, rules between sections, education first.
    {"plain-statement", {"txt", "docx"},
     {"CAMILLE MOREAU camille.moreau@example.fr | +33629583939", "C, C++, Rust, SQLite, PostgreSQL",
      "Embedded software developer with seven years of experience writing firmware for medical devices, from "
      "bare-metal drivers to certified release processes. I enjoy turning noisy sensor data into reliable products "
      "and I mentor junior developers in test-driven firmware work.",
      "Medisense SAS, Firmware Engineer, 2019 - 2024 • Cut boot time of the infusion pump controller from 9 s to 2.1 "
      "s. • Wrote the IEC 62304 test plan for 3 product lines. Sensoria, Junior Developer, 2017 - 2019 • Ported the "
      "sensor stack to FreeRTOS.",
      "Diplôme d'ingénieur, INSA Lyon, 2017", "", ""}},
};

} // namespace

TEST(ResumeCorpus, EveryFactReachesItsSectionOffline) {
    StudioEnv env;
    const text::Regex spaces("\\s+");
    for (const auto& [stem, formats, expected] : kCorpus) {
        for (const std::string& format : formats) {
            const std::string file = stem + ("." + format);
            SCOPED_TRACE(file);
            ResumeDocument d = env.studio->build({.targetRole = "Senior Backend Engineer",
                                                  .sourceResumePath = fixturePath("corpus/" + file),
                                                  .useApplicationProfile = false});
            Words sections = {d.contact, d.skills, d.summary, d.experience, d.education, d.certifications, d.projects};
            for (std::string& section : sections) section = spaces.replaceAll(section, " ");
            EXPECT_EQ(sections, expected);
            // Every section with content says it was kept from the source, because no model answered.
            ASSERT_EQ(d.keptFromSource.size(), 6 - std::count(sections.begin() + 1, sections.end(), ""));
            for (const KeptSection& kept : d.keptFromSource) EXPECT_EQ(kept.reason, "ai_unavailable");
        }
    }
}
