// points (座標管理): the job's coordinate list, a page at a time, with its
// corrections, additions and deletions, the printed list, import and export
// of SIMA and CSV files, and the change of job.
//
// The screen: the title and the job on row 0, field numbers and headings on
// rows 1-2, nineteen points on rows 3-21 (number, name, X, Y, H), the page
// and messages on row 22, questions and the key bar on row 23. Every change
// goes through the job library, which stores it whole or not at all.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "frame/bounded_entry.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "job/job.h"
#include "job/journal.h"
#include "base/files.h"
#include "base/format.h"
#include "base/text_codec.h"
#include "session/session.h"

namespace marula {
namespace {

namespace fs = std::filesystem;

constexpr int kFirstRow = 3;
constexpr int kPageRows = 19;
constexpr int kStatusRow = 22;
constexpr int kEntryColor = 0;
constexpr int kNumberColor = 1;
constexpr int kMessageColor = 1;
constexpr int kChangedColor = 12;
constexpr std::string_view kProgram = "points";
constexpr std::string_view kReadOnlyNotice = "この現場は読み取り専用です。変更は保存できません。";

const Title kTitle{" 座 標 管 理 ", 1, 0, {6, 0, 113, 16}, {5, 0, 114, 17}};

// The columns of a point's row.
constexpr int kNumberColumn = 0;  // "######"
constexpr int kNameColumn = 7;    // 20 columns, as a name's 20 CP932 bytes
constexpr int kXColumn = 28;      // "#########.###"
constexpr int kYColumn = 42;
constexpr int kHColumn = 56;
constexpr std::string_view kNameField = "&                  &";
constexpr std::string_view kCoordinateField = "#########.###";

// Texts placed at columns on one row.
std::string placed(std::initializer_list<std::pair<int, std::string_view>> pieces) {
    std::string row;
    int width = 0;
    for (const auto& [column, text] : pieces) {
        if (column > width) {
            row.append(std::size_t(column - width), ' ');
            width = column;
        }
        row += text;
        width += display_width(text);
    }
    return row;
}

const Heading kHeading{placed({{kNameColumn + 2, "1"}, {kXColumn + 8, "2"}, {kYColumn + 8, "3"}, {kHColumn + 8, "4"}}),
                       0, 1,
                       placed({{1, "番 号"}, {kNameColumn + 1, "点　名"}, {kXColumn + 5, "Ｘ座標"},
                               {kYColumn + 5, "Ｙ座標"}, {kHColumn + 5, "標　高"}}),
                       0, 2, {0, 36, 567, 53}};

// The key bars: the list's own, the files and jobs behind its F7, and the
// bar of a program that has no job. An empty label is a key not bound.
using Labels = std::array<std::string_view, 8>;
constexpr Labels kListBar{"F1 訂 正", "F2 追 加", "F3 削 除", "F4 印 刷",
                          "F5 前 頁", "F6 次 頁", "F7 その他", "F8 MENU"};
constexpr Labels kOtherBar{"F1 読 込", "F2 書 出", "F3現場切替", "F4入力記録", "F5 戻 る", "", "F7 MENU", "F8 終 了"};
constexpr Labels kNoJobBar{"", "", "", "", "", "", "F7 MENU", "F8 終 了"};
constexpr Labels kNoJobWindowBar{"", "", "F3現場切替", "", "", "", "F7 MENU", "F8 終 了"};

// The bar drawn as the calculation programs' eight-key bar, with these labels.
void draw_bar(Runtime& rt, const Labels& labels) {
    rt.console(kPromptRow, 1);
    rt.window(0, 0, 639, 431);
    rt.view(0, 0, 639, 431);
    rt.fill_box(0, 400, 640, 432, 15);
    clear_prompt_row(rt);
    rt.all_keys(Trap::Off);
    for (int k = 0; k < 8; ++k) {
        if (labels[k].empty()) continue;
        int x = 80 * k;
        rt.fill_box(x, 412, x + 76, 429, 14);
        rt.fill_box(x, 412, x + 16, 429, 1);
        shadowed_box(rt, {x, 412, x + 76, 429}, 1, 1);
        print_at(rt, 10 * k, kPromptRow, labels[k], 0, kStyleNormal);
        rt.key_trap(k + 1, Trap::On);
    }
    rt.color(0, kStyleNormal);
}

// Waits for a key the bar binds, flashes its box and switches the keys off.
int wait_bar_key(Runtime& rt, const Labels& labels) {
    for (;;) {
        auto ev = rt.wait_event();
        if (!ev || ev->type != Event::Type::Key || ev->key < 1 || ev->key > 8 || labels[ev->key - 1].empty()) continue;
        flash_key(rt, KeyBar::Table, ev->key);
        rt.all_keys(Trap::Off);
        return ev->key;
    }
}

// An answer without the blanks (half- and full-width) typed around it.
std::string trimmed(std::string_view text) { return trim_blanks(text); }

// A line cut into rows of the screen's width; the rows after the first
// start with `indent` blanks.
std::vector<std::string> wrapped(std::string_view text, int indent) {
    std::vector<std::string> rows{std::string()};
    int width = 0;
    for (const std::string& ch : split_chars(text)) {
        int w = char_width(decode_char(ch));
        if (width + w > kColumns - 1) {
            rows.push_back(std::string(std::size_t(indent), ' '));
            width = indent;
        }
        rows.back() += ch;
        width += w;
    }
    return rows;
}

// A menu answer "1", "2" … (full-width digits too); nothing for anything else.
std::optional<int> choice_of(std::string_view answer, int last) {
    auto value = parse_number(trimmed(answer));
    return value ? whole_number_in(*value, 1, last) : std::nullopt;
}

std::string metres(job::Millimetres mm) { return format_using(kCoordinateField, {job::to_metres(mm)}); }

// A file name made of a job's name: characters a folder name cannot hold
// become '_'.
std::string file_stem(std::string_view name) {
    std::string stem;
    for (char c : name) stem += (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
                                 c == '<' || c == '>' || c == '|' || (unsigned char)c < 0x20)
                                    ? '_'
                                    : c;
    if (stem.empty() || stem == "." || stem == "..") stem = "points";
    return stem;
}

// The first name free in `folder`: stem.ext, then stem_2.ext, stem_3.ext …
fs::path free_file_name(const fs::path& folder, const std::string& stem, std::string_view ext) {
    fs::path file = folder / fs::path(stem + std::string(ext));
    for (int n = 2; fs::exists(file); ++n) file = folder / fs::path(stem + "_" + std::to_string(n) + std::string(ext));
    return file;
}

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
            std::error_code type_ec;
            if (!it->is_regular_file(type_ec)) continue;
            if (job::format_of(it->path().filename().string())) here.push_back(it->path());
        }
        std::sort(here.begin(), here.end());
        for (const fs::path& f : here)
            if (std::find(files.begin(), files.end(), f) == files.end()) files.push_back(f);
    }
    return files;
}

