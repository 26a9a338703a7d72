"""Categorisation through categorize_transactions and categorize_transactions_json:
first-rule-wins precedence, lowercasing, literal substring matching, result shape and the
request's forms."""

import json
import random

import pytest
from hypothesis import given, settings, strategies as st

import lorvane


def rule(pattern, category="C", merchant="M"):
    return {"pattern": pattern, "category": category, "merchant": merchant}


def categorize(narrations, rules):
    request = {"data": [{"narration": n} for n in narrations], "rules": rules}
    return lorvane.categorize_transactions(request)["data"]


def decided_by(narration, patterns):
    """The index of the rule that decides `narration`, or None."""
    rules = [rule(p, category=str(i)) for i, p in enumerate(patterns)]
    [match] = categorize([narration], rules)
    return None if match is None else int(match["category"])


def reference(narration, patterns):
    """First rule wins: the first pattern that occurs in the narration, both lowercased."""
    lowered = narration.lower()
    return next((i for i, p in enumerate(patterns) if p.lower() in lowered), None)


# ---- which rule decides ----

PRECEDENCE = [
    # (id, narration, patterns, deciding rule)
    ("first listed beats longer", "UPI PAYTM MALL", ["pay", "paytm mall"], 0),
    ("first listed beats earlier occurrence", "AMAZON PAY REFUND", ["refund", "amazon"], 0),
    ("second when first absent", "SWIGGY ORDER", ["zomato", "swiggy"], 1),
    ("none matches", "ATM WITHDRAWAL", ["salary", "rent"], None),
    ("no rules", "ANYTHING", [], None),
    ("duplicate pattern: first keeps it", "NETFLIX", ["netflix", "netflix"], 0),
    ("duplicate after another rule", "NETFLIX", ["hulu", "NETFLIX", "netflix"], 1),
    ("empty pattern matches everything", "ANY TEXT", ["", "any"], 0),
    ("empty pattern as catch-all default", "ANY TEXT", ["zzz", ""], 1),
    ("rules after a catch-all never decide", "SALARY", ["rent", "", "salary"], 1),
    ("earlier rule beats catch-all", "SALARY", ["salary", ""], 0),
    ("empty narration, empty pattern", "", ["x", ""], 1),
    ("empty narration, no empty pattern", "", ["x", " "], None),
    ("pattern equals whole narration", "Rent", ["RENT"], 0),
    ("pattern longer than narration", "Rent", ["rents"], None),
    ("inside a longer word", "FRESHMARTS LTD", ["mart"], 0),
    ("across a word boundary", "GAS BILL", ["s b"], 0),
    ("later of many matches", "ONE TWO THREE", ["four", "five", "three", "two"], 2),
]


@pytest.mark.parametrize("narration, patterns, expected",
                         [c[1:] for c in PRECEDENCE], ids=[c[0] for c in PRECEDENCE])
def test_deciding_rule(narration, patterns, expected):
    assert decided_by(narration, patterns) == expected


LITERAL = [
    # (id, narration, pattern, matches)
    ("leading space needs a space", "XPAY", " pay", False),
    ("leading space present", "X PAY", " pay", True),
    ("trailing space at the end", "UPI PAY", "pay ", False),
    ("two spaces need two spaces", "A B", "a  b", False),
    ("two spaces present", "A  B", "a  b", True),
    ("tab is not a space", "A\tB", "a b", False),
    ("asterisk is literal", "AXB", "a*b", False),
    ("asterisk matches itself", "A*B", "a*b", True),
    ("question mark is literal", "AB", "a?b", False),
    ("question mark matches itself", "WHY? NOT", "y? n", True),
    ("percent is literal", "50 OFF", "50%", False),
    ("percent matches itself", "50% OFF", "50%", True),
    ("full stop is literal", "ABC", "a.c", False),
    ("full stop matches itself", "A.C", "a.c", True),
    ("backslash is literal", "1", "\\d", False),
    ("backslash matches itself", "C:\\D", ":\\d", True),
    ("digits", "REF 00123", "0012", True),
    ("anchors are literal", "ABC", "^abc$", False),
]


@pytest.mark.parametrize("narration, pattern, matches",
                         [c[1:] for c in LITERAL], ids=[c[0] for c in LITERAL])
def test_pattern_is_a_literal_substring(narration, pattern, matches):
    assert (decided_by(narration, [pattern]) == 0) is matches


