// Categorisation: each narration takes the category and merchant of the first listed
// rule whose pattern occurs in it, both lowercased. The patterns are lowercased once per
// call; a narration is lowercased into a reused buffer unless it is all ASCII, which the
// matcher reads as is, taking capitals for small letters.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "categorizer/engine.hpp"
#include "categorizer/matcher.hpp"
#include "categorizer/text/lowercase.hpp"
#include "common/bytes.hpp"

namespace lorvane::categorizer {
namespace {

// The lowercased patterns of the rules that can decide. A pattern that is its own
// lowercase (ASCII without capitals) is viewed where it lies; the others are lowercased
// into one buffer.
struct LoweredPatterns {
    std::string storage;
    std::vector<std::string_view> views;

    explicit LoweredPatterns(const std::vector<CategoryRule>& rules) {
        const std::size_t count = deciding_rules(rules.size(), [&](std::size_t i) { return rules[i].pattern; });
        constexpr std::size_t in_place = SIZE_MAX;
        std::vector<std::size_t> ends(count, in_place);  // in bytes, of the lowercased ones
        std::size_t total = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view p = rules[i].pattern;
            const bool own_lowercase =
                bytes::is_ascii(p) && std::none_of(p.begin(), p.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
            if (!own_lowercase) {
                ends[i] = 0;
                total += p.size();
            }
        }
        storage.reserve(total);
        for (std::size_t i = 0; i < count; ++i) {
            if (ends[i] == in_place) continue;
            lowercase_append(rules[i].pattern, storage);
            ends[i] = storage.size();
        }
        views.reserve(count);
        std::size_t begin = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (ends[i] == in_place) {
                views.push_back(rules[i].pattern);
                continue;
            }
            views.push_back(std::string_view(storage).substr(begin, ends[i] - begin));
            begin = ends[i];
        }
    }
};

// The index in `rules` of the rule that decides each narration, or
// Picks<CategoryMatch>::none. The views are taken over (and reused for the lowercased
// texts), not copied.
std::vector<std::uint32_t> first_rules(std::vector<std::string_view> narrations,
                                       const std::vector<CategoryRule>& rules) {
    static_assert(RuleMatcher::no_rule == Picks<CategoryMatch>::none, "the matcher writes the picks");
    const LoweredPatterns patterns(rules);
    const RuleMatcher matcher(patterns.views);
    std::vector<std::uint32_t> picked(narrations.size(), matcher.first_match({}));
    if (matcher.reads_text()) {
        // The texts to scan: each narration as is, or its lowercase. The lowercased ones
        // are kept back to back in one buffer and viewed once it has stopped growing.
        std::vector<std::string_view>& texts = narrations;
        std::string lowered;
        std::vector<std::pair<std::size_t, std::size_t>> placed;  // (narration, its end)
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (matcher.folds_ascii_capitals() && bytes::is_ascii(texts[i])) continue;
            lowercase_append(texts[i], lowered);
            placed.emplace_back(i, lowered.size());
        }
        std::size_t begin = 0;
        for (const auto& [i, end] : placed) {
            texts[i] = std::string_view(lowered).substr(begin, end - begin);
            begin = end;
        }
        matcher.first_matches(texts, picked);
    }
    return picked;
}

}  // namespace

Result<CategorizeResponse, EngineError> categorize(const CategorizeRequest& request) {
    std::vector<std::string_view> narrations;
    narrations.reserve(request.data.size());
    for (const MapInput& input : request.data) narrations.push_back(input.narration);

    CategorizeResponse response;
    response.data.picked = first_rules(std::move(narrations), request.rules);
    response.data.choices.reserve(request.rules.size());
    for (const CategoryRule& rule : request.rules) {
        response.data.choices.push_back(CategoryMatch{rule.category, rule.merchant});
    }
    return response;
}

}  // namespace lorvane::categorizer
