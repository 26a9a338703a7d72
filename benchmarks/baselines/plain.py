"""What a user writes in plain Python for each of the module's six functions: the
standard library only (`json`, `str.lower()`, `in`, `re`, `collections.Counter`, floats
and `math`), idiomatic and without deliberate slowness, giving the same results."""

import json
import math
import re
from collections import Counter

# ---- categorisation ----


def prepare_rules(rules):
    """(lowercased pattern, rule) in list order, up to the first empty pattern, which
    matches every narration so that no later rule can decide."""
    prepared = []
    for rule in rules:
        pattern = rule["pattern"].lower()
        prepared.append((pattern, rule))
        if not pattern:
            break
    return prepared


def categorize(request):
    prepared = prepare_rules(request["rules"])
    out = []
    append = out.append
    for item in request["data"]:
        text = item["narration"].lower()
        for pattern, rule in prepared:
            if pattern in text:
                append({"category": rule["category"], "merchant": rule["merchant"]})
                break
        else:
            append(None)
    return {"data": out}


def dumps(value):
    """Compact JSON text as the module writes it: no whitespace, non-ASCII unescaped."""
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def categorize_json(text):
    return dumps(categorize(json.loads(text)))


# ---- rule derivation ----

_PIECES = re.compile(r"[^\W_]+")  # runs of alphanumeric characters


def tokens(narration):
    """The distinct pieces of the lowercased narration of at least three UTF-8 bytes."""
    return {p for p in _PIECES.findall(narration.lower())
            if len(p) >= 3 or len(p.encode()) >= 3}


def derive(request):
    groups = {}
    for item in request["data"]:
        groups.setdefault((item["category"], item["merchant"]), []).append(item["narration"])
    overall = Counter()
    for narrations in groups.values():
        for narration in narrations:
            overall.update(tokens(narration))
    rules = []
    for (category, merchant), narrations in groups.items():
        in_group = Counter()
        for narration in narrations:
            in_group.update(tokens(narration))
        best, best_score = None, 0
        for token, count in in_group.items():
            if count / overall[token] < 0.8:
                continue
            score = count * 1000 + len(token.encode())
            # Among equal scores, the bytewise-smallest token, as the module does.
            if score > best_score or (score == best_score and token.encode() < best.encode()):
                best, best_score = token, score
        if best is not None:
            rules.append({"pattern": best, "category": category, "merchant": merchant})
    rules.sort(key=lambda r: (r["category"].encode(), r["merchant"].encode()))
    return {"rules": rules}


def derive_json(text):
    return dumps(derive(json.loads(text)))


# ---- loans ----

MODES = ("emi", "tenure", "loanAmount")
MAX_MONTHS = 600


def round_half_up(x):
    if x != x or x in (math.inf, -math.inf):
        return x
    y = math.floor(x + 0.5)
    return y - 1 if x < y - 0.5 else y


def whole(x):
    if x != x:
        return 0
    if x >= 9223372036854775807.0:
        return 9223372036854775807
    if x < -9223372036854775808.0:
        return -9223372036854775808
    return int(x)


def solve(request, rate):
    """(principal, instalment, months) of a valid request; ValueError with the module's
    message when the tenure cannot be derived."""
    mode = request["mode"]
    if mode == "emi":
        principal, months = float(request["loanAmount"]), request["months"]
        growth = (1 + rate) ** months if rate != 0 else 1.0
        instalment = ((rate * principal) * growth) / (growth - 1) if growth != 1 else principal / months
        return principal, instalment, months
    if mode == "loanAmount":
        instalment, months = float(request["emi"]), request["months"]
        growth = (1 + rate) ** months if rate != 0 else 1.0
        principal = ((growth - 1) * instalment) / (rate * growth) if growth != 1 else months * instalment
        return principal, instalment, months
    principal, instalment = float(request["loanAmount"]), float(request["emi"])
    if rate == 0:
        months = principal / instalment
    else:
        first_interest = principal * rate
        if first_interest >= instalment:
            raise ValueError("monthly payment of %.2f does not cover the first month's interest "
                             "of %.2f; the loan would never be repaid" % (instalment, first_interest))
        months = math.log(instalment / (instalment - first_interest)) / math.log(rate + 1)
    months = math.ceil(months) if math.isfinite(months) else months
    if not math.isfinite(months) or months < 1:
        raise ValueError("invalid input: could not derive a valid tenure from the supplied "
                         "loan amount and emi")
    if months > MAX_MONTHS:
        raise ValueError("tenure of %d months exceeds the maximum supported 600 months" % months)
    return principal, instalment, int(months)


