// The point list's jobs: the change of job (the jobs of both folders, and
// a new one), and the job's own screen with its entries.
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/format.h"
#include "base/text_codec.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/screen.h"
#include "job/settings.h"
#include "job/parcels.h"
#include "list_screen.h"
#include "point_lookup.h"
#include "survey/angle_text.h"
#include "survey/plane_rectangular.h"

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

// ---- 1 現場設定 --------------------------------------------------------------

constexpr ReductionMode kReductionModes[] = {ReductionMode::none, ReductionMode::scale, ReductionMode::height_scale};

// The settings as the settings screen numbers them.
std::vector<std::string> settings_fields(const job::JobSettings& s) {
    return {"  1 距離補正　：" + std::string(reduction_mode_label(s.reduction)),
            "  2 平均標高　：" + job::format_metres(s.mean_height) + " m",
            "  3 ジオイド高：" + job::format_metres(s.geoid_height) + " m",
            "  4 精度区分　：" + std::string(tolerance_class_label(s.tolerance))};
}

// A choice from a numbered list shown under the fields: its index, or
// nothing for an empty answer (the setting stays).
std::optional<int> ask_choice(Runtime& rt, Session& session, std::vector<std::string> lines, std::string_view prompt,
                              int count) {
    for (;;) {
        show_lines(rt, lines);
        const std::string typed = trim_blanks(ask_text(rt, 2, prompt));
        if (typed.empty()) return std::nullopt;
        if (const auto chosen = choice_of(typed, count)) return *chosen - 1;
        session.say("一覧の番号を入力して下さい。");
    }
}

// Metres to the millimetre within [low, high]; nothing for an empty answer.
std::optional<job::Millimetres> ask_height(Runtime& rt, Session& session, std::string_view prompt, job::Millimetres low,
                                           job::Millimetres high, std::string_view range) {
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, prompt));
        if (typed.empty()) return std::nullopt;
        const auto mm = job::parse_millimetres(typed);
        if (mm && *mm >= low && *mm <= high) return mm;
        session.say(std::string(range) + "の数値で入力して下さい。");
    }
}

// One screen of the four settings as numbered fields; the number chosen is
// asked again, each change stored at once (with its history row) or
// refused with the reason, and the screen shows what the job now holds.
void edit_settings(Runtime& rt, Session& session) {
    job::Database& db = session.job()->database();
    for (;;) {
        const auto settings = job::read_settings(db);
        if (!settings.ok()) session.say_trouble(settings.trouble);
        const job::JobSettings& s = settings.value;
        std::vector<std::string> lines{" 現場設定", ""};
        for (std::string& field : settings_fields(s)) lines.push_back(std::move(field));
        lines.push_back("");
        show_lines(rt, lines);
        const std::string typed = trim_blanks(ask_text(rt, 2, "訂正する番号は（Enterで戻ります） "));
        if (typed.empty()) return;
        const auto field = choice_of(typed, 4);
        if (!field) {
            session.say("1～4の番号を入力して下さい。");
            continue;
        }
        job::SettingsChange change;
        if (*field == 1) {
            std::vector<std::string> list = lines;
            for (std::size_t i = 0; i < std::size(kReductionModes); ++i)
                list.push_back(format_using("   ## ", {double(i + 1)}) + std::string(reduction_mode_label(kReductionModes[i])));
            if (const auto i = ask_choice(rt, session, list, "距離補正の番号は（そのままはEnter） ", 3))
                change.reduction = kReductionModes[*i];
        } else if (*field == 2) {
            change.mean_height = ask_height(rt, session, "平均標高は（m） ", job::kMeanHeightMinMm, job::kMeanHeightMaxMm,
                                            "平均標高は-1000～9000 m");
        } else if (*field == 3) {
            change.geoid_height = ask_height(rt, session, "ジオイド高は（m） ", job::kGeoidHeightMinMm,
                                             job::kGeoidHeightMaxMm, "ジオイド高は-200～200 m");
        } else {
            std::vector<std::string> list = lines;
            for (std::size_t i = 0; i < std::size(kToleranceClasses); ++i)
                list.push_back(format_using("   ## ", {double(i + 1)}) + std::string(tolerance_class_label(kToleranceClasses[i])));
            if (const auto i = ask_choice(rt, session, list, "精度区分の番号は（そのままはEnter） ",
                                          int(std::size(kToleranceClasses))))
                change.tolerance = kToleranceClasses[*i];
        }
        const job::WriteResult w = job::change_settings(db, change, {std::string(kProgram), "入力"});
        if (!w.ok()) session.say(w.message);
    }
}

// ---- 3 経緯度 -------------------------------------------------------------------

