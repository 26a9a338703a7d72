"""Callers whose objects misbehave: they lie, raise, mutate the request or call back in.

Every such request ends in the documented ValueError carrying the interpreter's own text
(or in a result, where the misbehaviour is not looked at), keeps no reference to anything
the caller handed in, and lets KeyboardInterrupt and SystemExit through unchanged.
"""
import collections.abc
import gc
import json
import subprocess
import sys
import warnings

import pytest

import lorvane
from conftest import loan

RULES = [{"pattern": "swiggy", "category": "Food", "merchant": "Swiggy"}]


def fail(error):
    raise error


def failing_after(items, error):
    yield from items
    raise error


class Request(collections.abc.Mapping):
    """A mapping over `items` whose keys(), values() and __len__ can be replaced."""

    def __init__(self, items, keys=None, values=None, length=None):
        self.items_ = dict(items)
        self.keys_, self.values_, self.length_ = keys, values, length

    def __getitem__(self, key):
        return self.items_[key]

    def __iter__(self):
        return iter(self.items_)

    def __len__(self):
        return self.length_(self) if self.length_ else len(self.items_)

    def keys(self):
        return self.keys_(self) if self.keys_ else list(self.items_)

    def values(self):
        return self.values_(self) if self.values_ else list(self.items_.values())


class LookupFails(collections.abc.Mapping):
    """The abstract base class's own keys() and values(), over a failing __getitem__."""

    def __getitem__(self, key):
        raise LookupError("no " + key)

    def __iter__(self):
        return iter(["mode"])

    def __len__(self):
        return 1


class NoKeys:
    def __len__(self):
        return 0


collections.abc.Mapping.register(NoKeys)


class ClearedByKeys(dict):
    def keys(self):
        keys = list(dict.keys(self))
        self.clear()
        return keys


class GrownByValues(dict):
    def values(self):
        values = list(dict.values(self))
        self["extra"] = 1
        return values


class UnreadableItems(dict):
    def __getitem__(self, key):
        raise RuntimeError("not read by key")


class OwnHash(str):
    """Equal to nothing but itself, so a dict can hold it beside the plain "mode"."""

    def __hash__(self):
        return 1

    def __eq__(self, other):
        return self is other


class Items(collections.abc.Sequence):
    def __init__(self, items, length=None, item=None):
        self.items_, self.length_, self.item_ = list(items), length, item

    def __len__(self):
        return self.length_() if self.length_ else len(self.items_)

    def __getitem__(self, index):
        return self.item_(index) if self.item_ else self.items_[index]


class LongList(list):
    def __len__(self):
        return 10**15


class LongTuple(tuple):
    def __len__(self):
        return 2**62


class NoIndexing:
    def __len__(self):
        return 1


collections.abc.Sequence.register(NoIndexing)


