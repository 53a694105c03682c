// The point list's import: a SIMA or CSV file chosen from the offered
// folders or typed as a path, its columns chosen when a CSV has no header,
// a preview of what it would do, then one transaction.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "base/files.h"
#include "base/format.h"
#include "base/text_codec.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/screen.h"
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
std::optional<std::optional<job::ColumnOrder>> csv_columns(Runtime& rt, Session& session, const std::string& bytes,
                                                          const std::string& name) {
    job::CsvShape shape = job::inspect_csv(bytes, 5);
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
        job::ReadResult trial = job::read_csv(bytes, *order);
        lines = {" " + name + "：この列の順で読んだ最初の点", ""};
        if (!trial.ok()) {
            lines.push_back(" " + std::string(job::code_name(trial.error->code)) + " " +
                            std::to_string(trial.error->line) + "行：" + job::describe(*trial.error));
        }
        for (std::size_t i = 0; i < trial.file.points.size() && i < 5; ++i) {
            const job::Point& p = trial.file.points[i].point;
            lines.push_back(" " + format_using(kNameField, {p.name}) + " " + metres(p.x) + " " + metres(p.y) +
                            " " + (p.h ? metres(*p.h) : std::string()));
        }
        show_lines(rt, lines);
        if (confirm(rt, "この対応でよろしいですか（Y/N） ")) return order;
    }
}

void show_preview(Runtime& rt, Session& session, const std::string& name, const job::ImportPreview& p) {
    auto count_line = [](std::string_view label, std::size_t n) {
        return format_using(" &          &#####点", {std::string(label), double(n)});
    };
    std::vector<std::string> lines{" " + name + " の読込（まだ何も書き込んでいません）",
                                   count_line("新規", p.new_points.size()),
                                   count_line("同一", p.identical.size()),
                                   count_line("標高の追加", p.heights_added.size()),
                                   count_line("競合", p.conflicts.size()),
                                   format_using(" &          &#####件", {std::string("読み飛ばし"),
                                                                           double(p.skipped_records)})};
    if (p.zone_mismatch) {
        auto zone = [](std::optional<int> z) { return z ? std::to_string(*z) + "系" : std::string("なし"); };
        lines.push_back(" 注意：ファイルの座標系（" + zone(p.file_zone) + "）が現場の座標系（" +
                        zone(session.job()->header().zone) + "）と違います。");
    }
    // Each conflict: its name and line, the stored values over the file's.
    auto values = [](const job::Point& point) {
        return metres(point.x) + " " + metres(point.y) + " " + (point.h ? metres(*point.h) : std::string());
    };
    for (const auto& c : p.conflicts) {
        if (lines.size() >= 15) break;
        lines.push_back(" 競合 " + format_using(kNameField, {c.stored.name}) + " " + std::to_string(c.line) + "行");
        lines.push_back("      登録済み" + values(c.stored));
        lines.push_back("      ファイル" + values(c.file));
    }
    for (const auto& w : p.warnings) {
        if (w.code == job::Code::W_ZONE_MISMATCH) continue;
        for (std::string& row : wrapped(" " + std::string(job::code_name(w.code)) +
                                            (w.line > 0 ? " " + std::to_string(w.line) + "行" : std::string()) +
                                            "：" + job::describe(w),
                                        3))
            lines.push_back(std::move(row));
    }
    show_lines(rt, lines);
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
    std::string bytes;
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
        if (!fs::is_regular_file(file, ec)) {
            session.say("ファイルがありません：" + file.filename().string());
            continue;
        }
        if (auto read = read_file(file)) {
            bytes = std::move(*read);
            break;
        }
        session.say("ファイルを読めません：" + file.filename().string());
    }

    const std::string shown_name = file.filename().string();
    job::ReadResult read;
    if (*job::format_of(shown_name) == job::FileFormat::sima) {
        read = job::read_sima(bytes);
    } else {
        auto order = csv_columns(rt, session, bytes, shown_name);
        if (!order) return {};
        read = job::read_csv(bytes, *order);
    }
    if (!read.ok()) {
        const job::Diagnostic& d = *read.error;
        std::string where = shown_name + (d.line > 0 ? ":" + std::to_string(d.line) : std::string());
        std::vector<std::string> lines{" 読み込めません。何も取り込んでいません。", "",
                                       " " + where + ": " + std::string(job::code_name(d.code))};
        for (std::string& row : wrapped(" " + job::describe(d), 1)) lines.push_back(std::move(row));
        show_lines(rt, lines);
        pause(rt, "");
        return {};
    }

    const job::ImportPreview preview = session.job()->preview_import(read.file);
    if (preview.trouble) {
        session.say(*preview.trouble);
        return {};
    }
    show_preview(rt, session, shown_name, preview);
    job::OnConflict choice = job::OnConflict::keep;
    if (!preview.conflicts.empty()) {
        for (;;) {
            const std::string typed = trim_blanks(ask_text(rt, 2, "競合は（1:登録済みを残す 2:置き換える 3:中止） "));
            const auto chosen = typed.empty() ? std::optional<int>(1) : choice_of(typed, 3);
            if (chosen == 1) break;
            if (chosen == 2) {
                choice = job::OnConflict::replace;
                break;
            }
            if (chosen == 3) return std::string(kCancelled);
            session.say("1、2、3のどれかを入力して下さい。");
        }
    }
    if (!confirm(rt, "読み込みますか（Y/N） ")) return std::string(kCancelled);
    job::ImportOutcome outcome = session.job()->apply_import(read.file, choice, {std::string(kProgram), shown_name});
    if (!outcome.result.ok()) {
        session.say(outcome.result.message);
        return {};
    }
    return "読込：新規" + std::to_string(outcome.added) + " 標高追加" + std::to_string(outcome.heights_added) +
           " 置換" + std::to_string(outcome.replaced) + " 残す" + std::to_string(outcome.kept);
}

}  // namespace marula::points
