// The calculation's shape: journal, entry, key loop, and the store of its
// points at the moments the result changes.
#include "calculation.h"

#include <fcntl.h>

#include <algorithm>
#include <cmath>

#include "base/text_codec.h"
#include "job/provenance.h"
#include "entry.h"
#include "screen.h"

namespace marula {

namespace {

std::string metres_text(job::Millimetres mm) { return job::format_metres(mm); }

// Two results store the same when they name the same points at the same
// millimetres, in the same order.
bool same_result(const std::vector<NamedPoint>& a, const std::vector<NamedPoint>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name) return false;
        if (job::to_millimetres(a[i].at.x) != job::to_millimetres(b[i].at.x)) return false;
        if (job::to_millimetres(a[i].at.y) != job::to_millimetres(b[i].at.y)) return false;
    }
    return true;
}

// The one question the job itself asks of a calculation: the stored points
// it would move, with their stored coordinates (as many to a notice as the
// row holds), then whether to replace them. Y replaces; N or anything else
// (Enter too) keeps them.
bool ask_to_replace(Runtime& rt, const std::vector<job::Point>& stored) {
    std::string page;
    auto flush = [&] {
        if (!page.empty()) rt.say("現場の点：" + page);
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
    return is_yes(answer);
}

// The points of a result the job can hold, as requests; the others (names
// the job cannot hold, one name for two places) in `unstorable`.
std::vector<job::StoreRequest> requests_of(const std::vector<NamedPoint>& computed,
                                           std::vector<std::string>& unstorable) {
    std::vector<job::StoreRequest> requests;
    std::set<std::string> clashing;
    for (const NamedPoint& c : computed) {
        const job::NameCheck check = job::check_name(c.name);
        const auto x = job::to_millimetres(c.at.x), y = job::to_millimetres(c.at.y);
        if (!check.ok() || !x || !y) {
            unstorable.push_back(c.name);
            continue;
        }
        auto same_name = std::find_if(requests.begin(), requests.end(),
                                      [&](const job::StoreRequest& r) { return r.name == check.name; });
        if (same_name == requests.end()) {
            requests.push_back({check.name, *x, *y});
        } else if (same_name->x != *x || same_name->y != *y) {
            clashing.insert(check.name);
        }
    }
    for (const std::string& name : clashing) {
        std::erase_if(requests, [&](const job::StoreRequest& r) { return r.name == name; });
        unstorable.push_back(name);
    }
    return requests;
}

// Stores what one calculation computed under the points' names. Names this
// run stored move quietly; stored points the result would move are listed
// with their stored coordinates and one question asks whether to replace
// them (N, the default, keeps them; the answer holds for those names until
// the program ends). Whether a point moved is decided again as it is
// stored: one that another program changed meanwhile is left, named in a
// notice, and asked about at the next recalculation. Names the job cannot
// hold are left out and named once.
void store_result(Calculation& calc, const std::vector<NamedPoint>& computed, bool after_replay) {
    Session& session = calc.session();
    Runtime& rt = calc.rt();
    Calculation::Storing& st = calc.storing();
    if (!session.writable()) return;

    std::vector<std::string> unstorable;
    std::vector<job::StoreRequest> requests = requests_of(computed, unstorable);
    std::string unsaid;
    for (const std::string& name : unstorable) {
        if (!st.noted_unstorable.insert(name).second) continue;
        unsaid += (unsaid.empty() ? "「" : "、「") + name + "」";
    }
    if (!unsaid.empty()) rt.say("現場に記憶できない点名です：" + unsaid);

    job::Job& job = *session.job();
    const auto moved = job.moved_by(requests);
    if (!moved.ok()) return session.say_trouble(moved.trouble);
    std::vector<job::Point> to_ask;
    for (const job::Point& stored : moved.value)
        if (!st.may_replace.contains(stored.name) && !st.kept.contains(stored.name)) to_ask.push_back(stored);
    if (!to_ask.empty()) {
        const bool replace = ask_to_replace(rt, to_ask);
        for (const job::Point& p : to_ask) {
            if (replace) st.may_replace[p.name] = p;
            else st.kept.insert(p.name);
        }
    }
    std::erase_if(requests, [&](const job::StoreRequest& r) { return st.kept.contains(r.name); });
    for (job::StoreRequest& r : requests)
        if (auto allowed = st.may_replace.find(r.name); allowed != st.may_replace.end()) r.may_replace = allowed->second;
    if (requests.empty()) return;

    const job::StoreResult stored =
        job.store(requests, {rt.program(), std::string(job::kComputedSource), session.journal_run()});
    if (!stored.result.ok()) return session.say(stored.result.message);
    std::string changed;
    for (const job::StoreOutcome& o : stored.outcomes) {
        switch (o.what) {
        case job::Stored::added:
        case job::Stored::replaced: st.may_replace[o.now.name] = o.now; break;
        case job::Stored::same:
            // The points a replayed run stored stand where it computed them:
            // they are this run's own, and a correction moves them quietly.
            if (after_replay) st.may_replace[o.now.name] = o.now;
            break;
        case job::Stored::left:
        case job::Stored::changed_meanwhile:
            st.may_replace.erase(o.now.name);
            changed += (changed.empty() ? "" : "、") + o.now.name;
            break;
        }
    }
    if (!changed.empty()) session.say("他のプログラムが変えた現場の点は置き換えませんでした：" + changed);
}

}  // namespace