def parse_start(text):
    year, month = text.split("-", 1)
    return int(year), int(month)


def schedule(request, rate, principal, instalment, months):
    """The response dict, from the solved triple (the same rows, rounding and sums)."""
    inflation_rate = float(request.get("inflationRate", 0.0))
    inflation = (inflation_rate / 100 + 1) ** 0.08333333333333333
    emi = round_half_up(instalment)
    start = request.get("start")
    if start is not None:
        start_year, start_month = parse_start(start)
    rows = []
    balance, deflator = principal, 1.0
    i = 0
    while i < months:
        due = rate * balance
        if i == months - 1 or emi >= balance:
            p = round_half_up(balance)
            interest = round_half_up(due)
            paid = p + interest
            balance = 0.0
        else:
            repaid = emi - due
            p = round_half_up(repaid)
            interest = emi - p
            paid = emi
            balance = round_half_up(balance - repaid)
        real_p = round_half_up(p / deflator)
        real_i = round_half_up(interest / deflator)
        row = {"index": i}
        if start is not None:
            k = i + start_month - 1
            row["year"], row["month"] = start_year + k // 12, k % 12 + 1
        row.update(emi=whole(paid), principal=whole(p), interest=whole(interest),
                   outstanding=whole(balance), realEmi=whole(real_p + real_i),
                   realPrincipal=whole(real_p), realInterest=whole(real_i),
                   remainingEmi=0, realRemainingEmi=0)
        rows.append(row)
        i += 1
        if balance == 0:
            break
        deflator *= inflation
    nominal = real = 0
    for row in reversed(rows):
        row["remainingEmi"], row["realRemainingEmi"] = nominal, real
        nominal += row["emi"]
        real += row["realEmi"]
    loan_amount = whole(round_half_up(principal))
    result = {"mode": request["mode"], "loanAmount": loan_amount, "emi": whole(emi),
              "months": len(rows), "interestRate": float(request["interestRate"]),
              "inflationRate": inflation_rate}
    years = []
    if start is not None:
        result["start"] = "%04d-%02d" % (start_year, start_month)
        for row in rows:
            if not years or years[-1]["year"] != row["year"]:
                years.append({"year": row["year"], "months": [None] * 12, "nominalTotal": 0,
                              "realTotal": 0, "closingOutstanding": 0})
            summary = years[-1]
            summary["months"][row["month"] - 1] = {"nominal": row["emi"], "real": row["realEmi"]}
            summary["nominalTotal"] += row["emi"]
            summary["realTotal"] += row["realEmi"]
            summary["closingOutstanding"] = row["outstanding"]
    result["totals"] = {"nominalPaid": nominal, "realPaid": real, "nominalPrincipal": loan_amount,
                        "nominalInterest": nominal - loan_amount, "realPrincipal": loan_amount,
                        "realInterest": real - loan_amount}
    result["schedule"] = rows
    result["years"] = years
    return result


def validate(request):
    """The module's checks of a loan request, in its order (ValueError on failure)."""
    if request.get("mode") not in MODES:
        raise ValueError("invalid request: unknown mode")
    for key in ("interestRate", "inflationRate"):
        value = float(request.get(key, 0.0))
        if not (value >= 0 and math.isfinite(value)):
            raise ValueError("invalid input: %s must be zero or greater" % key)
    needs = {"emi": ("loanAmount", "months"), "tenure": ("loanAmount", "emi"),
             "loanAmount": ("emi", "months")}[request["mode"]]
    for key in needs:
        value = request.get(key)
        if value is None:
            raise ValueError("invalid input: %s is required" % key)
        if key == "months":
            if value == 0:
                raise ValueError("invalid input: months must be greater than zero")
            if value > MAX_MONTHS:
                raise ValueError("tenure of %d months exceeds the maximum supported 600 months" % value)
        elif not (value > 0 and math.isfinite(value)):
            raise ValueError("invalid input: %s must be greater than zero" % key)


def compute_emi(request, solver=solve):
    validate(request)
    rate = (float(request["interestRate"]) / 100) / 12
    principal, instalment, months = solver(request, rate)
    return schedule(request, rate, principal, instalment, months)


def compute_emi_json(text):
    return dumps(compute_emi(json.loads(text)))
