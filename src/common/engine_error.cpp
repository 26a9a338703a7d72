#include "common/engine_error.hpp"

#include <charconv>
#include <cmath>

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

std::string EngineError::message() const {
    std::string text;
    switch (kind) {
    case Kind::InvalidInput:
        text = "invalid input: ";
        text += detail;
        break;
    case Kind::PaymentTooSmall:
        text = "monthly payment of ";
        append_fixed2(text, payment);
        text += " does not cover the first month's interest of ";
        append_fixed2(text, interest);
        text += "; the loan would never be repaid";
        break;
    case Kind::TenureLimit:
        text = "tenure of " + std::to_string(months) + " months exceeds the maximum supported " +
               std::to_string(maximum) + " months";
        break;
    case Kind::BalanceNotLowered:
        text = "monthly payment of ";
        append_fixed2(text, payment);
        text += " does not lower the balance of ";
        append_fixed2(text, balance);
        text += " by a whole unit; the loan would never be repaid";
        break;
    }
    return text;
}

}  // namespace lorvane
