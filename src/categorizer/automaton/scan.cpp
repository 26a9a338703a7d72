// The one scan of a text through the automaton, written once over a layout's step and
// instantiated for each layout. A step gives the next state, and the rank of a state,
// which the scan keeps the smallest of: rank 0 is the first pattern of all, and the
// smallest rank tells the first pattern that occurs.
//
// Several texts side by side, for the layouts that want it: a single scan waits for each
// table lookup before it can start the next, since the next state depends on it; lanes
// over different texts have no such dependence, so their lookups overlap. All lanes step
// together for as many bytes as the shortest has left, with no per-byte test of the
// lengths; a lane whose text ends takes the next text.
#include <algorithm>

#include "categorizer/automaton/automaton.hpp"

namespace lorvane::categorizer::automaton {
namespace {

template <class Step>
std::uint32_t scan_one(std::string_view text, const std::uint8_t* class_of, Step step) noexcept {
    std::uint32_t state = step.root;
    std::uint32_t smallest = none;
    for (const char ch : text) {
        state = step(state, class_of[static_cast<unsigned char>(ch)]);
        smallest = std::min(smallest, step.rank(state));
        if (smallest == 0) break;  // the first pattern of all
    }
    return step.pattern(smallest);
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
                const std::uint8_t* class_of, Step step) noexcept {
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
                 next_text++, step.root, none};
            return true;
        }
        return false;
    };
    // A lane to the end of its text, alone.
    const auto finish = [&](Lane& l) {
        for (std::size_t i = 0; i < l.left; ++i) {
            l.state = step(l.state, class_of[l.at[i]]);
            l.smallest = std::min(l.smallest, step.rank(l.state));
        }
        out[l.owner] = step.pattern(l.smallest);
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
                l.smallest = std::min(l.smallest, step.rank(l.state));
            }
        }
        for (Lane& l : lane) {
            l.at += steps;
            l.left -= steps;
        }
        for (Lane& l : lane) {
            if (l.left != 0) continue;
            out[l.owner] = step.pattern(l.smallest);
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

std::uint32_t SubstringAutomaton::first_match(std::string_view text) const noexcept {
    return with_layout([&](const auto& layout) { return scan_one(text, class_of_.data(), layout.step()); });
}

void SubstringAutomaton::first_matches(std::span<const std::string_view> texts,
                                       std::span<std::uint32_t> out) const noexcept {
    with_layout([&](const auto& layout) {
        const auto step = layout.step();
        constexpr std::size_t lanes = decltype(step)::lanes;
        if constexpr (lanes == 1) {
            for (std::size_t i = 0; i < texts.size(); ++i) out[i] = scan_one(texts[i], class_of_.data(), step);
        } else {
            scan_lanes<lanes>(texts, out, class_of_.data(), step);
        }
    });
}

}  // namespace lorvane::categorizer::automaton
