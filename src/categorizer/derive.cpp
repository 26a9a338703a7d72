// Rule derivation: for every (category, merchant) group, the token found in the most of
// the group's narrations among the tokens at least 80 % of whose narrations belong to
// the group; the rules sorted bytewise by category, then merchant.
//
// One pass over the narrations in input order lowercases and tokenises each once and
// counts each of its distinct tokens once in a table of all tokens. Beside its count,
// every token keeps a majority vote over the groups of its narrations, which names the
// only group that can hold 80 % of them and, for most tokens, settles how many that
// group holds. The few tokens left open are counted again over the table entries that
// the pass noted for each narration, without reading any text twice, and a last walk
// over the table keeps the best token of each group. Work and memory are linear in the
// total length of the narrations, plus the sort of the rules.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "categorizer/engine.hpp"
#include "categorizer/flat_index.hpp"
#include "categorizer/seeded_hash.hpp"
#include "categorizer/token_batch.hpp"
#include "categorizer/token_table.hpp"

namespace lorvane::categorizer {
namespace {

constexpr double kMinShare = 0.8;
constexpr std::uint64_t kCountWeight = 1000;

// The group of every input, and the input that opened each group. Two inputs share a
// group when both category and merchant are byte-identical.
struct Groups {
    std::vector<std::uint32_t> first_input;
    std::vector<std::uint32_t> of_input;
    std::size_t narration_bytes = 0;  // of all inputs

