// Scanning many texts with one dense automaton, several side by side. A single scan waits
// for each table lookup before it can start the next, since the next row depends on it;
// lanes over different texts have no such dependence, so their lookups overlap. All lanes
// step together for as many bytes as the shortest has left, with no per-byte test of the
// lengths; a lane whose text ends takes the next text.
#include <algorithm>

#include "categorizer/automaton.hpp"

namespace lorvane::categorizer {

void SubstringAutomaton::first_matches(std::span<const std::string_view> texts,
                                       std::span<std::uint32_t> out) const noexcept {
    if (all_dense_) {
        scan_dense_lanes(texts, out);
        return;
    }
    for (std::size_t i = 0; i < texts.size(); ++i) out[i] = scan_mixed(texts[i]);
}

void SubstringAutomaton::scan_dense_lanes(std::span<const std::string_view> texts,
                                          std::span<std::uint32_t> out) const noexcept {
    constexpr std::size_t lanes = 4;
    const std::uint32_t* rows = rows_.get();
    const std::uint8_t* class_of = class_of_.data();
    const std::uint32_t best_column = classes_;
    const std::uint32_t match_start = match_start_;

    const unsigned char* at[lanes];
    std::size_t left[lanes];
    std::uint32_t state[lanes];
    std::uint32_t found[lanes];
    std::size_t owner[lanes];
    std::size_t next = 0;
    // Starts lane k on the next non-empty text; false when none is left.
    const auto start = [&](std::size_t k) {
        for (; next < texts.size(); ++next) {
            if (texts[next].empty()) {
                out[next] = none;
                continue;
            }
            at[k] = reinterpret_cast<const unsigned char*>(texts[next].data());
            left[k] = texts[next].size();
            state[k] = 0;
            found[k] = none;
            owner[k] = next++;
            return true;
        }
        return false;
    };

    std::size_t live = 0;
    while (live < lanes && start(live)) ++live;
    while (live == lanes) {
        const std::size_t steps = *std::min_element(left, left + lanes);
        for (std::size_t i = 0; i < steps; ++i) {
#pragma GCC unroll 4
            for (std::size_t k = 0; k < lanes; ++k) {
                // Every row ends with its smallest pattern index, `none` where no
                // pattern ends: read unconditionally, it costs no branch.
                const std::uint32_t s = rows[state[k] + class_of[at[k][i]]];
                state[k] = s;
                found[k] = std::min(found[k], rows[s + best_column]);
            }
        }
        for (std::size_t k = 0; k < lanes; ++k) {
            at[k] += steps;
            left[k] -= steps;
        }
        for (std::size_t k = 0; k < lanes; ++k) {
            if (left[k] == 0) {
                out[owner[k]] = found[k];
                if (!start(k)) {
                    // No text left for this lane: the others finish one at a time (a
                    // later lane may have ended in this round too, with no bytes left).
                    for (std::size_t j = 0; j < lanes; ++j) {
                        if (j == k) continue;
                        std::uint32_t s = state[j];
                        for (std::size_t i = 0; i < left[j]; ++i) {
                            s = rows[s + class_of[at[j][i]]];
                            if (s >= match_start) found[j] = std::min(found[j], rows[s + best_column]);
                        }
                        out[owner[j]] = found[j];
                        left[j] = 0;
                    }
                    live = 0;
                    break;
                }
            }
        }
    }
    // Fewer texts than lanes from the start.
    for (std::size_t k = 0; k < live; ++k) {
        out[owner[k]] = scan_dense(std::string_view(reinterpret_cast<const char*>(at[k]), left[k]));
    }
}

}  // namespace lorvane::categorizer
