// Per-character Unicode data for the categorizer: the full lowercase mapping, the Cased
// and Case_Ignorable properties, and "alphanumeric" (Alphabetic, or general category Nd,
// Nl or No). The tables live in the generated unicode_tables.cpp; this header holds the
// lookup.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lorvane::categorizer::unicode {

inline constexpr char32_t kMaxCodePoint = 0x10FFFF;
// Capital sigma lowercases to final sigma where the Final_Sigma context holds, else to
// small sigma.
inline constexpr char32_t kCapitalSigma = 0x03A3;
inline constexpr char32_t kSmallSigma = 0x03C3;
inline constexpr char32_t kFinalSigma = 0x03C2;

enum CharFlag : std::uint8_t {
    kCased = 1,
    kCaseIgnorable = 2,
    kAlphanumeric = 4,
};

// One distinct combination of a character's data; most characters share a handful.
struct CharProps {
    std::int32_t lower_delta;      // lowercase is cp + lower_delta (when no expansion)
    std::uint8_t lower_expansion;  // 0, or 1 + the row of tables::lower_expansions
    std::uint8_t flags;            // CharFlag bits
};

namespace tables {

// Three stages: cp >> kHighShift picks a block of stage2, whose entry for
// (cp >> kLowShift) & kMidMask picks a block of stage3, whose entry for cp & kLowMask
// picks a record of props. The generator asserts these shapes.
inline constexpr unsigned kLowShift = 4;
inline constexpr unsigned kMidShift = 5;
inline constexpr unsigned kHighShift = kLowShift + kMidShift;
inline constexpr char32_t kLowMask = (char32_t{1} << kLowShift) - 1;
inline constexpr char32_t kMidMask = (char32_t{1} << kMidShift) - 1;

extern const char unicode_version[];
extern const std::uint8_t stage1[(kMaxCodePoint >> kHighShift) + 1];
extern const std::uint16_t stage2[];
extern const std::uint8_t stage3[];
extern const CharProps props[];
// Multi-character lowercase mappings, padded with zeros.
extern const char32_t lower_expansions[][3];

}  // namespace tables

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
