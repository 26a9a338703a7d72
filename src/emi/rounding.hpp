// The loan engine's rounding to whole currency units and its conversion to integers.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace lorvane::emi {

// The nearest whole number, exact halves going up (2.5 -> 3, -2.5 -> -2). The second
// step undoes the cases where adding 0.5 already rounded upward in floating point, as
// for 0.49999999999999994. NaN and the infinities come back unchanged.
inline double round_half_up(double x) {
    const double y = std::floor(x + 0.5);
    if (x < y - 0.5) return y - 1;
    return y;
}

// A whole number as a signed 64-bit integer: NaN gives 0 and values beyond the range
// saturate at its bounds; anything else is truncated toward zero.
inline std::int64_t to_whole_units(double x) {
    constexpr double two_to_63 = 9223372036854775808.0;
    if (std::isnan(x)) return 0;
    if (x >= two_to_63) return std::numeric_limits<std::int64_t>::max();
    if (x < -two_to_63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(x);
}

}  // namespace lorvane::emi
