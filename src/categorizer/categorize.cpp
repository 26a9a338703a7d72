// Categorisation: each narration takes the category and merchant of the first listed
// rule whose pattern occurs in it, both lowercased (first_rules.hpp).
#include <string_view>
#include <utility>
#include <vector>

#include "categorizer/engine.hpp"
#include "categorizer/first_rules.hpp"

namespace lorvane::categorizer {

Result<CategorizeResponse, EngineError> categorize(const CategorizeRequest& request) {
    CategorizeResponse response;
    if (request.data.empty()) return response;  // nothing to decide: no pattern is read
    std::vector<std::string_view> narrations;
    narrations.reserve(request.data.size());
    for (const MapInput& input : request.data) narrations.push_back(input.narration);
    std::vector<std::string_view> patterns;
    patterns.reserve(request.rules.size());
    for (const CategoryRule& rule : request.rules) patterns.push_back(rule.pattern);

    static_assert(Picks<CategoryMatch>::none == UINT32_MAX, "first_rules writes the picks");
    response.data.picked = first_rules(patterns, std::move(narrations));
    response.data.choices.reserve(request.rules.size());
    for (const CategoryRule& rule : request.rules) {
        response.data.choices.push_back(CategoryMatch{rule.category, rule.merchant});
    }
    return response;
}

}  // namespace lorvane::categorizer
