// Starting a program with the window backend: a plain message and a failing
// status when there is no display, a clean start on a display driver the
// user asked for by name, and a quiet terminal when there is no sound.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ProbeRun {
    int status = -1;  // exit status; -1 killed or by a signal
    std::string err;  // what it wrote on stderr
};

// Runs the probe program with this process's environment minus anything
// that picks a display, sound system or mode, plus `extra`.
ProbeRun run_probe(const std::vector<std::string>& extra) {
    const char* bin = std::getenv("MARULA_BIN");
    const std::string program = std::string(bin != nullptr ? bin : ".") + "/window_probe";
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name.rfind("SDL_", 0) == 0 ||
            name.rfind("MARULA_", 0) == 0 || name.rfind("ALSA_", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], STDERR_FILENO);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        close(pipe_fds[0]);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    ProbeRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{pipe_fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        run.err.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipe_fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(WindowStart, WithoutADisplayTheUserIsToldWhatToDo) {
    const std::vector<std::vector<std::string>> cases = {
        {},                    // nothing set at all
        {"DISPLAY=:87"},       // a display that is not there
        {"DISPLAY=:87", "WAYLAND_DISPLAY=marula-test-none"},
    };
    for (const auto& env : cases) {
        SCOPED_TRACE(env.empty() ? std::string("(empty)") : env.front());
        const ProbeRun run = run_probe(env);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.status, -1) << "it must end by itself, not hang";
        EXPECT_NE(run.err.find("画面を開けません"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("MARULA_HEADLESS=1"), std::string::npos) << run.err;
    }
}

TEST(WindowStart, ADriverAskedForByNameIsUsedAndTheRunIsQuiet) {
    struct Case {
        const char* what;
        std::vector<std::string> env;
    };
    const Case cases[] = {
        {"silent sound device", {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"}},
        // The sound system cannot even read its configuration: no beep, and
        // none of its complaints on the terminal.
        {"broken sound system", {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=alsa", "ALSA_CONFIG_PATH=/nonexistent/alsa.conf"}},
        {"no sound driver", {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=marula-test-none"}},
        // Placements handed on by a previous program, sound or not.
        {"placement", {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "MARULA_WINDOW_POS=40,30,1280x864"}},
        {"full screen", {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "MARULA_WINDOW_POS=0,0,640x432,full"}},
        {"garbled placement", {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "MARULA_WINDOW_POS=x,,99999999999x-3,"}},
        {"far away placement", {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "MARULA_WINDOW_POS=-2147483648,2147483647"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProbeRun run = run_probe(c.env);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
    }
}

}  // namespace
