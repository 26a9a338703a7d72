"""Synthetic but realistic benchmark data, the same on every run (fixed seeds).

Narrations imitate what banks print on statements: card purchases with masked card
numbers and terminal ids, instant payments with reference numbers and payment handles,
salary credits, standing orders and direct debits, refunds and ATM withdrawals. Most
text is ASCII capitals; about one merchant in twelve has an accented Latin name and one
in twenty-five a Greek, Cyrillic, Arabic or CJK one.

Rule lists name one merchant per rule (the merchants users write rules for), with a few
generic rules at the end (salary, ATM, refunds); about seven narrations in ten name the
merchant of one of the rules, whatever the number of rules, so that timings at different
rule counts do the same amount of result building.
"""

import itertools
import json
import random

SEED = 20240611

SYLLABLES = ["ka", "ro", "mi", "zen", "tor", "ba", "li", "sha", "an", "ex", "pay", "mart",
             "co", "re", "sto", "nu", "vi", "da", "gro", "ol", "fin", "bel", "quo", "tex",
             "lum", "ny", "ar", "vel", "sun", "pix"]
SUFFIXES = ["", "", "", " MART", " STORES", " CAFE", " FOODS", " PHARMA", " FUEL", " LTD",
            " ONLINE", " RETAIL", " & CO", " DIGITAL", " TRAVELS", " KITCHEN"]
ACCENTED = ["CAFÉ", "BÄCKEREI", "CRÊPERIE", "SEÑOR", "ŁÓDŹ", "MÜHLE", "ÇARŞI", "PÂTISSERIE",
            "BRASSERIE FRANÇOISE", "SMØRREBRØD", "KÖK", "GARÇON", "ÎLE", "ÅHLÉNS", "NOVÁ"]
NON_LATIN = ["ΚΑΦΕΝΕΙΟ", "ΑΡΤΟΠΟΙΕΙΟ", "ПЕКАРНЯ", "КНИЖНЫЙ", "АПТЕКА", "مطعم", "مخبز",
             "咖啡店", "书店", "ラーメン", "편의점", "ΣΟΥΠΕΡΜΑΡΚΕΤ"]
CATEGORIES = ["Groceries", "Eating out", "Fuel", "Shopping", "Travel", "Utilities",
              "Entertainment", "Health", "Education", "Insurance", "Subscriptions",
              "Home", "Transport", "Gifts", "Personal care", "Electronics"]
CITIES = ["MUMBAI", "LONDON", "BERLIN", "PARIS", "LISBOA", "ATHINA", "DUBAI", "SINGAPORE",
          "NEW YORK", "MADRID", "WARSZAWA", "MÜNCHEN", "SÃO PAULO", "TOKYO", "ZÜRICH"]
BANKS = ["HDFC", "ICIC", "SBIN", "YESB", "UTIB", "BARC", "HSBC", "DEUT", "BNPA", "KKBK"]
HANDLE_DOMAINS = ["ybl", "okaxis", "paytm", "oksbi", "ibl", "upi"]
EMPLOYERS = ["ACME CORP", "GLOBEX LTD", "INITECH", "UMBRELLA PLC", "STARK IND", "WAYNE ENT"]
# Generic rules, listed after the merchant rules (later rules only decide when no
# merchant rule does).
GENERIC_RULES = [
    ("salary", "Income", "Employer"),
    ("atm", "Cash", "ATM"),
    ("refund", "Refunds", "Refund"),
    ("standing order", "Transfers", "Standing order"),
    ("interest", "Income", "Bank interest"),
]


def _word(rng, syllables):
    return "".join(rng.choice(SYLLABLES) for _ in range(syllables))


def merchant_names(count, seed=SEED):
    """`count` distinct merchant names, in a fixed order."""
    rng = random.Random(seed)
    names, seen = [], set()
    while len(names) < count:
        roll = rng.random()
        if roll < 0.08:
            name = "%s %s" % (rng.choice(ACCENTED), _word(rng, 2).upper())
        elif roll < 0.12:
            name = "%s %s" % (rng.choice(NON_LATIN), _word(rng, 2).upper())
        else:
            name = _word(rng, rng.randint(2, 4)).upper() + rng.choice(SUFFIXES)
        if name.lower() not in seen:
            seen.add(name.lower())
            names.append(name)
    return names


