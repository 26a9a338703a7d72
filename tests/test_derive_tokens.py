"""Rule derivation on the edges of how tokens are found and told apart: tokens at every
place of long narrations, ASCII or not, tokens of about the length that a table entry
holds in place, and tokens whose share depends on the order of their narrations."""

import itertools
import random

import pytest

import lorvane
from conftest import derive, item, rule
from derive_model import model_derive



# A token alone in its narration, at a given byte offset, of a given number of characters,
# written in letters of one, two or three UTF-8 bytes, or in letters whose lowercase
# depends on the context (capital sigma) or has another UTF-8 size. The separators
# before and after are ASCII for an ASCII token and include a two-byte no-break space
# otherwise.
SCRIPTS = {"ascii": "Q", "latin": "\u00c9", "cjk": "\u6f22", "sigma": "\u03a3",
           "lowercase longer": "\u023a", "lowercase shorter": "\u212a"}
OFFSETS = [0, 1, 14, 15, 16, 17, 31, 32, 62, 63, 64, 65, 127, 128, 129]
LENGTHS = [1, 2, 3, 9, 70]


def separators(width, wide):
    """`width` bytes of separators; with a no-break space (2 bytes) when `wide`."""
    if not wide or width < 2:
        return "-" * width
    return "\u00a0" + "-" * (width - 2)


@pytest.mark.parametrize("script, offset, length", list(itertools.product(SCRIPTS, OFFSETS, LENGTHS)))
def test_token_found_at_any_offset(script, offset, length):
    letter = SCRIPTS[script]
    wide = script != "ascii"
    token = letter * length
    narration = separators(offset, wide) + token + separators(offset % 7, wide)
    lowered = token.lower()
    expected = [rule(lowered, "C")] if len(lowered.encode()) >= 3 else []
    assert derive(item(narration, "C")) == expected


# Two different tokens, each in a group of its own: the first in three narrations, the
# second in one. Were they taken for one token, neither would pass the share test. The
# sizes straddle the 12 bytes held in a table entry; longer tokens share their first
# bytes and size and differ further on.
IDENTITY_CASES = [
    ("short, last byte", "abc", "abd"),
    ("twelve bytes, last byte", "abcdefghijkl", "abcdefghijkm"),
    ("twelve and thirteen", "abcdefghijkl", "abcdefghijkla"),
    ("thirteen, last byte", "abcdefghijklm", "abcdefghijkln"),
    ("thirteen, fifth byte", "abcdxfghijklm", "abcdyfghijklm"),
    ("card numbers", "462760xxxxxx9700", "462760xxxxxx9701"),
    ("eleven and twelve digits", "12345678901", "123456789012"),
    ("two-byte letters, twelve and fourteen", "\u00e9" * 6, "\u00e9" * 7),
    ("long, last byte", "w" * 1500 + "a", "w" * 1500 + "b"),
    ("long, sizes past 12", "x" * 40, "x" * 41),
]


@pytest.mark.parametrize("first, second", [c[1:] for c in IDENTITY_CASES],
                         ids=[c[0] for c in IDENTITY_CASES])
def test_tokens_told_apart(first, second):
    data = [item("%s ab" % first, "A")] * 3 + [item(second, "B")]
    assert derive(*data) == [rule(first, "A"), rule(second, "B")]
    assert derive(*reversed(data)) == [rule(first, "A"), rule(second, "B")]


# The groups of the narrations containing "shared", in input order: "A" narrations are
# "shared", "B" narrations "shared other". The token passes for A when at least 80 % of
# them are A's, wherever the others stand.
ORDER_CASES = [
    ("others first", "BAAAA", True),
    ("others first, eight of ten", "BBAAAAAAAA", True),
    ("others between", "ABABAAAAAA", True),
    ("others last, three of four", "AAAB", False),
    ("others first, three of four", "BAAA", False),
    ("alternating", "ABABABAA", False),
    ("three groups, A most", "CBAAAAAAAA", True),
    ("three groups, A below 80 %", "CBAAAAAAA", False),
    ("one of each", "AB", False),
]


@pytest.mark.parametrize("groups, passes", [c[1:] for c in ORDER_CASES], ids=[c[0] for c in ORDER_CASES])
def test_share_whatever_the_order(groups, passes):
    data = [item("shared" if g == "A" else "shared other", g) for g in groups]
    rules = derive(*data)
    assert (rule("shared", "A") in rules) == passes
    assert rules == model_derive(data)["rules"]


# Random labelled narrations of up to a few hundred bytes, mixing ASCII and other words
# and separators, short and long tokens, held against the model.
WORDS = ["pos", "UPI", "neft", "salary", "refund", "ATM", "ab", "4411", "000123",
         "462760XXXXXX9700", "abcdefghijkl", "ABCDEFGHIJKLM", "anshavifin", "bel", "x",
         "CAF\u00c9", "caf\u00e9", "M\u00dcNCHEN", "\u039f\u0394\u039f\u03a3", "\u6f22\u5b57",
         "\u00e9\u00e9", "stra\u00dfe", "reference" * 3]
SEPARATORS = [" ", "  ", "-", "/", "_", ".", "\u00a0", " \u20ac ", "*"]
LABELS = [("Food", "Swiggy"), ("Food", "Zomato"), ("Travel", "Uber"), ("Cash", "ATM"), ("", "")]


def random_data(seed, count):
    rng = random.Random(seed)
    data = []
    for _ in range(count):
        words = [rng.choice(WORDS) + rng.choice(SEPARATORS) for _ in range(rng.randint(0, 30))]
        data.append(item("".join(words), *rng.choice(LABELS)))
    return data


@pytest.mark.parametrize("seed", range(8))
def test_long_narrations_agree_with_model(seed):
    data = random_data(seed, 200)
    assert lorvane.derive_rules({"data": data}) == model_derive(data, str.isalnum)
