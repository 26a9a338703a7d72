"""First-rule-wins over rule sets large enough for every way the automaton holds its
transitions: rows for every state, rows for the busiest states only, and numbers of
states past 16 bits."""

import json
import random

import pytest

import lorvane

SYMBOLS = "abcdefghijklmnopqrstuvwxyz0123456789éß中ж"
PRINTABLE = "".join(chr(c) for c in range(0x21, 0x7F))

# (id, seed, alphabet, number of patterns, shortest, longest)
RULE_SETS = [
    ("rows for every state, 32-bit state numbers", 3, "ab", 10_000, 16, 28),
    ("rows for the busiest states", 4, SYMBOLS, 5_000, 4, 9),
    ("rows for the busiest states, 32-bit state numbers", 5, SYMBOLS, 12_000, 6, 12),
    ("failure links past the room for rows", 6, PRINTABLE, 60_000, 5, 5),
]


def first_rule(narration, first_index, lengths):
    """The smallest rule index whose pattern occurs in the narration, both lowercased."""
    text = narration.lower()
    found = [first_index.get(text[i:i + n]) for n in lengths for i in range(len(text) - n + 1)]
    found = [i for i in found if i is not None]
    return min(found) if found else None


def overlaps(rng, alphabet, count):
    """Patterns where a branching state's longest suffix that is a state lies on a chain:
    c+w+x and c+w+y branch after c+w, whose suffix w continues only to w+z. The texts
    c+w+z then need the chain's one transition from the branching state."""
    patterns, texts = [], []
    for _ in range(count):
        word = "".join(rng.choice(alphabet) for _ in range(rng.randint(6, 9)))
        c, x, y, z = rng.sample(alphabet, 4)
        patterns += [c + word + x, c + word + y, word + z]
        texts.append(c + word + z)
    return patterns, texts


def narrations(rng, alphabet, patterns, count):
    made = []
    for k in range(count):
        noise = lambda: "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 30)))
        parts = [noise()]
        for _ in range(rng.choice([0, 1, 1, 2, 3])):
            pattern = rng.choice(patterns)
            parts += [pattern[rng.randint(0, 2):] if rng.random() < 0.3 else pattern, noise()]
        text = "".join(parts)
        made.append(text.upper() if k % 3 == 0 else text)
    return made


@pytest.mark.parametrize("seed, alphabet, count, shortest, longest",
                         [case[1:] for case in RULE_SETS], ids=[case[0] for case in RULE_SETS])
def test_large_rule_sets_decide_as_the_first_listed_rule(seed, alphabet, count, shortest, longest):
    rng = random.Random(seed)
    patterns = ["".join(rng.choice(alphabet) for _ in range(rng.randint(shortest, longest)))
                for _ in range(count)]
    patterns[10:20] = patterns[:10]  # repeated patterns: only the first of each decides
    patterns[30] = patterns[30].upper()
    overlapping, overlap_texts = overlaps(rng, alphabet, 30) if len(alphabet) >= 4 else ([], [])
    patterns += overlapping
    first_index = {}
    for i, pattern in enumerate(patterns):
        first_index.setdefault(pattern.lower(), i)
    lengths = sorted({len(p) for p in first_index})
    texts = narrations(rng, alphabet, patterns, 300) + overlap_texts + ["", alphabet, patterns[30].lower()]
    expected = [first_rule(text, first_index, lengths) for text in texts]
    assert any(i is None for i in expected) and any(i is not None for i in expected)

    request = {"data": [{"narration": t} for t in texts],
               "rules": [{"pattern": p, "category": str(i), "merchant": "m"} for i, p in enumerate(patterns)]}
    as_objects = lorvane.categorize_transactions(request)["data"]
    as_json = json.loads(lorvane.categorize_transactions_json(json.dumps(request)))["data"]
    assert [m and int(m["category"]) for m in as_objects] == expected
    assert as_json == as_objects


def test_trie_past_any_table_decides_as_the_first_listed_rule():
    """Over 4,194,304 states (what the room for tables holds at eight bytes a state) the
    trie is linked without ever building a table: 4,800 patterns of 1,000 letters, whose
    states are mostly chains, then short patterns found inside them, and one letter that
    every state ending in it recognises."""
    rng = random.Random(8)
    long = ["".join(rng.choice("ab") for _ in range(1000)) for _ in range(4800)]
    long[10:20] = long[:10]
    long[30] = long[30].upper()
    short = ["".join(rng.choice("ab") for _ in range(20)) for _ in range(200)]
    patterns = long + short + ["b"]
    first_index = {}
    for i, pattern in enumerate(patterns):
        first_index.setdefault(pattern.lower(), i)
    texts = narrations(rng, "ab", long, 150) + ["", "a" * 2000, long[30], long[5][1:] + long[6][:-1]]
    texts = [t.replace("b", "a") if k % 5 == 0 else t for k, t in enumerate(texts)]
    expected = [first_rule(text, first_index, [1, 20, 1000]) for text in texts]
    assert {None, len(patterns) - 1} < set(expected)

    request = {"data": [{"narration": t} for t in texts],
               "rules": [{"pattern": p, "category": str(i), "merchant": "m"} for i, p in enumerate(patterns)]}
    as_objects = lorvane.categorize_transactions(request)["data"]
    assert [m and int(m["category"]) for m in as_objects] == expected