def pattern_for(merchant, rng):
    """The pattern a user writes for a merchant: its first word, or the whole name,
    mostly in small letters, sometimes as printed."""
    words = merchant.split()
    # Words of one or two syllables are often prefixes of other merchants' names: those
    # rules take the whole name.
    pattern = words[0] if len(words[0]) >= 7 else merchant
    return pattern if rng.random() < 0.25 else pattern.lower()


def narration(rng, merchant):
    """One statement line naming `merchant`, in one of the styles banks print."""
    kind = rng.random()
    if kind < 0.40:  # card purchase
        style = rng.randrange(3)
        card = "%04d" % rng.randrange(10000)
        if style == 0:
            return "POS %sXXXXXX%s %s %s %02d/%02d" % (
                rng.randrange(400000, 499999), card, merchant, rng.choice(CITIES),
                rng.randint(1, 28), rng.randint(1, 12))
        if style == 1:
            return "VISA PURCHASE %s ****%s TID %08d %s" % (
                merchant, card, rng.randrange(10**8), rng.choice(CITIES))
        return "CARD %s %s %s IN %d.%02d" % (card, merchant, rng.choice(CITIES),
                                              rng.randrange(10, 9999), rng.randrange(100))
    if kind < 0.75:  # instant payment
        ref = rng.randrange(10**11, 10**12)
        handle = "%s@%s" % (merchant.split()[0].lower(), rng.choice(HANDLE_DOMAINS))
        style = rng.randrange(3)
        if style == 0:
            return "UPI/DR/%d/%s/%s/%s/Payment" % (ref, merchant, rng.choice(BANKS), handle)
        if style == 1:
            return "IMPS/P2M/%d/%s/%s" % (ref, merchant, rng.choice(BANKS))
        return "FPS PAYMENT %s REF %X %s" % (merchant, ref, handle)
    if kind < 0.85:  # direct debit or standing order
        if rng.random() < 0.5:
            return "ACH D- %s EMI %d" % (merchant, rng.randrange(10**6))
        return "STANDING ORDER %s REF %07d" % (merchant, rng.randrange(10**7))
    if kind < 0.92:  # refund
        return "REFUND %s ORDER %03d-%07d-%07d" % (
            merchant, rng.randrange(1000), rng.randrange(10**7), rng.randrange(10**7))
    return "POS REVERSAL %s %s" % (merchant, rng.choice(CITIES))


def other_narration(rng):
    """A line that names no merchant: salary credits, ATM withdrawals, interest."""
    kind = rng.random()
    if kind < 0.4:
        return "NEFT-%s%07d-%s-SALARY %s" % (rng.choice(BANKS), rng.randrange(10**7),
                                             rng.choice(EMPLOYERS), rng.choice(
                                                 ["JAN", "FEB", "MAR", "APR", "MAY", "JUN"]))
    if kind < 0.8:
        return "ATM WDL %04d %s %s %02d:%02d" % (rng.randrange(10000), rng.choice(BANKS),
                                                 rng.choice(CITIES), rng.randrange(24),
                                                 rng.randrange(60))
    return "INT.PD %02d/%02d/%d" % (rng.randint(1, 28), rng.randint(1, 12), rng.randint(2020, 2025))


def categorize_case(narrations, rules, max_rules=10_000, seed=SEED):
    """A categorisation request: `narrations` lines, `rules` merchant rules plus the
    generic ones. Merchants of the first `max_rules` names may have rules; the lines that
    name no ruled merchant name one of the names after them."""
    names = merchant_names(2 * max_rules, seed)
    ruled, unruled = names[:rules], names[max_rules:]
    rng = random.Random(seed * 31 + rules)
    rule_list = [{"pattern": pattern_for(m, rng), "category": CATEGORIES[i % len(CATEGORIES)],
                  "merchant": m.title()} for i, m in enumerate(ruled)]
    rule_list += [{"pattern": p, "category": c, "merchant": m} for p, c, m in GENERIC_RULES]
    data = []
    for _ in range(narrations):
        roll = rng.random()
        if roll < 0.62 and ruled:
            text = narration(rng, rng.choice(ruled))
        elif roll < 0.85:
            text = narration(rng, rng.choice(unruled))
        else:
            text = other_narration(rng)
        data.append({"narration": text})
    return {"data": data, "rules": rule_list}


