// Rule derivation: for every (category, merchant) group, the token found in the most of
// the group's narrations among the tokens at least 80 % of whose narrations belong to
// the group; the rules sorted bytewise by category, then merchant.
//
// Every narration is lowercased once into one buffer that lives for the whole call, so
// tokens are views into it. The first pass counts each token once per narration in one
// flat table and remembers, per narration, the table entries of its distinct tokens; the
// second pass walks the groups over those remembered entries, so the group counts cost
// neither a second tokenisation nor a second hash lookup. Work and memory are linear in
// the total length of the narrations, plus the sort of the rules.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "categorizer/derive_view.hpp"
#include "categorizer/engine.hpp"
#include "categorizer/flat_index.hpp"
#include "categorizer/lowercase.hpp"
#include "categorizer/seeded_hash.hpp"
#include "categorizer/tokenize.hpp"

namespace lorvane::categorizer {
namespace {

constexpr double kMinShare = 0.8;
constexpr std::uint64_t kCountWeight = 1000;

// The inputs arranged by group; group g holds members[starts[g]] .. members[starts[g+1]-1]
// in input order. Two inputs share a group when both category and merchant are
// byte-identical.
struct Groups {
    std::vector<std::uint32_t> first_input;  // per group, the input that opened it
    std::vector<std::size_t> starts;
    std::vector<std::uint32_t> members;

    std::size_t count() const noexcept { return first_input.size(); }
};

// Groups are few next to inputs: the index starts small and grows with them.
constexpr std::size_t kInitialGroups = 1024;

template <class Input>
Groups group_inputs(std::span<const Input> data, std::uint64_t seed) {
    Groups groups;
    std::vector<std::uint32_t> group_of(data.size());
    FlatIndex index(std::min(data.size(), kInitialGroups));
    for (std::size_t i = 0; i < data.size(); ++i) {
        const Input& input = data[i];
        const std::uint64_t hash = hash_bytes(input.merchant, hash_bytes(input.category, seed));
        const auto [group, added] = index.insert(hash, [&](std::uint32_t g) {
            const Input& first = data[groups.first_input[g]];
            return std::string_view(first.category) == std::string_view(input.category) &&
                   std::string_view(first.merchant) == std::string_view(input.merchant);
        });
        if (added) groups.first_input.push_back(static_cast<std::uint32_t>(i));
        group_of[i] = group;
    }
    // Counting sort of the inputs by group, stable.
    groups.starts.assign(groups.count() + 1, 0);
    for (const std::uint32_t g : group_of) ++groups.starts[g + 1];
    for (std::size_t g = 0; g < groups.count(); ++g) groups.starts[g + 1] += groups.starts[g];
    std::vector<std::size_t> next(groups.starts.begin(), groups.starts.end() - 1);
    groups.members.resize(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) groups.members[next[group_of[i]]++] = static_cast<std::uint32_t>(i);
    return groups;
}

// The lowercase of every narration, in input order, back to back in one buffer.
struct LoweredTexts {
    std::string bytes;
    std::vector<std::size_t> ends;

