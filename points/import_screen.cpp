// The point list's import: a SIMA or CSV file chosen from the offered
// folders or typed as a path, its columns chosen when a CSV has no header,
// a preview of what it would do a page at a time (in the encoding the file
// was read in, or the other on E), then one transaction.
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <variant>

#include "base/files.h"
#include "base/printable.h"
#include "base/format.h"
#include "base/text_codec.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/screen.h"
#include "job/import.h"
#include "list_screen.h"

namespace marula::points {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCancelled = "読込を中止しました。何も取り込んでいません。";

// The .sim and .csv files an import offers: the job's folder, the home
// folder and its download folder, each sorted by name.
std::vector<fs::path> offered_files(const fs::path& job_folder) {
    std::vector<fs::path> folders{job_folder};
    if (const char* home = std::getenv("HOME"); home && *home) {
        folders.push_back(home);
        folders.push_back(fs::path(home) / "Downloads");
        folders.push_back(fs::path(home) / fs::path("ダウンロード"));
    }
    std::vector<fs::path> files;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        std::vector<fs::path> here;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            // Regular files only: a link may lead anywhere (a FIFO, a
            // device), and our own unfinished temporaries are never offered.
            std::error_code type_ec;
            if (it->symlink_status(type_ec).type() != fs::file_type::regular) continue;
            if (is_whole_file_temporary(it->path().filename().string())) continue;
            if (job::format_of(it->path().filename().string())) here.push_back(it->path());
        }
        std::sort(here.begin(), here.end());
        for (const fs::path& f : here)
            if (std::find(files.begin(), files.end(), f) == files.end()) files.push_back(f);
    }
    return files;
}

// The column order of a CSV without header: its first rows shown, the
// order chosen, the rows shown again as read, and confirmed.
std::optional<std::optional<job::ColumnOrder>> csv_columns(Runtime& rt, Session& session, ByteSource& source,
                                                          const std::string& name) {
    if (source.rewind()) return std::optional<job::ColumnOrder>{};  // the import says why
    job::CsvShape shape = job::inspect_csv(source, 5);
    if (shape.error || shape.has_header) return std::optional<job::ColumnOrder>{};  // the reader says why
    for (;;) {
        std::vector<std::string> lines{" " + name + "：見出し行がありません。列の順を選んで下さい。", ""};
        for (const auto& row : shape.first_rows) {
            std::string joined;
            for (std::size_t i = 0; i < row.size(); ++i) joined += (i ? " | " : " ") + row[i];
            lines.push_back(joined);
        }
        show_lines(rt, lines);
        const std::string typed = trim_blanks(ask_text(rt, 2, "列の順は（1:点名,X,Y,H 2:番号,点名,X,Y,H） "));
        if (typed.empty()) return std::nullopt;
        std::optional<job::ColumnOrder> order;
        const auto chosen = choice_of(typed, 2);
        if (chosen == 1)
            order = job::parse_column_order("name,x,y,h");
        else if (chosen == 2)
            order = job::parse_column_order("num,name,x,y,h");
        else
            order = job::parse_column_order(typed);
        if (!order) {
            session.say("1か2、または name,x,y,h のように入力して下さい。");
            continue;
        }
        // The first points as this order reads them: the read stops there.
        std::vector<job::Point> first;
        job::SeenNamesInMemory seen;
        std::optional<job::Diagnostic> error;
        if (source.rewind()) return std::optional<job::ColumnOrder>{};
        const job::StreamResult trial = job::stream_csv(
            source, seen,
            [&](const job::Record& record) {
                if (const auto* p = std::get_if<job::FilePoint>(&record)) first.push_back(p->point);
                return first.size() < 5;
            },
            *order, job::ReadOptions{shape.encoding, false, 0.0, {}});
        lines = {" " + name + "：この列の順で読んだ最初の点", ""};
        if (trial.error) {
            lines.push_back(" " + std::string(job::code_name(trial.error->code)) + " " +
                            std::to_string(trial.error->line) + "行：" + job::describe(*trial.error));
        }
        for (const job::Point& p : first) {
            lines.push_back(" " + format_using(kNameField, {p.name}) + " " + metres(p.x) + " " + metres(p.y) +
                            " " + (p.h ? metres(*p.h) : std::string()));
        }
        show_lines(rt, lines);
        if (confirm(rt, "この対応でよろしいですか（Y/N） ")) return order;
    }
}

