// marula-points import and export: a SIMA or CSV file into the job, the
// job's points into one.
#include <cmath>
#include <iostream>

#include "base/files.h"
#include "base/format.h"
#include "base/printable.h"
#include "job/import.h"
#include "points_command.h"
#include "survey/plane_rectangular.h"

namespace marula::points_command {

using namespace marula::job;

namespace {

// The points of one kind, a page at a time from the job's temporary table:
// `print` for each.
template <class Print>
std::optional<std::string> each_row(const FileImport& import, ImportKind kind, Print&& print) {
    constexpr int kPage = 500;
    std::int64_t after = -1;
    for (;;) {
        const auto page = import.rows(kind, after, kPage);
        if (!page.ok()) return page.trouble;
        for (const ImportRow& row : page.value) print(row);
        if (page.value.size() < std::size_t(kPage)) return std::nullopt;
        after = page.value.back().ordinal;
    }
}

}  // namespace

int run_import(Job& job, const Args& args) {
    std::optional<std::string> file, columns, on_conflict, encoding, geoid;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--columns" && i + 1 < args.size()) columns = args[++i];
        else if (args[i] == "--on-conflict" && i + 1 < args.size()) on_conflict = args[++i];
        else if (args[i] == "--encoding" && i + 1 < args.size()) encoding = args[++i];
        else if (args[i] == "--geoid" && i + 1 < args.size()) geoid = args[++i];
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
    ImportRequest request;
    if (columns) {
        request.order = parse_column_order(*columns);
        if (!request.order) return usage("import: --columns takes name,x,y[,h] or num,name,x,y[,h]");
    }
    if (encoding) {
        request.encoding = parse_encoding(*encoding);
        if (!request.encoding) return usage("import: --encoding takes cp932 or utf-8");
    }
    if (geoid) {
        const auto n = parse_number(*geoid);
        if (!n || !std::isfinite(*n) || std::fabs(*n) >= 1000.0)
            return usage("import: --geoid takes the geoid height in metres (e.g. 36.7)");
        request.geoid_height = *n;
    }
    const auto format = format_of(*file);
    if (!format) return usage("import: FILE must end in .sim or .csv");
    request.format = *format;
    // What came from the file or its name is printed printable, one line a record.
    const std::string shown = printable(*file);

    PointFileInput input = PointFileInput::open(*file);
    if (!input.ok()) {
        std::cerr << located(shown, *input.error) << "\n";
        return kRefused;
    }
    FileImport import(job);
    const ImportSummary& s = import.read(input.source(), request);
    if (s.trouble) return job_failure(*s.trouble);
    if (s.error) {
        std::cerr << located(shown, *s.error) << "\n";
        return kRefused;
    }
    const std::int64_t warnings = std::int64_t(s.warnings.size()) + s.unlisted_warnings;
    std::cout << "new " << s.added << "\n"
              << "identical " << s.identical << "\n"
              << "height-added " << s.heights_added << "\n"
              << "conflicts " << s.conflicts << "\n"
              << "skipped-records " << s.skipped_records << "\n"
              << "warnings " << warnings << "\n"
              << "encoding " << encoding_name(s.encoding) << "\n";
    if (s.parcels_added + s.parcels_stored > 0)
        std::cout << "parcels-new " << s.parcels_added << "\n"
                  << "parcels-stored " << s.parcels_stored << "\n";
    for (const Diagnostic& d : s.warnings) std::cout << located(shown, d) << "\n";
    if (s.unlisted_warnings > 0) std::cout << shown << ": " << s.unlisted_warnings << " more warnings not listed\n";
    auto trouble = each_row(import, ImportKind::height_added, [](const ImportRow& row) {
        std::cout << "height-added " << printable(row.file.name) << " " << format_metres(*row.file.h) << "\n";
    });
    if (!trouble)
        trouble = each_row(import, ImportKind::conflict, [](const ImportRow& row) {
            std::cout << "conflict " << printable(row.file.name) << " stored " << printable(point_text(row.stored))
                      << " file " << printable(point_text(row.file)) << " (line " << row.line << ")\n";
        });
    if (trouble) return job_failure(*trouble);
    if ((s.conflicts > 0 || s.parcels_stored > 0) && !choice) {
        std::cerr << shown << ": " << s.conflicts + s.parcels_stored
                  << " conflict(s); nothing imported: choose --on-conflict keep, replace or cancel\n";
        return kNotChosen;
    }
    if (choice == OnConflict::cancel) {
        std::cout << "cancelled: nothing imported\n";
        return kNotChosen;
    }
    const ImportOutcome outcome = import.apply(choice.value_or(OnConflict::keep), {kProgram, file_name_of(*file)});
    if (!outcome.result.ok()) return write_failure(outcome.result);
    std::cout << "imported: added " << outcome.added << ", heights added " << outcome.heights_added
              << ", replaced " << outcome.replaced << ", kept " << outcome.kept << "\n";
    if (outcome.parcels_added + outcome.parcels_replaced + outcome.parcels_kept > 0)
        std::cout << "parcels: added " << outcome.parcels_added << ", replaced " << outcome.parcels_replaced
                  << ", kept " << outcome.parcels_kept << "\n";
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
    if (job.owns_file(plain[1])) {
        std::cerr << printable(plain[1]) << ": the job's own file\n";
        return kNotChosen;
    }
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
