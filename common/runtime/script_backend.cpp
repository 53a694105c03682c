#include "script_backend.h"

#include <charconv>
#include <cstdlib>
#include <map>
#include <string_view>

#include "files.h"

namespace marula {

namespace {

const std::map<std::string, Key> kKeyNames = {
    {"F1", Key::F1}, {"F2", Key::F2}, {"F3", Key::F3}, {"F4", Key::F4}, {"F5", Key::F5},
    {"F6", Key::F6}, {"F7", Key::F7}, {"F8", Key::F8}, {"F9", Key::F9}, {"F10", Key::F10},
    {"Enter", Key::Enter}, {"Escape", Key::Escape}, {"Backspace", Key::Backspace},
};

// Two whole numbers separated by blanks ("400 100"); what follows them is
// not looked at.
bool read_two_ints(std::string_view text, int& first, int& second) {
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (int* target : {&first, &second}) {
        while (at < end && (*at == ' ' || *at == '\t')) ++at;
        if (at < end && *at == '+') ++at;
        const auto [next, error] = std::from_chars(at, end, *target);
        if (error != std::errc()) return false;
        at = next;
    }
    return true;
}

// Events come from the script lines; the clock is virtual, so a deadline
// never passes before the next scripted event is taken.
class ScriptBackend final : public Backend {
public:
    ScriptBackend(std::vector<std::string> lines, int start) : lines_(std::move(lines)), next_(start) {}

    void present(const std::uint8_t*) override {}
    bool virtual_clock() const override { return true; }
    int script_position() const override { return next_; }

    std::optional<InputEvent> wait_event(std::optional<Clock::time_point>) override {
        while (next_ < int(lines_.size())) {
            std::string line = lines_[next_++];
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (auto ev = parse(line)) return ev;
        }
        InputEvent done;
        done.type = InputEvent::Type::Exhausted;
        return done;
    }

private:
    static std::optional<InputEvent> parse(const std::string& line) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') return std::nullopt;
        std::string rest = line.substr(start);
        std::string verb = rest.substr(0, rest.find(' '));
        std::string arg = rest.size() > verb.size() ? rest.substr(verb.size() + 1) : std::string();
        InputEvent ev;
        if (verb == "type") {
            ev.type = InputEvent::Type::TypeLine;
            ev.text = arg;  // literal to the end of the line
            return ev;
        }
        if (verb == "key") {
            auto it = kKeyNames.find(arg);
            if (it == kKeyNames.end()) return std::nullopt;
            ev.type = InputEvent::Type::Key;
            ev.key = it->second;
            return ev;
        }
        if (verb == "dblclick") {
            if (!read_two_ints(arg, ev.x, ev.y)) return std::nullopt;
            ev.type = InputEvent::Type::DoubleClick;
            return ev;
        }
        if (verb == "snap" && !arg.empty() && arg.find('/') == std::string::npos) {
            ev.type = InputEvent::Type::Snap;
            ev.text = arg;
            return ev;
        }
        return std::nullopt;  // an unknown line is skipped
    }

    std::vector<std::string> lines_;
    int next_;
};

}  // namespace

std::unique_ptr<Backend> make_script_backend(std::vector<std::string> lines, int start) {
    return std::make_unique<ScriptBackend>(std::move(lines), start);
}

std::optional<std::string> make_script_backend_from_env(std::unique_ptr<Backend>& out) {
    std::vector<std::string> lines;
    if (const char* file = std::getenv("MARULA_SCRIPT"); file && *file) {
        const std::optional<std::string> content = read_file(file);
        if (!content) return std::string("cannot read the script ") + file;
        std::string_view rest = *content;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            lines.emplace_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }
    int start = 0;
    if (const char* pos = std::getenv("MARULA_SCRIPT_LINE"); pos && *pos) start = std::atoi(pos);
    if (start < 0 || start > int(lines.size())) start = int(lines.size());
    out = make_script_backend(std::move(lines), start);
    return std::nullopt;
}

}  // namespace marula
