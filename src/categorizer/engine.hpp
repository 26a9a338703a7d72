// The categorizer engines: first-rule-wins categorisation and rule derivation.
#pragma once

#include "common/engine_error.hpp"
#include "common/result.hpp"
#include "categorizer/records.hpp"

namespace lorvane::categorizer {

Result<CategorizeResponse, EngineError> categorize(const CategorizeRequest& request);
Result<DeriveRulesResponse, EngineError> derive_category_rules(const DeriveRulesRequest& request);

}  // namespace lorvane::categorizer
