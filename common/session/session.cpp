#include "session/session.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <cstring>

#include "base/printable.h"
#include "job/provenance.h"
#include "runtime/script_backend.h"

namespace marula {

namespace {

constexpr std::string_view kLeaveKept = "入力を中止してメニューに戻りますか（Y/N）";
constexpr std::string_view kLeaveUnkept = "入力を中止してメニューに戻りますか（入力は保存されません）（Y/N）";
constexpr std::string_view kDamagedRecord = "前回の入力の記録が壊れているため復元できません。";
constexpr std::string_view kDamagedPart = "入力の記録が途中から壊れているため、その前までを再現しました。";

// The events of a journaled run to replay, up to the one that ended it.
// A line holding a control character was never typed so (line entry drops
// them): the record is damaged there, and the replay stops before it.
struct Replay {
    std::vector<InputEvent> events;
    bool damaged = false;  // stopped short of the run's end
};

// The replay of a run; nothing (the record is damaged) when a line of it
// is not an event or it is longer than any run can be.
std::optional<Replay> replay_events(const job::Journal& journal, const job::JournalRun& run) {
    if (run.events > job::kJournalEventLimit) return std::nullopt;
    const auto lines = journal.events(run.id);
    if (!lines.ok()) return std::nullopt;
    Replay replay;
    for (std::size_t i = 0; i < lines.value.size() && std::int64_t(i) < run.replayable; ++i) {
        if (!is_printable(lines.value[i])) {
            replay.damaged = true;
            break;
        }
        const ScriptLine parsed = parse_script_line(lines.value[i]);
        if (parsed.error || !parsed.event) return std::nullopt;  // never replayed in part
        replay.events.push_back(*parsed.event);
    }
    return replay;
}

// The restore question names the run: the program, when it started
// (month/day hour:minute of its "YYYY-MM-DD HH:MM:SS") and how many answers
// it holds: 前回の入力（結合トラバース　12/09 10:32　13件）を復元しますか（Y/N）
std::string restore_question(std::string_view title, const job::JournalRun& run) {
    std::string when;
    if (run.started.size() >= 16)
        when = run.started.substr(5, 2) + "/" + run.started.substr(8, 2) + " " + run.started.substr(11, 5);
    std::string named(title);
    if (!when.empty()) named += "　" + when;
    named += "　" + std::to_string(run.typed) + "件";
    return "前回の入力（" + named + "）を復元しますか（Y/N）";
}

}  // namespace

std::optional<std::int64_t> reopened_run_number(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n <= 0) return std::nullopt;
    return n;
}

LaunchSettings LaunchSettings::from_environment() {
    auto text = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    LaunchSettings s;
    s.script_mode = text("MARULA_HEADLESS") == "1";
    if (const std::string job = text("MARULA_JOB"); !job.empty()) s.job = std::filesystem::path(job);
    s.reopen = text("MARULA_REOPEN");
    // The run to reopen is this start's only: not handed on to a program
    // started by RUN.
    unsetenv("MARULA_REOPEN");
    s.restore = text("MARULA_RESTORE");
    s.started_by_run = !text("MARULA_SCRIPT_OFFSET").empty();
    s.window_position = text("MARULA_WINDOW_POS");
    return s;
}

// The journal of the running calculation: the runtime's sink writes
// through the session's writer, which goes when the job closes.
struct Session::JournalOfRun {
    Session& session;
    std::unique_ptr<job::JournalWriter> writer;
};

namespace {

class JournalSinkOfJob final : public JournalSink {
public:
    explicit JournalSinkOfJob(std::shared_ptr<Session::JournalOfRun> journal) : journal_(std::move(journal)) {}
    std::optional<std::string> record(std::string_view line) override {
        if (!writer()) return journal_->session.journal_trouble();
        if (writer()->record(line)) return journal_->session.journal_trouble();
        return std::nullopt;
    }
    std::optional<std::string> amend(long index, std::string_view line) override {
        return writer() ? writer()->amend(index, line) : std::nullopt;
    }
    std::optional<std::string> withdraw(long index) override {
        return writer() ? writer()->withdraw(index) : std::nullopt;
    }
    std::optional<std::string> record_answer(std::string_view question, std::string_view answer) override {
        return writer() ? writer()->record_answer(question, answer) : std::nullopt;
    }
    void ended(RunEnding ending, long replayable) override {
        if (writer()) writer()->end_run(run_ending_name(ending), replayable);
    }

private:
    job::JournalWriter* writer() { return journal_->writer.get(); }
    std::shared_ptr<Session::JournalOfRun> journal_;
};

}  // namespace

