#include "categorizer/automaton.hpp"

#include <algorithm>
#include <memory>

namespace lorvane::categorizer {
namespace {

constexpr std::uint32_t none = SubstringAutomaton::none;
// Row numbers that 16 bits hold.
constexpr std::uint32_t narrow_states = std::uint32_t{1} << 16;
// Wide rows beyond this many bytes are mostly out of the nearer caches.
constexpr std::size_t narrow_above = std::size_t{4} << 20;

std::uint32_t common_prefix(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    return static_cast<std::uint32_t>(std::mismatch(a.begin(), a.begin() + n, b.begin()).first -
                                      a.begin());
}

// The patterns' indices in byte order of the patterns (which is also their class order),
// equal patterns in list order. Comparing the first eight bytes as one big-endian number
// settles most comparisons without touching the texts.
std::vector<std::uint32_t> sorted_order(std::span<const std::string_view> patterns) {
    struct Key {
        std::uint64_t head;
        std::uint32_t index;
    };
    const auto n = static_cast<std::uint32_t>(patterns.size());
    std::vector<Key> keys(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint64_t head = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const unsigned byte = k < patterns[i].size() ? static_cast<unsigned char>(patterns[i][k]) : 0u;
            head = head << 8 | byte;
        }
        keys[i] = {head, i};
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.head != b.head) return a.head < b.head;
        const int c = patterns[a.index].compare(patterns[b.index]);
        return c < 0 || (c == 0 && a.index < b.index);
    });
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t k = 0; k < n; ++k) order[k] = keys[k].index;
    return order;
}

}  // namespace

// The trie of the patterns, its states numbered breadth first, each state's children
// numbered consecutively in increasing class order.
struct SubstringAutomaton::Trie {
    std::uint32_t states = 1;
    std::vector<std::uint32_t> own;          // smallest index of a pattern ending here, or none
    std::vector<std::uint32_t> first_child;  // one per state, plus one past the last
    std::vector<std::uint8_t> in_class;      // class of the edge into each state
};

// Walking the patterns in sorted order creates the states of each depth in the order of
// their prefixes, which is a breadth-first order in which siblings are contiguous: so one
// pass counts the states of each depth and a second numbers them.
SubstringAutomaton::Trie SubstringAutomaton::build_trie(
    std::span<const std::string_view> patterns, const std::array<std::uint8_t, 256>& class_of) {
    const auto n = static_cast<std::uint32_t>(patterns.size());
    const std::vector<std::uint32_t> order = sorted_order(patterns);

    std::vector<std::uint32_t> shared(n);  // bytes shared with the pattern sorted before
    std::size_t longest = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::string_view p = patterns[order[k]];
        shared[k] = k == 0 ? 0 : common_prefix(patterns[order[k - 1]], p);
        longest = std::max(longest, p.size());
    }

    std::vector<std::uint32_t> next_id(longest + 2, 0);  // first free number at each depth
    next_id[1] = 1;
    for (std::uint32_t k = 0; k < n; ++k) {
        for (std::size_t d = shared[k] + 1; d <= patterns[order[k]].size(); ++d) ++next_id[d + 1];
    }
    for (std::size_t d = 1; d + 1 < next_id.size(); ++d) next_id[d + 1] += next_id[d];

    Trie trie;
    trie.states = next_id.back();
    trie.own.assign(trie.states, none);
    trie.in_class.assign(trie.states, 0);
    trie.first_child.assign(trie.states + 1, 0);
    std::vector<std::uint32_t> path(longest + 1, 0);
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::string_view p = patterns[order[k]];
        for (std::size_t d = shared[k]; d < p.size(); ++d) {
            const std::uint32_t id = next_id[d + 1]++;
            path[d + 1] = id;
            trie.in_class[id] = class_of[static_cast<unsigned char>(p[d])];
            ++trie.first_child[path[d] + 1];
        }
        std::uint32_t& own = trie.own[path[p.size()]];
        own = std::min(own, order[k]);
    }
    trie.first_child[0] = 1;
    for (std::uint32_t s = 0; s < trie.states; ++s) trie.first_child[s + 1] += trie.first_child[s];
    return trie;
}

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

    const Trie trie = build_trie(patterns, class_of_);
    states_ = trie.states;
    all_dense_ = std::size_t{states_} * (classes_ + 1) * sizeof(std::uint32_t) <= dense_budget;
    // Wide rows save a multiplication per byte while they stay near the processor; beyond
    // that, rows half as large are worth it.
    const bool large = std::size_t{states_} * (classes_ + 1) * sizeof(std::uint32_t) > narrow_above;
    if (all_dense_ && large && states_ <= narrow_states) {
        link_narrow(trie);
    } else if (all_dense_) {
        link_dense(trie);
    } else {
        // Rows for a quarter of the budget: the hottest states stay in the nearest caches.
        dense_states_ = static_cast<std::uint32_t>(std::clamp<std::size_t>(
            dense_budget / 4 / (std::size_t{classes_} * sizeof(std::uint32_t)), 1, states_));
        link_mixed(trie);
    }
}

