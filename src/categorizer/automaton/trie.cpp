// Building the trie from the patterns in sorted order, and its bit ranks and packed
// children.
#include "categorizer/automaton/trie.hpp"

#include <algorithm>
#include <bit>
#include <memory>
#include <utility>

#include "common/bytes.hpp"

namespace lorvane::categorizer::automaton {
namespace {

std::uint32_t common_prefix(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    return static_cast<std::uint32_t>(std::mismatch(a.begin(), a.begin() + n, b.begin()).first -
                                      a.begin());
}

struct Key {
    std::uint64_t head;  // big_endian_head of the pattern
    std::uint32_t index;
};

// The patterns in byte order (which is also their class order), equal patterns in list
// order. Their heads are sorted a byte at a time, which keeps the list order of equal
// heads; only patterns whose heads agree are then compared as texts.
std::vector<Key> sorted_order(std::span<const std::string_view> patterns) {
    const auto n = static_cast<std::uint32_t>(patterns.size());
    std::vector<Key> keys(n), moved(n);
    for (std::uint32_t i = 0; i < n; ++i) keys[i] = {bytes::big_endian_head(patterns[i]), i};
    std::array<std::array<std::uint32_t, 256>, 8> count{};  // of each byte value at each place
    for (const Key& key : keys) {
        for (std::size_t place = 0; place < 8; ++place) ++count[place][key.head >> (8 * place) & 0xff];
    }
    for (std::size_t place = 0; place < 8; ++place) {
        std::array<std::uint32_t, 256>& start = count[place];
        if (std::find(start.begin(), start.end(), n) != start.end()) continue;  // one byte for all
        std::uint32_t sum = 0;
        for (std::uint32_t& c : start) sum += std::exchange(c, sum);
        for (const Key& key : keys) moved[start[key.head >> (8 * place) & 0xff]++] = key;
        keys.swap(moved);
    }
    for (std::uint32_t i = 0; i < n;) {
        std::uint32_t j = i + 1;
        while (j < n && keys[j].head == keys[i].head) ++j;
        if (j - i > 1) {
            std::stable_sort(keys.begin() + i, keys.begin() + j, [&](const Key& a, const Key& b) {
                return patterns[a.index] < patterns[b.index];
            });
        }
        i = j;
    }
    return keys;
}

// Bytes that two patterns share at their start, most often told by their heads.
std::uint32_t shared_prefix(const Key& a, std::string_view pa, const Key& b, std::string_view pb) {
    if (a.head == b.head) return common_prefix(pa, pb);
    const auto same = static_cast<std::size_t>(std::countl_zero(a.head ^ b.head) / 8);
    return static_cast<std::uint32_t>(std::min({same, pa.size(), pb.size()}));
}

}  // namespace

// Walking the patterns in sorted order creates the states depth first, and those of each
// depth in the order of their prefixes, which is a breadth-first order in which siblings
// are contiguous: so one pass counts the states of each depth and a second numbers them.
Trie build_trie(std::span<const std::string_view> patterns, const std::array<std::uint8_t, 256>& class_of,
                std::uint32_t listed_up_to) {
    const auto n = static_cast<std::uint32_t>(patterns.size());
    const std::vector<Key> sorted = sorted_order(patterns);
    const auto pattern = [&](std::uint32_t k) { return patterns[sorted[k].index]; };

    std::vector<std::uint32_t> shared(n);  // bytes shared with the pattern sorted before
    std::size_t longest = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::string_view p = pattern(k);
        shared[k] = k == 0 ? 0 : shared_prefix(sorted[k - 1], pattern(k - 1), sorted[k], p);
        longest = std::max(longest, p.size());
    }

    // Pattern k creates one state at each depth in (shared[k], its length]: counted as
    // differences (whose sums wrap around to the counts), summed into the number of states
    // at each depth, then into the first number at each depth. The root is number 0.
    std::vector<std::uint32_t> next_id(longest + 2, 0);  // first free number at each depth
    for (std::uint32_t k = 0; k < n; ++k) {
        ++next_id[shared[k] + 1];
        --next_id[pattern(k).size() + 1];
    }
    next_id[0] = 1;  // past the root
    std::uint32_t first = 1, at_depth = 0;
    for (std::size_t d = 1; d < next_id.size(); ++d) {
        at_depth += next_id[d];
        next_id[d] = first;
        first += at_depth;
    }

    Trie trie;
    trie.states = next_id.back();
    trie.shallow = next_id[std::min(shallow_depth + 1, longest + 1)];
    trie.in_class.assign(trie.states, 0);
    trie.first_child.assign(trie.states + 1, 0);
    const bool listed = trie.states <= listed_up_to;
    if (listed) {
        trie.preorder.reserve(trie.states);
        trie.preorder.push_back(0);
    }
    // Equal patterns are neighbours, the first listed first: only that one ends a state.
    // The ends are put in order of state by rank over a bit for each state.
    const auto repeats = [&](std::uint32_t k) {
        return k > 0 && shared[k] == pattern(k).size() && pattern(k - 1).size() == shared[k];
    };
    std::vector<End> ends;
    ends.reserve(n);
    RankedBits ending(trie.states);
    // The states of each depth are numbered in the order of their prefixes, and those of
    // the pattern walked last have the largest prefixes yet: the last numbered at a depth
    // is that pattern's, which the next pattern shares up to its own new states.
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::string_view p = pattern(k);
        for (std::size_t d = shared[k]; d < p.size(); ++d) {
            const std::uint32_t parent = next_id[d] - 1;
            const std::uint32_t id = next_id[d + 1]++;
            trie.in_class[id] = class_of[static_cast<unsigned char>(p[d])];
            ++trie.first_child[parent + 1];
            if (listed) trie.preorder.push_back(id);
        }
        if (repeats(k)) continue;
        const std::uint32_t end = next_id[p.size()] - 1;
        ending.set(end);
        ends.push_back({end, sorted[k].index});
    }
    trie.ends.resize(ending.count());
    for (const End& end : ends) trie.ends[ending.rank(end.state)] = end;
    trie.first_child[0] = 1;
    for (std::uint32_t s = 0; s < trie.states; ++s) trie.first_child[s + 1] += trie.first_child[s];
    return trie;
}

std::uint32_t RankedBits::count() {
    before_.resize(words_.size());
    std::uint32_t set = 0;
    for (std::size_t w = 0; w < words_.size(); ++w) {
        before_[w] = set;
        set += static_cast<std::uint32_t>(std::popcount(words_[w]));
    }
    return set;
}

PackedChildren::PackedChildren(const std::vector<std::uint32_t>& first_child) : marked_(first_child.size() - 1) {
    const auto states = static_cast<std::uint32_t>(first_child.size() - 1);
    offset_.push_back(first_child[0]);
    for (std::uint32_t s = 0; s < states; ++s) {
        if (first_child[s + 1] - first_child[s] == 1) continue;
        marked_.set(s);
        offset_.push_back(first_child[s + 1] - (s + 1));
    }
    marked_.count();
    offset_.shrink_to_fit();
}

}  // namespace lorvane::categorizer::automaton
