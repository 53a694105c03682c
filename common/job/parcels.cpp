// The parcel store: tables parcels (id, name) and parcel_vertices (parcel,
// seq, point), through the one database layer.
#include "job/parcels.h"

#include "base/text_codec.h"

namespace marula::job {

namespace {

WriteResult refused(WriteStatus status, std::string message) { return {status, std::move(message), 0}; }

std::vector<std::string> names_of(const std::vector<Point>& vertices) {
    std::vector<std::string> names;
    for (const Point& p : vertices) names.push_back(p.name.empty() ? "#" + std::to_string(p.number) : p.name);
    return names;
}

}  // namespace

bool Parcel::complete() const {
    for (const Point& p : vertices)
        if (p.name.empty()) return false;
    return true;
}

std::string vertex_list(std::span<const std::string> names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

std::optional<Parcel> Parcels::find_now(const std::string& name) const {
    Statement p = db_.cached("SELECT id, name FROM parcels WHERE name = ?");
    p.bind(1, name);
    if (!p.step()) return std::nullopt;
    Parcel parcel{p.integer(0), p.text(1), {}};
    Statement v = db_.cached(
        "SELECT v.point, p.name, p.x, p.y, p.h FROM parcel_vertices v LEFT JOIN points p ON p.number = v.point "
        "WHERE v.parcel = ? ORDER BY v.seq");
    v.bind(1, parcel.id);
    while (v.step()) {
        Point vertex;
        vertex.number = v.integer(0);
        if (!v.null(1)) {
            vertex.name = v.text(1);
            vertex.x = v.integer(2);
            vertex.y = v.integer(3);
            vertex.h = v.maybe(4);
        }
        parcel.vertices.push_back(std::move(vertex));
    }
    return parcel;
}

Read<std::vector<ParcelSummary>> Parcels::list() const {
    return db_.read([&] {
        std::vector<ParcelSummary> out;
        Statement s = db_.cached(
            "SELECT name, (SELECT count(*) FROM parcel_vertices v WHERE v.parcel = parcels.id) FROM parcels "
            "ORDER BY name");
        while (s.step()) out.push_back({s.text(0), s.integer(1)});
        return out;
    });
}

Read<std::optional<Parcel>> Parcels::find(std::string_view name) const {
    const std::string trimmed = trim_blanks(name);
    return db_.read([&] { return find_now(trimmed); });
}

Read<std::vector<Parcel>> Parcels::all() const {
    return db_.read([&] {
        std::vector<std::string> names;
        Statement s = db_.cached("SELECT name FROM parcels ORDER BY name");
        while (s.step()) names.push_back(s.text(0));
        std::vector<Parcel> out;
        for (const std::string& n : names)
            if (auto parcel = find_now(n)) out.push_back(std::move(*parcel));
        return out;
    });
}

WriteResult Parcels::put(std::string_view name, std::span<const std::string> vertex_names, ParcelWrite mode,
                         const Origin& origin) {
    return db_.write([&] {
        HistoryWriter history(db_, origin);
        return put_in_write(history, name, vertex_names, mode);
    });
}

WriteResult Parcels::remove(std::string_view name, const Origin& origin) {
    return db_.write([&] {
        HistoryWriter history(db_, origin);
        return remove_in_write(history, name);
    });
}

WriteResult Parcels::put_in_write(HistoryWriter& history, std::string_view name,
                                  std::span<const std::string> vertex_names, ParcelWrite mode) {
    const NameCheck check = check_name(name);
    if (!check.ok()) return refused(WriteStatus::invalid_name, "画地名：" + describe(check.problem));
    if (vertex_names.size() < kParcelMinVertices)
        return refused(WriteStatus::out_of_range, "画地の頂点は3点以上です");
    if (vertex_names.size() > kParcelMaxVertices)
        return refused(WriteStatus::out_of_range, "画地の頂点は1000点までです");

    // The vertices as the job holds them now, by name.
    std::vector<std::int64_t> numbers;
    std::vector<std::string> names;
    Statement find_point = db_.cached("SELECT number, name FROM points WHERE name = ?");
    for (const std::string& typed : vertex_names) {
        const std::string vertex = trim_blanks(typed);
        find_point.reset();
        find_point.bind(1, vertex);
        if (!find_point.step()) return refused(WriteStatus::not_found, "点名 " + vertex + " はありません");
        numbers.push_back(find_point.integer(0));
        names.push_back(find_point.text(1));
    }

    const std::optional<Parcel> before = find_now(check.name);
    if (before && mode == ParcelWrite::add)
        return refused(WriteStatus::name_taken, "画地 " + check.name + " は登録済みです");
    std::int64_t id = 0;
    if (before) {
        std::vector<std::int64_t> stored;
        for (const Point& p : before->vertices) stored.push_back(p.number);
        if (stored == numbers) return WriteResult{};
        id = before->id;
        db_.cached("DELETE FROM parcel_vertices WHERE parcel = ?").bind(1, id).run();
    } else {
        db_.cached("INSERT INTO parcels (name) VALUES (?)").bind(1, check.name).run();
        id = db_.last_insert_rowid();
    }
    Statement insert = db_.cached("INSERT INTO parcel_vertices (parcel, seq, point) VALUES (?, ?, ?)");
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        insert.reset();
        insert.bind(1, id).bind(2, std::int64_t(i + 1)).bind(3, numbers[i]);
        insert.run();
    }
    const std::string after_text = vertex_list(names);
    if (before) history.keyed(Action::lot_replace, check.name, vertex_list(names_of(before->vertices)), after_text);
    else history.keyed(Action::lot_add, check.name, std::nullopt, after_text);
    return WriteResult{};
}

WriteResult Parcels::remove_in_write(HistoryWriter& history, std::string_view name) {
    const std::string trimmed = trim_blanks(name);
    const std::optional<Parcel> before = find_now(trimmed);
    if (!before) return refused(WriteStatus::not_found, "画地 " + trimmed + " はありません");
    db_.cached("DELETE FROM parcel_vertices WHERE parcel = ?").bind(1, before->id).run();
    db_.cached("DELETE FROM parcels WHERE id = ?").bind(1, before->id).run();
    history.keyed(Action::lot_delete, before->name, vertex_list(names_of(before->vertices)), std::nullopt);
    return WriteResult{};
}

std::optional<std::string> Parcels::first_user_of(std::int64_t point_number) const {
    Statement s = db_.cached(
        "SELECT p.name FROM parcel_vertices v JOIN parcels p ON p.id = v.parcel WHERE v.point = ? ORDER BY p.name "
        "LIMIT 1");
    s.bind(1, point_number);
    if (s.step()) return s.text(0);
    return std::nullopt;
}

}  // namespace marula::job
