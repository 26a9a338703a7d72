#include "categorizer/automaton_table.hpp"

#include <algorithm>

namespace lorvane::categorizer::automaton_detail {

namespace {

// A table of `rows` rows of `width` transitions, not yet written, over the states
// numbered as `numbering` says.
template <class Id>
Table<Id> empty_table(Numbering& numbering, std::uint32_t rows, std::uint32_t width) {
    Table<Id> table;
    table.best = std::move(numbering.best);
    table.width = width;
    table.root = static_cast<Id>(numbering.number[0]);
    table.rows = std::make_unique_for_overwrite<Id[]>(std::size_t{rows} * width);
    return table;
}

}  // namespace

// Breadth first: the row of a state's failure link is complete before the state's own,
// which starts as a copy of it.
template <class Id>
Table<Id> dense_table(const Trie& trie, const Links& links, std::uint32_t width) {
    Numbering numbering = number_states(trie, links);
    const std::vector<std::uint32_t>& number = numbering.number;
    Table<Id> table = empty_table<Id>(numbering, trie.states, width);
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
    return table;
}

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
Table<Id> compact_table(const Trie& trie, const Links& links, const Core& core, std::uint32_t width) {
    using Node = typename Table<Id>::Node;
    Numbering numbering = number_states(trie, links);
    const std::vector<std::uint32_t>& number = numbering.number;
    Table<Id> table = empty_table<Id>(numbering, core.rows, width);
    table.nodes.resize(trie.states);
    // Row offsets in breadth-first order: the shallow rows, read most, lie together.
    std::vector<std::uint32_t> row_at(trie.states, 0);
    for (std::uint32_t s = 0, placed = 0; s < trie.states; ++s) {
        if (core.has_row[s]) row_at[s] = placed++ * width;
    }
    Id* const rows = table.rows.get();
    for (std::uint32_t s = 0; s < trie.states; ++s) {
        const std::uint32_t begin = trie.first_child[s], end = trie.first_child[s + 1];
        Node& node = table.nodes[number[s]];
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
            const Node& fail = table.nodes[number[links.fail[s]]];
            std::copy_n(rows + fail.row, width, row);
            if (fail.byte_class != no_class) row[fail.byte_class] = fail.child;
        }
        for (std::uint32_t t = begin; t < end; ++t) row[trie.in_class[t]] = static_cast<Id>(number[t]);
        node = {row_at[s], 0, no_class};
    }
    return table;
}

template Table<std::uint16_t> dense_table<std::uint16_t>(const Trie&, const Links&, std::uint32_t);
template Table<std::uint32_t> dense_table<std::uint32_t>(const Trie&, const Links&, std::uint32_t);
template Table<std::uint16_t> compact_table<std::uint16_t>(const Trie&, const Links&, const Core&, std::uint32_t);
template Table<std::uint32_t> compact_table<std::uint32_t>(const Trie&, const Links&, const Core&, std::uint32_t);

}  // namespace lorvane::categorizer::automaton_detail
