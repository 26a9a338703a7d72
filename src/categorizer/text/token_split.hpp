// Splitting narrations into tokens many bytes at a time. Each block of 64 bytes yields a
// 64-bit mask, one bit per byte, set for the bytes of alphanumeric characters; the tokens
// are the runs of set bits at least kMinTokenBytes long, read off the mask a run at a
// time. A run that reaches the end of a block goes on in the next.
//
// split_lowered splits text that is already lowercase, any UTF-8; lower_and_split
// lowercases and splits in the same pass, and gives up on the few characters whose
// lowercase changes the text's length or depends on context. Both find exactly the
// tokens that for_each_token (tokens.hpp) finds, which the C++ tests check.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "categorizer/text/tokens.hpp"
#include "categorizer/text/unicode.hpp"
#include "common/bytes.hpp"
#include "common/utf8.hpp"

namespace lorvane::categorizer {
namespace split {

inline constexpr std::size_t kBlock = 64;
// Bit i set when byte i of a lowercase ASCII word is a digit or a letter.
inline unsigned alphanumeric_bits(std::uint64_t lowered) noexcept {
    using bytes::above;
    using bytes::at_least;
    const std::uint64_t digit = at_least(lowered, '0') & ~above(lowered, '9');
    const std::uint64_t letter = at_least(lowered, 'a') & ~above(lowered, 'z');
    const std::uint64_t high = (digit | letter) & bytes::kHighBits;
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
            const std::uint64_t word = size == 8 ? bytes::load8(p + at) : bytes::load_partial8(p + at, size);
            if ((word & bytes::kHighBits) == 0 && continuation == 0) {
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
                    const utf8::Decoded d = utf8::decode_utf8(p + at + i);
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

namespace split {

// Lowercases and classifies the bytes [at, end) of src one character at a time: bit i of
// the result is byte at + i's. `continuation` carries the bytes of a character that runs
// past `end` into the next call, with their bit. Returns false at a character whose
// lowercase needs its context (capital sigma) or has another UTF-8 size.
inline bool lower_bytes(const char* src, std::size_t at, std::size_t end, char* out, std::uint64_t& bits,
                        unsigned& continuation, bool& continuation_bit) noexcept {
    bits = 0;
    for (std::size_t i = at; i < end; ++i) {
        bool bit;
        const auto byte = static_cast<unsigned char>(src[i]);
        if (continuation != 0) {
            --continuation;
            bit = continuation_bit;
        } else if (byte < 0x80) {
            out[i] = bytes::lower_ascii(src[i]);
            bit = detail::is_ascii_alphanumeric(byte);
        } else {
            const utf8::Decoded d = utf8::decode_utf8(src + i);
            const unicode::CharProps& props = unicode::props_of(d.cp);
            const auto lower = static_cast<char32_t>(static_cast<std::int32_t>(d.cp) + props.lower_delta);
            if (props.lower_expansion != 0 || d.cp == unicode::kCapitalSigma || utf8::encoded_size(lower) != d.size) {
                return false;
            }
            utf8::encode_utf8(lower, out + i);
            bit = (props.flags & unicode::kAlphanumeric) != 0;
            continuation = d.size - 1;
            continuation_bit = bit;
        }
        bits |= std::uint64_t{bit} << (i - at);
    }
    return true;
}

#if defined(__SSE2__)
// The lowercase of 16 ASCII bytes written to out, and their alphanumeric bits; or
// nothing (false) when a byte is not ASCII.
inline bool lower_ascii16(const char* src, char* out, std::uint64_t& bits) noexcept {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    if (_mm_movemask_epi8(v) != 0) return false;
    const auto in_range = [](__m128i x, char lo, char hi) {
        return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(lo - 1))),
                             _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(hi + 1))));
    };
    const __m128i lowered = _mm_or_si128(v, _mm_and_si128(in_range(v, 'A', 'Z'), _mm_set1_epi8(0x20)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lowered);
    bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(in_range(lowered, '0', '9'), in_range(lowered, 'a', 'z'))));
    return true;
}
#else
inline bool lower_ascii16(const char* src, char* out, std::uint64_t& bits) noexcept {
    const std::uint64_t a = bytes::load8(src), b = bytes::load8(src + 8);
    if ((a | b) & bytes::kHighBits) return false;
    const std::uint64_t la = bytes::lower_ascii8(a), lb = bytes::lower_ascii8(b);
    bytes::store8(out, la);
    bytes::store8(out + 8, lb);
    bits = alphanumeric_bits(la) | (std::uint64_t{alphanumeric_bits(lb)} << 8);
    return true;
}
#endif

}  // namespace split

// Writes the lowercase of `text` to `out`, which has room for text.size() + 16 bytes, and
// calls emit(offset, size) for every token as split_lowered would over it, as long as
// every character's lowercase has its UTF-8 size and needs no context: ASCII sixteen
// bytes at a time, other characters one by one. Returns false at the first character
// whose lowercase does not (capital sigma, and a few whose lowercase is longer or
// shorter); the tokens emitted until then are to be dropped.
template <class Emit>
bool lower_and_split(std::string_view text, char* out, Emit&& emit) {
    using namespace split;
    const char* const src = text.data();
    const std::size_t n = text.size();
    auto piece = keep_tokens(emit);
    Runs runs;
    unsigned continuation = 0;
    bool continuation_bit = false;
    // A text of 16 bytes or more ends with the 16 bytes that end it, overlapping the
    // chunk before, whose bytes then get the same lowercase and bits again; a shorter
    // one is read through a padded copy.
    char padded[16] = {};
    if (n < 16) std::memcpy(padded, src, n);
    for (std::size_t block = 0; block < n; block += kBlock) {
        const std::size_t block_end = n - block > kBlock ? block + kBlock : n;
        std::uint64_t bits = 0;
        for (std::size_t at = block; at < block_end; at += 16) {
            std::uint64_t chunk_bits;
            if (block_end - at >= 16) {
                if (continuation == 0 && lower_ascii16(src + at, out + at, chunk_bits)) {
                    bits |= chunk_bits << (at - block);
                    continue;
                }
            } else if (continuation == 0) {
                if (n < 16) {
                    if (lower_ascii16(padded, out, chunk_bits)) {
                        bits |= chunk_bits & ((std::uint64_t{1} << n) - 1);
                        continue;
                    }
                } else if (const std::size_t last = n - 16; lower_ascii16(src + last, out + last, chunk_bits)) {
                    bits |= last >= block ? chunk_bits << (last - block) : chunk_bits >> (block - last);
                    continue;
                }
            }
            const std::size_t end = block_end - at >= 16 ? at + 16 : block_end;
            if (!lower_bytes(src, at, end, out, chunk_bits, continuation, continuation_bit)) return false;
            bits |= chunk_bits << (at - block);
        }
        runs.block(bits, block, piece);
    }
    runs.end(n, piece);
    return true;
}

}  // namespace lorvane::categorizer
