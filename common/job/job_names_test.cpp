// Names the job cannot hold, through the job's API on a real database in a
// temporary folder: point names a spreadsheet would run or that read as a
// range are refused by every write as any other refused name is; a job's
// name is checked when set, kept when stored before the rules, and shown
// cut; what the history keeps of a file's name is one line.
#include "job/job.h"
#include "job/import.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>

namespace marula::job {
namespace {

namespace fs = std::filesystem;
using marula::test_support::TempFolder;

const Origin kTyped{"test", "入力"};

std::unique_ptr<Job> opened(const fs::path& folder) {
    OpenResult result = open_job(folder);
    EXPECT_TRUE(result.job) << result.message;
    return std::move(result.job);
}

TEST(JobNames, EveryWriteRefusesANameTheRulesRefuse) {
    TempFolder t;
    auto job = opened(t.path() / "job");
    ASSERT_TRUE(job->add({0, "T1", 1, 2, std::nullopt}, kTyped).ok());
    using Write = std::function<WriteResult(const std::string& name)>;
    const std::array<std::pair<const char*, Write>, 4> writes = {{
        {"add", [&](const std::string& n) { return job->add({0, n, 5, 6, std::nullopt}, kTyped); }},
        {"rename", [&](const std::string& n) { return job->rename("T1", n, kTyped); }},
        {"correct",
         [&](const std::string& n) {
             PointEdit edit;
             edit.name = n;
             return job->correct(1, edit, kTyped);
         }},
        {"store",
         [&](const std::string& n) {
             const StoreRequest request{n, 7, 8};
             return job->store(std::span(&request, 1), kTyped).result;
         }},
    }};
    struct Case {
        const char* name;
        NameProblem problem;
    } const cases[] = {
        {"=HYPERLINK(x)", NameProblem::formula_start}, {"+SUM(1+1)", NameProblem::formula_start},
        {"-2+3", NameProblem::formula_start},          {"@SUM(1)", NameProblem::formula_start},
        {"K1..K7", NameProblem::double_dot},            {"A\tB", NameProblem::control_character},
    };
    for (const auto& [what, write] : writes) {
        for (const Case& c : cases) {
            const WriteResult w = write(c.name);
            EXPECT_EQ(w.status, WriteStatus::invalid_name) << what << " " << c.name;
            EXPECT_EQ(w.message, describe(c.problem)) << what << " " << c.name;
        }
    }
    EXPECT_EQ(job->count().value, 1);
    EXPECT_EQ(job->find("T1").value->x, 1);
    // Names that only look alike are names.
    EXPECT_TRUE(job->add({0, "A-1", 1, 2, std::nullopt}, kTyped).ok());
    EXPECT_TRUE(job->add({0, "1+", 1, 2, std::nullopt}, kTyped).ok());
}

TEST(JobNames, AJobsNameIsCheckedWhenSetAndCutWhenShown) {
    TempFolder t;
    auto job = opened(t.path() / "現場フォルダ");
    struct Case {
        std::string name;
        WriteStatus status;
        std::string shown;  // display_name() afterwards
    } const cases[] = {
        {"神南一丁目", WriteStatus::done, "神南一丁目"},
        {" 神南 ", WriteStatus::done, "神南"},
        {std::string(40, 'K'), WriteStatus::done, std::string(40, 'K')},
        {std::string(41, 'K'), WriteStatus::invalid_name, std::string(40, 'K')},
        {"a\nG00,04,x", WriteStatus::invalid_name, std::string(40, 'K')},
        {"a,b", WriteStatus::invalid_name, std::string(40, 'K')},
        {"", WriteStatus::done, "現場フォルダ"},  // the folder's name
    };
    for (const Case& c : cases) {
        EXPECT_EQ(job->set_header({c.name, 9}, kTyped).status, c.status) << c.name;
        EXPECT_EQ(job->display_name(), c.shown) << c.name;
    }
    // A name stored before the rules: kept when the header is set again as
    // read, shown cut and printable; another refused name still refused.
    std::string stored = "東\n";
    for (int i = 0; i < 100000; ++i) stored += "西";
    Database& db = job->database();
    ASSERT_TRUE(db.write([&] {
                      db.prepare("UPDATE job_header SET display_name = ?").bind(1, stored).run();
                      return WriteResult{};
                  }).ok());
    JobHeader header = job->header();
    header.zone = 5;
    EXPECT_TRUE(job->set_header(header, kTyped).ok());
    EXPECT_EQ(job->header().display_name, stored);
    EXPECT_EQ(job->header().zone, 5);
    std::string shown = "東\\x0A";
    for (int i = 0; i < 38; ++i) shown += "西";
    EXPECT_EQ(job->display_name(), shown);
    EXPECT_EQ(job->set_header({stored + "x", 5}, kTyped).status, WriteStatus::invalid_name);
    // The job list shows it the same way.
    job.reset();
    const auto listed = list_jobs({t.path()}, std::nullopt);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].header.display_name, shown);
}

TEST(JobNames, ANewJobWithARefusedNameMakesNoFolder) {
    TempFolder t;
    const OpenResult refused = create_job({"a\nb", std::nullopt}, t.path());
    EXPECT_FALSE(refused.job);
    EXPECT_EQ(refused.message, describe(JobNameProblem::control_character));
    EXPECT_TRUE(fs::is_empty(t.path()));
    const OpenResult made = create_job({"北", std::nullopt}, t.path());
    ASSERT_TRUE(made.job) << made.message;
    EXPECT_EQ(made.job->display_name(), "北");
}

TEST(JobNames, TheHistoryKeepsAFilesNameOnOneLine) {
    TempFolder t;
    auto job = opened(t.path() / "job");
    const Origin forged{"marula-points", "a\tb\n2026-01-01 00:00:00\tdelete.sim"};
    ASSERT_TRUE(import_bytes(*job, "\r\n\r\nA01,1,F1,0.001,0.002,\r\n", {FileFormat::sima, {}, {}, {}}, OnConflict::keep,
                             forged)
                    .result.ok());
    const auto history = job->history();
    ASSERT_TRUE(history.ok());
    ASSERT_EQ(history.value.size(), 1u);
    EXPECT_EQ(history.value[0].source, "a\\x09b\\x0A2026-01-01 00:00:00\\x09delete.sim:3");
}

}  // namespace
}  // namespace marula::job
