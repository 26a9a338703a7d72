#include "emi/engine.hpp"

#include "emi/schedule.hpp"
#include "emi/solve.hpp"
#include "emi/validate.hpp"

namespace lorvane::emi {

Result<EmiResponse, EngineError> compute_loan(const EmiRequest& request) {
    if (auto error = validate_request(request)) return fail(std::move(*error));

    const double rate = monthly_rate(request.interest_rate);
    auto solved = solve_loan(request, rate);
    if (!solved) return fail(std::move(solved).error());

    if (request.start && !calendar_fits(*request.start, solved.value().months)) {
        return fail(EngineError::invalid_input(
            "start is too late: the schedule would pass the year 2147483647"));
    }
    return build_response(request, rate, solved.value());
}

}  // namespace lorvane::emi
