// Rule derivation over labelled narrations held as views, for callers that read them in
// place (the JSON request reader); the same derivation as derive_category_rules.
#pragma once

#include <span>
#include <string_view>

#include "categorizer/records.hpp"
#include "common/engine_error.hpp"
#include "common/result.hpp"

namespace lorvane::categorizer {

struct DeriveView {
    std::string_view narration;
    std::string_view category;
    std::string_view merchant;
};

Result<DeriveRulesResponse, EngineError> derive_rules_in_place(std::span<const DeriveView> data);

}  // namespace lorvane::categorizer