class Number:
    """__float__ and __index__ give whatever `value` makes."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value()

    def __index__(self):
        return self.value()


class Subfloat(float):
    pass


class UnconvertedFloat(float):
    def __float__(self):
        raise RuntimeError("a float is read directly")


class UnindexedInt(int):
    def __index__(self):
        raise RuntimeError("an int is read directly")


class NonTextError(Exception):
    def __str__(self):
        return 5


def narrations(*texts):
    return [{"narration": text} for text in texts]


def shrinking_list():
    data = []
    data.extend([Request({"narration": "a"}, keys=lambda m: (data.clear(), list(m.items_))[1]),
                 {"narration": "b"}])
    return {"data": data, "rules": RULES}


def growing_list():
    data = []
    data.extend([Request({"narration": "a"}, keys=lambda m: (data.append({"narration": "x"}), list(m.items_))[1]),
                 {"narration": "b swiggy"}])
    return {"data": data, "rules": RULES}


emi, categorize, derive = lorvane.compute_emi, lorvane.categorize_transactions, lorvane.derive_rules

# (id, function, request factory, the message after "invalid request: ")
FAILING = [
    ("mapping-length-huge", emi, lambda: Request(loan(), length=lambda m: 10**15),
     "IndexError: list index out of range"),
    ("mapping-length-beyond-ssize", emi, lambda: Request(loan(), length=lambda m: 2**63),
     "OverflowError: cannot fit 'int' into an index-sized integer"),
    ("mapping-length-negative", emi, lambda: Request(loan(), length=lambda m: -1),
     "ValueError: __len__() should return >= 0"),
    ("mapping-length-not-int", emi, lambda: Request(loan(), length=lambda m: "3"),
     "TypeError: 'str' object cannot be interpreted as an integer"),
    ("keys-not-iterable", emi, lambda: Request(loan(), keys=lambda m: 5),
     "TypeError: Request.keys() returned a non-iterable (type int)"),
    ("keys-fail-midway", emi, lambda: Request(loan(), keys=lambda m: failing_after(["mode"], RuntimeError("midway"))),
     "RuntimeError: midway"),
    ("values-shorter-than-keys", emi, lambda: Request(loan(), values=lambda m: ["emi"]),
     "IndexError: list index out of range"),
    ("values-add-a-key", emi,
     lambda: Request(loan(), values=lambda m: (list(m.items_.values()), m.items_.update(x=1))[0]),
     "IndexError: list index out of range"),
    ("keys-empty-the-request", emi, lambda: Request(loan(), keys=lambda m: (list(m.items_), m.items_.clear())[0]),
     "missing field `mode`"),
    ("abc-values-over-failing-getitem", emi, LookupFails, "LookupError: no mode"),
    ("registered-mapping-without-keys", emi, NoKeys, "AttributeError: 'NoKeys' object has no attribute 'keys'"),
    ("dict-subclass-keys-clears", emi, lambda: ClearedByKeys(loan()), "missing field `mode`"),
    ("dict-subclass-values-grows", emi, lambda: GrownByValues(loan()), "IndexError: list index out of range"),
    ("str-subclass-key-smuggles-a-duplicate", emi, lambda: {OwnHash("mode"): "emi", **loan()},
     "duplicate field `mode`"),
    ("sequence-length-huge", categorize, lambda: {"data": Items(narrations("a"), length=lambda: 10**15), "rules": []},
     "IndexError: list index out of range"),
    ("list-subclass-length-huge", derive,
     lambda: {"data": LongList([{"narration": "a", "category": "c", "merchant": "m"}])},
     "IndexError: list index out of range"),
    ("tuple-subclass-length-huge", categorize, lambda: {"data": [], "rules": LongTuple(RULES)},
     "IndexError: tuple index out of range"),
    ("sequence-length-raises", categorize,
     lambda: {"data": Items([], length=lambda: fail(RuntimeError("no length"))), "rules": []},
     "RuntimeError: no length"),
    ("sequence-item-raises", derive,
     lambda: {"data": Items([{}], item=lambda i: fail(KeyError(i)))}, "KeyError: 0"),
    ("registered-sequence-without-indexing", categorize, lambda: {"data": NoIndexing(), "rules": []},
     "TypeError: 'NoIndexing' object does not support indexing"),
    ("list-shrinks-while-read", categorize, shrinking_list, "IndexError: list index out of range"),
    ("float-returns-str", emi, lambda: loan(interestRate=Number(lambda: "12")),
     "TypeError: Number.__float__ returned non-float (type str)"),
    ("index-returns-str", emi, lambda: loan(months=Number(lambda: "12")),
     "TypeError: __index__ returned non-int (type str)"),
    ("index-raises", emi, lambda: loan(months=Number(lambda: fail(ZeroDivisionError("no months")))),
     "ZeroDivisionError: no months"),
    ("index-negative", emi, lambda: loan(months=Number(lambda: -1)),
     "OverflowError: can't convert negative int to unsigned"),
    ("index-beyond-64-bits", emi, lambda: loan(months=Number(lambda: 2**64)), "OverflowError: int too big to convert"),
    ("index-beyond-32-bits", emi, lambda: loan(months=Number(lambda: 2**32)),
     "OverflowError: out of range integral type conversion attempted"),
    ("exception-str-not-text", emi, lambda: loan(interestRate=Number(lambda: fail(NonTextError()))),
     "NonTextError: <exception str() failed>"),
]


@pytest.mark.parametrize("function, make, message", [c[1:] for c in FAILING], ids=[c[0] for c in FAILING])
def test_misbehaving_request_fails_with_the_interpreters_text(function, make, message):
    with pytest.raises(ValueError) as caught:
        function(make())
    assert type(caught.value) is ValueError
    assert str(caught.value) == "invalid request: " + message


def test_float_subclass_from_float_fails_under_an_error_filter():
    with warnings.catch_warnings():
        warnings.simplefilter("error", DeprecationWarning)
        with pytest.raises(ValueError) as caught:
            emi(loan(interestRate=Number(lambda: Subfloat(12))))
    assert str(caught.value).startswith(
        "invalid request: DeprecationWarning: Number.__float__ returned non-float (type Subfloat)"
    )


class Text(str):
    """A str whose every method that could be used to read it raises."""

    def __str__(self):
        raise RuntimeError("str()")

    def __eq__(self, other):
        raise RuntimeError("==")

    def __len__(self):
        raise RuntimeError("len()")

    def __iter__(self):
        raise RuntimeError("iter()")

    def __getitem__(self, index):
        raise RuntimeError("[]")

    def encode(self, *args, **kwargs):
        raise RuntimeError("encode()")

    __hash__ = str.__hash__


def text_keys_and_values(request):
    if isinstance(request, dict):
        return {Text(k): text_keys_and_values(v) for k, v in request.items()}
    if isinstance(request, list):
        return [text_keys_and_values(v) for v in request]
    return Text(request) if isinstance(request, str) else request


# (id, function, request factory, the plain request it must give the same result as)
SUCCEEDING = [
    ("str-subclass-keys-and-values", emi, lambda: text_keys_and_values(loan(start="2024-03")), loan(start="2024-03")),
    ("str-subclass-narrations", categorize,
     lambda: text_keys_and_values({"data": narrations("Swiggy 1", "x"), "rules": RULES}),
     {"data": narrations("Swiggy 1", "x"), "rules": RULES}),
    ("str-subclass-mode-in-dict", emi, lambda: loan(mode={Text("emi"): None}), loan()),
    ("dict-subclass-getitem-unused", emi, lambda: UnreadableItems(loan()), loan()),
    ("float-subclass-read-directly", emi, lambda: loan(interestRate=UnconvertedFloat(12)), loan()),
    ("int-subclass-read-directly", emi, lambda: loan(months=UnindexedInt(12)), loan()),
    ("list-grows-while-read", categorize, growing_list, {"data": narrations("a", "b swiggy"), "rules": RULES}),
    ("keys-call-back-in", emi, lambda: Request(loan(), keys=lambda m: (emi(loan(months=2)), list(m.items_))[1]),
     loan()),
    ("item-calls-back-in", categorize,
     lambda: {"data": Items(narrations("swiggy"), item=lambda i: categorize({"data": narrations("swiggy"), "rules": RULES})
              and {"narration": "swiggy"}), "rules": RULES},
     {"data": narrations("swiggy"), "rules": RULES}),
]


@pytest.mark.parametrize("function, make, plain", [c[1:] for c in SUCCEEDING], ids=[c[0] for c in SUCCEEDING])
def test_misbehaviour_that_is_never_looked_at(function, make, plain):
    assert function(make()) == function(plain)


def test_str_subclass_request_json():
    text = json.dumps(loan())
    assert lorvane.compute_emi_json(Text(text)) == lorvane.compute_emi_json(text)


def reachable(value, seen=None):
    """The objects a request is made of, hostile parts and their attributes included."""
    seen = {} if seen is None else seen
    if id(value) in seen or isinstance(value, (int, float, str, type(None))):
        return seen
    seen[id(value)] = value
    parts = []
    if isinstance(value, dict):
        parts = list(value.keys()) + list(value.values())
    elif isinstance(value, (list, tuple)):
        parts = [part for part in value]  # list() would believe a lying __len__
    if hasattr(value, "__dict__"):
        parts.extend(vars(value).values())
    for part in parts:
        reachable(part, seen)
    return seen


@pytest.mark.parametrize(
    "function, make", [c[1:3] for c in FAILING + SUCCEEDING], ids=[c[0] for c in FAILING + SUCCEEDING]
)
def test_misbehaving_requests_keep_no_reference(function, make):
    request = make()

    def call():
        try:
            function(request)
        except ValueError:
            pass

    call()
    objects = list(reachable(request).values())
    gc.collect()  # a raised exception and the frames in its traceback form cycles
    before = [sys.getrefcount(o) for o in objects]
    for _ in range(200):
        call()
    gc.collect()
    assert [sys.getrefcount(o) for o in objects] == before


def interrupting(where, interrupt):
    """A request that raises `interrupt` from the named hook."""
    # A fresh traceback every time: a re-raised instance otherwise keeps every earlier one.
    raiser = lambda *args: fail(interrupt.with_traceback(None))  # noqa: E731
    if where == "keys":
        return emi, Request(loan(), keys=raiser)
    if where == "values":
        return emi, Request(loan(), values=raiser)
    if where == "mapping length":
        return emi, Request(loan(), length=raiser)
    if where == "nested keys":
        return categorize, {"data": [], "rules": [Request(RULES[0], keys=raiser)]}
    if where == "sequence length":
        return categorize, {"data": Items([], length=raiser), "rules": []}
    if where == "sequence item":
        return derive, {"data": Items([{}], item=raiser)}
    if where == "index":
        return emi, loan(months=Number(raiser))
    if where in ("mapping kind test", "sequence kind test"):
        class ClassRaises:
            # collections.abc's isinstance test reads __class__.
            @property
            def __class__(self):
                raiser()

        if where == "mapping kind test":
            return emi, ClassRaises()
        return categorize, {"data": ClassRaises(), "rules": []}
    if where == "str of an exception":
        class Interrupting(Exception):
            def __str__(self):
                raise interrupt.with_traceback(None)

        return emi, loan(interestRate=Number(lambda: fail(Interrupting())))
    raise AssertionError(where)


@pytest.mark.parametrize("interrupt_type", [KeyboardInterrupt, SystemExit])
@pytest.mark.parametrize(
    "where",
    ["keys", "values", "mapping length", "nested keys", "sequence length", "sequence item", "index",
     "mapping kind test", "sequence kind test", "str of an exception"],
)
def test_interrupts_pass_through_unchanged(where, interrupt_type):
    interrupt = interrupt_type("stop")
    function, request = interrupting(where, interrupt)
    with pytest.raises(interrupt_type) as caught:
        function(request)
    assert caught.value is interrupt
    del caught
    gc.collect()
    before = sys.getrefcount(interrupt)
    for _ in range(50):
        with pytest.raises(interrupt_type):
            function(request)
    gc.collect()
    assert sys.getrefcount(interrupt) == before


def test_endless_reentry_ends_in_a_recursion_error():
    class Recursive(Request):
        def keys(self):
            return emi(self)

    old_limit = sys.getrecursionlimit()
    sys.setrecursionlimit(150)  # far from the C stack's end, sanitizers included
    try:
        with pytest.raises(RecursionError):
            emi(Recursive(loan()))
    finally:
        sys.setrecursionlimit(old_limit)
    assert emi(loan())["emi"] == emi(loan())["emi"]  # the thread's depth is back to 0


REENTRY = """
import sys, lorvane
sys.setrecursionlimit(100000)

