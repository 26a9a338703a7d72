// The dense layout: a full row of next states for every state, over the numbering of
// numbering.hpp. A step is one load; the fastest layout while its rows stay in the
// nearer caches.
#pragma once

#include <cstddef>
#include <cstdint>

#include "categorizer/automaton/links.hpp"
#include "categorizer/automaton/numbering.hpp"
#include "categorizer/automaton/trie.hpp"

namespace lorvane::categorizer::automaton {

template <class Id>
struct DenseLayout {
    NumberedRows<Id> table;

    DenseLayout() = default;
    DenseLayout(const Trie& trie, const Links& links, std::uint32_t width);

    struct Step : NumberedPatterns {
        // Texts scanned side by side: enough to keep lookups in flight, not so many that
        // their registers spill.
        static constexpr std::size_t lanes = 5;

        const Id* rows;
        std::size_t width;

        std::uint32_t operator()(std::uint32_t state, std::uint32_t byte_class) const noexcept {
            return rows[state * width + byte_class];
        }
    };

    Step step() const noexcept { return {NumberedPatterns::of(table), table.rows.get(), table.width}; }
};

}  // namespace lorvane::categorizer::automaton
