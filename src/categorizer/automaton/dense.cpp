// Building the dense layout: a row for every state.
#include "categorizer/automaton/dense.hpp"

#include <algorithm>

namespace lorvane::categorizer::automaton {

// Breadth first: the row of a state's failure link is complete before the state's own,
// which starts as a copy of it.
template <class Id>
DenseLayout<Id>::DenseLayout(const Trie& trie, const Links& links, std::uint32_t width) {
    Numbering numbering = number_states(trie, links);
    const std::vector<std::uint32_t>& number = numbering.number;
    table = NumberedRows<Id>(numbering, trie.states, width);
    Id* const rows = table.rows.get();
    for (std::uint32_t s = 0; s < trie.states; ++s) {
        Id* row = rows + std::size_t{number[s]} * width;
        if (s == 0) {
            std::fill_n(row, width, table.root);
        } else {
            std::copy_n(rows + std::size_t{number[links.fail[s]]} * width, width, row);
        }
        for (std::uint32_t t = trie.first_child[s]; t < trie.first_child[s + 1]; ++t) {
            row[trie.in_class[t]] = static_cast<Id>(number[t]);
        }
    }
}

template struct DenseLayout<std::uint16_t>;
template struct DenseLayout<std::uint32_t>;

}  // namespace lorvane::categorizer::automaton
