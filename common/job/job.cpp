// The job's point store: the points (numbered, never reused; the name
// unique; a folded name where it differs, for the width/case hint), the
// header, and their history, through the one database layer.
#include "job/job.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "base/printable.h"
#include "base/text_codec.h"
#include "job/parcels.h"

namespace marula::job {

namespace {

Point point_from(const Statement& s, int first) {
    // Columns: number, name, x, y, h from `first` on.
    return Point{s.integer(first), s.text(first + 1), s.integer(first + 2), s.integer(first + 3), s.maybe(first + 4)};
}

// The folded name kept beside a name: empty where folding leaves it as it
// is (most names), so the hint's index holds only the few that differ.
std::string folded_of(std::string_view name) {
    std::string folded = fold_width_and_case(name);
    if (folded == name) return {};
    return folded;
}

WriteResult check_point(const Point& p, NameCheck& check) {
    check = check_name(p.name);
    if (!check.ok()) return {WriteStatus::invalid_name, describe(check.problem), 0};
    auto out = [](Millimetres v) { return v >= kCoordinateLimit || v <= -kCoordinateLimit; };
    if (out(p.x) || out(p.y) || (p.h && out(*p.h))) return {WriteStatus::out_of_range, "座標が大きすぎます", 0};
    return {};
}

WriteResult name_taken(std::string_view name) {
    return {WriteStatus::name_taken, "点名 " + printable_quote(name) + " は登録済みです", 0};
}

OpenResult no_job(OpenStatus status, const std::filesystem::path& db_file, const std::string& why) {
    std::string message;
    switch (status) {
    case OpenStatus::not_a_job: message = "現場のデータベースではありません（変更していません）: "; break;
    case OpenStatus::damaged: message = "現場のデータベースが壊れています（変更していません）: "; break;
    case OpenStatus::too_new: message = "新しい版で作られた現場です（変更していません）: "; break;
    default: message = "現場を開けません: "; break;
    }
    message += db_file.string();
    if (!why.empty()) message += "（" + why + "）";
    return {nullptr, status, message};
}

// Why an attempt to open for writing failed, as the user should hear it.
std::string open_trouble(const DbError& e) {
    switch (e.primary()) {
    case SQLITE_FULL: return "ディスクがいっぱいです";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "他のプログラムが使用中です";
    default: return e.text;
    }
}

// Why a job opened for reading only, as the user should hear it. SQLite
// falls back to reading whatever stopped it writing, so the folder is
// asked directly: an unnamed file made in it (O_TMPFILE, never left
// behind) fails as a write there would. A full disk is no read-only job:
// making room mends it.
std::string read_only_message(const std::filesystem::path& folder, const std::optional<DbError>& write_trouble) {
    constexpr std::string_view kStillUsable = "座標は使えますが保存はしません";
    int error = write_trouble && write_trouble->primary() == SQLITE_FULL ? ENOSPC : 0;
    if (error == 0) {
        const int probe = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (probe >= 0) ::close(probe);
        else error = errno;
    }
    if (error == ENOSPC || error == EDQUOT) return "ディスクがいっぱいで現場に書き込めません。" + std::string(kStillUsable);
    if (error == EIO) return "ディスクの読み書きに失敗したため現場に書き込めません。" + std::string(kStillUsable);
    return "現場は読み取り専用です。" + std::string(kStillUsable);
}

// Failures of a read-write open after which reading only may still work:
// the file or its folder refuses writes.
bool refuses_writes(const DbError& e) {
    const int p = e.primary();
    return p == SQLITE_READONLY || p == SQLITE_CANTOPEN || p == SQLITE_PERM || p == SQLITE_AUTH;
}

}  // namespace

struct Job::Impl {
    std::filesystem::path folder;
    std::unique_ptr<Database> db;

    std::optional<Point> find(std::string_view name) const {
        Statement s = db->cached("SELECT number, name, x, y, h FROM points WHERE name = ?");
        s.bind(1, name);
        if (s.step()) return point_from(s, 0);
        return std::nullopt;
    }

    std::optional<Point> find_number(std::int64_t number) const {
        Statement s = db->cached("SELECT number, name, x, y, h FROM points WHERE number = ?");
        s.bind(1, number);
        if (s.step()) return point_from(s, 0);
        return std::nullopt;
    }

