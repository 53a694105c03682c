// The forms that take numbered points (the intersection and corner cut
// forms): the questions for a point's name and its two coordinates, and
// the cells they are shown in.
#pragma once

#include <array>
#include <string_view>

#include "entry.h"
#include "runtime/runtime.h"

namespace marula {

struct PointPrompts {
    std::string_view name, x, y;
};

// Points 1-4 as first asked (index 0 unused).
inline constexpr std::array<PointPrompts, 5> kPointPrompts{{
    {},
    {"点名１は", "Ｘ１座標は ", "Ｙ１座標は "},
    {"点名２は", "Ｘ２座標は ", "Ｙ２座標は "},
    {"点名３は", "Ｘ３座標は ", "Ｙ３座標は "},
    {"点名４は", "Ｘ４座標は ", "Ｙ４座標は "},
}};

// Points 1-3 of the three-point forms under correction (index 0 unused).
inline constexpr std::array<PointPrompts, 4> kThreePointCorrectionPrompts{{
    {},
    {"正しい点名は", "正しいＸ１座標は", "正しいＹ１座標は"},
    {"正しい点名は", "正しいＸ２座標は", "正しいＹ２座標は"},
    {"正しい点名は", "正しいＸ３座標は", "正しいＹ３座標は"},
}};

// Where a point's name, X and Y stand on a form: their text columns and
// the row they share.
struct PointPlace {
    int name_column, x_column, y_column, row;
};

// One of a point's three fields in its cell: 0 the name, 1 X
// ("#######.###"), 2 Y ("######.###").
inline void show_point_field(Runtime& rt, const PointPlace& at, std::string_view name, double x, double y,
                             int field, int color) {
    switch (field) {
    case 0: echo_name(rt, at.name_column, at.row, name, color); break;
    case 1: echo_number(rt, at.x_column, at.row, "#######.###", x, color); break;
    default: echo_number(rt, at.y_column, at.row, "######.###", y, color); break;
    }
}

}  // namespace marula
