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
    // Room for full transition rows. Scanning several texts at once hides most of the
    // wait for rows beyond the caches, so full rows beat failure links up to ten
    // thousand rules and more; larger rule sets keep their shallowest states dense and
    // follow failure links through the rest.
    static constexpr std::size_t default_dense_budget = std::size_t{32} << 20;

    // Every pattern is non-empty; fewer than 2^31 patterns of fewer than 2^31 bytes in all.
    explicit SubstringAutomaton(std::span<const std::string_view> patterns,
                                std::size_t dense_budget = default_dense_budget);

    // The smallest i such that patterns[i] occurs in `text` as a run of bytes, or none.
    std::uint32_t first_match(std::string_view text) const noexcept {
        if (narrow_) return scan_narrow(text);
        return all_dense_ ? scan_dense(text) : scan_mixed(text);
    }

    // first_match of every text: out[i] for texts[i] (out holds as many entries). Several
    // texts are scanned side by side, so that their table lookups overlap instead of
    // waiting for one another.
    void first_matches(std::span<const std::string_view> texts, std::span<std::uint32_t> out) const noexcept;

    // True when no pattern holds an ASCII capital. The automaton then reads A to Z in a
    // text as a to z, so a lowercased pattern can be looked for in an ASCII text as is.
    bool folds_ascii_capitals() const noexcept { return folds_ascii_capitals_; }

    std::uint32_t states() const noexcept { return states_; }
    std::uint32_t dense_states() const noexcept { return dense_states_; }

private:
    struct Trie;
    // A state as the mixed layout keeps it.
    struct Node {
        std::uint32_t first_child;  // children: [first_child, the next node's first_child)
        std::uint32_t fail;         // the longest proper suffix that is a state
        std::uint32_t best;         // the smallest pattern index recognised here
        std::uint8_t in_class;      // the class of the edge into this state
    };

    static Trie build_trie(std::span<const std::string_view> patterns,
                           const std::array<std::uint8_t, 256>& class_of);
    void link_dense(const Trie& trie);
    void link_mixed(const Trie& trie);
    std::uint32_t scan_dense(std::string_view text) const noexcept;
    std::uint32_t scan_mixed(std::string_view text) const noexcept;
    void link_narrow(const Trie& trie);
    std::uint32_t scan_narrow(std::string_view text) const noexcept;
    std::uint32_t next_mixed(std::uint32_t state, std::uint8_t byte_class) const noexcept;

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
    // nodes_ holds every state, plus one past the last.
    std::unique_ptr<std::uint32_t[]> rows_;
    std::uint32_t match_start_ = 0;
    // Narrow instead, when all states are dense and fewer than 2^16: a row is classes_
    // transitions, each the target's row number in 16 bits, and the smallest pattern
    // index recognised at each row is kept apart. Half the memory of the wide rows.
    bool narrow_ = false;
    std::unique_ptr<std::uint16_t[]> narrow_rows_;
    std::unique_ptr<std::uint32_t[]> narrow_best_;
    std::vector<Node> nodes_;
};

}  // namespace lorvane::categorizer
