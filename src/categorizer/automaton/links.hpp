// The failure links of a trie, the longest proper suffix of each state that is a state,
// and the first pattern each state recognises: a pattern ending there or at a suffix.
#pragma once

#include <cstdint>
#include <vector>

#include "categorizer/automaton/trie.hpp"

namespace lorvane::categorizer::automaton {

// The failure link of every state. A state's link is shallower, so it comes before it in
// breadth-first order. Children is DenseChildren or PackedChildren.
template <class Children>
std::vector<std::uint32_t> fail_links(const Children& children, const std::vector<std::uint8_t>& in_class,
                                      std::uint32_t classes);

struct Links {
    std::vector<std::uint32_t> fail;  // the longest proper suffix that is a state
    std::vector<std::uint32_t> best;  // the smallest pattern index recognised, here or at a suffix
};

Links link_trie(const Trie& trie, std::uint32_t classes);

}  // namespace lorvane::categorizer::automaton