constexpr ReportLayout kPointsReport{.paper = Paper::a4_portrait,
                                     .title = "                        座 標 一 覧",
                                     .by_line = "  By MARULA   ",
                                     .body_pitch = {111, 240},
                                     .empty_after_title = 2};
constexpr int kReportRows = 40;
constexpr int kPagesWithoutAsking = 10;

class PointList {
public:
    PointList(Runtime& rt, Session& session) : rt_(rt), session_(session) {}

    [[noreturn]] void run() {
        start_screen(rt_);
        shown_job();
        for (;;) {
            if (!job_()) {
                without_job();
                continue;
            }
            draw_bar(rt_, kListBar);
            switch (wait_bar_key(rt_, kListBar)) {
                case 1: correct(); break;
                case 2: add(); break;
                case 3: remove(); break;
                case 4: print(); break;
                case 5: turn_page(-1); break;
                case 6: turn_page(+1); break;
                case 7: other(); break;
                case 8: to_menu(); break;
            }
        }
    }

private:
    // A notice on the prompt row, cut to the row (a damaged job said once).
    void say(std::string_view message) { session_.say(message); }

    // The menu (RUN closes the job first, so the next program finds it free).
    void to_menu() { rt_.run(rt_.menu_program()); }

    // ---- the job --------------------------------------------------------
    job::Job* job_() { return session_.job(); }
    const job::Job* job_() const { return session_.job(); }

