// An open-addressing index for entries that the caller keeps in its own dense vector:
// each slot holds an entry number and 32 bits of the entry's hash. Linear probing; the
// slot array doubles when half full, so lookups stay short and growth stays linear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace lorvane::categorizer {

class FlatIndex {
public:
    // Sized so that `expected` entries fit without growing.
    explicit FlatIndex(std::size_t expected) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.resize(capacity);
        hashes_.reserve(expected);
    }

    // The number of the entry with this hash for which is_key(number) holds. When there
    // is none, the key becomes entry number size() (the caller appends it to its own
    // storage) and the second member is true.
    template <class IsKey>
    std::pair<std::uint32_t, bool> insert(std::uint64_t hash, IsKey&& is_key) {
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.entry_plus_one == 0) break;
            if (slot.tag == tag && is_key(slot.entry_plus_one - 1)) return {slot.entry_plus_one - 1, false};
        }
        const auto entry = static_cast<std::uint32_t>(hashes_.size());
        hashes_.push_back(hash);
        if (hashes_.size() * 2 > slots_.size()) {
            grow();
        } else {
            place(entry, hash);
        }
        return {entry, true};
    }

    std::size_t size() const noexcept { return hashes_.size(); }

private:
    struct Slot {
        std::uint32_t entry_plus_one = 0;
        std::uint32_t tag = 0;
    };

    void place(std::uint32_t entry, std::uint64_t hash) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash & mask;
        while (slots_[i].entry_plus_one != 0) i = (i + 1) & mask;
        slots_[i] = {entry + 1, static_cast<std::uint32_t>(hash >> 32)};
    }

    // Doubles the slot array and places every entry again, the newest included.
    void grow() {
        slots_.assign(slots_.size() * 2, Slot{});
        for (std::size_t e = 0; e < hashes_.size(); ++e) place(static_cast<std::uint32_t>(e), hashes_[e]);
    }

    std::vector<Slot> slots_;
    std::vector<std::uint64_t> hashes_;  // per entry, to place them again when growing
};

}  // namespace lorvane::categorizer
