// Full Unicode lowercasing (unconditional SpecialCasing, else the simple mapping), with
// the Final_Sigma rule and no language tailoring. Input and output are valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace lorvane::categorizer {

std::string lowercase_text(std::string_view text);
// Appends the lowercase of `text` to `out` (reuses out's capacity).
void lowercase_append(std::string_view text, std::string& out);

}  // namespace lorvane::categorizer
