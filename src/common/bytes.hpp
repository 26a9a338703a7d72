// Bytes a word at a time: loads and stores of 8 and 4 bytes, the SWAR constants and tests
// over ASCII words, the ASCII lowercase of a byte and of a word, and big-endian heads of
// texts. A word holds bytes in memory order from its low end, whatever the machine, so
// that byte i of a text is bits 8i to 8i+7 of the word loaded from it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lorvane::bytes {

inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080u;

inline std::uint64_t load8(const char* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

inline std::uint32_t load4(const char* p) noexcept {
    std::uint32_t word;
    std::memcpy(&word, p, 4);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
    return word;
}

// The n (< 8) bytes at p, then zeros.
inline std::uint64_t load_partial8(const char* p, std::size_t n) noexcept {
    char word[8] = {};
    std::memcpy(word, p, n);
    return load8(word);
}

inline void store8(char* p, std::uint64_t word) noexcept {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(p, &word, 8);
}

// The first n bytes of a word, the rest zero.
template <class Word>
Word first_bytes(Word word, std::size_t n) noexcept {
    if (n >= sizeof(Word)) return word;
    return word & static_cast<Word>((Word{1} << (8 * n)) - 1);
}

// The first eight bytes of a text as a big-endian number, zeros past its end: ordering
// these numbers orders the texts bytewise, except where they are equal.
inline std::uint64_t big_endian_head(std::string_view text) noexcept {
    const std::uint64_t word = text.size() >= 8 ? load8(text.data()) : load_partial8(text.data(), text.size());
    return __builtin_bswap64(word);
}

// Whether no byte of the text has its high bit set. Eight bytes at a time, the last eight
// overlapping the ones before: no loop over single bytes for the tail of a text of eight
// bytes or more.
inline bool is_ascii(std::string_view text) noexcept {
    const char* p = text.data();
    const std::size_t n = text.size();
    if (n < 8) {
        std::uint64_t any = 0;
        for (std::size_t i = 0; i < n; ++i) any |= static_cast<unsigned char>(p[i]);
        return (any & 0x80u) == 0;
    }
    std::uint64_t any = load8(p + n - 8);
    for (std::size_t i = 0; i + 8 < n; i += 8) any |= load8(p + i);
    return (any & kHighBits) == 0;
}

// The high bit of each byte of an ASCII word set where the byte is >= lo, or > hi: no
// byte exceeds 0x7F, so no addition carries into the next byte.
inline std::uint64_t at_least(std::uint64_t word, char lo) noexcept { return word + kOnes * (0x80 - lo); }
inline std::uint64_t above(std::uint64_t word, char hi) noexcept { return word + kOnes * (0x7F - hi); }

// The eight bytes of an ASCII word lowercased: 'A'..'Z' become 'a'..'z', and 0x80 >> 2 is
// the 0x20 between them.
inline std::uint64_t lower_ascii8(std::uint64_t word) noexcept {
    return word | ((at_least(word, 'A') & ~above(word, 'Z') & kHighBits) >> 2);
}

inline char lower_ascii(char c) noexcept {
    const auto b = static_cast<unsigned char>(c);
    return static_cast<char>(static_cast<unsigned>(b - 'A') < 26 ? b + 0x20 : b);
}

}  // namespace lorvane::bytes
