// Tokens of a few narrations waiting to be counted: the lowercased narrations back to
// back, and per token where it lies, its key and hash, and the narration and group it
// belongs to. Counting tokens a batch at a time lets the table fetch the memory of the
// next lookups while it does this one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/lowercase.hpp"
#include "categorizer/token_split.hpp"
#include "categorizer/token_table.hpp"

namespace lorvane::categorizer {

class TokenBatch {
public:
    struct Pending {
        TokenKey key;
        std::uint64_t hash;
        std::size_t offset;  // into the batch's text
        std::size_t size;
        std::uint32_t narration;
        std::uint32_t group;
    };

    explicit TokenBatch(const TokenTable& table) : table_(table), text_(kInitialText, '\0') {}

    std::size_t size() const noexcept { return count_; }
    std::span<const Pending> tokens() const noexcept { return {pending_.get(), count_}; }
    std::string_view token(const Pending& t) const noexcept { return {text_.data() + t.offset, t.size}; }

    // Lowercases the narration into the batch and adds its tokens, repeats included.
    void add(std::string_view narration, std::uint32_t number, std::uint32_t group) {
        make_room(narration.size());
        const std::size_t begin = used_;
        auto add_token = [&](std::size_t at, std::size_t size) {
            const char* const token = text_.data() + begin + at;
            const TokenKey key = token_key(token, size);
            pending_[count_++] = {key, table_.hash({token, size}, key), begin + at, size, number, group};
        };
        const std::size_t before = count_;
        if (lower_and_split(narration, text_.data() + begin, add_token)) {
            used_ += narration.size();
            return;
        }
        count_ = before;
        wide_.clear();
        lowercase_append(narration, wide_);
        make_room(wide_.size());
        std::memcpy(text_.data() + begin, wide_.data(), wide_.size());
        split_lowered(std::string_view(text_.data() + begin, wide_.size()), add_token);
        used_ += wide_.size();
    }

    void clear() noexcept {
        used_ = 0;
        count_ = 0;
    }

private:
    static constexpr std::size_t kInitialText = 1 << 14;
    // Past the text in use: 16 bytes that lower_and_split may write, and 16 that
    // token_key may read from the start of the last token.
    static constexpr std::size_t kSlack = 32;

    // Room for a narration whose lowercase has `bytes` bytes, and for its tokens: each
    // but the last is followed by a separator.
    void make_room(std::size_t bytes) {
        const std::size_t needed = used_ + bytes + kSlack;
        if (needed > text_.size()) text_.resize(std::max(needed, 2 * text_.size()));
        const std::size_t tokens = count_ + (bytes + 1) / (kMinTokenBytes + 1);
        if (tokens > capacity_) {
            const std::size_t capacity = std::max(tokens, 2 * capacity_);
            auto grown = std::make_unique_for_overwrite<Pending[]>(capacity);
            std::copy(pending_.get(), pending_.get() + count_, grown.get());
            pending_ = std::move(grown);
            capacity_ = capacity;
        }
    }

    const TokenTable& table_;
    std::string text_;  // all of it in use as storage; used_ bytes hold narrations
    std::size_t used_ = 0;
    std::string wide_;  // the lowercase of a narration that lower_and_split gives up on
    std::unique_ptr<Pending[]> pending_;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace lorvane::categorizer
