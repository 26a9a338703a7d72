#include "emi/validate.hpp"

#include <cmath>
#include <string>
#include <string_view>

#include "emi/engine.hpp"

namespace lorvane::emi {
namespace {

std::string_view mode_text(EmiMode mode) {
    return EnumNames<EmiMode>::message_names[static_cast<std::size_t>(mode)];
}

bool zero_or_greater(double value) { return std::isfinite(value) && value >= 0; }
bool positive(double value) { return std::isfinite(value) && value > 0; }

EngineError invalid(std::string detail) { return EngineError::invalid_input(std::move(detail)); }

// loanAmount or emi: present, then a finite number above zero, then small enough that
// every whole unit up to it is exact in a double.
std::optional<EngineError> check_amount(const std::optional<double>& value,
                                        std::string_view key, EmiMode mode) {
    if (!value) {
        std::string detail(key);
        detail += " is required when solving for ";
        detail += mode_text(mode);
        return invalid(std::move(detail));
    }
    if (!positive(*value)) {
        std::string detail(key);
        detail += " must be greater than zero";
        return invalid(std::move(detail));
    }
    if (*value > MAX_EXACT_AMOUNT) {
        std::string detail(key);
        detail += " must be at most 9007199254740992";
        return invalid(std::move(detail));
    }
    return std::nullopt;
}

// months: present, then not 0, then within the tenure limit.
std::optional<EngineError> check_months(const std::optional<std::uint32_t>& months,
                                        EmiMode mode) {
    if (!months) {
        std::string detail("months is required when solving for ");
        detail += mode_text(mode);
        return invalid(std::move(detail));
    }
    if (*months == 0) return invalid("months must be greater than zero");
    if (*months > MAX_TENURE_MONTHS) return EngineError::tenure_limit(*months, MAX_TENURE_MONTHS);
    return std::nullopt;
}

}  // namespace

std::optional<EngineError> validate_request(const EmiRequest& request) {
    if (!zero_or_greater(request.interest_rate)) {
        return invalid("interestRate must be zero or greater");
    }
    if (!zero_or_greater(request.inflation_rate)) {
        return invalid("inflationRate must be zero or greater");
    }
    switch (request.mode) {
    case EmiMode::Emi:
        if (auto error = check_amount(request.loan_amount, "loanAmount", request.mode)) return error;
        return check_months(request.months, request.mode);
    case EmiMode::Tenure:
        if (auto error = check_amount(request.loan_amount, "loanAmount", request.mode)) return error;
        return check_amount(request.emi, "emi", request.mode);
    case EmiMode::LoanAmount:
        if (auto error = check_amount(request.emi, "emi", request.mode)) return error;
        return check_months(request.months, request.mode);
    }
    return std::nullopt;
}

}  // namespace lorvane::emi
