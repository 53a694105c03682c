// SIMA and CSV point files: reading and writing.
#include "job/exchange.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>

#include "base/text_codec.h"
#include "base/format.h"

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
    case Code::W_NAME_FROM_NUMBER: return "W_NAME_FROM_NUMBER";
    case Code::W_SKIPPED_LINE: return "W_SKIPPED_LINE";
    case Code::W_ZONE_MISMATCH: return "W_ZONE_MISMATCH";
    case Code::N_SKIPPED_RECORDS: return "N_SKIPPED_RECORDS";
    case Code::N_DUPLICATE_MERGED: return "N_DUPLICATE_MERGED";
    }
    return "E_READ";
}

bool is_error(Code code) { return code_name(code)[0] == 'E'; }

std::string describe(const Diagnostic& d) {
    const std::string& v = d.detail;
    switch (d.code) {
    case Code::E_ENCODING: return "文字コードが読めません（UTF-8でもCP932でもありません）";
    case Code::E_NOT_A_RECORD: return "レコードではない行です: " + v;
    case Code::E_MISSING_NAME: return "点名がありません";
    case Code::E_MISSING_X: return "X座標がありません";
    case Code::E_MISSING_Y: return "Y座標がありません";
    case Code::E_NOT_NUMBER: return "数値ではありません: " + v;
    case Code::E_OUT_OF_RANGE: return "座標が大きすぎます: " + v;
    case Code::E_NAME_TOO_LONG: return "点名が長すぎます（全角10字・半角20字まで）: " + v;
    case Code::E_NAME_CHARACTER: return "点名に使えない文字があります: " + v;
    case Code::E_NAME_ASTERISK: return "「*」だけの点名は使えません";
    case Code::E_DUPLICATE_CONFLICT:
        return "同じ点名で座標が違います: " + v + "（" + std::to_string(d.other_line) + "行目と" +
               std::to_string(d.line) + "行目）";
    case Code::E_COLUMNS_UNKNOWN: return "見出し行がありません。列の順を指定してください（例 name,x,y,h）";
    case Code::E_TOO_MANY_FIELDS: return "見出しより列が多い行です（小数点がコンマ？）";
    case Code::E_READ: return "ファイルが読めません" + (v.empty() ? "" : ": " + v);
    case Code::W_NAME_FROM_NUMBER: return "点名が空欄のため点番を点名にしました: " + v;
    case Code::W_SKIPPED_LINE: return "レコードではない行を読み飛ばしました";
    case Code::W_ZONE_MISMATCH: return "系番号が現場と違います: " + v;
    case Code::N_SKIPPED_RECORDS: return "座標以外のレコードを読み飛ばしました: " + v;
    case Code::N_DUPLICATE_MERGED:
        return "同じ点が2回あります（1点にしました）: " + v + "（" + std::to_string(d.other_line) + "行目と" +
               std::to_string(d.line) + "行目）";
    }
    return v;
}

int PointFile::skipped_total() const {
    int total = 0;
    for (const auto& [code, count] : skipped_records) total += count;
    return total;
}

namespace {

// A file as decoded lines, each with its physical line number.
struct Line {
    int number = 0;
    std::string text;  // UTF-8, without line end
};

bool is_blank(std::string_view text) { return trim_blanks(text).empty(); }

// Splits on LF, takes one CR off each line's end, decodes by the file's
// encoding (a BOM or valid UTF-8 with a byte ≥ 0x80 is UTF-8, else CP932),
// drops blank lines and a last line that is only 0x1A. The first line that
// does not decode is the error.
std::optional<Diagnostic> decode_lines(std::string_view bytes, std::vector<Line>& lines) {
    bool utf8 = false;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
        utf8 = true;
    } else {
        const bool high = std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        utf8 = high && is_valid_utf8(bytes);
    }
    std::vector<std::string_view> raw;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            if (start < bytes.size()) raw.push_back(bytes.substr(start));
            break;
        }
        raw.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    for (auto& r : raw)
        if (!r.empty() && r.back() == '\r') r.remove_suffix(1);
    if (!raw.empty() && raw.back() == "\x1A") raw.pop_back();
    lines.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        std::optional<std::string> text;
        if (utf8) {
            if (is_valid_utf8(raw[i])) text = std::string(raw[i]);
        } else {
            text = cp932_to_utf8(raw[i]);
        }
        if (!text) return Diagnostic{Code::E_ENCODING, number, 0, {}};
        if (is_blank(*text)) continue;
        lines.push_back({number, std::move(*text)});
    }
    return std::nullopt;
}

