// The connecting traverse driven through the real program in script mode.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "script_run.h"

namespace marula {
namespace {

using test::cut_columns;
using test::run_script;
using test::ScriptResult;

// Station 0 at (1000, 1000) looking at B along 0°; two legs of 100 m with
// a 10″ angular misclosure and a −9 / +8 mm coordinate misclosure.
const std::vector<std::string> kWholeRun = {
    "type B",    "type 0",   "type K1",       "type 1000",    "type 1000",  // backsight, azimuth, station 0
    "type P1",   "type 90",  "type 100",                                    // leg 1
    "type K2",   "type 270", "type 100",                                    // leg 2
    "type F",    "type 90.0010", "type 0",                                  // closing angle, end
    "type 900.010", "type 1099.995", "type 90",                             // station 2, closing azimuth
};

std::vector<std::string> with(std::vector<std::string> lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// Table row r of the dump stands on text row 3 + r.
std::string azimuth(const ScriptResult& r, std::string_view snap, int row) {
    return cut_columns(r.row(snap, 3 + row), 40, 10);
}
std::string x_of(const ScriptResult& r, std::string_view snap, int row) {
    return cut_columns(r.row(snap, 3 + row), 53, 12);
}
std::string y_of(const ScriptResult& r, std::string_view snap, int row) {
    return cut_columns(r.row(snap, 3 + row), 65, 12);
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Linktrav, WholeRunAdjustsAnglesAndCoordinates) {
    auto r = run_script("linktrav", with(kWholeRun, {"snap result"}));
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    ASSERT_TRUE(r.has_snap("result"));
    struct Row {
        int row;
        std::string azimuth, x, y;
    } const rows[] = {
        {0, "   0- 0- 0", "    1000.000", "    1000.000"},
        {1, "  89-59-57", "    1000.006", "    1099.996"},
        {2, " 179-59-53", "     900.010", "    1099.995"},
        {3, "  90- 0- 0", "", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(azimuth(r, "result", row.row), row.azimuth) << "row " << row.row;
        if (!row.x.empty()) {
            EXPECT_EQ(x_of(r, "result", row.row), row.x) << "row " << row.row;
            EXPECT_EQ(y_of(r, "result", row.row), row.y) << "row " << row.row;
        }
    }
    EXPECT_EQ(r.row("result", 21),
              "    精度１：  16667  距離計 200.000  角誤差  10秒 Ｘ誤差-0.009  Ｙ誤差 0.008");
}

}  // namespace
}  // namespace marula
