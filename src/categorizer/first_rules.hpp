// Which rule decides each narration: the first listed rule whose lowercased pattern occurs
// in the narration's lowercase. The one loop behind `categorize`, for callers that hold
// narrations as views and build their results from rule indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "categorizer/records.hpp"

namespace lorvane::categorizer {

inline constexpr std::size_t no_rule = SIZE_MAX;

// decided[i] is the index in `rules` of the rule that decides narrations[i], or no_rule.
// The views are taken over (and reused for the lowercased texts), not copied.
std::vector<std::size_t> first_rules(std::vector<std::string_view> narrations,
                                     const std::vector<CategoryRule>& rules);

}  // namespace lorvane::categorizer
