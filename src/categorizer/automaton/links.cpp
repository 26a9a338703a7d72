// The failure links of a trie, followed breadth first, and the first pattern each state
// recognises.
#include "categorizer/automaton/links.hpp"

#include <algorithm>
#include <memory>

namespace lorvane::categorizer::automaton {
namespace {

// Room for the rows of fail_links' first states, which end most of its walks.
constexpr std::size_t row_bytes = std::size_t{128} << 10;

}  // namespace

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

}  // namespace lorvane::categorizer::automaton
