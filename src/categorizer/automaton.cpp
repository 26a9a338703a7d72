#include "categorizer/automaton.hpp"

#include <algorithm>
#include <utility>

namespace lorvane::categorizer {
namespace {

using automaton_detail::Links;
using automaton_detail::Trie;

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

    // A table takes at least a node for every state: past the budget, the trie itself
    // is linked, without what only tables need.
    const auto table_states = static_cast<std::uint32_t>(
        std::min<std::size_t>(dense_budget / sizeof(automaton_detail::Table<std::uint16_t>::Node), UINT32_MAX));
    Trie trie = automaton_detail::build_trie(patterns, class_of_, table_states);
    states_ = trie.states;
    narrow_ = states_ <= narrow_states;
    if (states_ > table_states) {
        link(std::move(trie), {}, dense_budget);
        return;
    }
    Links links = automaton_detail::link_trie(trie, classes_);
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
    link(std::move(trie), std::move(links.fail), dense_budget);
}

// The trie's children packed in place of their offsets, then failure links over them
// unless the caller has them. Rows for a quarter of the budget: the hottest states stay
// in the nearest caches.
void SubstringAutomaton::link(Trie&& trie, std::vector<std::uint32_t>&& fail, std::size_t dense_budget) {
    layout_ = Layout::linked;
    trie.preorder = std::vector<std::uint32_t>();  // its memory released, as below
    automaton_detail::PackedChildren children(trie.first_child);
    trie.first_child = std::vector<std::uint32_t>();
    if (fail.empty()) fail = automaton_detail::fail_links(children, trie.in_class, classes_);
    automaton_detail::SparsePatterns best(states_, trie.ends, fail);
    trie.ends = std::vector<automaton_detail::End>();
    const auto rows = static_cast<std::uint32_t>(
        std::min<std::size_t>(dense_budget / 4 / (std::size_t{classes_} * sizeof(std::uint32_t)), states_));
    linked_ = automaton_detail::LinkedTable(std::move(children), std::move(trie.in_class), std::move(fail),
                                            std::move(best), classes_, rows);
}

}  // namespace lorvane::categorizer
