#include "emi/solve.hpp"

#include <cmath>
#include <limits>

#include "emi/engine.hpp"
#include "emi/rounding.hpp"

namespace lorvane::emi {
namespace {

// Zero rate, or a rate so small that the growth over the term is exactly 1 in floating
// point (where the annuity formulas would divide by zero): the flat formulas apply.
double instalment_for(double principal, double months, double rate) {
    if (rate != 0) {
        const double growth = std::pow(1 + rate, months);
        if (growth != 1) return ((rate * principal) * growth) / (growth - 1);
    }
    return principal / months;
}

double principal_for(double instalment, double months, double rate) {
    if (rate != 0) {
        const double growth = std::pow(1 + rate, months);
        if (growth != 1) return ((growth - 1) * instalment) / (rate * growth);
    }
    return months * instalment;
}

// A solved amount the schedule can be built from: finite, and at most MAX_EXACT_AMOUNT once
// rounded to whole units. From amounts within that bound the formulas give NaN or an
// infinity only through an overflow (of (1 + r)^n, or of a product with r), that is, for a
// rate and tenure at which no instalment could ever repay the loan.
bool computable(double amount) {
    return std::isfinite(amount) && round_half_up(amount) <= MAX_EXACT_AMOUNT;
}

std::uint64_t saturating_months(double whole) {
    constexpr double two_to_64 = 18446744073709551616.0;
    if (whole >= two_to_64) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(whole);
}

}  // namespace

Result<std::uint32_t, EngineError> derive_tenure(double principal, double instalment,
                                                 double rate) {
    double months = 0;
    if (rate == 0) {
        months = principal / instalment;
    } else {
        const double first_interest = principal * rate;
        if (first_interest >= instalment) {
            return fail(EngineError::payment_too_small(instalment, first_interest));
        }
        months = std::log(instalment / (instalment - first_interest)) / std::log(rate + 1);
    }
    const double whole = std::ceil(months);
    if (!std::isfinite(whole) || whole < 1) {
        return fail(EngineError::invalid_input(
            "could not derive a valid tenure from the supplied loan amount and emi"));
    }
    if (whole > MAX_TENURE_MONTHS) {
        return fail(EngineError::tenure_limit(saturating_months(whole), MAX_TENURE_MONTHS));
    }
    return static_cast<std::uint32_t>(whole);
}

Result<SolvedLoan, EngineError> solve_loan(const EmiRequest& request, double rate) {
    switch (request.mode) {
    case EmiMode::Emi: {
        const double principal = *request.loan_amount;
        const std::uint32_t months = *request.months;
        const double instalment = instalment_for(principal, months, rate);
        if (!computable(instalment)) {
            return fail(EngineError::invalid_input(
                "the instalment is too large to compute for this rate and tenure"));
        }
        return SolvedLoan{principal, instalment, months};
    }
    case EmiMode::Tenure: {
        const double principal = *request.loan_amount;
        const double instalment = *request.emi;
        auto months = derive_tenure(principal, instalment, rate);
        if (!months) return fail(std::move(months).error());
        return SolvedLoan{principal, instalment, months.value()};
    }
    case EmiMode::LoanAmount: {
        const double instalment = *request.emi;
        const std::uint32_t months = *request.months;
        const double principal = principal_for(instalment, months, rate);
        if (!computable(principal)) {
            return fail(EngineError::invalid_input(
                "the loan amount is too large to compute for this instalment, rate and tenure"));
        }
        return SolvedLoan{principal, instalment, months};
    }
    }
    return fail(EngineError::invalid_input("unknown mode"));
}

}  // namespace lorvane::emi
