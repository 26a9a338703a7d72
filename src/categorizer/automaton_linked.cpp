#include "categorizer/automaton_linked.hpp"

#include <algorithm>
#include <utility>

namespace lorvane::categorizer::automaton_detail {

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

// Breadth first: the row of a state's failure link comes before its own.
LinkedTable::LinkedTable(PackedChildren&& children, std::vector<std::uint8_t>&& in_class,
                         std::vector<std::uint32_t>&& fail, SparsePatterns&& best, std::uint32_t classes,
                         std::uint32_t rows)
    : classes_(classes),
      row_states_(std::clamp<std::uint32_t>(rows, 1, static_cast<std::uint32_t>(in_class.size()))),
      children_(std::move(children)),
      in_class_(std::move(in_class)),
      fail_(std::move(fail)),
      best_(std::move(best)) {
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

std::uint32_t LinkedTable::next(std::uint32_t state, std::uint8_t byte_class) const noexcept {
    for (; state >= row_states_; state = fail_[state]) {
        const auto [begin, end] = children_(state);
        for (std::uint32_t t = begin; t < end && in_class_[t] <= byte_class; ++t) {
            if (in_class_[t] == byte_class) return t;
        }
    }
    return rows_[std::size_t{state} * classes_ + byte_class];
}

std::uint32_t LinkedTable::first_match(std::string_view text, const std::uint8_t* class_of) const noexcept {
    std::uint32_t state = 0;
    std::uint32_t found = none;
    for (const char ch : text) {
        state = next(state, class_of[static_cast<unsigned char>(ch)]);
        found = std::min(found, best_[state]);
        if (found == 0) break;
    }
    return found;
}

}  // namespace lorvane::categorizer::automaton_detail
