// categorize_transactions_json without a copy of any narration or any result text: the
// narrations are read as views into the request text, the engine gives each one the index
// of its deciding rule, and the response is written from one encoded text per rule.
// The text is byte for byte what encode_json writes for the CategorizeResponse.
#pragma once

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "categorizer/records.hpp"
#include "common/describe.hpp"
#include "common/result.hpp"
#include "module/json_reader.hpp"

namespace lorvane {

// The records of a CategorizeRequest with the narrations as views; read as, and named
// in messages as, MapInput and CategorizeRequest.
struct NarrationInPlace {
    std::string_view narration;
};

struct CategorizeInPlace {
    std::vector<NarrationInPlace> data;
    std::vector<categorizer::CategoryRule> rules;
};

template <>
struct Describe<NarrationInPlace> {
    static constexpr std::string_view name = Describe<categorizer::MapInput>::name;
    static constexpr auto fields = std::tuple{field("narration", &NarrationInPlace::narration)};
};

template <>
struct Describe<CategorizeInPlace> {
    static constexpr std::string_view name = Describe<categorizer::CategorizeRequest>::name;
    static constexpr auto fields = std::tuple{
        field("data", &CategorizeInPlace::data),
        field("rules", &CategorizeInPlace::rules),
    };
};

// The response text for a request text, or the request's decoding failure.
Result<std::string, JsonError> categorize_json_text(std::string_view request);

}  // namespace lorvane