def derive_case(narrations, merchants=2_000, seed=SEED):
    """A labelled set: each narration with the category and merchant it belongs to.
    Merchants are visited with a long-tailed frequency, as on real statements."""
    names = merchant_names(merchants, seed + 1)
    rng = random.Random(seed * 17 + narrations)
    weights = [1.0 / (rank + 10) for rank in range(merchants)]
    picks = rng.choices(range(merchants), weights=weights, k=narrations)
    data = []
    for pick in picks:
        if rng.random() < 0.1:
            text = other_narration(rng)
            category, merchant = ("Income", "Employer") if "SALARY" in text else (
                ("Cash", "ATM") if text.startswith("ATM") else ("Income", "Bank"))
        else:
            name = names[pick]
            text = narration(rng, name)
            category, merchant = CATEGORIES[pick % len(CATEGORIES)], name.title()
        data.append({"narration": text, "category": category, "merchant": merchant})
    return {"data": data}


# ---- worst cases for memory ----

ALPHANUMERIC = "0123456789abcdefghijklmnopqrstuvwxyz"


def distinct_tokens():
    """Every token of ASCII digits and small letters, shortest first: the most distinct
    tokens that a text of a given size can hold."""
    for width in itertools.count(3):
        for letters in itertools.product(ALPHANUMERIC, repeat=width):
            yield "".join(letters)


def _labelled(narrations, label, size):
    """The request text of narrations taken from `narrations` until the text holds about
    `size` bytes, narration i labelled with label(i)."""
    data, total = [], 0
    for i, text in enumerate(narrations):
        if total >= size:
            break
        category, merchant = label(i)
        data.append({"narration": text, "category": category, "merchant": merchant})
        total += len(text) + len(category) + len(merchant) + 52  # and the JSON around them
    return json.dumps({"data": data}, ensure_ascii=False)


def _joined(tokens, per_narration):
    """Narrations of `per_narration` tokens each, taken in turn from `tokens`."""
    while True:
        yield " ".join(itertools.islice(tokens, per_narration))


def derive_worst_cases(size, seed=SEED):
    """Derivation requests of about `size` bytes of JSON text that are hard on memory, as
    (name, request text), made one at a time: one narration of the shortest token
    repeated; tokens none of which occurs twice; a (category, merchant) pair of its own
    for every narration; and many narrations of three-letter tokens from a small
    vocabulary."""
    rng = random.Random(seed)
    short = ["".join(t) for t in itertools.product(ALPHANUMERIC, repeat=3)]
    rng.shuffle(short)
    vocabulary = short[:5000]
    yield "one narration of 'ab1 ' repeated", json.dumps(
        {"data": [{"narration": "ab1 " * (size // 4), "category": "Shopping", "merchant": "Mart"}]})
    yield "every token unique", _labelled(
        _joined(distinct_tokens(), 50), lambda i: (CATEGORIES[i % 16], "M%d" % (i % 1000)), size)
    yield "every (category, merchant) pair unique", _labelled(
        _joined(distinct_tokens(), 2), lambda i: ("C%d" % i, "M%d" % i), size)
    yield "many narrations of short tokens", _labelled(
        _joined(iter(lambda: rng.choice(vocabulary), None), 6),
        lambda i: (CATEGORIES[i % 16], "M%d" % (i % 100)), size)


def long_rules_case(rules, pattern_bytes, narrations=1_000, seed=SEED):
    """A categorisation request with `rules` rules of `pattern_bytes` random small letters
    and digits each (no two sharing more than a few leading bytes) and a few realistic
    narrations."""
    rng = random.Random(seed)
    rule_list = [{"pattern": "".join(rng.choices(ALPHANUMERIC, k=pattern_bytes)),
                  "category": CATEGORIES[i % len(CATEGORIES)], "merchant": "Merchant %d" % i}
                 for i in range(rules)]
    names = merchant_names(100, seed)
    data = [{"narration": narration(rng, rng.choice(names))} for _ in range(narrations)]
    return {"data": data, "rules": rule_list}


def emi_cases():
    """Loan requests: the solved quantity each way, 360 months with inflation and a
    start month as the main case."""
    return {
        "emi-360-inflation-start": {"mode": "emi", "loanAmount": 2_500_000, "months": 360,
                                    "interestRate": 8.5, "inflationRate": 5.5,
                                    "start": "2025-04"},
        "tenure": {"mode": "tenure", "loanAmount": 2_500_000, "emi": 25_000,
                   "interestRate": 8.5, "inflationRate": 5.5, "start": "2025-04"},
        "loanAmount": {"mode": "loanAmount", "emi": 25_000, "months": 240,
                       "interestRate": 9.1, "inflationRate": 4.0},
    }
