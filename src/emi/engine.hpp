// The loan engine: validate an EmiRequest, solve for the missing quantity, build the
// schedule, the year summaries and the totals.
#pragma once

#include <cstdint>

#include "common/engine_error.hpp"
#include "common/result.hpp"
#include "emi/records.hpp"

namespace lorvane::emi {

inline constexpr std::uint32_t MAX_TENURE_MONTHS = 600;

// 2^53: the largest amount up to which every whole currency unit is exact in a double.
// Given and solved amounts stay at or below it, so no sum of at most 600 rows can leave
// the signed 64-bit range.
inline constexpr double MAX_EXACT_AMOUNT = 9007199254740992.0;

Result<EmiResponse, EngineError> compute_loan(const EmiRequest& request);

}  // namespace lorvane::emi
