// A seeded hash of byte strings for the working tables of one call, and the seed of a
// call. The seed differs from call to call (stack address and clock), so no input can be
// crafted ahead of time to collide in the tables.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "common/bytes.hpp"

namespace lorvane::categorizer {

namespace detail {

__extension__ typedef unsigned __int128 HashWide;

inline constexpr std::uint64_t kHashK0 = 0x9E3779B97F4A7C15u;
inline constexpr std::uint64_t kHashK1 = 0xD1B54A32D192ED03u;
inline constexpr std::uint64_t kHashK2 = 0x8CB92BA72F3D8DD7u;

// The 128-bit product of a and b, its halves folded together.
inline std::uint64_t fold_multiply(std::uint64_t a, std::uint64_t b) noexcept {
    const HashWide product = static_cast<HashWide>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

}  // namespace detail

// One multiplication per 16 bytes; the length enters last. Short texts are read with a
// few loads that together cover every byte (overlapping where the length is not a
// multiple of the load), so no byte is read outside the text.
inline std::uint64_t hash_bytes(std::string_view bytes, std::uint64_t seed) noexcept {
    using bytes::load4;
    using bytes::load8;
    using detail::fold_multiply;
    const std::uint64_t lane = fold_multiply(seed ^ detail::kHashK0, detail::kHashK2);
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    std::uint64_t h = seed;
    std::uint64_t a, b;
    if (n <= 16) {
        if (n >= 8) {
            a = load8(p);
            b = load8(p + n - 8);
        } else if (n >= 4) {
            a = load4(p);
            b = load4(p + n - 4);
        } else if (n > 0) {
            const auto byte = [&](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
            a = (byte(0) << 16) | (byte(n / 2) << 8) | byte(n - 1);
            b = 0;
        } else {
            a = b = 0;
        }
    } else {
        std::size_t left = n;
        for (; left > 16; p += 16, left -= 16) h = fold_multiply(load8(p) ^ h ^ detail::kHashK1, load8(p + 8) ^ lane);
        a = load8(p + left - 16);
        b = load8(p + left - 8);
    }
    h = fold_multiply(a ^ h ^ detail::kHashK1, b ^ lane);
    return fold_multiply(h ^ detail::kHashK2, n ^ lane ^ detail::kHashK0);
}

// A fresh seed for one call, taken from where the caller's frame lies and the time.
inline std::uint64_t call_seed() noexcept {
    const int marker = 0;
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&marker));
    const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return detail::fold_multiply(address ^ detail::kHashK0, ticks ^ detail::kHashK1);
}

}  // namespace lorvane::categorizer
