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
// Enough to keep the lookups of a compact table, which has more work around each, in
// flight; a dense table gains a little from them too.
constexpr std::size_t lanes = 6;

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

template <std::size_t lanes, class Step>
void scan_lanes(std::span<const std::string_view> texts, std::span<std::uint32_t> out,
                const std::uint8_t* class_of, std::uint32_t root, std::span<const std::uint32_t> best,
                Step step) noexcept {
    const unsigned char* at[lanes];
    std::size_t left[lanes];
    std::uint32_t state[lanes];
    std::uint32_t smallest[lanes];
    std::size_t owner[lanes];
    std::size_t next_text = 0;
    // Starts lane k on the next non-empty text; false when none is left.
    const auto start = [&](std::size_t k) {
        for (; next_text < texts.size(); ++next_text) {
            if (texts[next_text].empty()) {
                out[next_text] = none;
                continue;
            }
            at[k] = reinterpret_cast<const unsigned char*>(texts[next_text].data());
            left[k] = texts[next_text].size();
            state[k] = root;
            smallest[k] = none;
            owner[k] = next_text++;
            return true;
        }
        return false;
    };
    // Lane k to the end of its text, alone.
    const auto finish = [&](std::size_t k) {
        std::uint32_t s = state[k];
        for (std::size_t i = 0; i < left[k]; ++i) {
            s = step(s, class_of[at[k][i]]);
            smallest[k] = std::min(smallest[k], s);
        }
        out[owner[k]] = pattern_of(best, smallest[k]);
        left[k] = 0;
    };

    std::size_t live = 0;
    while (live < lanes && start(live)) ++live;
    while (live == lanes) {
        const std::size_t steps = *std::min_element(left, left + lanes);
        for (std::size_t i = 0; i < steps; ++i) {
#pragma GCC unroll 8
            for (std::size_t k = 0; k < lanes; ++k) {
                const std::uint32_t s = step(state[k], class_of[at[k][i]]);
                state[k] = s;
                smallest[k] = std::min(smallest[k], s);
            }
        }
        for (std::size_t k = 0; k < lanes; ++k) {
            at[k] += steps;
            left[k] -= steps;
        }
        for (std::size_t k = 0; k < lanes; ++k) {
            if (left[k] != 0) continue;
            out[owner[k]] = pattern_of(best, smallest[k]);
            if (!start(k)) {
                // No text left for this lane: the others finish one at a time (a later
                // lane may have ended in this round too, with no bytes left).
                for (std::size_t j = 0; j < lanes; ++j) {
                    if (j != k) finish(j);
                }
                live = 0;
                break;
            }
        }
    }
    // Fewer texts than lanes from the start.
    for (std::size_t k = 0; k < live; ++k) finish(k);
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
    if (layout_ == Layout::linked) return scan_linked(text);
    return with_table([&](const auto& table, auto step) {
        return scan_one(text, class_of_.data(), table.root, table.best, step);
    });
}

void SubstringAutomaton::first_matches(std::span<const std::string_view> texts,
                                       std::span<std::uint32_t> out) const noexcept {
    if (layout_ == Layout::linked) {
        for (std::size_t i = 0; i < texts.size(); ++i) out[i] = scan_linked(texts[i]);
        return;
    }
    with_table([&](const auto& table, auto step) {
        scan_lanes<lanes>(texts, out, class_of_.data(), table.root, table.best, step);
    });
}

}  // namespace lorvane::categorizer
