// Categorisation: each narration takes the category and merchant of the first listed
// rule whose pattern occurs in it, both lowercased. The patterns are lowercased once per
// call; a narration is lowercased into a reused buffer unless it is all ASCII, which the
// matcher reads as is, taking capitals for small letters.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/engine.hpp"
#include "categorizer/first_rules.hpp"
#include "categorizer/lowercase.hpp"
#include "categorizer/matcher.hpp"

namespace lorvane::categorizer {
namespace {

bool is_ascii(std::string_view text) noexcept {
    const char* p = text.data();
    std::size_t n = text.size();
    std::uint64_t any = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        any |= word;
    }
    for (; n > 0; ++p, --n) any |= static_cast<unsigned char>(*p);
    return (any & 0x8080808080808080u) == 0;
}

// The lowercased patterns of the rules that can decide: those up to the first empty one.
struct LoweredPatterns {
    std::string bytes;
    std::vector<std::string_view> views;

    explicit LoweredPatterns(const std::vector<CategoryRule>& rules) {
        std::size_t count = 0, total = 0;
        while (count < rules.size()) {
            total += rules[count].pattern.size();
            if (rules[count++].pattern.empty()) break;
        }
        std::vector<std::size_t> ends;
        ends.reserve(count);
        bytes.reserve(total);
        for (std::size_t i = 0; i < count; ++i) {
            lowercase_append(rules[i].pattern, bytes);
            ends.push_back(bytes.size());
        }
        views.reserve(count);
        std::size_t begin = 0;
        for (std::size_t end : ends) {
            views.push_back(std::string_view(bytes).substr(begin, end - begin));
            begin = end;
        }
    }
};

}  // namespace

std::vector<std::size_t> first_rules(std::span<const std::string_view> narrations,
                                     const std::vector<CategoryRule>& rules) {
    const LoweredPatterns patterns(rules);
    const RuleMatcher matcher(patterns.views);

    std::vector<std::size_t> decided;
    decided.reserve(narrations.size());
    std::string lowered;
    for (std::string_view text : narrations) {
        if (matcher.reads_text() && !(matcher.folds_ascii_capitals() && is_ascii(text))) {
            lowered.clear();
            lowercase_append(text, lowered);
            text = lowered;
        }
        const std::size_t rule = matcher.first_match(text);
        decided.push_back(rule == RuleMatcher::no_match ? no_rule : rule);
    }
    return decided;
}

Result<CategorizeResponse, EngineError> categorize(const CategorizeRequest& request) {
    std::vector<std::string_view> narrations;
    narrations.reserve(request.data.size());
    for (const MapInput& input : request.data) narrations.push_back(input.narration);
    const std::vector<std::size_t> decided = first_rules(narrations, request.rules);

    CategorizeResponse response;
    response.data.reserve(decided.size());
    for (const std::size_t rule : decided) {
        if (rule == no_rule) {
            response.data.emplace_back();
        } else {
            const CategoryRule& winner = request.rules[rule];
            response.data.emplace_back(std::in_place, winner.category, winner.merchant);
        }
    }
    return response;
}

}  // namespace lorvane::categorizer