LOWERCASING = [
    # (id, narration, pattern, matches)
    ("capital pattern, small narration", "swiggy", "SWIGGY", True),
    ("small pattern, capital narration", "SWIGGY", "swiggy", True),
    ("E acute, capital pattern", "café", "CAFÉ", True),
    ("E acute, capital narration", "CAFÉ", "café", True),
    ("accent is not removed", "CAFE", "café", False),
    ("dotted capital I contains i", "İSTANBUL", "i", True),
    ("dotted capital I is i + dot", "İSTANBUL", "i\u0307stanbul", True),
    ("dotted capital I is not plain i", "İSTANBUL", "istanbul", False),
    ("pattern dotted capital I", "i\u0307", "İ", True),
    ("pattern dotted capital I vs i", "I", "İ", False),
    ("sharp s is not ss", "STRASSE", "straße", False),
    ("ss is not sharp s", "STRAßE", "strasse", False),
    ("sharp s matches itself", "STRAßE", "STRAßE", True),
    ("final sigma in both", "ΟΔΟΣ 5", "ΟΔΟΣ", True),
    ("pattern final sigma, narration continues", "ΟΔΟΣΤ", "ΟΔΟΣ", False),
    ("pattern final sigma vs small sigma", "οδοσ", "ΟΔΟΣ", False),
    ("lone capital sigma is small sigma", "ΣΑ", "Σ", True),
    ("lone capital sigma vs final", "ΑΣ", "Σ", False),
    ("written final sigma", "ΑΣ", "ς", True),
    ("sigma after a letter and a dot", "ΑΣ.", "ας.", True),
    ("Kelvin sign is k", "\u212aWH", "kwh", True),
    ("k matches Kelvin sign pattern", "KWH", "\u212awh", True),
    ("no case folding of digits or marks", "A1-B", "a1-b", True),
]


@pytest.mark.parametrize("narration, pattern, matches",
                         [c[1:] for c in LOWERCASING], ids=[c[0] for c in LOWERCASING])
def test_letter_case_is_ignored_by_full_lowercasing(narration, pattern, matches):
    assert (decided_by(narration, [pattern]) == 0) is matches
    assert (reference(narration, [pattern]) == 0) is matches


