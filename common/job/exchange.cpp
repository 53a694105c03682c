// SIMA and CSV point files: what a read reports, whole-file reading over
// the streams, and writing.
#include "job/exchange.h"

#include <algorithm>
#include <cstdio>

#include "base/printable.h"
#include "base/text_codec.h"

namespace marula::job {

std::string_view code_name(Code code) {
    switch (code) {
    case Code::E_ENCODING: return "E_ENCODING";
    case Code::E_NOT_A_RECORD: return "E_NOT_A_RECORD";
    case Code::E_MISSING_NAME: return "E_MISSING_NAME";
    case Code::E_MISSING_X: return "E_MISSING_X";
    case Code::E_MISSING_Y: return "E_MISSING_Y";
    case Code::E_NOT_NUMBER: return "E_NOT_NUMBER";
    case Code::E_OUT_OF_RANGE: return "E_OUT_OF_RANGE";
    case Code::E_NAME_TOO_LONG: return "E_NAME_TOO_LONG";
    case Code::E_NAME_CHARACTER: return "E_NAME_CHARACTER";
    case Code::E_NAME_ASTERISK: return "E_NAME_ASTERISK";
    case Code::E_DUPLICATE_CONFLICT: return "E_DUPLICATE_CONFLICT";
    case Code::E_COLUMNS_UNKNOWN: return "E_COLUMNS_UNKNOWN";
    case Code::E_TOO_MANY_FIELDS: return "E_TOO_MANY_FIELDS";
    case Code::E_READ: return "E_READ";
    case Code::E_LINE_TOO_LONG: return "E_LINE_TOO_LONG";
    case Code::E_NO_RECORDS: return "E_NO_RECORDS";
    case Code::E_NEEDS_GEOID: return "E_NEEDS_GEOID";
    case Code::E_NO_ZONE: return "E_NO_ZONE";
    case Code::E_TOO_MANY_VERTICES: return "E_TOO_MANY_VERTICES";
    case Code::E_UNKNOWN_VERTEX: return "E_UNKNOWN_VERTEX";
    case Code::E_PARCEL: return "E_PARCEL";
    case Code::W_NAME_FROM_NUMBER: return "W_NAME_FROM_NUMBER";
    case Code::W_SKIPPED_LINE: return "W_SKIPPED_LINE";
    case Code::W_ZONE_MISMATCH: return "W_ZONE_MISMATCH";
    case Code::W_FAR_FROM_ZONE: return "W_FAR_FROM_ZONE";
    case Code::N_SKIPPED_RECORDS: return "N_SKIPPED_RECORDS";
    case Code::N_DUPLICATE_MERGED: return "N_DUPLICATE_MERGED";
    }
    return "E_READ";
}

bool is_error(Code code) { return code_name(code)[0] == 'E'; }

std::string describe(const Diagnostic& d) {
    // What came from the file is quoted short and printable; what the
    // reader or its caller wrote (counts, zones, system messages) is only
    // made printable.
    const std::string v = printable_quote(d.detail);
    const std::string own = printable(d.detail);
    auto lines = [&] { return "（" + std::to_string(d.other_line) + "行目と" + std::to_string(d.line) + "行目）"; };
    switch (d.code) {
    case Code::E_ENCODING: return "文字コードが読めません（UTF-8でもCP932でもありません）";
    case Code::E_NOT_A_RECORD: return "レコードではない行です" + (v.empty() ? "" : ": " + v);
    case Code::E_MISSING_NAME: return "点名がありません";
    case Code::E_MISSING_X: return v.empty() ? "X座標がありません" : v + "がありません";
    case Code::E_MISSING_Y: return v.empty() ? "Y座標がありません" : v + "がありません";
    case Code::E_NOT_NUMBER: return "数値ではありません: " + v;
    case Code::E_OUT_OF_RANGE: return "座標が大きすぎます: " + v;
    case Code::E_NAME_TOO_LONG: return "点名が長すぎます（全角10字・半角20字まで）: " + v;
    case Code::E_NAME_CHARACTER: return "点名に使えない文字があります: " + v;
    case Code::E_NAME_ASTERISK: return "「*」だけの点名は使えません";
    case Code::E_DUPLICATE_CONFLICT: return "同じ点名で座標が違います: " + v + lines();
    case Code::E_COLUMNS_UNKNOWN: return "見出し行がありません。列の順を指定してください（例 name,x,y,h）";
    case Code::E_TOO_MANY_FIELDS: return "見出しより列が多い行です（小数点がコンマ？）";
    case Code::E_READ: return "ファイルが読めません" + (own.empty() ? "" : ": " + own);
    case Code::E_LINE_TOO_LONG: return "行が長すぎます（4096バイトまで）";
    case Code::E_NO_RECORDS: return "座標のレコードがありません";
    case Code::E_NEEDS_GEOID: return "楕円体高から標高を求めるジオイド高がありません";
    case Code::E_NO_ZONE: return "座標系が未設定です（緯度・経度を座標にできません）";
    case Code::E_TOO_MANY_VERTICES:
        return "画地の頂点が多すぎます（" + std::to_string(kParcelVertexLimit) + "点まで）: " + v;
    case Code::E_UNKNOWN_VERTEX: return "画地の頂点がファイルにも現場にもありません: " + v;
    case Code::E_PARCEL: return "画地にできません: " + v;
    case Code::W_NAME_FROM_NUMBER: return "点名が空欄のため点番を点名にしました: " + v;
    case Code::W_SKIPPED_LINE: return "レコードではない行を読み飛ばしました" + (own.empty() ? "" : "（" + own + "）");
    case Code::W_ZONE_MISMATCH: return "系番号が現場と違います: " + own;
    case Code::W_FAR_FROM_ZONE: return "座標系の原点から250kmを超えて離れています（系の違い？）: " + v;
    case Code::N_SKIPPED_RECORDS: return "座標以外のレコードを読み飛ばしました: " + own;
    case Code::N_DUPLICATE_MERGED: return "同じ点が2回あります（1点にしました）: " + v + lines();
    }
    return own;
}

std::string_view encoding_name(Encoding encoding) { return encoding == Encoding::utf8 ? "UTF-8" : "CP932"; }

std::optional<Encoding> parse_encoding(std::string_view text) {
    std::string t(text);
    for (char& c : t)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (t == "cp932") return Encoding::cp932;
    if (t == "utf-8" || t == "utf8") return Encoding::utf8;
    return std::nullopt;
}

int PointFile::skipped_total() const {
    int total = 0;
    for (const auto& [code, count] : skipped_records) total += count;
    return total;
}

bool SeenNamesInMemory::clear() {
    names_.clear();
    return true;
}

SeenNames::Answer SeenNamesInMemory::find_or_add(std::string_view name, const SeenPoint& point, SeenPoint& earlier) {
    const auto [it, added] = names_.try_emplace(std::string(name), point);
    if (added) return Answer::added;
    earlier = it->second;
    return Answer::seen;
}

bool SeenNamesInMemory::set_height(std::string_view name, Millimetres h) {
    const auto it = names_.find(std::string(name));
    if (it == names_.end()) return false;
    it->second.h = h;
    return true;
}

namespace {

// Gathers a stream's records into a PointFile, as the whole-file readers
// give it: merged heights set on the earlier point, notes in line order
// with those of no line last.
class Gathered {
public:
    bool take(const Record& record) {
        if (const auto* p = std::get_if<FilePoint>(&record)) file_.points.push_back(*p);
        else if (const auto* parcel = std::get_if<FileParcel>(&record)) file_.parcels.push_back(*parcel);
        else if (const auto* merged = std::get_if<MergedHeight>(&record)) file_.points[merged->ordinal].point.h = merged->h;
        else file_.notes.push_back(std::get<Diagnostic>(record));
        return true;
    }

