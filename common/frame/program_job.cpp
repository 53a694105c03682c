#include "program_job.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "bounded_entry.h"
#include "entry.h"
#include "screen.h"
#include "survey/survey.h"

namespace marula {

namespace {

// What one run of a program holds of its job.
struct Held {
    bool opened = false;  // open_program_job has run
    std::unique_ptr<job::Job> job;
    std::set<std::string> created;               // names this run added by calculation
    std::map<std::string, bool> replace_answer;  // names asked about: true to replace
    std::set<std::string> noted_unstorable;      // names already said to be unstorable
    long starting_azimuth_mark = -1;             // the journal's place of an empty starting azimuth
};

Held& held() {
    static Held h;
    return h;
}

bool script_mode() {
    const char* headless = std::getenv("MARULA_HEADLESS");
    return headless && std::strcmp(headless, "1") == 0;
}

// A notice cut to the prompt row: a longer one would wrap and scroll. It is
// logged whole (script mode's events.log), as it stands only a moment.
void say(Runtime& rt, std::string_view message) {
    rt.log_event("notice " + std::string(message));
    std::string fitted;
    int width = 0;
    for (const std::string& ch : split_chars(message)) {
        const int w = char_width(decode_char(ch));
        if (width + w > kColumns - 1) break;
        fitted += ch;
        width += w;
    }
    rt.notice(fitted);
}

job::Origin origin(Runtime& rt) { return {rt.program(), "入力"}; }

std::string metres_text(job::Millimetres mm) { return job::format_metres(mm); }

// One coordinate of a known point: offered from the job when stored,
// checked against the stored value when typed.
struct Coordinate {
    double value = 0;
    bool typed = false;  // typed by the user (not a stored value or a preset)
};

Coordinate ask_coordinate(Runtime& rt, const KnownPointQuestions& q, bool is_x, const std::optional<job::Point>& stored) {
    const std::string& prompt = is_x ? q.x_prompt : q.y_prompt;
    if (!stored) {
        const std::optional<double> preset = is_x ? q.x_preset : q.y_preset;
        if (!preset) return {ask_coordinate_entry(rt, q.column, prompt), true};
        // A demonstration preset taken by an empty answer is not the
        // surveyor's point: it is used, never added to the job.
        if (auto typed = ask_bounded_number_or_empty(rt, q.column, prompt, kCoordinateBounds)) return {*typed, true};
        return {*preset, false};
    }
    const job::Millimetres mm = is_x ? stored->x : stored->y;
    const std::string offer = metres_text(mm);
    const OfferedAnswer a = ask_offered_number(rt, q.column, prompt, kCoordinateBounds, offer);
    if (!a.offer_taken) {
        const auto typed_mm = job::to_millimetres(a.value);
        if (typed_mm && std::llabs(*typed_mm - mm) >= 1) {
            say(rt, std::string(is_x ? "Ｘ" : "Ｙ") + "は現場の" + stored->name + "と違います（現場 " + offer +
                        "、入力 " + metres_text(*typed_mm) + "）。現場の点はそのままです。");
        }
    }
    return {a.value, !a.offer_taken};
}

// The one question the job itself asks of a calculation: the stored points
// it would move, with their stored coordinates (as many to a notice as the
// row holds), then whether to replace them. Y replaces; N or anything else
// (Enter too) keeps them.
bool ask_to_replace(Runtime& rt, const std::vector<job::Point>& stored) {
    std::string page;
    auto flush = [&] {
        if (!page.empty()) say(rt, "現場の点：" + page);
        page.clear();
    };
    for (const job::Point& p : stored) {
        std::string item = p.name + " X=" + metres_text(p.x) + " Y=" + metres_text(p.y);
        if (!page.empty() && display_width("現場の点：" + page + "  " + item) > kColumns - 1) flush();
        page += (page.empty() ? "" : "  ") + item;
    }
    flush();
    std::string names;
    for (const job::Point& p : stored) names += (names.empty() ? "" : "、") + p.name;
    const std::string question = "計算値で現場の" + std::to_string(stored.size()) + "点を置き換えますか（Y/N）" + names;
    const std::string answer = ask_text(rt, 0, question + " ");
    // A question the job caused: its answer is kept apart from the input.
    rt.job_question_answered(question, answer);
    return answer == "Y" || answer == "y" || answer == "Ｙ" || answer == "ｙ";
}

}  // namespace

job::Job* open_program_job(Runtime& rt) {
    Held& h = held();
    if (h.opened) return h.job.get();
    h.opened = true;
    const auto folder = job::choose_job_folder(script_mode());
    if (!folder) return nullptr;
    job::OpenResult opened = job::open_job(*folder);
    if (!opened.message.empty()) say(rt, opened.message);  // cannot open, or read-only: said once
    h.job = std::move(opened.job);
    if (h.job) rt.file_sheets_in(h.job->reports_folder());
    return h.job.get();
}

const job::Job* program_job() { return held().job.get(); }

std::string job_sheet_line() {
    const job::Job* job = program_job();
    if (!job) return {};
    std::string line = "現場：" + job->display_name();
    if (const auto zone = job->header().zone) line += "（第" + std::to_string(*zone) + "系）";
    return line;
}

std::optional<job::Point> stored_point(std::string_view name) {
    const job::Job* job = program_job();
    if (!job) return std::nullopt;
    const job::NameCheck check = job::check_name(name);
    if (!check.ok()) return std::nullopt;
    return job->find(check.name);
}

KnownPoint ask_known_coordinates(Runtime& rt, std::string name, const KnownPointQuestions& q,
                                 const KnownPointEchoes& echoes) {
    KnownPoint point;
    point.name = std::move(name);
    const std::optional<job::Point> stored = stored_point(point.name);
    job::Job* job = held().job.get();
    if (job && !stored) {
        const job::NameCheck check = job::check_name(point.name);
        if (check.ok())
            if (auto near = job->near_miss(check.name))
                say(rt, "似た点名「" + *near + "」があります（全角・半角、大文字・小文字の違い）。");
    }
    const Coordinate x = ask_coordinate(rt, q, true, stored);
    point.at.x = x.value;
    if (echoes.x) echoes.x(point.at.x);
    const Coordinate y = ask_coordinate(rt, q, false, stored);
    point.at.y = y.value;
    if (echoes.y) echoes.y(point.at.y);
    point.from_preset = !stored && ((q.x_preset && !x.typed) || (q.y_preset && !y.typed));

    // A new point typed whole is the job's from now on.
    if (job && !stored && !job->read_only() && !rt.replaying() && x.typed && y.typed) {
        const job::NameCheck check = job::check_name(point.name);
        const auto x_mm = job::to_millimetres(point.at.x), y_mm = job::to_millimetres(point.at.y);
        if (check.ok() && x_mm && y_mm) {
            const job::WriteResult r = job->add({0, check.name, *x_mm, *y_mm, std::nullopt}, origin(rt));
            if (!r.ok() && r.status != job::WriteStatus::name_taken) say(rt, r.message);
        }
    }
    return point;
}

KnownPoint ask_known_point(Runtime& rt, const KnownPointQuestions& q, const KnownPointEchoes& echoes) {
    std::string name = ask_text(rt, q.column, q.name_prompt);
    if (echoes.name) echoes.name(name);
    return ask_known_coordinates(rt, std::move(name), q, echoes);
}

std::optional<std::string> packed_azimuth_text(double from_x, double from_y, double to_x, double to_y) {
    const auto seconds = azimuth_seconds_between(from_x, from_y, to_x, to_y);
    if (!seconds) return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%02ld%02ld", *seconds / 3600, *seconds / 60 % 60, *seconds % 60);
    return std::string(text);
}

std::optional<AngleEntry> ask_starting_azimuth(Runtime& rt, int column, std::string_view prompt,
                                               std::string_view backsight, AngleKind kind, double nudge_in,
                                               double nudge_out) {
    if (!stored_point(backsight)) return ask_angle_entry(rt, column, prompt, kind, nudge_in, nudge_out);
    // The typing example gives way to the offer, which says what Enter does.
    std::string shown(prompt);
    if (const auto example = shown.find("例えば"); example != std::string::npos)
        if (const auto close = shown.find("）", example); close != std::string::npos)
            shown.erase(example, close - example);
    auto answer = ask_angle_or_empty(rt, column, offering_prompt(shown, "座標から", column), kind, nudge_in, nudge_out);
    // Taken later, once the station has its coordinates: journaled there.
    held().starting_azimuth_mark = answer ? -1 : rt.answer_mark();
    return answer;
}

AngleEntry azimuth_to_backsight(Runtime& rt, int column, std::string_view prompt, std::string_view backsight,
                                double x, double y, AngleKind kind, double nudge_in, double nudge_out) {
    if (const auto stored = stored_point(backsight)) {
        if (const auto packed = packed_azimuth_text(x, y, job::to_metres(stored->x), job::to_metres(stored->y)))
            return *read_angle(take_offered_value(rt, *packed, held().starting_azimuth_mark), kind, nudge_in,
                               nudge_out);
    }
    say(rt, kNoDirection);
    return ask_angle_entry(rt, column, prompt, kind, nudge_in, nudge_out);
}

AngleEntry ask_azimuth_offering(Runtime& rt, int column, std::string_view prompt, double from_x, double from_y,
                                std::string_view to, AngleKind kind, double nudge_in, double nudge_out) {
    if (const auto stored = stored_point(to)) {
        if (const auto packed =
                packed_azimuth_text(from_x, from_y, job::to_metres(stored->x), job::to_metres(stored->y)))
            return ask_offered_angle(rt, column, prompt, kind, nudge_in, nudge_out, *packed);
    }
    return ask_angle_entry(rt, column, prompt, kind, nudge_in, nudge_out);
}

void store_computed_points(Runtime& rt, std::span<const ComputedPoint> computed) {
    Held& h = held();
    job::Job* job = h.job.get();
    if (!job || job->read_only()) return;

    // The points the job can hold, by checked name; the others named once.
    std::vector<job::Point> points;
    std::vector<std::string> unstorable;
    std::set<std::string> clashing;  // one name for two different points
    for (const ComputedPoint& c : computed) {
        const job::NameCheck check = job::check_name(c.name);
        const auto x = job::to_millimetres(c.x), y = job::to_millimetres(c.y);
        if (!check.ok() || !x || !y) {
            unstorable.push_back(c.name);
            continue;
        }
        const job::Point p{0, check.name, *x, *y, std::nullopt};
        auto same_name = std::find_if(points.begin(), points.end(), [&](const job::Point& q) { return q.name == p.name; });
        if (same_name == points.end()) {
            points.push_back(p);
        } else if (!job::same_place(*same_name, p)) {
            clashing.insert(p.name);
        }
    }
    for (const std::string& name : clashing) {
        std::erase_if(points, [&](const job::Point& p) { return p.name == name; });
        unstorable.push_back(name);
    }
    if (rt.replaying()) {
        // A replay writes nothing and asks nothing; the points the replayed
        // run stored (the job holds them where computed) count as this
        // run's own, so a correction moves them quietly.
        for (const job::Point& p : points)
            if (const auto stored = job->find(p.name); stored && job::same_place(*stored, p)) h.created.insert(p.name);
        return;
    }
    std::string unsaid;
    for (const std::string& name : unstorable) {
        if (!h.noted_unstorable.insert(name).second) continue;
        unsaid += (unsaid.empty() ? "「" : "、「") + name + "」";
    }
    if (!unsaid.empty()) say(rt, "現場に記憶できない点名です：" + unsaid);

    // Stored points this calculation would move: those this run created
    // move quietly, the others are asked about once.
    std::vector<job::Point> to_ask;
    std::set<std::string> keep;
    for (const job::Point& stored : job->differing(points)) {
        if (h.created.contains(stored.name)) continue;
        auto answer = h.replace_answer.find(stored.name);
        if (answer == h.replace_answer.end()) {
            to_ask.push_back(stored);
        } else if (!answer->second) {
            keep.insert(stored.name);
        }
    }
    if (!to_ask.empty()) {
        const bool replace = ask_to_replace(rt, to_ask);
        for (const job::Point& p : to_ask) {
            h.replace_answer[p.name] = replace;
            if (!replace) keep.insert(p.name);
        }
    }
    std::erase_if(points, [&](const job::Point& p) { return keep.contains(p.name); });
    if (points.empty()) return;

    std::vector<std::string> new_names;
    for (const job::Point& p : points)
        if (!job->find(p.name)) new_names.push_back(p.name);
    const job::WriteResult r = job->store(points, true, origin(rt));
    if (!r.ok()) {
        say(rt, r.message);
        return;
    }
    for (std::string& name : new_names) h.created.insert(std::move(name));
}

}  // namespace marula