class Reentrant:
    def __init__(self, depth):
        self.depth = depth

    def __float__(self):
        if self.depth:
            lorvane.compute_emi({"mode": "emi", "loanAmount": Reentrant(self.depth - 1),
                                 "months": 12, "interestRate": 12})
        return 100000.0

for depth in (90, 5000):
    try:
        lorvane.compute_emi({"mode": "emi", "loanAmount": Reentrant(depth), "months": 12,
                             "interestRate": 12})
        print(depth, "ok")
    except RecursionError as error:
        print(depth, "RecursionError")
"""


def test_deep_reentry_from_caller_code_is_a_recursion_error_not_a_crash():
    # A raised recursion limit lets the interpreter nest far deeper than the C stack
    # holds: the module's own bound on nested calls ends it first.
    done = subprocess.run([sys.executable, "-c", REENTRY], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\n")[:2] == ["90 ok", "5000 RecursionError"]


@pytest.mark.parametrize(
    "function, request_, path",
    [
        (categorize, {"data": narrations("swiggy 1", "Swiggy 2", "x"), "rules": RULES}, ("data",)),
        (derive, {"data": [{"narration": "swiggy one", "category": "Food", "merchant": "S"},
                           {"narration": "uber ride", "category": "Travel", "merchant": "U"}]}, ("rules",)),
        (emi, loan(start="2024-11"), ("schedule",)),
    ],
)
def test_a_caller_mutating_a_result_changes_nothing_else(function, request_, path):
    first, pristine = function(request_), function(request_)
    entries = first[path[0]]
    for entry in entries:
        if isinstance(entry, dict):
            for key in list(entry):
                entry[key] = "changed"
            entry["extra"] = 1
    assert function(request_) == pristine
    # No two entries are one shared dict.
    dicts = [entry for entry in entries if isinstance(entry, dict)]
    assert len({id(entry) for entry in dicts}) == len(dicts)
