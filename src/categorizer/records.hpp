// The categorizer's request and result records, each with its one description. Their
// texts are views: into what the call holds for a request (the request's text, or the
// strs it was read from), into the request or the result's own storage for a result.
#pragma once

#include <memory>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/describe.hpp"

namespace lorvane::categorizer {

struct CategoryRule {
    std::string_view pattern;
    std::string_view category;
    std::string_view merchant;
};

struct MapInput {
    std::string_view narration;
};

struct CategorizeRequest {
    std::vector<MapInput> data;
    std::vector<CategoryRule> rules;
};

struct CategoryMatch {
    std::string_view category;
    std::string_view merchant;
};

// One choice per rule, with the rule's category and merchant; each narration picks the
// rule that decides it, or none.
struct CategorizeResponse {
    Picks<CategoryMatch> data;
};

struct DeriveInput {
    std::string_view narration;
    std::string_view category;
    std::string_view merchant;
};

struct DeriveRulesRequest {
    std::vector<DeriveInput> data;
};

// The rules' categories and merchants view the request; their patterns view `patterns`,
// which the response owns.
struct DeriveRulesResponse {
    std::vector<CategoryRule> rules;
    std::unique_ptr<char[]> patterns;
};

}  // namespace lorvane::categorizer

namespace lorvane {

template <>
struct Describe<categorizer::CategoryRule> {
    using R = categorizer::CategoryRule;
    static constexpr std::string_view name = "CategoryRule";
    static constexpr auto fields = std::tuple{
        field("pattern", &R::pattern),
        field("category", &R::category),
        field("merchant", &R::merchant),
    };
};

template <>
struct Describe<categorizer::MapInput> {
    using R = categorizer::MapInput;
    static constexpr std::string_view name = "MapInput";
    static constexpr auto fields = std::tuple{field("narration", &R::narration)};
};

template <>
struct Describe<categorizer::CategorizeRequest> {
    using R = categorizer::CategorizeRequest;
    static constexpr std::string_view name = "CategorizeRequest";
    static constexpr auto fields = std::tuple{
        field("data", &R::data),
        field("rules", &R::rules),
    };
};

template <>
struct Describe<categorizer::CategoryMatch> {
    using R = categorizer::CategoryMatch;
    static constexpr std::string_view name = "CategoryMatch";
    static constexpr auto fields = std::tuple{
        field("category", &R::category),
        field("merchant", &R::merchant),
    };
};

template <>
struct Describe<categorizer::CategorizeResponse> {
    using R = categorizer::CategorizeResponse;
    static constexpr std::string_view name = "CategorizeResponse";
    static constexpr auto fields = std::tuple{field("data", &R::data)};
};

template <>
struct Describe<categorizer::DeriveInput> {
    using R = categorizer::DeriveInput;
    static constexpr std::string_view name = "DeriveInput";
    static constexpr auto fields = std::tuple{
        field("narration", &R::narration),
        field("category", &R::category),
        field("merchant", &R::merchant),
    };
};

template <>
struct Describe<categorizer::DeriveRulesRequest> {
    using R = categorizer::DeriveRulesRequest;
    static constexpr std::string_view name = "DeriveRulesRequest";
    static constexpr auto fields = std::tuple{field("data", &R::data)};
};

template <>
struct Describe<categorizer::DeriveRulesResponse> {
    using R = categorizer::DeriveRulesResponse;
    static constexpr std::string_view name = "DeriveRulesResponse";
    static constexpr auto fields = std::tuple{field("rules", &R::rules)};
};

}  // namespace lorvane