    // The session's job shown from its first page.
    void shown_job() {
        page_ = 0;
        reload();
        redraw();
        if (job_() && !session_.open_message().empty()) say(session_.open_message());  // read-only: said once
    }

    void open(const fs::path& folder) {
        session_.switch_to(folder);
        shown_job();
    }

    void reload() {
        points_.clear();
        if (job_()) {
            auto all = job_()->points();
            session_.say_trouble(all.trouble);
            points_ = std::move(all.value);
        }
        page_ = std::clamp(page_, 0, page_count() - 1);
    }

    int page_count() const { return std::max(1, int((points_.size() + kPageRows - 1) / kPageRows)); }

    // The page that shows the point of this number.
    void show_number(std::int64_t number) {
        for (std::size_t i = 0; i < points_.size(); ++i)
            if (points_[i].number == number) page_ = int(i / kPageRows);
    }

    // ---- display --------------------------------------------------------
    void redraw() {
        rt_.console(0, kRows);
        rt_.window(0, 0, 639, 431);
        rt_.view(0, 0, 639, 431);
        rt_.cls(0);
        draw_title(rt_, kTitle);
        if (job_()) {
            std::string header = "現場：" + job_()->display_name();
            if (auto zone = job_()->header().zone) header += "　座標系：" + std::to_string(*zone) + "系";
            if (job_()->read_only()) header += "　（読み取り専用）";
            print_at(rt_, 16, 0, header, kMessageColor, kStylePlain);
        }
        draw_heading(rt_, kHeading, 0);
        if (job_()) show_page();
    }

    void clear_table() {
        for (int row = kFirstRow; row <= kStatusRow; ++row) print_at(rt_, 0, row, std::string(kColumns, ' '), 0);
    }

    void show_row(int row, const job::Point& p, int color) {
        print_at(rt_, kNumberColumn, row, format_using("######", {double(p.number)}), kNumberColor);
        print_at(rt_, kNameColumn, row, format_using(kNameField, {p.name}), color);
        print_at(rt_, kXColumn, row, metres(p.x), color);
        print_at(rt_, kYColumn, row, metres(p.y), color);
        print_at(rt_, kHColumn, row, p.h ? metres(*p.h) : std::string(kCoordinateField.size(), ' '), color);
    }

    void show_page() {
        clear_table();
        const std::size_t first = std::size_t(page_) * kPageRows;
        for (std::size_t i = first; i < points_.size() && i < first + kPageRows; ++i)
            show_row(kFirstRow + int(i - first), points_[i], kEntryColor);
        show_status();
    }

    void show_status(std::string_view message = {}) {
        print_at(rt_, 0, kStatusRow, std::string(kColumns, ' '), 0);
        std::string line = " 頁 " + std::to_string(page_ + 1) + "/" + std::to_string(page_count()) + "　全" +
                           std::to_string(points_.size()) + "点";
        print_at(rt_, 0, kStatusRow, line, kMessageColor, kStylePlain);
        if (points_.empty() && message.empty()) message = "点はまだありません。F2 で追加、F7 の読込で取り込めます。";
        if (!message.empty())
            print_at(rt_, std::max(22, display_width(line) + 2), kStatusRow, message, kChangedColor, kStyleNormal);
    }

    // The row of a point on the page shown, when it is there.
    std::optional<int> row_of(std::int64_t number) const {
        const std::size_t first = std::size_t(page_) * kPageRows;
        for (std::size_t i = first; i < points_.size() && i < first + kPageRows; ++i)
            if (points_[i].number == number) return kFirstRow + int(i - first);
        return std::nullopt;
    }

    void turn_page(int step) {
        const int next = page_ + step;
        if (next < 0 || next >= page_count()) {
            rt_.beep();
            return;
        }
        page_ = next;
        reload();  // another program may have changed the job meanwhile
        show_page();
    }

    // After a write: the list read again, the page of `number` shown.
    void after_write(std::int64_t number, std::string_view message) {
        reload();
        if (number > 0) show_number(number);
        show_page();
        show_status(message);
        if (number > 0)
            if (auto row = row_of(number); row)
                for (const auto& p : points_)
                    if (p.number == number) show_row(*row, p, kChangedColor);
    }