std::vector<std::string> split_plain(std::string_view text, char separator) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(trim_blanks(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return fields;
}

// CSV fields: double-quoted fields may hold the separator, "" is a quote.
std::vector<std::string> split_csv(std::string_view text, char separator) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (true) {
        std::string field;
        // Blanks before an opening quote do not count.
        std::size_t j = i;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
        if (j < text.size() && text[j] == '"') {
            i = j + 1;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            // Anything after the closing quote up to the separator is kept.
            while (i < text.size() && text[i] != separator) field += text[i++];
            fields.push_back(trim_blanks(field));
        } else {
            const std::size_t end = text.find(separator, i);
            fields.push_back(trim_blanks(text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i)));
            i = end == std::string_view::npos ? text.size() : end;
        }
        if (i >= text.size()) break;
        ++i;  // the separator
        if (i == text.size()) {
            fields.emplace_back();
            break;
        }
    }
    return fields;
}

std::string upper_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool is_record_code(const std::string& code) {
    return code.size() == 3 && ((code[0] >= 'A' && code[0] <= 'Z')) && code[1] >= '0' && code[1] <= '9' &&
           code[2] >= '0' && code[2] <= '9';
}

// The fields of one point, as read from a line (empty optional: absent).
struct RawPoint {
    std::optional<std::string> number, name, x, y, h;
};

// Turns the raw fields of a point into a point (rules for A01 records and
// mapped CSV rows alike), or the line's error. `decimal_comma` reads ','
// as the decimal point.
std::optional<Diagnostic> make_point(const RawPoint& raw, int line, bool decimal_comma, FilePoint& out,
                                     std::vector<Diagnostic>& notes) {
    auto number_field = [&](const std::string& text) {
        if (!decimal_comma) return text;
        std::string t = text;
        std::replace(t.begin(), t.end(), ',', '.');
        return t;
    };
    out = FilePoint{};
    out.line = line;
    std::string number_text = raw.number ? trim_blanks(*raw.number) : std::string();
    if (!number_text.empty()) {
        std::int64_t n = 0;
        const auto [end, ec] = std::from_chars(number_text.data(), number_text.data() + number_text.size(), n);
        if (ec == std::errc() && end == number_text.data() + number_text.size() && n > 0) out.point.number = n;
    }
    std::string name = raw.name ? trim_blanks(*raw.name) : std::string();
    if (name.empty()) {
        if (number_text.empty()) return Diagnostic{Code::E_MISSING_NAME, line, 0, {}};
        name = number_text;
        notes.push_back({Code::W_NAME_FROM_NUMBER, line, 0, name});
    }
    const NameCheck check = check_name(name);
    switch (check.problem) {
    case NameProblem::none: break;
    case NameProblem::empty: return Diagnostic{Code::E_MISSING_NAME, line, 0, {}};
    case NameProblem::too_long: return Diagnostic{Code::E_NAME_TOO_LONG, line, 0, name};
    case NameProblem::lone_asterisk: return Diagnostic{Code::E_NAME_ASTERISK, line, 0, name};
    default: return Diagnostic{Code::E_NAME_CHARACTER, line, 0, name};
    }
    out.point.name = check.name;
    auto coordinate = [&](const std::optional<std::string>& field, Code missing,
                          Millimetres& to) -> std::optional<Diagnostic> {
        if (!field || field->empty()) return Diagnostic{missing, line, 0, {}};
        const auto value = parse_number(number_field(*field));
        if (!value) return Diagnostic{Code::E_NOT_NUMBER, line, 0, *field};
        const auto mm = to_millimetres(*value);
        if (!mm) return Diagnostic{Code::E_OUT_OF_RANGE, line, 0, *field};
        to = *mm;
        return std::nullopt;
    };
    if (auto e = coordinate(raw.x, Code::E_MISSING_X, out.point.x)) return e;
    if (auto e = coordinate(raw.y, Code::E_MISSING_Y, out.point.y)) return e;
    if (raw.h && !raw.h->empty()) {
        Millimetres h = 0;
        if (auto e = coordinate(raw.h, Code::E_NOT_NUMBER, h)) return e;
        out.point.h = h;
    }
    return std::nullopt;
}

// Adds a point to the file, merging a duplicate at the same place (H from
// whichever has it) and refusing one elsewhere.
std::optional<Diagnostic> add_point(PointFile& file, std::unordered_map<std::string, std::size_t>& by_name,
                                    FilePoint point) {
    const auto [it, inserted] = by_name.try_emplace(point.point.name, file.points.size());
    if (inserted) {
        file.points.push_back(std::move(point));
        return std::nullopt;
    }
    FilePoint& earlier = file.points[it->second];
    if (!same_place(earlier.point, point.point))
        return Diagnostic{Code::E_DUPLICATE_CONFLICT, point.line, earlier.line, point.point.name};
    if (!earlier.point.h) earlier.point.h = point.point.h;
    file.notes.push_back({Code::N_DUPLICATE_MERGED, point.line, earlier.line, point.point.name});
    return std::nullopt;
}

