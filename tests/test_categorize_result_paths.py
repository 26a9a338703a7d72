"""Both categorisation functions build their results from the deciding rule's index.
categorize_transactions_json reads narrations in place (escaped ones copied aside) and
writes each rule's entry once: its text must be exactly the compact encoding of what
categorize_transactions returns for the same request, whatever the escapes.
categorize_transactions copies one dict per rule: every entry must still be a dict of
its own."""

import json
import random

import pytest

import lorvane


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def as_mapping(value, keys):
    return dict(zip(keys, value)) if isinstance(value, list) else value


def object_form(request):
    """The request with every record in array form turned into a mapping."""
    request = as_mapping(request, ["data", "rules"])
    return {"data": [as_mapping(d, ["narration"]) for d in request["data"]],
            "rules": [as_mapping(r, ["pattern", "category", "merchant"]) for r in request["rules"]]}


def agree(request_text):
    """The JSON form's text against the object form's result for the same request."""
    got = lorvane.categorize_transactions_json(request_text)
    expected = lorvane.categorize_transactions(object_form(json.loads(request_text)))
    assert got == compact(expected)
    return expected


# Written with json.dumps, so every non-ASCII character of the rules arrives escaped.
RULES = [["café", "Eating \"out\"", "Café\\Bar"], ["École", "Edu\u0001cation", "École\t1"],
         ["😀", "Emoji", "Smile\u007f"], ["mart", "Groceries", "Mart"]]


@pytest.mark.parametrize("narration_json, decided", [
    ('"POS CAFÉ 12"', 0),                   # no escape: a view into the request text
    ('"POS CAF\\u00c9 12"', 0),             # escaped: copied aside
    ('"\\u00c9COLE \\"NORD\\""', 1),
    ('"x \\ud83d\\ude00 y"', 2),            # a surrogate pair
    ('"\\\\mart\\/"', 3),
    ('"\\n\\t"', None),
    ('""', None),
])
def test_escaped_and_plain_narrations(narration_json, decided):
    text = '{"data":[{"narration":%s},[%s]],"rules":%s}' % (narration_json, narration_json,
                                                           json.dumps(RULES))
    result = agree(text)["data"]
    assert result[0] == result[1]
    if decided is None:
        assert result[0] is None
    else:
        assert result[0] == {"category": RULES[decided][1], "merchant": RULES[decided][2]}


def test_many_escaped_narrations_keep_their_texts():
    # Enough escaped strings that their store grows many times while views are held.
    rng = random.Random(5)
    words = ["caf\\u00e9", "mart", "\\u00c9cole", "plain", "x\\\"y", "\\ud83d\\ude00"]
    narrations = [" ".join(rng.choice(words) for _ in range(rng.randint(0, 4)))
                  for _ in range(3000)]
    text = '{"data":[%s],"rules":%s}' % (",".join('{"narration":"%s"}' % n for n in narrations),
                                         json.dumps(RULES))
    result = agree(text)["data"]
    assert len(result) == 3000 and any(r is None for r in result) and any(result)


@pytest.mark.parametrize("text", [
    '{"data":[],"rules":[["a","b","c"]]}',
    '{"data":[{"narration":"abc"}],"rules":[]}',
    '{"rules":[["", "Other", "floor"],["abc","never","decides"]],"data":[["abc"],[""]]}',
    '[[["x"],["y"]],[["x","Cat","M"]]]',
    '{"data":[{"narration":"abc","narration2":[1,{"z":null}]}],"rules":[{"pattern":"B",'
    '"category":"C","merchant":"M","extra":"\\u0041"}],"other":{}}',
])
def test_request_shapes(text):
    agree(text)


def test_entries_of_one_rule_are_dicts_of_their_own():
    request = {"data": [{"narration": "MART 1"}, {"narration": "x"}, {"narration": "mart 2"}],
               "rules": [{"pattern": "Mart", "category": "Groceries", "merchant": "Mart"}]}
    first = lorvane.categorize_transactions(request)["data"]
    second = lorvane.categorize_transactions(request)["data"]
    assert first[0] == first[2] == second[0] == {"category": "Groceries", "merchant": "Mart"}
    assert list(first[0]) == ["category", "merchant"] and first[1] is None
    assert first[0] is not first[2] and first[0] is not second[0]
    first[0]["category"] = "changed"
    del first[2]["merchant"]
    assert second[0] == second[2] == {"category": "Groceries", "merchant": "Mart"}
    assert lorvane.categorize_transactions(request)["data"][0] == {"category": "Groceries",
                                                                   "merchant": "Mart"}


