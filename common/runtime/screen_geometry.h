// The screen's geometry, one place for all that draws, composes or shows
// it: 640 x 432 pixels under an 80 x 24 text grid of 8 x 18 pixel cells.
#pragma once

namespace marula {

inline constexpr int kScreenWidth = 640;
inline constexpr int kScreenHeight = 432;
inline constexpr int kColumns = 80;
inline constexpr int kRows = 24;
inline constexpr int kCellWidth = 8;
inline constexpr int kCellHeight = 18;
// Questions, answers and notices stand on the last text row.
inline constexpr int kPromptRow = kRows - 1;
static_assert(kColumns * kCellWidth == kScreenWidth && kRows * kCellHeight == kScreenHeight);

}  // namespace marula
