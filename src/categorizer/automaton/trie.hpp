// The trie of a list of patterns, which every layout of the automaton is built from: its
// states in breadth-first order, the class of the edge into each, where patterns end,
// and each state's children, in full or packed for tries made mostly of chains.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lorvane::categorizer::automaton {

// No pattern, no state: the one "nothing" of the automaton.
inline constexpr std::uint32_t none = UINT32_MAX;
// States this deep or shallower are where a scan spends most of its steps.
inline constexpr std::size_t shallow_depth = 4;

// A state where patterns end, and the smallest index among them.
struct End {
    std::uint32_t state;
    std::uint32_t pattern;
};

// States numbered breadth first, each state's children consecutively in increasing class
// order.
struct Trie {
    std::uint32_t states = 1;
    std::uint32_t shallow = 1;               // states below this are at most shallow_depth deep
    std::vector<End> ends;                   // in increasing order of state
    std::vector<std::uint32_t> first_child;  // one per state, plus one past the last
    std::vector<std::uint8_t> in_class;      // class of the edge into each state
    std::vector<std::uint32_t> preorder;     // the states depth first, the root first

    std::uint32_t children(std::uint32_t s) const noexcept { return first_child[s + 1] - first_child[s]; }
};

// Every pattern is non-empty, its bytes mapped to classes in increasing byte order. The
// states depth first are listed only for a trie of at most `listed_up_to` states.
Trie build_trie(std::span<const std::string_view> patterns, const std::array<std::uint8_t, 256>& class_of,
                std::uint32_t listed_up_to = UINT32_MAX);

// A bit for each of `size` numbers, and the number of bits set below any number.
class RankedBits {
public:
    RankedBits() = default;
    explicit RankedBits(std::size_t size) : words_((size + 63) / 64, 0) {}

    void set(std::uint32_t i) noexcept { words_[i / 64] |= std::uint64_t{1} << (i % 64); }
    bool test(std::uint32_t i) const noexcept { return (words_[i / 64] >> (i % 64)) & 1; }
    // Counts the bits set, which rank then reads: every bit is set before. Returns their
    // number.
    std::uint32_t count();
    // The number of bits set below i.
    std::uint32_t rank(std::uint32_t i) const noexcept {
        const std::uint64_t below = words_[i / 64] & ((std::uint64_t{1} << (i % 64)) - 1);
        return before_[i / 64] + static_cast<std::uint32_t>(std::popcount(below));
    }

private:
    std::vector<std::uint64_t> words_;
    std::vector<std::uint32_t> before_;  // bits set in the words before each
};

// The children of a state: [begin, end).
struct ChildRange {
    std::uint32_t begin;
    std::uint32_t end;
};

struct DenseChildren {
    const std::vector<std::uint32_t>& first_child;

    ChildRange operator()(std::uint32_t s) const noexcept { return {first_child[s], first_child[s + 1]}; }
};

// The children of every state in little room, for tries made mostly of chains. A
// state's first child is its own number plus an offset that changes only past a state
// with other than one child: those states are marked, and the offset that holds after
// each is listed.
class PackedChildren {
public:
    PackedChildren() = default;
    explicit PackedChildren(const std::vector<std::uint32_t>& first_child);

    ChildRange operator()(std::uint32_t s) const noexcept {
        const std::uint32_t r = marked_.rank(s);
        const std::uint32_t begin = s + offset_[r];
        return {begin, marked_.test(s) ? s + 1 + offset_[r + 1] : begin + 1};
    }

private:
    RankedBits marked_;
    std::vector<std::uint32_t> offset_;  // first child minus state, after each marked state
};

// Called with the states in increasing order, the smallest index of a pattern ending at
// each, or none.
class EndsWalk {
public:
    explicit EndsWalk(const std::vector<End>& ends) noexcept : next_(ends.data()), last_(ends.data() + ends.size()) {}

    std::uint32_t operator()(std::uint32_t state) noexcept {
        if (next_ == last_ || next_->state != state) return none;
        return (next_++)->pattern;
    }

private:
    const End* next_;
    const End* last_;
};

}  // namespace lorvane::categorizer::automaton