std::string fixed(double value, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

// A point asked by name or number, and where it lies on the Earth in the
// job's zone; again until an empty answer.
void show_latlon(Runtime& rt, Session& session) {
    const job::Job& job = *session.job();
    const auto header = job.read_header();
    if (!header.ok()) return session.say_trouble(header.trouble);
    if (!header.value.zone) return session.say(job::kNoZoneMessage);
    const int zone = *header.value.zone;
    std::vector<std::string> lines{" 経緯度（第" + std::to_string(zone) + "系）", ""};
    for (;;) {
        show_lines(rt, lines);
        const std::string typed = trim_blanks(ask_text(rt, 2, "点名または点の番号は（Enterで戻ります） "));
        if (typed.empty()) return;
        const auto found = find_by_name_or_number(job, typed);
        if (!found.ok()) {
            session.say_trouble(found.trouble);
            continue;
        }
        if (!found.value) {
            session.say("その点はありません。");
            continue;
        }
        const job::Point& p = *found.value;
        lines.resize(2);
        lines.push_back(" 点名　　　：" + p.name + "（番号" + std::to_string(p.number) + "）");
        lines.push_back(" Ｘ座標　　：" + job::format_metres(p.x));
        lines.push_back(" Ｙ座標　　：" + job::format_metres(p.y));
        const auto at = plane_to_geographic(zone, job::to_metres(p.x), job::to_metres(p.y));
        if (!at) {
            lines.push_back(" 座標系の範囲外なので経緯度はありません。");
            continue;
        }
        lines.push_back(" 緯度　　　：" + format_dms(at->latitude));
        lines.push_back(" 経度　　　：" + format_dms(at->longitude));
        lines.push_back(" 真北方向角：" + format_signed_dms(at->convergence));
        lines.push_back(" 縮尺係数　：" + fixed(at->scale, 8));
    }
}

// ---- 2 画地 -------------------------------------------------------------------

// The job's parcels by name, a page at a time: each with its vertex count
// and its vertices in order, as far as the row holds them.
void list_parcels(Runtime& rt, Session& session) {
    job::Parcels parcels(session.job()->database());
    const auto all = parcels.all();
    if (!all.ok()) return session.say(*all.trouble);
    constexpr std::size_t kPerPage = kPageRows - 1;
    const std::size_t pages = std::max<std::size_t>(1, (all.value.size() + kPerPage - 1) / kPerPage);
    for (std::size_t page = 0; page < pages; ++page) {
        std::vector<std::string> lines{" 画地の一覧（" + std::to_string(all.value.size()) + "件）"};
        if (all.value.empty()) lines.push_back(" （画地はまだありません）");
        for (std::size_t i = page * kPerPage; i < std::min(all.value.size(), (page + 1) * kPerPage); ++i) {
            const job::Parcel& p = all.value[i];
            std::string vertices;
            for (const job::Point& v : p.vertices)
                vertices += " " + (v.name.empty() ? "#" + std::to_string(v.number) : v.name);
            lines.push_back(cut_to_width(" " + format_using("&                  &", {p.name}) +
                                             format_using("####点", {double(p.vertices.size())}) + vertices,
                                         kColumns - 1));
        }
        show_lines(rt, lines);
        if (page + 1 < pages) ask_text(rt, 2, "（Enterで次の頁へ） ");
        else pause(rt, "");
    }
}

// The entries of the job's own screen, by their numbers.
struct JobEntry {
    int number;
    std::string_view label;
    void (*run)(Runtime&, Session&);
};
constexpr JobEntry kJobEntries[] = {
    {1, "現場設定（距離補正・精度区分）", edit_settings},
    {2, "画地（現場の画地の一覧）", list_parcels},
    {3, "経緯度（点の緯度・経度、真北方向角、縮尺係数）", show_latlon},
    {4, "検査（データベースの全体を調べます）", check_job},
};

std::vector<std::string> job_info_lines(Session& session) {
    job::Job& job = *session.job();
    const auto header = job.read_header();
    const std::string folder_label = " フォルダ：";
    const int folder_columns = kColumns - 1 - display_width(folder_label);
    std::vector<std::string> lines{" 現場情報", "", folder_label + end_to_width(job.folder().string(), folder_columns),
                                   " 現場名　：" + job.display_name(),
                                   " 座標系　：" + (header.value.zone ? std::to_string(*header.value.zone) + "系"
                                                                      : std::string("なし"))};
    // Settings this build cannot read show their defaults here; the
    // settings screen names the trouble.
    const job::JobSettings settings = job::read_settings(session.job()->database()).value;
    lines.push_back(" 距離補正：" + std::string(reduction_mode_label(settings.reduction)));
    lines.push_back(" 平均標高：" + job::format_metres(settings.mean_height) + " m　ジオイド高：" +
                    job::format_metres(settings.geoid_height) + " m");
    lines.push_back(" 精度区分：" + std::string(tolerance_class_label(settings.tolerance)));
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
