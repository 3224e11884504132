// Resumes written the ways people write them, each as the file a user would import, walked
// through import and an offline build: every fact must land in its own section.
#include "StudioTestEnv.h"

using namespace velmora;
using namespace velmora::testing;
using S = ResumeStudioService;

namespace {

struct CorpusResume {
    const char* stem;
    std::vector<const char*> formats;
    const char* name;                     // the contact block's first line
    std::vector<const char*> contact;     // each within its second line
    std::vector<const char*> skills;      // each one entry of the skills list
    std::vector<std::pair<const char*, const char*>> sections; // section -> text, white space collapsed
};

const std::vector<CorpusResume> kCorpus = {
        {"classic-us", {"txt", "pdf", "docx"}, "JORDAN AVERY",
         {"jordan.avery@example.com", "(503) 555-0142", "Portland, OR"},
         {"Kubernetes", "PostgreSQL", "Terraform", "Go", "Prometheus", "Python"},
         {{"summary", "Site reliability engineer with eight years of experience running payment platforms on "
           "Kubernetes and PostgreSQL, with a focus on incident response and capacity planning."},
          {"experience", "Northwind Payments — Senior Site Reliability Engineer Mar 2020 – Present"},
          {"experience", "• Cut p99 checkout latency by 38% by moving session state from Redis to a sharded "
           "PostgreSQL cluster serving 4,000 requests per second."},
          {"experience", "• Led blameless incident reviews for key projects and wrote the runbooks that the on-call "
           "rotation still uses."},
          {"experience", "• Reduced monthly cloud spend by $42,000 through Terraform-managed rightsizing of 120 "
           "nodes."},
          {"experience", "Contoso Retail — Systems Engineer Jun 2016 – Feb 2020"},
          {"experience", "• Automated deployments for 35 services with Jenkins pipelines."},
          {"education", "B.S. Computer Science, Oregon State University, 2016"},
          {"certifications", "Certified Kubernetes Administrator (CKA), 2021"},
          {"projects", "Pagerlite — open-source alert router written in Go, 900 GitHub stars"}}},
        {"markdown", {"md"}, "Tomás Ruiz-Velasco",
         {"tomas.ruiz@example.org", "+34 612 345 678", "Madrid, Spain"},
         {"Kotlin", "Java", "Kafka", "gRPC", "PostgreSQL", "AWS"},
         {{"summary", "Backend engineer who builds event-driven systems for healthcare data, with eleven years "
           "across Java and Kotlin services."},
          {"experience", "Lumen Health Staff Backend Engineer | 2021 – 2025"},
          {"experience", "• Migrated 14 billing services from a monolith to Kafka consumers with zero downtime."},
          {"experience", "• Mentored six engineers through the promotion process."},
          {"experience", "Brightpath Labs Backend Engineer | 2014 – 2021"},
          {"experience", "• Designed a gRPC gateway that handled 2.5 million calls a day."},
          {"education", "M.Sc. Software Engineering, Universidad Politécnica de Madrid, 2014"},
          {"certifications", "AWS Certified Solutions Architect – Associate"},
          {"projects", "• Tidewater: a Kotlin library for idempotent message handling"}}},
        {"spanish", {"txt", "pdf"}, "Lucía Fernández Ortega",
         {"+34 91 123 45 67", "Sevilla, España"},
         {"Python", "Spark", "Airflow", "dbt", "BigQuery"},
         {{"summary", "Ingeniera de datos con seis años de experiencia en plataformas analíticas para comercio "
           "electrónico."},
          {"experience", "Mercado Sur S.A. — Ingeniera de Datos Sénior (2021 – actualidad)"},
          {"experience", "• Reduje el tiempo de carga nocturna un 45% migrando 60 trabajos a Airflow."},
          {"experience", "• Diseñé el modelo de datos de ventas usado por 12 equipos."},
          {"experience", "Datalia — Analista de Datos (2018 – 2021)"},
          {"experience", "• Automaticé 30 informes semanales con Python."},
          {"education", "Grado en Ingeniería Informática, Universidad de Sevilla, 2018"},
          {"certifications", "Google Cloud Professional Data Engineer"},
          {"projects", "Tarifa Abierta: panel público de precios eléctricos con 5.000 usuarios mensuales"}}},
        {"german", {"txt", "docx"}, "Maximilian Becker",
         {"+49 (0)30 1234 5678", "Berlin, Deutschland"},
         {"TypeScript", "React", "GraphQL", "Playwright", "Web Accessibility"},
         {{"summary", "Frontend-Entwickler mit neun Jahren Erfahrung in barrierefreien Webanwendungen für Banken."},
          {"experience", "Nordbank AG — Senior Frontend-Entwickler, 2019 – heute"},
          {"experience", "• Senkte die Ladezeit des Kundenportals um 52% durch Code-Splitting."},
          {"experience", "• Baute eine Komponentenbibliothek mit 80 Komponenten auf."},
          {"experience", "Webwerk GmbH — Frontend-Entwickler, 2015 – 2019"},
          {"experience", "• Betreute 25 Kundenprojekte mit React."},
          {"education", "M.Sc. Informatik, Technische Universität München, 2015"},
          {"certifications", "Certified Professional for Usability and User Experience (CPUX-F)"},
          {"projects", "a11y-lint: Open-Source-Prüfwerkzeug für ARIA-Attribute"}}},
        {"plain-statement", {"txt", "docx"}, "CAMILLE MOREAU",
         {"+33629583939", "camille.moreau@example.fr"},
         {"C", "C++", "Rust", "SQLite", "PostgreSQL"},
         {{"summary", "Embedded software developer with seven years of experience writing firmware for medical "
           "devices, from bare-metal drivers to certified release processes."},
          {"summary", "I enjoy turning noisy sensor data into reliable products and I mentor junior developers in "
           "test-driven firmware work."},
          {"education", "Diplôme d'ingénieur, INSA Lyon, 2017"},
          {"experience", "Medisense SAS, Firmware Engineer, 2019 - 2024"},
          {"experience", "• Cut boot time of the infusion pump controller from 9 s to 2.1 s."},
          {"experience", "• Wrote the IEC 62304 test plan for 3 product lines."},
          {"experience", "Sensoria, Junior Developer, 2017 - 2019"},
          {"experience", "• Ported the sensor stack to FreeRTOS."}}},
};

std::string sectionText(const ResumeDocument& d, const std::string& key) {
    if (key == "summary") return d.summary;
    if (key == "experience") return d.experience;
    if (key == "education") return d.education;
    if (key == "certifications") return d.certifications;
    return d.projects;
}

} // namespace