    // ---- entries ----------------------------------------------------------
    // A point's number: nothing when the answer is empty (the question is
    // given up); a number no point has is refused and asked again.
    std::optional<job::Point> ask_point(std::string_view prompt) {
        for (;;) {
            const std::string typed = trimmed(ask_text(rt_, 2, prompt));
            if (typed.empty()) return std::nullopt;
            auto value = parse_number(typed);
            auto number = value ? whole_number_in(*value, 1, 2'000'000'000) : std::nullopt;
            if (number) {
                const auto p = job_()->find_number(*number);
                if (!p.ok()) {
                    say(*p.trouble);
                    continue;
                }
                if (p.value) return p.value;
            }
            say("その番号の点はありません。");
        }
    }

    // A name under the names' rules, not yet stored under another point.
    // Empty gives nothing (given up, or the name kept under correction).
    std::optional<std::string> ask_name(std::string_view prompt, std::int64_t own_number = 0) {
        for (;;) {
            const std::string typed = ask_text(rt_, 2, prompt);
            if (trimmed(typed).empty()) return std::nullopt;
            job::NameCheck check = job::check_name(typed);
            if (!check.ok()) {
                say(job::describe(check.problem));
                continue;
            }
            const auto stored = job_()->find(check.name);
            if (!stored.ok()) {
                say(*stored.trouble);
                continue;
            }
            if (stored.value && stored.value->number != own_number) {
                say("その点名はすでにあります（番号" + std::to_string(stored.value->number) + "）。");
                continue;
            }
            if (auto near = job_()->near_miss(check.name); near.ok() && near.value)
                say("似た点名「" + *near.value + "」があります（全角・半角、大文字・小文字の違い）。");
            return check.name;
        }
    }

    job::Millimetres ask_coordinate(std::string_view prompt, std::optional<job::Millimetres> preset = std::nullopt) {
        std::optional<double> typed_preset;
        if (preset) typed_preset = job::to_metres(*preset);
        for (;;) {
            double value = ask_coordinate_entry(rt_, 2, prompt, typed_preset);
            if (auto mm = job::to_millimetres(value)) return *mm;
            say(kCoordinateTooLarge);
        }
    }

    // A height: empty keeps `keep` (nothing for a new point), "＊" or "*"
    // takes the height away.
    std::optional<job::Millimetres> ask_height(std::string_view prompt, std::optional<job::Millimetres> keep) {
        for (;;) {
            const std::string typed = trimmed(ask_text(rt_, 2, prompt));
            if (typed.empty()) return keep;
            if (typed == "*" || typed == "＊") return std::nullopt;
            if (auto mm = job::parse_millimetres(typed)) return mm;
            say("標高は1億m未満の数値で入力して下さい。");
        }
    }

    bool confirm(std::string_view question) { return is_yes(ask_text(rt_, 2, question)); }

    void report(const job::WriteResult& result, std::string_view done_message) {
        if (result.ok()) {
            after_write(result.number, done_message);
        } else {
            say(result.message);
            reload();
            show_page();
        }
    }

    job::Origin origin() const { return {std::string(kProgram), "入力"}; }

    // A read-only job offers its points but takes no change: said at once,
    // before any question.
    bool writable() {
        if (!job_()->read_only()) return true;
        say(kReadOnlyNotice);
        return false;
    }

    // ---- F1 correction ------------------------------------------------------
    void correct() {
        if (!writable()) return;
        erase_key_bar(rt_, KeyBar::Table);
        auto point = ask_point("訂正する点の番号は ");
        if (!point) return;
        show_number(point->number);
        show_page();
        if (auto row = row_of(point->number)) show_row(*row, *point, kOldValueColor);
        job::PointEdit edit;
        if (auto name = ask_name("正しい点名は（そのままはEnter） ", point->number); name && *name != point->name)
            edit.name = *name;
        if (auto x = ask_coordinate("正しいＸ座標は ", point->x); x != point->x) edit.x = x;
        if (auto y = ask_coordinate("正しいＹ座標は ", point->y); y != point->y) edit.y = y;
        if (auto h = ask_height("正しい標高は（消すには＊） ", point->h); h != point->h) edit.h = h;
        if (!edit.name && !edit.x && !edit.y && !edit.h) {
            show_page();
            return;
        }
        report(job_()->correct(point->number, edit, origin()), "訂正しました：番号" + std::to_string(point->number));
    }

    // ---- F2 addition ----------------------------------------------------------
    void add() {
        if (!writable()) return;
        erase_key_bar(rt_, KeyBar::Table);
        auto name = ask_name("追加する点名は ");
        if (!name) return;
        job::Point p;
        p.name = *name;
        p.x = ask_coordinate("Ｘ座標は ");
        p.y = ask_coordinate("Ｙ座標は ");
        p.h = ask_height("標高は（無しはEnter） ", std::nullopt);
        report(job_()->add(p, origin()), "追加しました：" + p.name);
    }

    // ---- F3 deletion ------------------------------------------------------------
    void remove() {
        if (!writable()) return;
        erase_key_bar(rt_, KeyBar::Table);
        auto point = ask_point("削除する点の番号は ");
        if (!point) return;
        show_number(point->number);
        show_page();
        if (auto row = row_of(point->number)) show_row(*row, *point, kOldValueColor);
        if (!confirm("番号" + std::to_string(point->number) + "「" + point->name + "」を削除しますか（Y/N） ")) {
            show_page();
            return;
        }
        job::WriteResult result = job_()->remove(point->name, origin());
        if (result.ok()) result.number = 0;
        report(result, "削除しました：" + point->name);
    }

    // ---- F4 printed list ----------------------------------------------------------
    void print() {
        reload();
        if (points_.empty()) {
            rt_.beep();
            return;
        }
        const int pages = int((points_.size() + kReportRows - 1) / kReportRows);
        // A long job would fill the printer's tray unasked.
        if (pages > kPagesWithoutAsking) {
            erase_key_bar(rt_, KeyBar::Table);
            if (!confirm(std::to_string(pages) + "枚になります。印刷しますか（Y/N） ")) return;
        }
        std::string header = "  現場：" + job_()->display_name();
        if (auto zone = job_()->header().zone) header += "　座標系：" + std::to_string(*zone) + "系";
        for (int page = 0; page < pages; ++page) {
            begin_report(rt_, kPointsReport);
            rt_.lprint(header + "　（" + std::to_string(page + 1) + "/" + std::to_string(pages) + "頁）");
            rt_.lprint("");
            rt_.lprint("    番号  点　名                   Ｘ座標         Ｙ座標         標　高");
            const std::size_t first = std::size_t(page) * kReportRows;
            for (std::size_t i = first; i < points_.size() && i < first + kReportRows; ++i) {
                const job::Point& p = points_[i];
                rt_.lprint(format_using("  ######  ", {double(p.number)}) + format_using(kNameField, {p.name}) + "  " +
                           metres(p.x) + "  " + metres(p.y) + (p.h ? "  " + metres(*p.h) : std::string()));
            }
            end_report(rt_);
        }
        show_status("印刷しました（" + std::to_string(pages) + "枚）");
    }

    // ---- F7 files and jobs ----------------------------------------------------------
    void other() {
        draw_bar(rt_, kOtherBar);
        switch (wait_bar_key(rt_, kOtherBar)) {
            case 1: import(); break;
            case 2: export_points(); break;
            case 3: change_job(); break;
            case 4: reopen(); break;
            case 5: break;
            case 7: to_menu(); break;
            case 8: farewell(rt_);
        }
    }

    // A screen of lines in the table's place, for lists and previews.
    void show_lines(const std::vector<std::string>& lines, int first_row = kFirstRow) {
        clear_table();
        int row = first_row;
        for (const std::string& line : lines) {
            if (row > kStatusRow) break;
            print_at(rt_, 0, row++, line, kEntryColor);
        }
    }

    void pause(std::string_view message) { ask_text(rt_, 2, std::string(message) + "（Enterで一覧に戻ります） "); }

    void import() {
        if (!writable()) return;
        erase_key_bar(rt_, KeyBar::Table);
        std::vector<fs::path> files = offered_files(job_()->folder());
        std::vector<std::string> lines{" 読み込むファイル（.sim / .csv）"};
        for (std::size_t i = 0; i < files.size() && i < std::size_t(kPageRows - 1); ++i)
            lines.push_back(format_using(" ## ", {double(i + 1)}) + files[i].string());
        if (files.empty()) lines.push_back(" （ファイルが見つかりません。パスを入力して下さい）");
        if (files.size() > std::size_t(kPageRows - 1))
            lines.push_back(" ほか" + std::to_string(files.size() - (kPageRows - 1)) + "件（パスを入力して下さい）");
        show_lines(lines);

        fs::path file;
        std::string bytes;
        for (;;) {
            const std::string typed = trimmed(ask_text(rt_, 2, "ファイルの番号またはパスは "));
            if (typed.empty()) return show_page();
            auto index = choice_of(typed, int(std::min<std::size_t>(files.size(), kPageRows - 1)));
            file = index ? files[*index - 1] : fs::path(typed);
            // "~/" is the home folder, as at a shell; other relative paths
            // start at the job's folder.
            if (const char* home = std::getenv("HOME"); !index && home && typed.starts_with("~/"))
                file = fs::path(home) / typed.substr(2);
            if (file.is_relative() && !index) file = job_()->folder() / file;
            if (!job::format_of(file.filename().string())) {
                say("拡張子が .sim か .csv のファイルを選んで下さい。");
                continue;
            }
            std::error_code ec;
            if (!fs::is_regular_file(file, ec)) {
                say("ファイルがありません：" + file.filename().string());
                continue;
            }
            if (auto read = read_file(file)) {
                bytes = std::move(*read);
                break;
            }
            say("ファイルを読めません：" + file.filename().string());
        }

        const std::string shown_name = file.filename().string();
        job::ReadResult read;
        if (*job::format_of(shown_name) == job::FileFormat::sima) {
            read = job::read_sima(bytes);
        } else {
            auto order = csv_columns(bytes, shown_name);
            if (!order) return show_page();
            read = job::read_csv(bytes, *order);
        }
        if (!read.ok()) {
            const job::Diagnostic& d = *read.error;
            std::string where = shown_name + (d.line > 0 ? ":" + std::to_string(d.line) : std::string());
            std::vector<std::string> lines{" 読み込めません。何も取り込んでいません。", "",
                                           " " + where + ": " + std::string(job::code_name(d.code))};
            for (std::string& row : wrapped(" " + job::describe(d), 1)) lines.push_back(std::move(row));
            show_lines(lines);
            pause("");
            return show_page();
        }

        const job::ImportPreview preview = job_()->preview_import(read.file);
        show_preview(shown_name, preview);
        job::OnConflict choice = job::OnConflict::keep;
        if (!preview.conflicts.empty()) {
            for (;;) {
                const std::string typed = trimmed(ask_text(rt_, 2, "競合は（1:登録済みを残す 2:置き換える 3:中止） "));
                const auto chosen = typed.empty() ? std::optional<int>(1) : choice_of(typed, 3);
                if (chosen == 1) break;
                if (chosen == 2) {
                    choice = job::OnConflict::replace;
                    break;
                }
                if (chosen == 3) return cancelled();
                say("1、2、3のどれかを入力して下さい。");
            }
        }
        if (!confirm("読み込みますか（Y/N） ")) return cancelled();
        job::ImportOutcome outcome = job_()->apply_import(read.file, choice, {std::string(kProgram), shown_name});
        if (!outcome.result.ok()) {
            say(outcome.result.message);
            reload();
            return show_page();
        }
        reload();
        show_page();
        show_status("読込：新規" + std::to_string(outcome.added) + " 標高追加" + std::to_string(outcome.heights_added) +
                    " 置換" + std::to_string(outcome.replaced) + " 残す" + std::to_string(outcome.kept));
    }

    void cancelled() {
        show_page();
        show_status("読込を中止しました。何も取り込んでいません。");
    }

    // The column order of a CSV without header: its first rows shown, the
    // order chosen, the rows shown again as read, and confirmed.
    std::optional<std::optional<job::ColumnOrder>> csv_columns(const std::string& bytes, const std::string& name) {
        job::CsvShape shape = job::inspect_csv(bytes, 5);
        if (shape.error || shape.has_header) return std::optional<job::ColumnOrder>{};  // the reader says why
        for (;;) {
            std::vector<std::string> lines{" " + name + "：見出し行がありません。列の順を選んで下さい。", ""};
            for (const auto& row : shape.first_rows) {
                std::string joined;
                for (std::size_t i = 0; i < row.size(); ++i) joined += (i ? " | " : " ") + row[i];
                lines.push_back(joined);
            }
            show_lines(lines);
            const std::string typed = trimmed(ask_text(rt_, 2, "列の順は（1:点名,X,Y,H 2:番号,点名,X,Y,H） "));
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
                say("1か2、または name,x,y,h のように入力して下さい。");
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
            show_lines(lines);
            if (confirm("この対応でよろしいですか（Y/N） ")) return order;
        }
    }

    void show_preview(const std::string& name, const job::ImportPreview& p) {
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
                            zone(job_()->header().zone) + "）と違います。");
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
        show_lines(lines);
    }

