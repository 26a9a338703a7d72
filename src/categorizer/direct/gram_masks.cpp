// Filling the masks of three-byte runs, one text at a time.
#include "categorizer/direct/gram_masks.hpp"

#include <algorithm>
#include <bit>

namespace lorvane::categorizer::direct {

// Buckets for half the bytes of the block with the most text, and for eight times the
// longest text: a text then sets its bit in at most an eighth of the buckets (about a
// thirtieth in a full block of texts of like length), and a pattern's three runs all
// meet it by chance less than once in 500 texts. Past 2^14 buckets, texts so long hold
// most runs of their letters anyway.
//
// The masks take no more than 64 KiB or eight bytes per byte of text, whichever is more,
// however the text is spread: one long text among many short ones would otherwise give
// every block its many buckets. Fewer buckets only let more texts through to the search.
GramMasks::GramMasks(std::span<const std::string_view> texts) : blocks_((texts.size() + block - 1) / block) {
    std::size_t most = 0, longest = 0, total = 0;
    for (std::size_t k = 0; k < blocks_; ++k) {
        std::size_t bytes = 0;
        for (std::size_t t = k * block; t < std::min(texts.size(), (k + 1) * block); ++t) {
            bytes += texts[t].size();
            longest = std::max(longest, texts[t].size());
        }
        most = std::max(most, bytes);
        total += bytes;
    }
    constexpr std::size_t fewest = 32, most_buckets = std::size_t{1} << 14;
    const std::size_t affordable = std::max<std::size_t>(64 * 1024, 8 * total) / (sizeof(std::uint64_t) * blocks_);
    const std::size_t wanted = std::bit_ceil(std::clamp<std::size_t>(std::max(most / 2, 8 * longest), fewest, most_buckets));
    const std::size_t buckets = std::max(fewest, std::min(wanted, std::bit_floor(std::max<std::size_t>(affordable, 1))));
    shift_ = static_cast<std::uint32_t>(32 - std::countr_zero(buckets));
    masks_.assign(buckets * blocks_, 0);
    for (std::size_t t = 0; t < texts.size(); ++t) {
        const std::string_view text = texts[t];
        if (text.size() < 3) continue;
        std::uint64_t* const column = masks_.data() + t / block;
        const std::uint64_t bit = std::uint64_t{1} << (t % block);
        // Rolled a byte at a time: the gram before the first holds its first two bytes.
        std::uint32_t gram = gram_at(text.data()) << 8 & 0xFFFF00u;
        for (std::size_t i = 2; i < text.size(); ++i) {
            gram = gram >> 8 | std::uint32_t{static_cast<unsigned char>(text[i])} << 16;
            column[bucket(gram) * blocks_] |= bit;
        }
    }
}

}  // namespace lorvane::categorizer::direct
