// Point files read as streams: the encoding told by a first pass, then
// lines of bounded length decoded one at a time and turned into records
// that go to the sink as they are read. Nothing per point is kept here;
// the names are kept by the caller's SeenNames.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/format.h"
#include "base/text_codec.h"
#include "job/exchange.h"
#include "survey/angle_text.h"

namespace marula::job {

namespace {

// The longest line taken, without its line end: far more than any record,
// little enough to hold whatever the file is.
constexpr std::size_t kLineLimit = 4096;
// Lines that are no record are listed one by one up to this many; the rest
// are counted in one more warning.
constexpr std::size_t kListedStrayLines = 1000;
// The distance from a zone's origin past which a converted point is more
// likely in another zone than in this one, metres.
constexpr double kFarFromZone = 250000.0;

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// ---- The encoding ------------------------------------------------------

// Checks UTF-8 a byte at a time, so a character may cross a chunk's end,
// and notes whether a character of three or more bytes, or the degree
// sign, was met: real UTF-8 Japanese text always has one, while pairs of
// half-width katakana in CP932 can pass for two-byte UTF-8 (ﾎｳ = CE B3 = γ).
//
// It also stops at a line too long to be read: the file is refused there
// anyway, and a file of one endless line must not be read to its end.
class Utf8Scan {
public:
    void feed(std::string_view bytes) {
        for (const char c : bytes) {
            if (!valid_ || too_long_) return;
            run_ = c == '\n' ? 0 : run_ + 1;
            too_long_ = run_ > kLineLimit + 1;  // one more for the CR that goes
            take(static_cast<unsigned char>(c));
        }
    }
    bool failed() const { return !valid_; }
    bool met_long_line() const { return too_long_; }
    bool valid_at_end() const { return valid_ && need_ == 0; }
    bool wide() const { return wide_; }

private:
    void take(unsigned char b) {
        if (need_ == 0) {
            if (b < 0x80) return;
            if (b >= 0xC2 && b <= 0xDF) need_ = 1, cp_ = b & 0x1F;
            else if (b >= 0xE0 && b <= 0xEF) need_ = 2, cp_ = b & 0x0F;
            else if (b >= 0xF0 && b <= 0xF4) need_ = 3, cp_ = b & 0x07;
            else valid_ = false;
            length_ = need_ + 1;
            return;
        }
        if ((b & 0xC0) != 0x80) {
            valid_ = false;
            return;
        }
        cp_ = (cp_ << 6) | (b & 0x3F);
        if (--need_ > 0) return;
        // Overlong forms, surrogates and values past U+10FFFF are invalid.
        if ((length_ == 3 && cp_ < 0x800) || (length_ == 4 && (cp_ < 0x10000 || cp_ > 0x10FFFF)) ||
            (cp_ >= 0xD800 && cp_ <= 0xDFFF)) {
            valid_ = false;
            return;
        }
        if (length_ >= 3 || cp_ == 0xB0) wide_ = true;
    }

