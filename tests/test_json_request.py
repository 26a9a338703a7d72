"""Requests as JSON text: the strict reader, the record decoder and their positions."""

import json
import math
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import lorvane
from conftest import loan

VALID = '{"mode":"emi","loanAmount":100000,"months":12,"interestRate":12}'


def json_error(function, text):
    with pytest.raises(ValueError) as caught:
        function(text)
    message = str(caught.value)
    assert message.startswith("invalid request: ")
    return message[len("invalid request: "):]


def emi_error(text):
    return json_error(lorvane.compute_emi_json, text)


# ---- malformed text: the reader's own texts, at the offending byte ----


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "EOF while parsing a value at line 1 column 0"),
        ("  ", "EOF while parsing a value at line 1 column 2"),
        ("\ufeff" + VALID, "expected value at line 1 column 1"),
        ('{"x":', "EOF while parsing a value at line 1 column 5"),
        ('{"x":[1', "EOF while parsing a list at line 1 column 7"),
        ('{"x":{"a":1', "EOF while parsing an object at line 1 column 11"),
        ('{"x"', "EOF while parsing an object at line 1 column 4"),
        ('{"x":"abc', "EOF while parsing a string at line 1 column 9"),
        ('{"x":[1,', "EOF while parsing a value at line 1 column 8"),
        ('{"x":1,', "EOF while parsing a value at line 1 column 7"),
        ('{"x" 1}', "expected `:` at line 1 column 6"),
        ('{"x":[1 2]}', "expected `,` or `]` at line 1 column 9"),
        ('{"x":{"a":1 "b":2}}', "expected `,` or `}` at line 1 column 13"),
        ('{"mode":"emi" "interestRate":1}', "expected `,` or `}` at line 1 column 15"),
        ('{"x":nul}', "expected ident at line 1 column 9"),
        ('{"x":trve}', "expected ident at line 1 column 8"),
        ('{"x":fals', "EOF while parsing a value at line 1 column 9"),
        ('{"x":}', "expected value at line 1 column 6"),
        ('{"x":+1}', "expected value at line 1 column 6"),
        ('{"x":.5}', "expected value at line 1 column 6"),
        ('{"x":NaN}', "expected value at line 1 column 6"),
        ('{"x":[,1]}', "expected value at line 1 column 7"),
        ('{"x":"\\q"}', "invalid escape at line 1 column 8"),
        ('{"x":"\\u12G4"}', "invalid escape at line 1 column 11"),
        ('{"x":"\\u12', "EOF while parsing a string at line 1 column 10"),
        ('{"x":01}', "invalid number at line 1 column 7"),
        ('{"x":-a}', "invalid number at line 1 column 7"),
        ('{"x":1.e5}', "invalid number at line 1 column 8"),
        ('{"x":1e+}', "invalid number at line 1 column 9"),
        ('{"x":-', "EOF while parsing a value at line 1 column 6"),
        ('{"x":1.', "EOF while parsing a value at line 1 column 7"),
        ('{"x":1e', "EOF while parsing a value at line 1 column 7"),
        ('{"x":1e400}', "number out of range at line 1 column 10"),
        ('{"x":-1e400}', "number out of range at line 1 column 11"),
        ('{"x":[1.8e308]}', "number out of range at line 1 column 13"),
        ('{"x":"a\tb"}', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 8"),
        ('{"x":"a\nb"}', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 8"),
        ('{"x":{1:2}}', "key must be a string at line 1 column 7"),
        ("{1:2}", "key must be a string at line 1 column 2"),
        ('{"x":1,2}', "key must be a string at line 1 column 8"),
        ('{"x":"\\ude00"}', "lone leading surrogate in hex escape at line 1 column 12"),
        ('{"x":"\\ud83d\\u0041"}', "lone leading surrogate in hex escape at line 1 column 18"),
        ('{"x":"\\ud83dx"}', "unexpected end of hex escape at line 1 column 13"),
        ('{"x":"\\ud83d\\n"}', "unexpected end of hex escape at line 1 column 14"),
        ('{"x":[1,]}', "trailing comma at line 1 column 9"),
        ('{"x":{"a":1,}}', "trailing comma at line 1 column 13"),
        ('{"x":1,}', "trailing comma at line 1 column 8"),
        (VALID + " x", "trailing characters at line 1 column 66"),
        (VALID + "{}", "trailing characters at line 1 column 65"),
    ],
)
def test_malformed_text(text, message):
    assert emi_error(text) == message


