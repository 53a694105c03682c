// Stale marks on a real job in a temporary folder: each case builds runs
// that take values from the job and store what they compute, changes the
// job, and reads which points are stale and why.
#include "job/provenance.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/import.h"
#include "job/job.h"
#include "job/journal.h"
#include "temp_folder.h"

namespace marula::job {
namespace {

using marula::test_support::TempFolder;

const Origin kTyped{"test", std::string(kTypedSource)};

class Runs {
public:
    explicit Runs(Job& job) : job_(job) {}
    // A run of a calculation that took `inputs` from the job by Enter and
    // stored `computed` (name, X, Y in mm).
    std::int64_t run(const std::vector<std::string>& inputs, const std::vector<StoreRequest>& computed) {
        JournalWriter journal(job_.database(), "radtrav");
        EXPECT_EQ(journal.record("type x"), std::nullopt);
        const std::int64_t run = *journal.run();
        std::int64_t event = 0;
        for (const std::string& name : inputs) {
            const auto p = job_.find(name).value;
            EXPECT_TRUE(p) << name;
            EXPECT_EQ(record_input(job_.database(), run, {p->name, p->number, p->x, p->y, event++}), std::nullopt);
        }
        std::vector<StoreRequest> requests = computed;
        for (StoreRequest& r : requests) r.may_replace = job_.find(r.name).value;
        EXPECT_TRUE(job_.store(requests, {"radtrav", std::string(kComputedSource), run}).result.ok());
        return run;
    }

private:
    Job& job_;
};

using Marks = std::vector<std::pair<std::string, std::string>>;

Marks marks(Job& job) {
    Marks out;
    for (const Stale& s : stale_points(job.database()).value) out.emplace_back(s.point.name, s.because);
    return out;
}

void move(Job& job, const std::string& name, Millimetres dx, Millimetres dy, std::optional<Millimetres> h = {}) {
    const Point p = *job.find(name).value;
    PointEdit edit;
    edit.x = p.x + dx;
    edit.y = p.y + dy;
    if (h) edit.h = h;
    ASSERT_TRUE(job.correct(p.number, edit, kTyped).ok());
}

TEST(Provenance, AComputedPointIsStaleWhenAnInputMovedOrIsStale) {
    struct Case {
        const char* what;
        std::function<void(Job&, Runs&)> then;
        Marks expected;
    };
    const Case cases[] = {
        {"nothing moved", [](Job&, Runs&) {}, {}},
        {"an input 1 mm away", [](Job& j, Runs&) { move(j, "S", 1, 0); }, {{"A", "S"}, {"B", "A"}}},
        {"only a height added", [](Job& j, Runs&) { move(j, "S", 0, 0, 5000); }, {}},
        {"an input deleted", [](Job& j, Runs&) { ASSERT_TRUE(j.remove("S", kTyped).ok()); }, {{"A", "S"}, {"B", "A"}}},
        {"an input renamed: followed by number", [](Job& j, Runs&) { ASSERT_TRUE(j.rename("S", "S2", kTyped).ok()); },
         {}},
        {"the stale point stored again by a run with today's input",
         [](Job& j, Runs& runs) {
             move(j, "S", 0, 10);
             runs.run({"S"}, {{"A", 1000, 2010}});
         },
         {{"B", "A"}}},
        {"the stale point's height alone edited: still stale",
         [](Job& j, Runs&) {
             move(j, "S", 0, 10);
             move(j, "A", 0, 0, 1234);
         },
         {{"A", "S"}, {"B", "A"}}},
        {"the stale point replaced by an import: no longer computed",
         [](Job& j, Runs&) {
             move(j, "S", 0, 10);
             ASSERT_TRUE(import_bytes(j, "A01,1,A,1.000,2.011,\r\n", {FileFormat::sima, {}, {}, {}},
                                      OnConflict::replace, {"test", "a.sim"})
                             .result.ok());
         },
         {{"B", "A"}}},
    };
    for (const Case& c : cases) {
        TempFolder t;
        auto opened = open_job(t.path());
        ASSERT_TRUE(opened.job);
        Job& job = *opened.job;
        ASSERT_TRUE(job.add({0, "S", 1000, 1000, std::nullopt}, kTyped).ok());
        ASSERT_TRUE(job.add({0, "T", 0, 0, std::nullopt}, kTyped).ok());
        Runs runs(job);
        runs.run({"S", "T"}, {{"A", 1000, 2000}});  // A from S and T
        runs.run({"A"}, {{"B", 3000, 3000}});       // B from A
        c.then(job, runs);
        EXPECT_EQ(marks(job), c.expected) << c.what;
    }
}

// Runs that take values from each other's points in a ring are followed
// round once, never for ever: each is stale through the other.
TEST(Provenance, ARingOfRunsEnds) {
    TempFolder t;
    auto opened = open_job(t.path());
    Job& job = *opened.job;
    ASSERT_TRUE(job.add({0, "S", 1000, 1000, std::nullopt}, kTyped).ok());
    Runs runs(job);
    runs.run({"S"}, {{"A", 1, 1}});
    runs.run({"A"}, {{"B", 2, 2}});
    runs.run({"B"}, {{"A", 2, 1}});  // A again, from B: the A that B took has moved
    EXPECT_EQ(marks(job), (Marks{{"A", "B"}, {"B", "A"}}));
}

}  // namespace
}  // namespace marula::job
