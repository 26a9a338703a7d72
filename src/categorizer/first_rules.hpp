// Which rule decides each narration, by the way that costs least for the request's size:
// a direct search of each pattern for a few narrations, an automaton of all the patterns
// for more. Every way gives the same answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "categorizer/automaton/automaton.hpp"

namespace lorvane::categorizer {

enum class Way : std::uint8_t { direct, automaton };

// The size of a request, as far as choosing a way goes: its narrations and their bytes,
// the rules that can decide and their patterns' bytes.
struct Work {
    std::size_t texts = 0;
    std::size_t text_bytes = 0;
    std::size_t rules = 0;
    std::size_t pattern_bytes = 0;
};

// The estimated nanoseconds of a way for that work, and the way that costs least.
double estimated_ns(Way way, const Work& work) noexcept;
Way cheapest_way(const Work& work) noexcept;

// A way, and an automaton's layout, chosen whatever the request's size, so that tests
// run each one.
struct WayChoice {
    std::optional<Way> forced;
    automaton::LayoutChoice layout;
};

// For each narration, the index of the first listed rule whose pattern occurs in it, both
// lowercased, or UINT32_MAX where none does. patterns[i] is rule i's pattern as written;
// nothing is lowercased, nor built, when there is no narration. The views of `narrations`
// are taken over, not copied.
std::vector<std::uint32_t> first_rules(std::span<const std::string_view> patterns,
                                       std::vector<std::string_view> narrations, const WayChoice& choice = {});

}  // namespace lorvane::categorizer