Calculation::Calculation(Runtime& rt, Session& session) : rt_(rt), session_(session) {
    // In a job its sheets are filed in its reports/, naming the job.
    session_.file_sheets_in_job();
}

std::optional<job::Point> Calculation::stored_point(std::string_view name) {
    const job::Job* job = session_.job();
    if (!job) return std::nullopt;
    const job::NameCheck check = job::check_name(name);
    if (!check.ok()) return std::nullopt;
    auto found = job->find(check.name);
    if (!found.ok()) {
        session_.say_trouble(found.trouble);
        return std::nullopt;
    }
    return found.value;
}

void Calculation::took_from_job(const job::Point& point, long event) {
    const auto run = session_.journal_run();
    if (!run || event < 0 || !session_.writable()) return;
    // A value that cannot be kept costs only the mark: the run goes on.
    (void)job::record_input(session_.job()->database(), *run, {point.name, point.number, point.x, point.y, event});
}

void Calculation::took_azimuth_from_job(const job::Point& to, double from_x, double from_y, long event) {
    took_from_job(to, event);
    const auto run = session_.journal_run();
    const auto x = job::to_millimetres(from_x), y = job::to_millimetres(from_y);
    if (!run || event < 0 || !session_.writable() || !x || !y) return;
    // The station's coordinates are the job's when the run took a stored
    // point standing exactly there (the last such, taken itself or over
    // from a replayed run).
    const auto taken = job::run_inputs(session_.job()->database(), *run);
    if (!taken.ok()) return;
    for (auto input = taken.value.rbegin(); input != taken.value.rend(); ++input) {
        if (input->x != *x || input->y != *y || input->point == to.number) continue;
        job::RunInput station = *input;
        station.event = event;
        (void)job::record_input(session_.job()->database(), *run, station);
        return;
    }
}

void run_calculation(Calculation& calc, const CalculationSteps& steps) {
    Runtime& rt = calc.rt();
    Session& session = calc.session();
    // A job that could not be opened, or opened read-only, is said once.
    if (!session.open_message().empty()) rt.say(session.open_message());
    session.begin_journal(program_title(rt.program()));

    auto store_if_changed = [&] {
        // While replayed input remains, the replayed run's result is not
        // yet this run's: it is stored once the replay has ended.
        if (rt.replay_pending() || !steps.computed) return;
        Calculation::Storing& st = calc.storing();
        std::vector<NamedPoint> now = steps.computed();
        if (now.empty() || (st.stored_once && same_result(now, st.last))) return;
        const bool after_replay = rt.replaying();
        store_result(calc, now, after_replay);
        st.last = std::move(now);
        st.stored_once = true;
    };

    if (steps.enter) steps.enter();
    // A range cut short by the program's limit ends with the entry.
    calc.sequence().next = nullptr;
    calc.sequence().supplied.reset();
    store_if_changed();
    if (steps.opening) steps.opening();
    KeyActions keys = steps.keys;
    keys.before_bar = store_if_changed;
    run_key_loop(rt, steps.bar, keys);
}

}  // namespace marula
