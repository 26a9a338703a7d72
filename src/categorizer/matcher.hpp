// Which rule decides a text: the first listed rule whose pattern occurs in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "categorizer/automaton.hpp"

namespace lorvane::categorizer {

class RuleMatcher {
public:
    static constexpr std::size_t no_match = SIZE_MAX;

    // patterns[i] is rule i's lowercased pattern; the patterns are read only here.
    explicit RuleMatcher(std::span<const std::string_view> patterns,
                         std::size_t dense_budget = SubstringAutomaton::default_dense_budget);

    // The smallest i such that patterns[i] occurs in `text` as a run of bytes, or
    // no_match. An empty pattern occurs in every text, the empty text included. `text`
    // is lowercased, or holds only ASCII when folds_ascii_capitals().
    std::size_t first_match(std::string_view text) const noexcept {
        for (const Part& part : parts_) {
            if (const std::uint32_t i = part.automaton.first_match(text); i != SubstringAutomaton::none) {
                return part.base + i;
            }
        }
        return floor_;
    }

    // first_match of every text: out[i] for texts[i] (out holds as many entries).
    void first_matches(std::span<const std::string_view> texts, std::span<std::size_t> out) const;

    // False when first_match gives the same answer for every text.
    bool reads_text() const noexcept { return !parts_.empty(); }

    // True when ASCII capitals in a text are read as small letters, which is exact for
    // lowercased patterns: they hold no ASCII capital.
    bool folds_ascii_capitals() const noexcept { return folds_ascii_capitals_; }

private:
    struct Part {
        std::size_t base;  // index of the part's first pattern
        SubstringAutomaton automaton;
    };

    std::size_t floor_ = no_match;  // the first empty pattern decides when none before it does
    std::vector<Part> parts_;       // consecutive runs of the patterns before the floor
    bool folds_ascii_capitals_ = true;
};

}  // namespace lorvane::categorizer
