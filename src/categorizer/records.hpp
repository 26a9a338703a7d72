// The categorizer's request and result records, each with its one description.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/describe.hpp"

namespace lorvane::categorizer {

struct CategoryRule {
    std::string pattern;
    std::string category;
    std::string merchant;
};

struct MapInput {
    std::string narration;
};

struct CategorizeRequest {
    std::vector<MapInput> data;
    std::vector<CategoryRule> rules;
};

struct CategoryMatch {
    std::string category;
    std::string merchant;
};

struct CategorizeResponse {
    std::vector<std::optional<CategoryMatch>> data;
};

struct DeriveInput {
    std::string narration;
    std::string category;
    std::string merchant;
};

struct DeriveRulesRequest {
    std::vector<DeriveInput> data;
};

struct DeriveRulesResponse {
    std::vector<CategoryRule> rules;
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
