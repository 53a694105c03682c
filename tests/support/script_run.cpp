#include "script_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/format.h"

namespace marula::test {
namespace fs = std::filesystem;

namespace {

fs::path make_out_dir(std::string_view program) {
    std::string pattern = (fs::temp_directory_path() / ("marula-" + std::string(program) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
}

bool keep_out() {
    const char* keep = std::getenv("MARULA_KEEP_OUT");
    return keep && std::string_view(keep) == "1";
}

}  // namespace

ScriptResult::ScriptResult(ScriptResult&& other) noexcept { *this = std::move(other); }

ScriptResult& ScriptResult::operator=(ScriptResult&& other) noexcept {
    if (this != &other) {
        out_dir = std::exchange(other.out_dir, {});
        exit_status = other.exit_status;
        events = std::move(other.events);
        stderr_text = std::move(other.stderr_text);
    }
    return *this;
}

ScriptResult::~ScriptResult() {
    if (out_dir.empty()) return;
    if (keep_out()) {
        std::fprintf(stderr, "script output kept in %s\n", out_dir.c_str());
        return;
    }
    std::error_code ec;
    fs::remove_all(out_dir, ec);
}

bool ScriptResult::logged(std::string_view line) const {
    for (const auto& e : events)
        if (e == line) return true;
    return false;
}

int ScriptResult::times_logged(std::string_view line) const {
    return static_cast<int>(std::count(events.begin(), events.end(), line));
}

std::vector<std::string> ScriptResult::events_starting(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (std::string_view(e).starts_with(prefix)) out.push_back(e);
    return out;
}

std::vector<std::string> ScriptResult::screen(std::string_view name) const {
    auto rows = read_lines(out_dir / (std::string(name) + ".txt"));
    rows.resize(24);
    return rows;
}

std::string ScriptResult::cells(std::string_view name, int row, int column, int width) const {
    return cut_columns(this->row(name, row), column, width);
}

std::vector<std::string> ScriptResult::colors(std::string_view name) const {
    auto rows = read_lines(out_dir / (std::string(name) + ".color"));
    rows.resize(24);
    return rows;
}

bool ScriptResult::has_snap(std::string_view name) const {
    return fs::exists(out_dir / (std::string(name) + ".txt"));
}

std::vector<std::string> transcript(const ScriptResult& r, int page) {
    std::ifstream in(r.out_dir / ("print-" + std::to_string(page) + ".txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool has_line_containing(const std::vector<std::string>& lines, std::string_view part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

Lines typed(const std::vector<std::string>& values) {
    Lines lines;
    for (const std::string& v : values) lines.push_back(v.empty() ? "type" : "type " + v);
    return lines;
}

bool has_line(const std::vector<std::string>& lines, std::string_view line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string cut_columns(std::string_view row, int column, int width) {
    std::string out;
    int at = 0;
    for (const std::string& ch : split_chars(row)) {
        int w = char_width(decode_char(ch));
        int first = std::max(at, column), last = std::min(at + w, column + width);
        if (at >= column && at + w <= column + width)
            out += ch;
        else if (first < last)
            out.append(std::size_t(last - first), ' ');  // half of a full-width character
        at += w;
    }
    // The dump trims trailing blanks: they are put back.
    out.append(std::size_t(std::max(0, width - display_width(out))), ' ');
    return out;
}

fs::path bin_dir() {
    const char* bin = std::getenv("MARULA_BIN");
    return bin ? fs::path(bin) : fs::path("bin");
}

ScriptResult run_script(std::string_view program, const std::vector<std::string>& lines,
                        const std::vector<std::string>& extra_env, int timeout_seconds) {
    ScriptResult result;
    const char* bin = std::getenv("MARULA_BIN");
    if (!bin && program.find('/') == std::string_view::npos) {
        result.stderr_text = "MARULA_BIN is not set";
        return result;
    }
    result.out_dir = make_out_dir(fs::path(program).filename().string());
    if (result.out_dir.empty()) {
        result.stderr_text = "cannot make a temporary folder";
        return result;
    }
    fs::path script = result.out_dir / "script.txt";
    {
        std::ofstream out(script);
        for (const auto& line : lines) out << line << '\n';
    }
    fs::path executable =
        program.find('/') != std::string_view::npos ? fs::path(program) : fs::path(bin) / std::string(program);
    fs::path err_file = result.out_dir / "stderr.txt";

    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("MARULA_HEADLESS", "1", 1);
        ::setenv("MARULA_SCRIPT", script.c_str(), 1);
        ::setenv("MARULA_OUT", result.out_dir.c_str(), 1);
        ::setenv("MARULA_DATE", "2026/04/01", 1);
        ::unsetenv("MARULA_SCRIPT_OFFSET");
        // A job only when the test gives one: a MARULA_JOB left in the
        // caller's shell would change every program's screens.
        ::unsetenv("MARULA_JOB");
        for (const auto& kv : extra_env) ::putenv(::strdup(kv.c_str()));
        int null_fd = ::open("/dev/null", O_RDWR);
        int err_fd = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (null_fd >= 0) {
            ::dup2(null_fd, 0);
            ::dup2(null_fd, 1);
        }
        if (err_fd >= 0) ::dup2(err_fd, 2);
        if (::chdir(result.out_dir.c_str()) != 0) ::_exit(126);
        char* argv[] = {const_cast<char*>(executable.c_str()), nullptr};
        ::execv(executable.c_str(), argv);
        std::fprintf(stderr, "cannot start %s\n", executable.c_str());
        ::_exit(127);
    }
    if (pid < 0) {
        result.stderr_text = "fork failed";
        return result;
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.exit_status = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    result.events = read_lines(result.out_dir / "events.log");
    result.stderr_text = read_all(err_file);
    return result;
}

std::vector<std::string> read_lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string read_all(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace marula::test
