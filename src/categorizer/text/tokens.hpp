// What a token is: the definition of how rule derivation splits a lowercased narration.
// The fast splitters (token_split.hpp) find exactly these tokens; the C++ tests hold them
// to this definition on generated texts.
#pragma once

#include <cstddef>
#include <string_view>

#include "categorizer/text/unicode.hpp"
#include "common/utf8.hpp"

namespace lorvane::categorizer {

// Pieces shorter than this many UTF-8 bytes are not tokens.
inline constexpr std::size_t kMinTokenBytes = 3;

namespace detail {

inline bool is_ascii_alphanumeric(unsigned char b) noexcept {
    return static_cast<unsigned char>((b | 0x20) - 'a') < 26 || static_cast<unsigned char>(b - '0') < 10;
}

}  // namespace detail

// Calls emit(std::string_view) for every token of `lowered`, left to right, repeats
// included: the maximal runs of alphanumeric characters that are at least
// kMinTokenBytes long. The views point into `lowered`.
template <class Emit>
void for_each_token(std::string_view lowered, Emit&& emit) {
    const char* const end = lowered.data() + lowered.size();
    const char* piece = lowered.data();
    const char* p = piece;
    auto close_piece = [&](const char* piece_end) {
        if (static_cast<std::size_t>(piece_end - piece) >= kMinTokenBytes) {
            emit(std::string_view(piece, static_cast<std::size_t>(piece_end - piece)));
        }
    };
    while (p < end) {
        const auto b = static_cast<unsigned char>(*p);
        if (b < 0x80) {
            if (!detail::is_ascii_alphanumeric(b)) {
                close_piece(p);
                piece = p + 1;
            }
            ++p;
            continue;
        }
        const utf8::Decoded d = utf8::decode_utf8(p);
        if (!unicode::is_alphanumeric(d.cp)) {
            close_piece(p);
            piece = p + d.size;
        }
        p += d.size;
    }
    close_piece(end);
}

}  // namespace lorvane::categorizer
