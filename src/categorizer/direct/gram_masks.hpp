// Which of a few texts may hold a pattern, before any is searched: every run of three
// bytes of every text is hashed to a bucket, and each bucket keeps, for each block of 64
// texts, a mask of the texts that have a run there. A text holding a pattern holds each
// of its runs of three bytes, so the masks of three of the pattern's runs, and-ed, leave
// every text that can hold it and few others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lorvane::categorizer::direct {

// Three bytes from p, the first lowest.
inline std::uint32_t gram_at(const char* p) noexcept {
    return static_cast<unsigned char>(p[0]) | std::uint32_t{static_cast<unsigned char>(p[1])} << 8 |
           std::uint32_t{static_cast<unsigned char>(p[2])} << 16;
}

class GramMasks {
public:
    static constexpr std::size_t block = 64;

    explicit GramMasks(std::span<const std::string_view> texts);

    std::size_t blocks() const noexcept { return blocks_; }

    // The buckets of a pattern's runs: its first, its last and one between.
    struct Probe {
        const std::uint64_t* at[3];
    };
    Probe probe(std::uint32_t a, std::uint32_t b, std::uint32_t c) const noexcept {
        return {{row(a), row(b), row(c)}};
    }
    // The texts of block k (bit j: text 64k + j) that may hold the probed pattern.
    static std::uint64_t candidates(const Probe& probe, std::size_t k) noexcept {
        return probe.at[0][k] & probe.at[1][k] & probe.at[2][k];
    }

private:
    std::uint32_t bucket(std::uint32_t gram) const noexcept { return (gram * 0x9E3779B1u) >> shift_; }
    const std::uint64_t* row(std::uint32_t gram) const noexcept { return masks_.data() + bucket(gram) * blocks_; }

    std::size_t blocks_ = 0;
    std::uint32_t shift_ = 27;
    std::vector<std::uint64_t> masks_;  // a row of `blocks_` masks per bucket
};

}  // namespace lorvane::categorizer::direct
