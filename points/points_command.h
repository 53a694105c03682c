// What the commands of marula-points share: exit statuses and the
// messages of refusals.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "job/job.h"

namespace marula::points_command {

using Args = std::vector<std::string>;

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kRefused = 1;      // the file was refused
inline constexpr int kUsage = 2;
inline constexpr int kNotChosen = 3;    // conflicts without a choice, cancelled, or the export's file exists
inline constexpr int kBusy = 4;         // the job stayed busy beyond the timeout
inline constexpr int kJobFailed = 5;    // the job cannot be opened or written, or check found damage

inline constexpr const char* kProgram = "marula-points";
inline const job::Origin kOrigin{"marula-points", "入力"};

// The refusal of a command line: the reason and the hint on standard error.
int usage(const std::string& why);
// The job could not be opened, read or written.
int job_failure(const std::string& message);
// A write that did not happen, by why.
int write_failure(const job::WriteResult& w);
// What the commands print that came from a file, a file name or the job
// shows control characters as \xNN (printable), so one record is always
// one line. A point's values "NAME X Y H" ("-" for no height), or nothing.
std::string point_text(const std::optional<job::Point>& p);
std::string h_text(const std::optional<job::Millimetres>& h);
// FILE:LINE: CODE: text, or FILE: CODE: text.
std::string located(const std::string& file, const job::Diagnostic& d);
// The job's zone, for the commands that need one. Nothing when the header
// cannot be read (said; `status` is the job's failure) or the job has no
// zone (「座標系が未設定です」; `status` is kUsage).
std::optional<int> zone_or_refusal(const job::Job& job, int& status);
// The last part of a path, printable.
std::string file_name_of(const std::string& path);

// The commands, each over the job (the journal reads through it too).
int run_init(job::Job& job, const Args& params);
int run_list(job::Job& job, const Args& params);
int run_history(job::Job& job, const Args& params);
int run_rename(job::Job& job, const Args& params);
int run_delete(job::Job& job, const Args& params);
int run_import(job::Job& job, const Args& params);
int run_export(job::Job& job, const Args& params);
int run_journal(job::Job& job, const Args& params);
int run_settings(job::Job& job, const Args& params);
int run_geo(job::Job& job, const Args& names);
int run_lot(job::Job& job, const Args& params);
int run_check(job::Job& job, const Args& params);

}  // namespace marula::points_command
