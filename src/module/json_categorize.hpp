// categorize_transactions_json without a copy of any narration or any result text: the
// narrations are read as views into the request text, the engine gives each one the index
// of its deciding rule, and the response is written from one encoded text per rule. The
// request text is no longer needed once the rules are known, so its caller may free it
// before the response is written. The text is byte for byte what encode_json writes for
// the CategorizeResponse.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "categorizer/records.hpp"
#include "common/result.hpp"
#include "module/json_reader.hpp"

namespace lorvane {

// A CategorizeRequest with its narrations as views into the request text.
using CategorizeInPlace = categorizer::BasicCategorizeRequest<std::string_view>;

// A request categorised: its rules, and the index of the rule that decides each
// narration (categorizer::no_rule where none does). Refers to nothing in the request text.
struct Categorized {
    std::vector<categorizer::CategoryRule> rules;
    std::vector<std::size_t> decided;
};

// Reads a request text and categorises it, or fails with the request's decoding failure.
Result<Categorized, JsonError> categorize_json_request(std::string_view request);
// The response text.
std::string categorized_json_text(const Categorized& done);

}  // namespace lorvane
