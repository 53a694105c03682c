// The streaming import over a real job in a temporary folder: the kinds a
// file's points fall into, the preview's pages, a write by another
// connection between the preview and the write, and the history it leaves.
#include "job/import.h"
#include "job/parcels.h"

#include "temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

namespace marula::job {
namespace {

namespace fs = std::filesystem;
using marula::test_support::TempFolder;

const Origin kTyped{"test", "入力"};
const ImportRequest kSima{FileFormat::sima, std::nullopt, std::nullopt, std::nullopt};

std::unique_ptr<Job> opened(const fs::path& folder) {
    OpenResult r = open_job(folder);
    EXPECT_EQ(r.status, OpenStatus::opened) << r.message;
    return std::move(r.job);
}

std::vector<std::string> names_of(const Read<std::vector<ImportRow>>& rows) {
    EXPECT_TRUE(rows.ok());
    std::vector<std::string> out;
    for (const ImportRow& row : rows.value) out.push_back(row.file.name);
    return out;
}

// A job holding A (1, 2, no H), B (3, 4, H 5) and C (6, 7); a file that
// meets each way: A same place with an H, B identical, C moved, D and E new,
// D twice at one place (merged).
constexpr std::string_view kFile =
    "A01,1,A,0.001,0.002,0.009,\r\nA01,2,B,0.003,0.004,0.005,\r\nA01,3,C,0.006,0.008,\r\n"
    "A01,4,D,1.000,1.000,\r\nA01,5,E,2.000,2.000,\r\nA01,6,D,1.000,1.000,\r\n";

void store_abc(Job& job) {
    ASSERT_TRUE(job.add({0, "A", 1, 2, std::nullopt}, kTyped).ok());
    ASSERT_TRUE(job.add({0, "B", 3, 4, 5}, kTyped).ok());
    ASSERT_TRUE(job.add({0, "C", 6, 7, std::nullopt}, kTyped).ok());
}

TEST(FileImport, SortsEachPointOnceAndPagesEachKindInFileOrder) {
    TempFolder t;
    auto job = opened(t.path() / "j");
    store_abc(*job);
    FileImport import(*job);
    StringSource source(kFile, 7);  // every line crosses a chunk's end
    const ImportSummary& s = import.read(source, kSima);
    ASSERT_TRUE(s.ok()) << (s.error ? describe(*s.error) : *s.trouble);
    EXPECT_EQ(s.points, 5);
    EXPECT_EQ(s.added, 2);
    EXPECT_EQ(s.identical, 1);
    EXPECT_EQ(s.heights_added, 1);
    EXPECT_EQ(s.conflicts, 1);
    ASSERT_EQ(s.warnings.size(), 1u);
    EXPECT_EQ(s.warnings[0].code, Code::N_DUPLICATE_MERGED);

    EXPECT_EQ(names_of(import.rows(ImportKind::added, -1, 1)), std::vector<std::string>{"D"});
    const auto first = import.rows(ImportKind::added, -1, 1).value.at(0);
    EXPECT_EQ(names_of(import.rows(ImportKind::added, first.ordinal, 5)), std::vector<std::string>{"E"});
    const auto conflict = import.rows(ImportKind::conflict, -1, 5).value;
    ASSERT_EQ(conflict.size(), 1u);
    EXPECT_EQ(conflict[0].stored, (Point{3, "C", 6, 7, std::nullopt}));
    EXPECT_EQ(conflict[0].file, (Point{3, "C", 6, 8, std::nullopt}));
    EXPECT_EQ(conflict[0].line, 3);

    const ImportOutcome done = import.apply(OnConflict::replace, {"test", "f.sim"});
    ASSERT_TRUE(done.result.ok()) << done.result.message;
    EXPECT_EQ(done.added, 2);
    EXPECT_EQ(done.heights_added, 1);
    EXPECT_EQ(done.replaced, 1);
    EXPECT_EQ(done.identical, 1);
    EXPECT_EQ(*job->find("A").value, (Point{1, "A", 1, 2, 9}));
    EXPECT_EQ(*job->find("C").value, (Point{3, "C", 6, 8, std::nullopt}));
    EXPECT_EQ(*job->find("D").value, (Point{4, "D", 1000, 1000, std::nullopt}));
    // One batch for the import, a change under it for each point written,
    // each naming its line.
    const auto history = job->history().value;
    ASSERT_EQ(history.size(), 7u);
    for (std::size_t i = 3; i < history.size(); ++i) EXPECT_EQ(history[i].program, "test");
    EXPECT_EQ(history[3].action, "import");
    EXPECT_EQ(history[3].source, "f.sim:4");
    EXPECT_EQ(history[5].action, "h-added");
    EXPECT_EQ(history[6].action, "replace");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((t.path() / "j" / "job.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM history_batches WHERE program = 'test' AND source = 'f.sim'", -1, &q,
                       nullptr);
    ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(q, 0), 1);
    sqlite3_finalize(q);
    // The temporary table is the connection's own: job.db never holds it.
    sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema WHERE name LIKE '%staging%'", -1, &q, nullptr);
    ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(q, 0), 0);
    sqlite3_finalize(q);
    sqlite3_close(db);
}

// Between the preview and the write nothing is locked: another program
// writes, and the write sorts the points again against what it wrote.
// New points take numbers after every number the job ever gave (a deleted
// point's too), in file order rather than name order, and each one's
// history change names the point as stored and its line.
TEST(FileImport, NewPointsAreNumberedInFileOrderAndTheirHistoryNamesThem) {
    TempFolder t;
    auto job = opened(t.path() / "j");
    store_abc(*job);
    ASSERT_TRUE(job->add({0, "Z", 9, 9, std::nullopt}, kTyped).ok());
    ASSERT_TRUE(job->remove("Z", kTyped).ok());
    FileImport import(*job);
    StringSource source("A01,1,B,0.003,0.004,0.005,\r\nA01,2,N2,2.000,3.000,\r\nA01,3,N10,4.000,5.000,6.000,\r\n"
                        "A01,4,M1,7.000,8.000,\r\n");
    ASSERT_TRUE(import.read(source, kSima).ok());
    const ImportOutcome done = import.apply(OnConflict::keep, {"test", "f.sim"});
    ASSERT_TRUE(done.result.ok()) << done.result.message;
    EXPECT_EQ(done.added, 3);
    const std::vector<Point> stored = {{5, "N2", 2000, 3000, std::nullopt}, {6, "N10", 4000, 5000, 6000},
                                       {7, "M1", 7000, 8000, std::nullopt}};
    const auto history = job->history().value;
    ASSERT_EQ(history.size(), 8u);  // A, B, C, Z, Z deleted, then the three
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(*job->find(stored[i].name).value, stored[i]);
        const Change& change = history[5 + i];
        EXPECT_EQ(change.action, "import");
        EXPECT_EQ(change.name, stored[i].name);
        EXPECT_EQ(change.before, std::nullopt);
        EXPECT_EQ(change.after, stored[i]);
        EXPECT_EQ(change.source, "f.sim:" + std::to_string(i + 2));
    }
}

