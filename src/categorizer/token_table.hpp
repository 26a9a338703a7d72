// The distinct tokens of one derivation call with their counters: a dense vector of
// 32-byte entries in first-seen order, found through a FlatIndex. Tokens of up to kInlineBytes bytes live in their entry,
// so a lookup of one touches a slot and an entry and nothing else; longer ones are
// copied once into a side buffer. Lookups can be announced ahead (prefetch_slot) so
// that the memory of many of them is fetched at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/flat_index.hpp"
#include "categorizer/seeded_hash.hpp"
#include "common/bytes.hpp"

namespace lorvane::categorizer {

// A token's first kInlineBytes bytes, zero-padded, and its size, as two words: equal
// keys and, for longer tokens, equal bytes beyond the first ones mean equal tokens.
struct TokenKey {
    std::uint64_t head;
    std::uint64_t tail;  // bytes 8..11, then the size, saturated at 32 bits

    bool operator==(const TokenKey&) const = default;
};

inline constexpr std::size_t kInlineBytes = 12;

// The key of the token at p; 16 bytes from p must be readable. Sizes past 32 bits
// saturate: such tokens are told apart by their bytes.
inline TokenKey token_key(const char* p, std::size_t size) noexcept {
    using bytes::first_bytes;
    const auto size32 = static_cast<std::uint32_t>(size < UINT32_MAX ? size : UINT32_MAX);
    const std::uint64_t head = first_bytes(bytes::load8(p), size);
    const std::uint32_t middle = size <= 8 ? 0 : first_bytes(bytes::load4(p + 8), size - 8);
    // Bytes 8..11 of the key are the middle, bytes 12..15 the size, as in an Entry.
    return {head, middle | (std::uint64_t{size32} << 32)};
}

class TokenTable {
public:
    struct Entry {
        // The token's key as words load it: a token of up to kInlineBytes bytes,
        // zero-padded, then its size; of a longer one, its first kSpillAt bytes, where
        // its record lies in the side buffer, then its size (saturated at 32 bits).
        char text[kInlineBytes + 4];
        std::uint32_t global;     // narrations containing the token
        std::uint32_t last_seen;  // the narration that counted it last
        std::uint32_t group;      // the one group that can hold 80 % of those narrations
        std::uint32_t votes;      // the caller's count for that group

        TokenKey key() const noexcept { return {bytes::load8(text), bytes::load8(text + 8)}; }
        std::uint32_t size32() const noexcept { return bytes::load4(text + kInlineBytes); }
    };
    static_assert(sizeof(Entry) == 32);

    TokenTable(std::uint64_t seed, std::size_t expected)
        : seed_(seed), lane_(detail::fold_multiply(seed ^ detail::kHashK2, detail::kHashK0)), index_(expected) {}

    // Address space only: pages of the entries are touched as entries are added.
    void reserve(std::size_t entries) { entries_.reserve(entries); }

    std::uint64_t hash(std::string_view token, TokenKey key) const noexcept {
        if (token.size() > kInlineBytes) return hash_bytes(token, seed_);
        // One 128-bit product of the two seeded words, folded: the size is in the tail.
        return detail::fold_multiply(key.head ^ seed_ ^ detail::kHashK1, key.tail ^ lane_);
    }

    void prefetch_slot(std::uint64_t hash) const noexcept { index_.prefetch(hash); }

    // The entry of the token, added with zero counts if new. Entries are numbered from
    // 0 in the order they are added.
    Entry& find_or_add(std::string_view token, TokenKey key, std::uint64_t hash) {
        const FlatIndex::Lookup found = index_.find(hash, [&](std::uint32_t e) {
            const Entry& entry = entries_[e];
            return token.size() <= kInlineBytes ? entry.key() == key : holds_long(entry, token);
        });
        if (found.found()) return entries_[found.entry];
        Entry& entry = entries_.emplace_back();
        bytes::store8(entry.text, key.head);
        bytes::store8(entry.text + 8, key.tail);
        if (token.size() > kInlineBytes) {
            bytes::store8(entry.text + kSpillAt, spill_.size());
            char size[8];
            bytes::store8(size, token.size());
            spill_.append(size, 8);
            spill_.append(token);
        }
        entry.global = entry.last_seen = entry.group = entry.votes = 0;
        index_.add(found, hash, [&](std::uint32_t e) { return this->hash(text(entries_[e]), entries_[e].key()); });
        return entries_.back();
    }

    std::string_view text(const Entry& entry) const noexcept {
        if (entry.size32() <= kInlineBytes) return {entry.text, entry.size32()};
        const std::uint64_t at = bytes::load8(entry.text + kSpillAt);
        return {spill_.data() + at + 8, bytes::load8(spill_.data() + at)};
    }

    std::size_t size() const noexcept { return entries_.size(); }
    // The most memory the table holds while `more` entries are added, long tokens aside:
    // its slots, its entries and the long tokens it has. A slot array that doubles is
    // held next to the one it replaces until it is filled.
    std::size_t bytes_while_adding(std::size_t more) const noexcept {
        return index_.bytes_while_adding(more) + (entries_.size() + more) * sizeof(Entry) + spill_.capacity();
    }
    Entry& operator[](std::size_t number) noexcept { return entries_[number]; }
    const Entry& operator[](std::size_t number) const noexcept { return entries_[number]; }
    std::uint32_t number(const Entry& entry) const noexcept {
        return static_cast<std::uint32_t>(&entry - entries_.data());
    }

private:
    static constexpr std::size_t kSpillAt = 4;

    // Whether the entry holds `token`, longer than kInlineBytes: the same size and first
    // bytes, then the same bytes in the side buffer.
    bool holds_long(const Entry& entry, std::string_view token) const noexcept {
        const auto size32 = static_cast<std::uint32_t>(token.size() < UINT32_MAX ? token.size() : UINT32_MAX);
        return entry.size32() == size32 && std::memcmp(entry.text, token.data(), kSpillAt) == 0 && text(entry) == token;
    }

    std::uint64_t seed_;
    std::uint64_t lane_;  // the seed as mixed into a key's tail
    FlatIndex index_;
    std::vector<Entry> entries_;
    std::string spill_;  // per token longer than kInlineBytes, its 8-byte size and its bytes
};

}  // namespace lorvane::categorizer
