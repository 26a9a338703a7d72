// Building the compact layout: which states are core, and their rows.
#include "categorizer/automaton/compact.hpp"

#include <algorithm>

namespace lorvane::categorizer::automaton {

Core core_states(const Trie& trie, const Links& links) {
    Core core;
    core.has_row.resize(trie.states);
    for (std::uint32_t s = 0; s < trie.states; ++s) core.has_row[s] = s < trie.shallow || trie.children(s) > 1;
    // Core-ness only spreads, so a state that ends without a row had its link marked.
    for (std::uint32_t s = 0; s < trie.states; ++s) core.has_row[links.fail[s]] |= !core.has_row[s];
    core.rows = static_cast<std::uint32_t>(std::count(core.has_row.begin(), core.has_row.end(), 1));
    return core;
}

// Breadth first, as the dense table: a state's failure link is complete before it. A
// core state's row is the whole of its link's transitions, its own children set; any
// other state keeps its link's row and its one child, if it has one.
template <class Id>
CompactLayout<Id>::CompactLayout(const Trie& trie, const Links& links, const Core& core, std::uint32_t width) {
    Numbering numbering = number_states(trie, links);
    const std::vector<std::uint32_t>& number = numbering.number;
    table = NumberedRows<Id>(numbering, core.rows, width);
    nodes.resize(trie.states);
    // Row offsets in breadth-first order: the shallow rows, read most, lie together.
    std::vector<std::uint32_t> row_at(trie.states, 0);
    for (std::uint32_t s = 0, placed = 0; s < trie.states; ++s) {
        if (core.has_row[s]) row_at[s] = placed++ * width;
    }
    Id* const rows = table.rows.get();
    for (std::uint32_t s = 0; s < trie.states; ++s) {
        const std::uint32_t begin = trie.first_child[s], end = trie.first_child[s + 1];
        Node& node = nodes[number[s]];
        if (!core.has_row[s]) {
            node = {row_at[links.fail[s]], 0, no_class};
            if (end - begin == 1) {
                node.child = static_cast<Id>(number[begin]);
                node.byte_class = trie.in_class[begin];
            }
            continue;
        }
        Id* row = rows + row_at[s];
        if (s == 0) {
            std::fill_n(row, width, table.root);
        } else {
            const Node& fail = nodes[number[links.fail[s]]];
            std::copy_n(rows + fail.row, width, row);
            if (fail.byte_class != no_class) row[fail.byte_class] = fail.child;
        }
        for (std::uint32_t t = begin; t < end; ++t) row[trie.in_class[t]] = static_cast<Id>(number[t]);
        node = {row_at[s], 0, no_class};
    }
}

template struct CompactLayout<std::uint16_t>;
template struct CompactLayout<std::uint32_t>;

}  // namespace lorvane::categorizer::automaton
