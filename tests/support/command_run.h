// Running a command-line program from a test: its exit status, standard
// output and standard error. Header only, for tests that need neither the
// runtime nor the script runner.
//
//   const auto r = marula::test_support::run_command(MARULA_POINTS_COMMAND, {"--job", dir, "list"});
//   EXPECT_EQ(r.status, 0);
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace marula::test_support {

struct CommandOutcome {
    int status = -1;  // exit status; 128 + signal when killed
    std::string out, err;
};

// Runs `program` with these arguments and "NAME=value" additions to the
// environment (MARULA_JOB is taken away unless given); its output passes
// through files in `scratch`, a folder of the test's.
inline CommandOutcome run_command(const std::string& program, const std::vector<std::string>& args,
                                  const std::vector<std::string>& env, const std::filesystem::path& scratch) {
    const std::string out = (scratch / "command.out").string(), err = (scratch / "command.err").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) ::_exit(127);
        ::unsetenv("MARULA_JOB");
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    CommandOutcome r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    auto slurp = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

}  // namespace marula::test_support
