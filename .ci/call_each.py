"""Imports the installed module and calls each of the six functions once, checking each
answer: the check of a build from source under one interpreter (.ci/from_source)."""
import json
import sys

import lorvane

LOAN = {"mode": "emi", "loanAmount": 100000, "months": 12, "interestRate": 12}
NARRATIONS = {"data": [{"narration": "UPI-FRESHMART-4411"}, {"narration": "ATM WDL"}],
              "rules": [{"pattern": "freshmart", "category": "Groceries", "merchant": "FreshMart"}]}
LABELLED = {"data": [{"narration": "NEFT-SALARY-JAN", "category": "Income", "merchant": "Employer"}]}
MATCHES = {"data": [{"category": "Groceries", "merchant": "FreshMart"}, None]}
RULES = {"rules": [{"pattern": "salary", "category": "Income", "merchant": "Employer"}]}

CALLS = [
    ("compute_emi", LOAN, lambda result: (result["emi"], len(result["schedule"])) == (8885, 12)),
    ("compute_emi_json", json.dumps(LOAN), lambda text: json.loads(text)["emi"] == 8885),
    ("categorize_transactions", NARRATIONS, lambda result: result == MATCHES),
    ("categorize_transactions_json", json.dumps(NARRATIONS), lambda text: json.loads(text) == MATCHES),
    ("derive_rules", LABELLED, lambda result: result == RULES),
    ("derive_rules_json", json.dumps(LABELLED), lambda text: json.loads(text) == RULES),
]

wrong = []
for name, request, check in CALLS:
    result = getattr(lorvane, name)(request)
    if not check(result):
        wrong.append("%s answered %r" % (name, result))
print("CPython %s, %s: %s" % (sys.version.split()[0], lorvane.__file__,
                              "; ".join(wrong) or "the six functions answered as expected"))
sys.exit(1 if wrong else 0)
