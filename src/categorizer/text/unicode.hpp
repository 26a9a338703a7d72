// Per-character Unicode data for the categorizer: the full lowercase mapping, the Cased
// and Case_Ignorable properties, and "alphanumeric" (Alphabetic, or general category Nd,
// Nl or No). The tables and their shape are generated (unicode_tables.hpp and .cpp);
// this header holds the lookup.
#pragma once

#include <cstddef>
#include <cstdint>

#include "categorizer/text/unicode_tables.hpp"

namespace lorvane::categorizer::unicode {

// Capital sigma lowercases to final sigma where the Final_Sigma context holds, else to
// small sigma.
inline constexpr char32_t kCapitalSigma = 0x03A3;
inline constexpr char32_t kSmallSigma = 0x03C3;
inline constexpr char32_t kFinalSigma = 0x03C2;

// The record of a character: any code point, those past the last one included.
inline const CharProps& props_of(char32_t cp) noexcept {
    if (cp > kMaxCodePoint) return tables::props[0];  // record 0: no mapping, no flags
    const std::size_t mid = (std::size_t{tables::stage1[cp >> tables::kHighShift]} << tables::kMidShift) |
                            ((cp >> tables::kLowShift) & tables::kMidMask);
    const std::size_t low = (std::size_t{tables::stage2[mid]} << tables::kLowShift) | (cp & tables::kLowMask);
    return tables::props[tables::stage3[low]];
}

inline bool is_alphanumeric(char32_t cp) noexcept { return props_of(cp).flags & kAlphanumeric; }
inline bool is_cased(char32_t cp) noexcept { return props_of(cp).flags & kCased; }
inline bool is_case_ignorable(char32_t cp) noexcept { return props_of(cp).flags & kCaseIgnorable; }

// The full lowercase mapping of one character, without the Final_Sigma context
// (capital sigma maps to small sigma here).
struct Lowercase {
    char32_t chars[3];
    unsigned size;
};

inline Lowercase lowercase_of(char32_t cp) noexcept {
    const CharProps& p = props_of(cp);
    if (p.lower_expansion == 0) return {{static_cast<char32_t>(static_cast<std::int32_t>(cp) + p.lower_delta)}, 1};
    const char32_t* row = tables::lower_expansions[p.lower_expansion - 1];
    return {{row[0], row[1], row[2]}, row[2] != 0 ? 3u : row[1] != 0 ? 2u : 1u};
}

}  // namespace lorvane::categorizer::unicode