def first_rule_model(narration, rules):
    lowered = narration.lower()
    for rule in rules:
        if rule["pattern"].lower() in lowered:
            return {"category": rule["category"], "merchant": rule["merchant"]}
    return None


@pytest.mark.parametrize("count", [0, 1, 3, 4, 5, 7, 8, 9, 17, 1000])
def test_every_narration_of_a_batch_is_scanned_whole(count):
    # Narrations are scanned several at a time: texts of every length, empty ones among
    # them, must each be read to their own end, the last ones of a batch included.
    rng = random.Random(count)
    words = ["mart", "CAFÉ", "ΣΟΦΙΑ", "zz", "fuel", "x", "", "ÉCOLE", "ref 1234"]
    rules = [{"pattern": p, "category": "c%d" % i, "merchant": "m%d" % i}
             for i, p in enumerate(["ref 12", "fuel", "école", "mart", "σοφια", "café z"])]
    narrations = [" ".join(rng.choice(words) for _ in range(rng.choice([0, 1, 2, 5, 12])))
                  for _ in range(count)]
    request = {"data": [{"narration": n} for n in narrations], "rules": rules}
    expected = [first_rule_model(n, rules) for n in narrations]
    assert lorvane.categorize_transactions(request)["data"] == expected
    assert json.loads(lorvane.categorize_transactions_json(json.dumps(request)))["data"] == expected


@pytest.mark.parametrize("batch", range(2, 10))
def test_the_last_texts_of_a_batch_are_not_read_twice(batch):
    # A short text, then `batch - 1` texts that a scan reading one part twice would take
    # for "mart mart", then a text that ends while they are all half read.
    narrations = ["a"] + ["qmart zzzz"] * (batch - 1) + ["bbbbb"]
    request = {"data": [{"narration": n} for n in narrations],
               "rules": [{"pattern": "mart mart", "category": "twice", "merchant": "m"},
                         {"pattern": "zzzz", "category": "once", "merchant": "m"}]}
    decided = [entry and entry["category"] for entry in
               lorvane.categorize_transactions(request)["data"]]
    assert decided == [None] + ["once"] * (batch - 1) + [None]


class Text(str):
    """A str subclass whose own methods lie: the text is what the str holds."""

    def lower(self):
        return "mart"

    def encode(self, *args, **kwargs):
        return b"mart"


@pytest.mark.parametrize("narration, outcome", [
    (Text("POS FRESH"), None),
    (Text("FRESHMART"), "Groceries"),
    ("caf\ud800", "invalid request: UnicodeEncodeError: 'utf-8' codec can't encode character "
                  "'\\ud800' in position 3: surrogates not allowed"),
    (b"MART", "invalid request: unexpected type: 'bytes' object cannot be converted to 'PyString'"),
    (None, "invalid request: unexpected type: 'NoneType' object cannot be converted to 'PyString'"),
])
def test_narrations_read_in_place_from_python_objects(narration, outcome):
    request = {"data": [{"narration": "mart"}, {"narration": narration}],
               "rules": [{"pattern": "MART", "category": "Groceries", "merchant": "Mart"}]}
    if outcome is None or outcome == "Groceries":
        result = lorvane.categorize_transactions(request)["data"]
        assert result[0]["category"] == "Groceries"
        assert (result[1] and result[1]["category"]) == outcome
    else:
        with pytest.raises(ValueError) as raised:
            lorvane.categorize_transactions(request)
        assert str(raised.value) == outcome


@pytest.mark.parametrize("seed", [1, 2])
def test_large_rule_sets_against_the_model(seed):
    # Thousands of patterns over a wide alphabet: the automaton's rows then take several
    # megabytes and are laid out more compactly; first-rule-wins must not change.
    rng = random.Random(seed)
    alphabet = "abcdefghijklmnopqrstuvwxyz0123456789 éüçøßαβγδжщ中文字"
    patterns = ["".join(rng.choice(alphabet) for _ in range(rng.randint(3, 9))) for _ in range(4000)]
    rules = [{"pattern": p, "category": "c%d" % i, "merchant": "m"} for i, p in enumerate(patterns)]
    narrations = ["".join(rng.choice(alphabet) for _ in range(rng.randint(0, 60))) + rng.choice(patterns)
                  if rng.random() < 0.5 else "".join(rng.choice(alphabet) for _ in range(40))
                  for _ in range(400)]
    request = {"data": [{"narration": n} for n in narrations], "rules": rules}
    expected = [first_rule_model(n, rules) for n in narrations]
    assert lorvane.categorize_transactions(request)["data"] == expected
    assert json.loads(lorvane.categorize_transactions_json(json.dumps(request)))["data"] == expected