@pytest.mark.parametrize("tail", ["", " ", "\n", " \r\n\t \n"])
def test_whitespace_around_the_request_is_allowed(tail):
    assert lorvane.compute_emi_json(tail + VALID + tail) == lorvane.compute_emi_json(VALID)


@pytest.mark.parametrize(
    "text, message",
    [
        # A two-byte character counts two columns.
        ('{"\u00e9":1,"mode":"weekly"}',
         "unknown variant `weekly`, expected one of `emi`, `tenure`, `loanAmount` at line 1 column 23"),
        ('{"\u20ac":"\u00e9\u00e9"x', "expected `,` or `}` at line 1 column 14"),
        # On the third line the column counts from the byte after the second line feed.
        ('{\n"mode":"emi",\n  "interestRate": true}',
         "invalid type: boolean `true`, expected f64 at line 3 column 22"),
        ('{\n\n\t"x":[1 2]}', "expected `,` or `]` at line 3 column 9"),
        ('{"mode":"emi",\r\n"x":@}', "expected value at line 2 column 5"),
    ],
)
def test_positions_count_lines_and_bytes(text, message):
    assert emi_error(text) == message


# ---- the decoder's messages, at the last byte passed ----


@pytest.mark.parametrize(
    "text, message",
    [
        ("null", "invalid type: null, expected struct EmiRequest at line 1 column 4"),
        ('"emi"', 'invalid type: string "emi", expected struct EmiRequest at line 1 column 5'),
        ("{}", "missing field `mode` at line 1 column 2"),
        ('{"mode":"emi"}', "missing field `interestRate` at line 1 column 14"),
        ('{"interestRate":1 }', "missing field `mode` at line 1 column 19"),
        ("[]", "invalid length 0, expected struct EmiRequest with 7 elements at line 1 column 2"),
        ('{"mode":"emi","mode":"emi"}', "duplicate field `mode` at line 1 column 20"),
        ('{"mode":"emi","mode"  :1}', "duplicate field `mode` at line 1 column 22"),
        ('{"mode":"weekly"}',
         "unknown variant `weekly`, expected one of `emi`, `tenure`, `loanAmount` at line 1 column 16"),
        ('{"mode":"EMI"}',
         "unknown variant `EMI`, expected one of `emi`, `tenure`, `loanAmount` at line 1 column 13"),
        ('{"mode":7}', "expected value at line 1 column 9"),
        ('{"mode":null}', "expected value at line 1 column 9"),
        ('{"mode":["emi"]}', "expected value at line 1 column 9"),
        ('{"mode":{"emi":1}}', "invalid type: integer `1`, expected unit at line 1 column 16"),
        ('{"mode":{"emi":[]}}', "invalid type: sequence, expected unit at line 1 column 15"),
        ('{"mode":{}}', "expected value at line 1 column 10"),
        ('{"mode":{1:null}}', "invalid type: integer `1`, expected variant identifier at line 1 column 10"),
        ('{"mode":{"emi":null,"x":1}}', "expected value at line 1 column 20"),
        ('{"mode":{"Emi":null}}',
         "unknown variant `Emi`, expected one of `emi`, `tenure`, `loanAmount` at line 1 column 14"),
        ('{"mode":"emi","interestRate":true}', "invalid type: boolean `true`, expected f64 at line 1 column 33"),
        ('{"mode":"emi","interestRate":"8"}', 'invalid type: string "8", expected f64 at line 1 column 32'),
        ('{"mode":"emi","interestRate":[1]}', "invalid type: sequence, expected f64 at line 1 column 29"),
        ('{"mode":"emi","interestRate": {"a":1}}', "invalid type: map, expected f64 at line 1 column 30"),
        ('{"mode":"emi","interestRate":1,"inflationRate":null}',
         "invalid type: null, expected f64 at line 1 column 51"),
        ('{"mode":"emi","interestRate":null}', "invalid type: null, expected f64 at line 1 column 33"),
        ('{"mode":"emi","interestRate":1,"months":4294967296}',
         "invalid value: integer `4294967296`, expected u32 at line 1 column 50"),
        ('{"mode":"emi","interestRate":1,"months":-1}', "invalid value: integer `-1`, expected u32 at line 1 column 42"),
        ('{"mode":"emi","interestRate":1,"months":1.5}',
         "invalid type: floating point `1.5`, expected u32 at line 1 column 43"),
        ('{"mode":"emi","interestRate":1,"months":12.0}',
         "invalid type: floating point `12.0`, expected u32 at line 1 column 44"),
        ('{"mode":"emi","interestRate":1,"months":-0}',
         "invalid type: floating point `-0.0`, expected u32 at line 1 column 42"),
        ('{"mode":"emi","interestRate":1,"months":1e20}',
         "invalid type: floating point `1e+20`, expected u32 at line 1 column 44"),
        ('{"mode":"emi","interestRate":1,"months":123456789012345678901}',
         "invalid type: floating point `1.2345678901234568e+20`, expected u32 at line 1 column 61"),
        ('{"mode":"emi","interestRate":1,"months":"12"}',
         'invalid type: string "12", expected u32 at line 1 column 44'),
        ('{"mode":"emi","interestRate":1,"start":5}', "invalid type: integer `5`, expected a string at line 1 column 40"),
        ('{"mode":"emi","interestRate":1,"start":"2024-13"}', "month out of range in 2024-13 at line 1 column 48"),
        ('{"mode":"emi","interestRate":1,"start":"2024/05"}',
         'expected "YYYY-MM", got 2024/05 at line 1 column 48'),
        # A parser's message is kept whole, even when it ends like a position.
        ('{"mode":"emi","interestRate":1,"start":"x at line 3 column 4"}',
         'expected "YYYY-MM", got x at line 3 column 4 at line 1 column 61'),
        ('["emi"]', "invalid length 4, expected struct EmiRequest with 7 elements at line 1 column 7"),
        ('["emi",1,2,3 ]', "invalid length 4, expected struct EmiRequest with 7 elements at line 1 column 14"),
        ('["emi",1,2,3,4,5,"2024-05",8]', "trailing characters at line 1 column 28"),
        ('["emi",1,2,3,4,5,"2024-05",]', "trailing comma at line 1 column 28"),
        ('["emi",1,2,3,4,5,"2024-05" 8]', "trailing characters at line 1 column 28"),
        # A field that the mode ignores must still be of its kind.
        ('{"mode":"tenure","loanAmount":1e5,"emi":9000,"months":"x","interestRate":12}',
         'invalid type: string "x", expected u32 at line 1 column 57'),
        ('["weekly"]', "unknown variant `weekly`, expected one of `emi`, `tenure`, `loanAmount` at line 1 column 9"),
    ],
)
def test_loan_request_messages(text, message):
    assert emi_error(text) == message