    void export_points() {
        erase_key_bar(rt_, KeyBar::Table);
        std::optional<int> format;
        for (;;) {
            const std::string typed = trimmed(ask_text(rt_, 2, "書き出す形式は（1:SIMA 2:CSV） "));
            if (typed.empty()) return show_page();
            if ((format = choice_of(typed, 2))) break;
            say("1か2を入力して下さい。");
        }
        const bool sima = format == 1;
        const auto bytes = sima ? job_()->export_sima() : job_()->export_csv();
        if (!bytes.ok()) {
            say(*bytes.trouble);
            return show_page();
        }
        const fs::path file = free_file_name(job_()->folder(), file_stem(job_()->display_name()), sima ? ".sim" : ".csv");
        if (job::save_file(file, bytes.value)) {
            say("書き出せません：" + file.string());
            return show_page();
        }
        show_page();
        show_status("書出：" + file.filename().string());
    }

    // ---- change of job -------------------------------------------------------------
    // ---- F4 the journal: reopen an earlier calculation ------------------------------
    // The calculation programs' runs in this job, newest first; the one
    // chosen starts its program with that run replayed.
    void reopen() {
        erase_key_bar(rt_, KeyBar::Table);
        const job::Journal journal(job_()->database());
        const auto listed = journal.runs();
        if (!listed.ok()) {
            say(*listed.trouble);
            return back_to_list();
        }
        const std::vector<job::JournalRun>& runs = listed.value;
        std::vector<std::string> lines{" 入力の記録（新しい順）"};
        const std::size_t shown = std::min<std::size_t>(runs.size(), kPageRows - 1);
        for (std::size_t i = 0; i < shown; ++i) {
            const job::JournalRun& r = runs[i];
            std::string names;
            for (const std::string& n : journal.first_names(r.id, 3).value) names += (names.empty() ? "" : " ") + n;
            lines.push_back(format_using(" ## ", {double(i + 1)}) + r.started.substr(0, 16) + " " +
                            format_using("&        &", {r.program}) + format_using("&                  &", {names}) +
                            " " + job::ending_label(r.ending));
        }
        if (runs.empty()) lines.push_back(" （記録はまだありません）");
        show_lines(lines);
        for (;;) {
            const std::string typed = trimmed(ask_text(rt_, 2, "開く記録の番号は（Enterで一覧に戻ります） "));
            if (typed.empty()) return back_to_list();
            auto value = parse_number(typed);
            auto index = value ? whole_number_in(*value, 1, int(shown)) : std::nullopt;
            if (!index) {
                say("一覧の番号を入力して下さい。");
                continue;
            }
            const job::JournalRun& chosen = runs[*index - 1];
            // The program replays the run at its start (and takes the
            // variable away from any program it starts in turn). RUN closes
            // the job first; when the program cannot be started the job
            // stays open here.
            ::setenv("MARULA_REOPEN", std::to_string(chosen.id).c_str(), 1);
            rt_.run(chosen.program);
            ::unsetenv("MARULA_REOPEN");
            return back_to_list();
        }
    }

