// Running the real marula-points from a test: its standard output, and
// its exit status.
//
//   int status = 0;
//   const std::string list = marula::test::points_command({"--job", dir, "list"}, &status);
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "script_run.h"

namespace marula::test {

inline std::string points_command(const std::vector<std::string>& args, int* status = nullptr) {
    std::string command = (bin_dir() / "marula-points").string();
    for (const auto& a : args) command += " '" + a + "'";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int rc = ::pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

}  // namespace marula::test
