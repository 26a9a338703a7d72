"""Repeated calls on every path leave no Python object, reference or C++ heap block behind.

Each case runs one call shape thousands of times and checks three things afterwards: the
interpreter's traced allocations (tracemalloc), the reference counts of the objects the
caller handed in (and of None and the interned result keys), and the process's resident
size. The first two catch a leaked reference exactly; the last catches C++ memory that a
failure path forgot, which tracemalloc cannot see.
"""
import gc
import json
import os
import sys
import tracemalloc

import pytest

import lorvane
from conftest import loan

CALLS = 1000

NARRATIONS = ["UPI/Swiggy order 4411", "NEFT salary ACME corp", "ATM withdrawal", "zomato"]
RULES = [
    {"pattern": "swiggy", "category": "Food", "merchant": "Swiggy"},
    {"pattern": "salary", "category": "Income", "merchant": "ACME"},
]
LABELLED = [
    {"narration": "UPI/Swiggy order 4411", "category": "Food", "merchant": "Swiggy"},
    {"narration": "UPI/Swiggy order 9812", "category": "Food", "merchant": "Swiggy"},
    {"narration": "NEFT salary ACME corp", "category": "Income", "merchant": "ACME"},
]


class RaisingRate:
    def __float__(self):
        raise ArithmeticError("no rate today")


class InterruptingRate:
    def __float__(self):
        raise KeyboardInterrupt


def categorize_request():
    return {"data": [{"narration": text} for text in NARRATIONS], "rules": [dict(r) for r in RULES]}


def derive_request():
    return {"data": [dict(item) for item in LABELLED]}


def case(label, function, make_args, raises=None, kwargs=None):
    return pytest.param(function, make_args, kwargs or {}, raises, id=label)


# (function, arguments factory, keyword arguments, expected exception or None)
CASES = [
    case("emi-ok", lorvane.compute_emi, lambda: (loan(start="2024-11", inflationRate=6),)),
    case("emi-too-many-arguments", lorvane.compute_emi, lambda: (loan(), loan()), TypeError),
    case("emi-unknown-keyword", lorvane.compute_emi, lambda: (), TypeError, {"req": {}}),
    case("emi-not-a-mapping", lorvane.compute_emi, lambda: ([loan()],), ValueError),
    case("emi-missing-field", lorvane.compute_emi, lambda: ({"mode": "emi"},), ValueError),
    case("emi-bad-variant", lorvane.compute_emi, lambda: (loan(mode={"weekly": [1, 2]}),), ValueError),
    case("emi-bad-start", lorvane.compute_emi, lambda: (loan(start="2024-13"),), ValueError),
    case("emi-interpreter-error", lorvane.compute_emi, lambda: (loan(interestRate=RaisingRate()),), ValueError),
    case("emi-interrupt", lorvane.compute_emi, lambda: (loan(interestRate=InterruptingRate()),), KeyboardInterrupt),
    case("emi-engine-error", lorvane.compute_emi, lambda: (loan(months=601),), ValueError),
    case("emi-payment-too-small", lorvane.compute_emi,
         lambda: ({"mode": "tenure", "loanAmount": 85000, "emi": 500, "interestRate": 10},), ValueError),
    case("emi-json-ok", lorvane.compute_emi_json, lambda: (json.dumps(loan(start="2024-11")),)),
    case("emi-json-not-str", lorvane.compute_emi_json, lambda: (json.dumps(loan()).encode(),), TypeError),
    case("emi-json-surrogate", lorvane.compute_emi_json, lambda: ('{"mode":"\ud800"}',), UnicodeEncodeError),
    case("emi-json-malformed", lorvane.compute_emi_json, lambda: ('{"mode":"emi","months":[1,2}',), ValueError),
    case("emi-json-wrong-kind", lorvane.compute_emi_json, lambda: ('{"mode":"emi","months":1.5}',), ValueError),
    case("emi-json-engine-error", lorvane.compute_emi_json, lambda: (json.dumps(loan(months=601)),), ValueError),
    case("categorize-ok", lorvane.categorize_transactions, lambda: (categorize_request(),)),
    case("categorize-keyword-twice", lorvane.categorize_transactions, lambda: ({},), TypeError, {"request": {}}),
    case("categorize-bad-rule", lorvane.categorize_transactions,
         lambda: ({"data": [{"narration": t} for t in NARRATIONS], "rules": [{"pattern": "x"}]},), ValueError),
    case("categorize-bad-element", lorvane.categorize_transactions,
         lambda: ({"data": [{"narration": t} for t in NARRATIONS] + [7], "rules": []},), ValueError),
    case("categorize-json-ok", lorvane.categorize_transactions_json, lambda: (json.dumps(categorize_request()),)),
    case("categorize-json-missing", lorvane.categorize_transactions_json, lambda: (), TypeError),
    case("categorize-json-bad", lorvane.categorize_transactions_json,
         lambda: ('{"data":[{"narration":"a"},{"narration":5}],"rules":[]}',), ValueError),
    case("derive-ok", lorvane.derive_rules, lambda: (derive_request(),)),
    case("derive-unknown-keyword", lorvane.derive_rules, lambda: ({},), TypeError, {"x": 1}),
    case("derive-bad-element", lorvane.derive_rules,
         lambda: ({"data": [dict(item) for item in LABELLED] + [{"narration": "a", "category": "b"}]},), ValueError),
    case("derive-json-ok", lorvane.derive_rules_json, lambda: (json.dumps(derive_request()),)),
    case("derive-json-not-str", lorvane.derive_rules_json, lambda: (None,), TypeError),
    case("derive-json-bad", lorvane.derive_rules_json, lambda: ('{"data":[{"narration":"a","category":"b"}]}',), ValueError),
]


