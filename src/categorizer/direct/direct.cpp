// Looking for the patterns in rule order, each in the texts still undecided.
#include "categorizer/direct/direct.hpp"

#include <algorithm>
#include <bit>
#include <string>
#include <utility>
#include <vector>

#include "categorizer/direct/gram_masks.hpp"
#include "categorizer/direct/substring.hpp"
#include "categorizer/text/lowercase.hpp"
#include "common/bytes.hpp"

namespace lorvane::categorizer::direct {
namespace {

// The three bytes at p, ASCII capitals read as small letters.
std::uint32_t lowered_gram_at(const char* p) noexcept {
    return static_cast<std::uint32_t>(bytes::lower_ascii8(gram_at(p)));
}

}  // namespace

bool first_rules(std::span<const std::string_view> patterns, std::span<const std::string_view> texts,
                 std::span<std::uint32_t> out, std::size_t budget) {
    const GramMasks masks(texts);
    // Bit j of undecided[k]: text 64k + j is still undecided.
    std::vector<std::uint64_t> undecided(masks.blocks(), ~std::uint64_t{0});
    if (texts.size() % GramMasks::block != 0) {
        undecided.back() = (std::uint64_t{1} << (texts.size() % GramMasks::block)) - 1;
    }
    std::size_t left = texts.size();
    std::string lowered;  // the lowercase of a pattern that is not its own
    for (std::size_t i = 0; i < patterns.size() && left != 0; ++i) {
        const std::string_view written = patterns[i];
        const bool ascii = bytes::is_ascii(written);
        std::string_view pattern = written;
        const auto lower = [&] {
            lowered.clear();
            lowercase_append(written, lowered);
            pattern = lowered;
        };
        if (!ascii) lower();
        const std::size_t m = pattern.size();
        GramMasks::Probe probe{};
        if (m >= 3) {
            const char* p = pattern.data();
            // An ASCII pattern's runs are read through its capitals, lowercased or not.
            const auto gram = [&](std::size_t at) { return ascii ? lowered_gram_at(p + at) : gram_at(p + at); };
            probe = masks.probe(gram(0), gram((m - 3) / 2), gram(m - 3));
        }
        bool lowercase = ascii;  // an ASCII pattern is lowercased once some text may hold it
        for (std::size_t k = 0; k < masks.blocks(); ++k) {
            std::uint64_t maybe = m >= 3 ? GramMasks::candidates(probe, k) & undecided[k] : undecided[k];
            if (maybe == 0) continue;
            if (std::exchange(lowercase, false) && has_ascii_capital(written)) lower();
            for (; maybe != 0; maybe &= maybe - 1) {
                const std::size_t t = k * GramMasks::block + static_cast<std::size_t>(std::countr_zero(maybe));
                if (texts[t].size() > budget) return false;
                budget -= texts[t].size();
                const Search found = find(texts[t], pattern);
                if (found == Search::over_budget) return false;
                if (found == Search::absent) continue;
                out[t] = static_cast<std::uint32_t>(i);
                undecided[k] &= ~(std::uint64_t{1} << (t % GramMasks::block));
                --left;
            }
        }
    }
    return true;
}

}  // namespace lorvane::categorizer::direct
