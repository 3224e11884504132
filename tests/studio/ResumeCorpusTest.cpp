// Resumes written the ways people write them, each as the file a user would import, walked
// through import and an offline build: every fact must land in its own section.

#include "StudioTestEnv.h"

#include "core/Text.h"

#include <gtest/gtest.h>
#include <iostream>

using namespace velmora;
using velmora::testing::StudioEnv;
using S = ResumeStudioService;

namespace {

// "name" is the contact block's first line; "contact" its second; "skill" one entry of the
// skills list; the other keys are section texts, searched with white space collapsed.
struct Fact {
    const char* where;
    const char* text;
};

struct CorpusResume {
    const char* stem;
    std::vector<const char*> formats;
    std::vector<Fact> facts;
};

const std::vector<CorpusResume>& corpus() {
    static const std::vector<CorpusResume> resumes = {
        {"classic-us",
         {"txt", "pdf", "docx"},
         {{"name", "JORDAN AVERY"},
          {"contact", "jordan.avery@example.com"},
          {"contact", "(503) 555-0142"},
          {"contact", "Portland, OR"},
          {"summary", "Site reliability engineer with eight years of experience running payment platforms on "
                      "Kubernetes and PostgreSQL, with a focus on incident response and capacity planning."},
          {"skill", "Kubernetes"}, {"skill", "PostgreSQL"}, {"skill", "Terraform"}, {"skill", "Go"},
          {"skill", "Prometheus"}, {"skill", "Python"},
          {"experience", "Northwind Payments — Senior Site Reliability Engineer Mar 2020 – Present"},
          {"experience", "• Cut p99 checkout latency by 38% by moving session state from Redis to a sharded "
                         "PostgreSQL cluster serving 4,000 requests per second."},
          {"experience", "• Led blameless incident reviews for key projects and wrote the runbooks that the "
                         "on-call rotation still uses."},
          {"experience", "• Reduced monthly cloud spend by $42,000 through Terraform-managed rightsizing of 120 "
                         "nodes."},
          {"experience", "Contoso Retail — Systems Engineer Jun 2016 – Feb 2020"},
          {"experience", "• Automated deployments for 35 services with Jenkins pipelines."},
          {"education", "B.S. Computer Science, Oregon State University, 2016"},
          {"certifications", "Certified Kubernetes Administrator (CKA), 2021"},
          {"projects", "Pagerlite — open-source alert router written in Go, 900 GitHub stars"}}},
        {"markdown",
         {"md"},
         {{"name", "Tomás Ruiz-Velasco"},
          {"contact", "tomas.ruiz@example.org"},
          {"contact", "+34 612 345 678"},
          {"contact", "Madrid, Spain"},
          {"summary", "Backend engineer who builds event-driven systems for healthcare data, with eleven years "
                      "across Java and Kotlin services."},
          {"skill", "Kotlin"}, {"skill", "Java"}, {"skill", "Kafka"}, {"skill", "gRPC"}, {"skill", "PostgreSQL"},
          {"skill", "AWS"},
          {"experience", "Lumen Health Staff Backend Engineer | 2021 – 2025"},
          {"experience", "• Migrated 14 billing services from a monolith to Kafka consumers with zero downtime."},
          {"experience", "• Mentored six engineers through the promotion process."},
          {"experience", "Brightpath Labs Backend Engineer | 2014 – 2021"},
          {"experience", "• Designed a gRPC gateway that handled 2.5 million calls a day."},
          {"education", "M.Sc. Software Engineering, Universidad Politécnica de Madrid, 2014"},
          {"certifications", "AWS Certified Solutions Architect – Associate"},
          {"projects", "• Tidewater: a Kotlin library for idempotent message handling"}}},
        {"spanish",
         {"txt", "pdf"},
         {{"name", "Lucía Fernández Ortega"},
          {"contact", "+34 91 123 45 67"},
          {"contact", "Sevilla, España"},
          {"summary", "Ingeniera de datos con seis años de experiencia en plataformas analíticas para comercio "
                      "electrónico."},
          {"skill", "Python"}, {"skill", "Spark"}, {"skill", "Airflow"}, {"skill", "dbt"}, {"skill", "BigQuery"},
          {"experience", "Mercado Sur S.A. — Ingeniera de Datos Sénior (2021 – actualidad)"},
          {"experience", "• Reduje el tiempo de carga nocturna un 45% migrando 60 trabajos a Airflow."},
          {"experience", "• Diseñé el modelo de datos de ventas usado por 12 equipos."},
          {"experience", "Datalia — Analista de Datos (2018 – 2021)"},
          {"experience", "• Automaticé 30 informes semanales con Python."},
          {"education", "Grado en Ingeniería Informática, Universidad de Sevilla, 2018"},
          {"certifications", "Google Cloud Professional Data Engineer"},
          {"projects", "Tarifa Abierta: panel público de precios eléctricos con 5.000 usuarios mensuales"}}},
        {"german",
         {"txt", "docx"},
         {{"name", "Maximilian Becker"},
          {"contact", "+49 (0)30 1234 5678"},
          {"contact", "Berlin, Deutschland"},
          {"summary", "Frontend-Entwickler mit neun Jahren Erfahrung in barrierefreien Webanwendungen für Banken."},
          {"skill", "TypeScript"}, {"skill", "React"}, {"skill", "GraphQL"}, {"skill", "Playwright"},
          {"skill", "Web Accessibility"},
          {"experience", "Nordbank AG — Senior Frontend-Entwickler, 2019 – heute"},
          {"experience", "• Senkte die Ladezeit des Kundenportals um 52% durch Code-Splitting."},
          {"experience", "• Baute eine Komponentenbibliothek mit 80 Komponenten auf."},
          {"experience", "Webwerk GmbH — Frontend-Entwickler, 2015 – 2019"},
          {"experience", "• Betreute 25 Kundenprojekte mit React."},
          {"education", "M.Sc. Informatik, Technische Universität München, 2015"},
          {"certifications", "Certified Professional for Usability and User Experience (CPUX-F)"},
          {"projects", "a11y-lint: Open-Source-Prüfwerkzeug für ARIA-Attribute"}}},
        {"plain-statement",
         {"txt", "docx"},
         {{"name", "CAMILLE MOREAU"},
          {"contact", "+33629583939"},
          {"contact", "camille.moreau@example.fr"},
          {"summary", "Embedded software developer with seven years of experience writing firmware for medical "
                      "devices, from bare-metal drivers to certified release processes."},
          {"summary", "I enjoy turning noisy sensor data into reliable products and I mentor junior developers in "
                      "test-driven firmware work."},
          {"skill", "C"}, {"skill", "C++"}, {"skill", "Rust"}, {"skill", "SQLite"}, {"skill", "PostgreSQL"},
          {"education", "Diplôme d'ingénieur, INSA Lyon, 2017"},
          {"experience", "Medisense SAS, Firmware Engineer, 2019 - 2024"},
          {"experience", "• Cut boot time of the infusion pump controller from 9 s to 2.1 s."},
          {"experience", "• Wrote the IEC 62304 test plan for 3 product lines."},
          {"experience", "Sensoria, Junior Developer, 2017 - 2019"},
          {"experience", "• Ported the sensor stack to FreeRTOS."}}},
    };
    return resumes;
}

std::string collapsed(const std::string& value) {
    static const text::Regex spaces("\\s+");
    return spaces.replaceAll(value, " ");
}

std::string where(const ResumeDocument& d, const std::string& key) {
    std::vector<std::string> contact = text::split(d.contact, '\n', false);
    if (key == "name") return contact.empty() ? "" : contact[0];
    if (key == "contact") return contact.size() < 2 ? "" : contact[1];
    if (key == "summary") return d.summary;
    if (key == "experience") return d.experience;
    if (key == "education") return d.education;
    if (key == "certifications") return d.certifications;
    if (key == "projects") return d.projects;
    return d.skills;
}

bool kept(const ResumeDocument& d, const Fact& fact) {
    std::string key = fact.where;
    if (key == "skill") {
        auto skills = S::splitSkills(d.skills);
        return std::find(skills.begin(), skills.end(), fact.text) != skills.end();
    }
    if (key == "name") return where(d, key) == fact.text;
    return text::contains(collapsed(where(d, key)), fact.text);
}

} // namespace

