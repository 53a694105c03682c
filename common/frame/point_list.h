// The question that reads a list of points one name at a time and lets the
// user end the list: "測点名は（終了は" in colour 0, a "＊" in colour 10
// (style 5), "を入力する。） ", then the name.
//
//     for (int k = 2;; ++k) {
//         std::string name = ask_list_name(rt);
//         if (ends_point_list(name)) break;
//         ...
//     }
#pragma once

#include <string>
#include <string_view>

#include "runtime/runtime.h"

namespace marula {

inline constexpr std::string_view kStationListLead = "測点名は（終了は";

// Asks for the next name at `column` of row 23 with the three-piece
// prompt whose first piece is `lead`; the row is blanked before and after.
std::string ask_list_name(Runtime& rt, int column = 5, std::string_view lead = kStationListLead);

// Only the one-byte "*" typed alone ends a list; the full-width "＊" and
// anything else is an ordinary name.
inline bool ends_point_list(std::string_view name) { return name == "*"; }

}  // namespace marula
