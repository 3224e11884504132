// Resume Studio hot paths: a full grounded build with no model running (profile + two-page
// resume, parse, six sections, ATS, sealed save) and one ATS rescoring of a long job posting.

#include "studio/StudioTestEnv.h"

#include <benchmark/benchmark.h>

using namespace velmora;

namespace {

const char* kSkills = "Python, SQL, dbt, Airflow, Spark, Kafka, Terraform, AWS, GCP, BigQuery, Snowflake, Looker, "
                      "Docker, Kubernetes, Git, CI/CD, data modeling, stakeholder management";

// About two pages of a typical engineer's resume as text extracted from a PDF.
std::string twoPageResume() {
    std::string text = "Jane Q. Doe\njane.doe@example.com | (415) 555-2671 | https://www.linkedin.com/in/janedoe\n"
                       "PROFESSIONAL SUMMARY\nData engineer with eight years of experience designing batch and "
                       "streaming pipelines for analytics and machine-learning teams.\nTECHNICAL SKILLS\n";
    text += kSkills;
    text += "\nPROFESSIONAL EXPERIENCE\n";
    const char* employers[] = {"Acme Analytics", "Globex Retail", "Initech Health", "Umbrella Logistics"};
    for (int job = 0; job < 4; ++job) {
        text += std::string(employers[job]) + " — Senior Data Engineer    201" + std::to_string(job * 2) + " – 201" +
                std::to_string(job * 2 + 2) + "\n";
        for (int bullet = 0; bullet < 7; ++bullet)
            text += "• Built and operated Airflow and dbt pipelines moving " + std::to_string(bullet + 2) +
                    " TB per day from Kafka into BigQuery, cutting report latency for finance and marketing teams.\n";
    }
    text += "EDUCATION\nBSc Computer Science, University of Texas at Austin, 2012\nCERTIFICATIONS\n"
            "AWS Certified Data Analytics – Specialty\nGoogle Professional Data Engineer\nPROJECTS\n"
            "Open-source dbt package for slowly changing dimensions (400 GitHub stars)\n";
    return text;
}

std::string longJobDescription() {
    std::string text;
    const char* sentence = "We are hiring a senior data engineer to own our Airflow, dbt and Snowflake platform, "
                           "partner with analytics and product teams, and improve data quality, observability and "
                           "cost across Kafka streaming and batch workloads on AWS with Terraform. ";
    while (text.size() < 9000) text += sentence;
    return text.substr(0, 9000);
}

} // namespace

static void BM_GroundedBuild(benchmark::State& state) {
    velmora::testing::StudioEnv env;
    env.profiles->save(json{{"fullName", "Jane Q. Doe"},
                            {"email", "jane.doe@example.com"},
                            {"phone", "(415) 555-2671"},
                            {"cityState", "Austin, TX"},
                            {"country", "United States"},
                            {"currentEmployer", "Umbrella Logistics"},
                            {"currentTitle", "Senior Data Engineer"},
                            {"yearsOfExperience", "8"},
                            {"skills", kSkills},
                            {"education", "BSc Computer Science, University of Texas at Austin, 2012"},
                            {"coverLetterTemplate", "Dear hiring team, ..."}});
    auto resume = env.dir / "resume.txt";
    velmora::testing::writeFile(resume, twoPageResume());
    ResumeStudioRequest request;
    request.targetRole = "Staff Data Engineer";
    request.jobDescription = longJobDescription();
    request.sourceResumePath = resume.string();
    for (auto _ : state) benchmark::DoNotOptimize(env.studio->build(request));
}
BENCHMARK(BM_GroundedBuild)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

static void BM_RecalculateAts(benchmark::State& state) {
    ResumeDocument document;
    ParsedResumeSections parsed = ResumeStudioService::parseExistingResume(twoPageResume());
    document.summary = parsed.summary;
    document.skills = parsed.skills;
    document.experience = parsed.experience;
    document.education = parsed.education;
    document.certifications = parsed.certifications;
    document.projects = parsed.projects;
    document.jobDescription = longJobDescription();
    for (auto _ : state) {
        ResumeStudioService::recalculateAts(document);
        benchmark::DoNotOptimize(document.atsScore);
    }
}
BENCHMARK(BM_RecalculateAts)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