@pytest.mark.parametrize(
    "function, text, message",
    [
        ("categorize_transactions_json", '{"data":[[]],"rules":[]}',
         "invalid length 0, expected struct MapInput with 1 element at line 1 column 11"),
        ("categorize_transactions_json", '{"data":[],"rules":[["a","b"]]}',
         "invalid length 2, expected struct CategoryRule with 3 elements at line 1 column 29"),
        ("categorize_transactions_json", "[[]]",
         "invalid length 1, expected struct CategorizeRequest with 2 elements at line 1 column 4"),
        ("categorize_transactions_json", '{"data":"x","rules":[]}',
         'invalid type: string "x", expected a sequence at line 1 column 11'),
        ("categorize_transactions_json", '{"data":[5],"rules":[]}',
         "invalid type: integer `5`, expected struct MapInput at line 1 column 10"),
        ("categorize_transactions_json", '{"data":[{"narration":null}],"rules":[]}',
         "invalid type: null, expected a string at line 1 column 26"),
        ("categorize_transactions_json", '{"data":[]}', "missing field `rules` at line 1 column 11"),
        ("categorize_transactions_json", '{"data":[],"rules":[{"pattern":"a","category":"b"}]}',
         "missing field `merchant` at line 1 column 50"),
        ("derive_rules_json", "[]", "invalid length 0, expected struct DeriveRulesRequest with 1 element at line 1 column 2"),
        ("derive_rules_json", '{"data":[["n","c"]]}',
         "invalid length 2, expected struct DeriveInput with 3 elements at line 1 column 18"),
        ("derive_rules_json", '{"data":{}}', "invalid type: map, expected a sequence at line 1 column 8"),
        ("derive_rules_json", '{"data":[["n","c","m","x"]]}', "trailing characters at line 1 column 23"),
        ("derive_rules_json", '{"data":[],"data":[]}', "duplicate field `data` at line 1 column 17"),
    ],
)
def test_categorizer_request_messages(function, text, message):
    assert json_error(getattr(lorvane, function), text) == message


