"""Eight threads calling all six functions at once get exactly what one thread gets.

Calls hold the interpreter lock, but the caller's own code inside a call (a __float__, a
mapping's keys()) can give it up, so other threads' calls run in the middle of a call's
decoding; the switch interval is made tiny to force that as well.
"""
import collections.abc
import json
import subprocess
import sys
import threading
import time

import pytest

import lorvane
from conftest import loan

THREADS = 8


class YieldingRate:
    """A rate whose conversion lets the other threads run mid-call."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        time.sleep(0)
        return self.value


RULES = [
    {"pattern": "swiggy", "category": "Food", "merchant": "Swiggy"},
    {"pattern": "SALARY", "category": "Income", "merchant": "ACME"},
    {"pattern": "é", "category": "Accents", "merchant": "Café"},
]
NARRATIONS = ["UPI Swiggy 1", "neft salary may", "Café Noir", "nothing", "ΣΊΣΥΦΟΣ"]
LABELLED = [
    {"narration": "UPI Swiggy 1", "category": "Food", "merchant": "Swiggy"},
    {"narration": "UPI swiggy order 2", "category": "Food", "merchant": "Swiggy"},
    {"narration": "NEFT salary ACME", "category": "Income", "merchant": "ACME"},
    {"narration": "NEFT salary ACME june", "category": "Income", "merchant": "ACME"},
]

CALLS = [
    ("compute_emi", loan(start="2024-11", inflationRate=6)),
    ("compute_emi", loan(interestRate=YieldingRate(9.5))),
    ("compute_emi", {"mode": "tenure", "loanAmount": 50000, "emi": 5000, "interestRate": 11}),
    ("compute_emi", loan(months=601)),
    ("compute_emi", loan(mode="weekly")),
    ("compute_emi", [1, 2]),
    ("compute_emi_json", json.dumps(loan(mode="loanAmount", emi=9000, loanAmount=None))),
    ("compute_emi_json", '{"mode":"emi","months":1.5}'),
    ("compute_emi_json", "{"),
    ("compute_emi_json", b"{}"),
    ("categorize_transactions", {"data": [{"narration": n} for n in NARRATIONS], "rules": RULES}),
    ("categorize_transactions", {"data": [{"narration": 5}], "rules": RULES}),
    ("categorize_transactions_json", json.dumps({"data": [{"narration": n} for n in NARRATIONS], "rules": RULES})),
    ("categorize_transactions_json", '{"data":[],"rules":[{"pattern":"a"}]}'),
    ("derive_rules", {"data": LABELLED}),
    ("derive_rules", {"data": LABELLED + [{"narration": "x"}]}),
    ("derive_rules_json", json.dumps({"data": LABELLED})),
    ("derive_rules_json", '{"data":null}'),
]


def outcome(name, request):
    try:
        return "result", getattr(lorvane, name)(request)
    except (ValueError, TypeError) as error:
        return type(error).__name__, str(error)


def test_eight_threads_get_what_one_thread_gets():
    expected = [outcome(name, request) for name, request in CALLS]
    assert {kind for kind, _ in expected} == {"result", "ValueError", "TypeError"}

    start = threading.Barrier(THREADS)
    mismatches = [None] * THREADS

    def worker(index):
        # Each thread starts at another place in the table, so different calls overlap.
        order = list(range(index, len(CALLS))) + list(range(index))
        start.wait()
        wrong = 0
        for _ in range(40):
            for i in order:
                wrong += outcome(*CALLS[i]) != expected[i]
        mismatches[index] = wrong

    old_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=worker, args=(i,)) for i in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(old_interval)
    assert mismatches == [0] * THREADS


FIRST_USE = r"""
import json, sys, threading, lorvane
calls = json.loads(sys.argv[1])
start = threading.Barrier(8)
out = [None] * 8

def outcome(name, request):
    try:
        return ["result", getattr(lorvane, name)(request)]
    except (ValueError, TypeError) as error:
        return [type(error).__name__, str(error)]

def worker(i):
    start.wait()
    out[i] = [outcome(name, request) for name, request in calls]

sys.setswitchinterval(1e-6)
threads = [threading.Thread(target=worker, args=(i,)) for i in range(8)]
for t in threads: t.start()
for t in threads: t.join()
print(json.dumps(out))
"""


def test_first_calls_of_a_process_race_safely():
    # The process-wide caches (interned keys, the abstract base classes) are filled by
    # whichever thread gets there first.
    calls = [(name, request) for name, request in CALLS
             if not isinstance(request, bytes) and "YieldingRate" not in repr(request)]
    calls.append(("compute_emi", {"mode": "emi", "loanAmount": 1, "interestRate": 1, "months": 1, "x": None}))
    calls.append(("categorize_transactions", {"data": (), "rules": []}))
    done = subprocess.run([sys.executable, "-c", FIRST_USE, json.dumps(calls)],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    per_thread = json.loads(done.stdout)
    expected = json.loads(json.dumps([list(outcome(name, request)) for name, request in calls]))
    assert per_thread == [expected] * THREADS


class Pausing(collections.abc.Mapping):
    """A request whose keys() runs `during` (on another thread) before answering."""

    def __init__(self, items, during):
        self.items_, self.during = items, during

    def __getitem__(self, key):
        return self.items_[key]

    def __iter__(self):
        return iter(self.items_)

    def __len__(self):
        return len(self.items_)

    def keys(self):
        thread = threading.Thread(target=self.during)
        thread.start()
        thread.join()
        return list(self.items_)


@pytest.mark.parametrize("name", ["compute_emi", "categorize_transactions", "derive_rules"])
def test_other_threads_run_all_functions_inside_a_call(name):
    plain = next(request for n, request in CALLS if n == name)
    inner = []
    request = Pausing(plain, lambda: inner.extend(outcome(n, r) for n, r in CALLS))
    assert outcome(name, request) == outcome(name, plain)
    assert inner == [outcome(n, r) for n, r in CALLS]
