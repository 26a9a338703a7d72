// The one byte search that reading and writing JSON strings share: where a run of plain
// string text ends, at a double quote, a backslash or a byte below 0x20.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lorvane {

inline constexpr std::array<bool, 256> json_string_specials = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    table['"'] = true;
    table['\\'] = true;
    return table;
}();

// Index of the first byte at or after `i` that is a double quote, a backslash or below
// 0x20, or the size of the text. Eight bytes at a time while none of them can be.
inline std::size_t find_json_special(std::string_view text, std::size_t i) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    const char* p = text.data();
    const std::size_t n = text.size();
    while (i + 8 <= n) {
        std::uint64_t block;
        std::memcpy(&block, p + i, 8);
        const std::uint64_t quote = block ^ (ones * '"');
        const std::uint64_t backslash = block ^ (ones * '\\');
        const std::uint64_t hits = ((quote - ones) & ~quote) | ((backslash - ones) & ~backslash) |
                                   ((block - ones * 0x20) & ~block);
        if (hits & highs) break;
        i += 8;
    }
    while (i < n && !json_string_specials[static_cast<unsigned char>(p[i])]) ++i;
    return i;
}

}  // namespace lorvane
