"""Loans that cannot be repaid or computed fail with their own message in both forms;
amounts up to 2**53 are computed exactly."""

import json

import pytest

import lorvane

TWO_53 = 2.0**53
ABOVE_TWO_53 = TWO_53 + 2  # the next float above 2**53 (math.nextafter is 3.9+)
NEVER = "; the loan would never be repaid"


def no_principal(payment, interest):
    return f"monthly payment of {payment} does not cover the first month's interest of {interest}" \
        + NEVER


def not_lowered(payment, balance):
    return f"monthly payment of {payment} does not lower the balance of {balance} by a whole unit" \
        + NEVER


INSTALMENT_TOO_LARGE = "invalid input: the instalment is too large to compute for this rate and tenure"
PRINCIPAL_TOO_LARGE = ("invalid input: the loan amount is too large to compute for this instalment, "
                       "rate and tenure")

UNREPAYABLE = {
    # (1 + r)^600 overflows: the instalment formula gives NaN (it was emi 0, every row 0)
    "instalment NaN": (
        dict(mode="emi", loanAmount=100000, months=600, interestRate=2717), INSTALMENT_TOO_LARGE),
    # ... or infinity (it was emi 9223372036854775807)
    "instalment infinite": (
        dict(mode="emi", loanAmount=100000, months=600, interestRate=2710), INSTALMENT_TOO_LARGE),
    "instalment infinite from r * P": (
        dict(mode="emi", loanAmount=1e6, months=1, interestRate=1e308), INSTALMENT_TOO_LARGE),
    "instalment NaN from a huge rate": (
        dict(mode="emi", loanAmount=1000, months=3, interestRate=1e308), INSTALMENT_TOO_LARGE),
    "principal NaN": (
        dict(mode="loanAmount", emi=1000, months=600, interestRate=2717), PRINCIPAL_TOO_LARGE),
    "principal above 2**53": (
        dict(mode="loanAmount", emi=TWO_53, months=2, interestRate=0), PRINCIPAL_TOO_LARGE),
    # the balance grew every month (a principal of -56,408,026,136,217,240 in one row)
    "instalment below the first interest": (
        dict(mode="emi", loanAmount=10728.757055458365, months=551,
             interestRate=88.75118697396961),
        no_principal("793.00", "793.49")),
    # 359 interest-only rows and a last payment of 20,400
    "instalment equal to the first interest": (
        dict(mode="emi", loanAmount=20000, months=360, interestRate=24),
        no_principal("400.00", "400.00")),
    # the rounded instalment is at most the interest although the given one exceeds it
    "tenure, rounded instalment equal to the interest": (
        dict(mode="tenure", loanAmount=1000, emi=10.1, interestRate=12),
        no_principal("10.00", "10.00")),
    # the instalment rounds to 0 at a positive rate
    "instalment rounds to zero": (
        dict(mode="emi", loanAmount=100, months=600, interestRate=1),
        no_principal("0.00", "0.08")),
    # 0.5 of principal a month, which rounding to whole units undoes
    "first month lowers by half a unit": (
        dict(mode="emi", loanAmount=3000, months=360, interestRate=15),
        not_lowered("38.00", "3000.00")),
    # the first month rounds the unrounded 3000.4 down to 3000; the second is stuck there
    "second month lowers by half a unit": (
        dict(mode="emi", loanAmount=3000.4, months=360, interestRate=15),
        not_lowered("38.00", "3000.00")),
    "solved principal stuck in its second month": (
        dict(mode="loanAmount", emi=0.3, months=12, interestRate=12),
        not_lowered("0.00", "3.00")),
    # amounts saturated at 2**63 - 1 and sums were not the sums of the rows
    "loan amount 1e19": (
        dict(mode="emi", loanAmount=1e19, months=12, interestRate=12),
        "invalid input: loanAmount must be at most 9007199254740992"),
    "loan amount 1e300": (
        dict(mode="emi", loanAmount=1e300, months=3, interestRate=12),
        "invalid input: loanAmount must be at most 9007199254740992"),
    "tenure loan amount above 2**53": (
        dict(mode="tenure", loanAmount=ABOVE_TWO_53, emi=1, interestRate=0),
        "invalid input: loanAmount must be at most 9007199254740992"),
    "tenure emi above 2**53": (
        dict(mode="tenure", loanAmount=1000, emi=ABOVE_TWO_53, interestRate=0),
        "invalid input: emi must be at most 9007199254740992"),
    "emi 1e300": (
        dict(mode="loanAmount", emi=1e300, months=600, interestRate=0),
        "invalid input: emi must be at most 9007199254740992"),
    # the bound comes after the positive check of the same field, before the next field
    "loan amount bound before a missing emi": (
        dict(mode="tenure", loanAmount=1e19, interestRate=12),
        "invalid input: loanAmount must be at most 9007199254740992"),
    "months checked after the amount bound": (
        dict(mode="emi", loanAmount=1e19, months=601, interestRate=12),
        "invalid input: loanAmount must be at most 9007199254740992"),
}