TEST(FileImport, TheWriteSortsAgainstWhatAnotherProgramWroteMeanwhile) {
    TempFolder t;
    auto job = opened(t.path() / "j");
    store_abc(*job);
    FileImport import(*job);
    StringSource source(kFile);
    ASSERT_TRUE(import.read(source, kSima).ok());
    EXPECT_EQ(import.summary().added, 2);
    {
        auto other = opened(t.path() / "j");
        ASSERT_TRUE(other->add({0, "E", 5, 5, std::nullopt}, kTyped).ok()) << "the preview held the job";
    }
    const ImportOutcome done = import.apply(OnConflict::keep, {"test", "f.sim"});
    ASSERT_TRUE(done.result.ok()) << done.result.message;
    EXPECT_EQ(done.added, 1);  // D only: E is stored now, elsewhere
    EXPECT_EQ(done.kept, 2);
    EXPECT_EQ(*job->find("E").value, (Point{4, "E", 5, 5, std::nullopt}));
}

// A read that fails leaves nothing to write, and a second read replaces the
// first whole.
TEST(FileImport, ARefusedReadLeavesNothingAndAnotherReadStartsAfresh) {
    TempFolder t;
    auto job = opened(t.path() / "j");
    FileImport import(*job);
    StringSource bad("A01,1,P,1.000,2.000,\r\nA01,2,P,9.000,2.000,\r\n");
    const ImportSummary& refused = import.read(bad, kSima);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, Code::E_DUPLICATE_CONFLICT);
    EXPECT_FALSE(import.apply(OnConflict::keep, kTyped).result.ok());
    EXPECT_EQ(job->count().value, 0);
    StringSource good("A01,1,Q,1.000,2.000,\r\n");
    ASSERT_TRUE(import.read(good, kSima).ok());
    EXPECT_EQ(names_of(import.rows(ImportKind::added, -1, 10)), std::vector<std::string>{"Q"});
    ASSERT_TRUE(import.apply(OnConflict::keep, kTyped).result.ok());
    EXPECT_EQ(job->count().value, 1);
}

}  // namespace
}  // namespace marula::job

