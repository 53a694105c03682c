// The job's settings on a real database in a temporary folder: defaults,
// the stored format other programs read, history rows, refusals.
#include "job/settings.h"

#include <gtest/gtest.h>

#include "job/job.h"
#include "temp_folder.h"

namespace marula::job {
namespace {

using marula::test_support::TempFolder;

const Origin kShell{"marula-points", "入力"};

std::unique_ptr<Job> job_in(const TempFolder& t, std::optional<int> zone) {
    OpenResult opened = open_job(t.path() / "job");
    EXPECT_TRUE(opened.job) << opened.message;
    EXPECT_TRUE(opened.job->set_header({"設定", zone}, kShell).ok());
    return std::move(opened.job);
}

std::string stored(Database& db, const char* key) {
    Statement s = db.prepare("SELECT value FROM job_settings WHERE key = ?");
    s.bind(1, key);
    return s.step() ? s.text(0) : "(none)";
}

TEST(JobSettings, DefaultsThenChangesStoredAsOtherProgramsReadThem) {
    TempFolder t;
    auto job = job_in(t, 9);
    Database& db = job->database();
    const auto fresh = read_settings(db);
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ(fresh.value, JobSettings{});

    const WriteResult w = change_settings(db,
                                          {.reduction = ReductionMode::height_scale,
                                           .mean_height = 42000,
                                           .geoid_height = -36987,
                                           .tolerance = ToleranceClass::cadastral_ko2},
                                          kShell);
    ASSERT_TRUE(w.ok()) << w.message;
    EXPECT_EQ(stored(db, "reduction"), "height-scale");
    EXPECT_EQ(stored(db, "height"), "42000");
    EXPECT_EQ(stored(db, "geoid"), "-36987");
    EXPECT_EQ(stored(db, "class"), "甲二");
    const JobSettings expected{ReductionMode::height_scale, 42000, -36987, ToleranceClass::cadastral_ko2};
    EXPECT_EQ(read_settings(db).value, expected);

    // One change row a key that changed, values as `settings` prints them;
    // the same values again write nothing.
    ASSERT_TRUE(change_settings(db, {.mean_height = 42000, .tolerance = ToleranceClass::public3}, kShell).ok());
    const auto history = job->history();
    ASSERT_TRUE(history.ok());
    struct Row { std::string key, before, after; };
    const Row rows[] = {{"reduction", "none", "height-scale"},
                        {"height", "0.000", "42.000"},
                        {"geoid", "0.000", "-36.987"},
                        {"class", "none", "甲二"},
                        {"class", "甲二", "3"}};
    ASSERT_EQ(history.value.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Change& c = history.value[i];
        EXPECT_EQ(c.action, "setting");
        EXPECT_EQ(c.program, "marula-points");
        EXPECT_EQ(c.name, rows[i].key);
        EXPECT_EQ(c.before_text, rows[i].before);
        EXPECT_EQ(c.after_text, rows[i].after);
    }
}

TEST(JobSettings, RefusalsChangeNothing) {
    TempFolder t;
    auto zoned = job_in(t, 9);
    Database& db = zoned->database();
    // One value out of range refuses the whole change, whatever else it holds.
    for (const SettingsChange& change : {SettingsChange{.reduction = ReductionMode::scale, .mean_height = 9'000'001},
                                         SettingsChange{.geoid_height = -200'001, .tolerance = ToleranceClass::public1}})
        EXPECT_EQ(change_settings(db, change, kShell).status, WriteStatus::out_of_range);
    // The ends of the ranges are taken.
    EXPECT_TRUE(change_settings(db, {.mean_height = -1'000'000, .geoid_height = 200'000}, kShell).ok());
    EXPECT_TRUE(change_settings(db, {.mean_height = 9'000'000, .geoid_height = -200'000}, kShell).ok());
    EXPECT_EQ(read_settings(db).value.reduction, ReductionMode::none);
    EXPECT_EQ(read_settings(db).value.tolerance, ToleranceClass::none);

    // Reduction needs the zone, decided inside the write; the class alone does not.
    TempFolder other;
    auto unzoned = job_in(other, std::nullopt);
    Database& bare = unzoned->database();
    const WriteResult w = change_settings(bare, {.reduction = ReductionMode::scale, .tolerance = ToleranceClass::public2}, kShell);
    EXPECT_EQ(w.status, WriteStatus::out_of_range);
    EXPECT_EQ(w.message, "座標系が未設定です");
    EXPECT_EQ(read_settings(bare).value, JobSettings{});
    EXPECT_TRUE(change_settings(bare, {.reduction = ReductionMode::none, .tolerance = ToleranceClass::public2}, kShell).ok());
    EXPECT_EQ(unzoned->history().value.size(), 1u);
}

// A value written by a later version is said, left alone by a change of
// another key, and replaced when asked for (the history names it as it stood).
TEST(JobSettings, AValueThisBuildCannotReadIsSaidAndReplacedOnlyWhenAsked) {
    TempFolder t;
    auto job = job_in(t, 9);
    Database& db = job->database();
    ASSERT_TRUE(db.write([&] {
                      db.exec("INSERT INTO job_settings (key, value) VALUES ('reduction', 'geoid-model'), "
                              "('height', '12.5'), ('later', 'x')");
                      return WriteResult{};
                  }).ok());
    EXPECT_EQ(read_settings(db).trouble, "現場の設定を読めません：height「12.5」、reduction「geoid-model」");
    ASSERT_TRUE(change_settings(db, {.tolerance = ToleranceClass::public1}, kShell).ok());
    EXPECT_EQ(stored(db, "reduction"), "geoid-model");
    ASSERT_TRUE(change_settings(db, {.mean_height = 12500}, kShell).ok());
    EXPECT_EQ(stored(db, "height"), "12500");
    EXPECT_EQ(job->history().value.back().before_text, "12.5");
    EXPECT_EQ(stored(db, "later"), "x");
}

}  // namespace
}  // namespace marula::job
