// Solving for the quantity that a request's mode names.
#pragma once

#include <cstdint>

#include "common/engine_error.hpp"
#include "common/result.hpp"
#include "emi/records.hpp"

namespace lorvane::emi {

// Principal and instalment unrounded; months 1 to MAX_TENURE_MONTHS.
struct SolvedLoan {
    double principal = 0.0;
    double instalment = 0.0;
    std::uint32_t months = 0;
};

// The monthly rate of an annual percentage: two divisions, in this order.
inline double monthly_rate(double annual_percent) { return (annual_percent / 100) / 12; }

// Whole months to repay `principal` at `instalment` a month, the last one partial.
Result<std::uint32_t, EngineError> derive_tenure(double principal, double instalment,
                                                 double rate);

// For a validated request and its monthly rate.
Result<SolvedLoan, EngineError> solve_loan(const EmiRequest& request, double rate);

}  // namespace lorvane::emi
