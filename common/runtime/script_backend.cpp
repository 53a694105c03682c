#include "script_backend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>

namespace marula {

namespace {

const std::map<std::string, Key, std::less<>> kKeyNames = {
    {"F1", Key::F1}, {"F2", Key::F2}, {"F3", Key::F3}, {"F4", Key::F4}, {"F5", Key::F5},
    {"F6", Key::F6}, {"F7", Key::F7}, {"F8", Key::F8}, {"F9", Key::F9}, {"F10", Key::F10},
    {"Enter", Key::Enter}, {"Escape", Key::Escape}, {"Backspace", Key::Backspace},
};

// Two whole numbers separated by blanks ("400 100"), and nothing after them
// but blanks.
bool read_two_ints(std::string_view text, int& first, int& second) {
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (int* target : {&first, &second}) {
        while (at < end && *at == ' ') ++at;
        const auto [next, error] = std::from_chars(at, end, *target);
        if (error != std::errc() || next == at) return false;
        at = next;
    }
    while (at < end && *at == ' ') ++at;
    return at == end;
}

std::string_view trim_end(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// A source of script lines: the lines, and where the next one starts.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line without its line end; nothing at the end.
    virtual std::optional<std::string> next() = 0;
    // Where the next line starts, to hand on to a program started by RUN.
    virtual std::uint64_t offset() const = 0;
};

class MemoryLines final : public LineSource {
public:
    explicit MemoryLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    std::optional<std::string> next() override {
        if (next_ >= lines_.size()) return std::nullopt;
        return lines_[next_++];
    }
    std::uint64_t offset() const override { return next_; }

private:
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
};

// A script file read as a stream from a byte offset, a buffer at a time.
class FileLines final : public LineSource {
public:
    ~FileLines() override {
        if (fd_ >= 0) ::close(fd_);
    }

    std::optional<std::string> open(const char* file) {
        fd_ = ::open(file, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) return std::string("cannot read the script ") + file + ": " + std::strerror(errno);
        struct stat info{};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))
            return std::string("the script ") + file + " is not a regular file";
        return std::nullopt;
    }

    // Reads from `offset` on; at the start a UTF-8 byte order mark is
    // passed over.
    bool seek(std::uint64_t offset) {
        buffer_.clear();
        at_ = 0;
        ended_ = false;
        offset_ = offset;
        if (::lseek(fd_, off_t(offset), SEEK_SET) < 0) return false;
        if (offset == 0) {
            fill();
            if (buffer_.starts_with("\xEF\xBB\xBF")) {
                at_ = 3;
                offset_ = 3;
            }
        }
        return true;
    }

    std::optional<std::string> next() override {
        for (;;) {
            const std::size_t end = buffer_.find('\n', at_);
            if (end != std::string::npos) {
                std::string line = buffer_.substr(at_, end - at_);
                offset_ += end + 1 - at_;
                at_ = end + 1;
                if (line.size() > kScriptLineLimit) too_long_ = true;
                return line;
            }
            if (buffer_.size() - at_ > kScriptLineLimit) {
                // No line end within the limit: the line is refused whole.
                too_long_ = true;
                std::string line = buffer_.substr(at_, kScriptLineLimit + 1);
                skip_line();
                return line;
            }
            if (ended_) {
                if (at_ >= buffer_.size()) return std::nullopt;
                std::string line = buffer_.substr(at_);
                offset_ += line.size();
                at_ = buffer_.size();
                return line;
            }
            fill();
        }
    }

    std::uint64_t offset() const override { return offset_; }
    // Whether the last line given was cut at the limit.
    bool take_too_long() {
        const bool was = too_long_;
        too_long_ = false;
        return was;
    }
    bool failed() const { return failed_; }

private:
    void fill() {
        if (at_ > 0) {
            buffer_.erase(0, at_);
            at_ = 0;
        }
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed_ = n < 0;
                ended_ = true;
                return;
            }
            buffer_.append(chunk, std::size_t(n));
            return;
        }
    }

    // Passes over the rest of an overlong line.
    void skip_line() {
        for (;;) {
            const std::size_t end = buffer_.find('\n', at_);
            if (end != std::string::npos) {
                offset_ += end + 1 - at_;
                at_ = end + 1;
                return;
            }
            offset_ += buffer_.size() - at_;
            at_ = buffer_.size();
            if (ended_) return;
            fill();
        }
    }

    int fd_ = -1;
    std::string buffer_;
    std::size_t at_ = 0;
    std::uint64_t offset_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    bool too_long_ = false;
};

