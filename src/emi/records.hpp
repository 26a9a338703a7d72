// The loan request and result records, each with its one description.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/describe.hpp"

namespace lorvane::emi {

enum class EmiMode { Emi, Tenure, LoanAmount };

// A calendar month; exists only through parse_year_month, so month is 1 to 12.
struct YearMonth {
    std::int32_t year = 0;
    std::uint32_t month = 1;
};

// "YYYY-MM" with optional "+" signs and leading zeros; the message names the whole text.
Result<YearMonth, std::string> parse_year_month(std::string_view text);
// The year padded to four digits, "-", the month in two digits.
void format_year_month(const YearMonth& value, std::string& out);

struct EmiRequest {
    EmiMode mode = EmiMode::Emi;
    std::optional<double> loan_amount;
    std::optional<double> emi;
    std::optional<std::uint32_t> months;
    double interest_rate = 0.0;
    double inflation_rate = 0.0;
    std::optional<YearMonth> start;
};

struct ScheduleRow {
    std::uint32_t index = 0;
    std::optional<std::int32_t> year;
    std::optional<std::uint32_t> month;
    std::int64_t emi = 0;
    std::int64_t principal = 0;
    std::int64_t interest = 0;
    std::int64_t outstanding = 0;
    std::int64_t real_emi = 0;
    std::int64_t real_principal = 0;
    std::int64_t real_interest = 0;
    std::int64_t remaining_emi = 0;
    std::int64_t real_remaining_emi = 0;
};

struct MonthAmounts {
    std::int64_t nominal = 0;
    std::int64_t real = 0;
};

struct YearSummary {
    std::int32_t year = 0;
    std::vector<std::optional<MonthAmounts>> months;  // always 12 entries, January first
    std::int64_t nominal_total = 0;
    std::int64_t real_total = 0;
    std::int64_t closing_outstanding = 0;
};

struct EmiTotals {
    std::int64_t nominal_paid = 0;
    std::int64_t real_paid = 0;
    std::int64_t nominal_principal = 0;
    std::int64_t nominal_interest = 0;
    std::int64_t real_principal = 0;
    std::int64_t real_interest = 0;
};

struct EmiResponse {
    EmiMode mode = EmiMode::Emi;
    std::int64_t loan_amount = 0;
    std::int64_t emi = 0;
    std::uint32_t months = 0;
    double interest_rate = 0.0;
    double inflation_rate = 0.0;
    std::optional<YearMonth> start;
    EmiTotals totals;
    std::vector<ScheduleRow> schedule;
    std::vector<YearSummary> years;
};

}  // namespace lorvane::emi

namespace lorvane {

// A mode is written "emi" in requests and results, and "Emi" in the engine's messages.
template <>
struct EnumNames<emi::EmiMode> {
    static constexpr std::array<std::string_view, 3> names{"emi", "tenure", "loanAmount"};
    static constexpr std::array<std::string_view, 3> message_names{"Emi", "Tenure", "LoanAmount"};
};

template <>
struct TextForm<emi::YearMonth> {
    static Result<emi::YearMonth, std::string> parse(std::string_view text) {
        return emi::parse_year_month(text);
    }
    static void format(const emi::YearMonth& value, std::string& out) {
        emi::format_year_month(value, out);
    }
};

template <>
struct Describe<emi::EmiRequest> {
    using R = emi::EmiRequest;
    static constexpr std::string_view name = "EmiRequest";
    static constexpr auto fields = std::tuple{
        field("mode", &R::mode),
        field("loanAmount", &R::loan_amount, Presence::optional),
        field("emi", &R::emi, Presence::optional),
        field("months", &R::months, Presence::optional),
        field("interestRate", &R::interest_rate),
        field("inflationRate", &R::inflation_rate, Presence::defaulted),
        field("start", &R::start, Presence::optional),
    };
};

template <>
struct Describe<emi::ScheduleRow> {
    using R = emi::ScheduleRow;
    static constexpr std::string_view name = "ScheduleRow";
    static constexpr auto fields = std::tuple{
        field("index", &R::index),
        field("year", &R::year, Presence::optional),
        field("month", &R::month, Presence::optional),
        field("emi", &R::emi),
        field("principal", &R::principal),
        field("interest", &R::interest),
        field("outstanding", &R::outstanding),
        field("realEmi", &R::real_emi),
        field("realPrincipal", &R::real_principal),
        field("realInterest", &R::real_interest),
        field("remainingEmi", &R::remaining_emi),
        field("realRemainingEmi", &R::real_remaining_emi),
    };
};

template <>
struct Describe<emi::MonthAmounts> {
    using R = emi::MonthAmounts;
    static constexpr std::string_view name = "MonthAmounts";
    static constexpr auto fields = std::tuple{
        field("nominal", &R::nominal),
        field("real", &R::real),
    };
};

template <>
struct Describe<emi::YearSummary> {
    using R = emi::YearSummary;
    static constexpr std::string_view name = "YearSummary";
    static constexpr auto fields = std::tuple{
        field("year", &R::year),
        field("months", &R::months),
        field("nominalTotal", &R::nominal_total),
        field("realTotal", &R::real_total),
        field("closingOutstanding", &R::closing_outstanding),
    };
};

template <>
struct Describe<emi::EmiTotals> {
    using R = emi::EmiTotals;
    static constexpr std::string_view name = "EmiTotals";
    static constexpr auto fields = std::tuple{
        field("nominalPaid", &R::nominal_paid),
        field("realPaid", &R::real_paid),
        field("nominalPrincipal", &R::nominal_principal),
        field("nominalInterest", &R::nominal_interest),
        field("realPrincipal", &R::real_principal),
        field("realInterest", &R::real_interest),
    };
};

template <>
struct Describe<emi::EmiResponse> {
    using R = emi::EmiResponse;
    static constexpr std::string_view name = "EmiResponse";
    static constexpr auto fields = std::tuple{
        field("mode", &R::mode),
        field("loanAmount", &R::loan_amount),
        field("emi", &R::emi),
        field("months", &R::months),
        field("interestRate", &R::interest_rate),
        field("inflationRate", &R::inflation_rate),
        field("start", &R::start, Presence::optional),
        field("totals", &R::totals),
        field("schedule", &R::schedule),
        field("years", &R::years),
    };
};

}  // namespace lorvane