// Every state gets a full row. Rows are placed so that the states that recognise a
// pattern come last, and entries hold the target's row offset, ready for scanning.
void SubstringAutomaton::link_dense(const Trie& trie) {
    const std::uint32_t width = classes_ + 1;
    rows_ = std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t{states_} * width);
    std::vector<std::uint32_t> fail(states_, 0), best(states_, none), offset(states_, 0);
    std::vector<std::uint32_t> state_at(states_, 0);  // the state whose row is the i-th
    std::uint32_t low = 1, high = states_;
    // Breadth first: the row of a state's failure link is complete before the state's.
    for (std::uint32_t s = 0; s < states_; ++s) {
        const std::uint32_t begin = trie.first_child[s], end = trie.first_child[s + 1];
        for (std::uint32_t t = begin; t < end; ++t) {
            fail[t] = s == 0 ? 0 : state_at[rows_[offset[fail[s]] + trie.in_class[t]] / width];
            best[t] = std::min(trie.own[t], best[fail[t]]);
            const std::uint32_t at = best[t] == none ? low++ : --high;
            state_at[at] = t;
            offset[t] = at * width;
        }
        std::uint32_t* row = rows_.get() + offset[s];
        if (s == 0) {
            std::fill_n(row, classes_, 0);
        } else {
            std::copy_n(rows_.get() + offset[fail[s]], classes_, row);
        }
        for (std::uint32_t t = begin; t < end; ++t) row[trie.in_class[t]] = offset[t];
        row[classes_] = best[s];
    }
    match_start_ = high * width;
    dense_states_ = states_;
}

// The narrow layout: every state's row holds 16-bit row numbers, and the smallest pattern
// index recognised at each row is kept apart. Built as the wide layout is, breadth first,
// so that a state's failure row is complete before its own.
void SubstringAutomaton::link_narrow(const Trie& trie) {
    const std::size_t width = classes_;
    narrow_ = true;
    narrow_rows_ = std::make_unique_for_overwrite<std::uint16_t[]>(std::size_t{states_} * width);
    narrow_best_ = std::make_unique_for_overwrite<std::uint32_t[]>(states_);
    std::uint16_t* rows = narrow_rows_.get();
    std::vector<std::uint32_t> fail(states_, 0), best(states_, none);
    std::vector<std::uint16_t> row_of(states_, 0);  // the root's row is 0
    std::vector<std::uint32_t> state_at(states_, 0);
    for (std::uint32_t s = 0, placed = 1; s < states_; ++s) {
        const std::uint32_t begin = trie.first_child[s], end = trie.first_child[s + 1];
        for (std::uint32_t t = begin; t < end; ++t) {
            fail[t] = s == 0 ? 0 : state_at[rows[row_of[fail[s]] * width + trie.in_class[t]]];
            best[t] = std::min(trie.own[t], best[fail[t]]);
            row_of[t] = static_cast<std::uint16_t>(placed);
            state_at[placed++] = t;
        }
        std::uint16_t* row = rows + row_of[s] * width;
        if (s == 0) {
            std::fill_n(row, width, 0);
        } else {
            std::copy_n(rows + row_of[fail[s]] * width, width, row);
        }
        for (std::uint32_t t = begin; t < end; ++t) row[trie.in_class[t]] = row_of[t];
        narrow_best_[row_of[s]] = best[s];
    }
    dense_states_ = states_;
}