// Events come from the script lines; the clock is virtual, so a deadline
// never passes before the next scripted event is taken.
class ScriptBackend final : public Backend {
public:
    explicit ScriptBackend(std::unique_ptr<LineSource> lines) : lines_(std::move(lines)) {}

    void present(const std::uint8_t*) override {}
    bool script_mode() const override { return true; }
    bool virtual_clock() const override { return true; }
    std::uint64_t script_offset() const override { return lines_->offset(); }

    std::optional<InputEvent> wait_event(std::optional<Clock::time_point>) override {
        while (auto line = lines_->next()) {
            if (auto ev = parse_script_line(*line).event) return ev;
        }
        InputEvent done;
        done.type = InputEvent::Type::Exhausted;
        return done;
    }

private:
    std::unique_ptr<LineSource> lines_;
};

}  // namespace

ScriptLine parse_script_line(std::string_view line) {
    ScriptLine out;
    if (line.ends_with('\r')) line.remove_suffix(1);  // a line ended the DOS way
    std::string_view rest = line;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    if (trim_end(rest).empty() || rest.front() == '#') return out;
    const std::size_t blank = rest.find(' ');
    const std::string_view verb = rest.substr(0, blank);
    const std::string_view literal = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    const std::string_view arg = trim_end(literal);
    InputEvent ev;
    if (verb == "type") {
        ev.type = InputEvent::Type::TypeLine;
        ev.text = std::string(literal);  // literal to the end of the line
        out.event = ev;
        return out;
    }
    if (verb == "key") {
        if (auto it = kKeyNames.find(arg); it != kKeyNames.end()) {
            ev.type = InputEvent::Type::Key;
            ev.key = it->second;
            out.event = ev;
            return out;
        }
    } else if (verb == "dblclick") {
        if (read_two_ints(arg, ev.x, ev.y)) {
            ev.type = InputEvent::Type::DoubleClick;
            out.event = ev;
            return out;
        }
    } else if (verb == "snap") {
        if (!arg.empty() && arg.find_first_of("/ ") == std::string_view::npos && arg != "." && arg != "..") {
            ev.type = InputEvent::Type::Snap;
            ev.text = std::string(arg);
            out.event = ev;
            return out;
        }
    }
    out.error = "not understood";
    return out;
}

std::unique_ptr<Backend> make_script_backend(std::vector<std::string> lines) {
    return std::make_unique<ScriptBackend>(std::make_unique<MemoryLines>(std::move(lines)));
}

std::optional<std::string> make_script_backend_from_env(std::unique_ptr<Backend>& out) {
    const char* file = std::getenv("MARULA_SCRIPT");
    if (file == nullptr || *file == '\0') {
        out = make_script_backend({});
        return std::nullopt;
    }
    auto lines = std::make_unique<FileLines>();
    if (auto err = lines->open(file)) return err;
    std::uint64_t start = 0;
    const char* handed = std::getenv("MARULA_SCRIPT_OFFSET");
    if (handed != nullptr && *handed != '\0') {
        const char* end = handed + std::strlen(handed);
        const auto [next, error] = std::from_chars(handed, end, start);
        if (error != std::errc() || next != end) return std::string("MARULA_SCRIPT_OFFSET is not a byte offset: ") + handed;
    } else {
        // The first program: every line is read and checked before anything runs.
        if (!lines->seek(0)) return std::string("cannot read the script ") + file;
        for (long number = 1;; ++number) {
            auto line = lines->next();
            if (lines->failed()) return std::string("cannot read the script ") + file;
            if (!line) break;
            if (lines->take_too_long())
                return std::string("script line ") + std::to_string(number) + " is longer than " +
                       std::to_string(kScriptLineLimit) + " bytes";
            if (auto err = parse_script_line(*line).error)
                return std::string("script line ") + std::to_string(number) + " " + *err + ": " + *line;
        }
    }
    if (!lines->seek(start)) return std::string("cannot read the script ") + file;
    out = std::make_unique<ScriptBackend>(std::move(lines));
    return std::nullopt;
}

}  // namespace marula