void note_skipped(PointFile& file) {
    if (file.skipped_records.empty()) return;
    std::string detail;
    for (const auto& [code, count] : file.skipped_records) {
        if (!detail.empty()) detail += ' ';
        detail += code + "×" + std::to_string(count);
    }
    file.notes.push_back({Code::N_SKIPPED_RECORDS, 0, 0, detail});
}

ReadResult accepted(PointFile file) {
    ReadResult r;
    r.file = std::move(file);
    return r;
}

ReadResult refused(const Diagnostic& d) {
    ReadResult r;
    r.error.emplace(d);
    return r;
}

}  // namespace

ReadResult read_sima(std::string_view bytes) {
    std::vector<Line> lines;
    if (auto e = decode_lines(bytes, lines)) return refused(*e);
    PointFile file;
    std::unordered_map<std::string, std::size_t> by_name;
    by_name.reserve(lines.size());
    file.points.reserve(lines.size());
    std::vector<int> stray_lines;  // lines that are no record, waiting to see whether an A01 follows
    for (const Line& line : lines) {
        const std::vector<std::string> fields = split_plain(line.text, ',');
        const std::string code = upper_ascii(fields[0]);
        if (!is_record_code(code)) {
            stray_lines.push_back(line.number);
            continue;
        }
        if (code == "A01") {
            if (!stray_lines.empty()) return refused({Code::E_NOT_A_RECORD, stray_lines.front(), 0, {}});
            auto field = [&](std::size_t i) -> std::optional<std::string> {
                if (i < fields.size()) return fields[i];
                return std::nullopt;
            };
            RawPoint raw{field(1), field(2), field(3), field(4), field(5)};
            FilePoint point;
            if (auto e = make_point(raw, line.number, false, point, file.notes)) return refused(*e);
            if (auto e = add_point(file, by_name, std::move(point))) return refused(*e);
        } else if (code == "Z01") {
            int zone = 0;
            const std::string& z = fields.size() > 1 ? fields[1] : std::string();
            const auto [end, ec] = std::from_chars(z.data(), z.data() + z.size(), zone);
            if (ec == std::errc() && end == z.data() + z.size() && zone >= 1 && zone <= 19) file.zone = zone;
        } else if (code != "G00" && code != "Z00" && code != "A00" && code != "A99") {
            ++file.skipped_records[code];
        }
    }
    for (const int n : stray_lines) file.notes.push_back({Code::W_SKIPPED_LINE, n, 0, {}});
    note_skipped(file);
    std::stable_sort(file.notes.begin(), file.notes.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return (a.line == 0 ? 1 << 30 : a.line) < (b.line == 0 ? 1 << 30 : b.line);
    });
    return accepted(std::move(file));
}

