#include "emi/schedule.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "emi/rounding.hpp"
#include "emi/saturating.hpp"

namespace lorvane::emi {
namespace {

// The float nearest to 1/12: twelve monthly steps of inflation make one year's.
constexpr double one_twelfth = 0.08333333333333333;

// Why a month at a positive rate left the balance where it was, or raised it: in the first
// month an instalment that does not even cover the interest, else one that lowers the
// balance by less than the rounding to whole units takes back.
EngineError never_repaid(std::uint32_t index, double instalment, double interest_due,
                         double balance) {
    if (index == 0 && instalment <= interest_due) {
        return EngineError::payment_too_small(instalment, interest_due);
    }
    return EngineError::balance_not_lowered(instalment, balance);
}

// Rows at the rounded instalment until the balance is gone or the n-th row closes it.
// Amounts stay floats until each row is stored; real terms are deflated to the first
// month's money by `inflation` per month. At a positive rate every month before the last
// must lower the balance: one that does not would repeat for ever, so the loan fails there.
Result<std::vector<ScheduleRow>, EngineError> build_rows(const SolvedLoan& loan,
                                                         double instalment, double rate,
                                                         double inflation) {
    std::vector<ScheduleRow> rows;
    rows.reserve(loan.months);
    double balance = loan.principal;
    double deflator = 1.0;
    for (std::uint32_t i = 0; i < loan.months;) {
        const double interest_due = rate * balance;
        double principal = 0;
        double interest = 0;
        double paid = 0;
        if (i == loan.months - 1 || instalment >= balance) {
            principal = round_half_up(balance);
            interest = round_half_up(interest_due);
            paid = principal + interest;
            balance = 0;
        } else {
            const double repaid = instalment - interest_due;
            const double remaining = round_half_up(balance - repaid);
            if (rate != 0 && !(remaining < balance)) {
                return fail(never_repaid(i, instalment, interest_due, balance));
            }
            principal = round_half_up(repaid);
            interest = instalment - principal;
            paid = instalment;
            balance = remaining;
        }
        const double real_principal = round_half_up(principal / deflator);
        const double real_interest = round_half_up(interest / deflator);

        ScheduleRow& row = rows.emplace_back();
        row.index = i;
        row.emi = to_whole_units(paid);
        row.principal = to_whole_units(principal);
        row.interest = to_whole_units(interest);
        row.outstanding = to_whole_units(balance);
        row.real_emi = to_whole_units(real_principal + real_interest);
        row.real_principal = to_whole_units(real_principal);
        row.real_interest = to_whole_units(real_interest);

        ++i;
        if (balance == 0) break;
        deflator *= inflation;
    }
    return rows;
}

void fill_remaining(std::vector<ScheduleRow>& rows) {
    std::int64_t nominal = 0;
    std::int64_t real = 0;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        row->remaining_emi = nominal;
        row->real_remaining_emi = real;
        nominal = saturating_add(nominal, row->emi);
        real = saturating_add(real, row->real_emi);
    }
}

void place_in_calendar(std::vector<ScheduleRow>& rows, const YearMonth& start) {
    for (ScheduleRow& row : rows) {
        const std::uint32_t k = row.index + start.month - 1;
        row.year = start.year + static_cast<std::int32_t>(k / 12);
        row.month = k % 12 + 1;
    }
}

std::vector<YearSummary> summarize_years(const std::vector<ScheduleRow>& rows) {
    std::vector<YearSummary> years;
    for (const ScheduleRow& row : rows) {
        if (years.empty() || years.back().year != *row.year) {
            YearSummary& summary = years.emplace_back();
            summary.year = *row.year;
            summary.months.resize(12);
        }
        YearSummary& summary = years.back();
        summary.months[*row.month - 1] = MonthAmounts{row.emi, row.real_emi};
        summary.nominal_total = saturating_add(summary.nominal_total, row.emi);
        summary.real_total = saturating_add(summary.real_total, row.real_emi);
        summary.closing_outstanding = row.outstanding;
    }
    return years;
}

EmiTotals total(const std::vector<ScheduleRow>& rows, std::int64_t loan_amount) {
    EmiTotals totals;
    for (const ScheduleRow& row : rows) {
        totals.nominal_paid = saturating_add(totals.nominal_paid, row.emi);
        totals.real_paid = saturating_add(totals.real_paid, row.real_emi);
    }
    totals.nominal_principal = loan_amount;
    totals.nominal_interest = saturating_sub(totals.nominal_paid, loan_amount);
    totals.real_principal = loan_amount;
    totals.real_interest = saturating_sub(totals.real_paid, loan_amount);
    return totals;
}

}  // namespace

bool calendar_fits(const YearMonth& start, std::uint32_t months) {
    const std::int64_t last = std::int64_t{months} - 1 + start.month - 1;
    return start.year + last / 12 <= std::numeric_limits<std::int32_t>::max();
}

Result<EmiResponse, EngineError> build_response(const EmiRequest& request, double rate,
                                                const SolvedLoan& loan) {
    const double inflation = std::pow(request.inflation_rate / 100 + 1, one_twelfth);
    const double instalment = round_half_up(loan.instalment);

    EmiResponse response;
    response.mode = request.mode;
    response.loan_amount = to_whole_units(round_half_up(loan.principal));
    response.emi = to_whole_units(instalment);
    response.interest_rate = request.interest_rate;
    response.inflation_rate = request.inflation_rate;
    response.start = request.start;
    auto rows = build_rows(loan, instalment, rate, inflation);
    if (!rows) return fail(std::move(rows).error());
    response.schedule = std::move(rows).value();
    response.months = static_cast<std::uint32_t>(response.schedule.size());
    fill_remaining(response.schedule);
    if (request.start) {
        place_in_calendar(response.schedule, *request.start);
        response.years = summarize_years(response.schedule);
    }
    response.totals = total(response.schedule, response.loan_amount);
    return response;
}

}  // namespace lorvane::emi
