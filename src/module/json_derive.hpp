// derive_rules_json without a copy of any labelled narration: the request's texts are
// read as views into the request text and the engine derives from the views.
#pragma once

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "categorizer/derive_view.hpp"
#include "categorizer/records.hpp"
#include "common/describe.hpp"
#include "common/result.hpp"
#include "module/json_reader.hpp"

namespace lorvane {

// A DeriveRulesRequest with its inputs as views; read as, and named in messages as,
// DeriveRulesRequest and DeriveInput.
struct DeriveInPlace {
    std::vector<categorizer::DeriveView> data;
};

template <>
struct Describe<categorizer::DeriveView> {
    using R = categorizer::DeriveView;
    static constexpr std::string_view name = Describe<categorizer::DeriveInput>::name;
    static constexpr auto fields = std::tuple{
        field("narration", &R::narration),
        field("category", &R::category),
        field("merchant", &R::merchant),
    };
};

template <>
struct Describe<DeriveInPlace> {
    static constexpr std::string_view name = Describe<categorizer::DeriveRulesRequest>::name;
    static constexpr auto fields = std::tuple{field("data", &DeriveInPlace::data)};
};

// The response text for a request text, or the request's decoding failure.
Result<std::string, JsonError> derive_json_text(std::string_view request);

}  // namespace lorvane