TEST(ResumeCorpus, EveryFactReachesItsSectionOffline) {
    StudioEnv env;
    const text::Regex spaces("\\s+");
    for (const CorpusResume& resume : kCorpus) {
        for (const char* format : resume.formats) {
            const std::string file = std::string(resume.stem) + "." + format;
            SCOPED_TRACE(file);
            ResumeStudioRequest request;
            request.targetRole = "Senior Backend Engineer";
            request.useApplicationProfile = false;
            request.sourceResumePath = std::string(VELMORA_FIXTURES_DIR) + "/resumes/corpus/" + file;
            ResumeDocument d = env.studio->build(request);

            std::vector<std::string> contact = text::split(d.contact, '\n', false);
            contact.resize(2);
            EXPECT_EQ(contact[0], resume.name);
            for (const char* part : resume.contact) EXPECT_TRUE(text::contains(contact[1], part)) << part;
            std::vector<std::string> skills = S::splitSkills(d.skills);
            for (const char* skill : resume.skills)
                EXPECT_NE(std::find(skills.begin(), skills.end(), skill), skills.end()) << skill << " in " << d.skills;
            for (const auto& [section, fact] : resume.sections)
                EXPECT_TRUE(text::contains(spaces.replaceAll(sectionText(d, section), " "), fact))
                    << section << " lacks: " << fact << "\n--- it holds:\n" << sectionText(d, section);

            // Normalised: no heading word stranded in a section, one bullet mark per line; every
            // section with content says it was kept from the source, because no model answered.
            size_t filled = 0;
            for (const std::string* body : {&d.summary, &d.skills, &d.experience, &d.education, &d.certifications,
                                            &d.projects}) {
                filled += text::isBlank(*body) ? 0 : 1;
                for (const std::string& line : text::split(*body, '\n', false)) {
                    EXPECT_EQ(S::headingToSection(S::normalizeHeading(line)), "") << line;
                    EXPECT_FALSE(text::Regex("^(• [•*-]|#)|-----|\\.\\.\\.\\.\\.").search(line)) << line;
                }
            }
            ASSERT_EQ(d.keptFromSource.size(), filled);
            for (const KeptSection& kept : d.keptFromSource) EXPECT_EQ(kept.reason, "ai_unavailable");
        }
    }
}