namespace marula::job {
namespace {

// A SIMA's lots become parcels with the points, in the same write: their
// vertices are found among the file's points and the job's, a stored
// parcel follows the choice of the conflicts, and a lot that cannot be a
// parcel refuses the file, naming its line.
TEST(FileImport, LotsAreStoredAsParcelsWithThePoints) {
    const std::string points = "A01,1,A,0.000,0.000,\r\nA01,2,B,0.000,10.000,\r\n";
    struct Case {
        const char* what;
        std::string lots;
        OnConflict choice;
        std::optional<Code> refused;
        int line;
        const char* parcel;                 // the parcel looked at afterwards
        std::vector<std::string> vertices;  // its vertices then
    };
    const Case cases[] = {
        {"a lot of the file's and the job's points", "D00,1,L1,1,\r\nB01,1,A,\r\nB01,2,B,\r\nB01,3,S,\r\nD99,\r\n",
         OnConflict::keep, std::nullopt, 0, "L1", {"A", "B", "S"}},
        {"a stored parcel replaced", "D00,1,L0,1,\r\nB01,2,B,\r\nB01,1,A,\r\nB01,3,S,\r\nD99,\r\n",
         OnConflict::replace, std::nullopt, 0, "L0", {"B", "A", "S"}},
        {"a stored parcel kept", "D00,1,L0,1,\r\nB01,2,B,\r\nB01,1,A,\r\nB01,3,S,\r\nD99,\r\n", OnConflict::keep,
         std::nullopt, 0, "L0", {"S", "A", "B"}},
        {"a vertex nowhere", "D00,1,L1,1,\r\nB01,1,A,\r\nB01,9,Z,\r\nB01,3,S,\r\nD99,\r\n", OnConflict::keep,
         Code::E_UNKNOWN_VERTEX, 5, "", {}},
        {"two vertices", "D00,1,L1,1,\r\nB01,1,A,\r\nB01,3,S,\r\nD99,\r\n", OnConflict::keep, Code::E_PARCEL, 3,
         "", {}},
        {"one name twice", "D00,1,L1,1,\r\nB01,1,A,\r\nB01,2,B,\r\nB01,3,S,\r\nD00,2,L1,1,\r\nB01,1,A,\r\n"
                           "B01,2,B,\r\nB01,3,S,\r\nD99,\r\n",
         OnConflict::keep, Code::E_PARCEL, 7, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder t;
        auto job = opened(t.path() / "j");
        ASSERT_TRUE(job->add({0, "S", 5000, 5000, std::nullopt}, kTyped).ok());
        // A stored parcel L0: S, A, B once the points are there.
        const std::string stored = "A01,1,A,0.000,0.000,\r\nA01,2,B,0.000,10.000,\r\nD00,1,L0,1,\r\nB01,3,S,\r\n"
                                   "B01,1,A,\r\nB01,2,B,\r\nD99,\r\n";
        {
            FileImport first(*job);
            StringSource source(stored, 64);
            ASSERT_TRUE(first.read(source, kSima).ok());
            ASSERT_TRUE(first.apply(OnConflict::keep, kTyped).result.ok());
        }
        FileImport import(*job);
        const std::string file = points + c.lots;
        StringSource source(file, 64);
        const ImportSummary& s = import.read(source, kSima);
        if (c.refused) {
            ASSERT_TRUE(s.error);
            EXPECT_EQ(s.error->code, *c.refused);
            EXPECT_EQ(s.error->line, c.line);
            continue;
        }
        ASSERT_TRUE(s.ok()) << (s.error ? describe(*s.error) + " line " + std::to_string(s.error->line) : *s.trouble);
        const ImportOutcome done = import.apply(c.choice, kTyped);
        ASSERT_TRUE(done.result.ok()) << done.result.message;
        const auto parcel = Parcels(job->database()).find(c.parcel).value;
        ASSERT_TRUE(parcel);
        std::vector<std::string> vertices;
        for (const Point& v : parcel->vertices) vertices.push_back(v.name);
        EXPECT_EQ(vertices, c.vertices);
    }
}

}  // namespace
}  // namespace marula::job

namespace marula::job {
namespace {

// A job's parcels written as SIMA and imported into a new job come back
// with the same vertices in the same order.
TEST(FileImport, ParcelsMakeTheRoundTripThroughSima) {
    TempFolder t;
    auto from = opened(t.path() / "from");
    for (const auto& [name, x, y] : {std::tuple{"K1", 0, 0}, {"K2", 0, 10000}, {"K3", 10000, 10000}, {"K4", 10000, 0}})
        ASSERT_TRUE(from->add({0, name, x, y, std::nullopt}, kTyped).ok());
    const std::vector<std::string> lot = {"K1", "K2", "K3", "K4"}, other = {"K4", "K2", "K1"};
    ASSERT_TRUE(Parcels(from->database()).put("画地1", lot, ParcelWrite::add, kTyped).ok());
    ASSERT_TRUE(Parcels(from->database()).put("画地2", other, ParcelWrite::add, kTyped).ok());
    const auto bytes = from->export_sima();
    ASSERT_TRUE(bytes.ok());

    auto to = opened(t.path() / "to");
    FileImport import(*to);
    StringSource source(bytes.value, 100);
    ASSERT_TRUE(import.read(source, kSima).ok());
    EXPECT_EQ(import.summary().parcels_added, 2);
    ASSERT_TRUE(import.apply(OnConflict::keep, kTyped).result.ok());
    const auto back = Parcels(to->database()).all();
    ASSERT_TRUE(back.ok());
    ASSERT_EQ(back.value.size(), 2u);
    auto names = [](const Parcel& p) {
        std::vector<std::string> out;
        for (const Point& v : p.vertices) out.push_back(v.name);
        return out;
    };
    EXPECT_EQ(back.value[0].name, "画地1");
    EXPECT_EQ(names(back.value[0]), lot);
    EXPECT_EQ(names(back.value[1]), other);
}

}  // namespace
}  // namespace marula::job