// The preview's lines after its counts, a page at a time: the warnings,
// then the points that the import would replace (conflicts, each with the
// stored values over the file's), give a height, and add; read from the
// job's temporary table as the pages are shown, never all at once.
class PreviewFeed {
public:
    explicit PreviewFeed(const job::FileImport& import) : import_(import) {
        const job::ImportSummary& s = import.summary();
        for (const auto& w : s.warnings) {
            if (w.code == job::Code::W_ZONE_MISMATCH) continue;
            items_.push_back(wrapped(" " + std::string(job::code_name(w.code)) +
                                         (w.line > 0 ? " " + std::to_string(w.line) + "行" : std::string()) + "：" +
                                         job::describe(w),
                                     3));
        }
        if (s.unlisted_warnings > 0) items_.push_back({" ほか" + std::to_string(s.unlisted_warnings) + "件の注意"});
    }

    // The next item (one or more lines kept together); nothing at the end.
    std::optional<std::vector<std::string>> next() {
        if (items_.empty() && !fill()) return std::nullopt;
        std::vector<std::string> item = std::move(items_.front());
        items_.pop_front();
        return item;
    }
    // Puts an item back, for the next page.
    void put_back(std::vector<std::string> item) { items_.push_front(std::move(item)); }
    bool done() { return items_.empty() && !fill(); }
    const job::ReadTrouble& trouble() const { return trouble_; }

private:
    static constexpr job::ImportKind kOrder[] = {job::ImportKind::conflict, job::ImportKind::height_added,
                                                 job::ImportKind::added};

    static std::string values(const job::Point& point) {
        return metres(point.x) + " " + metres(point.y) + " " + (point.h ? metres(*point.h) : std::string());
    }

    // The next rows of the kind being listed, as items.
    bool fill() {
        while (kind_ < std::size(kOrder)) {
            auto rows = import_.rows(kOrder[kind_], after_, kPageRows);
            if (!rows.ok()) {
                trouble_ = rows.trouble;
                kind_ = std::size(kOrder);
                return false;
            }
            if (rows.value.empty()) {
                ++kind_;
                after_ = -1;
                continue;
            }
            after_ = rows.value.back().ordinal;
            for (const job::ImportRow& row : rows.value) items_.push_back(item_of(kOrder[kind_], row));
            return true;
        }
        return false;
    }

    static std::vector<std::string> item_of(job::ImportKind kind, const job::ImportRow& row) {
        const std::string name = format_using(kNameField, {row.file.name});
        switch (kind) {
        case job::ImportKind::conflict:
            return {" 競合 " + name + " " + std::to_string(row.line) + "行", "      登録済み" + values(*row.stored),
                    "      ファイル" + values(row.file)};
        case job::ImportKind::height_added: return {" 標高 " + name + values(row.file)};
        default: return {" 新規 " + name + values(row.file)};
        }
    }

    const job::FileImport& import_;
    std::deque<std::vector<std::string>> items_;
    std::size_t kind_ = 0;
    std::int64_t after_ = -1;
    job::ReadTrouble trouble_;
};

// The summary at the top of the preview's first page.
std::vector<std::string> preview_head(Session& session, const std::string& name, const job::ImportSummary& p) {
    auto count_line = [](std::string_view label, std::int64_t n) {
        return format_using(" &          &#####点", {std::string(label), double(n)});
    };
    std::vector<std::string> lines{" " + name + " の読込（まだ何も書き込んでいません）",
                                   count_line("新規", p.added),
                                   count_line("同一", p.identical),
                                   count_line("標高の追加", p.heights_added),
                                   count_line("競合", p.conflicts),
                                   format_using(" &          &#####件", {std::string("読み飛ばし"),
                                                                           double(p.skipped_records)}),
                                   " 文字コード      " + std::string(job::encoding_name(p.encoding)) +
                                       "（Eで読み直し）"};
    // A SIMA's lots: new parcels, and parcels of names the job holds (these
    // follow the choice of the conflicts).
    if (p.parcels_added + p.parcels_stored > 0)
        lines.push_back(format_using(" &          &#####件（うち登録済み#####件）",
                                     {std::string("画地"), double(p.parcels_added + p.parcels_stored),
                                      double(p.parcels_stored)}));
    if (p.zone_mismatch) {
        auto zone = [](std::optional<int> z) { return z ? std::to_string(*z) + "系" : std::string("なし"); };
        lines.push_back(" 注意：ファイルの座標系（" + zone(p.file_zone) + "）が現場の座標系（" +
                        zone(session.job()->header().zone) + "）と違います。");
    }
    return lines;
}

