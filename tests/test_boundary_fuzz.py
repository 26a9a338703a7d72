"""Random Python objects and random text thrown at the six functions.

Whatever arrives, a call returns its result or raises ValueError (UnicodeEncodeError, for
JSON text that cannot be UTF-8, is one) with one of the documented beginnings; never
another exception, never a crash.
"""
import json

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import lorvane

PREFIXES = (
    "invalid request: ",
    "invalid input: ",
    "could not build result: ",
    "tenure of ",
    "monthly payment of ",
)
FIELDS = [
    "mode", "loanAmount", "emi", "months", "interestRate", "inflationRate", "start",
    "data", "rules", "narration", "pattern", "category", "merchant",
]
FUZZ = settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.too_slow])

surrogates = st.integers(0xD800, 0xDFFF).map(chr)
# A third of the texts may hold unpaired surrogates, which no UTF-8 text can.
texts = st.one_of(
    st.text(max_size=12),
    st.text(max_size=12),
    st.lists(st.one_of(st.characters(), surrogates), max_size=12).map("".join),
)
field_texts = st.one_of(
    st.sampled_from(["emi", "tenure", "loanAmount", "EMI", "", "2024-05", "9999-12", "-0001-01", "2024-13"]),
    texts,
)
numbers = st.one_of(
    st.integers(-(2**70), 2**70),
    st.integers(0, 700),
    st.floats(),
    st.floats(0, 1e7),
    st.booleans(),
)
leaves = st.one_of(st.none(), numbers, field_texts, st.binary(max_size=8))
keys = st.one_of(st.sampled_from(FIELDS), texts, st.integers(-3, 3))


def containers(children):
    return st.one_of(
        st.lists(children, max_size=3),
        st.lists(children, max_size=3).map(tuple),
        st.dictionaries(keys, children, max_size=4),
    )


python_values = st.recursive(leaves, containers, max_leaves=12)


def requests_like(values):
    """Mappings keyed mostly by real field names, so decoding gets past the first level."""
    return st.dictionaries(st.sampled_from(FIELDS) | keys, values, max_size=6)


record_lists = st.lists(requests_like(python_values), max_size=5)
python_requests = st.one_of(
    python_values,
    requests_like(python_values),
    st.fixed_dictionaries(
        {"data": st.one_of(record_lists, python_values), "rules": st.one_of(record_lists, python_values)}
    ),
    st.fixed_dictionaries(
        {"mode": st.sampled_from(["emi", "tenure", "loanAmount"]), "interestRate": numbers},
        optional={"loanAmount": numbers, "emi": numbers, "months": numbers, "inflationRate": numbers,
                  "start": field_texts},
    ),
)


def json_values(children):
    text_keys = st.one_of(st.sampled_from(FIELDS), texts)
    return st.one_of(st.lists(children, max_size=3), st.dictionaries(text_keys, children, max_size=4))


def dumps(value):
    try:
        return json.dumps(value, ensure_ascii=False)
    except (TypeError, ValueError):  # bytes, or a key that JSON has no form for
        return "null"


json_documents = st.recursive(
    st.one_of(st.none(), numbers, field_texts), json_values, max_leaves=12
).map(lambda v: json.dumps(v, ensure_ascii=False))


@st.composite
def damaged(draw, documents):
    """A JSON document cut short, or with a byte put in or taken out somewhere."""
    text = draw(documents)
    if not text:
        return text
    at = draw(st.integers(0, len(text) - 1))
    how = draw(st.sampled_from(["cut", "insert", "delete", "keep"]))
    if how == "cut":
        return text[:at]
    if how == "insert":
        return text[:at] + draw(st.sampled_from(list('{}[],:"\\ 0-eE.tfn\ud800\x00\n'))) + text[at:]
    if how == "delete":
        return text[:at] + text[at + 1:]
    return text


json_texts = st.one_of(texts, json_documents, damaged(json_documents), python_requests.map(dumps))


def check(function, request, result_type):
    try:
        result = function(request)
    except UnicodeEncodeError:
        assert result_type is str, "only JSON text is encoded before decoding"
        return
    except ValueError as error:
        assert type(error) is ValueError
        assert str(error).startswith(PREFIXES), str(error)
        return
    assert type(result) is result_type
    if result_type is str:
        parsed = json.loads(result)  # the JSON form writes NaN and the infinities as null
        assert isinstance(parsed, dict)
    else:
        assert all(type(key) is str for key in result)


OBJECT_FUNCTIONS = [lorvane.compute_emi, lorvane.categorize_transactions, lorvane.derive_rules]
JSON_FUNCTIONS = [lorvane.compute_emi_json, lorvane.categorize_transactions_json, lorvane.derive_rules_json]


@FUZZ
@given(st.sampled_from(OBJECT_FUNCTIONS), python_requests)
def test_python_objects(function, request):
    check(function, request, dict)


@FUZZ
@given(st.sampled_from(JSON_FUNCTIONS), json_texts)
def test_json_text(function, text):
    check(function, text, str)


# Loan requests near the engine's limits, in both forms.
@FUZZ
@given(
    st.fixed_dictionaries(
        {"mode": st.sampled_from(["emi", "tenure", "loanAmount"]),
         "interestRate": st.floats(-1, 100), "inflationRate": st.floats(-50, 100)},
        optional={"loanAmount": st.floats(-10, 1e9), "emi": st.floats(-10, 1e8),
                  "months": st.integers(0, 601), "start": st.sampled_from(["2024-01", "0001-01", "9999-12"])},
    )
)
def test_loan_requests_in_both_forms(request):
    check(lorvane.compute_emi, request, dict)
    check(lorvane.compute_emi_json, json.dumps(request), str)