    int need_ = 0;
    int length_ = 0;
    char32_t cp_ = 0;
    bool valid_ = true;
    bool wide_ = false;
    std::size_t run_ = 0;  // bytes since the last LF
    bool too_long_ = false;
};

// A UTF-8 BOM is UTF-8; else valid UTF-8 with a wide character is UTF-8;
// else CP932. Stops as soon as the answer is known, and at a line too long
// (judged on what came before it: the read stops at that line whatever).
std::optional<Encoding> tell_encoding(ByteSource& source, std::string& failure) {
    Utf8Scan scan;
    std::string head;
    while (true) {
        std::string_view chunk;
        if (auto e = source.next(chunk)) {
            failure = *e;
            return std::nullopt;
        }
        if (chunk.empty()) break;
        if (head.size() < kBom.size()) {
            head.append(chunk.substr(0, kBom.size() - head.size()));
            if (head == kBom) return Encoding::utf8;
        }
        scan.feed(chunk);
        if (scan.failed()) return Encoding::cp932;
        if (scan.met_long_line()) break;
    }
    // Cut at a long line, a character may be cut too: what came whole counts.
    const bool valid = scan.met_long_line() ? !scan.failed() : scan.valid_at_end();
    return valid && scan.wide() ? Encoding::utf8 : Encoding::cp932;
}

// ---- Lines -------------------------------------------------------------

// Physical lines: split on LF, one trailing CR removed, at most kLineLimit
// bytes each. A line is never held longer than that, whatever the file.
class LineSplitter {
public:
    explicit LineSplitter(ByteSource& source) : source_(source) {}
    enum class Step { line, end, too_long, failed };
    Step next() {
        line_.clear();
        ++number_;
        bool started = false;
        while (true) {
            if (chunk_.empty()) {
                if (ended_) return started ? finish_line() : Step::end;
                if (auto e = source_.next(chunk_)) {
                    failure_ = *e;
                    return Step::failed;
                }
                if (chunk_.empty()) {
                    ended_ = true;
                    continue;
                }
            }
            started = true;
            const std::size_t lf = chunk_.find('\n');
            const std::string_view piece = chunk_.substr(0, lf);
            // One byte more than the limit may be the CR that goes.
            if (line_.size() + piece.size() > kLineLimit + 1) return Step::too_long;
            line_.append(piece);
            if (lf == std::string_view::npos) {
                chunk_ = {};
                continue;
            }
            chunk_.remove_prefix(lf + 1);
            return finish_line();
        }
    }
    std::string& line() { return line_; }
    int number() const { return number_; }
    const std::string& failure() const { return failure_; }

private:
    Step finish_line() {
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        return line_.size() > kLineLimit ? Step::too_long : Step::line;
    }

    ByteSource& source_;
    std::string_view chunk_;
    std::string line_;
    int number_ = 0;
    bool ended_ = false;
    std::string failure_;
};

// The non-blank lines of a file decoded to UTF-8 by its encoding, with
// their physical line numbers. A last line that is only 0x1A (the old
// end-of-file mark) is dropped; the first line that does not decode, or
// holds a second BOM, is E_ENCODING.
class DecodedLines {
public:
    DecodedLines(ByteSource& source, std::optional<Encoding> forced)
        : source_(source), forced_(forced), splitter_(source) {}

    // The next line; false at the end and at an error.
    bool next() {
        if (!started_ && !start()) return false;
        while (true) {
            int number = 0;
            if (!next_raw(raw_, number)) return false;
            if (!decode(raw_, number)) return false;
            if (!blanks_trimmed(text_).empty()) return true;
        }
    }
    int number() const { return number_; }
    const std::string& text() const { return text_; }
    Encoding encoding() const { return encoding_; }
    const std::optional<Diagnostic>& error() const { return error_; }

private:
    bool start() {
        started_ = true;
        if (forced_) {
            encoding_ = *forced_;
            return true;
        }
        std::string failure;
        const auto told = tell_encoding(source_, failure);
        if (!told) return fail({Code::E_READ, 0, 0, failure});
        encoding_ = *told;
        if (auto e = source_.rewind()) return fail({Code::E_READ, 0, 0, *e});
        return true;
    }

    // A physical line, holding back a line of 0x1A until a line after it
    // shows that it was not the last.
    bool next_raw(std::string& raw, int& number) {
        if (stash_) {
            raw = std::move(*stash_);
            number = stash_number_;
            stash_.reset();
        } else if (!split(raw, number)) {
            return false;
        }
        if (raw != "\x1A") return true;
        std::string after;
        int after_number = 0;
        if (!split(after, after_number)) return false;  // the mark was last, or an error came
        stash_ = std::move(after);
        stash_number_ = after_number;
        return true;
    }

    bool split(std::string& raw, int& number) {
        switch (splitter_.next()) {
        case LineSplitter::Step::line:
            // A swap, not a move: both buffers keep their room for the next
            // line (the splitter clears its own before filling it).
            raw.swap(splitter_.line());
            number = splitter_.number();
            return true;
        case LineSplitter::Step::end: return false;
        case LineSplitter::Step::too_long: return fail({Code::E_LINE_TOO_LONG, splitter_.number(), 0, {}});
        case LineSplitter::Step::failed: return fail({Code::E_READ, 0, 0, splitter_.failure()});
        }
        return false;
    }

