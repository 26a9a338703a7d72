// Rule derivation over labelled narrations held as views, for callers that read them in
// place (the JSON request reader); the same derivation as derive_category_rules.
#pragma once

#include <span>
#include <string_view>

#include "categorizer/records.hpp"
#include "common/engine_error.hpp"
#include "common/result.hpp"

namespace lorvane::categorizer {

using DeriveView = BasicDeriveInput<std::string_view>;

Result<DeriveRulesResponse, EngineError> derive_rules_in_place(std::span<const DeriveView> data);

}  // namespace lorvane::categorizer
