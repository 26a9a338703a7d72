import collections.abc
import decimal
import fractions
import sys

import pytest

import lorvane
from conftest import loan


def error_of(function, request):
    with pytest.raises(ValueError) as caught:
        function(request)
    return str(caught.value)


@pytest.mark.parametrize(
    "request_, message",
    [
        ([], "unexpected type: 'list' object cannot be converted to 'Mapping'"),
        ("x", "unexpected type: 'str' object cannot be converted to 'Mapping'"),
        (None, "unexpected type: 'NoneType' object cannot be converted to 'Mapping'"),
        (dict(loan(), **{}) and {**loan(), 5: 1}, "dict keys must have type str"),
        ({"mode": "emi"}, "missing field `interestRate`"),
        ({"interestRate": 1}, "missing field `mode`"),
        ({}, "missing field `mode`"),
        (loan(mode="EMI"), "unknown variant `EMI`, expected one of `emi`, `tenure`, `loanAmount`"),
        (loan(mode={"emi": 1, "tenure": 2}), "expected tagged enum dict to have exactly 1 key"),
        (loan(mode={}), "expected tagged enum dict to have exactly 1 key"),
        (loan(mode={5: None}), "dict keys must have type str"),
        (loan(mode={"weekly": None}), "unknown variant `weekly`, expected one of `emi`, `tenure`, `loanAmount`"),
        (loan(mode=7), "expected either a str or dict for enum"),
        (loan(mode=["emi"]), "expected either a str or dict for enum"),
        (loan(interestRate="12"), "TypeError: must be real number, not str"),
        (loan(months=4294967296), "OverflowError: out of range integral type conversion attempted"),
        (loan(months=2**64 - 1), "OverflowError: out of range integral type conversion attempted"),
        (loan(months=12.0), "TypeError: 'float' object cannot be interpreted as an integer"),
        (loan(months="12"), "TypeError: 'str' object cannot be interpreted as an integer"),
        (loan(start=202405), "unexpected type: 'int' object cannot be converted to 'PyString'"),
        (loan(start="2024-13"), "month out of range in 2024-13"),
        (loan(start="2024-05-01"), "invalid month in 2024-05-01"),
        (loan(start="2024/05"), 'expected "YYYY-MM", got 2024/05'),
        (loan(start="-2024-05"), "invalid year in -2024-05"),
        ({**loan(), "inflationRate": None}, "TypeError: must be real number, not NoneType"),
        ({**loan(), "interestRate": None}, "TypeError: must be real number, not NoneType"),
    ],
)
def test_loan_request_messages(request_, message):
    assert error_of(lorvane.compute_emi, request_) == "invalid request: " + message


def test_negative_and_huge_months_wrap_the_interpreters_overflow_error():
    negative = error_of(lorvane.compute_emi, loan(months=-1))
    huge = error_of(lorvane.compute_emi, loan(months=2**64))
    assert negative.startswith("invalid request: OverflowError: ")
    assert huge.startswith("invalid request: OverflowError: ")


@pytest.mark.parametrize(
    "value, expected",
    [(500000, 500000), (True, 1), (decimal.Decimal("1234.5"), 1235), (fractions.Fraction(5, 2), 3)],
)
def test_float_fields_take_the_interpreters_conversion(value, expected):
    result = lorvane.compute_emi(loan(interestRate=0, loanAmount=value, months=1))
    assert result["loanAmount"] == expected


@pytest.mark.parametrize("mode", ["emi", {"emi": 123}, {"emi": None}])
def test_enumeration_forms(mode):
    assert lorvane.compute_emi(loan(mode=mode))["mode"] == "emi"


def test_unknown_keys_are_not_looked_at():
    request = {**loan(), "socket": object(), "fn": lambda: 1, "nested": {1: 2}}
    assert lorvane.compute_emi(request)["months"] == 12


def test_index_objects_are_accepted_for_months():
    class Twelve:
        def __index__(self):
            return 12

    assert lorvane.compute_emi(loan(months=Twelve()))["months"] == 12


def test_categorizer_list_and_record_kinds():
    assert lorvane.categorize_transactions({"data": "", "rules": ()}) == {"data": []}
    assert error_of(lorvane.categorize_transactions, {"data": "ab", "rules": []}) == (
        "invalid request: unexpected type: 'str' object cannot be converted to 'Mapping'"
    )
    assert error_of(lorvane.categorize_transactions, {"data": 5, "rules": []}) == (
        "invalid request: unexpected type: 'int' object cannot be converted to 'Sequence'"
    )
    assert error_of(lorvane.categorize_transactions, {"data": [{"narration": None}], "rules": []}) == (
        "invalid request: unexpected type: 'NoneType' object cannot be converted to 'PyString'"
    )
    assert error_of(lorvane.categorize_transactions, {"data": [], "rules": [{"pattern": "x"}]}) == (
        "invalid request: missing field `category`"
    )
    assert error_of(lorvane.derive_rules, {}) == "invalid request: missing field `data`"


class Mapping(collections.abc.Mapping):
    """A mapping whose parts can be made to misbehave."""

    def __init__(self, items, **faults):
        self.items_ = dict(items)
        self.faults = faults

    def _maybe(self, name):
        fault = self.faults.get(name)
        if fault is not None:
            raise fault

    def __getitem__(self, key):
        return self.items_[key]

    def __iter__(self):
        return iter(self.items_)

    def __len__(self):
        self._maybe("len")
        return self.faults.get("length", len(self.items_))

    def keys(self):
        self._maybe("keys")
        return list(self.items_.keys()) + self.faults.get("extra_keys", [])

    def values(self):
        self._maybe("values")
        return list(self.items_.values())


