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

// The request records hold their narrations (and labels) as `Text`: std::string where
// the request owns its texts, or a view or a held reference where a caller reads them
// in place. Every form is the same record, with the same description.
template <class Text>
struct BasicMapInput {
    Text narration;
};

template <class Text>
struct BasicCategorizeRequest {
    std::vector<BasicMapInput<Text>> data;
    std::vector<CategoryRule> rules;
};

using MapInput = BasicMapInput<std::string>;
using CategorizeRequest = BasicCategorizeRequest<std::string>;

struct CategoryMatch {
    std::string category;
    std::string merchant;
};

struct CategorizeResponse {
    std::vector<std::optional<CategoryMatch>> data;
};

template <class Text>
struct BasicDeriveInput {
    Text narration;
    Text category;
    Text merchant;
};

template <class Text>
struct BasicDeriveRulesRequest {
    std::vector<BasicDeriveInput<Text>> data;
};

using DeriveInput = BasicDeriveInput<std::string>;
using DeriveRulesRequest = BasicDeriveRulesRequest<std::string>;

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

template <class Text>
struct Describe<categorizer::BasicMapInput<Text>> {
    using R = categorizer::BasicMapInput<Text>;
    static constexpr std::string_view name = "MapInput";
    static constexpr auto fields = std::tuple{field("narration", &R::narration)};
};

template <class Text>
struct Describe<categorizer::BasicCategorizeRequest<Text>> {
    using R = categorizer::BasicCategorizeRequest<Text>;
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

template <class Text>
struct Describe<categorizer::BasicDeriveInput<Text>> {
    using R = categorizer::BasicDeriveInput<Text>;
    static constexpr std::string_view name = "DeriveInput";
    static constexpr auto fields = std::tuple{
        field("narration", &R::narration),
        field("category", &R::category),
        field("merchant", &R::merchant),
    };
};

template <class Text>
struct Describe<categorizer::BasicDeriveRulesRequest<Text>> {
    using R = categorizer::BasicDeriveRulesRequest<Text>;
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
