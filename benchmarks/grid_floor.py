"""How close the object form is to the interpreter's own floor at the grid's shapes.

The floor of a categorisation in the object form is what the interpreter spends on the
request and the result alone, with no matching at all: reading each rule's three fields and
each narration's text, and making one result dict per narration (a copy of a two-key dict).
It is timed with the interpreter's own C loops (`map` over `operator.itemgetter` and
`dict.copy`), so it holds no bytecode per item; it is a lower bound for any
implementation that takes and returns these objects. Where plain Python is only a few times
its floor (few rules), no implementation can be many times faster than plain Python.

    python benchmarks/grid_floor.py [--narrations 10,100,1000] [--rules 10,100]
"""

import argparse
import itertools
import time
from operator import itemgetter

import lorvane

import data
import grid
from baselines import plain

RULE_FIELDS = itemgetter("pattern", "category", "merchant")
NARRATION = itemgetter("narration")
RESULT = {"category": "category", "merchant": "merchant"}


def floor(request):
    list(map(RULE_FIELDS, request["rules"]))
    list(map(NARRATION, request["data"]))
    return {"data": list(map(dict.copy, itertools.repeat(RESULT, len(request["data"]))))}


def fastest_seconds(function, argument, samples=7, least=0.03):
    """The fastest of `samples` loops of calls, each lasting at least `least` seconds."""
    best = float("inf")
    for _ in range(samples):
        start, calls = time.perf_counter(), 0
        while time.perf_counter() - start < least:
            function(argument)
            calls += 1
        best = min(best, (time.perf_counter() - start) / calls)
    return best


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--narrations", type=grid.counts, default=[10, 100, 1_000, 10_000])
    parser.add_argument("--rules", type=grid.counts, default=[10, 100])
    args = parser.parse_args(argv)
    print("%-22s %12s %12s %12s %14s %16s" % (
        "narrations × rules", "lorvane", "plain", "floor", "lorvane/floor", "plain/floor"))
    for narrations in args.narrations:
        for rules in args.rules:
            request = data.categorize_case(narrations, rules)
            assert lorvane.categorize_transactions(request) == plain.categorize(request)
            ours, theirs, least = (fastest_seconds(f, request)
                                   for f in (lorvane.categorize_transactions, plain.categorize, floor))
            print("%-22s %9.1f µs %9.1f µs %9.1f µs %13.2f× %15.1f×" % (
                "%s × %s" % (format(narrations, ","), format(rules, ",")),
                ours * 1e6, theirs * 1e6, least * 1e6, ours / least, theirs / least))


if __name__ == "__main__":
    main()
