"""Categorisation at every request shape: a grid of narration counts × rule counts, each
cell timed in both forms for the module, for plain Python and for every automaton library
that is installed (its automaton built inside each call, as a caller has to).

Small cells take microseconds: each sample is a loop of as many calls as last a few
milliseconds. Plain Python on large cells takes minutes (100,000 narrations × 10,000 rules
is 10^9 substring tests): where one call would last longer than a limit, it is timed on
the first `sample` narrations of the request and on the request without narrations, and
the time is scaled linearly in the narrations,

    T(n) = T(0) + n / sample × (T(sample) − T(0)),

which is exact for its loop, the same work for every narration, as far as the sample is
representative of the request (the narrations are drawn independently of each other).
Rows so timed say `scaled_from`.
"""

import json
import time

import lorvane

import data
import report
import suites
from baselines import automata, jsonlibs, plain

NARRATIONS = [1, 10, 100, 1_000, 10_000, 100_000]
RULES = [10, 100, 1_000, 10_000]
OBJECTS, JSON = "categorize_transactions", "categorize_transactions_json"


def counts(text):
    """Counts written comma-separated, as the command lines take them ("1,10,1_000")."""
    return [int(n) for n in text.split(",")]
FUNCTIONS = [OBJECTS, JSON]
PLAIN = {OBJECTS: "plain Python", JSON: "plain Python + json"}


def target(function, narrations, rules):
    """The least ratio plain Python time / module time wanted for a cell (None: none)."""
    json_form = function == JSON
    if narrations > 10_000:
        # Beyond 10,000 narrations, only the comparison's own shape has a target.
        return (200 if json_form else 100) if rules == 1_000 else None
    if narrations >= 1_000:
        return 40 if json_form else 20
    if narrations >= 100:
        return 10 if json_form else 5
    if narrations >= 10:
        return 3
    return 1


def library_form(function, categorize):
    """A library categoriser (request mapping in and out) in the form of `function`: for
    the JSON form, with the fastest JSON library installed."""
    if function == OBJECTS:
        return categorize
    try:
        return jsonlibs.orjson_form(categorize)
    except ImportError:
        return lambda text: plain.dumps(categorize(json.loads(text)))


class Grid:
    """Times the cells; `rows` collects every implementation's row of every cell."""

    def __init__(self, timer, sample_seconds=0.005, sample=1_000, plain_limit=1.0):
        self.timer = timer
        self.sample_seconds = sample_seconds
        self.sample = sample  # narrations that plain Python is timed on when scaled
        self.plain_limit = plain_limit  # seconds of one plain call above which it is scaled
        self.rows = []

    def suite(self, function, request, extra, in_turns=False):
        argument = suites.dumps(request) if function == JSON else request
        expected = getattr(lorvane, function)(argument)
        return suites.Suite(self.timer, "grid", function, argument, expected, extra,
                            sample_seconds=self.sample_seconds, in_turns=in_turns)

    def cell(self, narrations, rules):
        request = data.categorize_case(narrations, rules)
        extra = {"narrations": narrations, "rules": rules,
                 "text_bytes": len(suites.dumps(request).encode())}
        found = []
        for function in FUNCTIONS:
            # The cell's implementations are timed in turns: their ratios hold up better
            # to the load of a shared machine than one after the other.
            suite = self.suite(function, request, extra, in_turns=True)
            suite.add(suites.LORVANE, lambda: getattr(lorvane, function))
            self.plain(suite, function, request, extra)
            for library in automata.LIBRARIES:
                for batched in (True, False) if narrations > 1 else (True,):
                    name = "%s %s%s" % (library, "batched" if batched else "per narration",
                                        " + orjson" if function == JSON else "")
                    suite.add(name, lambda: library_form(
                        function, automata.make_categorizer(library, batched)))
            found += suite.timed()
        self.rows += found
        return found

    def plain(self, suite, function, request, extra):
        """Plain Python's row in `suite`: timed on the whole request, or scaled from a
        sample of its narrations when a call would last longer than the limit."""
        name, run = PLAIN[function], plain.categorize_json if function == JSON else plain.categorize
        narrations = extra["narrations"]
        if narrations <= self.sample:
            return suite.add(name, lambda: run)
        part = self.suite(function, dict(request, data=request["data"][:self.sample]), extra)
        sampled = part.add(name, lambda: run)
        if sampled["seconds"] is not None and (
                sampled["seconds"] * narrations / self.sample <= self.plain_limit):
            return suite.add(name, lambda: run)
        row = dict(sampled, **suite.base)
        if sampled["seconds"] is not None:
            empty = self.suite(function, dict(request, data=[]), extra).add(name, lambda: run)
            if empty["seconds"] is None:
                row.update(seconds=None, status=empty["status"])
            else:
                row["seconds"] = empty["seconds"] + narrations / self.sample * (
                    sampled["seconds"] - empty["seconds"])
                row["scaled_from"] = self.sample
        suite.rows.append(row)
        return row

    def run(self, narration_counts, rule_counts, progress=print):
        """Every cell, smallest first; returns the rows and the seconds the grid took."""
        start = time.perf_counter()
        for narrations in narration_counts:
            for rules in rule_counts:
                progress(summary_line(self.cell(narrations, rules)))
        return self.rows, time.perf_counter() - start


# ---- the cells' figures ----

def fastest(rows, function, narrations, rules, among):
    found = [r for r in rows if r["suite"] == "grid" and r["function"] == function
             and r["narrations"] == narrations and r["rules"] == rules
             and r["seconds"] is not None and r["status"] == "ok" and among(r["implementation"])]
    return min(found, key=lambda r: r["seconds"], default=None)


def is_library(implementation):
    return any(implementation.startswith(name) for name in automata.LIBRARIES)


def figures(rows):
    """{(function, narrations, rules): dict of the module's seconds, plain Python's
    seconds and whether they were scaled, the fastest library's seconds and name, the
    two ratios, the target and whether it holds}."""
    out = {}
    for row in rows:
        if row["suite"] != "grid" or row["implementation"] != suites.LORVANE or not row["seconds"]:
            continue
        function, narrations, rules = row["function"], row["narrations"], row["rules"]
        mine = row["seconds"]
        base = fastest(rows, function, narrations, rules, lambda name: name == PLAIN[function])
        library = fastest(rows, function, narrations, rules, is_library)
        wanted = target(function, narrations, rules)
        ratio = base["seconds"] / mine if base else None
        out[function, narrations, rules] = {
            "lorvane": mine,
            "plain": base and base["seconds"], "scaled": bool(base and base.get("scaled_from")),
            "ratio": ratio,
            "library": library and library["implementation"],
            "library_ratio": library["seconds"] / mine if library else None,
            "target": wanted,
            "holds": None if wanted is None or ratio is None else ratio >= wanted,
        }
    return out


def summary_line(cell_rows):
    first = cell_rows[0]
    parts = []
    for (function, _, _), cell in figures(cell_rows).items():
        parts.append("%s %s (%s) lib %s" % (
            "objects" if function == OBJECTS else "JSON", report.format_ratio(cell["ratio"]),
            "-" if cell["lorvane"] is None else "%.1f µs" % (cell["lorvane"] * 1e6),
            report.format_ratio(cell["library_ratio"])))
    bad = [r["implementation"] + ": " + r["status"] for r in cell_rows
           if r["status"] not in ("ok",) and not r["status"].startswith("not installed")]
    return "grid %s narrations × %s rules: %s%s" % (
        format(first["narrations"], ","), format(first["rules"], ","), "; ".join(parts),
        "".join("\n  " + b for b in bad))
