// Full Unicode lowercasing. ASCII runs are lowercased eight bytes at a time without any
// table lookup; other characters go through the generated tables, and capital sigma
// through the Final_Sigma context.
#include "categorizer/lowercase.hpp"

#include <cstdint>
#include <cstring>

#include "categorizer/unicode.hpp"

namespace lorvane::categorizer {
namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;
constexpr char32_t kCapitalSigma = 0x03A3;
constexpr char32_t kSmallSigma = 0x03C3;
constexpr char32_t kFinalSigma = 0x03C2;
// A character's lowercase is at most three characters of four bytes.
constexpr std::size_t kMaxCharOutput = 12;

std::uint64_t load8(const char* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

void store8(char* p, std::uint64_t word) noexcept { std::memcpy(p, &word, 8); }

// Eight ASCII bytes lowercased at once. No byte exceeds 0x7F, so none of the additions
// carries into its neighbour: a byte's high bit ends up set in `at_least_a` when it is
// >= 'A' and in `above_z` when it is > 'Z'; 0x80 >> 2 is the 0x20 that lowercases.
std::uint64_t lower_ascii8(std::uint64_t word) noexcept {
    const std::uint64_t at_least_a = word + kOnes * (0x80 - 'A');
    const std::uint64_t above_z = word + kOnes * (0x7F - 'Z');
    return word | ((at_least_a & ~above_z & kHighBits) >> 2);
}

char lower_ascii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

// Final_Sigma at the capital sigma occupying [at, after) of [begin, end): a cased
// character before it and none after it, skipping case-ignorable characters both ways.
// Each scan stops at the first character that is not case-ignorable (another sigma at
// the latest), so the scans over a whole text stay linear.
bool is_final_sigma(const char* begin, const char* at, const char* after, const char* end) noexcept {
    bool cased_before = false;
    for (const char* p = at; p > begin;) {
        p = unicode::previous_char(begin, p);
        const char32_t cp = unicode::decode_utf8(p).cp;
        if (!unicode::is_case_ignorable(cp)) {
            cased_before = unicode::is_cased(cp);
            break;
        }
    }
    if (!cased_before) return false;
    for (const char* p = after; p < end;) {
        const unicode::Decoded d = unicode::decode_utf8(p);
        if (!unicode::is_case_ignorable(d.cp)) return !unicode::is_cased(d.cp);
        p += d.size;
    }
    return true;
}

}  // namespace

void lowercase_append(std::string_view text, std::string& out) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    std::size_t w = out.size();
    // ASCII maps byte for byte; the few characters whose lowercase is longer grow the
    // buffer below, so `out` always has room for the rest of the input.
    out.resize(w + text.size());
    while (p < end) {
        char* dst = out.data();
        while (end - p >= 8) {
            const std::uint64_t word = load8(p);
            if (word & kHighBits) break;
            store8(dst + w, lower_ascii8(word));
            p += 8;
            w += 8;
        }
        while (p < end && static_cast<unsigned char>(*p) < 0x80) dst[w++] = lower_ascii(*p++);
        if (p == end) break;

        const unicode::Decoded d = unicode::decode_utf8(p);
        const unicode::CharProps& props = unicode::props_of(d.cp);
        if (props.lower_expansion == 0 && props.lower_delta == 0) {  // maps to itself
            std::memcpy(dst + w, p, d.size);
            p += d.size;
            w += d.size;
            continue;
        }
        unicode::Lowercase lower = unicode::lowercase_of(d.cp);
        if (d.cp == kCapitalSigma) {
            lower.chars[0] = is_final_sigma(begin, p, p + d.size, end) ? kFinalSigma : kSmallSigma;
        }
        p += d.size;
        const std::size_t needed = w + kMaxCharOutput + static_cast<std::size_t>(end - p);
        if (needed > out.size()) out.resize(needed);  // capacity still grows geometrically
        dst = out.data();
        for (unsigned i = 0; i < lower.size; ++i) w += unicode::encode_utf8(lower.chars[i], dst + w);
    }
    out.resize(w);
}

std::string lowercase_text(std::string_view text) {
    std::string out;
    lowercase_append(text, out);
    return out;
}

}  // namespace lorvane::categorizer
