// The journal of a run: the one place where the input a program takes is
// recorded, the replay of recorded input, and the one-key question.
#include <array>
#include <csignal>
#include <utility>
#include <cstdlib>
#include <unistd.h>

#include "base/printable.h"
#include "base/text_codec.h"
#include "runtime.h"
#include "runtime_internal.h"

namespace marula {

using namespace detail;

std::string_view run_ending_name(RunEnding ending) {
    switch (ending) {
        case RunEnding::reinput: return "reinput";
        case RunEnding::menu: return "menu";
        case RunEnding::end: return "end";
        case RunEnding::run: return "run";
        case RunEnding::closed: return "closed";
        case RunEnding::escaped: return "escaped";
    }
    return "closed";
}

void Runtime::set_journal(std::unique_ptr<JournalSink> sink) {
    journal_ = std::move(sink);
    journal_typing_.clear();
    journal_count_ = 0;
    journal_last_typed_ = false;
    // Tests only, and only in script mode: stop dead (as a kill would)
    // once this many events have been taken and handled.
    if (backend_->script_mode()) {
        if (const char* n = std::getenv("MARULA_STOP_AFTER_EVENTS"); n && *n) stop_after_ = std::atol(n);
    }
}

void Runtime::notice_before_input(std::string message) { journal_notice_ = std::move(message); }

void Runtime::show_journal_notice() {
    if (!journal_notice_) return;
    const std::string message = std::move(*journal_notice_);
    journal_notice_.reset();
    // An empty one: the trouble was said already, by whoever found it.
    if (!message.empty()) notice(message);
}

void Runtime::journal_line(const std::string& line) {
    if (!journal_) return;
    if (auto trouble = journal_->record(line)) {
        // One notice, and the program carries on without a journal.
        journal_.reset();
        journal_notice_ = *trouble;
        return;
    }
    ++journal_count_;
}

void Runtime::journal_input(const InputEvent& ev) {
    if (!journal_) return;
    // Typing counts only where a line entry takes it: in the entry, or
    // kept during a WAIT for the next one.
    const bool for_line = entering_ || waiting_;
    // The line entry drops control characters as they are typed: the
    // journal keeps the line as the entry took it, one script line.
    auto typed_line = [&](const std::string& text) {
        journal_line("type " + text);
        journal_last_typed_ = journal_ != nullptr;
    };
    switch (ev.type) {
        case InputEvent::Type::Text:
            if (for_line) journal_typing_ += without_control_characters(ev.text);
            return;
        case InputEvent::Type::TypeLine:
            if (!for_line) return;
            typed_line(std::exchange(journal_typing_, {}) + without_control_characters(ev.text));
            return;
        case InputEvent::Type::Key:
            if (ev.key == Key::Enter) {
                if (for_line) typed_line(std::exchange(journal_typing_, {}));
                return;
            }
            if (ev.key == Key::Backspace) {
                if (for_line && !journal_typing_.empty()) {
                    auto chars = split_chars(journal_typing_);
                    chars.pop_back();
                    journal_typing_.clear();
                    for (auto& c : chars) journal_typing_ += c;
                }
                return;
            }
            if (ev.key == Key::Escape) {
                journal_line("key Escape");
            } else if (const int n = function_key_number(ev.key)) {
                journal_line("key F" + std::to_string(n));
            }
            journal_last_typed_ = false;
            return;
        case InputEvent::Type::DoubleClick:
            journal_line("dblclick " + std::to_string(ev.x) + " " + std::to_string(ev.y));
            journal_last_typed_ = false;
            return;
        default: return;
    }
}

void Runtime::answer_taken_as(std::string_view typed) { answer_taken_as(typed, answer_mark()); }

void Runtime::answer_taken_as(std::string_view typed, long mark) {
    if (!journal_ || mark < 0 || mark >= journal_count_) return;
    std::string line = "type ";
    line += typed;
    if (auto trouble = journal_->amend(mark, line)) {
        journal_.reset();
        journal_notice_ = *trouble;
    }
}

void Runtime::answer_supplied(std::string_view typed) {
    if (!journal_) return;
    journal_line("type " + std::string(typed));
    journal_last_typed_ = journal_ != nullptr;
}

void Runtime::answer_withdrawn() {
    if (!journal_ || !journal_last_typed_ || journal_count_ == 0) return;
    if (auto trouble = journal_->withdraw(journal_count_ - 1)) {
        journal_.reset();
        journal_notice_ = *trouble;
        return;
    }
    --journal_count_;
    journal_last_typed_ = false;
}

void Runtime::job_question_answered(std::string_view question, std::string_view answer) {
    if (!journal_ || !journal_last_typed_) return;
    if (auto trouble = journal_->record_answer(question, answer)) {
        journal_.reset();
        journal_notice_ = *trouble;
        return;
    }
    --journal_count_;
    journal_last_typed_ = false;
}

void Runtime::journal_end(RunEnding ending, bool by_last_event) {
    if (!journal_) return;
    const long replayable = by_last_event && journal_count_ > 0 ? journal_count_ - 1 : journal_count_;
    journal_->ended(ending, replayable);
    journal_.reset();  // nothing after the ending belongs to the run
}

void Runtime::start_replay(std::vector<InputEvent> events, std::string notice_at_end) {
    replayed_ = 0;
    for (auto& ev : events) replay_.push_back(std::move(ev));
    replaying_ = !replay_.empty();
    replay_end_notice_ = std::move(notice_at_end);
    if (!replaying_ && !replay_end_notice_.empty()) journal_notice_ = std::exchange(replay_end_notice_, {});
}

bool Runtime::replay_escaped() {
    if (backend_->virtual_clock()) return false;  // a script's lines come in their order
    while (auto ev = backend_->wait_event(Clock::now())) {
        if (ev->type == InputEvent::Type::Quit) handle_quit();
        if (ev->type == InputEvent::Type::Key && ev->key == Key::Escape) {
            log_event("error replay stopped by Escape at event " + std::to_string(replayed_));
            replay_.clear();
            replay_end_notice_.clear();
            replaying_ = false;
            notice("入力の再現を" + std::to_string(replayed_) + "番目で中止しました。");
            return true;
        }
        held_.push_back(std::move(*ev));
    }
    return false;
}

void Runtime::replay_over() {
    replaying_ = false;
    if (replay_end_notice_.empty()) return;
    const std::string message = std::exchange(replay_end_notice_, {});
    log_event("error replay stopped: " + message);
    notice(message);
}

bool Runtime::replay_fits(const InputEvent& ev) {
    // A line is recorded only where an entry took it: a replayed line that
    // comes where no entry asks belongs to a program that has changed since.
    if (ev.type != InputEvent::Type::TypeLine || entering_) return true;
    const std::string line = "type " + ev.text;
    log_event("error replay stopped at event " + std::to_string(replayed_) + ": " + line);
    replay_.clear();
    replay_end_notice_.clear();
    replaying_ = false;
    notice("入力の再現を" + std::to_string(replayed_) + "番目（" + line + "）で中止しました。");
    return false;
}

void Runtime::stop_dead() {
    // The screen as it stood, for the test to compare; then a kill.
    snap("stopped");
    std::fflush(nullptr);
    ::kill(::getpid(), SIGKILL);
    std::abort();
}

bool Runtime::ask_yes_no(std::string_view question) {
    // Keys typed before the question are dropped.
    typeahead_.clear();
    held_keys_.clear();
    if (!backend_->virtual_clock()) {
        while (auto ev = backend_->wait_event(Clock::now())) {
            if (ev->type == InputEvent::Type::Quit) handle_quit();
        }
    }
    const int col = cursor_col_, row = cursor_row_, color = color_, style = style_;
    const std::array<Cell, kColumns> saved = text_[kPromptRow];
    const bool was_entering = entering_;
    entering_ = false;  // no entry cursor on the question
    clear_row(kPromptRow);
    locate(0, kPromptRow);
    color_ = 0;
    style_ = 4;
    print(cut_to_width(question, kColumns - 1));  // never wrapping into a scroll (see notice)
    color_ = color;
    style_ = style;
    std::optional<bool> answer;
    while (!answer) {
        present();
        auto ev = backend_->wait_event(std::nullopt);
        if (!ev) continue;
        auto from_text = [&](std::string_view text) -> std::optional<bool> {
            if (!text.empty() && text.front() != ' ' && is_yes(text)) return true;
            if (text == "N" || text == "n" || text == "Ｎ" || text == "ｎ" || text.empty()) return false;
            return std::nullopt;
        };
        switch (ev->type) {
            case InputEvent::Type::Quit: handle_quit(); break;
            case InputEvent::Type::Snap:
            case InputEvent::Type::Exhausted: handle_snap_or_exhausted(*ev); break;
            case InputEvent::Type::Text:
                if (auto a = from_text(ev->text); a && !ev->text.empty()) answer = a;
                break;
            case InputEvent::Type::TypeLine: answer = from_text(ev->text); break;
            case InputEvent::Type::Key:
                if (ev->key == Key::Enter) answer = false;
                break;
            default: break;
        }
    }
    text_[kPromptRow] = saved;  // the row as it stood (an entry goes on where it was)
    entering_ = was_entering;
    locate(col, row);
    return *answer;
}

void Runtime::escape_entry() {
    if (replaying_) return;
    if (!ask_yes_no(escape_question_)) return;
    journal_end(RunEnding::escaped, true);  // up to the Escape: offered at the next start
    run(menu_program_);
}

}  // namespace marula
