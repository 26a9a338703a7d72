// Full Unicode lowercasing. ASCII runs are lowercased eight bytes at a time without any
// table lookup; other characters go through the generated tables, and capital sigma
// through the Final_Sigma context.
#include "categorizer/text/lowercase.hpp"

#include <cstdint>
#include <cstring>

#include "categorizer/text/unicode.hpp"
#include "common/bytes.hpp"
#include "common/utf8.hpp"

namespace lorvane::categorizer {
namespace {

// A character's lowercase is at most three characters of four bytes.
constexpr std::size_t kMaxCharOutput = 12;

// Final_Sigma at the capital sigma occupying [at, after) of [begin, end): a cased
// character before it and none after it, skipping case-ignorable characters both ways.
// Each scan stops at the first character that is not case-ignorable (another sigma at
// the latest), so the scans over a whole text stay linear.
bool is_final_sigma(const char* begin, const char* at, const char* after, const char* end) noexcept {
    bool cased_before = false;
    for (const char* p = at; p > begin;) {
        p = utf8::previous_char(begin, p);
        const char32_t cp = utf8::decode_utf8(p).cp;
        if (!unicode::is_case_ignorable(cp)) {
            cased_before = unicode::is_cased(cp);
            break;
        }
    }
    if (!cased_before) return false;
    for (const char* p = after; p < end;) {
        const utf8::Decoded d = utf8::decode_utf8(p);
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
            const std::uint64_t word = bytes::load8(p);
            if (word & bytes::kHighBits) break;
            bytes::store8(dst + w, bytes::lower_ascii8(word));
            p += 8;
            w += 8;
        }
        while (p < end && static_cast<unsigned char>(*p) < 0x80) dst[w++] = bytes::lower_ascii(*p++);
        if (p == end) break;

        const utf8::Decoded d = utf8::decode_utf8(p);
        const unicode::CharProps& props = unicode::props_of(d.cp);
        if (props.lower_expansion == 0 && props.lower_delta == 0) {  // maps to itself
            std::memcpy(dst + w, p, d.size);
            p += d.size;
            w += d.size;
            continue;
        }
        unicode::Lowercase lower = unicode::lowercase_of(d.cp);
        if (d.cp == unicode::kCapitalSigma) {
            lower.chars[0] = is_final_sigma(begin, p, p + d.size, end) ? unicode::kFinalSigma : unicode::kSmallSigma;
        }
        p += d.size;
        const std::size_t needed = w + kMaxCharOutput + static_cast<std::size_t>(end - p);
        if (needed > out.size()) out.resize(needed);  // capacity still grows geometrically
        dst = out.data();
        for (unsigned i = 0; i < lower.size; ++i) w += utf8::encode_utf8(lower.chars[i], dst + w);
    }
    out.resize(w);
}

std::string lowercase_text(std::string_view text) {
    std::string out;
    lowercase_append(text, out);
    return out;
}

}  // namespace lorvane::categorizer
