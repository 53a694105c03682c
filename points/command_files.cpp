// marula-points import and export: a SIMA or CSV file into the job, the
// job's points into one.
#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/files.h"
#include "base/printable.h"
#include "points_command.h"
#include "survey/plane_rectangular.h"

namespace marula::points_command {

using namespace marula::job;

int run_import(Job& job, const Args& args) {
    std::optional<std::string> file, columns, on_conflict;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--columns" && i + 1 < args.size()) columns = args[++i];
        else if (args[i] == "--on-conflict" && i + 1 < args.size()) on_conflict = args[++i];
        else if (!file && args[i].rfind("--", 0) != 0) file = args[i];
        else return usage("import: unexpected argument: " + args[i]);
    }
    if (!file) return usage("import: no FILE");
    std::optional<OnConflict> choice;
    if (on_conflict) {
        if (*on_conflict == "keep") choice = OnConflict::keep;
        else if (*on_conflict == "replace") choice = OnConflict::replace;
        else if (*on_conflict == "cancel") choice = OnConflict::cancel;
        else return usage("import: --on-conflict takes keep, replace or cancel");
    }
    std::optional<ColumnOrder> order;
    if (columns) {
        order = parse_column_order(*columns);
        if (!order) return usage("import: --columns takes name,x,y[,h] or num,name,x,y[,h]");
    }
    const auto format = format_of(*file);
    if (!format) return usage("import: FILE must end in .sim or .csv");
    const auto bytes = marula::read_file(*file);
    if (!bytes) {
        std::cerr << located(*file, Diagnostic{Code::E_READ, 0, 0, std::strerror(errno)}) << "\n";
        return kRefused;
    }
    const ReadResult read = *format == FileFormat::sima ? read_sima(*bytes) : read_csv(*bytes, order);
    if (!read.ok()) {
        std::cerr << located(*file, *read.error) << "\n";
        return kRefused;
    }
    const ImportPreview preview = job.preview_import(read.file);
    if (preview.trouble) return job_failure(*preview.trouble);
    std::cout << "new " << preview.new_points.size() << "\n"
              << "identical " << preview.identical.size() << "\n"
              << "height-added " << preview.heights_added.size() << "\n"
              << "conflicts " << preview.conflicts.size() << "\n"
              << "skipped-records " << preview.skipped_records << "\n"
              << "warnings " << preview.warnings.size() << "\n";
    for (const Diagnostic& d : preview.warnings) std::cout << located(*file, d) << "\n";
    for (const auto& added : preview.heights_added)
        std::cout << "height-added " << added.stored.name << " " << format_metres(added.h) << "\n";
    for (const auto& c : preview.conflicts)
        std::cout << "conflict " << c.stored.name << " stored " << point_text(c.stored) << " file "
                  << point_text(c.file) << " (line " << c.line << ")\n";
    if (!preview.conflicts.empty() && !choice) {
        std::cerr << *file << ": " << preview.conflicts.size()
                  << " conflict(s); nothing imported: choose --on-conflict keep, replace or cancel\n";
        return kNotChosen;
    }
    if (choice == OnConflict::cancel) {
        std::cout << "cancelled: nothing imported\n";
        return kNotChosen;
    }
    const ImportOutcome outcome =
        job.apply_import(read.file, choice.value_or(OnConflict::keep), {kProgram, file_name_of(*file)});
    if (!outcome.result.ok()) return write_failure(outcome.result);
    std::cout << "imported: added " << outcome.added << ", heights added " << outcome.heights_added
              << ", replaced " << outcome.replaced << ", kept " << outcome.kept << "\n";
    return kDone;
}

int run_export(Job& job, const Args& args) {
    constexpr const char* kForm = "export: sima|csv FILE [--cp932] [--latlon] [--replace]";
    std::vector<std::string> plain;
    bool cp932 = false, latlon = false, replace = false;
    for (const std::string& a : args) {
        if (a == "--cp932") cp932 = true;
        else if (a == "--latlon") latlon = true;
        else if (a == "--replace") replace = true;
        else if (a.rfind("--", 0) == 0) return usage("export: unexpected argument: " + a);
        else plain.push_back(a);
    }
    if (plain.size() != 2 || (plain[0] != "sima" && plain[0] != "csv") || (cp932 && plain[0] == "sima"))
        return usage(kForm);
    if (latlon && plain[0] != "csv") return usage("export: --latlon is for csv");
    ToGeographic to_geographic;
    if (latlon) {
        int status = kDone;
        const std::optional<int> zone = zone_or_refusal(job, status);
        if (!zone) return status;
        to_geographic = [zone = *zone](double x, double y) -> std::optional<LatLon> {
            const auto at = plane_to_geographic(zone, x, y);
            if (!at) return std::nullopt;
            return LatLon{at->latitude, at->longitude};
        };
    }
    const std::string& file = plain[1];
    std::string bytes;
    int formula_cells = 0;
    if (plain[0] == "sima") {
        auto read = job.export_sima();
        if (!read.ok()) return job_failure(*read.trouble);
        bytes = std::move(read.value);
    } else {
        auto read = job.export_csv(cp932 ? CsvEncoding::cp932 : CsvEncoding::utf8_bom, to_geographic);
        if (!read.ok()) return job_failure(*read.trouble);
        bytes = std::move(read.value.bytes);
        formula_cells = read.value.formula_cells;
    }
    // Nothing that stands under the name is replaced unless asked (the file
    // just imported, somebody's notes), and then only a regular file.
    bool taken = false;
    const auto failed = replace ? marula::write_whole_file(file, bytes) : marula::write_new_file(file, bytes, taken);
    if (taken) {
        std::cerr << printable(file) << ": exists\n";
        return kNotChosen;
    }
    if (failed) {
        std::cerr << printable(file) << ": E_WRITE: " << printable(*failed) << "\n";
        return kJobFailed;
    }
    if (formula_cells > 0)
        std::cerr << printable(file) << ": " << formula_cells
                  << " name(s) a spreadsheet would take for formulas written as text behind '\n";
    return kDone;
}

}  // namespace marula::points_command