@pytest.mark.parametrize(
    "json_text, expected",
    [
        (r'"a\"b\\c\td\re\nf\/"', 'string "a\\"b\\\\c\\td\\re\\nf/"'),
        (r'"caf\u00e9"', 'string "caf\u00e9"'),
        ("true", "boolean `true`"),
        ("false", "boolean `false`"),
        ("[]", "sequence"),
        ("{}", "map"),
    ],
)
def test_descriptions_of_wrong_values(json_text, expected):
    message = emi_error('{"mode":"emi","interestRate":' + json_text + "}")
    assert message.startswith("invalid type: " + expected + ", expected f64 at line 1 column ")


@pytest.mark.parametrize(
    "json_text, expected",
    [
        ("-7", "integer `-7`"),
        ("18446744073709551615", "integer `18446744073709551615`"),
        ("1e16", "floating point `1e+16`"),
        ("0.000001", "floating point `1e-6`"),
        ("0.00001", "floating point `0.00001`"),
        ("1234.5678", "floating point `1234.5678`"),
        ("-2.5", "floating point `-2.5`"),
        ("1E2", "floating point `100.0`"),
    ],
)
def test_descriptions_of_wrong_numbers(json_text, expected):
    message = emi_error('{"mode":"emi","interestRate":1,"start":' + json_text + "}")
    assert message == "invalid type: %s, expected a string at line 1 column %d" % (expected, 39 + len(json_text))


# ---- accepted forms and values ----


def emi_result(text):
    return json.loads(lorvane.compute_emi_json(text))


@pytest.mark.parametrize(
    "text, same_as",
    [
        ('{"mode":{"emi":null},"loanAmount":100000,"months":12,"interestRate":12}', loan()),
        ('{"\\u006dode":"emi","loanAmount":100000,"months":12,"interestRate":12}', loan()),
        ('["emi",100000,null,12,12]', loan()),
        ('["emi",100000,-5,12,12,0,null]', loan()),
        ('[{"emi":null},100000,null,12,12,2.5,"2024-05"]', loan(inflationRate=2.5, start="2024-05")),
        ('{"mode":"emi","loanAmount":100000,"months":12,"interestRate":12,"start":null,"emi":null}', loan()),
        (' {\n "loanAmount" : 100000 ,\r\n\t"months":12, "interestRate":12,"mode":"emi"}\n', loan()),
    ],
)
def test_accepted_request_forms(text, same_as):
    assert emi_result(text) == lorvane.compute_emi(same_as)


CATEGORIZE = {
    "data": [{"narration": "UPI SWIGGY 1"}, {"narration": "amazon pay"}],
    "rules": [{"pattern": "swiggy", "category": "Food", "merchant": "Swiggy"}],
}
DERIVE = {"data": [{"narration": "coffee beans", "category": "Food", "merchant": "Cafe"}]}


@pytest.mark.parametrize(
    "function, text, same_as",
    [
        ("categorize_transactions", '[[["UPI SWIGGY 1"],{"narration":"amazon pay"}],[["swiggy","Food","Swiggy"]]]',
         CATEGORIZE),
        ("categorize_transactions", '{"rules":[{"merchant":"Swiggy","category":"Food","pattern":"swiggy","x":{}}],'
         '"data":[["UPI SWIGGY 1"],["amazon pay"]]}', CATEGORIZE),
        ("derive_rules", '[[["coffee beans","Food","Cafe"]]]', DERIVE),
        ("derive_rules", '{"data":[{"narration":"coffee beans","category":"Food","merchant":"Cafe"}],"x":[]}', DERIVE),
    ],
)
def test_categorizer_request_forms(function, text, same_as):
    assert json.loads(getattr(lorvane, function + "_json")(text)) == getattr(lorvane, function)(same_as)


def rate_read_from(number):
    text = '{"mode":"emi","loanAmount":100000,"months":12,"interestRate":1,"inflationRate":' + number + "}"
    return emi_result(text)["inflationRate"]


