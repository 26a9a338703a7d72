// Transition tables over states numbered as number_states does, and the step of a scan
// through each. A dense table holds a full row of next states for every state. A compact
// table holds rows only for its core states: the shallow ones, where scans spend most of
// their steps, and those with more than one child. Every other state reads the row of
// its failure link, which is always a core state, except by the one class that leads to
// its own child. A deep chain of states then costs a few bytes each instead of a row, so
// that the table of ten thousand rules stays within the nearer caches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "categorizer/automaton_trie.hpp"

namespace lorvane::categorizer::automaton_detail {

inline constexpr std::uint16_t no_class = UINT16_MAX;

// Id is the type of a state number: 16 bits while they are enough.
template <class StateId>
struct Table {
    using Id = StateId;

    struct Node {
        std::uint32_t row;         // offset of the row whose transitions the state takes
        Id child;                  // where byte_class leads instead
        std::uint16_t byte_class;  // no_class when the row is the state's own
    };

    std::unique_ptr<Id[]> rows;       // `width` next states a row
    std::vector<Node> nodes;          // one per state in a compact table, none in a dense one
    std::vector<std::uint32_t> best;  // the pattern recognised by states [0, best.size())
    std::uint32_t width = 0;          // the number of byte classes
    Id root = 0;
};

template <class Id>
Table<Id> dense_table(const Trie& trie, const Links& links, std::uint32_t width);

// Whether each state has a row of its own in a compact table, and how many do.
struct Core {
    std::vector<std::uint8_t> has_row;
    std::uint32_t rows = 0;
};

Core core_states(const Trie& trie, const Links& links);

template <class Id>
Table<Id> compact_table(const Trie& trie, const Links& links, const Core& core, std::uint32_t width);

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
struct DenseStep {
    const Id* rows;
    std::size_t width;

    std::uint32_t operator()(std::uint32_t state, std::uint32_t byte_class) const noexcept {
        return rows[state * width + byte_class];
    }
};

template <class Id>
struct CompactStep {
    const Id* rows;
    const typename Table<Id>::Node* nodes;

    std::uint32_t operator()(std::uint32_t state, std::uint32_t byte_class) const noexcept {
        const typename Table<Id>::Node& node = nodes[state];
        return *pick_if_equal(byte_class, node.byte_class, &node.child, rows + node.row + byte_class);
    }
};

}  // namespace lorvane::categorizer::automaton_detail
