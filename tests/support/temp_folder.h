// A fresh folder under the system's temporary folder, removed with all it
// holds when the test is done. Header only: the job library's tests and the
// tests of marula-points use it without the script runner.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace marula::test_support {

class TempFolder {
public:
    // `prefix` names the folder ("marula-job" makes /tmp/marula-job-XXXXXX).
    explicit TempFolder(const std::string& prefix = "marula-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace marula::test_support
