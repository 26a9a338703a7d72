// The trie of a list of patterns, each state's failure link and the first pattern it
// recognises, and the numbering of the states that scanning uses: what every layout of
// SubstringAutomaton is built from.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lorvane::categorizer::automaton_detail {

inline constexpr std::uint32_t none = UINT32_MAX;
// States this deep or shallower are where a scan spends most of its steps.
inline constexpr std::size_t shallow_depth = 4;

// States numbered breadth first, each state's children consecutively in increasing class
// order.
struct Trie {
    std::uint32_t states = 1;
    std::uint32_t shallow = 1;               // states below this are at most shallow_depth deep
    std::vector<std::uint32_t> own;          // smallest index of a pattern ending here, or none
    std::vector<std::uint32_t> first_child;  // one per state, plus one past the last
    std::vector<std::uint8_t> in_class;      // class of the edge into each state
    std::vector<std::uint32_t> preorder;     // the states depth first, the root first

    std::uint32_t children(std::uint32_t s) const noexcept { return first_child[s + 1] - first_child[s]; }
};

// Every pattern is non-empty, its bytes mapped to classes in increasing byte order.
Trie build_trie(std::span<const std::string_view> patterns, const std::array<std::uint8_t, 256>& class_of);

struct Links {
    std::vector<std::uint32_t> fail;  // the longest proper suffix that is a state
    std::vector<std::uint32_t> best;  // the smallest pattern index recognised, here or at a suffix
};

Links link_trie(const Trie& trie, std::uint32_t classes);

// The numbers scanning knows the states by. The states that recognise a pattern come
// first, in increasing order of the pattern, so that the smallest number a scan passes
// names the first pattern that occurs; then the shallow states, where scans spend most
// of their steps, together; then the rest depth first, so that a path through deep
// states reads neighbouring entries.
struct Numbering {
    std::vector<std::uint32_t> number;  // of each trie state
    std::vector<std::uint32_t> best;    // the pattern recognised at numbers [0, best.size())
};

Numbering number_states(const Trie& trie, const Links& links);

}  // namespace lorvane::categorizer::automaton_detail
