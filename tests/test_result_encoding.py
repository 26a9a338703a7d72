import json
import random

import pytest

import lorvane
from conftest import loan


def rate_text(rate):
    """The text the JSON writer gives the echoed inflationRate (any rate the writer may meet
    is valid there, while the interest rate also decides whether the loan can be repaid)."""
    text = lorvane.compute_emi_json(json.dumps(loan(inflationRate=rate)))
    return text.split('"inflationRate":', 1)[1].split(",", 1)[0]


@pytest.mark.parametrize(
    "value, text",
    [
        (0.0, "0.0"),
        (1, "1.0"),
        (12, "12.0"),
        (0.1, "0.1"),
        (1.5, "1.5"),
        (1234.5678, "1234.5678"),
        (1e15, "1000000000000000.0"),
        (1e16, "1e+16"),
        (1.5e16, "1.5e+16"),
        (123456789012345680000, "1.2345678901234568e+20"),
        (0.00001, "0.00001"),
        (0.000001, "1e-6"),
        (0.00000123, "1.23e-6"),
        (1 / 3, "0.3333333333333333"),
        (1.7976931348623157e308, "1.7976931348623157e+308"),
        (5e-324, "5e-324"),
        (999999999999999.9, "999999999999999.9"),
        (9007199254740993, "9007199254740992.0"),
    ],
)
def test_float_text_form(value, text):
    assert rate_text(value) == text


def significant_digits(text):
    mantissa = text.lower().split("e")[0].replace(".", "").lstrip("0")
    return mantissa.rstrip("0")


def test_float_text_form_round_trips_random_doubles():
    rng = random.Random(7)
    for _ in range(2000):
        value = abs(rng.choice([rng.random() * 10 ** rng.randint(-30, 30), rng.uniform(0, 1e6)]))
        text = rate_text(value)
        assert float(text) == value
        assert significant_digits(text) == significant_digits(repr(value))


def test_negative_zero_rate_is_echoed_as_negative_zero():
    assert rate_text(-0.0) == "-0.0"


@pytest.mark.parametrize(
    "text, escaped",
    [
        ('say "hi"', r'say \"hi\"'),
        ("back\\slash", r"back\\slash"),
        ("tab\there", r"tab\there"),
        ("line\nfeed", r"line\nfeed"),
        ("\b\f\r", r"\b\f\r"),
        ("\x01\x1f\x00", r"\u0001\u001f\u0000"),
        ("é €", "é €"),
        ("a/b\x7f", "a/b\x7f"),
    ],
)
def test_string_escapes(text, escaped):
    request = {"data": [{"narration": "x"}], "rules": [{"pattern": "", "category": text, "merchant": "m"}]}
    out = lorvane.categorize_transactions_json(json.dumps(request))
    assert out == '{"data":[{"category":"' + escaped + '","merchant":"m"}]}'


def test_absent_entries_and_empty_lists():
    request = {"data": [{"narration": "a"}, {"narration": "b"}], "rules": [{"pattern": "a", "category": "c", "merchant": "m"}]}
    assert lorvane.categorize_transactions_json(json.dumps(request)) == (
        '{"data":[{"category":"c","merchant":"m"},null]}'
    )
    assert lorvane.categorize_transactions(request) == {"data": [{"category": "c", "merchant": "m"}, None]}
    assert lorvane.categorize_transactions_json('{"data":[],"rules":[]}') == '{"data":[]}'


def test_single_month_json_line():
    assert lorvane.compute_emi_json('{"mode":"emi","loanAmount":1000,"months":1,"interestRate":12}') == (
        '{"mode":"emi","loanAmount":1000,"emi":1010,"months":1,"interestRate":12.0,"inflationRate":0.0,'
        '"totals":{"nominalPaid":1010,"realPaid":1010,"nominalPrincipal":1000,"nominalInterest":10,'
        '"realPrincipal":1000,"realInterest":10},"schedule":[{"index":0,"emi":1010,"principal":1000,'
        '"interest":10,"outstanding":0,"realEmi":1010,"realPrincipal":1000,"realInterest":10,'
        '"remainingEmi":0,"realRemainingEmi":0}],"years":[]}'
    )


def random_loan(rng):
    mode = rng.choice(["emi", "tenure", "loanAmount"])
    request = {"mode": mode, "interestRate": rng.choice([0, 0.5, 7.25, 12, 36])}
    if rng.random() < 0.7:
        request["inflationRate"] = rng.choice([0, 2.5, 6, 40])
    if rng.random() < 0.6:
        request["start"] = f"{rng.randint(1990, 2100)}-{rng.randint(1, 12):02d}"
    if mode != "loanAmount":
        request["loanAmount"] = rng.choice([1000, 250000.5, 1e7])
    if mode != "tenure":
        request["months"] = rng.randint(1, 600)
    if mode != "emi":
        request["emi"] = rng.choice([100, 2500.75, 90000])
    return request


def test_python_result_equals_the_json_text():
    rng = random.Random(11)
    compared = 0
    for _ in range(300):
        request = random_loan(rng)
        try:
            as_object = lorvane.compute_emi(request)
        except ValueError as error:
            with pytest.raises(ValueError) as caught:
                lorvane.compute_emi_json(json.dumps(request))
            assert str(caught.value) == str(error)
            continue
        text = lorvane.compute_emi_json(json.dumps(request))
        assert json.loads(text) == as_object
        # The same keys in the same order at every level.
        assert json.dumps(json.loads(text)) == json.dumps(as_object)
        compared += 1
    assert compared > 100


def test_year_summaries_have_twelve_entries_with_gaps():
    result = lorvane.compute_emi(loan(start="2023-12"))
    assert [y["year"] for y in result["years"]] == [2023, 2024]
    assert [m is None for m in result["years"][0]["months"]] == [True] * 11 + [False]
    assert [m is None for m in result["years"][1]["months"]] == [False] * 11 + [True]