    bool decode(std::string_view raw, int number) {
        number_ = number;
        if (encoding_ == Encoding::utf8 && number == 1 && raw.starts_with(kBom)) {
            raw.remove_prefix(kBom.size());
            // A second BOM is a file saved twice over by a tool that adds one.
            if (raw.starts_with(kBom)) return fail({Code::E_ENCODING, 1, 0, {}});
        }
        if (encoding_ == Encoding::utf8) {
            if (!is_valid_utf8(raw)) return fail({Code::E_ENCODING, number, 0, {}});
            text_.assign(raw);
            return true;
        }
        std::optional<std::string> text = cp932_to_utf8(raw);
        if (!text) return fail({Code::E_ENCODING, number, 0, {}});
        text_ = std::move(*text);
        return true;
    }

    bool fail(Diagnostic d) {
        error_ = std::move(d);
        return false;
    }

    ByteSource& source_;
    std::optional<Encoding> forced_;
    LineSplitter splitter_;
    Encoding encoding_ = Encoding::cp932;
    bool started_ = false;
    std::optional<std::string> stash_;
    int stash_number_ = 0;
    int number_ = 0;
    std::string raw_;  // the line as read, kept for its room
    std::string text_;
    std::optional<Diagnostic> error_;
};

// ---- Fields ------------------------------------------------------------

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
// Into `fields`, which is cleared first and keeps its room.
void split_csv(std::string_view text, char separator, std::vector<std::string>& fields) {
    fields.clear();
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
}

std::vector<std::string> split_csv(std::string_view text, char separator) {
    std::vector<std::string> fields;
    split_csv(text, separator, fields);
    return fields;
}

std::string upper_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool is_record_code(const std::string& code) {
    return code.size() == 3 && code[0] >= 'A' && code[0] <= 'Z' && code[1] >= '0' && code[1] <= '9' &&
           code[2] >= '0' && code[2] <= '9';
}

std::optional<std::string> field_at(const std::vector<std::string>& fields, std::size_t i) {
    if (i < fields.size()) return fields[i];
    return std::nullopt;
}

// ---- Points ------------------------------------------------------------

// The fields of one point, as read from a line (empty optional: absent).
struct RawPoint {
    std::optional<std::string> number, name, x, y, h, latitude, longitude, ellipsoidal_height;
};

// How a reader turns fields into coordinates.
struct PointRules {
    bool decimal_comma = false;     // ',' is the decimal mark (a ';'-separated CSV)
    bool from_latitude = false;     // X and Y come from latitude and longitude
    const ReadOptions* options = nullptr;
};

std::string with_decimal_point(std::string text, bool decimal_comma) {
    if (decimal_comma) std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

std::optional<Code> name_error(NameProblem problem) {
    switch (problem) {
    case NameProblem::none: return std::nullopt;
    case NameProblem::empty: return Code::E_MISSING_NAME;
    case NameProblem::too_long: return Code::E_NAME_TOO_LONG;
    case NameProblem::lone_asterisk: return Code::E_NAME_ASTERISK;
    default: return Code::E_NAME_CHARACTER;
    }
}

// A point's or a parcel's name: the name field, else the number (with
// W_NAME_FROM_NUMBER in `note`), checked by the names' rules.
std::optional<Diagnostic> take_name(const std::optional<std::string>& name_field, const std::string& number_text,
                                    int line, std::string& name, std::optional<Diagnostic>& note) {
    name = name_field ? trim_blanks(*name_field) : std::string();
    if (name.empty()) {
        if (number_text.empty()) return Diagnostic{Code::E_MISSING_NAME, line, 0, {}};
        name = number_text;
        note = Diagnostic{Code::W_NAME_FROM_NUMBER, line, 0, name};
    }
    NameCheck check = check_name(name);
    if (const auto code = name_error(check.problem)) return Diagnostic{*code, line, 0, name};
    name = std::move(check.name);
    return std::nullopt;
}

std::optional<Diagnostic> take_metres(const std::optional<std::string>& field, Code missing,
                                      const char* missing_detail, const PointRules& rules, int line,
                                      Millimetres& to) {
    if (!field || field->empty()) return Diagnostic{missing, line, 0, missing_detail};
    const auto value = parse_number(with_decimal_point(*field, rules.decimal_comma));
    if (!value) return Diagnostic{Code::E_NOT_NUMBER, line, 0, *field};
    const auto mm = to_millimetres(*value);
    if (!mm) return Diagnostic{Code::E_OUT_OF_RANGE, line, 0, *field};
    to = *mm;
    return std::nullopt;
}

std::optional<Diagnostic> take_degrees(const std::optional<std::string>& field, Code missing,
                                       const char* missing_detail, double limit, const PointRules& rules,
                                       int line, double& degrees) {
    if (!field || field->empty()) return Diagnostic{missing, line, 0, missing_detail};
    // The survey library's reading: decimal degrees or D°M′S″ in any of
    // the spellings a file may hold, never an exponent, NaN or infinity,
    // minutes and seconds below 60. Unlimited, so that 400° is out of
    // range rather than no angle.
    const auto value = parse_unlimited_degrees(with_decimal_point(*field, rules.decimal_comma));
    if (!value) return Diagnostic{Code::E_NOT_NUMBER, line, 0, *field};
    if (std::fabs(*value) > limit) return Diagnostic{Code::E_OUT_OF_RANGE, line, 0, *field};
    degrees = *value;
    return std::nullopt;
}

// X and Y from latitude and longitude through the caller's conversion,
// rounded to the millimetre; `far` when the point lies more than 250 km
// from the zone's origin.
std::optional<Diagnostic> take_latitude(const RawPoint& raw, const PointRules& rules, int line, Point& point,
                                        bool& far) {
    double latitude = 0, longitude = 0;
    if (auto e = take_degrees(raw.latitude, Code::E_MISSING_X, "緯度", 90, rules, line, latitude)) return e;
    if (auto e = take_degrees(raw.longitude, Code::E_MISSING_Y, "経度", 180, rules, line, longitude)) return e;
    const PlaneXY plane = rules.options->to_plane(latitude, longitude);
    const auto x = to_millimetres(plane.x);
    const auto y = to_millimetres(plane.y);
    if (!x || !y) return Diagnostic{Code::E_OUT_OF_RANGE, line, 0, *raw.latitude + " " + *raw.longitude};
    point.x = *x;
    point.y = *y;
    // Measured on the stored millimetres, so the warning agrees with what
    // the job will hold.
    const double north = to_metres(point.x), east = to_metres(point.y);
    far = std::sqrt(north * north + east * east) > kFarFromZone;
    return std::nullopt;
}

// H from its column, else from 楕円体高 less the geoid height N, rounded
// once to the millimetre; no field, no height.
std::optional<Diagnostic> take_height(const RawPoint& raw, const PointRules& rules, int line, Point& point) {
    if (raw.h && !raw.h->empty()) {
        Millimetres h = 0;
        if (auto e = take_metres(raw.h, Code::E_NOT_NUMBER, "", rules, line, h)) return e;
        point.h = h;
        return std::nullopt;
    }
    if (!raw.ellipsoidal_height || raw.ellipsoidal_height->empty()) return std::nullopt;
    const auto value = parse_number(with_decimal_point(*raw.ellipsoidal_height, rules.decimal_comma));
    if (!value) return Diagnostic{Code::E_NOT_NUMBER, line, 0, *raw.ellipsoidal_height};
    const double n = rules.options->geoid_height.value_or(0.0);
    point.h = to_millimetres(*value - n);
    if (!point.h) return Diagnostic{Code::E_OUT_OF_RANGE, line, 0, *raw.ellipsoidal_height};
    return std::nullopt;
}

// The point of one record, or the line's error. The record's warnings go
// to `notes`, for the sink once the point is taken.
std::optional<Diagnostic> make_point(const RawPoint& raw, int line, const PointRules& rules, FilePoint& out,
                                     std::vector<Diagnostic>& notes) {
    out = FilePoint{};
    out.line = line;
    const std::string number_text = raw.number ? trim_blanks(*raw.number) : std::string();
    if (!number_text.empty()) {
        std::int64_t n = 0;
        const auto [end, ec] = std::from_chars(number_text.data(), number_text.data() + number_text.size(), n);
        if (ec == std::errc() && end == number_text.data() + number_text.size() && n > 0) out.point.number = n;
    }
    std::optional<Diagnostic> name_note;
    if (auto e = take_name(raw.name, number_text, line, out.point.name, name_note)) return e;
    if (name_note) notes.push_back(std::move(*name_note));
    bool far = false;
    if (rules.from_latitude) {
        if (auto e = take_latitude(raw, rules, line, out.point, far)) return e;
    } else {
        if (auto e = take_metres(raw.x, Code::E_MISSING_X, "", rules, line, out.point.x)) return e;
        if (auto e = take_metres(raw.y, Code::E_MISSING_Y, "", rules, line, out.point.y)) return e;
    }
    if (auto e = take_height(raw, rules, line, out.point)) return e;
    if (far) notes.push_back({Code::W_FAR_FROM_ZONE, line, 0, out.point.name});
    return std::nullopt;
}

// ---- Records out -------------------------------------------------------

// Hands records to the sink, keeps rule 7 (one name twice) through the
// SeenNames store, and ends the read at the first error.
class Output {
public:
    Output(SeenNames& seen, const RecordSink& sink, StreamResult& result)
        : seen_(seen), sink_(sink), result_(result) {}

    bool give(Record record) {
        if (sink_(record)) return true;
        result_.stopped = true;
        return false;
    }
    bool fail(Diagnostic d) {
        result_.error = std::move(d);
        return false;
    }
    bool start() { return seen_.clear() || fail({Code::E_READ, 0, 0, kStoreTrouble}); }

    // A point with the warnings of its record: new, merged into the first
    // of its name (same place, H from whichever has it), or a conflict.
    bool add_point(FilePoint point, std::vector<Diagnostic>& notes) {
        const SeenPoint here{result_.points, point.line, point.point.x, point.point.y, point.point.h};
        SeenPoint earlier;
        const SeenNames::Answer answer = seen_.find_or_add(point.point.name, here, earlier);
        if (answer == SeenNames::Answer::failed) return fail({Code::E_READ, point.line, 0, kStoreTrouble});
        if (answer == SeenNames::Answer::seen && !(earlier.x == here.x && earlier.y == here.y &&
                                                   (!earlier.h || !here.h || *earlier.h == *here.h)))
            return fail({Code::E_DUPLICATE_CONFLICT, point.line, earlier.line, point.point.name});
        for (Diagnostic& d : notes)
            if (!give(std::move(d))) return false;
        notes.clear();
        if (answer == SeenNames::Answer::added) {
            ++result_.points;
            return give(std::move(point));
        }
        const std::string& name = point.point.name;
        if (!earlier.h && here.h) {
            if (!seen_.set_height(name, *here.h)) return fail({Code::E_READ, point.line, 0, kStoreTrouble});
            if (!give(MergedHeight{earlier.ordinal, name, *here.h, point.line})) return false;
        }
        return give(Diagnostic{Code::N_DUPLICATE_MERGED, point.line, earlier.line, name});
    }

    StreamResult& result() { return result_; }

private:
    static constexpr const char* kStoreTrouble = "点名の重複を調べられません";
    SeenNames& seen_;
    const RecordSink& sink_;
    StreamResult& result_;
};

// Reads every line through `reader` (line(number, text) and finish(),
// each false to stop), the encoding and its errors handled here.
template <class Reader>
void read_lines(ByteSource& source, std::optional<Encoding> forced, Output& out, Reader& reader) {
    DecodedLines lines(source, forced);
    if (!out.start()) return;
    bool going = true;
    while (going && lines.next()) going = reader.line(lines.number(), lines.text());
    out.result().encoding = lines.encoding();
    if (!going) return;
    if (lines.error()) {
        out.fail(*lines.error());
        return;
    }
    reader.finish();
}

// ---- SIMA --------------------------------------------------------------

class SimaReader {
public:
    SimaReader(Output& out, const ReadOptions& options) : out_(out), options_(options) {}

    bool line(int number, const std::string& text) {
        const std::vector<std::string> fields = split_plain(text, ',');
        const std::string code = upper_ascii(fields[0]);
        if (!is_record_code(code)) {
            stray(number);
            return true;
        }
        if (code == "A01") return point(number, fields);
        if (code == "Z01") {
            zone(fields);
            return true;
        }
        if (code == "G00" || code == "Z00" || code == "A00" || code == "A99") return true;
        if (options_.parcels) {
            if (code == "D00") return lot(number, fields);
            if (code == "B01" && parcel_) return vertex(number, fields);
            if (code == "D99") return close_parcel();
        }
        ++out_.result().skipped_records[code];
        return true;
    }

    bool finish() {
        if (!close_parcel()) return false;
        StreamResult& r = out_.result();
        if (r.points == 0 && r.parcels == 0) return out_.fail({Code::E_NO_RECORDS, 0, 0, {}});
        for (const int n : strays_)
            if (!out_.give(Diagnostic{Code::W_SKIPPED_LINE, n, 0, {}})) return false;
        if (unlisted_strays_ > 0 &&
            !out_.give(Diagnostic{Code::W_SKIPPED_LINE, first_unlisted_stray_, 0,
                                  "ほか" + std::to_string(unlisted_strays_) + "行"}))
            return false;
        if (r.skipped_records.empty()) return true;
        std::string detail;
        for (const auto& [code, count] : r.skipped_records) {
            if (!detail.empty()) detail += ' ';
            detail += code + "×" + std::to_string(count);
        }
        return out_.give(Diagnostic{Code::N_SKIPPED_RECORDS, 0, 0, detail});
    }

private:
    // A line that is no record: an error if an A01 comes after it, else a
    // warning at the end. Only the first lines are listed by number.
    void stray(int number) {
        if (strays_.size() < kListedStrayLines) {
            strays_.push_back(number);
        } else {
            if (unlisted_strays_ == 0) first_unlisted_stray_ = number;
            ++unlisted_strays_;
        }
    }

    bool point(int number, const std::vector<std::string>& fields) {
        if (!strays_.empty()) return out_.fail({Code::E_NOT_A_RECORD, strays_.front(), 0, {}});
        RawPoint raw;
        raw.number = field_at(fields, 1);
        raw.name = field_at(fields, 2);
        raw.x = field_at(fields, 3);
        raw.y = field_at(fields, 4);
        raw.h = field_at(fields, 5);
        FilePoint point;
        notes_.clear();
        if (auto e = make_point(raw, number, PointRules{false, false, &options_}, point, notes_)) return out_.fail(*e);
        return out_.add_point(std::move(point), notes_);
    }

    void zone(const std::vector<std::string>& fields) {
        int zone = 0;
        const std::string z = fields.size() > 1 ? fields[1] : std::string();
        const auto [end, ec] = std::from_chars(z.data(), z.data() + z.size(), zone);
        if (ec == std::errc() && end == z.data() + z.size() && zone >= 1 && zone <= 19) out_.result().zone = zone;
    }

    // D00,number,name,type: type 1 (a closed lot) starts a parcel; any
    // other type is skipped, and its B01 records with it (a B01 counts as
    // a vertex only inside a parcel).
    bool lot(int number, const std::vector<std::string>& fields) {
        if (!close_parcel()) return false;
        const std::string type = field_at(fields, 3).value_or("");
        int kind = 0;
        const auto [end, ec] = std::from_chars(type.data(), type.data() + type.size(), kind);
        if (ec != std::errc() || end != type.data() + type.size() || kind != 1) {
            ++out_.result().skipped_records["D00"];
            return true;
        }
        FileParcel parcel;
        parcel.line = number;
        std::optional<Diagnostic> note;
        if (auto e = take_name(field_at(fields, 2), field_at(fields, 1).value_or(""), number, parcel.name, note))
            return out_.fail(*e);
        if (note && !out_.give(std::move(*note))) return false;
        parcel_ = std::move(parcel);
        return true;
    }

    // B01,number,name: the next vertex, named as its point is (a blank
    // name is the number, as for A01).
    bool vertex(int number, const std::vector<std::string>& fields) {
        if (parcel_->vertices.size() >= kParcelVertexLimit)
            return out_.fail({Code::E_TOO_MANY_VERTICES, number, 0, parcel_->name});
        FileVertex v;
        v.line = number;
        std::optional<Diagnostic> ignored;  // the point's own record warned already
        if (auto e = take_name(field_at(fields, 2), field_at(fields, 1).value_or(""), number, v.name, ignored))
            return out_.fail(*e);
        parcel_->vertices.push_back(std::move(v));
        return true;
    }

    bool close_parcel() {
        if (!parcel_) return true;
        FileParcel parcel = std::move(*parcel_);
        parcel_.reset();
        ++out_.result().parcels;
        return out_.give(std::move(parcel));
    }

    Output& out_;
    const ReadOptions& options_;
    std::vector<int> strays_;
    int unlisted_strays_ = 0;
    int first_unlisted_stray_ = 0;
    std::optional<FileParcel> parcel_;
    std::vector<Diagnostic> notes_;
};

// ---- CSV ---------------------------------------------------------------

// The column a header label names, if any (labels compared folded, so
// full-width and lower-case forms count).
std::optional<Column> header_column(const std::string& label) {
    const std::string l = fold_width_and_case(label);
    if (l == "点名" || l == "測点名" || l == "名称" || l == "NAME") return Column::name;
    if (l == "点番" || l == "番号" || l == "NO" || l == "NO." || l == "NUMBER") return Column::number;
    if (l == "X" || l == "X座標" || l == "北" || l == "N") return Column::x;
    if (l == "Y" || l == "Y座標" || l == "東" || l == "E") return Column::y;
    if (l == "H" || l == "Z" || l == "標高" || l == "高さ") return Column::h;
    if (l == "緯度" || l == "LAT" || l == "LATITUDE" || l == "B") return Column::latitude;
    if (l == "経度" || l == "LON" || l == "LNG" || l == "LONGITUDE" || l == "L") return Column::longitude;
    if (l == "楕円体高") return Column::ellipsoidal_height;
    return std::nullopt;
}

struct Header {
    std::vector<std::optional<Column>> columns;  // by position; nothing for a column not read
    bool from_latitude = false;                  // no X and Y, but latitude and longitude
    bool needs_geoid = false;                    // 楕円体高 and no other height
};

// The header's columns, when it names at least the name and either X and Y
// or latitude and longitude. When both pairs are named X and Y are read;
// when 標高 and 楕円体高 both are, 標高.
std::optional<Header> header_of(const std::vector<std::string>& fields) {
    Header header;
    auto named = [&](Column c) {
        return std::find(header.columns.begin(), header.columns.end(), c) != header.columns.end();
    };
    for (const std::string& f : fields) {
        auto c = header_column(f);
        // A label met twice counts once, at its first column.
        if (c && named(*c)) c.reset();
        header.columns.push_back(c);
    }
    const bool plane = named(Column::x) && named(Column::y);
    const bool geographic = named(Column::latitude) && named(Column::longitude);
    if (!named(Column::name) || !(plane || geographic)) return std::nullopt;
    const bool height = named(Column::h);
    for (auto& c : header.columns)
        if ((plane && (c == Column::latitude || c == Column::longitude)) ||
            (height && c == Column::ellipsoidal_height))
            c.reset();
    header.from_latitude = !plane;
    header.needs_geoid = named(Column::ellipsoidal_height);
    return header;
}

char separator_of(const std::string& first_line) { return first_line.find(';') != std::string::npos ? ';' : ','; }

class CsvReader {
public:
    CsvReader(Output& out, const std::optional<ColumnOrder>& order, const ReadOptions& options)
        : out_(out), order_(order), options_(options) {}

    bool line(int number, const std::string& text) {
        if (!started_) return first(number, text);
        return row(number, text);
    }

    bool finish() { return out_.result().points > 0 || out_.fail({Code::E_NO_RECORDS, 0, 0, {}}); }

private:
    bool first(int number, const std::string& text) {
        started_ = true;
        separator_ = separator_of(text);
        rules_ = PointRules{separator_ == ';', false, &options_};
        if (auto header = header_of(split_csv(text, separator_))) {
            if (header->from_latitude && !options_.to_plane) return out_.fail({Code::E_NO_ZONE, number, 0, {}});
            if (header->needs_geoid && !options_.geoid_height) return out_.fail({Code::E_NEEDS_GEOID, number, 0, {}});
            columns_ = std::move(header->columns);
            rules_.from_latitude = header->from_latitude;
            limit_width_ = true;
            return true;
        }
        if (!order_) return out_.fail({Code::E_COLUMNS_UNKNOWN, 0, 0, {}});
        columns_.assign(order_->begin(), order_->end());
        return row(number, text);
    }

    bool row(int number, const std::string& text) {
        split_csv(text, separator_, fields_);
        const std::vector<std::string>& fields = fields_;
        if (limit_width_)
            for (std::size_t k = columns_.size(); k < fields.size(); ++k)
                if (!fields[k].empty()) return out_.fail({Code::E_TOO_MANY_FIELDS, number, 0, fields[k]});
        RawPoint raw;
        for (std::size_t k = 0; k < columns_.size() && k < fields.size(); ++k) {
            if (!columns_[k]) continue;
            switch (*columns_[k]) {
            case Column::number: raw.number = fields[k]; break;
            case Column::name: raw.name = fields[k]; break;
            case Column::x: raw.x = fields[k]; break;
            case Column::y: raw.y = fields[k]; break;
            case Column::h: raw.h = fields[k]; break;
            case Column::latitude: raw.latitude = fields[k]; break;
            case Column::longitude: raw.longitude = fields[k]; break;
            case Column::ellipsoidal_height: raw.ellipsoidal_height = fields[k]; break;
            }
        }
        FilePoint point;
        notes_.clear();
        if (auto e = make_point(raw, number, rules_, point, notes_)) return out_.fail(*e);
        return out_.add_point(std::move(point), notes_);
    }

    Output& out_;
    const std::optional<ColumnOrder>& order_;
    const ReadOptions& options_;
    bool started_ = false;
    char separator_ = ',';
    PointRules rules_;
    std::vector<std::optional<Column>> columns_;
    bool limit_width_ = false;
    std::vector<std::string> fields_;  // the row's, kept for their room
    std::vector<Diagnostic> notes_;
};

}  // namespace

StreamResult stream_sima(ByteSource& source, SeenNames& seen, const RecordSink& sink, const ReadOptions& options) {
    StreamResult result;
    Output out(seen, sink, result);
    SimaReader reader(out, options);
    read_lines(source, options.encoding, out, reader);
    return result;
}

StreamResult stream_csv(ByteSource& source, SeenNames& seen, const RecordSink& sink,
                        const std::optional<ColumnOrder>& order, const ReadOptions& options) {
    StreamResult result;
    Output out(seen, sink, result);
    CsvReader reader(out, order, options);
    read_lines(source, options.encoding, out, reader);
    return result;
}

CsvShape inspect_csv(ByteSource& source, int rows, std::optional<Encoding> encoding) {
    CsvShape shape;
    DecodedLines lines(source, encoding);
    while (static_cast<int>(shape.first_rows.size()) < rows && lines.next()) {
        if (shape.first_rows.empty()) shape.separator = separator_of(lines.text());
        auto fields = split_csv(lines.text(), shape.separator);
        if (shape.first_rows.empty()) shape.has_header = header_of(fields).has_value();
        shape.first_rows.push_back(std::move(fields));
    }
    shape.encoding = lines.encoding();
    shape.error = lines.error();
    return shape;
}

}  // namespace marula::job