def contents(value):
    """The argument and every container, key and value inside it, numbers left out (small
    ints and floats are shared with the whole interpreter, so their counts drift)."""
    found = [] if isinstance(value, (int, float)) else [value]
    if isinstance(value, dict):
        for key, item in value.items():
            found.append(key)
            found.extend(contents(item))
    elif isinstance(value, (list, tuple)):
        for item in value:
            found.extend(contents(item))
    return found


def result_keys():
    """The result keys as the module interns them, so their counts show dropped references."""
    text = lorvane.compute_emi_json(json.dumps(loan(start="2024-11")))
    keys = set()
    stack = [json.loads(text), lorvane.categorize_transactions(categorize_request())]
    while stack:
        value = stack.pop()
        if isinstance(value, dict):
            keys.update(value)
            stack.extend(value.values())
        elif isinstance(value, list):
            stack.extend(value)
    return [sys.intern(key) for key in sorted(keys)]


def reference_counts(items):
    return [sys.getrefcount(item) for item in items]


def caller(function, args, kwargs, raises):
    def call():
        if raises is None:
            function(*args, **kwargs)
            return
        try:
            function(*args, **kwargs)
        except raises:
            return
        raise AssertionError("expected " + raises.__name__)

    return call


def batch_of_calls(call, watched):
    """Runs CALLS calls; returns the growth of traced memory and of each watched count."""
    gc.collect()
    counts = reference_counts(watched)
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(CALLS):
            call()
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    return grown, [new - old for old, new in zip(counts, reference_counts(watched))]


@pytest.mark.parametrize("function, make_args, kwargs, raises", CASES)
def test_repeated_calls_leak_nothing(function, make_args, kwargs, raises):
    args = make_args()
    call = caller(function, args, kwargs, raises)
    for _ in range(3):  # fill the process-wide caches: interned keys, base classes
        call()
    # The caller's own objects are counted exactly. Strings and None are also held by the
    # interpreter's caches (the type attribute cache, abc's caches), whose churn moves their
    # counts a little; so are the traced allocations, once. A leak or an extra release in
    # every call moves them by thousands in every batch.
    exact, shared = [function], [None] + result_keys()
    for value in list(args) + list(kwargs.values()):
        for item in contents(value):
            (shared if item is None or isinstance(item, str) else exact).append(item)
    batches = [batch_of_calls(call, exact + shared) for _ in range(2)]

    assert min(grown for grown, _ in batches) < 4096
    for _, changes in batches:
        assert changes[: len(exact)] == [0] * len(exact)
    drift = [min(abs(a), abs(b)) for a, b in zip(batches[0][1], batches[1][1])][len(exact):]
    assert [(item, d) for item, d in zip(shared, drift) if d > CALLS // 20] == []


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


BIG_NARRATIONS = ["UPI/%d/merchant number %d paid by card xx%04d" % (i, i % 97, i) for i in range(2000)]
BIG_RULES = [{"pattern": "number %d " % i, "category": "c%d" % i, "merchant": "m%d" % i} for i in range(60)]


def big_categorize(tail=()):
    return {"data": [{"narration": text} for text in BIG_NARRATIONS] + list(tail), "rules": BIG_RULES}


def big_derive(tail=()):
    data = [{"narration": t, "category": "c%d" % (i % 13), "merchant": "m%d" % (i % 7)}
            for i, t in enumerate(BIG_NARRATIONS)]
    return {"data": data + list(tail)}


# Each call of these allocates well over 100 kB in C++ (decoded records, schedules, tables,
# JSON text), most of it before the failure, if there is one.
BIG_CASES = [
    ("emi-long-schedule", lorvane.compute_emi_json,
     json.dumps(loan(months=600, start="2024-01", inflationRate=5)), None),
    ("emi-failing-after-long-text", lorvane.compute_emi_json,
     '{"x":"%s","mode":"emi","months":601,"loanAmount":1,"interestRate":1}' % ("a" * 200000), ValueError),
    ("categorize", lorvane.categorize_transactions_json, json.dumps(big_categorize()), None),
    ("categorize-failing-at-the-end", lorvane.categorize_transactions,
     big_categorize(tail=[{"narration": None}]), ValueError),
    ("categorize-json-failing-at-the-end", lorvane.categorize_transactions_json,
     json.dumps(big_categorize(tail=[{}])), ValueError),
    ("derive", lorvane.derive_rules_json, json.dumps(big_derive()), None),
    ("derive-failing-at-the-end", lorvane.derive_rules, big_derive(tail=[5]), ValueError),
]


def under_address_sanitizer():
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


@pytest.mark.skipif(under_address_sanitizer(), reason="AddressSanitizer keeps freed memory in quarantine")
@pytest.mark.parametrize("function, request_, raises", [c[1:] for c in BIG_CASES], ids=[c[0] for c in BIG_CASES])
def test_resident_size_stays_flat(function, request_, raises):
    call = caller(function, (request_,), {}, raises)
    for _ in range(20):
        call()
    before = resident_bytes()
    for _ in range(400):
        call()
    # A leak of the per-call C++ memory would add 40 MB or more; allocator slack is far less.
    assert resident_bytes() - before < 16 * 1024 * 1024