Session::Session(Runtime& rt, ProgramKind kind, LaunchSettings launch)
    : rt_(rt), kind_(kind), launch_(std::move(launch)) {
    rt_.set_menu_program(std::string(kLauncherName));
    // The job is left free for the program RUN starts.
    rt_.set_before_run([this] { close_job(); });
    if (kind_ == ProgramKind::standalone) return;
    chosen_ = job::choose_job_folder(launch_.job, launch_.script_mode);
    if (chosen_) open(*chosen_);
}

Session::~Session() { close_job(); }

bool Session::writable() const { return job_ && !job_->read_only() && !job_->damaged(); }

void Session::open(const std::filesystem::path& folder) {
    close_job();
    job::OpenResult opened = job::open_job(folder);
    job_ = std::move(opened.job);
    open_message_ = opened.message;
    damage_said_ = false;
}

void Session::close_job() {
    if (journal_) journal_->writer.reset();
    job_.reset();
}

void Session::switch_to(const std::filesystem::path& folder) {
    chosen_ = folder;
    open(folder);
}

std::optional<std::string> Session::create_and_switch(const job::JobHeader& header) {
    close_job();
    job::OpenResult created = job::create_job(header);
    if (!created.job) {
        if (chosen_) open(*chosen_);  // the job before stays this program's
        return created.message;
    }
    chosen_ = created.job->folder();
    job_ = std::move(created.job);
    open_message_ = created.message;
    damage_said_ = false;
    return std::nullopt;
}

std::string Session::sheet_line() const {
    if (!job_) return {};
    std::string line = "現場：" + job_->display_name();
    if (const auto zone = job_->header().zone) line += "（第" + std::to_string(*zone) + "系）";
    return line;
}

void Session::file_sheets_in_job() {
    if (!job_) return;
    // The job's folder is opened once, here: reports/ is then found in it
    // afresh at each filing and never followed out of it as a link.
    rt_.file_sheets_in(::open(job_->folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), "reports");
    rt_.set_sheet_line(sheet_line());
}

void Session::say(std::string_view message) {
    const bool damage = job_ && job_->damaged();
    if (damage && damage_said_) return;
    if (damage) {
        damage_said_ = true;
        rt_.say(job::damaged_message(job_->folder() / "job.db"));
        return;
    }
    rt_.say(message);
}

void Session::say_trouble(const job::ReadTrouble& trouble) {
    if (trouble) say(*trouble);
}

std::optional<std::int64_t> Session::journal_run() const {
    return journal_ && journal_->writer ? journal_->writer->run() : std::nullopt;
}

std::string Session::journal_trouble() {
    if (!job_ || !job_->damaged()) return std::string(job::kJournalTrouble);
    if (damage_said_) return {};
    damage_said_ = true;
    return job::damaged_message(job_->folder() / "job.db");
}

