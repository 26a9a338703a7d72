// The one byte search that reading and writing JSON strings share: where a run of plain
// string text ends, at a double quote, a backslash or a byte below 0x20.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/bytes.hpp"

namespace lorvane {

inline constexpr std::array<bool, 256> json_string_specials = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    table['"'] = true;
    table['\\'] = true;
    return table;
}();

// Index of the first byte at or after `i` that is a double quote, a backslash or below
// 0x20, or the size of the text. Sixteen bytes at a time with SSE2 (every x86-64 has
// it), else eight bytes at a time while none of them can be.
inline std::size_t find_json_special(std::string_view text, std::size_t i) noexcept {
    const char* p = text.data();
    const std::size_t n = text.size();
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i below_space = _mm_set1_epi8(0x1F);
    while (i + 16 <= n) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // A byte is at most 0x1F exactly when the unsigned maximum of it and 0x1F is 0x1F.
        const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(block, below_space), below_space);
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, quote), _mm_cmpeq_epi8(block, backslash)),
                                          control);
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
        i += 16;
    }
#else
    using bytes::kHighBits;
    using bytes::kOnes;
    while (i + 8 <= n) {
        const std::uint64_t block = bytes::load8(p + i);
        const std::uint64_t quote = block ^ (kOnes * '"');
        const std::uint64_t backslash = block ^ (kOnes * '\\');
        const std::uint64_t hits = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                                   ((block - kOnes * 0x20) & ~block);
        if (hits & kHighBits) break;
        i += 8;
    }
#endif
    while (i < n && !json_string_specials[static_cast<unsigned char>(p[i])]) ++i;
    return i;
}

}  // namespace lorvane
