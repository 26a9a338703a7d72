// Scanning many texts with one dense automaton, several side by side. A single scan waits
// for each table lookup before it can start the next, since the next row depends on it;
// lanes over different texts have no such dependence, so their lookups overlap. All lanes
// step together for as many bytes as the shortest has left, with no per-byte test of the
// lengths; a lane whose text ends takes the next text.
#include <algorithm>

#include "categorizer/automaton.hpp"

namespace lorvane::categorizer {

namespace {

// `next(state, byte)` is the state after a byte, `best(state)` the smallest pattern index
// recognised at a state (none where no pattern ends): read at every byte, it costs no
// branch.
template <class Next, class Best>
void scan_lanes(std::span<const std::string_view> texts, std::span<std::uint32_t> out, Next next,
                Best best) noexcept {
    constexpr std::uint32_t none = SubstringAutomaton::none;
    constexpr std::size_t lanes = 4;
    const unsigned char* at[lanes];
    std::size_t left[lanes];
    std::uint32_t state[lanes];
    std::uint32_t found[lanes];
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
            state[k] = 0;
            found[k] = none;
            owner[k] = next_text++;
            return true;
        }
        return false;
    };
    // Lane k to the end of its text, alone.
    const auto finish = [&](std::size_t k) {
        std::uint32_t s = state[k];
        for (std::size_t i = 0; i < left[k]; ++i) {
            s = next(s, at[k][i]);
            found[k] = std::min(found[k], best(s));
        }
        out[owner[k]] = found[k];
        left[k] = 0;
    };

    std::size_t live = 0;
    while (live < lanes && start(live)) ++live;
    while (live == lanes) {
        const std::size_t steps = *std::min_element(left, left + lanes);
        for (std::size_t i = 0; i < steps; ++i) {
#pragma GCC unroll 4
            for (std::size_t k = 0; k < lanes; ++k) {
                const std::uint32_t s = next(state[k], at[k][i]);
                state[k] = s;
                found[k] = std::min(found[k], best(s));
            }
        }
        for (std::size_t k = 0; k < lanes; ++k) {
            at[k] += steps;
            left[k] -= steps;
        }
        for (std::size_t k = 0; k < lanes; ++k) {
            if (left[k] != 0) continue;
            out[owner[k]] = found[k];
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

void SubstringAutomaton::first_matches(std::span<const std::string_view> texts,
                                       std::span<std::uint32_t> out) const noexcept {
    const std::uint8_t* class_of = class_of_.data();
    if (narrow_) {
        const std::uint16_t* rows = narrow_rows_.get();
        const std::uint32_t* best = narrow_best_.get();
        const std::size_t width = classes_;
        scan_lanes(
            texts, out,
            [=](std::uint32_t s, unsigned char byte) { return std::uint32_t{rows[s * width + class_of[byte]]}; },
            [=](std::uint32_t s) { return best[s]; });
    } else if (all_dense_) {
        const std::uint32_t* rows = rows_.get();
        const std::uint32_t best_column = classes_;
        scan_lanes(
            texts, out, [=](std::uint32_t s, unsigned char byte) { return rows[s + class_of[byte]]; },
            [=](std::uint32_t s) { return rows[s + best_column]; });
    } else {
        for (std::size_t i = 0; i < texts.size(); ++i) out[i] = scan_mixed(texts[i]);
    }
}

}  // namespace lorvane::categorizer