# A narration is read as is only when all its bytes are ASCII: one letter outside ASCII,
# wherever it stands, must send the whole narration through lowercasing.
@pytest.mark.parametrize("length", [1, 7, 8, 9, 15, 16, 17, 24])
@pytest.mark.parametrize("where", ["first", "middle", "last"])
def test_one_letter_outside_ascii_anywhere_is_lowercased(length, where):
    at = {"first": 0, "middle": length // 2, "last": length - 1}[where]
    narration = "X" * at + "\u0130" + "X" * (length - 1 - at)  # capital I with a dot
    assert decided_by(narration, ["i\u0307"]) == 0
    ascii_narration = narration.replace("\u0130", "I")
    assert decided_by(ascii_narration, ["i\u0307", ascii_narration.lower()]) == 1


# ---- the result ----


def test_category_and_merchant_returned_exactly():
    rules = [rule("netflix", " Entertainment  ", "NetFlix INC."), rule("", "ÉTÉ", "")]
    assert categorize(["netflix.com", "other"], rules) == [
        {"category": " Entertainment  ", "merchant": "NetFlix INC."},
        {"category": "ÉTÉ", "merchant": ""},
    ]


def test_one_entry_per_narration_in_order():
    narrations = ["RENT", "x", "SALARY", "RENT", "", "rent", "x"]
    rules = [rule("rent", "Housing", "Landlord"), rule("salary", "Income", "Employer")]
    housing = {"category": "Housing", "merchant": "Landlord"}
    income = {"category": "Income", "merchant": "Employer"}
    assert categorize(narrations, rules) == [housing, None, income, housing, None, housing, None]


@pytest.mark.parametrize("rules", [[], [rule("a")], [rule("")]])
def test_empty_data(rules, both_forms):
    assert both_forms("categorize_transactions", {"data": [], "rules": rules}) == (
        {"data": []}, {"data": []})


def test_json_result_text():
    request = {"data": [{"narration": "TAB\tQUOTE\""}, {"narration": "none"}],
               "rules": [rule("tab", "Tab\t\"q\"", "Ünï")]}
    assert lorvane.categorize_transactions_json(json.dumps(request)) == (
        '{"data":[{"category":"Tab\\t\\"q\\"","merchant":"Ünï"},null]}')
    assert lorvane.categorize_transactions_json('{"data":[],"rules":[]}') == '{"data":[]}'


def test_both_forms_agree(both_forms):
    request = {"data": [{"narration": n} for n in ["POS FRESHMART", "İ", "none", ""]],
               "rules": [rule("mart", "Groceries", "FreshMart"), rule("i", "I", "i"), rule("", "-", "-")]}
    as_object, as_json = both_forms("categorize_transactions", request)
    assert as_object == as_json
    assert [m["category"] for m in as_object["data"]] == ["Groceries", "I", "-", "-"]


# ---- request forms and decoding messages ----


@pytest.mark.parametrize(
    "text",
    [
        '{"data":[{"narration":"UPI SWIGGY"}],"rules":[{"pattern":"swiggy","category":"Food","merchant":"S"}]}',
        '{"data":[["UPI SWIGGY"]],"rules":[["swiggy","Food","S"]]}',
        '[[["UPI SWIGGY"]],[["swiggy","Food","S"]]]',
        '[[{"narration":"UPI SWIGGY"}],[{"merchant":"S","category":"Food","pattern":"swiggy"}]]',
        '{"rules":[["swiggy","Food","S"]],"extra":{"a":[1,{"b":null}]},"data":[["UPI SWIGGY"]]}',
        '{"data":[{"narration":"UPI SWIGGY","note":true}],"rules":[["sw\\u0069ggy","Food","S"]]}',
        ' {\n "data" : [ [ "UPI SWIGGY" ] ] ,\n "rules" : [ [ "swiggy" , "Food" , "S" ] ] }\n',
    ],
)
def test_json_object_and_array_forms(text):
    assert json.loads(lorvane.categorize_transactions_json(text)) == {
        "data": [{"category": "Food", "merchant": "S"}]}


@pytest.mark.parametrize(
    "text, message",
    [
        ('{"data":[],"rules":[{"category":"a","merchant":"b"}]}',
         "missing field `pattern` at line 1 column 51"),
        ('{"data":[],"rules":[{"pattern":"a","merchant":"b"}]}',
         "missing field `category` at line 1 column 50"),
        ('{"data":[{}],"rules":[]}', "missing field `narration` at line 1 column 11"),
        ('{"rules":[]}', "missing field `data` at line 1 column 12"),
        ('{"data":[],\n"rules":[[]]}', "invalid length 0, expected struct CategoryRule with 3 elements at line 2 column 11"),
        ('{"data":[],"rules":[{"pattern":"a","pattern":"b"}]}', "duplicate field `pattern` at line 1 column 44"),
        ('{"data":[["a","b"]],"rules":[]}', "trailing characters at line 1 column 15"),
        ('{"data":[],"rules":[["a","b",3]]}', "invalid type: integer `3`, expected a string at line 1 column 30"),
        ('{"data":[],"rules":{"pattern":"a"}}', "invalid type: map, expected a sequence at line 1 column 19"),
        ('{"data":[],"rules":["é"]}', 'invalid type: string "é", expected struct CategoryRule at line 1 column 24'),
        ('{"data":[],"rules":[]', "EOF while parsing an object at line 1 column 21"),
        ('{"data":[{"narration":1}],"rules":[]}', 'invalid type: integer `1`, expected a string at line 1 column 23'),
        ('{"data":[{"narration":"a","narration":"b"}],"rules":[]}', "duplicate field `narration` at line 1 column 37"),
        ('{"data":[[]],"rules":[]}', "invalid length 0, expected struct MapInput with 1 element at line 1 column 11"),
        ('{"data":[5],"rules":[]}', "invalid type: integer `5`, expected struct MapInput at line 1 column 10"),
        ('{"data":[{"narration":"a\\x"}],"rules":[]}', "invalid escape at line 1 column 26"),
        ('{"data":[]}', "missing field `rules` at line 1 column 11"),
    ],
)
def test_json_decoding_messages(text, message):
    with pytest.raises(ValueError) as caught:
        lorvane.categorize_transactions_json(text)
    assert str(caught.value) == "invalid request: " + message


@pytest.mark.parametrize(
    "request_object, message",
    [
        ({"data": [], "rules": [{"category": "a", "merchant": "b"}]}, "missing field `pattern`"),
        ({"data": [{"text": "x"}], "rules": []}, "missing field `narration`"),
        ({"rules": []}, "missing field `data`"),
        ({"data": [], "rules": [{"pattern": 1, "category": "a", "merchant": "b"}]},
         "unexpected type: 'int' object cannot be converted to 'PyString'"),
        ({"data": [], "rules": [["a", "b", "c"]]},
         "unexpected type: 'list' object cannot be converted to 'Mapping'"),
    ],
)
def test_object_decoding_messages(request_object, message):
    with pytest.raises(ValueError) as caught:
        lorvane.categorize_transactions(request_object)
    assert str(caught.value) == "invalid request: " + message


# ---- agreement with a plain first-rule-wins model ----

# Letters whose lowercasing this interpreter and the module's Unicode data agree on,
# chosen so that patterns overlap often: sigma context, dotted I, sharp s, Kelvin sign,
# a combining mark and a case-ignorable full stop among them.
ALPHABET = ["a", "A", "b", "s", "S", " ", ".", "i", "I", "İ", "\u0307", "ß", "É", "é",
            "Σ", "σ", "ς", "k", "\u212a"]
texts = st.lists(st.sampled_from(ALPHABET), max_size=12).map("".join)


@settings(max_examples=400, deadline=None)
@given(patterns=st.lists(st.lists(st.sampled_from(ALPHABET), max_size=4).map("".join), max_size=12),
       narrations=st.lists(texts, max_size=8))
def test_agrees_with_first_rule_wins_model(patterns, narrations):
    rules = [rule(p, category=str(i), merchant=p) for i, p in enumerate(patterns)]
    expected = [reference(n, patterns) for n in narrations]
    expected = [None if i is None else {"category": str(i), "merchant": patterns[i]} for i in expected]
    # A few narrations are searched for each pattern directly; hundreds of copies of them
    # go through an automaton of all the patterns.
    for copies in (1, 300):
        request = {"data": [{"narration": n} for n in narrations] * copies, "rules": rules}
        assert lorvane.categorize_transactions(request)["data"] == expected * copies
        assert json.loads(lorvane.categorize_transactions_json(json.dumps(request)))["data"] == expected * copies


def test_large_rule_set_agrees_with_model():
    # Enough distinct patterns over a wide alphabet that the automaton no longer keeps a
    # full row of transitions for every state.
    rng = random.Random(20240611)
    symbols = "abcdefghijklmnopqrstuvwxyz0123456789!#$%&()*+,-./:;<=>?@[]^_{|}~"
    patterns = ["".join(rng.choice(symbols) for _ in range(rng.randint(6, 14))) for _ in range(6000)]
    patterns[100:110] = patterns[50:60]  # duplicates
    narrations = []
    for _ in range(300):
        parts = [rng.choice(patterns)[rng.randint(0, 3):] for _ in range(rng.randint(0, 3))]
        parts += ["".join(rng.choice(symbols) for _ in range(rng.randint(0, 20)))]
        rng.shuffle(parts)
        narrations.append("".join(parts).upper())
    result = categorize(narrations, [rule(p, str(i)) for i, p in enumerate(patterns)])
    assert [None if m is None else int(m["category"]) for m in result] == [
        reference(n, patterns) for n in narrations]


# ---- repetitive input stays correct ----

RUNS = [
    # (id, narration, patterns, deciding rule)
    ("runs then b, none occurs", "a" * 2_000_000, ["a" * k + "b" for k in range(1, 1001)] + ["a" * 1000], 1000),
    ("runs then b, longest first", "a" * 2_000_000 + "b", ["a" * k + "b" for k in range(1000, 0, -1)], 0),
    ("runs, longest first", "A" * 1_000_000, ["a" * k for k in range(1000, 0, -1)], 0),
    ("run longer than narration", "a" * 999, ["a" * 1000, "aa" * 500, "a" * 999], 2),
    ("prefixes and suffixes", "ab" * 500_000, ["ab" * k + "b" for k in range(1, 500)] + ["ba" * 499 + "b"], 499),
    ("duplicates and empties", "a" * 1_000_000, ["x"] * 3000 + [""] * 3000 + ["a"], 3000),
    ("duplicates then the match", "x" * 1_000_000 + "y", ["xz"] * 3000 + ["xy"] * 3000, 3000),
]


@pytest.mark.parametrize("narration, patterns, expected",
                         [c[1:] for c in RUNS], ids=[c[0] for c in RUNS])
def test_repetitive_input(narration, patterns, expected):
    assert decided_by(narration, patterns) == expected
