// Scanning texts with a dense or compact table, several texts side by side. A single scan
// waits for each table lookup before it can start the next, since the next state depends
// on it; lanes over different texts have no such dependence, so their lookups overlap.
// All lanes step together for as many bytes as the shortest has left, with no per-byte
// test of the lengths; a lane whose text ends takes the next text.
//
// States that recognise a pattern are numbered first, in the order of their patterns, so
// a scan keeps the smallest state number it passes and looks its pattern up at the end.
#include <algorithm>
#include <type_traits>

#include "categorizer/automaton.hpp"

namespace lorvane::categorizer {

namespace {

constexpr std::uint32_t none = SubstringAutomaton::none;
// Enough lanes to keep lookups in flight, not so many that their registers spill: a
// compact step has more work around each lookup and takes one more.
template <class Step>
constexpr std::size_t lanes = 5;
template <class Id>
constexpr std::size_t lanes<automaton_detail::CompactStep<Id>> = 6;

// The pattern recognised by the smallest state number a scan passed.
std::uint32_t pattern_of(std::span<const std::uint32_t> best, std::uint32_t smallest) noexcept {
    return smallest < best.size() ? best[smallest] : none;
}

template <class Step>
std::uint32_t scan_one(std::string_view text, const std::uint8_t* class_of, std::uint32_t root,
                       std::span<const std::uint32_t> best, Step step) noexcept {
    std::uint32_t state = root;
    std::uint32_t smallest = none;
    for (const char ch : text) {
        state = step(state, class_of[static_cast<unsigned char>(ch)]);
        smallest = std::min(smallest, state);
        if (smallest == 0) break;  // the first pattern of all
    }
    return pattern_of(best, smallest);
}

// One text being scanned. The lanes are kept as records, not as arrays of each field:
// a compiler then finds no run of neighbouring minimums to do in vector registers, which
// without an unsigned minimum instruction costs more than the plain comparisons.
struct Lane {
    const unsigned char* at;
    std::size_t left;
    std::size_t owner;
    std::uint32_t state;
    std::uint32_t smallest;
};

template <std::size_t lanes, class Step>
void scan_lanes(std::span<const std::string_view> texts, std::span<std::uint32_t> out,
                const std::uint8_t* class_of, std::uint32_t root, std::span<const std::uint32_t> best,
                Step step) noexcept {
    Lane lane[lanes];
    std::size_t next_text = 0;
    // Starts a lane on the next non-empty text; false when none is left.
    const auto start = [&](Lane& l) {
        for (; next_text < texts.size(); ++next_text) {
            if (texts[next_text].empty()) {
                out[next_text] = none;
                continue;
            }
            l = {reinterpret_cast<const unsigned char*>(texts[next_text].data()), texts[next_text].size(),
                 next_text++, root, none};
            return true;
        }
        return false;
    };
    // A lane to the end of its text, alone.
    const auto finish = [&](Lane& l) {
        for (std::size_t i = 0; i < l.left; ++i) {
            l.state = step(l.state, class_of[l.at[i]]);
            l.smallest = std::min(l.smallest, l.state);
        }
        out[l.owner] = pattern_of(best, l.smallest);
        l.left = 0;
    };

    std::size_t live = 0;
    while (live < lanes && start(lane[live])) ++live;
    while (live == lanes) {
        std::size_t steps = lane[0].left;
        for (const Lane& l : lane) steps = std::min(steps, l.left);
        for (std::size_t i = 0; i < steps; ++i) {
#pragma GCC unroll 8
            for (Lane& l : lane) {
                l.state = step(l.state, class_of[l.at[i]]);
                l.smallest = std::min(l.smallest, l.state);
            }
        }
        for (Lane& l : lane) {
            l.at += steps;
            l.left -= steps;
        }
        for (Lane& l : lane) {
            if (l.left != 0) continue;
            out[l.owner] = pattern_of(best, l.smallest);
            if (!start(l)) {
                // No text left for this lane: the others finish one at a time (a later
                // lane may have ended in this round too, with no bytes left).
                for (Lane& other : lane) {
                    if (&other != &l) finish(other);
                }
                live = 0;
                break;
            }
        }
    }
    // Fewer texts than lanes from the start.
    for (std::size_t k = 0; k < live; ++k) finish(lane[k]);
}

}  // namespace

template <class Visit>
decltype(auto) SubstringAutomaton::with_table(Visit visit) const noexcept {
    const auto pick = [&](const auto& table) {
        using Id = typename std::remove_cvref_t<decltype(table)>::Id;
        return layout_ == Layout::dense
                   ? visit(table, automaton_detail::DenseStep<Id>{table.rows.get(), table.width})
                   : visit(table, automaton_detail::CompactStep<Id>{table.rows.get(), table.nodes.data()});
    };
    return narrow_ ? pick(narrow_table_) : pick(wide_table_);
}

std::uint32_t SubstringAutomaton::first_match(std::string_view text) const noexcept {
    if (layout_ == Layout::linked) return linked_.first_match(text, class_of_.data());
    return with_table([&](const auto& table, auto step) {
        return scan_one(text, class_of_.data(), table.root, table.best, step);
    });
}

void SubstringAutomaton::first_matches(std::span<const std::string_view> texts,
                                       std::span<std::uint32_t> out) const noexcept {
    if (layout_ == Layout::linked) {
        for (std::size_t i = 0; i < texts.size(); ++i) out[i] = linked_.first_match(texts[i], class_of_.data());
        return;
    }
    with_table([&](const auto& table, auto step) {
        scan_lanes<lanes<decltype(step)>>(texts, out, class_of_.data(), table.root, table.best, step);
    });
}

}  // namespace lorvane::categorizer