TEST(ResumeCorpus, EveryFactReachesItsSectionOffline) {
    StudioEnv env;
    env.modelAbsent();
    for (const CorpusResume& resume : corpus()) {
        for (const char* format : resume.formats) {
            std::string file = std::string(resume.stem) + "." + format;
            SCOPED_TRACE(file);
            ResumeStudioRequest request;
            request.targetRole = "Senior Backend Engineer";
            request.useApplicationProfile = false;
            request.sourceResumePath = std::string(VELMORA_FIXTURES_DIR) + "/resumes/corpus/" + file;
            ResumeDocument d = env.studio->build(request);

            size_t keptFacts = 0;
            for (const Fact& fact : resume.facts) {
                if (kept(d, fact)) ++keptFacts;
                else ADD_FAILURE() << fact.where << " lacks: " << fact.text << "\n--- it holds:\n" << where(d, fact.where);
            }
            std::cout << "[ corpus ] " << file << ": " << keptFacts << "/" << resume.facts.size() << " facts kept\n";

            // Normalised: no heading word stranded in a section, one bullet mark per line.
            for (const std::string* section : {&d.summary, &d.skills, &d.experience, &d.education, &d.certifications,
                                               &d.projects}) {
                for (const std::string& line : text::split(*section, '\n', false)) {
                    EXPECT_EQ(S::headingToSection(S::normalizeHeading(line)), "") << line;
                    EXPECT_FALSE(text::startsWith(line, "• •") || text::startsWith(line, "• -") ||
                                 text::startsWith(line, "• *") || text::startsWith(line, "#") ||
                                 text::contains(line, "-----") || text::contains(line, "....."))
                        << line;
                }
            }
            // Every section with content says it was kept from the source, because no model answered.
            size_t filled = 0;
            for (const std::string* section : {&d.summary, &d.skills, &d.experience, &d.education,
                                               &d.certifications, &d.projects})
                filled += text::isBlank(*section) ? 0 : 1;
            ASSERT_EQ(d.keptFromSource.size(), filled);
            for (const KeptSection& kept : d.keptFromSource) EXPECT_EQ(kept.reason, "ai_unavailable");
        }
    }
}
