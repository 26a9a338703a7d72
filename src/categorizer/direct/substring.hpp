// One lowercased pattern looked for in one lowercased text, directly: the positions where
// the text holds the pattern's first and last bytes at the right distance are found
// sixteen bytes at a time (SSE2; eight at a time with words elsewhere), and each is
// verified with a compare.
//
// The verifying is bounded: a pattern of m bytes could meet a candidate at every one of
// a text's n places and cost n * m. A search stops when its candidates have cost more
// than a few times the text's length, and says so; its caller then looks for the
// patterns with an automaton, whose time is linear whatever the texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/bytes.hpp"

namespace lorvane::categorizer::direct {

enum class Search : std::uint8_t { absent, found, over_budget };

// Bytes of candidates verified in a text of n bytes before a search gives up: 4n + 64,
// so that a search costs at most a few times a scan of the text.
inline std::size_t verify_budget(std::size_t n) noexcept { return 4 * n + 64; }

inline Search find(std::string_view text, std::string_view pattern) noexcept {
    const std::size_t m = pattern.size(), n = text.size();
    if (m == 0) return Search::found;
    if (m > n) return Search::absent;
    const char* const h = text.data();
    const char* const p = pattern.data();
    if (m == 1) return std::memchr(h, p[0], n) != nullptr ? Search::found : Search::absent;

    std::size_t budget = verify_budget(n);
    // The candidate at `at` has its first and last bytes in place: the rest decides.
    const auto verify = [&](std::size_t at) { return std::memcmp(h + at + 1, p + 1, m - 2) == 0; };
    const std::size_t starts = n - m + 1;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(p[0]), last = _mm_set1_epi8(p[m - 1]);
    for (; i + 16 <= starts; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        for (; mask != 0; mask &= mask - 1) {
            if (verify(i + static_cast<std::size_t>(__builtin_ctz(mask)))) return Search::found;
            if (budget < m) return Search::over_budget;
            budget -= m;
        }
    }
#else
    // Bytes equal to the first and the last set their high bits, exactly: the test of a
    // zero byte whose borrow cannot reach the next byte.
    const auto zeros = [](std::uint64_t x) {
        return ~(((x & ~bytes::kHighBits) + ~bytes::kHighBits) | x | ~bytes::kHighBits);
    };
    const std::uint64_t first = bytes::kOnes * static_cast<unsigned char>(p[0]);
    const std::uint64_t last = bytes::kOnes * static_cast<unsigned char>(p[m - 1]);
    for (; i + 8 <= starts; i += 8) {
        std::uint64_t mask = zeros(bytes::load8(h + i) ^ first) & zeros(bytes::load8(h + i + m - 1) ^ last);
        for (; mask != 0; mask &= mask - 1) {
            if (verify(i + static_cast<std::size_t>(__builtin_ctzll(mask)) / 8)) return Search::found;
            if (budget < m) return Search::over_budget;
            budget -= m;
        }
    }
#endif
    for (; i < starts; ++i) {
        if (h[i] != p[0] || h[i + m - 1] != p[m - 1]) continue;
        if (verify(i)) return Search::found;
        if (budget < m) return Search::over_budget;
        budget -= m;
    }
    return Search::absent;
}

}  // namespace lorvane::categorizer::direct
