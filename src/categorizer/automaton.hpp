// One Aho–Corasick automaton over the bytes of a list of non-empty patterns. Scanning a
// text once tells which pattern with the smallest index occurs in it, in time linear in
// the text's length and independent of the number of patterns.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "categorizer/automaton_linked.hpp"
#include "categorizer/automaton_table.hpp"

namespace lorvane::categorizer {

class SubstringAutomaton {
public:
    static constexpr std::uint32_t none = UINT32_MAX;
    // Room for rows of transitions. Scanning several texts at once hides most of the wait
    // for rows beyond the caches, so rows beat failure links for as many rules as users
    // write; beyond this, the shallowest states keep rows and the others failure links.
    static constexpr std::size_t default_dense_budget = std::size_t{32} << 20;

    // Every pattern is non-empty; fewer than 2^31 patterns of fewer than 2^31 bytes in all.
    explicit SubstringAutomaton(std::span<const std::string_view> patterns,
                                std::size_t dense_budget = default_dense_budget);

    // The smallest i such that patterns[i] occurs in `text` as a run of bytes, or none.
    std::uint32_t first_match(std::string_view text) const noexcept;

    // first_match of every text: out[i] for texts[i] (out holds as many entries). Several
    // texts are scanned side by side, so that their table lookups overlap instead of
    // waiting for one another.
    void first_matches(std::span<const std::string_view> texts, std::span<std::uint32_t> out) const noexcept;

    // True when no pattern holds an ASCII capital. The automaton then reads A to Z in a
    // text as a to z, so a lowercased pattern can be looked for in an ASCII text as is.
    bool folds_ascii_capitals() const noexcept { return folds_ascii_capitals_; }

    std::uint32_t states() const noexcept { return states_; }

private:
    // How the transitions are held: a table of rows for every state; a compact table,
    // with rows for the core states only (automaton_table.hpp); or, past the budget, rows
    // for the shallowest states and failure links for all (automaton_linked.hpp).
    enum class Layout : std::uint8_t { dense, compact, linked };

    // Takes the trie and its failure links into the linked layout.
    void link(automaton_detail::Trie&& trie, std::vector<std::uint32_t>&& fail, std::size_t dense_budget);
    // Calls visit(table, step) with the table in use and its step.
    template <class Visit>
    decltype(auto) with_table(Visit visit) const noexcept;

    std::array<std::uint8_t, 256> class_of_{};  // bytes of no pattern share class 0
    std::uint32_t classes_ = 1;
    std::uint32_t states_ = 1;
    bool folds_ascii_capitals_ = true;
    Layout layout_ = Layout::dense;
    bool narrow_ = true;  // state numbers of 16 bits

    automaton_detail::Table<std::uint16_t> narrow_table_;
    automaton_detail::Table<std::uint32_t> wide_table_;

    automaton_detail::LinkedTable linked_;
};

}  // namespace lorvane::categorizer
