// Numbering the states for the tables: recognising states first, by their pattern.
#include "categorizer/automaton/numbering.hpp"

#include <algorithm>
#include <utility>

namespace lorvane::categorizer::automaton {

// One pass over the states depth first gives every state its number, from one of three
// counters: by its pattern, among the shallow states, or among the deep ones; chosen
// without a branch, since whether a state recognises a pattern follows no pattern a
// processor could learn.
Numbering number_states(const Trie& trie, const Links& links) {
    const std::uint32_t states = trie.states;
    const std::vector<std::uint32_t>& best = links.best;
    std::uint32_t top = 0;  // one past the largest pattern recognised (none + 1 is 0)
    std::uint32_t shallow_others = 0;
    for (std::uint32_t s = 0; s < states; ++s) {
        top = std::max(top, best[s] + 1);
        shallow_others += s < trie.shallow && best[s] == none;
    }
    // first[b + 1]: the next number of a state recognising pattern b, once summed.
    std::vector<std::uint32_t> first(std::size_t{top} + 1, 0);
    for (std::uint32_t s = 0; s < states; ++s) ++first[best[s] + 1];
    first[0] = 0;
    std::uint32_t recognising = 0;
    for (std::uint32_t& count : first) recognising += std::exchange(count, recognising);

    Numbering numbering{std::vector<std::uint32_t>(states), std::vector<std::uint32_t>(std::size_t{recognising} + 1)};
    std::uint32_t next[2] = {recognising + shallow_others, recognising};  // deep, shallow
    for (const std::uint32_t s : trie.preorder) {
        const std::uint32_t slot = best[s] + 1;
        std::uint32_t& other = next[s < trie.shallow];
        const std::uint32_t number = slot != 0 ? first[slot] : other;
        first[slot] += slot != 0;
        other += slot == 0;
        numbering.number[s] = number;
        numbering.best[std::min(number, recognising)] = best[s];  // the last slot is spare
    }
    numbering.best.resize(recognising);
    return numbering;
}

}  // namespace lorvane::categorizer::automaton
