// The compact layout: rows only for the core states, the shallow ones, where scans spend
// most of their steps, and those with more than one child. Every other state reads the
// row of its failure link, which is always a core state, except by the one class that
// leads to its own child. A deep chain of states then costs a few bytes each instead of
// a row, so that the table of ten thousand rules stays within the nearer caches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "categorizer/automaton/links.hpp"
#include "categorizer/automaton/numbering.hpp"
#include "categorizer/automaton/trie.hpp"

namespace lorvane::categorizer::automaton {

inline constexpr std::uint16_t no_class = UINT16_MAX;

// Whether each state has a row of its own, and how many do.
struct Core {
    std::vector<std::uint8_t> has_row;
    std::uint32_t rows = 0;
};

Core core_states(const Trie& trie, const Links& links);

// `if_equal` when a == b, else `otherwise`, without a branch. In a compact table the
// comparison holds along a chain and fails where the text leaves it, at no pattern the
// processor could learn; a compiler left to itself may still choose a branch. Picking
// the address rather than the value spares a chain's steps the read of a row.
template <class T>
inline const T* pick_if_equal(std::uint32_t a, std::uint32_t b, const T* if_equal, const T* otherwise) noexcept {
#if defined(__GNUC__) && defined(__x86_64__)
    __asm__("cmpl %2, %1\n\tcmove %3, %0" : "+r"(otherwise) : "r"(a), "r"(b), "r"(if_equal) : "cc");
    return otherwise;
#else
    return a == b ? if_equal : otherwise;
#endif
}

template <class Id>
struct CompactLayout {
    struct Node {
        std::uint32_t row;         // offset of the row whose transitions the state takes
        Id child;                  // where byte_class leads instead
        std::uint16_t byte_class;  // no_class when the row is the state's own
    };

    NumberedRows<Id> table;  // rows for the core states only
    std::vector<Node> nodes;  // one per state

    CompactLayout() = default;
    CompactLayout(const Trie& trie, const Links& links, const Core& core, std::uint32_t width);

    struct Step : NumberedPatterns {
        // A compact step has more work around each lookup than a dense one, and one more
        // text in flight pays.
        static constexpr std::size_t lanes = 6;

        const Id* rows;
        const Node* nodes;

        std::uint32_t operator()(std::uint32_t state, std::uint32_t byte_class) const noexcept {
            const Node& node = nodes[state];
            return *pick_if_equal(byte_class, node.byte_class, &node.child, rows + node.row + byte_class);
        }
    };

    Step step() const noexcept { return {NumberedPatterns::of(table), table.rows.get(), nodes.data()}; }
};

}  // namespace lorvane::categorizer::automaton
