// UTF-8 one character at a time: the one decoder and encoder of the project. Texts handed
// to the decoder are valid UTF-8.
#pragma once

namespace lorvane::utf8 {

struct Decoded {
    char32_t cp;
    unsigned size;  // bytes taken
};

// Decodes the character whose lead byte is at p.
inline Decoded decode_utf8(const char* p) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    const unsigned char b0 = s[0];
    if (b0 < 0x80) return {b0, 1};
    if (b0 < 0xE0) return {(char32_t{b0 & 0x1Fu} << 6) | (s[1] & 0x3Fu), 2};
    if (b0 < 0xF0) return {(char32_t{b0 & 0x0Fu} << 12) | (char32_t{s[1] & 0x3Fu} << 6) | (s[2] & 0x3Fu), 3};
    return {(char32_t{b0 & 0x07u} << 18) | (char32_t{s[1] & 0x3Fu} << 12) | (char32_t{s[2] & 0x3Fu} << 6) |
                (s[3] & 0x3Fu),
            4};
}

// The start of the character that ends just before `end` (begin < end).
inline const char* previous_char(const char* begin, const char* end) noexcept {
    const char* p = end - 1;
    while (p > begin && (static_cast<unsigned char>(*p) & 0xC0) == 0x80) --p;
    return p;
}

// The number of bytes of cp in UTF-8.
inline unsigned encoded_size(char32_t cp) noexcept { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Writes cp as UTF-8 to out (room for 4 bytes) and returns the number of bytes.
inline unsigned encode_utf8(char32_t cp, char* out) noexcept {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

}  // namespace lorvane::utf8
