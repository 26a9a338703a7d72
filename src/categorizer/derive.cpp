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
// over the table keeps the best token of each group.
//
// Requests whose distinct tokens are many next to their text (every token unique, every
// narration a group of its own) would need a table several times the text. A pass
// whose table would outgrow twice the request's texts stops, and the tokens are
// counted in shares by hash instead, a pass over the narrations for each: every token
// falls in one share, so each pass counts its tokens in full, and the best token of a
// group is the best of the passes' best. Realistic requests take one pass. Work is
// linear in the total length of the narrations (times the shares, at most a few dozen),
// plus the sort of the rules; memory is within a few times the request's texts.
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
#include "common/bytes.hpp"

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
    std::size_t text_bytes = 0;       // of all their texts

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
        return bytes::load8(p) == bytes::load8(q) && bytes::load8(p + n - 8) == bytes::load8(q + n - 8);
    }
    if (n >= 4 && n < 8) return bytes::load4(p) == bytes::load4(q) && bytes::load4(p + n - 4) == bytes::load4(q + n - 4);
    return a == b;
}

std::uint64_t group_hash(const DeriveInput& input, std::uint64_t seed) noexcept {
    return hash_bytes(input.merchant, hash_bytes(input.category, seed));
}

// Groups are few next to inputs: the index starts small and grows with them.
constexpr std::size_t kInitialGroups = 1024;

