// The layout of an automaton too large for a table of rows: the trie itself (each
// state's children, packed, and the class of the edge into each), the failure links, and
// a full row of transitions for the shallowest states only. A step from a deeper state
// looks among its children and follows failure links until one has a child by the class
// or a state with a row is reached. A state of a chain costs about five bytes and a
// half, so that rule sets of a hundred megabytes fit in a few times their size.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "categorizer/automaton_trie.hpp"

namespace lorvane::categorizer::automaton_detail {

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

class LinkedTable {
public:
    LinkedTable() = default;
    // Rows for the first `rows` states (the root at least).
    LinkedTable(PackedChildren&& children, std::vector<std::uint8_t>&& in_class, std::vector<std::uint32_t>&& fail,
                SparsePatterns&& best, std::uint32_t classes, std::uint32_t rows);

    // The smallest index of a pattern occurring in the text, or none.
    std::uint32_t first_match(std::string_view text, const std::uint8_t* class_of) const noexcept;

private:
    std::uint32_t next(std::uint32_t state, std::uint8_t byte_class) const noexcept;

    std::uint32_t classes_ = 1;
    std::uint32_t row_states_ = 1;
    std::unique_ptr<std::uint32_t[]> rows_;  // classes_ next states for each of the first row_states_
    PackedChildren children_;
    std::vector<std::uint8_t> in_class_;
    std::vector<std::uint32_t> fail_;
    SparsePatterns best_;
};

}  // namespace lorvane::categorizer::automaton_detail
