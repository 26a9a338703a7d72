// The numbers that scans through a table of rows know the states by, and what the dense
// and compact layouts share: rows of next states over those numbers, and how a scan
// turns the smallest number it passed into the first pattern that occurs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "categorizer/automaton/links.hpp"
#include "categorizer/automaton/trie.hpp"

namespace lorvane::categorizer::automaton {

// The states that recognise a pattern come first, in increasing order of the pattern, so
// that the smallest number a scan passes names the first pattern that occurs; then the
// shallow states, where scans spend most of their steps, together; then the rest depth
// first, so that a path through deep states reads neighbouring entries.
struct Numbering {
    std::vector<std::uint32_t> number;  // of each trie state
    std::vector<std::uint32_t> best;    // the pattern recognised at numbers [0, best.size())
};

// The trie's states depth first must be listed.
Numbering number_states(const Trie& trie, const Links& links);

// Rows of `width` next states, one per byte class, over numbered states. Id is the type
// of a state number: 16 bits while they are enough.
template <class Id>
struct NumberedRows {
    std::unique_ptr<Id[]> rows;
    std::vector<std::uint32_t> best;  // the pattern recognised by states [0, best.size())
    std::uint32_t width = 0;          // the number of byte classes
    Id root = 0;

    NumberedRows() = default;
    // `count` rows, not yet written, over the states as `numbering` numbers them (whose
    // patterns it takes).
    NumberedRows(Numbering& numbering, std::uint32_t count, std::uint32_t width_)
        : rows(std::make_unique_for_overwrite<Id[]>(std::size_t{count} * width_)),
          best(std::move(numbering.best)),
          width(width_),
          root(static_cast<Id>(numbering.number[0])) {}
};

// What a scan through numbered states keeps: the smallest number it passed, whose
// pattern it looks up at the end. Number 0 recognises the first pattern of all.
struct NumberedPatterns {
    std::uint32_t root;
    const std::uint32_t* best;
    std::uint32_t recognising;  // the states that recognise a pattern: [0, recognising)

    static std::uint32_t rank(std::uint32_t state) noexcept { return state; }
    std::uint32_t pattern(std::uint32_t smallest) const noexcept {
        return smallest < recognising ? best[smallest] : none;
    }

    template <class Id>
    static NumberedPatterns of(const NumberedRows<Id>& table) noexcept {
        return {table.root, table.best.data(), static_cast<std::uint32_t>(table.best.size())};
    }
};

}  // namespace lorvane::categorizer::automaton