    std::int64_t insert(const Point& p) {
        Statement s = db->cached("INSERT INTO points (name, folded, x, y, h) VALUES (?, ?, ?, ?, ?)");
        s.bind(1, p.name).bind(2, folded_of(p.name)).bind(3, p.x).bind(4, p.y).bind(5, p.h);
        s.run();
        return db->last_insert_rowid();
    }

    void update(const Point& p) {
        Statement s = db->cached("UPDATE points SET name = ?, folded = ?, x = ?, y = ?, h = ? WHERE number = ?");
        s.bind(1, p.name).bind(2, folded_of(p.name)).bind(3, p.x).bind(4, p.y).bind(5, p.h).bind(6, p.number);
        s.run();
    }
};

Job::Job(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Job::~Job() = default;

OpenResult open_job(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    const fs::path db_file = folder / "job.db";
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) return no_job(OpenStatus::cannot_open, db_file, ec.message());
    } else if (!fs::is_directory(folder, ec)) {
        return no_job(OpenStatus::cannot_open, db_file, "フォルダではありません");
    }
    // Only the name is looked at here (stat): the file itself is SQLite's alone.
    const bool existed = fs::file_size(db_file, ec) > 0 && !ec;

    // Read and write; else, for a job that exists in a place that refuses
    // writes, read only; else read only without the shared-memory file.
    std::unique_ptr<Database> db;
    std::optional<DbError> trouble, write_trouble;
    for (const OpenMode mode : {OpenMode::read_write, OpenMode::read_only, OpenMode::immutable}) {
        if (mode == OpenMode::read_only) write_trouble = trouble;
        if (mode != OpenMode::read_write && (!existed || (trouble && !refuses_writes(*trouble)))) break;
        // An immutable read would not see changes still in the WAL (left
        // by a program that stopped dead): no job rather than an old one.
        if (mode == OpenMode::immutable && fs::file_size(folder / "job.db-wal", ec) > 0 && !ec) break;
        DbError error;
        db = Database::open(db_file, mode, error);
        if (!db) {
            trouble = error;
            continue;
        }
        try {
            if (const auto verdict = prepare_schema(*db)) return no_job(*verdict, db_file, "");
            trouble.reset();
            break;
        } catch (const DbError& e) {
            db.reset();
            if (e.primary() == SQLITE_NOTADB) return no_job(OpenStatus::not_a_job, db_file, "");
            if (e.primary() == SQLITE_CORRUPT) return no_job(OpenStatus::damaged, db_file, "");
            trouble = e;
        }
    }
    if (!db) return no_job(OpenStatus::cannot_open, db_file, trouble ? open_trouble(*trouble) : "");
    try {
        // A small cache for a program that reads a page, a point or the
        // count at a time: what it reads stays cheap to read again from
        // the system's file cache, and memory stays the same whatever the
        // job holds. An import takes a larger one while it works.
        db->exec("PRAGMA cache_size = -" + std::to_string(kJobCacheKib));
    } catch (const DbError&) {
    }
    auto impl = std::make_unique<Job::Impl>();
    impl->folder = folder;
    const bool read_only = db->read_only();
    impl->db = std::move(db);
    if (!read_only) fs::create_directories(folder / "reports", ec);
    OpenResult result;
    result.job.reset(new Job(std::move(impl)));
    result.status = read_only ? OpenStatus::read_only : OpenStatus::opened;
    if (read_only) result.message = read_only_message(folder, write_trouble);
    return result;
}

OpenResult create_job(const JobHeader& header, const std::filesystem::path& parent) {
    // A name the job could not hold makes no folder.
    if (const JobNameCheck check = check_job_name(header.display_name); !check.ok())
        return {nullptr, OpenStatus::cannot_open, describe(check.problem)};
    OpenResult opened = open_job(new_job_folder(header.display_name, parent));
    if (!opened.job) return opened;
    if (const WriteResult w = opened.job->set_header(header, Origin{"", ""}); !w.ok()) {
        opened.status = OpenStatus::cannot_open;
        opened.message = w.message;
        opened.job.reset();
    }
    return opened;
}

const std::filesystem::path& Job::folder() const { return impl_->folder; }
std::filesystem::path Job::reports_folder() const { return impl_->folder / "reports"; }
bool Job::owns_file(const std::filesystem::path& file) const {
    namespace fs = std::filesystem;
    static constexpr std::array<std::string_view, 4> kOwnFiles = {"job.db", "job.db-wal", "job.db-shm",
                                                                  "job.db-journal"};
    std::error_code ec;
    for (const std::string_view name : kOwnFiles)
        if (fs::equivalent(file, impl_->folder / name, ec) && !ec) return true;
    // SQLite makes its files beside job.db when it needs them: by name.
    const fs::path whole = fs::absolute(file, ec).lexically_normal();
    if (ec || std::find(kOwnFiles.begin(), kOwnFiles.end(), whole.filename().string()) == kOwnFiles.end())
        return false;
    return same_folder(whole.parent_path(), impl_->folder);
}

