// The amortisation schedule, its calendar, the year summaries and the totals.
#pragma once

#include <cstdint>

#include "common/engine_error.hpp"
#include "common/result.hpp"
#include "emi/records.hpp"
#include "emi/solve.hpp"

namespace lorvane::emi {

// Whether every row of an n-month schedule from `start` has a year that fits 32 bits.
bool calendar_fits(const YearMonth& start, std::uint32_t months);

// The finished response for a validated request, its monthly rate and its solved loan
// (the calendar must fit), or the failure of a loan whose balance stops falling.
Result<EmiResponse, EngineError> build_response(const EmiRequest& request, double rate,
                                                const SolvedLoan& loan);

}  // namespace lorvane::emi
