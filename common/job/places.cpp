#include "job/places.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "base/files.h"
#include "base/printable.h"
#include "base/text_codec.h"
#include "job/database.h"
#include "job/point.h"
#include "job/schema.h"

namespace marula::job {

namespace fs = std::filesystem;

namespace {

fs::path home() {
    const char* h = std::getenv("HOME");
    return h && *h ? fs::path(h) : fs::path("/");
}

fs::path xdg_folder(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && *v == '/') return v;
    return home() / fallback;
}

// The longest folder name made of a job's name, in bytes (file systems
// take 255; room is left for "-NN").
constexpr std::size_t kFolderNameBytes = 200;

}  // namespace

std::optional<fs::path> job_from_environment() {
    const char* v = std::getenv("MARULA_JOB");
    if (v == nullptr || *v == '\0') return std::nullopt;
    return fs::path(v);
}

fs::path jobs_data_folder() { return xdg_folder("XDG_DATA_HOME", ".local/share") / "marula" / "jobs"; }

std::optional<fs::path> jobs_documents_folder() {
    const auto dirs = read_file(xdg_folder("XDG_CONFIG_HOME", ".config") / "user-dirs.dirs", 64 * 1024);
    if (!dirs) return std::nullopt;
    std::string_view rest = *dirs;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
        if (!line.starts_with(kKey)) continue;
        std::string_view value = line.substr(kKey.size());
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
        value = value.substr(1, value.size() - 2);
        fs::path folder;
        if (value.starts_with("$HOME/")) folder = home() / std::string(value.substr(6));
        else if (value.starts_with('/')) folder = std::string(value);
        else return std::nullopt;
        // A documents folder set to the home folder itself means none.
        auto bare = [](const fs::path& p) {
            std::string s = p.lexically_normal().string();
            while (s.size() > 1 && s.back() == '/') s.pop_back();
            return s;
        };
        if (bare(folder) == bare(home())) return std::nullopt;
        return folder / "Marula";
    }
    return std::nullopt;
}

fs::path new_jobs_folder() { return jobs_documents_folder().value_or(jobs_data_folder()); }

std::vector<fs::path> job_list_folders() {
    std::vector<fs::path> folders;
    if (auto documents = jobs_documents_folder()) folders.push_back(*documents);
    folders.push_back(jobs_data_folder());
    return folders;
}

fs::path current_job_file() { return xdg_folder("XDG_CONFIG_HOME", ".config") / "marula" / "current-job"; }

bool set_current_job(const fs::path& folder) {
    const fs::path file = current_job_file();
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const fs::path absolute = fs::absolute(folder, ec);
    if (ec) return false;
    return !write_whole_file(file, absolute.string() + "\n");
}

std::optional<fs::path> choose_job_folder(const std::optional<fs::path>& from_environment, bool script_mode) {
    if (from_environment) return from_environment;
    if (script_mode) return std::nullopt;
    if (const auto text = read_file(current_job_file(), 64 * 1024)) {
        const std::string line = trim_blanks(text->substr(0, text->find('\n')));
        if (!line.empty()) return fs::path(line);
    }
    const fs::path first = jobs_data_folder() / std::string(kDefaultJobName);
    set_current_job(first);
    return first;
}

bool same_folder(const fs::path& a, const fs::path& b) {
    std::error_code ec1, ec2;
    const fs::path ca = fs::weakly_canonical(a, ec1), cb = fs::weakly_canonical(b, ec2);
    if (ec1 || ec2) return a.lexically_normal() == b.lexically_normal();
    return ca == cb;
}

namespace {

// The header and point count of another job, read-only, through SQLite
// (never opening the file by any other way), once it has passed the checks
// opening makes: a job holding code (a view in place of a table) is never
// read.
void read_summary(JobSummary& summary) {
    DbError error;
    auto db = Database::open(summary.folder / "job.db", OpenMode::read_only, error);
    if (!db) {
        summary.usable = false;
        return;
    }
    try {
        if (refusal(*db)) {
            summary.usable = false;
            return;
        }
        const auto read = db->read([&] {
            // Only the start of a name stored before names were checked
            // (it may be megabytes long), shown as the job shows it.
            Statement h = db->prepare("SELECT substr(display_name, 1, 160), zone FROM job_header WHERE id = 1");
            if (h.step()) {
                summary.header.display_name = printable(cut_job_name(h.text(0)));
                if (!h.null(1)) summary.header.zone = static_cast<int>(h.integer(1));
            }
            return db->integer("SELECT count(*) FROM points");
        });
        if (!read.ok()) summary.usable = false;
        summary.points = read.value;
    } catch (const DbError&) {
        summary.usable = false;
    }
}

}  // namespace

std::vector<JobSummary> list_jobs(const std::vector<fs::path>& folders, const std::optional<fs::path>& current) {
    std::vector<JobSummary> jobs;
    for (const fs::path& parent : folders) {
        std::vector<JobSummary> here;
        std::error_code ec;
        for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code type;
            if (!it->is_directory(type) || !fs::is_regular_file(it->path() / "job.db", type)) continue;
            JobSummary summary;
            summary.folder = it->path();
            summary.current = current && same_folder(summary.folder, *current);
            if (!summary.current) read_summary(summary);
            if (summary.header.display_name.empty())
                summary.header.display_name = printable(cut_job_name(it->path().filename().string()));
            here.push_back(std::move(summary));
        }
        std::sort(here.begin(), here.end(), [](const JobSummary& a, const JobSummary& b) { return a.folder < b.folder; });
        for (JobSummary& s : here) jobs.push_back(std::move(s));
    }
    return jobs;
}

fs::path new_job_folder(std::string_view display_name, const fs::path& parent) {
    // Characters a file name cannot hold (or should not) become '_'.
    std::string base = trim_blanks(display_name);
    for (char& c : base)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    base = cut_to_bytes(base, kFolderNameBytes);
    if (base.empty() || base == "." || base == "..") base = "現場";
    if (base.front() == '.') base.front() = '_';
    fs::path folder = parent / base;
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(folder, ec)); ++n) folder = parent / (base + "-" + std::to_string(n));
    return folder;
}

}  // namespace marula::job