bool Job::read_only() const { return impl_->db->read_only(); }
bool Job::damaged() const { return impl_->db->damaged(); }
Database& Job::database() { return *impl_->db; }

Read<JobHeader> Job::read_header() const {
    const Database& db = *impl_->db;
    return db.read([&] {
        JobHeader header;
        Statement s = db.cached("SELECT display_name, zone FROM job_header WHERE id = 1");
        if (s.step()) {
            header.display_name = s.text(0);
            if (!s.null(1)) header.zone = static_cast<int>(s.integer(1));
        }
        return header;
    });
}

std::string Job::display_name() const {
    // Only the start of a name is read: one stored before names were
    // checked may be megabytes long. 160 bytes hold 40 characters of any
    // width (and SQLite's substr counts characters, not bytes, anyway).
    const Database& db = *impl_->db;
    const auto stored = db.read([&] {
        Statement s = db.cached("SELECT substr(display_name, 1, 160) FROM job_header WHERE id = 1");
        return s.step() ? s.text(0) : std::string();
    });
    std::string name = stored.value;
    if (name.empty()) name = impl_->folder.filename().string();
    if (name.empty()) name = impl_->folder.parent_path().filename().string();
    return printable(cut_job_name(name));
}

WriteResult Job::set_header(const JobHeader& header, const Origin&) {
    if (header.zone && (*header.zone < 1 || *header.zone > 19))
        return {WriteStatus::out_of_range, "系番号は1から19です", 0};
    const JobNameCheck check = check_job_name(header.display_name);
    Database& db = *impl_->db;
    return db.write([&] {
        std::string name = check.name;
        if (!check.ok()) {
            // The name it holds, however long, is kept; no other is taken.
            Statement stored = db.cached("SELECT display_name FROM job_header WHERE id = 1");
            if (!stored.step() || stored.text(0) != header.display_name)
                return WriteResult{WriteStatus::invalid_name, describe(check.problem), 0};
            name = header.display_name;
        }
        Statement s = db.cached("UPDATE job_header SET display_name = ?, zone = ? WHERE id = 1");
        s.bind(1, name);
        if (header.zone) s.bind(2, std::int64_t{*header.zone});
        s.run();
        return WriteResult{};
    });
}

Read<std::vector<Point>> Job::points(std::int64_t after_number, int limit) const {
    const Database& db = *impl_->db;
    return db.read([&] {
        std::vector<Point> out;
        Statement s = db.cached("SELECT number, name, x, y, h FROM points WHERE number > ? ORDER BY number LIMIT ?");
        s.bind(1, after_number).bind(2, std::int64_t{limit});
        while (s.step()) out.push_back(point_from(s, 0));
        return out;
    });
}

Read<std::vector<Point>> Job::points_before(std::int64_t before_number, int limit) const {
    const Database& db = *impl_->db;
    return db.read([&] {
        std::vector<Point> out;
        Statement s = db.cached(
            "SELECT number, name, x, y, h FROM points WHERE number < ? ORDER BY number DESC LIMIT ?");
        s.bind(1, before_number).bind(2, std::int64_t{limit});
        while (s.step()) out.push_back(point_from(s, 0));
        std::reverse(out.begin(), out.end());
        return out;
    });
}

Read<std::int64_t> Job::count() const {
    Database& db = *impl_->db;
    // The count kept at the last history change is the count now; after
    // any other change the points are counted again (a whole index read)
    // and the count kept for the next time.
    struct Counted {
        std::int64_t points = 0, at_change = 0;
        bool kept = false;
    };
    const auto counted = db.read([&] {
        Counted c;
        c.at_change = db.integer("SELECT coalesce(max(id), 0) FROM history_changes");
        Statement kept = db.cached("SELECT value FROM job_counts WHERE key = 'points' AND at_change = ?");
        kept.bind(1, c.at_change);
        if (kept.step()) {
            c.points = kept.integer(0);
            c.kept = true;
        } else {
            c.points = db.integer("SELECT count(*) FROM points");
        }
        return c;
    });
    if (!counted.ok()) return {0, counted.trouble};
    if (!counted.value.kept && !db.read_only() && !db.damaged() && !db.in_transaction()) {
        // Only when nothing changed since it was counted; a failure costs
        // only the next count.
        (void)db.write([&] {
            if (db.integer("SELECT coalesce(max(id), 0) FROM history_changes") == counted.value.at_change)
                db.cached("INSERT OR REPLACE INTO job_counts (key, value, at_change) VALUES ('points', ?, ?)")
                    .bind(1, counted.value.points)
                    .bind(2, counted.value.at_change)
                    .run();
            return WriteResult{};
        });
    }
    return {counted.value.points, std::nullopt};
}

