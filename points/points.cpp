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
#include <set>
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
#include "job/provenance.h"
#include "base/files.h"
#include "base/format.h"
#include "base/printable.h"
#include "base/text_codec.h"
#include "list_screen.h"
#include "session/session.h"

namespace marula {
namespace {

namespace fs = std::filesystem;
using namespace points;

constexpr std::string_view kReadOnlyNotice = "この現場は読み取り専用です。変更は保存できません。";

const Title kTitle{" 座 標 管 理 ", 1, 0, {6, 0, 113, 16}, {5, 0, 114, 17}};

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
                               {kYColumn + 5, "Ｙ座標"}, {kHColumn + 5, "標　高"}, {kStaleColumn, "要"}}),
                       0, 2, {0, 36, 8 * (kStaleColumn + 2) + 7, 53}};

// The key bars: the list's own, the files and jobs behind its F7, and the
// bar of a program that has no job. An empty label is a key not bound.
using Labels = BarLabels;
constexpr Labels kListBar{"F1 訂 正", "F2 追 加", "F3 削 除", "F4 印 刷",
                          "F5 前 頁", "F6 次 頁", "F7 その他", "F8 MENU"};
constexpr Labels kOtherBar{"F1 読 込", "F2 書 出", "F3現場切替", "F4入力記録", "F5 戻 る", "F6現場情報", "F7 MENU", "F8 終 了"};
constexpr Labels kNoJobBar{"", "", "", "", "", "", "F7 MENU", "F8 終 了"};
constexpr Labels kNoJobWindowBar{"", "", "F3現場切替", "", "", "", "F7 MENU", "F8 終 了"};

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
            draw_labelled_bar(rt_, kListBar);
            switch (wait_list_key()) {
                case 0: jump(); break;
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

    // The session's job shown from its first page; its printed lists are
    // filed in its reports/ and name it under their title, as every
    // program's sheets do.
    void shown_job() {
        session_.file_sheets_in_job();
        count_ = 0;
        first_page();
        redraw();
        if (job_() && !session_.open_message().empty()) say(session_.open_message());  // read-only: said once
    }

    void open(const fs::path& folder) {
        session_.switch_to(folder);
        shown_job();
    }

    // ---- pages, by key ---------------------------------------------------
    // A page is the kPageRows points numbered after `after_` (0 for the
    // first page): each turn reads one page, whatever the job holds, and
    // the count is read once after each change.

    // The points of the page after `after`, and whether the job could be read.
    bool read_page(std::int64_t after) {
        if (!job_()) {
            page_.clear();
            return true;
        }
        auto read = job_()->points(after, kPageRows);
        if (!read.ok()) {
            session_.say_trouble(read.trouble);
            return false;
        }
        after_ = after;
        page_ = std::move(read.value);
        return true;
    }

    void read_count() {
        count_ = 0;
        if (!job_()) return;
        auto counted = job_()->count();
        session_.say_trouble(counted.trouble);
        count_ = counted.value;
    }

    void first_page() {
        read_count();
        page_index_ = 0;
        read_page(0);
    }

    // The page shown, read again (after a change, or back from another
    // screen); the page before when none of it is left.
    void reread_page() {
        read_count();
        if (!read_page(after_)) return;
        if (page_.empty() && page_index_ > 0) step_back();
    }

    // The page before the one shown; the first page when fewer than a page
    // of points come before it.
    bool step_back() {
        if (!job_()) return false;
        auto before = job_()->points_before(after_ + 1, kPageRows);
        if (!before.ok()) {
            session_.say_trouble(before.trouble);
            return false;
        }
        if (before.value.empty()) return false;
        if (before.value.size() < std::size_t(kPageRows) || page_index_ <= 1) {
            page_index_ = 0;
            return read_page(0);
        }
        --page_index_;
        after_ = before.value.front().number - 1;
        page_ = std::move(before.value);
        return true;
    }

    bool step_forward() {
        if (page_.empty()) return false;
        auto next = job_()->points(page_.back().number, kPageRows);
        if (!next.ok()) {
            session_.say_trouble(next.trouble);
            return false;
        }
        if (next.value.empty()) return false;
        ++page_index_;
        after_ = page_.back().number;
        page_ = std::move(next.value);
        return true;
    }

    // The page that holds the point of this number (pages counted from the
    // first point, as the turns count them).
    bool show_number(std::int64_t number) {
        const auto rank = job_()->rank(number);
        if (!rank.ok()) {
            session_.say_trouble(rank.trouble);
            return false;
        }
        const int on_page = int(rank.value % kPageRows);
        auto before = job_()->points_before(number, on_page);
        if (!before.ok()) {
            session_.say_trouble(before.trouble);
            return false;
        }
        page_index_ = int(rank.value / kPageRows);
        return read_page((before.value.empty() ? number : before.value.front().number) - 1);
    }

    int page_count() const { return std::max<int>(1, int((count_ + kPageRows - 1) / kPageRows)); }

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

    void show_row(int row, const job::Point& p, int color) {
        print_at(rt_, kNumberColumn, row, format_using("######", {double(p.number)}), kPointNumberColor);
        print_at(rt_, kNameColumn, row, format_using(kNameField, {p.name}), color);
        print_at(rt_, kXColumn, row, metres(p.x), color);
        print_at(rt_, kYColumn, row, metres(p.y), color);
        print_at(rt_, kHColumn, row, p.h ? metres(*p.h) : std::string(kCoordinateField.size(), ' '), color);
        // 要: computed from a value that has moved since (or from such a point).
        if (stale_.contains(p.number)) print_at(rt_, kStaleColumn, row, "＊", kChangedColor);
    }

    void show_page() {
        const auto stale = job::stale_among(job_()->database(), page_);
        session_.say_trouble(stale.trouble);
        stale_ = stale.value;
        clear_table(rt_);
        for (std::size_t i = 0; i < page_.size(); ++i) show_row(kFirstRow + int(i), page_[i], kEntryColor);
        show_status();
    }

    void show_status(std::string_view message = {}) {
        print_at(rt_, 0, kStatusRow, std::string(kColumns, ' '), 0);
        const int shown = std::min(page_index_ + 1, page_count());
        std::string line = " 頁 " + std::to_string(shown) + "/" + std::to_string(page_count()) + "　全" +
                           std::to_string(count_) + "点";
        print_at(rt_, 0, kStatusRow, line, kMessageColor, kStylePlain);
        if (count_ == 0 && page_.empty() && message.empty()) message = "点はまだありません。F2 で追加、F7 の読込で取り込めます。";
        if (!message.empty())
            print_at(rt_, std::max(22, display_width(line) + 2), kStatusRow, message, kChangedColor, kStyleNormal);
    }

    // The row of a point on the page shown, when it is there.
    std::optional<int> row_of(std::int64_t number) const {
        for (std::size_t i = 0; i < page_.size(); ++i)
            if (page_[i].number == number) return kFirstRow + int(i);
        return std::nullopt;
    }

    // The row of a point shown in `color`, when it is on the page.
    void mark(std::int64_t number, int color) {
        for (std::size_t i = 0; i < page_.size(); ++i)
            if (page_[i].number == number) show_row(kFirstRow + int(i), page_[i], color);
    }

    // The page after or before, read from the job as it stands now
    // (another program may have changed it meanwhile).
    void turn_page(int step) {
        if (!(step > 0 ? step_forward() : step_back())) {
            rt_.beep();
            return;
        }
        show_page();
    }

    // After a write: the count read again, the page of `number` shown with
    // its row marked (the page shown before, for a deletion).
    void after_write(std::int64_t number, std::string_view message) {
        read_count();
        if (number <= 0 || !show_number(number)) reread_page();
        show_page();
        show_status(message);
        if (number > 0) mark(number, kChangedColor);
    }

    // ---- the jump: a number or a name typed at the list -------------------
    // Waits for a key of the list's bar, or for typing: 0 then.
    int wait_list_key() {
        for (;;) {
            auto ev = rt_.wait_event_or_typing();
            if (!ev) continue;
            if (ev->type == Event::Type::Typing) {
                rt_.all_keys(Trap::Off);
                return 0;
            }
            if (ev->type != Event::Type::Key || ev->key < 1 || ev->key > 8 || kListBar[ev->key - 1].empty()) continue;
            flash_key(rt_, KeyBar::Table, ev->key);
            rt_.all_keys(Trap::Off);
            return ev->key;
        }
    }

    // The page holding the point typed (a stored name first, else digits as
    // its number), with its row marked; a notice for one the job lacks.
    void jump() {
        erase_key_bar(rt_, KeyBar::Table);
        const std::string typed = trim_blanks(ask_text(rt_, 2, "表示する点名または番号は "));
        if (typed.empty()) return;
        auto found = job_()->find(typed);
        if (found.ok() && !found.value && is_whole_number(typed)) {
            const auto value = parse_number(typed);
            if (const auto number = value ? whole_number_in(*value, 1, 2'000'000'000) : std::nullopt)
                found = job_()->find_number(*number);
        }
        if (!found.ok()) return say(*found.trouble);
        if (!found.value) return say("その点名・番号の点はありません：" + printable_quote(typed));
        if (!show_number(found.value->number)) return;
        show_page();
        mark(found.value->number, kChangedColor);
    }

    // Digits only (half- or full-width), as a point's number is typed.
    static bool is_whole_number(std::string_view text) {
        for (const std::string& ch : split_chars(text)) {
            const char32_t c = decode_char(ch);
            if (!((c >= U'0' && c <= U'9') || (c >= U'０' && c <= U'９'))) return false;
        }
        return !text.empty();
    }

    // ---- entries ----------------------------------------------------------
    // A point's number: nothing when the answer is empty (the question is
    // given up); a number no point has is refused and asked again.
    std::optional<job::Point> ask_point(std::string_view prompt) {
        for (;;) {
            const std::string typed = trim_blanks(ask_text(rt_, 2, prompt));
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
            if (trim_blanks(typed).empty()) return std::nullopt;
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
            const std::string typed = trim_blanks(ask_text(rt_, 2, prompt));
            if (typed.empty()) return keep;
            if (typed == "*" || typed == "＊") return std::nullopt;
            if (auto mm = job::parse_millimetres(typed)) return mm;
            say("標高は1億m未満の数値で入力して下さい。");
        }
    }

    void report(const job::WriteResult& result, std::string_view done_message) {
        if (result.ok()) {
            after_write(result.number, done_message);
        } else {
            say(result.message);
            reread_page();
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
        mark(point->number, kOldValueColor);
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
        mark(point->number, kOldValueColor);
        if (!confirm(rt_, "番号" + std::to_string(point->number) + "「" + point->name + "」を削除しますか（Y/N） ")) {
            show_page();
            return;
        }
        job::WriteResult result = job_()->remove(point->name, origin());
        if (result.ok()) result.number = 0;
        report(result, "削除しました：" + point->name);
    }

    // ---- F4 printed list ----------------------------------------------------------
    void print() {
        read_count();
        if (count_ == 0) {
            rt_.beep();
            return;
        }
        const int pages = int((count_ + kReportRows - 1) / kReportRows);
        // A long job would fill the printer's tray unasked.
        if (pages > kPagesWithoutAsking) {
            erase_key_bar(rt_, KeyBar::Table);
            if (!confirm(rt_, std::to_string(pages) + "枚になります。印刷しますか（Y/N） ")) return;
        }
        // A sheet's points at a time, by key: the job is never held whole.
        std::int64_t after = 0;
        for (int page = 0; page < pages; ++page) {
            auto sheet = job_()->points(after, kReportRows);
            if (!sheet.ok()) {
                session_.say_trouble(sheet.trouble);
                break;
            }
            if (!sheet.value.empty()) after = sheet.value.back().number;
            begin_report(rt_, kPointsReport);  // the job's line under the title
            rt_.lprint("  （" + std::to_string(page + 1) + "/" + std::to_string(pages) + "頁）");
            rt_.lprint("");
            rt_.lprint("    番号  点　名                   Ｘ座標         Ｙ座標         標　高");
            for (const job::Point& p : sheet.value)
                rt_.lprint(format_using("  ######  ", {double(p.number)}) + format_using(kNameField, {p.name}) + "  " +
                           metres(p.x) + "  " + metres(p.y) + (p.h ? "  " + metres(*p.h) : std::string()));
            end_report(rt_);
        }
        show_status("印刷しました（" + std::to_string(pages) + "枚）");
    }

    // ---- F7 files and jobs ----------------------------------------------------------
    void other() {
        draw_labelled_bar(rt_, kOtherBar);
        switch (wait_bar_key(rt_, kOtherBar)) {
            case 1:
                if (writable()) back_with(import_points(rt_, session_));
                break;
            case 2: back_with(export_points(rt_, session_)); break;
            case 3: changed_job(change_job(rt_, session_)); break;
            case 4: back_with(reopen_run(rt_, session_)); break;
            case 5: break;
            case 6: back_with(show_job_info(rt_, session_)); break;
            case 7: to_menu(); break;
            case 8: farewell(rt_);
        }
    }

    // Back from another screen: the list read again (it may have changed),
    // its page shown, and what the screen had to say on the status row.
    void back_with(const std::string& status) {
        reread_page();
        show_page();
        if (!status.empty()) show_status(status);
    }

    // Back from the change of job: another job from its first page, or the
    // list as it was.
    void changed_job(bool changed) {
        if (changed) return shown_job();
        if (job_()) return back_with({});
        redraw();
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
        draw_labelled_bar(rt_, bar);
        switch (wait_bar_key(rt_, bar)) {
            case 3: changed_job(change_job(rt_, session_)); break;
            case 7: to_menu(); break;
            case 8: farewell(rt_);
        }
    }

    Runtime& rt_;
    Session& session_;
    std::vector<job::Point> page_;   // the points shown
    std::set<std::int64_t> stale_;   // those of them to redo (要)
    std::int64_t after_ = 0;         // the number before the page's first (0: the first page)
    int page_index_ = 0;             // the page's place, from 0, as turns count it
    std::int64_t count_ = 0;         // read once after each change
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_program(marula::ProgramKind::point_list, "points", argc, argv,
                               [](marula::Runtime& rt, marula::Session& session) { marula::PointList(rt, session).run(); });
}
