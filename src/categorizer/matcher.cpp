// Splitting the rules into automata of 32-bit numbers, and the floor of an empty pattern.
#include "categorizer/matcher.hpp"

#include <algorithm>

namespace lorvane::categorizer {
namespace {

// What one automaton numbers with 32 bits: its patterns and its states.
constexpr std::size_t part_limit = std::size_t{1} << 31;

// A part's result is the matcher's where it names no pattern.
static_assert(RuleMatcher::no_rule == automaton::none);

}  // namespace

RuleMatcher::RuleMatcher(std::span<const std::string_view> patterns, const automaton::LayoutChoice& choice) {
    std::size_t used = deciding_rules(patterns.size(), [&](std::size_t i) { return patterns[i]; });
    if (used != 0 && patterns[used - 1].empty()) floor_ = static_cast<std::uint32_t>(--used);

    for (std::size_t begin = 0; begin < used;) {
        std::size_t end = begin, bytes = 0;
        do {
            bytes += patterns[end++].size();
        } while (end < used && end - begin + 1 < part_limit && bytes + patterns[end].size() < part_limit);
        parts_.push_back({static_cast<std::uint32_t>(begin),
                          automaton::SubstringAutomaton(patterns.subspan(begin, end - begin), choice)});
        folds_ascii_capitals_ = folds_ascii_capitals_ && parts_.back().automaton.folds_ascii_capitals();
        begin = end;
    }
}

void RuleMatcher::first_matches(std::span<const std::string_view> texts, std::span<std::uint32_t> out) const noexcept {
    if (parts_.size() != 1) {
        for (std::size_t i = 0; i < texts.size(); ++i) out[i] = first_match(texts[i]);
        return;
    }
    // One part, from the first pattern: its results are the rules'.
    parts_.front().automaton.first_matches(texts, out);
    if (floor_ != no_rule) std::replace(out.begin(), out.end(), automaton::none, floor_);
}

}  // namespace lorvane::categorizer
