// An open-addressing index for entries that the caller keeps in its own dense vector,
// numbered from 0 in the order they are added: each slot holds an entry number and 32
// bits of the entry's hash. Linear probing; the slot array doubles when half full, so
// lookups stay short and growth stays linear. The index keeps no hashes of its own: to
// grow, it asks the caller for the hash of each entry again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lorvane::categorizer {

class FlatIndex {
public:
    // Sized so that `expected` entries fit without growing.
    explicit FlatIndex(std::size_t expected) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.resize(capacity);
    }

    // Announces a lookup of this hash, so that its slot's memory is fetched meanwhile.
    void prefetch(std::uint64_t hash) const noexcept { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }

    // Where a lookup ended: at the entry found, or at the free slot where the key goes.
    struct Lookup {
        static constexpr std::uint32_t absent = UINT32_MAX;

        std::uint32_t entry;  // or absent
        std::size_t slot;

        bool found() const noexcept { return entry != absent; }
    };

    // The entry with this hash for which is_key(number) holds, if any.
    template <class IsKey>
    [[gnu::always_inline]] Lookup find(std::uint64_t hash, IsKey&& is_key) const {
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot slot = slots_[i];
            if (slot.entry_plus_one == 0) return {Lookup::absent, i};
            if (slot.tag == tag && is_key(slot.entry_plus_one - 1)) return {slot.entry_plus_one - 1, i};
        }
    }

    // Indexes entry number size(), which the caller has just appended to its storage,
    // where `lookup` of its hash found nothing, with nothing added since. hash_of(number)
    // is the hash of an entry the caller holds, asked for when the index grows.
    template <class HashOf>
    void add(const Lookup& lookup, std::uint64_t hash, HashOf&& hash_of) {
        slots_[lookup.slot] = {static_cast<std::uint32_t>(++count_), static_cast<std::uint32_t>(hash >> 32)};
        if (count_ * 2 > slots_.size()) grow(hash_of);
    }

    std::size_t size() const noexcept { return count_; }

    // The most memory the slots take while `more` entries are added: an array that
    // doubles is held next to the one it replaces until it is filled.
    std::size_t bytes_while_adding(std::size_t more) const noexcept {
        const std::size_t entries = count_ + more;
        std::size_t slots = slots_.size();
        while (entries * 2 > slots) slots *= 2;
        const std::size_t held = slots == slots_.size() ? slots : slots + slots / 2;
        return held * sizeof(Slot);
    }

private:
    struct Slot {
        std::uint32_t entry_plus_one = 0;
        std::uint32_t tag = 0;
    };

    // Doubles the slot array and places every entry again.
    template <class HashOf>
    [[gnu::noinline]] void grow(HashOf& hash_of) {
        slots_.assign(slots_.size() * 2, Slot{});
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t e = 0; e < count_; ++e) {
            const std::uint64_t h = hash_of(static_cast<std::uint32_t>(e));
            std::size_t i = h & mask;
            while (slots_[i].entry_plus_one != 0) i = (i + 1) & mask;
            slots_[i] = {static_cast<std::uint32_t>(e + 1), static_cast<std::uint32_t>(h >> 32)};
        }
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

}  // namespace lorvane::categorizer