@pytest.mark.parametrize(
    "number",
    [
        "12",
        "85e-1",
        "0.85E1",
        "8.500000000000000000000000000000001",
        "1e-400",
        "-0",
        "-0.0",
        "0.1",
        "18446744073709551615",
        "18446744073709551616",
        "9007199254740993",
        "2.2250738585072011e-308",
        "4.9e-324",
        "1.7976931348623157e308",
        "0.1e309",
        "100000000000000000000000000000000000000000000e-20",
        # Exactly halfway between two doubles, and just above it.
        "7.000000000000000444089209850062616169452667236328125",
        "7.000000000000000444089209850062616169452667236328126",
        "0." + "0" * 400 + "1e400",
    ],
)
def test_numbers_read_correctly_rounded(number):
    rate = rate_read_from(number)
    assert rate == float(number) and math.copysign(1, rate) == math.copysign(1, float(number))


@settings(max_examples=300, deadline=None)
@given(st.from_regex(r"(0|[1-9][0-9]{0,30})(\.[0-9]{1,30})?([eE][+-]?[0-9]{1,3})?", fullmatch=True))
def test_any_number_text_reads_as_the_nearest_double(number):
    if float(number) == math.inf:
        assert emi_error('{"x":' + number + "}").startswith("number out of range at line 1 column ")
    else:
        assert rate_read_from(number) == float(number)


@pytest.mark.parametrize(
    "escaped, text",
    [
        (r"caf\u00e9", "caf\u00e9"),
        (r"caf\u00C9", "caf\u00c9"),
        (r"\ud83d\ude00!", "\U0001f600!"),
        (r"\"\\\/\b\f\n\r\t", '"\\/\b\f\n\r\t'),
        ("\u20ac raw \U0001f600", "\u20ac raw \U0001f600"),
        (r"a\u0000b", "a\x00b"),
        ("", ""),
    ],
)
def test_strings_resolve_escapes(escaped, text):
    request = '{"data":[{"narration":"coffee","category":"' + escaped + '","merchant":"m"}]}'
    rules = json.loads(lorvane.derive_rules_json(request))["rules"]
    assert [rule["category"] for rule in rules] == [text]


# The string search reads many bytes at a time: a special byte must be found at every
# offset within and across those blocks, and bytes from 0x80 up must never count.
@pytest.mark.parametrize("offset", range(0, 40, 3))
@pytest.mark.parametrize("filler", ["x", "\u00e9", "\u20ac\x7f"])
@pytest.mark.parametrize(
    "special, outcome",
    [('"', "ends"), ("\\n", "escape"), ("\x1f", "control"), ("\x00", "control"), ("\x20", "plain")],
)
def test_string_specials_found_at_any_offset(offset, filler, special, outcome):
    head = (filler * 40)[:offset]
    prefix = '{"data":[{"narration":"coffee","category":"'
    text = prefix + head + special + 'tail","merchant":"m"}]}'
    if outcome == "ends":
        assert json_error(lorvane.derive_rules_json, text).startswith("expected")
        return
    if outcome == "control":
        column = len((prefix + head).encode()) + 1
        assert json_error(lorvane.derive_rules_json, text) == (
            "control character (\\u0000-\\u001F) found while parsing a string at line 1 column %d" % column)
        return
    rules = json.loads(lorvane.derive_rules_json(text))["rules"]
    assert [rule["category"] for rule in rules] == [head + ("\n" if outcome == "escape" else special) + "tail"]


# ---- values under keys that name no field ----


@pytest.mark.parametrize("depth", [1, 1000, 100_000])
def test_deep_unknown_values_are_skipped(depth):
    nested = "[" * depth + "]" * depth
    objects = '{"a":' * depth + "null" + "}" * depth
    text = '{"x":' + nested + ',"y":' + objects + "," + VALID[1:]
    assert lorvane.compute_emi_json(text) == lorvane.compute_emi_json(VALID)


@pytest.mark.parametrize(
    "text, message",
    [
        ('{ "x":[1,2},' + VALID[1:], "expected `,` or `]` at line 1 column 11"),
        ('{ "x":' + "[" * 100_000 + "]" * 99_999 + "}," + VALID[1:], "expected `,` or `]` at line 1 column 200006"),
        ('{ "x":' + '{"a":' * 50_000 + "1" + "}" * 49_999 + "]," + VALID[1:],
         "expected `,` or `}` at line 1 column 300007"),
        ('{ "x":' + "[" * 100_000, "EOF while parsing a list at line 1 column 100006"),
        ('{ "x":[{"a":[true,{"b":"\\x"}]}],' + VALID[1:], "invalid escape at line 1 column 26"),
    ],
)
def test_malformed_unknown_values_fail(text, message):
    assert emi_error(text) == message


# ---- properties ----

