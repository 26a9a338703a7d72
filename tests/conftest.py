import json

import pytest

import lorvane


def loan(**fields):
    """A valid 'emi' request with the given fields replaced (None removes a key)."""
    request = {"mode": "emi", "loanAmount": 100000, "months": 12, "interestRate": 12}
    for key, value in fields.items():
        if value is None:
            request.pop(key, None)
        else:
            request[key] = value
    return request


def item(narration, category, merchant=""):
    """One labelled narration of a derivation request."""
    return {"narration": narration, "category": category, "merchant": merchant}


def derive(*items):
    """The rules derived from the labelled narrations, through the object form."""
    return lorvane.derive_rules({"data": list(items)})["rules"]


def rule(pattern, category, merchant=""):
    return {"pattern": pattern, "category": category, "merchant": merchant}


@pytest.fixture
def both_forms():
    """Runs a request through the object form and the JSON form; returns both results."""

    def run(function, request):
        as_object = getattr(lorvane, function)(request)
        as_json = json.loads(getattr(lorvane, function + "_json")(json.dumps(request)))
        return as_object, as_json

    return run
