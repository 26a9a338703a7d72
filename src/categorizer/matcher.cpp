#include "categorizer/matcher.hpp"

#include <algorithm>

namespace lorvane::categorizer {
namespace {

// What one automaton numbers with 32 bits: its patterns and its states.
constexpr std::size_t part_limit = std::size_t{1} << 31;

}  // namespace

RuleMatcher::RuleMatcher(std::span<const std::string_view> patterns, std::size_t dense_budget) {
    // Rules after an empty pattern can never decide.
    const auto empty = std::find_if(patterns.begin(), patterns.end(),
                                    [](std::string_view p) { return p.empty(); });
    if (empty != patterns.end()) floor_ = static_cast<std::size_t>(empty - patterns.begin());
    const std::size_t used = std::min(floor_, patterns.size());

    for (std::size_t begin = 0; begin < used;) {
        std::size_t end = begin, bytes = 0;
        do {
            bytes += patterns[end++].size();
        } while (end < used && end - begin + 1 < part_limit && bytes + patterns[end].size() < part_limit);
        parts_.push_back({begin, SubstringAutomaton(patterns.subspan(begin, end - begin), dense_budget)});
        folds_ascii_capitals_ = folds_ascii_capitals_ && parts_.back().automaton.folds_ascii_capitals();
        begin = end;
    }
}

void RuleMatcher::first_matches(std::span<const std::string_view> texts, std::span<std::size_t> out) const {
    if (parts_.size() != 1) {
        for (std::size_t i = 0; i < texts.size(); ++i) out[i] = first_match(texts[i]);
        return;
    }
    const Part& part = parts_.front();
    std::vector<std::uint32_t> found(texts.size());
    part.automaton.first_matches(texts, found);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out[i] = found[i] == SubstringAutomaton::none ? floor_ : part.base + found[i];
    }
}

}  // namespace lorvane::categorizer