    void change_job() {
        erase_key_bar(rt_, KeyBar::Table);
        const std::vector<fs::path> folders = job::job_list_folders();
        std::vector<job::JobSummary> jobs = job::list_jobs(folders, session_.chosen_folder());
        // The job open here is read through this program's own connection.
        for (job::JobSummary& j : jobs) {
            if (!j.current || !job_()) continue;
            const auto header = job_()->read_header();
            const auto count = job_()->count();
            j.usable = header.ok() && count.ok();
            j.header = header.value;
            if (j.header.display_name.empty()) j.header.display_name = job_()->display_name();
            j.points = count.value;
        }
        std::string where;
        for (const fs::path& f : folders) where += (where.empty() ? "" : "、") + f.string();
        std::vector<std::string> lines{" 現場の一覧（" + where + "）", "  0 新しい現場"};
        const std::size_t shown = std::min<std::size_t>(jobs.size(), kPageRows - 1);
        for (std::size_t i = 0; i < shown; ++i) {
            const auto& j = jobs[i];
            std::string line = format_using(" ## ", {double(i + 1)}) +
                               format_using("&                            &", {j.header.display_name});
            line += j.usable ? format_using("#######点", {double(j.points)}) : std::string("  読めません");
            if (j.header.zone) line += "  " + std::to_string(*j.header.zone) + "系";
            lines.push_back(line);
        }
        show_lines(lines);
        for (;;) {
            const std::string typed = trimmed(ask_text(rt_, 2, "現場の番号は（新しい現場は0） "));
            if (typed.empty()) return back_to_list();
            auto value = parse_number(typed);
            auto index = value ? whole_number_in(*value, 0, int(shown)) : std::nullopt;
            if (!index) {
                say("一覧の番号を入力して下さい。");
                continue;
            }
            if (*index == 0) {
                if (new_job()) return;
                continue;
            }
            if (!jobs[*index - 1].usable) {
                say("この現場は読めません。");
                continue;
            }
            return switch_to(jobs[*index - 1].folder);
        }
    }