std::optional<ColumnOrder> parse_column_order(std::string_view text) {
    ColumnOrder order;
    for (const std::string& f : split_plain(text, ',')) {
        const std::string name = upper_ascii(f);
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

namespace {

// The column a header label names, if any (labels compared folded, so
// full-width and lower-case forms count).
std::optional<Column> header_column(const std::string& label) {
    const std::string l = fold_width_and_case(label);
    if (l == "点名" || l == "測点名" || l == "名称" || l == "NAME") return Column::name;
    if (l == "点番" || l == "番号" || l == "NO" || l == "NO." || l == "NUMBER") return Column::number;
    if (l == "X" || l == "X座標" || l == "北" || l == "N") return Column::x;
    if (l == "Y" || l == "Y座標" || l == "東" || l == "E") return Column::y;
    if (l == "H" || l == "Z" || l == "標高" || l == "高さ") return Column::h;
    return std::nullopt;
}

// The header's columns by position (nothing for an unnamed column), when
// it names at least name, X and Y.
std::optional<std::vector<std::optional<Column>>> header_of(const std::vector<std::string>& fields) {
    std::vector<std::optional<Column>> columns;
    bool name = false, x = false, y = false;
    for (const std::string& f : fields) {
        auto c = header_column(f);
        // A label met twice counts once, at its first column.
        if (c && std::find(columns.begin(), columns.end(), c) != columns.end()) c.reset();
        columns.push_back(c);
        name = name || c == Column::name;
        x = x || c == Column::x;
        y = y || c == Column::y;
    }
    if (!(name && x && y)) return std::nullopt;
    return columns;
}

char separator_of(const std::vector<Line>& lines) {
    return !lines.empty() && lines.front().text.find(';') != std::string::npos ? ';' : ',';
}

}  // namespace

CsvShape inspect_csv(std::string_view bytes, int rows) {
    CsvShape shape;
    std::vector<Line> lines;
    if (auto e = decode_lines(bytes, lines)) {
        shape.error = e;
        return shape;
    }
    shape.separator = separator_of(lines);
    for (std::size_t i = 0; i < lines.size() && static_cast<int>(shape.first_rows.size()) < rows; ++i) {
        auto fields = split_csv(lines[i].text, shape.separator);
        if (i == 0) shape.has_header = header_of(fields).has_value();
        shape.first_rows.push_back(std::move(fields));
    }
    return shape;
}

ReadResult read_csv(std::string_view bytes, const std::optional<ColumnOrder>& order) {
    std::vector<Line> lines;
    if (auto e = decode_lines(bytes, lines)) return refused(*e);
    PointFile file;
    if (lines.empty()) return accepted(std::move(file));
    const char separator = separator_of(lines);
    const bool decimal_comma = separator == ';';
    std::vector<std::optional<Column>> columns;
    std::size_t first_data = 0;
    bool limit_width = false;
    if (auto header = header_of(split_csv(lines.front().text, separator))) {
        columns = *header;
        first_data = 1;
        limit_width = true;
    } else if (order) {
        columns.assign(order->begin(), order->end());
    } else {
        return refused({Code::E_COLUMNS_UNKNOWN, 0, 0, {}});
    }
    std::unordered_map<std::string, std::size_t> by_name;
    by_name.reserve(lines.size());
    file.points.reserve(lines.size());
    for (std::size_t i = first_data; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const std::vector<std::string> fields = split_csv(line.text, separator);
        if (limit_width)
            for (std::size_t k = columns.size(); k < fields.size(); ++k)
                if (!fields[k].empty()) return refused({Code::E_TOO_MANY_FIELDS, line.number, 0, fields[k]});
        RawPoint raw;
        for (std::size_t k = 0; k < columns.size() && k < fields.size(); ++k) {
            if (!columns[k]) continue;
            switch (*columns[k]) {
            case Column::number: raw.number = fields[k]; break;
            case Column::name: raw.name = fields[k]; break;
            case Column::x: raw.x = fields[k]; break;
            case Column::y: raw.y = fields[k]; break;
            case Column::h: raw.h = fields[k]; break;
            }
        }
        FilePoint point;
        if (auto e = make_point(raw, line.number, decimal_comma, point, file.notes)) return refused(*e);
        if (auto e = add_point(file, by_name, std::move(point))) return refused(*e);
    }
    return accepted(std::move(file));
}

std::optional<FileFormat> format_of(std::string_view file_name) {
    if (file_name.size() < 4) return std::nullopt;
    const std::string ext = upper_ascii(std::string(file_name.substr(file_name.size() - 4)));
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

void append_fixed(std::string& out, Millimetres mm) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%11s", format_metres(mm).c_str());
    out += buf;
}

}  // namespace

std::string write_sima(std::string_view job_name, std::optional<int> zone, std::span<const Point> points) {
    std::string out;
    out.reserve(64 + points.size() * 72);
    out += "G00,04,";
    // A comma in the job's name would end the field early.
    std::string name(job_name);
    std::replace(name.begin(), name.end(), ',', ' ');
    out += cp932_lenient(name);
    out += ",\r\n";
    out += cp932_lenient("Z00, /* 座標データ */,\r\n");
    if (zone) out += "Z01," + std::to_string(*zone) + ",\r\n";
    out += "A00,\r\n";
    char number[16];
    for (const Point& p : points) {
        std::snprintf(number, sizeof number, "%5lld", static_cast<long long>(p.number));
        out += "A01,";
        out += number;
        out += ',';
        std::string encoded = cp932_lenient(p.name);
        if (encoded.size() < 20) encoded.append(20 - encoded.size(), ' ');
        out += encoded;
        out += ',';
        append_fixed(out, p.x);
        out += ',';
        append_fixed(out, p.y);
        out += ',';
        if (p.h) append_fixed(out, *p.h);
        out += ",\r\n";
    }
    out += "A99,\r\n";
    return out;
}

std::string write_csv(std::span<const Point> points, CsvEncoding encoding) {
    std::string text;
    text.reserve(32 + points.size() * 48);
    text += "点名,X,Y,H\r\n";
    for (const Point& p : points) {
        text += p.name;
        text += ',';
        text += format_metres(p.x);
        text += ',';
        text += format_metres(p.y);
        text += ',';
        if (p.h) text += format_metres(*p.h);
        text += "\r\n";
    }
    if (encoding == CsvEncoding::cp932) return cp932_lenient(text);
    return "\xEF\xBB\xBF" + text;
}

}  // namespace marula::job
