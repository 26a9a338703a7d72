#include "categorizer/automaton.hpp"

#include <algorithm>
#include <memory>

namespace lorvane::categorizer {
namespace {

using automaton_detail::Links;
using automaton_detail::Trie;

constexpr std::uint32_t none = SubstringAutomaton::none;
// State numbers that 16 bits hold.
constexpr std::uint32_t narrow_states = std::uint32_t{1} << 16;
// Dense tables up to about what one core's second-level cache holds; beyond, the compact
// table's fewer rows and its nodes stay there while a dense table's rows would not.
constexpr std::size_t compact_above = std::size_t{2} << 20;

}  // namespace

SubstringAutomaton::SubstringAutomaton(std::span<const std::string_view> patterns,
                                       std::size_t dense_budget) {
    std::array<bool, 256> used{};
    for (std::string_view p : patterns) {
        for (char ch : p) used[static_cast<unsigned char>(ch)] = true;
    }
    for (int b = 'A'; b <= 'Z'; ++b) folds_ascii_capitals_ = folds_ascii_capitals_ && !used[b];
    // Class 0 gathers the bytes of no pattern, when there are such bytes.
    classes_ = std::find(used.begin(), used.end(), false) == used.end() ? 0 : 1;
    for (int b = 0; b < 256; ++b) {
        if (used[b]) class_of_[b] = static_cast<std::uint8_t>(classes_++);
    }
    if (folds_ascii_capitals_) {
        for (int b = 'A'; b <= 'Z'; ++b) class_of_[b] = class_of_[b - 'A' + 'a'];
    }

    const Trie trie = automaton_detail::build_trie(patterns, class_of_);
    const Links links = automaton_detail::link_trie(trie, classes_);
    states_ = trie.states;
    narrow_ = states_ <= narrow_states;
    const std::size_t entry = narrow_ ? sizeof(std::uint16_t) : sizeof(std::uint32_t);
    const std::size_t row = std::size_t{classes_} * entry;
    const auto build = [&](auto make) {
        if (narrow_) {
            narrow_table_ = make(std::uint16_t{});
        } else {
            wide_table_ = make(std::uint32_t{});
        }
    };
    if (std::size_t{states_} * row <= std::min(compact_above, dense_budget)) {
        layout_ = Layout::dense;
        build([&]<class Id>(Id) { return automaton_detail::dense_table<Id>(trie, links, classes_); });
        return;
    }
    const automaton_detail::Core core = automaton_detail::core_states(trie, links);
    const std::size_t node = narrow_ ? sizeof(automaton_detail::Table<std::uint16_t>::Node)
                                     : sizeof(automaton_detail::Table<std::uint32_t>::Node);
    if (std::size_t{core.rows} * row + std::size_t{states_} * node <= dense_budget) {
        layout_ = Layout::compact;
        build([&]<class Id>(Id) { return automaton_detail::compact_table<Id>(trie, links, core, classes_); });
        return;
    }
    layout_ = Layout::linked;
    // Rows for a quarter of the budget: the hottest states stay in the nearest caches.
    dense_states_ = static_cast<std::uint32_t>(std::clamp<std::size_t>(
        dense_budget / 4 / (std::size_t{classes_} * sizeof(std::uint32_t)), 1, states_));
    link(trie, links);
}

// The first dense_states_ states, the shallowest, get a full row of state numbers; all
// states keep their children and failure links.
void SubstringAutomaton::link(const Trie& trie, const Links& links) {
    const std::size_t width = classes_;
    rows_ = std::make_unique_for_overwrite<std::uint32_t[]>(dense_states_ * width);
    nodes_.resize(std::size_t{states_} + 1);
    for (std::uint32_t s = 0; s < states_; ++s) {
        nodes_[s] = {trie.first_child[s], links.fail[s], links.best[s], trie.in_class[s]};
    }
    nodes_[states_] = {trie.first_child[states_], 0, none, 0};
    // Breadth first: the row of a state's failure link comes before its own.
    for (std::uint32_t s = 0; s < dense_states_; ++s) {
        std::uint32_t* row = rows_.get() + s * width;
        if (s == 0) {
            std::fill_n(row, width, 0);
        } else {
            std::copy_n(rows_.get() + links.fail[s] * width, width, row);
        }
        for (std::uint32_t t = trie.first_child[s]; t < trie.first_child[s + 1]; ++t) row[trie.in_class[t]] = t;
    }
}

std::uint32_t SubstringAutomaton::next_linked(std::uint32_t state, std::uint8_t byte_class) const noexcept {
    for (; state >= dense_states_; state = nodes_[state].fail) {
        const std::uint32_t end = nodes_[state + 1].first_child;
        for (std::uint32_t t = nodes_[state].first_child; t < end && nodes_[t].in_class <= byte_class; ++t) {
            if (nodes_[t].in_class == byte_class) return t;
        }
    }
    return rows_[std::size_t{state} * classes_ + byte_class];
}

std::uint32_t SubstringAutomaton::scan_linked(std::string_view text) const noexcept {
    std::uint32_t state = 0;
    std::uint32_t found = none;
    for (const char ch : text) {
        state = next_linked(state, class_of_[static_cast<unsigned char>(ch)]);
        if (nodes_[state].best < found) {
            found = nodes_[state].best;
            if (found == 0) break;
        }
    }
    return found;
}

}  // namespace lorvane::categorizer
