"""derive_rules_json reads the labelled narrations in place (escaped texts copied aside):
its result must be exactly the compact encoding of what derive_rules returns for the same
request, whatever the escapes, and its failures those of the request reader."""

import json

import pytest

import lorvane


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def as_mapping(item):
    return dict(zip(["narration", "category", "merchant"], item)) if isinstance(item, list) else item


LABELLED = [
    ["POS 4411 FRESHMART CITY", "Groceries", "FreshMart"],
    ["FRESHMART ONLINE ORDER", "Groceries", "FreshMart"],
    ["CAFÉ \"NORD\" 12", "Eating\tout", "Café\\Nord"],
    ["café nord 14", "Eating\tout", "Café\\Nord"],
    ["ΣΟΦΙΑ ΑΘΗΝΑ", "Books", "Σοφία"],
    ["😀 party", "Fun", "😀"],
    ["NEFT-SALARY-JAN", "Income", "Employer"],
]


@pytest.mark.parametrize("ensure_ascii", [True, False])  # escaped or raw non-ASCII text
@pytest.mark.parametrize("array_form", [True, False])
def test_json_result_is_the_encoding_of_the_object_result(ensure_ascii, array_form):
    data = LABELLED if array_form else [as_mapping(item) for item in LABELLED]
    text = json.dumps({"data": data}, ensure_ascii=ensure_ascii)
    expected = lorvane.derive_rules({"data": [as_mapping(item) for item in LABELLED]})
    assert lorvane.derive_rules_json(text) == compact(expected)
    assert [r["merchant"] for r in expected["rules"]] == ["Σοφία", "Café\\Nord", "😀", "FreshMart",
                                                          "Employer"]


@pytest.mark.parametrize("text, message", [
    ('{"data":[["a","b"]]}', "invalid length 2, expected struct DeriveInput with 3 elements "
                             "at line 1 column 18"),
    ('{"data":[{"narration":"a","category":"b"}]}', "missing field `merchant` at line 1 column 41"),
    ('{"data":[{"narration":"a","category":null,"merchant":"m"}]}',
     "invalid type: null, expected a string at line 1 column 41"),
    ('{"data":{}}', "invalid type: map, expected a sequence at line 1 column 8"),
    ('[]', "invalid length 0, expected struct DeriveRulesRequest with 1 element at line 1 column 2"),
])
def test_failures_are_those_of_the_request_reader(text, message):
    with pytest.raises(ValueError) as raised:
        lorvane.derive_rules_json(text)
    assert str(raised.value) == "invalid request: " + message