    ReadResult result(const StreamResult& stream) {
        ReadResult r;
        r.file.encoding = stream.encoding;
        if (stream.error) {
            r.error = stream.error;
            return r;
        }
        file_.zone = stream.zone;
        file_.skipped_records = stream.skipped_records;
        file_.encoding = stream.encoding;
        std::stable_sort(file_.notes.begin(), file_.notes.end(), [](const Diagnostic& a, const Diagnostic& b) {
            return (a.line == 0 ? 1 << 30 : a.line) < (b.line == 0 ? 1 << 30 : b.line);
        });
        r.file = std::move(file_);
        return r;
    }

private:
    PointFile file_;
};

}  // namespace

ReadResult read_sima(std::string_view bytes, const ReadOptions& options) {
    StringSource source(bytes);
    SeenNamesInMemory seen;
    Gathered gathered;
    const StreamResult stream =
        stream_sima(source, seen, [&](const Record& r) { return gathered.take(r); }, options);
    return gathered.result(stream);
}

ReadResult read_csv(std::string_view bytes, const std::optional<ColumnOrder>& order, const ReadOptions& options) {
    StringSource source(bytes);
    SeenNamesInMemory seen;
    Gathered gathered;
    const StreamResult stream =
        stream_csv(source, seen, [&](const Record& r) { return gathered.take(r); }, order, options);
    return gathered.result(stream);
}

CsvShape inspect_csv(std::string_view bytes, int rows, std::optional<Encoding> encoding) {
    StringSource source(bytes);
    return inspect_csv(source, rows, encoding);
}

namespace {

std::vector<std::string> split_order(std::string_view text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(',', start);
        std::string f = trim_blanks(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        for (char& c : f)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        fields.push_back(std::move(f));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return fields;
}

}  // namespace

std::optional<ColumnOrder> parse_column_order(std::string_view text) {
    ColumnOrder order;
    for (const std::string& name : split_order(text)) {
        if (name == "NUM" || name == "NUMBER" || name == "NO") order.push_back(Column::number);
        else if (name == "NAME") order.push_back(Column::name);
        else if (name == "X") order.push_back(Column::x);
        else if (name == "Y") order.push_back(Column::y);
        else if (name == "H") order.push_back(Column::h);
        else return std::nullopt;
    }
    using C = Column;
    const std::vector<ColumnOrder> accepted = {
        {C::name, C::x, C::y}, {C::name, C::x, C::y, C::h},
        {C::number, C::name, C::x, C::y}, {C::number, C::name, C::x, C::y, C::h}};
    if (std::find(accepted.begin(), accepted.end(), order) == accepted.end()) return std::nullopt;
    return order;
}

std::optional<FileFormat> format_of(std::string_view file_name) {
    if (file_name.size() < 4) return std::nullopt;
    std::string ext(file_name.substr(file_name.size() - 4));
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (ext == ".SIM") return FileFormat::sima;
    if (ext == ".CSV") return FileFormat::csv;
    return std::nullopt;
}

std::optional<std::string> to_cp932(std::string_view utf8) { return utf8_to_cp932(utf8); }

namespace {

// CP932 of a text, with '?' for each character CP932 cannot write.
std::string cp932_lenient(std::string_view utf8) {
    if (auto whole = utf8_to_cp932(utf8)) return *whole;
    std::u32string chars;
    if (!decode_utf8(utf8, chars)) return std::string(utf8.size(), '?');
    std::string out;
    for (const char32_t cp : chars) {
        const auto one = utf8_to_cp932(encode_utf8(std::u32string(1, cp)));
        out += one ? *one : "?";
    }
    return out;
}

// A name in CP932 padded with blanks to `width` bytes (a longer one whole).
std::string cp932_padded(std::string_view name, std::size_t width) {
    std::string encoded = cp932_lenient(name);
    if (encoded.size() < width) encoded.append(width - encoded.size(), ' ');
    return encoded;
}

void append_fixed(std::string& out, Millimetres mm) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%11s", format_metres(mm).c_str());
    out += buf;
}

void append_number(std::string& out, std::int64_t number) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%5lld", static_cast<long long>(number));
    out += buf;
}

// The job's name as one field of the G00 line: cut to 40 characters, and a
// comma (which would end the field) or a control character (a line break
// would end the line) written as a blank.
std::string header_field(std::string_view job_name) {
    std::string name = cut_job_name(job_name);
    for (char& c : name)
        if (c == ',' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    std::u32string chars;
    if (decode_utf8(name, chars)) {
        for (char32_t& cp : chars)
            if (cp >= 0x80 && cp < 0xA0) cp = U' ';
        name = encode_utf8(chars);
    }
    return cp932_lenient(name);
}

void append_parcels(std::string& out, std::span<const SimaParcel> parcels) {
    if (parcels.empty()) return;
    out += cp932_lenient("Z00, /* 画地データ */,\r\n");
    std::int64_t n = 0;
    for (const SimaParcel& parcel : parcels) {
        out += "D00,";
        append_number(out, ++n);
        out += ',';
        out += cp932_padded(parcel.name, 10);
        out += ",1,\r\n";
        for (const SimaVertex& v : parcel.vertices) {
            out += "B01,";
            append_number(out, v.number);
            out += ',';
            out += cp932_padded(v.name, 20);
            out += ",\r\n";
        }
    }
    out += "D99,\r\n";
}

// A name as one CSV cell: a name a spreadsheet would run as a formula is
// quoted behind a ', which makes it text there; a name holding the
// separator, a quote or a line end (none can be stored, but the file must
// stay readable whatever it is given) is quoted.
std::string csv_cell(std::string_view name, int& formula_cells) {
    const bool formula = !name.empty() && std::string_view("=+-@").find(name[0]) != std::string_view::npos;
    const bool quote = formula || name.find_first_of(",\"\r\n") != std::string_view::npos;
    if (!quote) return std::string(name);
    std::string cell = "\"";
    if (formula) {
        cell += '\'';
        ++formula_cells;
    }
    for (const char c : name) {
        if (c == '"') cell += '"';
        cell += c;
    }
    cell += '"';
    return cell;
}

}  // namespace

std::string write_sima(std::string_view job_name, std::optional<int> zone, std::span<const Point> points,
                       std::span<const SimaParcel> parcels) {
    std::string out;
    out.reserve(64 + points.size() * 72);
    out += "G00,04,";
    out += header_field(job_name);
    out += ",\r\n";
    out += cp932_lenient("Z00, /* 座標データ */,\r\n");
    if (zone) out += "Z01," + std::to_string(*zone) + ",\r\n";
    out += "A00,\r\n";
    for (const Point& p : points) {
        out += "A01,";
        append_number(out, p.number);
        out += ',';
        out += cp932_padded(p.name, 20);
        out += ',';
        append_fixed(out, p.x);
        out += ',';
        append_fixed(out, p.y);
        out += ',';
        if (p.h) append_fixed(out, *p.h);
        out += ",\r\n";
    }
    out += "A99,\r\n";
    append_parcels(out, parcels);
    return out;
}

CsvExport export_csv(std::span<const Point> points, CsvEncoding encoding, const ToGeographic& to_geographic) {
    CsvExport result;
    std::string text;
    text.reserve(32 + points.size() * (to_geographic ? 80 : 48));
    text += to_geographic ? "点名,X,Y,H,緯度,経度\r\n" : "点名,X,Y,H\r\n";
    for (const Point& p : points) {
        text += csv_cell(p.name, result.formula_cells);
        text += ',';
        text += format_metres(p.x);
        text += ',';
        text += format_metres(p.y);
        text += ',';
        if (p.h) text += format_metres(*p.h);
        if (to_geographic) {
            text += ',';
            if (const std::optional<LatLon> at = to_geographic(to_metres(p.x), to_metres(p.y))) {
                text += fixed_decimals(at->latitude, 9);
                text += ',';
                text += fixed_decimals(at->longitude, 9);
            } else {
                text += ',';
            }
        }
        text += "\r\n";
    }
    result.bytes = encoding == CsvEncoding::cp932 ? cp932_lenient(text) : "\xEF\xBB\xBF" + text;
    return result;
}

std::string write_csv(std::span<const Point> points, CsvEncoding encoding, const ToGeographic& to_geographic) {
    return export_csv(points, encoding, to_geographic).bytes;
}

std::string fixed_decimals(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string text = buf;
    // "-0.000000000": the sign of a value too small to show says nothing.
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

}  // namespace marula::job
