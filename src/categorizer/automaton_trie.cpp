#include "categorizer/automaton_trie.hpp"

#include <algorithm>
#include <bit>
#include <memory>
#include <utility>

#include "common/bytes.hpp"

namespace lorvane::categorizer::automaton_detail {
namespace {

// Room for the rows of link_trie's first states, which end most of its walks.
constexpr std::size_t row_bytes = std::size_t{128} << 10;

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

// Breadth first, so that a state's failure link is settled before its children's: the
// link of a child by class c is where c leads from the parent's link, found by following
// links until a state has a child by c. The first few states, where most of those walks
// end, keep a full row of where each class leads, built as the walk goes.
template <class Children>
std::vector<std::uint32_t> fail_links(const Children& children, const std::vector<std::uint8_t>& classes_in,
                                      std::uint32_t classes) {
    const auto states = static_cast<std::uint32_t>(classes_in.size());
    std::vector<std::uint32_t> fail(states, 0);
    const std::uint32_t with_rows = std::clamp<std::uint32_t>(row_bytes / (classes * sizeof(std::uint32_t)), 1, states);
    const auto rows = std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t{with_rows} * classes);
    const std::uint8_t* const in_class = classes_in.data();
    // Children are in class order: most states have one or two, a few have many.
    const auto child = [&](std::uint32_t state, std::uint8_t byte_class) {
        auto [t, end] = children(state);
        if (end - t > 8) t = static_cast<std::uint32_t>(std::lower_bound(in_class + t, in_class + end, byte_class) - in_class);
        for (; t < end && in_class[t] <= byte_class; ++t) {
            if (in_class[t] == byte_class) return t;
        }
        return none;
    };
    const auto step = [&](std::uint32_t state, std::uint8_t byte_class) {
        for (; state >= with_rows; state = fail[state]) {
            if (const std::uint32_t t = child(state, byte_class); t != none) return t;
        }
        return rows[std::size_t{state} * classes + byte_class];
    };
    for (std::uint32_t s = 0; s < states; ++s) {
        const auto [begin, end] = children(s);
        for (std::uint32_t t = begin; t < end; ++t) fail[t] = s == 0 ? 0 : step(fail[s], in_class[t]);
        if (s < with_rows) {
            std::uint32_t* row = rows.get() + std::size_t{s} * classes;
            if (s == 0) {
                std::fill_n(row, classes, 0);
            } else {
                std::copy_n(rows.get() + std::size_t{fail[s]} * classes, classes, row);
            }
            for (std::uint32_t t = begin; t < end; ++t) row[in_class[t]] = t;
        }
    }
    return fail;
}

template std::vector<std::uint32_t> fail_links(const DenseChildren&, const std::vector<std::uint8_t>&, std::uint32_t);
template std::vector<std::uint32_t> fail_links(const PackedChildren&, const std::vector<std::uint8_t>&, std::uint32_t);

Links link_trie(const Trie& trie, std::uint32_t classes) {
    Links links{fail_links(DenseChildren{trie.first_child}, trie.in_class, classes),
                std::vector<std::uint32_t>(trie.states, none)};
    EndsWalk own(trie.ends);
    for (std::uint32_t t = 1; t < trie.states; ++t) links.best[t] = std::min(own(t), links.best[links.fail[t]]);
    return links;
}

// One pass over the states depth first gives every state its number, from one of three
// counters: by its pattern, among the shallow states, or among the deep ones; chosen
// without a branch, since whether a state recognises a pattern follows no pattern a
// processor could learn.
Numbering number_states(const Trie& trie, const Links& links) {
    const std::uint32_t states = trie.states;
    const std::vector<std::uint32_t>& best = links.best;
    std::uint32_t top = 0;  // one past the largest pattern recognised (none + 1 is 0)
    std::uint32_t shallow_others = 0;
    for (std::uint32_t s = 0; s < states; ++s) {
        top = std::max(top, best[s] + 1);
        shallow_others += s < trie.shallow && best[s] == none;
    }
    // first[b + 1]: the next number of a state recognising pattern b, once summed.
    std::vector<std::uint32_t> first(std::size_t{top} + 1, 0);
    for (std::uint32_t s = 0; s < states; ++s) ++first[best[s] + 1];
    first[0] = 0;
    std::uint32_t recognising = 0;
    for (std::uint32_t& count : first) recognising += std::exchange(count, recognising);

    Numbering numbering{std::vector<std::uint32_t>(states), std::vector<std::uint32_t>(std::size_t{recognising} + 1)};
    std::uint32_t next[2] = {recognising + shallow_others, recognising};  // deep, shallow
    for (const std::uint32_t s : trie.preorder) {
        const std::uint32_t slot = best[s] + 1;
        std::uint32_t& other = next[s < trie.shallow];
        const std::uint32_t number = slot != 0 ? first[slot] : other;
        first[slot] += slot != 0;
        other += slot == 0;
        numbering.number[s] = number;
        numbering.best[std::min(number, recognising)] = best[s];  // the last slot is spare
    }
    numbering.best.resize(recognising);
    return numbering;
}

}  // namespace lorvane::categorizer::automaton_detail
