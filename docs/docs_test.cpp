// The user guide's worked examples against the programs as built: each
// example still runs to its key bar, and the screen it leaves is exactly the
// text kept beside its picture in docs/images, so a program change that
// alters a documented screen shows here until the pictures are made again
// (make docs).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "script_run.h"

namespace marula::test {
namespace {
namespace fs = std::filesystem;

fs::path docs_dir() {
    const char* source = std::getenv("MARULA_SOURCE");
    return fs::path(source && *source ? source : MARULA_SOURCE_DIR) / "docs";
}

// Every example of the guide: the script's name and the program it drives.
struct Example {
    const char* name;
    const char* program;
};
const std::vector<Example> kExamples = {
    {"linktrav", "linktrav"},   {"looptrav", "looptrav"},     {"opentrav", "opentrav"},
    {"radtrav", "radtrav"},     {"isect2d", "isect2d"},       {"isect1d", "isect1d"},
    {"isect4p", "isect4p"},     {"perpfoot", "perpfoot"},     {"invchain", "invchain"},
    {"invradial", "invradial"}, {"coordarea", "coordarea"},   {"cornercut", "cornercut"},
    {"linktrav-plot", "linktrav"}, {"looptrav-plot", "looptrav"}, {"perpfoot-next", "perpfoot"},
    {"points", "points"}, {"linktrav-job", "linktrav"}, {"linktrav-offer", "linktrav"}, {"linktrav-clash", "linktrav"},
    {"linktrav-reduced", "linktrav"},
    {"stakeout", "stakeout"},
};

// The point list works on a job: each run of its example gets a fresh one
// in a folder of its own (removed with the test's object).
class ExampleJob {
public:
    // An example with points of its own (NAME.csv beside its script) runs
    // in a job that holds them, imported with marula-points as the
    // guide's make-screens.sh does.
    // An example with settings of its own (NAME.settings, the options of
    // `marula-points settings`) runs in a job that has them.
    ExampleJob(const std::string& name, const std::string& program) {
        const fs::path seed = docs_dir() / "examples" / (name + ".csv");
        const fs::path settings = docs_dir() / "examples" / (name + ".settings");
        if (program != "points" && !fs::exists(seed) && !fs::exists(settings)) return;
        std::string pattern = (fs::temp_directory_path() / "marula-docs-job-XXXXXX").string();
        if (::mkdtemp(pattern.data())) root_ = pattern;
        if (root_.empty() || (!fs::exists(seed) && !fs::exists(settings))) return;
        const char* bin = std::getenv("MARULA_BIN");
        const std::string command = std::string(bin ? bin : ".") + "/marula-points --job '" +
                                    (root_ / "神南一丁目").string() + "' ";
        EXPECT_EQ(std::system((command + "init --name 神南一丁目 --zone 9 > /dev/null").c_str()), 0);
        if (fs::exists(seed)) {
            EXPECT_EQ(std::system((command + "import '" + seed.string() + "' > /dev/null").c_str()), 0);
        }
        if (fs::exists(settings)) {
            const std::vector<std::string> options = read_lines(settings);
            EXPECT_EQ(std::system((command + "settings " + options.at(0)).c_str()), 0);
        }
    }
    ~ExampleJob() {
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }
    std::vector<std::string> env() const {
        if (root_.empty()) return {};
        return {"MARULA_JOB=" + (root_ / "神南一丁目").string(), "HOME=" + root_.string(),
                "XDG_DATA_HOME=" + (root_ / "data").string(), "XDG_CONFIG_HOME=" + (root_ / "config").string()};
    }

private:
    fs::path root_;
};

TEST(GuideExamples, EveryScriptIsChecked) {
    // A new example that no row of the table names would never be compared.
    std::set<std::string> known;
    for (const auto& e : kExamples) known.insert(e.name);
    for (const auto& entry : fs::directory_iterator(docs_dir() / "examples")) {
        if (entry.path().extension() != ".script") continue;
        EXPECT_TRUE(known.count(entry.path().stem().string())) << entry.path();
    }
}

TEST(GuideExamples, ScreensMatchThePictures) {
    int checked = 0;
    for (const auto& e : kExamples) {
        const fs::path script = docs_dir() / "examples" / (std::string(e.name) + ".script");
        if (!fs::exists(script)) continue;
        ++checked;
        const fs::path expected = docs_dir() / "images" / (std::string(e.name) + ".txt");
        ASSERT_TRUE(fs::exists(expected)) << e.name << ": no screen text beside the picture; run make docs";
        ASSERT_TRUE(fs::exists(docs_dir() / "images" / (std::string(e.name) + ".png"))) << e.name;

        const ExampleJob job(e.name, e.program);
        auto r = run_script(e.program, read_lines(script), job.env());
        EXPECT_EQ(r.exit_status, 0) << e.name << "\n" << r.stderr_text;
        EXPECT_TRUE(r.logged("idle")) << e.name << ": the example does not end waiting at the key bar";
        EXPECT_TRUE(r.events_starting("error").empty()) << e.name << ": " << r.events_starting("error").front();
        EXPECT_EQ(read_all(r.out_dir / "final.txt"), read_all(expected))
            << e.name << ": the screen differs from docs/images/" << e.name << ".txt; run make docs";
    }
    EXPECT_GT(checked, 0) << "no example found under " << docs_dir();
}

// The lines of the fenced blocks (```) of a page: the screens it quotes.
std::vector<std::string> quoted_lines(const fs::path& page) {
    std::vector<std::string> quoted;
    bool inside = false;
    for (const std::string& line : read_lines(page)) {
        if (line.starts_with("```")) {
            inside = !inside;
            continue;
        }
        const auto first = line.find_first_not_of(' ');
        if (inside && first != std::string::npos) quoted.push_back(line.substr(first));
    }
    return quoted;
}

TEST(GuideExamples, PagesQuoteTheScreensAsShown) {
    // A page quotes its example's screen; after the pictures are made again
    // every quoted line must still stand on one of that program's screens
    // (the plot's labels may share a row to its left).
    int quoted = 0;
    for (const auto& e : kExamples) {
        const fs::path page = docs_dir() / "programs" / (std::string(e.program) + ".md");
        if (std::string(e.name) != e.program || !fs::exists(page)) continue;
        std::vector<std::string> shown;
        for (const auto& other : kExamples) {
            if (std::string(other.program) != e.program) continue;
            const auto screen = read_lines(docs_dir() / "images" / (std::string(other.name) + ".txt"));
            shown.insert(shown.end(), screen.begin(), screen.end());
        }
        for (const std::string& line : quoted_lines(page)) {
            ++quoted;
            const bool found = std::any_of(shown.begin(), shown.end(),
                                           [&](const std::string& s) { return s.find(line) != std::string::npos; });
            EXPECT_TRUE(found) << e.program << ".md quotes a line no screen shows:\n" << line;
        }
    }
    EXPECT_GT(quoted, 0) << "no page quotes a screen";
}

}  // namespace
}  // namespace marula::test