def raised(function, argument):
    with pytest.raises(ValueError) as caught:
        function(argument)
    return str(caught.value)


@pytest.mark.parametrize("request_fields, message", UNREPAYABLE.values(), ids=UNREPAYABLE.keys())
def test_unrepayable_loans_fail_in_both_forms(request_fields, message):
    assert raised(lorvane.compute_emi, request_fields) == message
    assert raised(lorvane.compute_emi_json, json.dumps(request_fields)) == message


def result_of(request_fields):
    as_object = lorvane.compute_emi(request_fields)
    assert json.loads(lorvane.compute_emi_json(json.dumps(request_fields))) == as_object
    return as_object


# Each accepted at the bound; the same with the next double above it fails.
BOUNDS = {
    "loan amount": (dict(mode="emi", loanAmount=TWO_53, months=1, interestRate=0),
                    dict(loanAmount=ABOVE_TWO_53),
                    "invalid input: loanAmount must be at most 9007199254740992"),
    "emi": (dict(mode="tenure", loanAmount=TWO_53, emi=TWO_53, interestRate=0),
            dict(emi=ABOVE_TWO_53), "invalid input: emi must be at most 9007199254740992"),
    # r = 1 and one month: the instalment is exactly twice the loan amount
    "solved instalment": (dict(mode="emi", loanAmount=2.0**52, months=1, interestRate=1200),
                          dict(loanAmount=2.0**52 + 1), INSTALMENT_TOO_LARGE),
    "solved principal": (dict(mode="loanAmount", emi=2.0**52, months=2, interestRate=0),
                         dict(emi=2.0**52 + 1), PRINCIPAL_TOO_LARGE),
}


@pytest.mark.parametrize("at_bound, above, message", BOUNDS.values(), ids=BOUNDS.keys())
def test_amounts_up_to_two_to_the_53(at_bound, above, message):
    result = result_of(at_bound)
    assert 2**53 in (result["loanAmount"], result["emi"])
    rows = result["schedule"]
    assert result["totals"]["nominalPaid"] == sum(row["emi"] for row in rows)
    assert result["totals"]["nominalInterest"] == result["totals"]["nominalPaid"] \
        - result["loanAmount"]
    over = {**at_bound, **above}
    assert raised(lorvane.compute_emi, over) == message
    assert raised(lorvane.compute_emi_json, json.dumps(over)) == message


# Large loans that repay: every sum is the exact sum of its rows.
@pytest.mark.parametrize("request_fields", [
    dict(mode="emi", loanAmount=TWO_53, months=600, interestRate=12, inflationRate=5,
         start="2024-01"),
    dict(mode="emi", loanAmount=TWO_53, months=600, interestRate=0),
    dict(mode="loanAmount", emi=TWO_53 / 100, months=600, interestRate=24),
    dict(mode="tenure", loanAmount=TWO_53, emi=TWO_53 / 20, interestRate=36),
])
def test_largest_loans_sum_exactly(request_fields):
    result = result_of(request_fields)
    rows = result["schedule"]
    emis = [row["emi"] for row in rows]
    assert [row["remainingEmi"] for row in rows] == [sum(emis[i + 1:]) for i in range(len(rows))]
    assert result["totals"]["nominalPaid"] == sum(emis) < 2**63 - 1
    assert result["totals"]["realPaid"] == sum(row["realEmi"] for row in rows)
    balances = [result["loanAmount"]] + [row["outstanding"] for row in rows]
    assert all(later < earlier for earlier, later in zip(balances, balances[1:]))
    if result["years"]:
        assert sum(year["nominalTotal"] for year in result["years"]) == sum(emis)


# At a zero rate a payment lowers nothing but the balance, and the last row pays the rest:
# an instalment that rounds to 0 is a schedule, not a failure.
@pytest.mark.parametrize("request_fields, months, last_payment", [
    (dict(mode="emi", loanAmount=100, months=600, interestRate=0), 600, 100),
    (dict(mode="loanAmount", emi=0.3, months=600, interestRate=0), 600, 180),
    (dict(mode="tenure", loanAmount=100, emi=0.4, interestRate=0), 250, 100),
    # under half a unit: the first month's rounding leaves nothing
    (dict(mode="emi", loanAmount=0.49999999999999994, months=12, interestRate=0), 1, 0),
])
def test_zero_rate_with_an_instalment_of_zero_never_fails(request_fields, months, last_payment):
    result = result_of(request_fields)
    assert (result["emi"], result["months"]) == (0, months)
    assert [row["emi"] for row in result["schedule"]] == [0] * (months - 1) + [last_payment]
