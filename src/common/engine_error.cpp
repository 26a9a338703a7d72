#include "common/engine_error.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

namespace lorvane {

void append_fixed2(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    // The largest double has 309 integer digits; two decimals, a sign and a point fit.
    char buffer[330];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::fixed, 2);
    (void)ec;
    out.append(buffer, end);
}

namespace {

// "monthly payment of {payment}{middle}{amount}{after}; the loan would never be repaid"
std::string never_repaid(double payment, std::string_view middle, double amount,
                         std::string_view after) {
    std::string text = "monthly payment of ";
    append_fixed2(text, payment);
    text += middle;
    append_fixed2(text, amount);
    text += after;
    text += "; the loan would never be repaid";
    return text;
}

}  // namespace

std::string EngineError::message() const {
    std::string text;
    switch (kind) {
    case Kind::InvalidInput:
        text = "invalid input: ";
        text += detail;
        break;
    case Kind::PaymentTooSmall:
        text = never_repaid(payment, " does not cover the first month's interest of ", interest,
                            "");
        break;
    case Kind::TenureLimit:
        text = "tenure of " + std::to_string(months) + " months exceeds the maximum supported " +
               std::to_string(maximum) + " months";
        break;
    case Kind::BalanceNotLowered:
        text = never_repaid(payment, " does not lower the balance of ", balance,
                            " by a whole unit");
        break;
    }
    return text;
}

}  // namespace lorvane
