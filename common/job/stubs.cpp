// Placeholders until the store is written: every call reports failure.
#include "job/job.h"

namespace marula::job {

namespace {
WriteResult not_ready() { return {WriteStatus::failed, "未実装", 0}; }
}  // namespace

std::optional<Millimetres> to_millimetres(double) { return std::nullopt; }
double to_metres(Millimetres mm) { return double(mm) / 1000.0; }
std::string format_metres(Millimetres) { return {}; }
std::optional<Millimetres> parse_millimetres(std::string_view) { return std::nullopt; }
bool same_place(const Point&, const Point&) { return false; }
NameCheck check_name(std::string_view typed) { return {std::string(typed), NameProblem::empty}; }
std::string describe(NameProblem) { return "未実装"; }
std::string fold_width_and_case(std::string_view name) { return std::string(name); }
std::optional<int> cp932_length(std::string_view) { return std::nullopt; }

std::string_view code_name(Code) { return "E_READ"; }
bool is_error(Code) { return true; }
std::string describe(const Diagnostic&) { return "未実装"; }
int PointFile::skipped_total() const { return 0; }
ReadResult read_sima(std::string_view) { return {{}, Diagnostic{Code::E_READ}}; }
std::optional<ColumnOrder> parse_column_order(std::string_view) { return std::nullopt; }
CsvShape inspect_csv(std::string_view, int) { return {',', false, {}, Diagnostic{Code::E_READ}}; }
ReadResult read_csv(std::string_view, const std::optional<ColumnOrder>&) { return {{}, Diagnostic{Code::E_READ}}; }
std::optional<FileFormat> format_of(std::string_view) { return std::nullopt; }
std::string write_sima(std::string_view, std::optional<int>, std::span<const Point>) { return {}; }
std::string write_csv(std::span<const Point>, CsvEncoding) { return {}; }
std::optional<std::string> to_cp932(std::string_view) { return std::nullopt; }

struct Job::Impl {
    std::filesystem::path folder;
};
OpenResult open_job(const std::filesystem::path&) { return {nullptr, OpenStatus::cannot_open, "未実装"}; }
Job::Job(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Job::~Job() = default;
const std::filesystem::path& Job::folder() const { return impl_->folder; }
std::filesystem::path Job::reports_folder() const { return impl_->folder / "reports"; }
bool Job::read_only() const { return true; }
JobHeader Job::header() const { return {}; }
std::string Job::display_name() const { return {}; }
WriteResult Job::set_header(const JobHeader&, const Origin&) { return not_ready(); }
std::vector<Point> Job::points(std::int64_t, int) const { return {}; }
std::int64_t Job::count() const { return 0; }
std::optional<Point> Job::find(std::string_view) const { return std::nullopt; }
std::optional<Point> Job::find_number(std::int64_t) const { return std::nullopt; }
std::optional<std::string> Job::near_miss(std::string_view) const { return std::nullopt; }
WriteResult Job::add(const Point&, const Origin&) { return not_ready(); }
WriteResult Job::correct(std::int64_t, const PointEdit&, const Origin&) { return not_ready(); }
WriteResult Job::rename(std::string_view, std::string_view, const Origin&) { return not_ready(); }
WriteResult Job::remove(std::string_view, const Origin&) { return not_ready(); }
WriteResult Job::store(std::span<const Point>, bool, const Origin&) { return not_ready(); }
std::vector<Change> Job::history(int) const { return {}; }
ImportPreview Job::preview_import(const PointFile&) const { return {}; }
ImportOutcome Job::apply_import(const PointFile&, OnConflict, std::string_view, const Origin&) {
    return {not_ready()};
}
std::string Job::export_sima() const { return {}; }
std::string Job::export_csv(CsvEncoding) const { return {}; }
std::string_view action_name(Action) { return "add"; }

std::optional<std::filesystem::path> job_from_environment() { return std::nullopt; }
std::filesystem::path jobs_data_folder() { return {}; }
std::filesystem::path current_job_file() { return {}; }
std::optional<std::filesystem::path> choose_job_folder(bool) { return std::nullopt; }
bool set_current_job(const std::filesystem::path&) { return false; }
std::vector<JobSummary> list_jobs(const std::filesystem::path&) { return {}; }
OpenResult create_job(const JobHeader&, const std::filesystem::path&) {
    return {nullptr, OpenStatus::cannot_open, "未実装"};
}

}  // namespace marula::job
