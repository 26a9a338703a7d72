// The one failure type of the engines; its message is exactly what the caller sees.
#pragma once

#include <cstdint>
#include <string>

namespace lorvane {

struct EngineError {
    enum class Kind { InvalidInput, PaymentTooSmall, TenureLimit, BalanceNotLowered };

    Kind kind;
    std::string detail;      // InvalidInput
    double payment = 0.0;    // PaymentTooSmall, BalanceNotLowered: the monthly instalment
    double interest = 0.0;   // PaymentTooSmall: the first month's interest
    std::uint64_t months = 0;   // TenureLimit
    std::uint32_t maximum = 0;  // TenureLimit
    double balance = 0.0;    // BalanceNotLowered: the balance the month started from

    static EngineError invalid_input(std::string detail) {
        return {Kind::InvalidInput, std::move(detail)};
    }
    static EngineError payment_too_small(double payment, double interest) {
        return {Kind::PaymentTooSmall, {}, payment, interest};
    }
    static EngineError tenure_limit(std::uint64_t months, std::uint32_t maximum) {
        return {Kind::TenureLimit, {}, 0.0, 0.0, months, maximum};
    }
    // A month whose payment leaves the balance where it was (or above it).
    static EngineError balance_not_lowered(double payment, double balance) {
        return {Kind::BalanceNotLowered, {}, payment, 0.0, 0, 0, balance};
    }

    std::string message() const;
};

// Fixed-point text with exactly two decimals: the exact binary value rounded to the
// nearest hundredth, ties to even; "NaN", "inf" and "-inf" for the non-finite values.
void append_fixed2(std::string& out, double value);

}  // namespace lorvane
