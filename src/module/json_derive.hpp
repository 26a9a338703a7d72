// derive_rules_json without a copy of any labelled narration: the request's texts are
// read as views into the request text and the engine derives from the views.
#pragma once

#include <string>
#include <string_view>

#include "categorizer/derive_view.hpp"
#include "categorizer/records.hpp"
#include "common/result.hpp"
#include "module/json_reader.hpp"

namespace lorvane {

// A DeriveRulesRequest with its inputs as views into the request text.
using DeriveInPlace = categorizer::BasicDeriveRulesRequest<std::string_view>;

// The response text for a request text, or the request's decoding failure.
Result<std::string, JsonError> derive_json_text(std::string_view request);

}  // namespace lorvane
