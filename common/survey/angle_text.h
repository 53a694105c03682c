// Degrees, minutes and seconds as the screens and files write them:
// 36°06′13.58925″ for a latitude or longitude, −0°08′59.92″ for a grid
// convergence, and the reading of such text back into decimal degrees.
// Pure text work on UTF-8 strings; no locale is consulted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marula {

// The largest number of decimals of a second the formatters write.
inline constexpr int kMaxSecondDecimals = 6;

// Decimal degrees as D°MM′SS.sss″ with `second_decimals` decimals of a
// second (0 … kMaxSecondDecimals, clamped), e.g. 36.103774792 →
// "36°06′13.58925″" with 5. Minutes and whole seconds take two digits.
// The angle is rounded once, half away from zero, on |degrees|·3600·10^d
// as a double, and then split in whole units, so a carry is never lost:
// 59.999995″ with 5 decimals becomes the next minute, 59′60″ never shows.
// A negative angle that does not round to zero is written with a leading
// U+2212 minus. A value not finite or of a million degrees or more gives
// "*" (nothing a screen could show for it).
std::string format_dms(double degrees, int second_decimals = 5);

// The same with the sign always written: "+0°04′57.46″", "−0°08′59.92″"
// (U+2212) with the default 2 decimals; an angle that rounds to zero is
// "+0°00′00.00″", never minus zero.
std::string format_signed_dms(double degrees, int second_decimals = 2);

// A latitude or longitude as written in a file, in decimal degrees:
//   - a plain decimal number, "36.103774792" (never packed DDD.MMSS);
//   - degrees, minutes and seconds with marks, "36°06′13.58925″": ° or 度;
//     ′, ', ’, ＇ or 分; ″, ", ”, ＂, '' or 秒; later parts may be left off
//     ("36°06′") and blanks may stand between the parts;
//   - three numbers separated by blanks, "36 06 13.58925".
// Only the last part written may have decimals. A leading sign (+, -, −,
// ＋, －) applies to the whole angle; full-width digits, point and blanks
// count as their ASCII twins, and blanks around the text are ignored.
// Nothing for minutes or seconds of 60 or more, an angle beyond 360°,
// exponents, NaN or infinity, or any other text. The parts are added as
// D + M/60 + S/3600, in that order.
std::optional<double> parse_degrees(std::string_view text);

// The same reading with no limit on the size of the angle (still finite):
// for a reader that refuses a latitude past 90° as out of range, apart
// from text that is no angle at all.
std::optional<double> parse_unlimited_degrees(std::string_view text);

}  // namespace marula
