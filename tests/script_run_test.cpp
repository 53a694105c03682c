// The script-mode helper's own cut of dump rows by grid columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script_run.h"

namespace marula::test {
namespace {

TEST(CutColumns, CountsFullWidthCharactersAsTwoColumns) {
    struct Case {
        std::string row;
        int column, width;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"abc", 0, 3, "abc"},
        {"abc", 1, 1, "b"},
        {"abc", 2, 4, "c   "},              // trimmed blanks are put back
        {"abc", 5, 2, "  "},                // beyond the row's end
        {" Ｆ１ 結合", 1, 4, "Ｆ１"},
        {" Ｆ１ 結合", 5, 5, " 結合"},
        {" Ｆ１ 結合", 2, 4, " １ "},       // half of Ｆ at the left edge becomes a blank
        {" Ｆ１ 結合", 1, 3, "Ｆ "},        // half of １ at the right edge becomes a blank
        {"ﾄﾗﾊﾞ-ｽ計算", 0, 10, "ﾄﾗﾊﾞ-ｽ計算"},  // half-width katakana take one column
        {"ﾄﾗﾊﾞ-ｽ計算", 6, 2, "計"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cut_columns(c.row, c.column, c.width), c.expected)
            << '"' << c.row << "\" from " << c.column << " width " << c.width;
}

}  // namespace
}  // namespace marula::test