    bool new_job() {
        const std::string name = trimmed(ask_text(rt_, 2, "新しい現場名は "));
        if (name.empty()) return false;
        job::JobHeader header;
        header.display_name = name;
        for (;;) {
            const std::string typed = trimmed(ask_text(rt_, 2, "座標系は（1～19、無しはEnter） "));
            if (typed.empty()) break;
            auto value = parse_number(typed);
            if (auto zone = value ? whole_number_in(*value, 1, 19) : std::nullopt) {
                header.zone = *zone;
                break;
            }
            say("座標系は1～19で入力して下さい。");
        }
        if (const auto trouble = session_.create_and_switch(header)) {
            say(*trouble);
            return false;
        }
        make_current(session_.job()->folder());
        shown_job();
        return true;
    }

    // The chosen job becomes this program's; in a window it becomes the
    // current job as well (MARULA_JOB, when set, still names the job of
    // every later start).
    void switch_to(const fs::path& folder) {
        make_current(folder);
        open(folder);
    }

    void make_current(const fs::path& folder) {
        if (!session_.launch().script_mode && !session_.launch().job) job::set_current_job(folder);
    }

    void back_to_list() {
        if (job_()) {
            show_page();
        } else {
            redraw();
        }
    }

    // ---- without a job ----------------------------------------------------------------
    void without_job() {
        redraw();
        print_at(rt_, 4, 8, "現場が選ばれていないので、座標の一覧はありません。", kChangedColor, kStylePlain);
        if (!session_.open_message().empty())
            print_at(rt_, 4, 10, session_.open_message(), kMessageColor, kStylePlain);
        if (session_.launch().script_mode)
            print_at(rt_, 4, 12, "現場は MARULA_JOB で指定して下さい。F7 でメニューに戻ります。", kMessageColor,
                     kStylePlain);
        const Labels& bar = session_.launch().script_mode ? kNoJobBar : kNoJobWindowBar;
        draw_bar(rt_, bar);
        switch (wait_bar_key(rt_, bar)) {
            case 3: change_job(); break;
            case 7: to_menu(); break;
            case 8: farewell(rt_);
        }
    }

    Runtime& rt_;
    Session& session_;
    std::vector<job::Point> points_;
    int page_ = 0;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_program(marula::ProgramKind::point_list, "points", argc, argv,
                               [](marula::Runtime& rt, marula::Session& session) { marula::PointList(rt, session).run(); });
}
