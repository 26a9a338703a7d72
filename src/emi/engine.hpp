// The loan engine: validate an EmiRequest, solve for the missing quantity, build the
// schedule, the year summaries and the totals.
#pragma once

#include <cstdint>

#include "common/engine_error.hpp"
#include "common/result.hpp"
#include "emi/records.hpp"

namespace lorvane::emi {

inline constexpr std::uint32_t MAX_TENURE_MONTHS = 600;

Result<EmiResponse, EngineError> compute_loan(const EmiRequest& request);

}  // namespace lorvane::emi