Read<std::int64_t> Job::rank(std::int64_t number) const {
    const Database& db = *impl_->db;
    return db.read([&] {
        Statement s = db.cached("SELECT count(*) FROM points WHERE number < ?");
        s.bind(1, number);
        return s.step() ? s.integer(0) : std::int64_t{0};
    });
}

Read<std::optional<Point>> Job::find(std::string_view name) const {
    const std::string trimmed = trim_blanks(name);
    return impl_->db->read([&] { return impl_->find(trimmed); });
}

Read<std::optional<Point>> Job::find_number(std::int64_t number) const {
    return impl_->db->read([&] { return impl_->find_number(number); });
}

Read<std::optional<std::string>> Job::near_miss(std::string_view typed) const {
    const std::string name = trim_blanks(typed);
    const Database& db = *impl_->db;
    return db.read([&]() -> std::optional<std::string> {
        if (name.empty() || impl_->find(name)) return std::nullopt;
        // A stored name folds to the key either through its folded column
        // or, where folding leaves it as it is, as the name itself.
        const std::string key = fold_width_and_case(name);
        Statement s = db.cached(
            "SELECT name FROM (SELECT number, name FROM points WHERE folded = ?1 AND folded <> '' "
            "UNION ALL SELECT number, name FROM points WHERE name = ?1 AND folded = '') ORDER BY number LIMIT 1");
        s.bind(1, key);
        if (s.step()) return s.text(0);
        return std::nullopt;
    });
}

WriteResult Job::add(const Point& point, const Origin& origin) {
    NameCheck check;
    if (auto bad = check_point(point, check); !bad.ok()) return bad;
    Point p = point;
    p.name = check.name;
    return impl_->db->write([&] {
        if (impl_->find(p.name)) return name_taken(p.name);
        p.number = impl_->insert(p);
        HistoryWriter(*impl_->db, origin).point(Action::add, std::nullopt, p);
        return WriteResult{WriteStatus::done, "", p.number};
    });
}

WriteResult Job::correct(std::int64_t number, const PointEdit& edit, const Origin& origin) {
    return impl_->db->write([&] {
        const auto before = impl_->find_number(number);
        if (!before) return WriteResult{WriteStatus::not_found, "その番号の点はありません", 0};
        Point after = *before;
        if (edit.name) after.name = *edit.name;
        if (edit.x) after.x = *edit.x;
        if (edit.y) after.y = *edit.y;
        if (edit.h) after.h = *edit.h;
        NameCheck check;
        if (auto bad = check_point(after, check); !bad.ok()) return bad;
        after.name = check.name;
        if (after == *before) return WriteResult{WriteStatus::done, "", number};
        HistoryWriter history(*impl_->db, origin);
        if (after.name != before->name) {
            if (impl_->find(after.name)) return name_taken(after.name);
            Point renamed = *before;
            renamed.name = after.name;
            impl_->update(renamed);
            history.point(Action::rename, before, renamed);
        }
        if (after.x != before->x || after.y != before->y || after.h != before->h) {
            Point was = *before;
            was.name = after.name;
            impl_->update(after);
            history.point(Action::replace, was, after);
        }
        return WriteResult{WriteStatus::done, "", number};
    });
}

WriteResult Job::rename(std::string_view old_name, std::string_view new_name, const Origin& origin) {
    const auto stored = find(old_name);
    if (!stored.ok()) return {WriteStatus::failed, *stored.trouble, 0};
    if (!stored.value) return {WriteStatus::not_found, "点名 " + printable_quote(trim_blanks(old_name)) + " はありません", 0};
    PointEdit edit;
    edit.name = std::string(new_name);
    return correct(stored.value->number, edit, origin);
}

