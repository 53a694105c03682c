// The printer: LPRINT lines gathered into pages, their transcripts, and
// finished files handed to the system printer. The PDF files themselves are
// made by the PDF writer, loaded only when something is printed.

#include "printer.h"

#include "base/files.h"
#include "base/format.h"


#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace marula {

// ---------------------------------------------------------------------------
// Gathering lines

namespace {
constexpr int kDefaultFontSize = 200;
}

void Printer::set_paper(int /*paper*/, int orientation) {
    // Every page is A4; only the orientation changes.
    if (orientation == 1) landscape_ = false;
    if (orientation == 2) landscape_ = true;
}

void Printer::set_font(int size) {
    if (size > 0) font_size_ = size;
}

void Printer::set_pitch(int char_pitch, int line_pitch) {
    char_pitch_ = std::max(0, char_pitch);
    line_pitch_ = std::max(0, line_pitch);
}

void Printer::print(std::string_view text, bool end_line) {
    // A line ended without text still records the type in effect, since
    // the line feed advances by the line pitch set at that moment.
    if (!text.empty() || end_line)
        current_.runs.push_back(PrintRun{std::string(text), font_size_, char_pitch_, line_pitch_});
    line_open_ = !end_line;
    if (end_line) {
        page_.lines.push_back(std::move(current_));
        current_ = PrintedLine{};
    }
}

PrintedPage Printer::eject() {
    if (line_open_ && !current_.runs.empty()) page_.lines.push_back(std::move(current_));
    current_ = PrintedLine{};
    line_open_ = false;
    PrintedPage page = std::move(page_);
    page.landscape = landscape_;
    page_ = PrintedPage{};
    // The next page starts in the default type, so the same report prints
    // the same each time; the paper keeps its orientation.
    font_size_ = kDefaultFontSize;
    char_pitch_ = 0;
    line_pitch_ = 0;
    return page;
}

bool Printer::page_is_empty() const { return page_.lines.empty() && current_.runs.empty(); }

// ---------------------------------------------------------------------------
// The transcript

std::string page_transcript(const PrintedPage& page) {
    std::string text;
    for (const PrintedLine& line : page.lines) {
        for (const PrintRun& run : line.runs) text += run.text;
        text += '\n';
    }
    text += "\f\n";
    return text;
}

std::optional<std::string> write_page_text(const PrintedPage& page, const std::filesystem::path& file) {
    if (write_whole_file(file, page_transcript(page))) return file.filename().string() + "：書き込めません";
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// The system printer

namespace {

struct Finished {
    bool started = false;  // the program could be started at all
    bool timed_out = false;
    int status = -1;  // exit status when it ended by itself
    std::string output;
};

// How often `meanwhile` is called while a command runs.
constexpr std::chrono::milliseconds kSlice{50};

// Runs a program (by its full path, no shell) with LC_ALL=C and the
// system's PATH, its output collected, for at most `limit`; a program still
// running then is killed. `meanwhile` is called between slices of waiting.
Finished run_with_limit(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                        const std::function<void()>& meanwhile) {
    Finished result;
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return result;

    std::vector<std::string> env_strings{"LC_ALL=C", "PATH=/usr/bin:/bin"};
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "PATH=", 5) != 0) env_strings.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& s : args) argp.push_back(s.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        return result;
    }
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool open = true;
    while (open) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{pipe_fds[0], POLLIN, 0};
        const auto slice = meanwhile ? std::min(left, kSlice) : left;
        if (poll(&pfd, 1, static_cast<int>(slice.count())) <= 0) {
            if (meanwhile) meanwhile();
            continue;
        }
        char buf[512];
        const ssize_t n = read(pipe_fds[0], buf, sizeof buf);
        if (n > 0)
            result.output.append(buf, static_cast<std::size_t>(n));
        else
            open = false;
    }
    close(pipe_fds[0]);
    // The output is closed; wait for the end, still within the limit.
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0) return result;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            return result;
        }
        if (meanwhile)
            meanwhile();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

}  // namespace

std::optional<std::string> send_to_printer(const std::filesystem::path& file, const std::function<void()>& meanwhile,
                                           const PrinterCommands& commands) {
    const std::string not_set = "プリンタが設定されていません。PDFを保存しました。";
    const Finished query = run_with_limit({commands.lpstat, "-d"}, commands.query_limit, meanwhile);
    if (!query.started || query.timed_out || query.status != 0) return not_set;
    // "system default destination: NAME" when there is one.
    if (query.output.find("system default destination:") == std::string::npos) return not_set;
    // An absolute path can never be read as an option.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    const Finished job = run_with_limit({commands.lp, (ec ? file : absolute).string()}, commands.send_limit, meanwhile);
    if (!job.started || job.timed_out || job.status != 0) return "印刷できませんでした。PDFを保存しました。";
    return std::nullopt;
}

}  // namespace marula
