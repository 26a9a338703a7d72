// Sums of whole currency units that stop at the bounds of the signed 64-bit range. With
// amounts bounded by MAX_EXACT_AMOUNT and at most 600 rows no loan reaches those bounds;
// the sums saturate all the same rather than wrap.
#pragma once

#include <cstdint>
#include <limits>

namespace lorvane::emi {

inline std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b < 0 ? std::numeric_limits<std::int64_t>::min()
                 : std::numeric_limits<std::int64_t>::max();
}

inline std::int64_t saturating_sub(std::int64_t a, std::int64_t b) {
    std::int64_t difference = 0;
    if (!__builtin_sub_overflow(a, b, &difference)) return difference;
    return b > 0 ? std::numeric_limits<std::int64_t>::min()
                 : std::numeric_limits<std::int64_t>::max();
}

}  // namespace lorvane::emi
