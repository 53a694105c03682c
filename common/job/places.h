// Where jobs live: MARULA_JOB, the current job of the windowed programs,
// the folders new jobs are made in, and the list of jobs to change to.
// Script mode counts only MARULA_JOB.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marula::job {

// The job's header.
struct JobHeader {
    std::string display_name;  // shown on the menu and sheets; may be empty
    std::optional<int> zone;   // 1–19, the plane rectangular coordinate system's zone
};

// MARULA_JOB when set and not empty.
std::optional<std::filesystem::path> job_from_environment();
// $XDG_DATA_HOME/marula/jobs (or ~/.local/share/marula/jobs).
std::filesystem::path jobs_data_folder();
// XDG_DOCUMENTS_DIR (from $XDG_CONFIG_HOME/user-dirs.dirs) followed by
// Marula/, when the user has such a folder set.
std::optional<std::filesystem::path> jobs_documents_folder();
// Where a new job is made: the documents folder when set, else the data folder.
std::filesystem::path new_jobs_folder();
// Every folder jobs are listed from (documents first, then data; no repeats).
std::vector<std::filesystem::path> job_list_folders();
// $XDG_CONFIG_HOME/marula/current-job (or ~/.config/marula/current-job).
std::filesystem::path current_job_file();
// The name of the job made on the very first start in a window.
inline constexpr std::string_view kDefaultJobName = "既定";

// The job a program should use: `from_environment` (MARULA_JOB) when set;
// in script mode nothing else; in a window the current job, or on the very
// first start a job "既定" under the data folder, made current.
std::optional<std::filesystem::path> choose_job_folder(const std::optional<std::filesystem::path>& from_environment,
                                                       bool script_mode);
// Makes `folder` the current job (writes current-job whole); false when it cannot.
bool set_current_job(const std::filesystem::path& folder);

// A job found in a list folder, for the change-of-job list.
struct JobSummary {
    std::filesystem::path folder;
    JobHeader header;
    std::int64_t points = 0;
    bool usable = true;    // false when its database cannot be read as a job
    bool current = false;  // the caller's own job: its header is the caller's to fill in
};

// The jobs in `folders`, by folder name within each. Each is read through
// SQLite, read-only and one at a time; `current` (the caller's open job) is
// listed but not opened a second time.
std::vector<JobSummary> list_jobs(const std::vector<std::filesystem::path>& folders,
                                  const std::optional<std::filesystem::path>& current);

// The folder for a new job named `display_name` under `parent`: the name
// made safe for a file name and cut to fit, a number added when it exists.
std::filesystem::path new_job_folder(std::string_view display_name, const std::filesystem::path& parent);

// Whether two paths name the same folder (after resolving links and dots).
bool same_folder(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace marula::job