@pytest.mark.parametrize(
    "faults, message",
    [
        ({}, None),
        ({"keys": RuntimeError("no keys")}, "RuntimeError: no keys"),
        ({"values": KeyError("v")}, "KeyError: 'v'"),
        ({"len": ValueError("bad len")}, "ValueError: bad len"),
        ({"length": 10}, "IndexError: list index out of range"),
        ({"length": 1}, "missing field `interestRate`"),
        ({"extra_keys": ["mode"], "length": 5}, "IndexError: list index out of range"),
    ],
)
def test_custom_mappings(faults, message):
    request = Mapping(loan(), **faults)
    if message is None:
        assert lorvane.compute_emi(request)["emi"] == 8885
    else:
        assert error_of(lorvane.compute_emi, request) == "invalid request: " + message


def test_duplicate_keys_from_a_custom_mapping():
    class Twice(Mapping):
        def keys(self):
            return ["mode", "mode"]

        def values(self):
            return ["emi", "emi"]

        def __len__(self):
            return 2

    assert error_of(lorvane.compute_emi, Twice({})) == "invalid request: duplicate field `mode`"


@pytest.mark.parametrize("interrupt", [KeyboardInterrupt, SystemExit, GeneratorExit])
def test_non_exceptions_propagate_unchanged(interrupt):
    class Rate:
        def __float__(self):
            raise interrupt("stop")

    with pytest.raises(interrupt):
        lorvane.compute_emi(loan(interestRate=Rate()))
    with pytest.raises(interrupt):
        lorvane.compute_emi(Mapping(loan(), keys=interrupt("stop")))


def test_exception_whose_str_fails():
    class Broken(Exception):
        def __str__(self):
            raise RuntimeError("nope")

    class Rate:
        def __float__(self):
            raise Broken()

    assert error_of(lorvane.compute_emi, loan(interestRate=Rate())) == (
        "invalid request: test_exception_whose_str_fails.<locals>.Broken: <exception str() failed>"
    )


def test_exception_text_with_surrogates_is_replaced():
    class Rate:
        def __float__(self):
            raise ValueError("bad \ud800 value")

    assert error_of(lorvane.compute_emi, loan(interestRate=Rate())) == (
        "invalid request: ValueError: bad \ufffd value"
    )


def test_surrogate_in_a_key_or_text_is_an_interpreter_error():
    message = error_of(lorvane.compute_emi, {**loan(), "\ud800": 1})
    assert message.startswith("invalid request: UnicodeEncodeError: ")
    message = error_of(lorvane.categorize_transactions, {"data": [{"narration": "\udfff"}], "rules": []})
    assert message.startswith("invalid request: UnicodeEncodeError: ")


class TextSubclass(str):
    pass


def runtime_key(key):
    """The same key as a str made at run time, not the interned one of the source."""
    return "".join(list(key))


# A rule written every way a caller may write it: read by the quick path for plain dicts
# of the record's own keys, or left to the general reading, the result is the same.
RULE_FORMS = [
    ("plain", lambda r: dict(r)),
    ("keys made at run time", lambda r: {runtime_key(k): v for k, v in r.items()}),
    ("an unknown key too", lambda r: {**r, "note": object()}),
    ("an unknown key first", lambda r: {"note": 1, **r}),
    ("texts of a str subclass", lambda r: {k: TextSubclass(v) for k, v in r.items()}),
    ("a dict subclass", lambda r: type("Rule", (dict,), {})(r)),
    ("keys in another order", lambda r: dict(reversed(list(r.items())))),
]


@pytest.mark.parametrize("make", [f for _, f in RULE_FORMS], ids=[n for n, _ in RULE_FORMS])
def test_every_way_of_writing_a_record_reads_the_same(make):
    rule = {"pattern": "café", "category": "Eating out", "merchant": "Café Mocha"}
    request = {"data": [make({"narration": "CAFÉ MOCHA 12"}), make({"narration": "bus"})],
               "rules": [make(rule)]}
    expected = {"data": [{"category": "Eating out", "merchant": "Café Mocha"}, None]}
    assert lorvane.categorize_transactions(request) == expected


@pytest.mark.parametrize(
    "rule, message",
    [
        ({"pattern": "x", "category": "\ud800", "merchant": "m"}, "invalid request: UnicodeEncodeError: "),
        ({"pattern": "x", "category": 5, "merchant": "m"},
         "invalid request: unexpected type: 'int' object cannot be converted to 'PyString'"),
        ({"pattern": "x", "merchant": "m", "extra": 1}, "invalid request: missing field `category`"),
        ({"pattern": "x", "category": "c", "merchant": "m", 5: 1}, "invalid request: dict keys must have type str"),
    ],
)
def test_a_record_the_quick_path_leaves_is_reported_as_always(rule, message):
    assert error_of(lorvane.categorize_transactions, {"data": [], "rules": [rule]}).startswith(message)


def test_failing_abstract_base_class_test_is_unraisable():
    class Weird:
        # collections.abc.Mapping's isinstance test reads __class__, which raises here.
        @property
        def __class__(self):
            raise RuntimeError("no class")

    seen = []
    old_hook = sys.unraisablehook
    sys.unraisablehook = seen.append
    try:
        message = error_of(lorvane.compute_emi, Weird())
    finally:
        sys.unraisablehook = old_hook
    assert message == (
        "invalid request: unexpected type: 'test_failing_abstract_base_class_test_is_unraisable"
        ".<locals>.Weird' object cannot be converted to 'Mapping'"
    )
    assert [type(report.exc_value) for report in seen] == [RuntimeError]


def test_reentrant_call_from_a_float_conversion():
    class Rate:
        def __float__(self):
            return float(lorvane.compute_emi(loan())["emi"]) / 1000

    assert lorvane.compute_emi(loan(interestRate=Rate()))["interestRate"] == 8.885
