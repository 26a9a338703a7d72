// Tokens of a few narrations waiting to be counted: the lowercased narrations back to
// back, and per token where it lies, its key and hash, and the narration and group it
// belongs to. Counting tokens a batch at a time lets the table fetch the memory of the
// next lookups while it does this one. A narration with more tokens than a batch holds
// is counted a batch at a time, so that the batch never holds more than its own text
// and a batch of tokens.
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

#include "categorizer/text/lowercase.hpp"
#include "categorizer/text/token_split.hpp"
#include "categorizer/token_table.hpp"

namespace lorvane::categorizer {

// Which tokens a counting pass takes: those whose hash, mixed again, leaves `residue`
// modulo `modulus` (a power of two). Splitting a share into `k` shares of modulus
// modulus * k divides its tokens among them; the share of modulus 1 takes every token.
struct TokenShare {
    std::uint64_t residue = 0;
    std::uint64_t modulus = 1;

    bool holds(std::uint64_t hash) const noexcept {
        return modulus == 1 || (detail::fold_multiply(hash, detail::kHashK1) & (modulus - 1)) == residue;
    }
};

class TokenBatch {
public:
    // Narrations that may hold more tokens than this are counted a batch at a time.
    static constexpr std::size_t kLongTokens = 4096;

    struct Pending {
        TokenKey key;
        std::uint64_t hash;
        std::size_t offset;  // into the batch's text
        std::size_t size;
        std::uint32_t narration;
        std::uint32_t group;
    };

    TokenBatch(const TokenTable& table, TokenShare share) : table_(table), share_(share), text_(kInitialText, '\0') {}

    std::size_t size() const noexcept { return count_; }
    std::span<const Pending> tokens() const noexcept { return {pending_.get(), count_}; }
    std::string_view token(const Pending& t) const noexcept { return {text_.data() + t.offset, t.size}; }

    // Lowercases the narration into the batch and adds its tokens of the share, repeats
    // included. A narration that may have more than kLongTokens tokens is counted by
    // the time add returns, a batch at a time: count(bytes) counts the tokens waiting,
    // those of the first `bytes` bytes of its lowercase at most, and empties the batch;
    // it returns false when no more are wanted.
    template <class Count>
    void add(std::string_view narration, std::uint32_t number, std::uint32_t group, Count&& count) {
        if (most_tokens(narration.size()) > kLongTokens) {
            add_long(narration, number, group, count);
            return;
        }
        make_room(narration.size());
        const std::size_t begin = used_;
        auto add_token = [&](std::size_t at, std::size_t size) { push(begin + at, size, number, group); };
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

    // Each token but the last is followed by a separator.
    static std::size_t most_tokens(std::size_t bytes) noexcept { return (bytes + 1) / (kMinTokenBytes + 1); }

    // Inlined into the splitting loops, which call it for every token.
    [[gnu::always_inline]] void push(std::size_t offset, std::size_t size, std::uint32_t number, std::uint32_t group) {
        const char* const token = text_.data() + offset;
        const TokenKey key = token_key(token, size);
        const std::uint64_t hash = table_.hash({token, size}, key);
        if (share_.holds(hash)) pending_[count_++] = {key, hash, offset, size, number, group};
    }

    // The narration lowercased into the text in one piece, its tokens split off it and
    // counted whenever the batch is full, and at the end, so that the batch is empty
    // again and the narrations after it need no more room than its text takes.
    template <class Count>
    void add_long(std::string_view narration, std::uint32_t number, std::uint32_t group, Count& count) {
        reserve_pending(count_ + kLongTokens);
        const std::size_t begin = used_;
        text_.resize(begin);
        text_.reserve(begin + narration.size() + kSlack);
        lowercase_append(narration, text_);
        const std::size_t size = text_.size() - begin;
        text_.resize(text_.size() + kSlack);
        used_ = begin + size;
        bool wanted = true;
        split_lowered(std::string_view(text_.data() + begin, size), [&](std::size_t at, std::size_t token_size) {
            if (!wanted) return;
            // Counting empties the batch but leaves its text in place.
            if (count_ == capacity_ && !(wanted = count(at))) return;
            push(begin + at, token_size, number, group);
        });
        if (wanted) count(size);
    }

    // Room for a narration whose lowercase has `bytes` bytes, and for its tokens.
    void make_room(std::size_t bytes) {
        const std::size_t needed = used_ + bytes + kSlack;
        if (needed > text_.size()) text_.resize(std::max(needed, 2 * text_.size()));
        reserve_pending(count_ + most_tokens(bytes));
    }

    void reserve_pending(std::size_t tokens) {
        if (tokens > capacity_) {
            const std::size_t capacity = std::max(tokens, 2 * capacity_);
            auto grown = std::make_unique_for_overwrite<Pending[]>(capacity);
            std::copy(pending_.get(), pending_.get() + count_, grown.get());
            pending_ = std::move(grown);
            capacity_ = capacity;
        }
    }

    const TokenTable& table_;
    TokenShare share_;
    std::string text_;  // all of it in use as storage; used_ bytes hold narrations
    std::size_t used_ = 0;
    std::string wide_;  // the lowercase of a narration that lower_and_split gives up on
    std::unique_ptr<Pending[]> pending_;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace lorvane::categorizer