finite = st.floats(allow_nan=False, allow_infinity=False)
number = st.one_of(finite, st.integers(-(10**6), 10**7))
start = st.one_of(st.none(), st.sampled_from(["2024-05", "2024-5", "+2024-+5", "2024-13", "-05", "x"]))
loan_request = st.fixed_dictionaries(
    {"mode": st.one_of(st.sampled_from(["emi", "tenure", "loanAmount", "EMI"]),
                       st.sampled_from(["emi", "tenure", "loanAmount"]).map(lambda m: {m: None}))},
    optional={
        "loanAmount": st.one_of(st.none(), number),
        "emi": st.one_of(st.none(), number),
        "months": st.one_of(st.none(), st.integers(-5, 700), st.integers(0, 2**70), finite),
        "interestRate": number,
        "inflationRate": number,
        "start": start,
        "note": st.text(max_size=5),
    },
)

# Requests whose every value is of its field's kind (the engine may still refuse them).
decodable_request = st.fixed_dictionaries(
    {"mode": st.sampled_from(["emi", "tenure", "loanAmount", {"tenure": None}]), "interestRate": number},
    optional={
        "loanAmount": st.one_of(st.none(), number),
        "emi": st.one_of(st.none(), number),
        "months": st.one_of(st.none(), st.integers(0, 2**32 - 1)),
        "inflationRate": number,
        "start": st.sampled_from([None, "2024-05", "+2024-+5"]),
        "note": st.text(max_size=5),
    },
)


@settings(max_examples=300, deadline=None)
@given(loan_request)
def test_json_form_agrees_with_object_form(request):
    try:
        expected = lorvane.compute_emi(request)
    except ValueError as error:
        with pytest.raises(ValueError) as caught:
            lorvane.compute_emi_json(json.dumps(request))
        message = str(caught.value)
        if str(error).startswith("invalid request: "):
            assert re.fullmatch(r"invalid request: .* at line 1 column \d+", message)
        else:
            assert message == str(error)
        return
    assert json.loads(lorvane.compute_emi_json(json.dumps(request))) == expected


json_values = st.recursive(
    st.one_of(st.none(), st.booleans(), finite, st.integers(-(10**300), 10**300), st.text()),
    lambda children: st.one_of(st.lists(children), st.dictionaries(st.text(), children)),
    max_leaves=40,
)


@settings(max_examples=200, deadline=None)
@given(json_values, st.booleans())
def test_any_json_value_under_an_unknown_key_is_accepted(value, ascii_only):
    text = json.dumps({"other": value, **loan()}, ensure_ascii=ascii_only)
    assert lorvane.compute_emi_json(text) == lorvane.compute_emi_json(json.dumps(loan()))


valid_texts = st.one_of(
    st.builds(json.dumps, decodable_request),
    st.just(json.dumps(loan(start="2024-05", inflationRate=1.5, other=["\u00e9", {"a": [1.5e-7, None]}]),
                       ensure_ascii=False)),
)


@settings(max_examples=300, deadline=None)
@given(st.data())
def test_every_prefix_fails_at_its_last_byte(data):
    text = json.dumps(data.draw(decodable_request), separators=(",", ":"), ensure_ascii=False)
    prefix = text[: data.draw(st.integers(1, len(text) - 1))]
    message = emi_error(prefix)
    # The text ran out, or a value complete so far was already refused where it ends.
    assert message.endswith(" at line 1 column %d" % len(prefix.encode()))
    assert not message.startswith(("expected value", "expected `", "expected ident", "trailing", "key must"))


@settings(max_examples=500, deadline=None)
@given(st.data())
def test_corrupted_requests_fail_cleanly(data):
    text = data.draw(valid_texts)
    at = data.draw(st.integers(0, len(text) - 1))
    text = text[:at] + data.draw(st.characters()) + text[at + 1:]
    try:
        result = lorvane.compute_emi_json(text)
    except UnicodeEncodeError:
        # A lone surrogate cannot become UTF-8: the interpreter's own error, unprefixed.
        assert any("\ud800" <= c <= "\udfff" for c in text)
    except ValueError as error:
        message = str(error)
        if not message.startswith("invalid request: "):
            # Well-formed after all: the engine refused it, as it does the object form.
            with pytest.raises(ValueError, match=re.escape(message)):
                lorvane.compute_emi(json.loads(text))
        else:
            assert re.search(r" at line \d+ column \d+$", message)
    else:
        assert json.loads(result) == lorvane.compute_emi(json.loads(text))