    std::size_t count() const noexcept { return first_input.size(); }
};

// Byte equality, without a library call for texts of up to 16 bytes: the same loads
// that hash_bytes makes cover every byte.
bool same_text(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    if (n >= 8 && n <= 16) {
        return detail::load64(p) == detail::load64(q) && detail::load64(p + n - 8) == detail::load64(q + n - 8);
    }
    if (n >= 4 && n < 8) return detail::load32(p) == detail::load32(q) && detail::load32(p + n - 4) == detail::load32(q + n - 4);
    return a == b;
}

// Groups are few next to inputs: the index starts small and grows with them.
constexpr std::size_t kInitialGroups = 1024;

template <class Input>
Groups group_inputs(std::span<const Input> data, std::uint64_t seed) {
    Groups groups;
    groups.of_input.resize(data.size());
    FlatIndex index(std::min(data.size(), kInitialGroups));
    for (std::size_t i = 0; i < data.size(); ++i) {
        const Input& input = data[i];
        groups.narration_bytes += std::string_view(input.narration).size();
        const std::uint64_t hash = hash_bytes(input.merchant, hash_bytes(input.category, seed));
        const auto [group, added] = index.insert(hash, [&](std::uint32_t g) {
            const Input& first = data[groups.first_input[g]];
            return same_text(first.category, input.category) && same_text(first.merchant, input.merchant);
        });
        if (added) groups.first_input.push_back(static_cast<std::uint32_t>(i));
        groups.of_input[i] = group;
    }
    return groups;
}

// The first pass leaves, for every narration in input order, the table entries of its
// distinct tokens: narration i's are entries[ends[i-1] .. ends[i]-1]; and the entries
// of the tokens found in more than one group.
struct Occurrences {
    std::vector<std::uint32_t> entries;
    std::vector<std::size_t> ends;
    std::vector<std::uint32_t> mixed;
};

constexpr std::size_t kBatchTokens = 1024;
constexpr std::size_t kSlotsAhead = 16;

// Counts one narration of `group` containing the token; returns whether the token,
// found in one group until now, is found in another. Besides the global count, a
// majority vote over the groups of the token's narrations (one group held while
// narrations of it outnumber the others) leaves in entry.group the only group that can
// hold more than half of them, hence the only one that can hold 80 %. Every narration
// votes for the held group exactly when all are of that group, so then votes == global.
bool count_narration(TokenTable::Entry& entry, std::uint32_t group) {
    const bool single = entry.votes == entry.global++;
    if (entry.votes == 0) entry.group = group;  // a new token's votes are 0 too
    const bool held = entry.group == group;
    entry.votes = held ? entry.votes + 1 : entry.votes - 1;
    return single && !held;
}

// Counts every token of the batch in order, once per narration, notes its entry for the
// narration, and empties the batch. The batch holds the narrations up to number `added`
// (numbered from 1) that `seen` does not end yet.
void count_batch(TokenBatch& batch, TokenTable& table, Occurrences& seen, std::size_t added) {
    const std::span<const TokenBatch::Pending> tokens = batch.tokens();
    const std::size_t n = tokens.size();
    for (std::size_t k = 0; k < std::min(n, kSlotsAhead); ++k) table.prefetch_slot(tokens[k].hash);
    std::uint32_t narration = 0;  // of the token before
    for (std::size_t k = 0; k < n; ++k) {
        if (k + kSlotsAhead < n) table.prefetch_slot(tokens[k + kSlotsAhead].hash);
        const TokenBatch::Pending& t = tokens[k];
        TokenTable::Entry& entry = table.find_or_add(batch.token(t), t.key, t.hash);
        if (t.narration != narration) {
            // End the narrations before this one, those without tokens included.
            seen.ends.resize(t.narration - 1, seen.entries.size());
            narration = t.narration;
        }
        if (entry.last_seen == t.narration) continue;  // repeated within its narration
        entry.last_seen = t.narration;
        const std::uint32_t number = table.number(entry);
        if (count_narration(entry, t.group)) seen.mixed.push_back(number);
        seen.entries.push_back(number);
    }
    seen.ends.resize(added, seen.entries.size());
    batch.clear();
}

template <class Input>
Occurrences count_tokens(std::span<const Input> data, const Groups& groups, TokenTable& table,
                         std::size_t occurrence_bound) {
    Occurrences seen;
    seen.entries.reserve(occurrence_bound);  // address space only
    seen.ends.reserve(data.size());
    TokenBatch batch(table);
    for (std::size_t i = 0; i < data.size(); ++i) {
        // Numbered from 1: a new entry has last_seen 0.
        batch.add(data[i].narration, static_cast<std::uint32_t>(i + 1), groups.of_input[i]);
        if (batch.size() >= kBatchTokens) count_batch(batch, table, seen, i + 1);
    }
    count_batch(batch, table, seen, data.size());
    return seen;
}

// The tokens whose count in their group the vote leaves open and that can still pass.
// All narrations of a token belong to its group exactly when each voted for it
// (votes == global). Otherwise the vote paired off narrations of different groups, one
// pair per vote against, and left `votes` of the group unpaired, so the group holds at
// most (global + votes) / 2 of them; unless that reaches 3/4 of global (a margin below
// 80 % that the rounding of the share cannot cross), the token cannot pass. The votes of
// every token found in several groups restart at 0: count_in_group counts the marked
// ones again, and the others keep a count that fails the share test.
class Recount {
public:
    Recount(TokenTable& table, const std::vector<std::uint32_t>& mixed, std::size_t group_count)
        : words_((table.size() + 63) / 64), groups_(group_count, false) {
        for (const std::uint32_t e : mixed) {
            TokenTable::Entry& entry = table[e];
            if (2 * std::uint64_t{entry.votes} >= entry.global) {
                words_[e / 64] |= std::uint64_t{1} << (e % 64);
                groups_[entry.group] = true;
                any_ = true;
            }
            entry.votes = 0;
        }
    }