Groups group_inputs(std::span<const DeriveInput> data, std::uint64_t seed) {
    Groups groups;
    groups.of_input.resize(data.size());
    FlatIndex index(std::min(data.size(), kInitialGroups));
    for (std::size_t i = 0; i < data.size(); ++i) {
        const DeriveInput& input = data[i];
        const std::string_view narration = input.narration;
        const std::string_view category = input.category, merchant = input.merchant;
        groups.narration_bytes += narration.size();
        groups.text_bytes += narration.size() + category.size() + merchant.size();
        const std::uint64_t hash = group_hash(input, seed);
        const FlatIndex::Lookup found = index.find(hash, [&](std::uint32_t g) {
            const DeriveInput& first = data[groups.first_input[g]];
            return same_text(first.category, category) && same_text(first.merchant, merchant);
        });
        if (found.found()) {
            groups.of_input[i] = found.entry;
            continue;
        }
        groups.of_input[i] = static_cast<std::uint32_t>(groups.count());
        groups.first_input.push_back(static_cast<std::uint32_t>(i));
        index.add(found, hash, [&](std::uint32_t g) { return group_hash(data[groups.first_input[g]], seed); });
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

// Where a counting pass stands: whether it counted every token of its share, and if
// not, how far it came before its table would have outgrown the room given: the bytes
// of the narrations it counted in full, and of the one it was counting.
struct Counted {
    bool whole = true;
    std::size_t bytes = 0;
    std::size_t within = 0;
};

// The most tokens that a batch adds at once: those of one narration, before or after
// they are counted, when the batch already holds nearly kBatchTokens.
constexpr std::size_t kMostBatchTokens = kBatchTokens + TokenBatch::kLongTokens;

// Counts the tokens of the share in `table` and notes their entries in `seen`, unless
// the two would outgrow `room` bytes: then it stops.
Counted count_tokens(std::span<const DeriveInput> data, const Groups& groups, TokenShare share, std::size_t room,
                     TokenTable& table, Occurrences& seen) {
    Counted counted;
    TokenBatch batch(table, share);
    // Counts the narrations up to number `added` and those waiting after them; false
    // when the next batch could take the table past the room.
    const auto count = [&](std::size_t added) {
        count_batch(batch, table, seen, added);
        const std::size_t entries = seen.entries.size() + kMostBatchTokens;
        counted.whole = table.bytes_while_adding(kMostBatchTokens) + entries * sizeof(std::uint32_t) <= room;
        return counted.whole;
    };
    for (std::size_t i = 0; i < data.size(); ++i) {
        // Numbered from 1: a new entry has last_seen 0.
        batch.add(data[i].narration, static_cast<std::uint32_t>(i + 1), groups.of_input[i], [&](std::size_t within) {
            counted.within = within;
            return count(i);
        });
        if (!counted.whole) return counted;
        counted.within = 0;
        counted.bytes += std::string_view(data[i].narration).size();
        if (batch.size() >= kBatchTokens && !count(i + 1)) return counted;
    }
    count_batch(batch, table, seen, data.size());
    counted.whole = true;  // however large the table has grown, every token is counted
    return counted;
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

// The score of a token whose share of narrations passes: first their number in its
// group, then its length.
std::uint64_t score_of(std::uint64_t in_group, std::string_view text) noexcept {
    return in_group * kCountWeight + text.size();
}

// The best token of each group in the table, or null: the token with the highest score
// among those whose share passes, the bytewise-smallest one among equal scores. A token
// can pass only in the group of its vote.
std::vector<const TokenTable::Entry*> choose_patterns(const TokenTable& table, std::size_t group_count) {
    std::vector<const TokenTable::Entry*> best(group_count, nullptr);
    std::vector<std::uint64_t> best_score(group_count, 0);
    for (std::size_t e = 0; e < table.size(); ++e) {
        const TokenTable::Entry& entry = table[e];
        const std::uint64_t in_group = entry.votes;
        const std::string_view text = table.text(entry);
        const std::uint64_t score = score_of(in_group, text);
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

// The pattern of each group over the passes made so far, copied out of their tables:
// each pass counts its own tokens in full, so the best of the passes' best tokens, by
// score and then bytewise, is the group's best token.
class Patterns {
public:
    explicit Patterns(std::size_t group_count) : score_(group_count, 0), place_(group_count) {}

    bool has(std::size_t group) const noexcept { return score_[group] != 0; }
    std::string_view text(std::size_t group) const noexcept {
        return std::string_view(bytes_).substr(place_[group].offset, place_[group].size);
    }

    // Takes the best token of each group in the table where it beats the one held.
    void take(const TokenTable& table) {
        const std::vector<const TokenTable::Entry*> best = choose_patterns(table, score_.size());
        for (std::size_t g = 0; g < best.size(); ++g) {
            if (best[g] == nullptr) continue;
            const std::string_view token = table.text(*best[g]);
            const std::uint64_t score = score_of(best[g]->votes, token);
            if (score < score_[g] || (score == score_[g] && token >= text(g))) continue;
            unused_ += place_[g].size;
            place_[g] = {bytes_.size(), token.size()};
            bytes_.append(token);
            score_[g] = score;
        }
        if (unused_ > bytes_.size() / 2) compact();
    }

private:
    struct Place {
        std::size_t offset = 0;
        std::size_t size = 0;
    };

    // Drops the texts of the patterns that others have replaced.
    void compact() {
        std::string kept;
        kept.reserve(bytes_.size() - unused_);
        for (std::size_t g = 0; g < place_.size(); ++g) {
            const std::string_view held = text(g);
            place_[g].offset = kept.size();
            kept.append(held);
        }
        bytes_ = std::move(kept);
        unused_ = 0;
    }

    std::vector<std::uint64_t> score_;  // 0 while the group has no pattern
    std::vector<Place> place_;
    std::string bytes_;
    std::size_t unused_ = 0;  // bytes of replaced patterns
};

// Room for the tables of a counting pass: twice the texts of the request, or a fixed
// floor for small requests. A pass whose table outgrows it stops, and its tokens are
// counted again in shares, each in a pass of its own with the same room. Past
// kFinestShare a share is counted whatever its table takes.
constexpr std::size_t kRoomFloor = std::size_t{4} << 20;
constexpr std::uint64_t kFinestShare = std::uint64_t{1} << 16;

// The shares that a pass which counted `counted` bytes of `total` before it stopped
// splits into: enough for each to fit if tokens keep coming as they did, and at least two.
std::uint64_t split_into(std::size_t counted, std::size_t total) noexcept {
    std::uint64_t shares = 2;
    while (shares < 64 && counted * shares < total + total / 4) shares *= 2;
    return shares;
}

// A group with a pattern, to be sorted.
struct Chosen {
    std::uint64_t category_head;  // big_endian_head of the category
    std::uint32_t group;
};

// The pattern of every group: one pass counts all tokens, unless its table would
// outgrow the room; then shares of the tokens are counted, a pass each, and a share
// whose table would still outgrow it is split in its turn.
Patterns find_patterns(std::span<const DeriveInput> data, const Groups& groups, std::uint64_t seed) {
    const std::size_t room = std::max(kRoomFloor, 2 * groups.text_bytes);
    // Every token takes kMinTokenBytes bytes plus a separator (but the last), which
    // bounds the occurrences; distinct tokens are far fewer, and the table grows if not.
    const std::size_t occurrence_bound = (groups.narration_bytes + data.size()) / (kMinTokenBytes + 1);
    const std::size_t expected = std::min<std::size_t>(occurrence_bound, 1024 + occurrence_bound / 16);
    Patterns patterns(groups.count());
    std::vector<TokenShare> shares{TokenShare{}};
    while (!shares.empty()) {
        const TokenShare share = shares.back();
        shares.pop_back();
        TokenTable table(seed, expected / share.modulus);
        table.reserve(std::min(occurrence_bound, 64 + occurrence_bound / 4));  // address space only
        Occurrences seen;
        seen.entries.reserve(occurrence_bound);  // address space only
        seen.ends.reserve(data.size());
        const std::size_t pass_room = share.modulus < kFinestShare ? room : SIZE_MAX;
        const Counted counted = count_tokens(data, groups, share, pass_room, table, seen);
        if (!counted.whole) {
            const std::uint64_t k = split_into(counted.bytes + counted.within, groups.narration_bytes);
            for (std::uint64_t j = 0; j < k; ++j) {
                shares.push_back({share.residue + j * share.modulus, share.modulus * k});
            }
            continue;
        }
        count_in_group(table, groups, seen);
        seen = {};
        patterns.take(table);
    }
    return patterns;
}

DeriveRulesResponse derive(std::span<const DeriveInput> data) {
    const std::uint64_t seed = call_seed();
    Groups groups = group_inputs(data, seed);
    const Patterns patterns = find_patterns(data, groups, seed);
    groups.of_input = std::vector<std::uint32_t>();  // its memory released

    // The input that opened each group with a pattern holds its labels.
    const auto first = [&](std::uint32_t group) -> const DeriveInput& { return data[groups.first_input[group]]; };
    std::vector<Chosen> chosen;
    for (std::uint32_t g = 0; g < groups.count(); ++g) {
        if (patterns.has(g)) chosen.push_back({bytes::big_endian_head(first(g).category), g});
    }
    // Texts compare as unsigned bytes, a proper prefix first; the leading bytes settle
    // most comparisons without touching the texts.
    std::sort(chosen.begin(), chosen.end(), [&](const Chosen& a, const Chosen& b) {
        if (a.category_head != b.category_head) return a.category_head < b.category_head;
        const std::string_view a_category = first(a.group).category, b_category = first(b.group).category;
        if (a_category != b_category) return a_category < b_category;
        return std::string_view(first(a.group).merchant) < std::string_view(first(b.group).merchant);
    });

    // The patterns in the response's own storage; the categories and merchants are the
    // request's.
    std::size_t pattern_bytes = 0;
    for (const Chosen& c : chosen) pattern_bytes += patterns.text(c.group).size();
    DeriveRulesResponse response;
    response.patterns = std::make_unique_for_overwrite<char[]>(pattern_bytes);
    response.rules.reserve(chosen.size());
    char* placed = response.patterns.get();
    for (const Chosen& c : chosen) {
        const std::string_view pattern = patterns.text(c.group);
        std::copy(pattern.begin(), pattern.end(), placed);
        const DeriveInput& labels = first(c.group);
        response.rules.push_back(CategoryRule{std::string_view(placed, pattern.size()), labels.category, labels.merchant});
        placed += pattern.size();
    }
    return response;
}

}  // namespace

Result<DeriveRulesResponse, EngineError> derive_category_rules(const DeriveRulesRequest& request) {
    return derive(request.data);
}

}  // namespace lorvane::categorizer
