// The linked layout, for automata too large for a table of rows: the trie itself (each
// state's children, packed, and the class of the edge into each), the failure links, and
// a full row of transitions for the shallowest states only. A step from a deeper state
// looks among its children and follows failure links until one has a child by the class
// or a state with a row is reached. A state of a chain costs about five bytes and a
// half, so that rule sets of a hundred megabytes fit in a few times their size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "categorizer/automaton/trie.hpp"

namespace lorvane::categorizer::automaton {

// The smallest pattern recognised at each state (ending there or at a suffix), for
// automata where few states recognise any: which states do, and their patterns.
class SparsePatterns {
public:
    SparsePatterns() = default;
    SparsePatterns(std::uint32_t states, const std::vector<End>& ends, const std::vector<std::uint32_t>& fail);

    std::uint32_t operator[](std::uint32_t state) const noexcept {
        return recognising_.test(state) ? patterns_[recognising_.rank(state)] : none;
    }

private:
    RankedBits recognising_;
    std::vector<std::uint32_t> patterns_;
};

class LinkedLayout {
public:
    LinkedLayout() = default;
    // Takes the trie, and its failure links unless `fail` is empty; rows for the first
    // `rows` states (the root at least).
    LinkedLayout(Trie&& trie, std::vector<std::uint32_t>&& fail, std::uint32_t classes, std::uint32_t rows);

    // The pattern a scan keeps is the smallest recognised at any state it passes.
    struct Step {
        // Each step follows links at no pattern a processor could learn: texts are
        // scanned one at a time.
        static constexpr std::size_t lanes = 1;
        static constexpr std::uint32_t root = 0;

        const LinkedLayout* layout;

        std::uint32_t operator()(std::uint32_t state, std::uint32_t byte_class) const noexcept {
            return layout->next(state, byte_class);
        }
        std::uint32_t rank(std::uint32_t state) const noexcept { return layout->best_[state]; }
        static std::uint32_t pattern(std::uint32_t smallest) noexcept { return smallest; }
    };

    Step step() const noexcept { return {this}; }

private:
    std::uint32_t next(std::uint32_t state, std::uint32_t byte_class) const noexcept;

    std::uint32_t classes_ = 1;
    std::uint32_t row_states_ = 1;
    std::unique_ptr<std::uint32_t[]> rows_;  // classes_ next states for each of the first row_states_
    PackedChildren children_;
    std::vector<std::uint8_t> in_class_;
    std::vector<std::uint32_t> fail_;
    SparsePatterns best_;
};

}  // namespace lorvane::categorizer::automaton