// One page of the preview: `lines` first, then as many whole items as fit.
void show_preview_page(Runtime& rt, std::vector<std::string> lines, PreviewFeed& feed) {
    const std::size_t rows = std::size_t(kStatusRow - kFirstRow + 1);
    while (auto item = feed.next()) {
        if (lines.size() + item->size() > rows) {
            feed.put_back(std::move(*item));
            break;
        }
        for (std::string& line : *item) lines.push_back(std::move(line));
    }
    show_lines(rt, lines);
}

// What the user answered to a preview.
enum class Answer { import, cancel, other_encoding };

job::Encoding other_than(job::Encoding e) {
    return e == job::Encoding::cp932 ? job::Encoding::utf8 : job::Encoding::cp932;
}

// The conflict choice, when there are conflicts; nothing for 中止.
std::optional<job::OnConflict> ask_conflicts(Runtime& rt, Session& session, const job::ImportSummary& s) {
    if (s.conflicts == 0 && s.parcels_stored == 0) return job::OnConflict::keep;
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "競合は（1:登録済みを残す 2:置き換える 3:中止） "));
        const auto chosen = typed.empty() ? std::optional<int>(1) : choice_of(typed, 3);
        if (chosen == 1) return job::OnConflict::keep;
        if (chosen == 2) return job::OnConflict::replace;
        if (chosen == 3) return std::nullopt;
        session.say("1、2、3のどれかを入力して下さい。");
    }
}

// The preview a page at a time: Enter shows the next page, Y or N answers
// on any page, E reads the file again in the other encoding. After the last
// page come the conflict choice (when there are conflicts) and
// 「読み込みますか（Y/N）」, as for a file that fits one page.
Answer preview(Runtime& rt, Session& session, const std::string& name, const job::FileImport& import,
               job::OnConflict& choice) {
    auto is_e = [](const std::string& t) { return t == "E" || t == "e" || t == "Ｅ" || t == "ｅ"; };
    auto is_n = [](const std::string& t) { return t == "N" || t == "n" || t == "Ｎ" || t == "ｎ"; };
    PreviewFeed feed(import);
    show_preview_page(rt, preview_head(session, name, import.summary()), feed);
    bool answered_yes = false;
    while (!feed.done()) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "次の頁はEnter　読み込みますか（Y/N） "));
        if (is_e(typed)) return Answer::other_encoding;
        if (is_n(typed)) return Answer::cancel;
        if (is_yes(typed)) {
            answered_yes = true;
            break;
        }
        if (!typed.empty()) session.say("Enter、Y、N、Eのどれかを入力して下さい。");
        else show_preview_page(rt, {}, feed);
    }
    if (feed.trouble()) {
        session.say(*feed.trouble());
        return Answer::cancel;
    }
    const auto chosen = ask_conflicts(rt, session, import.summary());
    if (!chosen) return Answer::cancel;
    choice = *chosen;
    if (answered_yes) return Answer::import;
    const std::string typed = trim_blanks(ask_text(rt, 2, "読み込みますか（Y/N） "));
    if (is_e(typed)) return Answer::other_encoding;
    return is_yes(typed) ? Answer::import : Answer::cancel;
}

