// The point list's jobs: the change of job (the jobs of both folders, and
// a new one), and the job's own screen with its entries.
#include <filesystem>
#include <string>
#include <vector>

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

// The chosen job becomes the current one in a window as well (MARULA_JOB,
// when set, still names the job of every later start).
void make_current(Session& session, const fs::path& folder) {
    if (!session.launch().script_mode && !session.launch().job) job::set_current_job(folder);
}

bool new_job(Runtime& rt, Session& session) {
    // A name the job could not hold (too long, a line break, a character
    // CP932 lacks) is said and asked again.
    std::string name;
    for (;;) {
        name = trim_blanks(ask_text(rt, 2, "新しい現場名は "));
        if (name.empty()) return false;
        const job::JobNameCheck check = job::check_job_name(name);
        if (check.ok()) break;
        session.say(job::describe(check.problem));
    }
    job::JobHeader header;
    header.display_name = name;
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "座標系は（1～19、無しはEnter） "));
        if (typed.empty()) break;
        auto value = parse_number(typed);
        if (auto zone = value ? whole_number_in(*value, 1, 19) : std::nullopt) {
            header.zone = *zone;
            break;
        }
        session.say("座標系は1～19で入力して下さい。");
    }
    if (const auto trouble = session.create_and_switch(header)) {
        session.say(*trouble);
        return false;
    }
    make_current(session, session.job()->folder());
    return true;
}

// ---- the job's own screen -----------------------------------------------

// The full integrity check of the job's file: every page read.
void check_job(Runtime& rt, Session& session) {
    show_lines(rt, {" 検査（現場のデータベースの全体を読んで調べています）"});
    rt.present();
    const auto problems = session.job()->check();
    if (!problems.ok()) return session.say(*problems.trouble);
    std::vector<std::string> lines{" 検査の結果", ""};
    if (problems.value == std::vector<std::string>{"ok"}) {
        lines.push_back(" 問題はありません。");
    } else {
        lines.push_back(" 現場のデータベースに問題があります（最初の" + std::to_string(problems.value.size()) + "件）：");
        for (const std::string& p : problems.value)
            for (std::string& row : wrapped("  " + p, 4)) lines.push_back(std::move(row));
    }
    show_lines(rt, lines);
    pause(rt, "");
}

// The entries of the job's own screen, by their numbers.
struct JobEntry {
    int number;
    std::string_view label;
    void (*run)(Runtime&, Session&);
};
constexpr JobEntry kJobEntries[] = {
    {4, "検査（データベースの全体を調べます）", check_job},
};

std::vector<std::string> job_info_lines(const Session& session) {
    const job::Job& job = *session.job();
    const auto header = job.read_header();
    std::vector<std::string> lines{" 現場情報", "", " フォルダ：" + job.folder().string(),
                                   " 現場名　：" + job.display_name(),
                                   " 座標系　：" + (header.value.zone ? std::to_string(*header.value.zone) + "系"
                                                                      : std::string("なし"))};
    lines.push_back("");
    for (const JobEntry& e : kJobEntries)
        lines.push_back(format_using(" ## ", {double(e.number)}) + std::string(e.label));
    return lines;
}

}  // namespace

std::string show_job_info(Runtime& rt, Session& session) {
    erase_key_bar(rt, KeyBar::Table);
    for (;;) {
        show_lines(rt, job_info_lines(session));
        const std::string typed = trim_blanks(ask_text(rt, 2, "番号は（Enterで一覧に戻ります） "));
        if (typed.empty()) return {};
        const JobEntry* chosen = nullptr;
        if (const auto value = parse_number(typed))
            for (const JobEntry& e : kJobEntries)
                if (whole_number_in(*value, e.number, e.number)) chosen = &e;
        if (!chosen) {
            session.say("一覧の番号を入力して下さい。");
            continue;
        }
        chosen->run(rt, session);
    }
}

bool change_job(Runtime& rt, Session& session) {
    erase_key_bar(rt, KeyBar::Table);
    const std::vector<fs::path> folders = job::job_list_folders();
    std::vector<job::JobSummary> jobs = job::list_jobs(folders, session.chosen_folder());
    // The job open here is read through this program's own connection.
    for (job::JobSummary& j : jobs) {
        if (!j.current || !session.job()) continue;
        const auto header = session.job()->read_header();
        const auto count = session.job()->count();
        j.usable = header.ok() && count.ok();
        j.header = header.value;
        // Shown as the job shows it: cut, printable (a name stored before
        // names were checked may be megabytes long).
        j.header.display_name = session.job()->display_name();
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
    show_lines(rt, lines);
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "現場の番号は（新しい現場は0） "));
        if (typed.empty()) return false;
        auto value = parse_number(typed);
        auto index = value ? whole_number_in(*value, 0, int(shown)) : std::nullopt;
        if (!index) {
            session.say("一覧の番号を入力して下さい。");
            continue;
        }
        if (*index == 0) {
            if (new_job(rt, session)) return true;
            continue;
        }
        if (!jobs[*index - 1].usable) {
            session.say("この現場は読めません。");
            continue;
        }
        make_current(session, jobs[*index - 1].folder);
        session.switch_to(jobs[*index - 1].folder);
        return true;
    }
}

}  // namespace marula::points
