// The job's parcels, on a real database in a temporary folder.
#include "job/parcels.h"

#include "job/job.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

namespace marula::job {
namespace {

using marula::test_support::TempFolder;

const Origin kTyped{"test", "入力"};

struct ParcelJob {
    TempFolder folder{"marula-parcels"};
    std::unique_ptr<Job> job;
    ParcelJob() {
        job = open_job(folder.path() / "job").job;
        int i = 0;
        for (const char* name : {"K1", "K2", "K3", "K4", "K5"})
            EXPECT_TRUE(job->add({0, name, 1000 * ++i, 2000 * i, std::nullopt}, kTyped).ok());
    }
    Parcels parcels() { return Parcels(job->database()); }
    std::vector<std::string> vertex_names(const std::string& parcel) {
        std::vector<std::string> names;
        if (auto found = parcels().find(parcel); found.ok() && found.value)
            for (const Point& p : found.value->vertices) names.push_back(p.name);
        return names;
    }
    // The history's parcel rows as "action name before|after".
    std::vector<std::string> lot_history() {
        std::vector<std::string> rows;
        for (const Change& c : job->history().value)
            if (c.action.starts_with("lot-"))
                rows.push_back(c.action + " " + c.name + " " + c.before_text.value_or("-") + "|" +
                               c.after_text.value_or("-"));
        return rows;
    }
};

using Names = std::vector<std::string>;

TEST(ParcelStore, WritesAreRefusedWholeAndKeptInTheHistory) {
    ParcelJob j;
    Parcels parcels = j.parcels();
    struct Row {
        const char* what;
        const char* name;
        Names vertices;
        ParcelWrite mode;
        WriteStatus status;
    } const rows[] = {
        {"added", "L1", {"K1", " K2 ", "K3"}, ParcelWrite::add, WriteStatus::done},
        {"a stored name is not added again", "L1", {"K1", "K2", "K4"}, ParcelWrite::add, WriteStatus::name_taken},
        {"an unknown vertex refuses all", "L2", {"K1", "K9", "K3"}, ParcelWrite::add, WriteStatus::not_found},
        {"two vertices enclose nothing", "L2", {"K1", "K2"}, ParcelWrite::add, WriteStatus::out_of_range},
        {"a name follows the point rules", "@L", {"K1", "K2", "K3"}, ParcelWrite::add, WriteStatus::invalid_name},
        {"replaced", "L1", {"K1", "K2", "K4", "K5"}, ParcelWrite::replace, WriteStatus::done},
        {"the same vertices change nothing", "L1", {"K1", "K2", "K4", "K5"}, ParcelWrite::replace,
         WriteStatus::done},
        {"replace adds a new name", "L2", {"K5", "K4", "K3"}, ParcelWrite::replace, WriteStatus::done},
    };
    for (const Row& r : rows) {
        const WriteResult w = parcels.put(r.name, r.vertices, r.mode, kTyped);
        EXPECT_EQ(w.status, r.status) << r.what << ": " << w.message;
    }
    EXPECT_EQ(parcels.put("L2", Names{"K1", "K9", "K3"}, ParcelWrite::replace, kTyped).message, "点名 K9 はありません");
    EXPECT_EQ(j.vertex_names("L1"), (Names{"K1", "K2", "K4", "K5"}));
    EXPECT_EQ(j.vertex_names("L2"), (Names{"K5", "K4", "K3"}));
    const auto list = parcels.list().value;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name + ":" + std::to_string(list[0].vertices), "L1:4");

    EXPECT_EQ(parcels.remove("L9", kTyped).status, WriteStatus::not_found);
    EXPECT_TRUE(parcels.remove("L2", kTyped).ok());
    EXPECT_EQ(j.lot_history(), (Names{"lot-add L1 -|K1,K2,K3", "lot-replace L1 K1,K2,K3|K1,K2,K4,K5",
                                      "lot-add L2 -|K5,K4,K3", "lot-delete L2 K5,K4,K3|-"}));
}

TEST(ParcelStore, VerticesFollowARenameAndKeepTheirPointsFromBeingDeleted) {
    ParcelJob j;
    Parcels parcels = j.parcels();
    ASSERT_TRUE(parcels.put("L1", Names{"K1", "K2", "K3"}, ParcelWrite::add, kTyped).ok());
    ASSERT_TRUE(parcels.put("A0", Names{"K3", "K4", "K5"}, ParcelWrite::add, kTyped).ok());
    ASSERT_TRUE(j.job->rename("K2", "P2", kTyped).ok());
    EXPECT_EQ(j.vertex_names("L1"), (Names{"K1", "P2", "K3"}));

    // The first parcel by name is named; the point stays.
    const WriteResult refused = j.job->remove("K3", kTyped);
    EXPECT_EQ(refused.status, WriteStatus::in_use);
    EXPECT_EQ(refused.message, "点名 K3 は画地 A0 の頂点です（削除できません）");
    EXPECT_TRUE(j.job->find("K3").value);
    // Once no parcel uses it, it goes.
    ASSERT_TRUE(parcels.remove("A0", kTyped).ok());
    ASSERT_TRUE(parcels.remove("L1", kTyped).ok());
    EXPECT_TRUE(j.job->remove("K3", kTyped).ok());
}

// Inside the caller's write, a parcel finds the points that write has just
// stored, and a refusal rolls the whole write back.
TEST(ParcelStore, AWriteOfTheCallerHoldsItsParcelsWithItsPoints) {
    ParcelJob j;
    Database& db = j.job->database();
    Parcels parcels(db);
    const WriteResult failed = db.write([&] {
        HistoryWriter history(db, kTyped);
        db.cached("INSERT INTO points (name, folded, x, y) VALUES ('N1', '', 1, 1)").run();
        if (WriteResult w = parcels.put_in_write(history, "L1", Names{"K1", "N1", "K3"}, ParcelWrite::add); !w.ok())
            return w;
        return parcels.put_in_write(history, "L2", Names{"K1", "N2", "K3"}, ParcelWrite::add);
    });
    EXPECT_EQ(failed.status, WriteStatus::not_found);
    EXPECT_FALSE(j.job->find("N1").value);
    EXPECT_TRUE(parcels.list().value.empty());
}

TEST(ParcelStore, ASimaExportReadsBackAsTheSameParcels) {
    ParcelJob j;
    Parcels parcels = j.parcels();
    ASSERT_TRUE(parcels.put("画地１", Names{"K1", "K2", "K3", "K4"}, ParcelWrite::add, kTyped).ok());
    ASSERT_TRUE(parcels.put("L2", Names{"K5", "K3", "K2"}, ParcelWrite::add, kTyped).ok());
    const auto bytes = j.job->export_sima();
    ASSERT_TRUE(bytes.ok());
    ReadOptions options;
    options.parcels = true;
    const ReadResult read = read_sima(bytes.value, options);
    ASSERT_TRUE(read.ok()) << describe(*read.error);
    ASSERT_EQ(read.file.parcels.size(), 2u);
    // Parcels are written in name order.
    const Names expected[] = {{"L2", "K5", "K3", "K2"}, {"画地１", "K1", "K2", "K3", "K4"}};
    for (std::size_t i = 0; i < 2; ++i) {
        Names got{read.file.parcels[i].name};
        for (const FileVertex& v : read.file.parcels[i].vertices) got.push_back(v.name);
        EXPECT_EQ(got, expected[i]);
    }
    EXPECT_EQ(read.file.points.size(), 5u);
}

}  // namespace
}  // namespace marula::job