// A file that cannot be read: why, and Enter back to the list.
void show_refusal(Runtime& rt, const std::string& shown_name, const job::Diagnostic& d, job::Encoding encoding) {
    std::string where = shown_name + (d.line > 0 ? ":" + std::to_string(d.line) : std::string());
    std::vector<std::string> lines{" 読み込めません。何も取り込んでいません。", "",
                                   " " + where + ": " + std::string(job::code_name(d.code))};
    for (std::string& row : wrapped(" " + job::describe(d), 1)) lines.push_back(std::move(row));
    if (d.code == job::Code::E_ENCODING)
        lines.push_back(" （" + std::string(job::encoding_name(encoding)) + " として読みました）");
    show_lines(rt, lines);
    pause(rt, "");
}

}  // namespace

std::string import_points(Runtime& rt, Session& session) {
    erase_key_bar(rt, KeyBar::Table);
    std::vector<fs::path> files = offered_files(session.job()->folder());
    std::vector<std::string> lines{" 読み込むファイル（.sim / .csv）"};
    for (std::size_t i = 0; i < files.size() && i < std::size_t(kPageRows - 1); ++i)
        lines.push_back(format_using(" ## ", {double(i + 1)}) + files[i].string());
    if (files.empty()) lines.push_back(" （ファイルが見つかりません。パスを入力して下さい）");
    if (files.size() > std::size_t(kPageRows - 1))
        lines.push_back(" ほか" + std::to_string(files.size() - (kPageRows - 1)) + "件（パスを入力して下さい）");
    show_lines(rt, lines);

    fs::path file;
    std::optional<job::PointFileInput> input;
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "ファイルの番号またはパスは "));
        if (typed.empty()) return {};
        auto index = choice_of(typed, int(std::min<std::size_t>(files.size(), kPageRows - 1)));
        file = index ? files[*index - 1] : fs::path(typed);
        // "~/" is the home folder, as at a shell; other relative paths
        // start at the job's folder.
        if (const char* home = std::getenv("HOME"); !index && home && typed.starts_with("~/"))
            file = fs::path(home) / typed.substr(2);
        if (file.is_relative() && !index) file = session.job()->folder() / file;
        if (!job::format_of(file.filename().string())) {
            session.say("拡張子が .sim か .csv のファイルを選んで下さい。");
            continue;
        }
        std::error_code ec;
        if (!fs::exists(file, ec)) {
            session.say("ファイルがありません：" + printable(file.filename().string()));
            continue;
        }
        // Opened once, and only a regular file: a FIFO or a device is
        // refused before a byte is read.
        input.emplace(job::PointFileInput::open(file));
        if (input->ok()) break;
        session.say("ファイルを読めません：" + printable(file.filename().string()) + "（" +
                    job::describe(*input->error) + "）");
    }

    const std::string shown_name = printable(file.filename().string());
    job::ImportRequest request;
    request.format = *job::format_of(file.filename().string());
    if (request.format == job::FileFormat::csv) {
        auto order = csv_columns(rt, session, input->source(), shown_name);
        if (!order) return {};
        request.order = *order;
    }
    job::FileImport import(*session.job());
    for (;;) {
        const job::ImportSummary& read = import.read(input->source(), request);
        if (read.trouble) {
            session.say(*read.trouble);
            return {};
        }
        if (read.error) {
            show_refusal(rt, shown_name, *read.error, read.encoding);
            return {};
        }
        job::OnConflict choice = job::OnConflict::keep;
        const Answer answer = preview(rt, session, shown_name, import, choice);
        if (answer == Answer::cancel) return std::string(kCancelled);
        if (answer == Answer::other_encoding) {
            request.encoding = other_than(read.encoding);
            continue;
        }
        job::ImportOutcome outcome = import.apply(choice, {std::string(kProgram), file.filename().string()});
        if (!outcome.result.ok()) {
            session.say(outcome.result.message);
            return {};
        }
        std::string done = "読込：新規" + std::to_string(outcome.added) + " 標高追加" +
                           std::to_string(outcome.heights_added) + " 置換" + std::to_string(outcome.replaced) +
                           " 残す" + std::to_string(outcome.kept);
        if (const int parcels = outcome.parcels_added + outcome.parcels_replaced; parcels > 0)
            done += " 画地" + std::to_string(parcels);
        return done;
    }
}

}  // namespace marula::points
