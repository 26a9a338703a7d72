"""How categorisation time grows with the number of rules.

Categorises 100,000 bank-statement narrations of about 35 bytes against 100, 1,000 and
10,000 merchant rules through the public module functions, and prints the time per
narration for each rule count, the ratio of the 10,000-rule time to the 100-rule time,
and, for scale, how long json.loads takes to read the same request. About seven in ten
narrations name the merchant of one of the rules, whatever the rule count, so that the
results to build stay comparable and the ratio shows the cost of the rules alone.
Times are the best of a few runs, in CPU time of the process.

    python benchmarks/bench_categorize_rules.py [--narrations N] [--repeat R]
"""

import argparse
import json
import random
import time

import lorvane

SYLLABLES = ["ka", "ro", "mi", "zen", "tor", "ba", "li", "sh", "an", "ex",
             "pay", "mart", "co", "re", "sto", "nu", "vi", "da", "gr", "ol"]
RULE_COUNTS = (100, 1_000, 10_000)


def word(rng, shortest, longest):
    target = rng.randint(shortest, longest)
    text = ""
    while len(text) < target:
        text += rng.choice(SYLLABLES)
    return text


def narrations(rng, rule_merchants, other_merchants, count):
    made = []
    for _ in range(count):
        merchant = rng.choice(rule_merchants if rng.random() < 0.7 else other_merchants).upper()
        kind = rng.randrange(4)
        if kind == 0:
            made.append("UPI/DR/%012d/%s/YESB/pay" % (rng.randrange(10**12), merchant))
        elif kind == 1:
            made.append("POS 4321XXXX%04d %s %s" % (rng.randrange(10**4), merchant, word(rng, 3, 8).upper()))
        elif kind == 2:
            made.append("NEFT-HDFC000%04d-%s SALARY" % (rng.randrange(10**4), word(rng, 4, 10).upper()))
        else:
            made.append("ACH D- %s LOAN EMI %d" % (merchant, rng.randrange(10**5)))
    return made


def best_time(function, argument, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.process_time()
        function(argument)
        best = min(best, time.process_time() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--narrations", type=int, default=100_000)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    rng = random.Random(7)
    merchants = [word(rng, 4, 12) for _ in range(2 * max(RULE_COUNTS))]
    print("%d narrations per run" % args.narrations)
    print("%8s %12s %12s %14s %10s %8s" % ("rules", "object ns", "json ns", "json.loads ns",
                                          "matched", "bytes"))

    per_narration = {}
    for count in RULE_COUNTS:
        rules = [{"pattern": merchants[2 * i], "category": "Cat%d" % (i % 20),
                  "merchant": "Merchant %d" % i} for i in range(count)]
        data = [{"narration": n} for n in narrations(rng, merchants[0:2 * count:2],
                                                      merchants[1::2], args.narrations)]
        size = sum(len(d["narration"].encode()) for d in data) / len(data)
        request = {"data": data, "rules": rules}
        text = json.dumps(request)
        as_object = best_time(lorvane.categorize_transactions, request, args.repeat)
        as_json = best_time(lorvane.categorize_transactions_json, text, args.repeat)
        parse = best_time(json.loads, text, args.repeat)
        matched = sum(m is not None for m in lorvane.categorize_transactions(request)["data"])
        scale = 1e9 / len(data)
        per_narration[count] = as_object * scale, as_json * scale
        print("%8d %12.0f %12.0f %14.0f %10d %8.1f" % (count, as_object * scale, as_json * scale,
                                                        parse * scale, matched, size))

    low, high = per_narration[RULE_COUNTS[0]], per_narration[RULE_COUNTS[-1]]
    print("ratio %d/%d rules: object %.2f, json %.2f" % (
        RULE_COUNTS[-1], RULE_COUNTS[0], high[0] / low[0], high[1] / low[1]))


if __name__ == "__main__":
    main()
