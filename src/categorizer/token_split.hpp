// Splitting narrations into tokens many bytes at a time. Each block of 64 bytes yields a
// 64-bit mask, one bit per byte, set for the bytes of alphanumeric characters; the tokens
// are the runs of set bits at least kMinTokenBytes long, read off the mask a run at a
// time. A run that reaches the end of a block goes on in the next.
//
// split_lowered splits text that is already lowercase, any UTF-8; lower_and_split_ascii
// lowercases and splits ASCII text in the same pass, and gives up on any other byte.
// Both find exactly the tokens that for_each_token finds.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "categorizer/tokenize.hpp"
#include "categorizer/unicode.hpp"

namespace lorvane::categorizer {
namespace split {

inline constexpr std::size_t kBlock = 64;
inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Words hold bytes in memory order from the low end, whatever the machine.
inline std::uint64_t load_word(const char* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

// The n (< 8) bytes at p, then zeros.
inline std::uint64_t load_partial(const char* p, std::size_t n) noexcept {
    char bytes[8] = {};
    std::memcpy(bytes, p, n);
    return load_word(bytes);
}

inline void store_word(char* p, std::uint64_t word) noexcept {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(p, &word, 8);
}

// The high bit of each byte of an ASCII word set where the byte is >= lo, or > hi: no
// byte exceeds 0x7F, so no addition carries into the next byte.
inline std::uint64_t at_least(std::uint64_t word, char lo) noexcept { return word + kOnes * (0x80 - lo); }
inline std::uint64_t above(std::uint64_t word, char hi) noexcept { return word + kOnes * (0x7F - hi); }

// 'A'..'Z' become 'a'..'z': 0x80 >> 2 is the 0x20 between them.
inline std::uint64_t lower_word(std::uint64_t word) noexcept {
    return word | ((at_least(word, 'A') & ~above(word, 'Z') & kHighBits) >> 2);
}

// Bit i set when byte i of a lowercase ASCII word is a digit or a letter.
inline unsigned alphanumeric_bits(std::uint64_t lowered) noexcept {
    const std::uint64_t digit = at_least(lowered, '0') & ~above(lowered, '9');
    const std::uint64_t letter = at_least(lowered, 'a') & ~above(lowered, 'z');
    const std::uint64_t high = (digit | letter) & kHighBits;
    return static_cast<unsigned>(((high >> 7) * 0x0102040810204080u) >> 56);
}

// Reads the runs of one block's mask off, left to right, and hands each piece (start
// and size, relative to the text) to `piece`, one that reaches the end of the block
// only once the next block ends it.
class Runs {
public:
    template <class Piece>
    void block(std::uint64_t bits, std::size_t base, Piece&& piece) {
        if (open_) {
            if (bits == ~std::uint64_t{0}) return;  // the piece goes on through this block
            piece(open_start_, base + static_cast<std::size_t>(std::countr_one(bits)) - open_start_);
            open_ = false;
            bits &= bits + 1;  // drops the ones at the bottom
        }
        while (bits != 0) {
            const int first = std::countr_zero(bits);
            const std::uint64_t past = bits + (bits & (~bits + 1));  // the lowest run cleared, the bit above it set
            if (past == 0) {  // the run reaches the end of the block
                open_ = true;
                open_start_ = base + static_cast<std::size_t>(first);
                return;
            }
            piece(base + static_cast<std::size_t>(first), static_cast<std::size_t>(std::countr_zero(past) - first));
            bits &= past;
        }
    }

    template <class Piece>
    void end(std::size_t size, Piece&& piece) {
        if (open_) piece(open_start_, size - open_start_);
    }

private:
    bool open_ = false;
    std::size_t open_start_ = 0;
};

template <class Emit>
auto keep_tokens(Emit& emit) {
    return [&emit](std::size_t start, std::size_t size) {
        if (size >= kMinTokenBytes) emit(start, size);
    };
}

}  // namespace split

// Calls emit(offset, size) for every token of the lowercase UTF-8 text, left to right,
// repeats included.
template <class Emit>
void split_lowered(std::string_view text, Emit&& emit) {
    using namespace split;
    const char* const p = text.data();
    const std::size_t n = text.size();
    auto piece = keep_tokens(emit);
    Runs runs;
    std::size_t continuation = 0;  // bytes of a character begun in an earlier word
    bool continuation_bit = false;
    for (std::size_t block = 0; block < n; block += kBlock) {
        const std::size_t block_end = n - block > kBlock ? block + kBlock : n;
        std::uint64_t bits = 0;
        for (std::size_t at = block; at < block_end; at += 8) {
            const std::size_t size = block_end - at >= 8 ? 8 : block_end - at;
            const std::uint64_t word = size == 8 ? load_word(p + at) : load_partial(p + at, size);
            if ((word & kHighBits) == 0 && continuation == 0) {
                bits |= std::uint64_t{alphanumeric_bits(word)} << (at - block);
                continue;
            }
            for (std::size_t i = 0; i < size; ++i) {
                bool bit;
                const auto byte = static_cast<unsigned char>(p[at + i]);
                if (continuation != 0) {
                    --continuation;
                    bit = continuation_bit;
                } else if (byte < 0x80) {
                    bit = detail::is_ascii_alphanumeric(byte);
                } else {
                    const unicode::Decoded d = unicode::decode_utf8(p + at + i);
                    bit = unicode::is_alphanumeric(d.cp);
                    continuation = d.size - 1;
                    continuation_bit = bit;
                }
                bits |= std::uint64_t{bit} << (at + i - block);
            }
        }
        runs.block(bits, block, piece);
    }
    runs.end(n, piece);
}

// Writes the lowercase of the ASCII `text` to `out`, which has room for text.size() + 16
// bytes, and calls emit(offset, size) for every token as split_lowered would over it.
// Returns false as soon as a byte is not ASCII; the tokens emitted until then are to be
// dropped.
template <class Emit>
bool lower_and_split_ascii(std::string_view text, char* out, Emit&& emit) {
    using namespace split;
    const char* const src = text.data();
    const std::size_t n = text.size();
    auto piece = keep_tokens(emit);
    Runs runs;
#if defined(__SSE2__)
    // Sixteen bytes at a time; a text of 16 bytes or more ends with the 16 bytes that end
    // it, overlapping the chunk before, whose bytes then get the same lowercase and the
    // same bits again. A shorter one goes through a padded copy.
    char padded[16] = {};
    const char* from = src;
    if (n < 16) {
        std::memcpy(padded, src, n);
        from = padded;
    }
    const auto lowered16 = [&](std::size_t at, unsigned& ascii) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at));
        ascii |= static_cast<unsigned>(_mm_movemask_epi8(v));
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
        const __m128i lowered = _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), lowered);
        const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(lowered, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(lowered, _mm_set1_epi8('9' + 1)));
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lowered, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lowered, _mm_set1_epi8('z' + 1)));
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(digit, letter))));
    };
    const std::size_t last = n < 16 ? 0 : n - 16;  // where the final chunk starts
    for (std::size_t block = 0; block < n; block += kBlock) {
        const std::size_t block_end = n - block > kBlock ? block + kBlock : n;
        std::uint64_t bits = 0;
        unsigned high = 0;
        for (std::size_t at = block; at < block_end; at += 16) {
            const std::size_t chunk = block_end - at >= 16 ? at : last;
            const std::uint64_t chunk_bits = lowered16(chunk, high);
            bits |= chunk >= block ? chunk_bits << (chunk - block) : chunk_bits >> (block - chunk);
        }
        if (high != 0) return false;
        runs.block(n < 16 ? bits & ((std::uint64_t{1} << n) - 1) : bits, block, piece);
    }
#else
    for (std::size_t block = 0; block < n; block += kBlock) {
        const std::size_t block_end = n - block > kBlock ? block + kBlock : n;
        std::uint64_t seen = 0;
        std::uint64_t bits = 0;
        for (std::size_t at = block; at < block_end; at += 8) {
            const std::uint64_t word = block_end - at >= 8 ? load_word(src + at) : load_partial(src + at, block_end - at);
            seen |= word;
            const std::uint64_t lowered = lower_word(word);
            store_word(out + at, lowered);
            bits |= std::uint64_t{alphanumeric_bits(lowered)} << (at - block);
        }
        if (seen & kHighBits) return false;
        runs.block(bits, block, piece);
    }
#endif
    runs.end(n, piece);
    return true;
}

}  // namespace lorvane::categorizer
