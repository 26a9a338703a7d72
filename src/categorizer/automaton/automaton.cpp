// Building an automaton: the byte classes of its patterns, its trie, and the layout that
// holds its transitions, chosen by size or forced.
#include "categorizer/automaton/automaton.hpp"

#include <algorithm>
#include <type_traits>
#include <utility>

#include "categorizer/automaton/links.hpp"

namespace lorvane::categorizer::automaton {
namespace {

// State numbers that 16 bits hold.
constexpr std::uint32_t narrow_states = std::uint32_t{1} << 16;
// Dense tables up to about what one core's second-level cache holds; beyond, the compact
// table's fewer rows and its nodes stay there while a dense table's rows would not.
constexpr std::size_t compact_above = std::size_t{2} << 20;

// Rows of the linked layout for a quarter of the budget: the hottest states stay in the
// nearest caches.
std::uint32_t linked_rows(std::size_t budget, std::uint32_t classes, std::uint32_t states) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(budget / 4 / (std::size_t{classes} * sizeof(std::uint32_t)), states));
}

}  // namespace

template <template <class> class Table, class... Parts>
void SubstringAutomaton::hold_table(bool narrow, const Parts&... parts) {
    if (narrow) {
        layout_.emplace<Table<std::uint16_t>>(parts..., classes_);
    } else {
        layout_.emplace<Table<std::uint32_t>>(parts..., classes_);
    }
}

SubstringAutomaton::SubstringAutomaton(std::span<const std::string_view> patterns, const LayoutChoice& choice) {
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

    if (const std::optional<Forced>& forced = choice.forced) {
        const bool linked = forced->layout == Layout::linked;
        Trie trie = build_trie(patterns, class_of_, linked ? 0 : UINT32_MAX);
        states_ = trie.states;
        if (linked) {
            layout_.emplace<LinkedLayout>(std::move(trie), std::vector<std::uint32_t>(), classes_, forced->linked_rows);
            return;
        }
        const Links links = link_trie(trie, classes_);
        const bool narrow = forced->narrow && states_ <= narrow_states;
        if (forced->layout == Layout::dense) {
            hold_table<DenseLayout>(narrow, trie, links);
        } else {
            hold_table<CompactLayout>(narrow, trie, links, core_states(trie, links));
        }
        return;
    }

    // A table takes at least a node for every state: past the budget, the trie itself
    // is linked, without what only tables need.
    const auto table_states = static_cast<std::uint32_t>(
        std::min<std::size_t>(choice.budget / sizeof(CompactLayout<std::uint16_t>::Node), UINT32_MAX));
    Trie trie = build_trie(patterns, class_of_, table_states);
    states_ = trie.states;
    if (states_ > table_states) {
        layout_.emplace<LinkedLayout>(std::move(trie), std::vector<std::uint32_t>(), classes_,
                                      linked_rows(choice.budget, classes_, states_));
        return;
    }
    Links links = link_trie(trie, classes_);
    const bool narrow = states_ <= narrow_states;
    const std::size_t row = std::size_t{classes_} * (narrow ? sizeof(std::uint16_t) : sizeof(std::uint32_t));
    if (std::size_t{states_} * row <= std::min(compact_above, choice.budget)) {
        hold_table<DenseLayout>(narrow, trie, links);
        return;
    }
    const Core core = core_states(trie, links);
    const std::size_t node = narrow ? sizeof(CompactLayout<std::uint16_t>::Node) : sizeof(CompactLayout<std::uint32_t>::Node);
    if (std::size_t{core.rows} * row + std::size_t{states_} * node <= choice.budget) {
        hold_table<CompactLayout>(narrow, trie, links, core);
        return;
    }
    layout_.emplace<LinkedLayout>(std::move(trie), std::move(links.fail), classes_,
                                  linked_rows(choice.budget, classes_, states_));
}

Layout SubstringAutomaton::layout() const noexcept {
    return with_layout([]<class L>(const L&) {
        if constexpr (std::is_same_v<L, LinkedLayout>) {
            return Layout::linked;
        } else if constexpr (std::is_same_v<L, CompactLayout<std::uint16_t>> ||
                             std::is_same_v<L, CompactLayout<std::uint32_t>>) {
            return Layout::compact;
        } else {
            return Layout::dense;
        }
    });
}

bool SubstringAutomaton::narrow() const noexcept {
    return std::holds_alternative<DenseLayout<std::uint16_t>>(layout_) ||
           std::holds_alternative<CompactLayout<std::uint16_t>>(layout_);
}

}  // namespace lorvane::categorizer::automaton
