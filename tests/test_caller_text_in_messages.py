"""Messages that quote the caller's text keep all of it: a NUL, any other control
character or a non-ASCII character arrives unchanged, and in the JSON form the position
still follows it."""
import json

import pytest

import lorvane

# Control characters and non-ASCII text around a NUL, in every place a message can quote.
ODD = "a\x00b\x01\x1f\x7f é€😀"


def emi_json(**fields):
    request = {"mode": "emi", "loanAmount": 1000, "months": 12, "interestRate": 12}
    request.update(fields)
    return json.dumps(request, ensure_ascii=True)


def emi_object(**fields):
    request = {"mode": "emi", "loanAmount": 1000, "months": 12, "interestRate": 12}
    request.update(fields)
    return request


def qualname(name):
    cls = type("Odd", (), {})
    cls.__qualname__ = name
    return cls


class RaisesWithText:
    def __float__(self):
        raise ArithmeticError(ODD)


CASES = [
    # (name, function, request, the message)
    ("json enum", lorvane.compute_emi_json, emi_json(mode=ODD),
     "invalid request: unknown variant `" + ODD + "`, expected one of `emi`, `tenure`, `loanAmount`"),
    ("json enum object", lorvane.compute_emi_json, emi_json(mode={ODD: None}),
     "invalid request: unknown variant `" + ODD + "`, expected one of `emi`, `tenure`, `loanAmount`"),
    ("json start month", lorvane.compute_emi_json, emi_json(start="2024-05" + ODD),
     "invalid request: invalid month in 2024-05" + ODD),
    ("json start year", lorvane.compute_emi_json, emi_json(start=ODD + "-05"),
     "invalid request: invalid year in " + ODD + "-05"),
    ("json start form", lorvane.compute_emi_json, emi_json(start=ODD),
     'invalid request: expected "YYYY-MM", got ' + ODD),
    ("json wrong kind", lorvane.compute_emi_json, emi_json(months=ODD),
     # Inside a quoted string description, control characters are written escaped.
     'invalid request: invalid type: string "a\\0b\\u{1}\\u{1f}\\u{7f} é€😀", expected u32'),
    ("object enum", lorvane.compute_emi, emi_object(mode=ODD),
     "invalid request: unknown variant `" + ODD + "`, expected one of `emi`, `tenure`, `loanAmount`"),
    ("object enum dict", lorvane.compute_emi, emi_object(mode={ODD: 1}),
     "invalid request: unknown variant `" + ODD + "`, expected one of `emi`, `tenure`, `loanAmount`"),
    ("object start", lorvane.compute_emi, emi_object(start="2024-05" + ODD),
     "invalid request: invalid month in 2024-05" + ODD),
    ("object type name", lorvane.compute_emi, qualname(ODD)(),
     "invalid request: unexpected type: '" + ODD + "' object cannot be converted to 'Mapping'"),
    ("object interpreter error", lorvane.compute_emi, emi_object(loanAmount=RaisesWithText()),
     "invalid request: ArithmeticError: " + ODD),
    ("request_json type name", lorvane.compute_emi_json, qualname(ODD)(),
     "argument 'request_json': '" + ODD + "' object cannot be converted to 'PyString'"),
]


@pytest.mark.parametrize("function, request_, message", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_the_whole_caller_text_reaches_the_message(function, request_, message):
    with pytest.raises((ValueError, TypeError)) as caught:
        function(request_)
    text = str(caught.value)
    if function.__name__.endswith("_json") and isinstance(request_, str):
        head, _, position = text.rpartition(" at line ")
        assert head == message
        line, _, column = position.partition(" column ")
        assert line == "1" and column.isdigit()
    else:
        assert text == message


@pytest.mark.parametrize("function", [lorvane.compute_emi, lorvane.compute_emi_json])
def test_a_keyword_with_a_nul_is_named_whole(function):
    with pytest.raises(TypeError) as caught:
        function(**{"request\x00x": "{}"})
    assert str(caught.value) == function.__name__ + "() got an unexpected keyword argument 'request\x00x'"


def test_a_key_that_holds_a_field_name_before_a_nul_names_no_field():
    request = emi_object()
    del request["mode"]
    request["mode\x00é"] = "emi"
    with pytest.raises(ValueError) as caught:
        lorvane.compute_emi(request)
    assert str(caught.value) == "invalid request: missing field `mode`"
