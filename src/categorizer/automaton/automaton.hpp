// One Aho–Corasick automaton over the bytes of a list of non-empty patterns. Scanning a
// text once tells which pattern with the smallest index occurs in it, in time linear in
// the text's length and independent of the number of patterns.
//
// Bytes that no pattern tells apart share a class, and the transitions are held in one
// of three layouts (dense.hpp, compact.hpp, linked.hpp), the fastest that fits the
// budget; the tables number their states with 16 bits while that is enough. One scan
// (scan.cpp) serves every layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>

#include "categorizer/automaton/compact.hpp"
#include "categorizer/automaton/dense.hpp"
#include "categorizer/automaton/linked.hpp"
#include "categorizer/automaton/trie.hpp"

namespace lorvane::categorizer::automaton {

enum class Layout : std::uint8_t { dense, compact, linked };

// A layout chosen whatever the automaton's size, so that tests run each one.
struct Forced {
    Layout layout;
    bool narrow = false;            // tables: 16-bit state numbers, for at most 2^16 states
    std::uint32_t linked_rows = 1;  // the linked layout: states with a full row
};

struct LayoutChoice {
    // Room for rows of transitions. Scanning several texts at once hides most of the wait
    // for rows beyond the caches, so rows beat failure links for as many rules as users
    // write; beyond this, the shallowest states keep rows and the others failure links.
    static constexpr std::size_t default_budget = std::size_t{32} << 20;

    std::size_t budget = default_budget;
    std::optional<Forced> forced;
};

class SubstringAutomaton {
public:
    // Every pattern is non-empty; fewer than 2^31 patterns of fewer than 2^31 bytes in all.
    explicit SubstringAutomaton(std::span<const std::string_view> patterns, const LayoutChoice& choice = {});

    // The smallest i such that patterns[i] occurs in `text` as a run of bytes, or none.
    std::uint32_t first_match(std::string_view text) const noexcept;

    // first_match of every text: out[i] for texts[i] (out holds as many entries). The
    // tables scan several texts side by side, so that their lookups overlap instead of
    // waiting for one another.
    void first_matches(std::span<const std::string_view> texts, std::span<std::uint32_t> out) const noexcept;

    // True when no pattern holds an ASCII capital. The automaton then reads A to Z in a
    // text as a to z, so a lowercased pattern can be looked for in an ASCII text as is.
    bool folds_ascii_capitals() const noexcept { return folds_ascii_capitals_; }

    std::uint32_t states() const noexcept { return states_; }
    Layout layout() const noexcept;
    bool narrow() const noexcept;  // 16-bit state numbers

private:
    using Layouts = std::variant<DenseLayout<std::uint16_t>, DenseLayout<std::uint32_t>, CompactLayout<std::uint16_t>,
                                 CompactLayout<std::uint32_t>, LinkedLayout>;

    template <template <class> class Table, class... Parts>
    void hold_table(bool narrow, const Parts&... parts);

    // visit(layout) with the layout held. Unlike std::visit, it cannot throw: the variant
    // always holds a layout.
    template <std::size_t I = 0, class Visit>
    decltype(auto) with_layout(Visit&& visit) const noexcept {
        if constexpr (I + 1 < std::variant_size_v<Layouts>) {
            if (layout_.index() != I) return with_layout<I + 1>(visit);
        }
        return visit(*std::get_if<I>(&layout_));
    }

    std::array<std::uint8_t, 256> class_of_{};  // bytes of no pattern share class 0
    std::uint32_t classes_ = 1;
    std::uint32_t states_ = 1;
    bool folds_ascii_capitals_ = true;
    Layouts layout_;
};

}  // namespace lorvane::categorizer::automaton
