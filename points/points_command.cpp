#include "points_command.h"

#include <iostream>

#include "base/printable.h"
#include "job/settings.h"

namespace marula::points_command {

using namespace marula::job;

int usage(const std::string& why) {
    std::cerr << kProgram << ": " << printable(why) << "\n" << "Try 'marula-points --help'.\n";
    return kUsage;
}

int job_failure(const std::string& message) {
    std::cerr << kProgram << ": " << printable(message) << "\n";
    return kJobFailed;
}

int write_failure(const WriteResult& w) {
    std::cerr << kProgram << ": " << printable(w.message) << "\n";
    switch (w.status) {
    case WriteStatus::busy: return kBusy;
    case WriteStatus::read_only:
    case WriteStatus::damaged:
    case WriteStatus::failed: return kJobFailed;
    default: return kUsage;  // not found, name taken, bad name: what was asked cannot be
    }
}

std::string h_text(const std::optional<Millimetres>& h) { return h ? format_metres(*h) : std::string(); }

std::string point_text(const std::optional<Point>& p) {
    if (!p) return "";
    return printable(p->name) + " " + format_metres(p->x) + " " + format_metres(p->y) + " " +
           (p->h ? format_metres(*p->h) : "-");
}

// FILE:LINE: CODE: text, or FILE: CODE: text.
std::string located(const std::string& file, const Diagnostic& d) {
    std::string out = printable(file) + ":";
    if (d.line > 0) out += std::to_string(d.line) + ":";
    out += " ";
    out += code_name(d.code);
    out += ": ";
    out += describe(d);
    return out;
}

std::optional<int> zone_or_refusal(const Job& job, int& status) {
    const auto header = job.read_header();
    if (!header.ok()) {
        status = job_failure(*header.trouble);
        return std::nullopt;
    }
    if (!header.value.zone) {
        std::cerr << kProgram << ": " << kNoZoneMessage << "\n";
        status = kUsage;
        return std::nullopt;
    }
    return header.value.zone;
}

std::string file_name_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return printable(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace marula::points_command
