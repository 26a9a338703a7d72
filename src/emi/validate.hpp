// The checks that open compute_loan: the two rates, then the fields the mode needs.
#pragma once

#include <optional>

#include "common/engine_error.hpp"
#include "emi/records.hpp"

namespace lorvane::emi {

// The first failed check, or nothing when the request may be solved.
std::optional<EngineError> validate_request(const EmiRequest& request);

}  // namespace lorvane::emi