    bool any() const noexcept { return any_; }
    bool operator()(std::uint32_t entry) const noexcept { return (words_[entry / 64] >> (entry % 64)) & 1; }
    // Whether the group is that of a token to count again.
    bool group(std::uint32_t group) const noexcept { return groups_[group]; }

private:
    std::vector<std::uint64_t> words_;
    std::vector<bool> groups_;
    bool any_ = false;
};

// Leaves in every entry's votes the number of narrations of its group containing it, or
// 0 for a token that cannot pass. Only the narrations of groups with a token to count
// again are read.
void count_in_group(TokenTable& table, const Groups& groups, const Occurrences& seen) {
    const Recount recount(table, seen.mixed, groups.count());
    if (!recount.any()) return;
    for (std::size_t i = 0; i < seen.ends.size(); ++i) {
        const std::uint32_t group = groups.of_input[i];
        if (!recount.group(group)) continue;
        for (std::size_t k = i == 0 ? 0 : seen.ends[i - 1]; k < seen.ends[i]; ++k) {
            const std::uint32_t number = seen.entries[k];
            if (!recount(number)) continue;
            TokenTable::Entry& entry = table[number];
            if (entry.group == group) ++entry.votes;
        }
    }
}

// The pattern of each group, or null: the token with the highest score among those whose
// share passes, the bytewise-smallest one among equal scores. A token can pass only in
// the group of its vote.
std::vector<const TokenTable::Entry*> choose_patterns(const TokenTable& table, std::size_t group_count) {
    std::vector<const TokenTable::Entry*> best(group_count, nullptr);
    std::vector<std::uint64_t> best_score(group_count, 0);
    for (std::size_t e = 0; e < table.size(); ++e) {
        const TokenTable::Entry& entry = table[e];
        const std::uint64_t in_group = entry.votes;
        const std::string_view text = table.text(entry);
        const std::uint64_t score = in_group * kCountWeight + text.size();
        if (score < best_score[entry.group]) continue;
        const double share = static_cast<double>(in_group) / static_cast<double>(std::uint64_t{entry.global});
        if (share < kMinShare) continue;
        const TokenTable::Entry*& chosen = best[entry.group];
        if (score > best_score[entry.group] || (chosen != nullptr && text < table.text(*chosen))) {
            chosen = &entry;
            best_score[entry.group] = score;
        }
    }
    return best;
}

template <class Input>
struct Chosen {
    std::uint64_t category_head;  // leading_bytes of the category
    const Input* group;           // the input that opened the group
    std::string_view pattern;
};

// The first eight bytes of text as a big-endian number, zero-padded: ordering these
// numbers orders the texts, except where they are equal.
std::uint64_t leading_bytes(std::string_view text) noexcept {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        head = (head << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    }
    return head;
}

template <class Input>
DeriveRulesResponse derive_from(std::span<const Input> data) {
    const std::uint64_t seed = call_seed();
    const Groups groups = group_inputs(data, seed);
    // Every token takes kMinTokenBytes bytes plus a separator (but the last), which
    // bounds the occurrences; distinct tokens are far fewer, and the table grows if not.
    const std::size_t occurrence_bound = (groups.narration_bytes + data.size()) / (kMinTokenBytes + 1);
    TokenTable table(seed, std::min<std::size_t>(occurrence_bound, 1024 + occurrence_bound / 16));
    table.reserve(std::min(occurrence_bound, 64 + occurrence_bound / 4));  // address space only
    Occurrences seen = count_tokens(data, groups, table, occurrence_bound);
    count_in_group(table, groups, seen);
    seen = {};
    const std::vector<const TokenTable::Entry*> patterns = choose_patterns(table, groups.count());

    std::vector<Chosen<Input>> chosen;
    for (std::size_t g = 0; g < groups.count(); ++g) {
        if (const TokenTable::Entry* pattern = patterns[g]) {
            const Input& first = data[groups.first_input[g]];
            chosen.push_back(Chosen<Input>{leading_bytes(first.category), &first, table.text(*pattern)});
        }
    }
    // Texts compare as unsigned bytes, a proper prefix first; the leading bytes settle
    // most comparisons without touching the texts.
    std::sort(chosen.begin(), chosen.end(), [](const Chosen<Input>& a, const Chosen<Input>& b) {
        if (a.category_head != b.category_head) return a.category_head < b.category_head;
        const std::string_view a_category = a.group->category, b_category = b.group->category;
        if (a_category != b_category) return a_category < b_category;
        return std::string_view(a.group->merchant) < std::string_view(b.group->merchant);
    });

    // The patterns outlive the token table in the response's own storage; the categories
    // and merchants are the request's.
    std::size_t pattern_bytes = 0;
    for (const Chosen<Input>& c : chosen) pattern_bytes += c.pattern.size();
    DeriveRulesResponse response;
    response.patterns = std::make_unique_for_overwrite<char[]>(pattern_bytes);
    response.rules.reserve(chosen.size());
    char* placed = response.patterns.get();
    for (const Chosen<Input>& c : chosen) {
        std::copy(c.pattern.begin(), c.pattern.end(), placed);
        response.rules.push_back(CategoryRule{std::string_view(placed, c.pattern.size()),
                                              c.group->category, c.group->merchant});
        placed += c.pattern.size();
    }
    return response;
}

}  // namespace

Result<DeriveRulesResponse, EngineError> derive_category_rules(const DeriveRulesRequest& request) {
    return derive_from(std::span<const DeriveInput>(request.data));
}

}  // namespace lorvane::categorizer
