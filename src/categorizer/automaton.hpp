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

namespace lorvane::categorizer {

class SubstringAutomaton {
public:
    static constexpr std::uint32_t none = UINT32_MAX;
    // Room for full transition rows; rule sets beyond it keep the shallow states dense
    // and follow failure links through the rest.
    static constexpr std::size_t default_dense_budget = std::size_t{32} << 20;

    // Every pattern is non-empty; fewer than 2^31 patterns of fewer than 2^31 bytes in all.
    explicit SubstringAutomaton(std::span<const std::string_view> patterns,
                                std::size_t dense_budget = default_dense_budget);

    // The smallest i such that patterns[i] occurs in `text` as a run of bytes, or none.
    std::uint32_t first_match(std::string_view text) const noexcept {
        return all_dense_ ? scan_dense(text) : scan_mixed(text);
    }

    // True when no pattern holds an ASCII capital. The automaton then reads A to Z in a
    // text as a to z, so a lowercased pattern can be looked for in an ASCII text as is.
    bool folds_ascii_capitals() const noexcept { return folds_ascii_capitals_; }

    std::uint32_t states() const noexcept { return states_; }
    std::uint32_t dense_states() const noexcept { return dense_states_; }

private:
    std::uint32_t scan_dense(std::string_view text) const noexcept;
    std::uint32_t scan_mixed(std::string_view text) const noexcept;
    std::uint32_t child(std::uint32_t state, std::uint8_t byte_class) const noexcept;
    void link_dense(const std::vector<std::uint32_t>& own);
    void link_mixed(const std::vector<std::uint32_t>& own);

    std::array<std::uint8_t, 256> class_of_{};  // bytes of no pattern share class 0
    std::uint32_t classes_ = 1;
    std::uint32_t states_ = 1;        // state 0 is the root; numbered breadth first
    std::uint32_t dense_states_ = 1;  // states below this have a full row of transitions
    bool folds_ascii_capitals_ = true;
    bool all_dense_ = false;

    // When all states are dense, a row is classes_ transitions, each the target's row
    // offset, then the smallest pattern index recognised at the state (at it or at one of
    // its suffixes); the rows of states that recognise some pattern start at match_start_.
    // Otherwise the first dense_states_ states have rows of classes_ state numbers, and
    // the arrays below serve every state.
    std::unique_ptr<std::uint32_t[]> rows_;
    std::uint32_t match_start_ = 0;
    std::vector<std::uint32_t> best_;         // smallest pattern index recognised at a state
    std::vector<std::uint32_t> fail_;         // longest proper suffix that is a state
    std::vector<std::uint32_t> first_child_;  // children of s: [first_child_[s], first_child_[s + 1])
    std::vector<std::uint8_t> in_class_;      // class of the edge into each state
};

}  // namespace lorvane::categorizer
