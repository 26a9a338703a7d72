"""The benchmark suites: for each module function, the module and every alternative a user
would reach for, each checked against the module's result before it is timed.

Every suite returns rows: dicts with the keys
    suite, function, implementation, seconds (median per call, None when not timed),
    runs, status ("ok", "floor", "not installed: ...", "differs: ...", "failed: ..."),
    and, where they apply, rules, narrations, text_bytes.
"""

import json

import lorvane

import data
from baselines import automata, jsonlibs, loans, plain

LORVANE = "lorvane"
FLOOR = "orjson.loads alone (floor)"


def dumps(request):
    return json.dumps(request, ensure_ascii=False)


def same_rules(expected, got):
    """Derived rules agree: the same groups in the same order, and where the patterns
    differ, both have the same score (the choice among equal scores is free)."""
    if not isinstance(got, dict) or [(r["category"], r["merchant"]) for r in got["rules"]] != [
            (r["category"], r["merchant"]) for r in expected["rules"]]:
        return False
    return all(a["pattern"] == b["pattern"] or len(a["pattern"].encode()) == len(b["pattern"].encode())
               for a, b in zip(expected["rules"], got["rules"]))


class Suite:
    """Runs one function's implementations on one argument and collects the rows."""

    def __init__(self, timer, suite, function, argument, expected, extra=None,
                 agree=lambda expected, got: expected == got, calls=1, sample_seconds=None,
                 in_turns=False):
        self.timer = timer
        # When set, each implementation's samples are loops of as many calls as last this long.
        self.sample_seconds = sample_seconds
        # When set, add() checks and keeps the implementation; timed() times all in turns.
        self.in_turns = in_turns
        self.waiting = []
        self.base = dict(extra or {}, suite=suite, function=function)
        self.argument = argument
        self.expected = expected
        self.agree = agree
        self.calls = calls
        self.rows = []

    def add(self, implementation, factory, checked=True):
        row = dict(self.base, implementation=implementation, seconds=None, runs=0)
        self.rows.append(row)
        try:
            run = factory()
        except ImportError as error:
            row["status"] = "not installed: %s" % (error.name or error)
            return row
        try:
            start = self.timer.clock()
            got = run(self.argument)
            first = self.timer.clock() - start
        except Exception as error:  # a baseline that cannot run is reported, not fatal
            row["status"] = "failed: %s: %s" % (type(error).__name__, error)
            return row
        if checked and not self.agree(self.expected, got):
            row["status"] = "differs: results do not match the module's"
            return row
        row["status"] = "ok" if checked else "floor"
        if first * self.calls > self.timer.budget / 2:
            row["seconds"], row["runs"] = first, 1  # too slow to repeat: the checked run
        else:
            calls = self.calls if self.calls > 1 else 1
            if self.sample_seconds:
                calls = self.timer.calls_lasting(run, self.argument, self.sample_seconds)
            if self.in_turns:
                self.waiting.append((row, (run, self.argument, calls)))
            else:
                row["seconds"], row["runs"] = self.timer.median(run, self.argument, calls)
        return row

    def timed(self):
        """The rows, once the implementations kept by add() are timed in turns."""
        measured = self.timer.medians([run for _, run in self.waiting])
        for (row, _), (seconds, runs) in zip(self.waiting, measured):
            row["seconds"], row["runs"] = seconds, runs
        self.waiting = []
        return self.rows


def categorize_json(timer, narrations, rules):
    request = data.categorize_case(narrations, rules)
    text = dumps(request)
    extra = {"rules": rules, "narrations": narrations, "text_bytes": len(text.encode())}
    suite = Suite(timer, "categorize", "categorize_transactions_json", text,
                  lorvane.categorize_transactions_json(text), extra)
    suite.add(LORVANE, lambda: lorvane.categorize_transactions_json)
    suite.add("plain Python + json", lambda: plain.categorize_json)
    suite.add("plain Python + orjson", lambda: jsonlibs.orjson_form(plain.categorize))
    suite.add("plain Python + msgspec Structs", jsonlibs.msgspec_categorize)
    for library in automata.LIBRARIES:
        for batched in (True, False):
            suite.add("%s %s + orjson" % (library, "batched" if batched else "per narration"),
                      lambda: jsonlibs.orjson_form(automata.make_categorizer(library, batched)))
    suite.add(FLOOR, jsonlibs.orjson_loads, checked=False)
    return suite.rows


