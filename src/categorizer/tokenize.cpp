// The token set of one narration.
#include "categorizer/tokenize.hpp"

#include <algorithm>

#include "categorizer/lowercase.hpp"

namespace lorvane::categorizer {

std::vector<std::string> tokenize_narration(std::string_view narration) {
    const std::string lowered = lowercase_text(narration);
    std::vector<std::string_view> pieces;
    for_each_token(lowered, [&](std::string_view token) { pieces.push_back(token); });
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    return {pieces.begin(), pieces.end()};
}

}  // namespace lorvane::categorizer
