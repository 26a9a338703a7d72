// Building the linked layout, and its step through children and failure links.
#include "categorizer/automaton/linked.hpp"

#include <algorithm>
#include <utility>

#include "categorizer/automaton/links.hpp"

namespace lorvane::categorizer::automaton {

// Two passes in breadth-first order, where a state's failure link comes before it: which
// states recognise a pattern (one ending there, or one that their link recognises), then,
// with those counted, which pattern comes first.
SparsePatterns::SparsePatterns(std::uint32_t states, const std::vector<End>& ends,
                               const std::vector<std::uint32_t>& fail)
    : recognising_(states) {
    EndsWalk ending(ends);
    for (std::uint32_t t = 1; t < states; ++t) {
        if (ending(t) != none || recognising_.test(fail[t])) recognising_.set(t);
    }
    patterns_.resize(recognising_.count());
    EndsWalk own(ends);
    for (std::uint32_t t = 1, next = 0; t < states; ++t) {
        const std::uint32_t mine = own(t);
        if (recognising_.test(t)) patterns_[next++] = std::min(mine, (*this)[fail[t]]);
    }
}

// The trie's children packed in place of their offsets, and each part of the trie
// released once it has been taken, then failure links over the packed children unless
// the caller has them. The rows are built breadth first: the row of a state's failure
// link comes before its own.
LinkedLayout::LinkedLayout(Trie&& trie, std::vector<std::uint32_t>&& fail, std::uint32_t classes,
                           std::uint32_t rows)
    : classes_(classes),
      row_states_(std::clamp<std::uint32_t>(rows, 1, trie.states)),
      in_class_(std::move(trie.in_class)) {
    trie.preorder = std::vector<std::uint32_t>();
    children_ = PackedChildren(trie.first_child);
    trie.first_child = std::vector<std::uint32_t>();
    fail_ = fail.empty() ? fail_links(children_, in_class_, classes_) : std::move(fail);
    best_ = SparsePatterns(trie.states, trie.ends, fail_);
    trie.ends = std::vector<End>();

    const std::size_t width = classes_;
    rows_ = std::make_unique_for_overwrite<std::uint32_t[]>(row_states_ * width);
    for (std::uint32_t s = 0; s < row_states_; ++s) {
        std::uint32_t* row = rows_.get() + s * width;
        if (s == 0) {
            std::fill_n(row, width, 0);
        } else {
            std::copy_n(rows_.get() + fail_[s] * width, width, row);
        }
        const auto [begin, end] = children_(s);
        for (std::uint32_t t = begin; t < end; ++t) row[in_class_[t]] = t;
    }
}

std::uint32_t LinkedLayout::next(std::uint32_t state, std::uint32_t byte_class) const noexcept {
    for (; state >= row_states_; state = fail_[state]) {
        const auto [begin, end] = children_(state);
        for (std::uint32_t t = begin; t < end && in_class_[t] <= byte_class; ++t) {
            if (in_class_[t] == byte_class) return t;
        }
    }
    return rows_[std::size_t{state} * classes_ + byte_class];
}

}  // namespace lorvane::categorizer::automaton