std::uint32_t SubstringAutomaton::scan_narrow(std::string_view text) const noexcept {
    const std::uint16_t* rows = narrow_rows_.get();
    const std::uint32_t* best = narrow_best_.get();
    const std::uint8_t* class_of = class_of_.data();
    const std::size_t width = classes_;
    std::uint32_t row = 0;
    std::uint32_t found = none;
    for (const char ch : text) {
        row = rows[row * width + class_of[static_cast<unsigned char>(ch)]];
        found = std::min(found, best[row]);
        if (found == 0) break;
    }
    return found;
}

// The first dense_states_ states, the shallowest, get a full row of state numbers; all
// states keep their children and failure links.
void SubstringAutomaton::link_mixed(const Trie& trie) {
    const std::size_t width = classes_;
    rows_ = std::make_unique_for_overwrite<std::uint32_t[]>(dense_states_ * width);
    nodes_.resize(std::size_t{states_} + 1);
    for (std::uint32_t s = 0; s <= states_; ++s) nodes_[s].first_child = trie.first_child[s];
    nodes_[0] = {trie.first_child[0], 0, none, 0};
    // Breadth first: a state's failure link, and its row if it has one, come before its
    // children's.
    for (std::uint32_t s = 0; s < states_; ++s) {
        const std::uint32_t begin = trie.first_child[s], end = trie.first_child[s + 1];
        for (std::uint32_t t = begin; t < end; ++t) {
            Node& node = nodes_[t];
            node.in_class = trie.in_class[t];
            node.fail = s == 0 ? 0 : next_mixed(nodes_[s].fail, node.in_class);
            node.best = std::min(trie.own[t], nodes_[node.fail].best);
        }
        if (s < dense_states_) {
            std::uint32_t* row = rows_.get() + s * width;
            if (s == 0) {
                std::fill_n(row, width, 0);
            } else {
                std::copy_n(rows_.get() + nodes_[s].fail * width, width, row);
            }
            for (std::uint32_t t = begin; t < end; ++t) row[trie.in_class[t]] = t;
        }
    }
}

std::uint32_t SubstringAutomaton::next_mixed(std::uint32_t state, std::uint8_t byte_class) const noexcept {
    for (; state >= dense_states_; state = nodes_[state].fail) {
        const std::uint32_t end = nodes_[state + 1].first_child;
        for (std::uint32_t t = nodes_[state].first_child; t < end && nodes_[t].in_class <= byte_class; ++t) {
            if (nodes_[t].in_class == byte_class) return t;
        }
    }
    return rows_[std::size_t{state} * classes_ + byte_class];
}

std::uint32_t SubstringAutomaton::scan_dense(std::string_view text) const noexcept {
    const std::uint32_t* rows = rows_.get();
    const std::uint8_t* class_of = class_of_.data();
    const std::uint32_t best_column = classes_;
    const std::uint32_t match_start = match_start_;
    std::uint32_t state = 0;
    std::uint32_t found = none;
    for (const char ch : text) {
        state = rows[state + class_of[static_cast<unsigned char>(ch)]];
        if (state >= match_start) {
            found = std::min(found, rows[state + best_column]);
            if (found == 0) break;
        }
    }
    return found;
}

std::uint32_t SubstringAutomaton::scan_mixed(std::string_view text) const noexcept {
    std::uint32_t state = 0;
    std::uint32_t found = none;
    for (const char ch : text) {
        state = next_mixed(state, class_of_[static_cast<unsigned char>(ch)]);
        if (nodes_[state].best < found) {
            found = nodes_[state].best;
            if (found == 0) break;
        }
    }
    return found;
}

}  // namespace lorvane::categorizer
