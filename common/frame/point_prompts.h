// The questions of the forms that take numbered points (the intersection
// and corner cut forms): a point's name and its two coordinates.
#pragma once

#include <array>
#include <string_view>

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

}  // namespace marula
