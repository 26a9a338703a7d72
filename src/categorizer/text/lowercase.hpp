// Full Unicode lowercasing (unconditional SpecialCasing, else the simple mapping), with
// the Final_Sigma rule and no language tailoring. Input and output are valid UTF-8.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace lorvane::categorizer {

std::string lowercase_text(std::string_view text);
// Appends the lowercase of `text` to `out` (reuses out's capacity).
void lowercase_append(std::string_view text, std::string& out);

// Whether `text` holds a capital A to Z: an ASCII text without one is its own lowercase.
inline bool has_ascii_capital(std::string_view text) noexcept {
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

}  // namespace lorvane::categorizer