namespace {

// A reopened run whose values taken from the job have moved since: asked
// once, before the replay, whether to calculate with the job's values as
// they are now. With Y the answers that took them become empty answers
// again, so the replay takes the job's offers as they stand (and they are
// taken, and kept, afresh). Values of points no longer in the job, or no
// longer under the name the run gave, stay as recorded.
struct CurrentValues {
    std::string question;
    bool taken = false;
    std::set<std::int64_t> events;
};

std::optional<CurrentValues> offer_current_values(Runtime& rt, const job::Database& db, std::int64_t run,
                                                  std::vector<InputEvent>& replay) {
    auto moved = job::moved_inputs(db, run);
    if (!moved.ok()) return std::nullopt;
    // Named in the order the run asked for them.
    std::stable_sort(moved.value.begin(), moved.value.end(),
                     [](const job::MovedInput& a, const job::MovedInput& b) { return a.taken.event < b.taken.event; });
    CurrentValues current;
    std::vector<std::string> names;
    for (const job::MovedInput& m : moved.value) {
        if (!m.retakeable || m.taken.event >= std::int64_t(replay.size())) continue;
        current.events.insert(m.taken.event);
        if (std::find(names.begin(), names.end(), m.now->name) == names.end()) names.push_back(m.now->name);
    }
    if (names.empty()) return std::nullopt;
    std::string which = names.front();
    if (names.size() > 1) which += " ほか" + std::to_string(names.size() - 1) + "点";
    current.question = "現場の座標が変わった点があります（" + which + "）。現在の座標で計算しますか（Y/N）";
    current.taken = rt.ask_yes_no(current.question);
    if (current.taken)
        for (const std::int64_t event : current.events) {
            replay[std::size_t(event)].type = InputEvent::Type::TypeLine;
            replay[std::size_t(event)].text.clear();
        }
    return current;
}

}  // namespace

void Session::begin_journal(std::string_view program_title) {
    // Escape at an entry leaves it for the menu, once confirmed; without a
    // journal the question says that the input is not kept.
    rt_.set_escape_to_menu(std::string(kLeaveUnkept));
    // A read-only job keeps no journal; the program's own notice of the
    // read-only job says so once.
    if (!writable() || journal_) return;
    const job::Journal journal(job_->database());
    std::optional<Replay> replay;
    std::optional<std::int64_t> reopened, replayed_run;
    std::optional<CurrentValues> current;
    if (!launch_.reopen.empty()) {
        const auto number = reopened_run_number(launch_.reopen);
        const auto run = number ? journal.run(*number) : job::Read<std::optional<job::JournalRun>>{};
        if (run.ok() && run.value && run.value->program == rt_.program()) {
            replay = replay_events(journal, *run.value);
            reopened = replayed_run = run.value->id;
            if (!replay) rt_.notice_before_input(std::string(kDamagedRecord));
            else current = offer_current_values(rt_, job_->database(), run.value->id, replay->events);
        } else {
            const std::string why = "MARULA_REOPEN=" + printable_quote(launch_.reopen) + " は" + rt_.program() +
                                    "の記録の番号ではありません。新しく始めます。";
            rt_.log_event("error " + why);
            std::fprintf(stderr, "%s: %s\n", rt_.program().c_str(), why.c_str());
        }
    } else {
        // Script mode asks only when told to, and never in a program started
        // by RUN (it goes on from a byte offset of the script). A restore
        // after a crash replays as recorded.
        const bool ask = !launch_.script_mode || (launch_.restore == "ask" && !launch_.started_by_run);
        const auto previous = journal.latest_run(rt_.program());
        if (ask && previous.ok() && previous.value && job::offered_for_restore(*previous.value) &&
            rt_.ask_yes_no(restore_question(program_title, *previous.value))) {
            replay = replay_events(journal, *previous.value);
            replayed_run = previous.value->id;
            if (!replay) rt_.notice_before_input(std::string(kDamagedRecord));
        }
    }
    // The replayed run's values taken from the job are this run's too, but
    // for those it takes afresh.
    std::optional<job::JournalWriter::Inheritance> inheritance;
    if (replay && replayed_run)
        inheritance = job::JournalWriter::Inheritance{*replayed_run, std::int64_t(replay->events.size()),
                                                      current && current->taken ? current->events
                                                                                : std::set<std::int64_t>{}};
    journal_ = std::make_shared<JournalOfRun>(JournalOfRun{*this, nullptr});
    journal_->writer =
        std::make_unique<job::JournalWriter>(job_->database(), rt_.program(), reopened, std::move(inheritance));
    // The question the job caused is kept apart from the input.
    if (current) journal_->writer->record_question(current->question, current->taken ? "Y" : "N");
    rt_.set_journal(std::make_unique<JournalSinkOfJob>(journal_));
    rt_.set_escape_to_menu(std::string(kLeaveKept));
    if (replay)
        rt_.start_replay(std::move(replay->events), replay->damaged ? std::string(kDamagedPart) : std::string());
}

}  // namespace marula
