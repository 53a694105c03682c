// The job's parcels (画地): a name and its vertices in order. A vertex is
// kept as the point's number, so a parcel follows a rename of its points;
// a point a parcel uses cannot be deleted (Job::remove refuses it, naming
// the parcel). Every change is in the history as lot-add, lot-replace or
// lot-delete, with the parcel's name and its vertex names before and after
// ("K1,K2,K3": commas never stand in a name).
//
//   job::Parcels parcels(job.database());
//   WriteResult w = parcels.put("L1", {"K1", "K2", "K3"}, job::ParcelWrite::add, origin);
//   auto lot = parcels.find("L1");            // Read<std::optional<Parcel>>
//
// An import keeps its parcels in the transaction of its points, so that a
// parcel's vertices are found among the points it has just written:
//
//   db.write([&] {
//       HistoryWriter history(db, origin);
//       … the points …
//       const WriteResult w = parcels.put_in_write(history, name, vertices, ParcelWrite::replace);
//       if (!w.ok()) return w;    // rolls the whole import back
//       return WriteResult{};
//   });
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/database.h"
#include "job/history.h"
#include "job/point.h"

namespace marula::job {

// The fewest and the most vertices a parcel may have: a parcel encloses an
// area, and the most is the files' own limit (kParcelVertexLimit).
inline constexpr std::size_t kParcelMinVertices = 3;
inline constexpr std::size_t kParcelMaxVertices = 1000;

// One parcel as stored now.
struct Parcel {
    std::int64_t id = 0;
    std::string name;
    // In order. A vertex whose point is gone (deleted by a build that did
    // not know parcels) has its number and an empty name.
    std::vector<Point> vertices;
    bool complete() const;  // every vertex's point is there
};

// A parcel in a list: its name and how many vertices it has.
struct ParcelSummary {
    std::string name;
    std::int64_t vertices = 0;
};

// What a write does with a name already stored.
enum class ParcelWrite {
    add,      // refused (name_taken, "画地 NAME は登録済みです")
    replace,  // its vertices replaced; a new name is added
};

// Vertex names joined as the history keeps them: "K1,K2,K3".
std::string vertex_list(std::span<const std::string> names);

class Parcels {
public:
    explicit Parcels(Database& db) : db_(db) {}

    // ---- reading (each on one snapshot) -----------------------------------
    // Every parcel by name, with its vertex count.
    Read<std::vector<ParcelSummary>> list() const;
    // The parcel of this name (trimmed first).
    Read<std::optional<Parcel>> find(std::string_view name) const;
    // Every parcel by name, with its vertices.
    Read<std::vector<Parcel>> all() const;

    // ---- writing, each in a transaction of its own --------------------------
    // Stores the parcel `name` with the points of these names as its
    // vertices, in order (names trimmed). Refused whole: invalid_name for a
    // name that breaks the point-name rules, out_of_range for fewer than 3
    // or more than 1000 vertices, not_found naming the first vertex the job
    // does not hold, name_taken for a stored name under ParcelWrite::add.
    // Replacing a parcel by the same vertices changes nothing.
    WriteResult put(std::string_view name, std::span<const std::string> vertex_names, ParcelWrite mode,
                    const Origin& origin);
    // Deletes the parcel (its points stay); not_found when there is none.
    WriteResult remove(std::string_view name, const Origin& origin);

    // ---- inside a write the caller holds ------------------------------------
    // As put and remove, within the caller's transaction (an import's):
    // they throw DbError as a write's body may, and a result that is not ok
    // should end the caller's write with it, which rolls it back.
    WriteResult put_in_write(HistoryWriter& history, std::string_view name, std::span<const std::string> vertex_names,
                             ParcelWrite mode);
    WriteResult remove_in_write(HistoryWriter& history, std::string_view name);

    // The first parcel by name that has the point of this number as a
    // vertex, read in the caller's transaction (a point's delete decides on
    // it inside its own write); throws DbError.
    std::optional<std::string> first_user_of(std::int64_t point_number) const;

private:
    std::optional<Parcel> find_now(const std::string& name) const;
    Database& db_;
};

}  // namespace marula::job
