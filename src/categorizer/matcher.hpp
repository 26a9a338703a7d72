// Which rule decides a text: the first listed rule whose pattern occurs in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "categorizer/automaton/automaton.hpp"

namespace lorvane::categorizer {

// How many of `rules` rules can decide a text: those up to the first with an empty
// pattern, which occurs in every text, that one included. pattern(i) is rule i's pattern.
template <class Pattern>
std::size_t deciding_rules(std::size_t rules, Pattern&& pattern) {
    std::size_t count = 0;
    while (count < rules && !std::string_view(pattern(count++)).empty()) {
    }
    return count;
}

class RuleMatcher {
public:
    // No rule occurs in the text.
    static constexpr std::uint32_t no_rule = UINT32_MAX;

    // patterns[i] is rule i's lowercased pattern, for fewer than 2^32 - 1 rules; the
    // patterns are read only here. `choice` picks the automata's layout.
    explicit RuleMatcher(std::span<const std::string_view> patterns, const automaton::LayoutChoice& choice = {});

    // The smallest i such that patterns[i] occurs in `text` as a run of bytes, or
    // no_rule. An empty pattern occurs in every text, the empty text included. `text`
    // is lowercased, or holds only ASCII when folds_ascii_capitals().
    std::uint32_t first_match(std::string_view text) const noexcept {
        for (const Part& part : parts_) {
            if (const std::uint32_t i = part.automaton.first_match(text); i != automaton::none) return part.base + i;
        }
        return floor_;
    }

    // first_match of every text: out[i] for texts[i] (out holds as many entries).
    void first_matches(std::span<const std::string_view> texts, std::span<std::uint32_t> out) const noexcept;

    // False when first_match gives the same answer for every text.
    bool reads_text() const noexcept { return !parts_.empty(); }

    // True when ASCII capitals in a text are read as small letters, which is exact for
    // lowercased patterns: they hold no ASCII capital.
    bool folds_ascii_capitals() const noexcept { return folds_ascii_capitals_; }

private:
    struct Part {
        std::uint32_t base;  // index of the part's first pattern
        automaton::SubstringAutomaton automaton;
    };

    std::uint32_t floor_ = no_rule;  // the empty pattern that decides when none before it does
    std::vector<Part> parts_;        // consecutive runs of the patterns before the floor
    bool folds_ascii_capitals_ = true;
};

}  // namespace lorvane::categorizer