def categorize_objects(timer, narrations, rules, with_plain=True):
    request = data.categorize_case(narrations, rules)
    extra = {"rules": rules, "narrations": narrations, "text_bytes": len(dumps(request).encode())}
    suite = Suite(timer, "categorize", "categorize_transactions", request,
                  lorvane.categorize_transactions(request), extra)
    suite.add(LORVANE, lambda: lorvane.categorize_transactions)
    if with_plain:
        suite.add("plain Python", lambda: plain.categorize)
    for library in automata.LIBRARIES:
        for batched in (True, False):
            suite.add("%s %s" % (library, "batched" if batched else "per narration"),
                      lambda: automata.make_categorizer(library, batched))
    return suite.rows


def scaling(timer, narrations, rule_counts, plain_up_to):
    """Categorisation time against the number of rules: the module's two forms and every
    categoriser in the object form (plain Python up to `plain_up_to` rules)."""
    rows = []
    for rules in rule_counts:
        request = data.categorize_case(narrations, rules)
        text = dumps(request)
        extra = {"rules": rules, "narrations": narrations, "text_bytes": len(text.encode())}
        as_json = Suite(timer, "scaling", "categorize_transactions_json", text,
                        lorvane.categorize_transactions_json(text), extra)
        as_json.add(LORVANE, lambda: lorvane.categorize_transactions_json)
        as_json.add(FLOOR, jsonlibs.orjson_loads, checked=False)
        objects = Suite(timer, "scaling", "categorize_transactions", request,
                        lorvane.categorize_transactions(request), extra)
        objects.add(LORVANE, lambda: lorvane.categorize_transactions)
        if rules <= plain_up_to:
            objects.add("plain Python", lambda: plain.categorize)
        for library in automata.LIBRARIES:
            objects.add("%s batched" % library, lambda: automata.make_categorizer(library, True))
        rows += as_json.rows + objects.rows
    return rows


def emi(timer):
    rows = []
    for case, request in data.emi_cases().items():
        text = dumps(request)
        extra = {"case": case}
        objects = Suite(timer, "emi", "compute_emi", request, lorvane.compute_emi(request), extra,
                        calls=timer.calls_for(plain.compute_emi, request))
        objects.add(LORVANE, lambda: lorvane.compute_emi)
        objects.add("plain Python", lambda: plain.compute_emi)
        objects.add("numpy-financial + Python schedule", loans.compute_emi)
        as_json = Suite(timer, "emi", "compute_emi_json", text, lorvane.compute_emi_json(text), extra,
                        calls=timer.calls_for(plain.compute_emi_json, text))
        as_json.add(LORVANE, lambda: lorvane.compute_emi_json)
        as_json.add("plain Python + json", lambda: plain.compute_emi_json)
        as_json.add("plain Python + orjson", lambda: jsonlibs.orjson_form(plain.compute_emi))
        as_json.add("plain Python + msgspec", jsonlibs.msgspec_emi)
        rows += objects.rows + as_json.rows
    return rows


def derive(timer, labelled):
    request = data.derive_case(labelled)
    text = dumps(request)
    extra = {"narrations": labelled, "text_bytes": len(text.encode())}
    expected = lorvane.derive_rules(request)
    as_json = Suite(timer, "derive", "derive_rules_json", text, expected, extra,
                    agree=lambda want, got: same_rules(want, json.loads(got)))
    as_json.add(LORVANE, lambda: lorvane.derive_rules_json)
    as_json.add("plain Python + json + Counter", lambda: plain.derive_json)
    as_json.add("plain Python + orjson + Counter", lambda: jsonlibs.orjson_form(plain.derive))
    as_json.add("plain Python + msgspec + Counter", jsonlibs.msgspec_derive)
    as_json.add(FLOOR, jsonlibs.orjson_loads, checked=False)
    objects = Suite(timer, "derive", "derive_rules", request, expected, extra, agree=same_rules)
    objects.add(LORVANE, lambda: lorvane.derive_rules)
    objects.add("plain Python + Counter", lambda: plain.derive)
    return as_json.rows + objects.rows
