"""Drives every path of the six functions a fixed number of times, for .ci/leakcheck.

Run under valgrind's memcheck with PYTHONMALLOC=malloc: every call's objects and C++ blocks
are then single heap blocks, and anything a path forgets shows as definitely lost, with
a count of at least ROUNDS.
"""
import collections.abc
import json
import sys

import lorvane

ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 40


def loan(**fields):
    request = {"mode": "emi", "loanAmount": 100000, "months": 12, "interestRate": 12}
    request.update(fields)
    return request


class Rate:
    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error


class Keys(collections.abc.Mapping):
    def __init__(self, items, error):
        self.items_, self.error = items, error

    def __getitem__(self, key):
        return self.items_[key]

    def __iter__(self):
        return iter(self.items_)

    def __len__(self):
        return len(self.items_)

    def keys(self):
        raise self.error


class NotText(Exception):
    def __str__(self):
        return 5


RULES = [{"pattern": "swiggy", "category": "Food", "merchant": "Swiggy"},
         {"pattern": "Σ", "category": "Greek", "merchant": "Σ"}]
LABELLED = [
    {"narration": "UPI swiggy order 1", "category": "Food", "merchant": "Swiggy"},
    {"narration": "UPI swiggy order 2", "category": "Food", "merchant": "Swiggy"},
    {"narration": "NEFT salary ACME", "category": "Income", "merchant": "ACME"},
]


def cases():
    """(function, positional arguments, keyword arguments); new objects on every call, so
    that a reference the module keeps leaves an unreachable, definitely lost block."""
    data = [{"narration": t} for t in ["UPI swiggy 1", "ΟΔΟΣ", "nothing at all"]]
    rules = [dict(rule) for rule in RULES]
    labelled = [dict(item) for item in LABELLED]
    return [
        (lorvane.compute_emi, (loan(start="2024-11", inflationRate=6),), {}),
        (lorvane.compute_emi, ({"mode": "tenure", "loanAmount": 50000, "emi": 5000, "interestRate": 11},), {}),
        (lorvane.compute_emi, (loan(mode="loanAmount", emi=9000),), {}),
        (lorvane.compute_emi, (loan(), loan()), {}),
        (lorvane.compute_emi, (), {"request": loan(), "other": 1}),
        (lorvane.compute_emi, (), {}),
        (lorvane.compute_emi, ([1],), {}),
        (lorvane.compute_emi, ({**loan(), 5: 1},), {}),
        (lorvane.compute_emi, (loan(mode={"weekly": None}),), {}),
        (lorvane.compute_emi, (loan(start="2024-13"),), {}),
        (lorvane.compute_emi, (loan(months=2**40),), {}),
        (lorvane.compute_emi, (loan(interestRate=Rate(ArithmeticError("x"))),), {}),
        (lorvane.compute_emi, (loan(interestRate=Rate(NotText())),), {}),
        (lorvane.compute_emi, (loan(interestRate=Rate(KeyboardInterrupt())),), {}),
        (lorvane.compute_emi, (Keys(loan(), SystemExit()),), {}),
        (lorvane.compute_emi, (Keys(loan(), LookupError("no keys")),), {}),
        (lorvane.compute_emi, ({**loan(), "\ud800": 1},), {}),
        (lorvane.compute_emi, (loan(months=601),), {}),
        (lorvane.compute_emi, ({"mode": "tenure", "loanAmount": 85000, "emi": 500, "interestRate": 10},), {}),
        (lorvane.compute_emi_json, (json.dumps(loan(start="2024-11")),), {}),
        (lorvane.compute_emi_json, (json.dumps(loan(months=601)),), {}),
        (lorvane.compute_emi_json, ('{"mode":"emi","x":[[[{"y":"\\u00e9"}]]],"months":1.5}',), {}),
        (lorvane.compute_emi_json, ('{"mode":"emi",',), {}),
        (lorvane.compute_emi_json, ("[" * 200 + "]" * 200,), {}),
        (lorvane.compute_emi_json, ('{"mode":"\ud800"}',), {}),
        (lorvane.compute_emi_json, (b"{}",), {}),
        (lorvane.categorize_transactions, ({"data": data, "rules": rules},), {}),
        (lorvane.categorize_transactions, ({"data": data + [{"narration": None}], "rules": rules},), {}),
        (lorvane.categorize_transactions, ({"data": "ab", "rules": []},), {}),
        (lorvane.categorize_transactions_json, (json.dumps({"data": data, "rules": rules}),), {}),
        (lorvane.categorize_transactions_json, ('{"data":[],"rules":[{"pattern":"a","category":"b"}]}',), {}),
        (lorvane.derive_rules, ({"data": labelled},), {}),
        (lorvane.derive_rules, ({"data": labelled + [7]},), {}),
        (lorvane.derive_rules_json, (json.dumps({"data": labelled}),), {}),
        (lorvane.derive_rules_json, ('{"data":[{"narration":"a","category":"b","merchant":5}]}',), {}),
        (lorvane.derive_rules_json, (None,), {}),
    ]


def main():
    outcomes = set()
    for _ in range(ROUNDS):
        for function, args, kwargs in cases():
            try:
                function(*args, **kwargs)
                outcomes.add("result")
            except (ValueError, TypeError, KeyboardInterrupt, SystemExit) as error:
                outcomes.add(type(error).__name__)
    print("driver: %d calls, outcomes %s" % (ROUNDS * len(cases()), sorted(outcomes)))


if __name__ == "__main__":
    main()