WriteResult Job::remove(std::string_view name, const Origin& origin) {
    const std::string trimmed = trim_blanks(name);
    Database& db = *impl_->db;
    return db.write([&] {
        const auto before = impl_->find(trimmed);
        if (!before) return WriteResult{WriteStatus::not_found, "点名 " + printable_quote(trimmed) + " はありません", 0};
        // Decided here, inside the delete's own write: a parcel stored by
        // another program a moment ago still keeps its vertex.
        if (const auto parcel = Parcels(db).first_user_of(before->number))
            return WriteResult{WriteStatus::in_use, "点名 " + trimmed + " は画地 " + *parcel + " の頂点です（削除できません）",
                               0};
        db.cached("DELETE FROM points WHERE number = ?").bind(1, before->number).run();
        HistoryWriter(db, origin).point(Action::remove, before, std::nullopt);
        return WriteResult{WriteStatus::done, "", before->number};
    });
}

StoreResult Job::store(std::span<const StoreRequest> requests, const Origin& origin) {
    std::vector<Point> checked;
    for (const StoreRequest& r : requests) {
        NameCheck check;
        const Point p{0, r.name, r.x, r.y, std::nullopt};
        if (auto bad = check_point(p, check); !bad.ok()) return {bad, {}};
        checked.push_back(p);
        checked.back().name = check.name;
    }
    std::vector<StoreOutcome> outcomes;
    Database& db = *impl_->db;
    WriteResult result = db.write([&] {
        outcomes.clear();
        HistoryWriter history(db, origin);
        for (std::size_t i = 0; i < checked.size(); ++i) {
            Point p = checked[i];
            const auto stored = impl_->find(p.name);
            if (!stored) {
                p.number = impl_->insert(p);
                history.point(Action::add, std::nullopt, p);
                outcomes.push_back({Stored::added, p});
            } else if (stored->x == p.x && stored->y == p.y) {
                // The same point, whatever its height: it is kept.
                outcomes.push_back({Stored::same, *stored});
            } else if (!requests[i].may_replace) {
                outcomes.push_back({Stored::left, *stored});
            } else if (*stored != *requests[i].may_replace) {
                outcomes.push_back({Stored::changed_meanwhile, *stored});
            } else {
                // A computed point has no height: the stored one stays.
                p.number = stored->number;
                p.h = stored->h;
                impl_->update(p);
                history.point(Action::replace, stored, p);
                outcomes.push_back({Stored::replaced, p});
            }
        }
        return WriteResult{};
    });
    if (!result.ok()) outcomes.clear();
    return {std::move(result), std::move(outcomes)};
}

Read<std::vector<Point>> Job::moved_by(std::span<const StoreRequest> requests) const {
    return impl_->db->read([&] {
        std::vector<Point> moved;
        for (const StoreRequest& r : requests) {
            const auto stored = impl_->find(trim_blanks(r.name));
            if (stored && (stored->x != r.x || stored->y != r.y)) moved.push_back(*stored);
        }
        return moved;
    });
}

Read<std::vector<Change>> Job::history(int limit) const { return read_history(*impl_->db, limit); }

Read<std::vector<std::string>> Job::check() const { return check_integrity(*impl_->db); }

Read<std::string> Job::export_sima() const {
    const JobHeader h = header();
    const std::string name = display_name();
    return impl_->db->read([&] {
        auto all = points();
        if (!all.ok()) throw DbError{SQLITE_IOERR, *all.trouble};
        auto parcels = Parcels(*impl_->db).all();
        if (!parcels.ok()) throw DbError{SQLITE_IOERR, *parcels.trouble};
        // A parcel that lost a vertex (deleted by a build that did not know
        // parcels) would name a point the file does not hold: it stays out.
        std::vector<SimaParcel> lots;
        for (const Parcel& parcel : parcels.value) {
            if (!parcel.complete()) continue;
            SimaParcel lot{parcel.name, {}};
            for (const Point& v : parcel.vertices) lot.vertices.push_back({v.number, v.name});
            lots.push_back(std::move(lot));
        }
        return write_sima(name, h.zone, all.value, lots);
    });
}

Read<CsvExport> Job::export_csv(CsvEncoding encoding, const ToGeographic& to_geographic) const {
    return impl_->db->read([&] {
        auto all = points();
        if (!all.ok()) throw DbError{SQLITE_IOERR, *all.trouble};
        return job::export_csv(all.value, encoding, to_geographic);
    });
}

}  // namespace marula::job