    std::string_view text(std::size_t i) const noexcept {
        const std::size_t begin = i == 0 ? 0 : ends[i - 1];
        return std::string_view(bytes).substr(begin, ends[i] - begin);
    }
};

template <class Input>
LoweredTexts lower_narrations(std::span<const Input> data) {
    LoweredTexts lowered;
    std::size_t total = 0;
    for (const Input& input : data) total += input.narration.size();
    lowered.bytes.reserve(total);
    lowered.ends.reserve(data.size());
    for (const Input& input : data) {
        lowercase_append(input.narration, lowered.bytes);
        lowered.ends.push_back(lowered.bytes.size());
    }
    return lowered;
}

struct TokenCount {
    std::string_view token;             // into LoweredTexts::bytes
    std::uint64_t global = 0;           // narrations containing the token
    std::uint64_t in_group = 0;         // narrations of group last_group - 1 containing it
    std::size_t last_narration = 0;     // 1 + the last narration that counted it
    std::uint32_t last_group = 0;       // 1 + the group that in_group belongs to
};

// The global counts, and for every narration the entries of its distinct tokens:
// narration i's are entries[entry_ends[i-1] .. entry_ends[i]-1].
struct TokenTable {
    std::vector<TokenCount> counts;
    std::vector<std::uint32_t> entries;
    std::vector<std::size_t> entry_ends;
};

TokenTable count_tokens(const LoweredTexts& lowered, std::uint64_t seed) {
    // Every token takes kMinTokenBytes bytes plus a separator (but the last), which
    // bounds the occurrences; distinct tokens are far fewer, and the index grows if not.
    const std::size_t narrations = lowered.ends.size();
    const std::size_t occurrence_bound = (lowered.bytes.size() + narrations) / (kMinTokenBytes + 1);
    const std::size_t distinct_estimate = std::min(occurrence_bound, 64 + occurrence_bound / 4);

    TokenTable table;
    table.counts.reserve(distinct_estimate);  // address space: only what is used is touched
    table.entries.reserve(occurrence_bound);
    table.entry_ends.reserve(narrations);
    // The index's slots are all written when made: it starts smaller and grows.
    FlatIndex index(std::min(distinct_estimate, 64 + occurrence_bound / 16));
    for (std::size_t i = 0; i < narrations; ++i) {
        for_each_token(lowered.text(i), [&](std::string_view token) {
            const auto [entry, added] = index.insert(
                hash_bytes(token, seed), [&](std::uint32_t e) { return table.counts[e].token == token; });
            if (added) table.counts.push_back(TokenCount{token});
            TokenCount& count = table.counts[entry];
            if (count.last_narration == i + 1) return;  // repeated within this narration
            count.last_narration = i + 1;
            ++count.global;
            table.entries.push_back(entry);
        });
        table.entry_ends.push_back(table.entries.size());
    }
    return table;
}

// The pattern of one group, or null: the token with the highest score among those whose
// share passes, the bytewise-smallest one among equal scores.
const TokenCount* choose_pattern(TokenTable& table, const Groups& groups, std::size_t group,
                                 std::vector<std::uint32_t>& touched) {
    const auto stamp = static_cast<std::uint32_t>(group + 1);
    touched.clear();
    for (std::size_t m = groups.starts[group]; m < groups.starts[group + 1]; ++m) {
        const std::uint32_t input = groups.members[m];
        const std::size_t begin = input == 0 ? 0 : table.entry_ends[input - 1];
        for (std::size_t k = begin; k < table.entry_ends[input]; ++k) {
            TokenCount& count = table.counts[table.entries[k]];
            if (count.last_group != stamp) {
                count.last_group = stamp;
                count.in_group = 0;
                touched.push_back(table.entries[k]);
            }
            ++count.in_group;
        }
    }
    const TokenCount* best = nullptr;
    std::uint64_t best_score = 0;
    for (const std::uint32_t entry : touched) {
        const TokenCount& count = table.counts[entry];
        const double share = static_cast<double>(count.in_group) / static_cast<double>(count.global);
        if (share < kMinShare) continue;
        const std::uint64_t score = count.in_group * kCountWeight + count.token.size();
        if (score > best_score || (best != nullptr && score == best_score && count.token < best->token)) {
            best = &count;
            best_score = score;
        }
    }
    return best;
}

template <class Input>
struct Chosen {
    std::uint64_t category_head;  // leading_bytes of the category
    const Input* group;           // the input that opened the group
    const TokenCount* pattern;
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
    const LoweredTexts lowered = lower_narrations(data);
    TokenTable table = count_tokens(lowered, seed);

    std::vector<Chosen<Input>> chosen;
    std::vector<std::uint32_t> touched;
    for (std::size_t g = 0; g < groups.count(); ++g) {
        if (const TokenCount* pattern = choose_pattern(table, groups, g, touched)) {
            const Input& first = data[groups.first_input[g]];
            chosen.push_back(Chosen<Input>{leading_bytes(first.category), &first, pattern});
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

    DeriveRulesResponse response;
    response.rules.reserve(chosen.size());
    for (const Chosen<Input>& c : chosen) {
        response.rules.push_back(CategoryRule{std::string(c.pattern->token), std::string(c.group->category),
                                              std::string(c.group->merchant)});
    }
    return response;
}

}  // namespace

Result<DeriveRulesResponse, EngineError> derive_category_rules(const DeriveRulesRequest& request) {
    return derive_from(std::span<const DeriveInput>(request.data));
}

Result<DeriveRulesResponse, EngineError> derive_rules_in_place(std::span<const DeriveView> data) {
    return derive_from(data);
}

}  // namespace lorvane::categorizer
