"""The generated Unicode data, character by character, against independent oracles: the
interpreter's str.lower() for the full lowercase mapping, and DerivedCoreProperties.txt
with unicodedata's general categories for what counts as alphanumeric. Everything goes
through the public functions, a few large calls at a time."""

import os
import re
import unicodedata

import pytest
from hypothesis import given, settings, strategies as st

import lorvane
from derive_model import model_derive

HERE = os.path.dirname(os.path.abspath(__file__))
TABLES = os.path.join(HERE, os.pardir, "src", "categorizer", "text", "unicode_tables.cpp")
UCD = os.environ.get("LORVANE_UCD", "/usr/share/unicode")
NUMERIC_CATEGORIES = ("Nd", "Nl", "No")
BATCH = 60000


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


def tables_version():
    try:
        with open(TABLES, encoding="utf-8") as f:
            found = re.search(r'unicode_version\[\] = "([\d.]+)"', f.read())
    except OSError:
        found = None
    if not found:
        pytest.skip("the generated tables are not beside the tests")
    return found.group(1)


def file_version(path):
    with open(path, encoding="utf-8") as f:
        found = re.match(r"#\s*\S+-(\d+\.\d+\.\d+)\.txt", f.readline())
    return found.group(1) if found else None


def ranges_of(path, wanted):
    """The code points that a UCD property file lists with a value accepted by wanted."""
    points = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = [x.strip() for x in line.split("#", 1)[0].split(";")]
            if len(fields) < 2 or not wanted(fields[1]):
                continue
            first, _, last = fields[0].partition("..")
            points.update(range(int(first, 16), int(last or first, 16) + 1))
    return points


@pytest.fixture(scope="module")
def characters():
    """Every character assigned both in the tables' Unicode version and the interpreter's."""
    ours = tables_version()
    in_tables = None
    if version_tuple(unicodedata.unidata_version) > version_tuple(ours):
        age = os.path.join(UCD, "DerivedAge.txt")
        if not os.path.exists(age):
            pytest.skip("the interpreter's Unicode is newer than the tables and DerivedAge.txt is absent")
        limit = version_tuple(ours)[:2]
        in_tables = ranges_of(age, lambda v: version_tuple(v) <= limit)
    chars = []
    for cp in range(0x110000):
        ch = chr(cp)
        if unicodedata.category(ch) in ("Cn", "Cs"):
            continue
        if in_tables is None or cp in in_tables:
            chars.append(ch)
    return chars


def deciding_rules(narrations, patterns):
    """Categorises narration i against rules whose pattern i has category str(i); returns
    the number of the deciding rule for each narration, or None."""
    request = {"data": [{"narration": n} for n in narrations],
               "rules": [{"pattern": p, "category": str(i), "merchant": ""}
                         for i, p in enumerate(patterns)]}
    return [None if r is None else int(r["category"])
            for r in lorvane.categorize_transactions(request)["data"]]


def described(chars):
    return ["U+%04X %r" % (ord(ch), ch) for ch in chars[:20]]


@pytest.mark.parametrize("before", ["", "A"], ids=["alone", "after a cased letter"])
def test_lowercase_equals_interpreters(characters, before):
    # "<i>" ... "|" delimits each text, so narration i can hold no pattern but its own, and
    # holds it only as its whole text. Each direction shows that the lowercase of one side
    # contains the other's; both together, that they are equal.
    wrong = []
    for start in range(0, len(characters), BATCH):
        batch = characters[start:start + BATCH]
        texts = ["<%d>%s%s|" % (i, before, ch) for i, ch in enumerate(batch)]
        lowered = [t.lower() for t in texts]
        forward = deciding_rules(texts, lowered)
        backward = deciding_rules(lowered, texts)
        wrong += [ch for i, ch in enumerate(batch) if forward[i] != i or backward[i] != i]
    assert described(wrong) == []


@pytest.fixture(scope="module")
def alphabetic():
    path = os.path.join(UCD, "DerivedCoreProperties.txt")
    if not os.path.exists(path):
        pytest.skip("DerivedCoreProperties.txt is absent")
    if file_version(path) != tables_version():
        pytest.skip("DerivedCoreProperties.txt is not of the tables' Unicode version")
    return ranges_of(path, lambda name: name == "Alphabetic")


def test_alphanumerics_and_their_lowercase(characters, alphabetic):
    # Narration i in group i is "q<i>q" + ch + "zzz": with an alphanumeric character the
    # group's pattern is the whole lowercased narration, without one it is "q<i>q".
    def is_alphanumeric(ch):
        return ord(ch) in alphabetic or unicodedata.category(ch) in NUMERIC_CATEGORIES

    data = [{"narration": "q%dq%szzz" % (i, ch), "category": str(i), "merchant": ""}
            for i, ch in enumerate(characters)]
    got = {r["category"]: r["pattern"] for r in lorvane.derive_rules({"data": data})["rules"]}
    expected = {r["category"]: r["pattern"] for r in model_derive(data, is_alphanumeric)["rules"]}
    wrong = [ch for i, ch in enumerate(characters) if got.get(str(i)) != expected.get(str(i))]
    assert described(wrong) == []


SIGMA_CASES = [
    ("\u03a3", "\u03c3"),                       # the first character of a text
    ("A\u03a3", "a\u03c2"),
    ("A\u03a3B", "a\u03c3b"),
    ("\u03a3\u0391\u03a3", "\u03c3\u03b1\u03c2"),
    ("A\u03a3\u03a3", "a\u03c3\u03c2"),
    ("1\u03a3", "1\u03c3"),                     # a digit is not cased
    ("A'\u03a3", "a'\u03c2"),                   # case-ignorable characters are skipped
    ("A.\u03a3.", "a.\u03c2."),
    ("A\u03a3\u0301", "a\u03c2\u0301"),
    ("A\u03a3'B", "a\u03c3'b"),
    ("A\u03a3\u0301B", "a\u03c3\u0301b"),
    ("A \u03a3", "a \u03c3"),                   # a blank is neither
    ("\u02b0\u03a3", "\u02b0\u03c3"),           # cased but case-ignorable: skipped
    ("A\u03a3\u02b0", "a\u03c2\u02b0"),
    ("ab\u03a3" + "'" * 1000 + "c", "ab\u03c3" + "'" * 1000 + "c"),
]


@pytest.mark.parametrize("text, lowered", SIGMA_CASES)
def test_capital_sigma_in_context(text, lowered):
    assert deciding_rules(["<%s|" % text], ["<%s|" % lowered]) == [0]


ASCII_EDGES = "@AZ[`az{\x7f\x00 "


@settings(deadline=None)
@given(st.text(alphabet=st.sampled_from(ASCII_EDGES + "\u00c9\u0130\u03a3\u00df\u2c65\u023a'"),
               max_size=40))
def test_mixed_text_lowercases_like_the_interpreter(text):
    # Runs of every length cross the eight-byte ASCII steps; the non-ASCII letters grow,
    # keep or shrink their UTF-8 length.
    marked, lowered = "<%s|" % text, "<%s|" % text.lower()
    assert deciding_rules([marked], [lowered]) == [0]
    assert deciding_rules([lowered], [marked]) == [0]
