"""A plain Python model of rule derivation, written from the rules and nothing else,
for the tests to hold the engine against."""

from collections import Counter

MIN_SHARE = 0.8
MIN_TOKEN_BYTES = 3


def ascii_alphanumeric(ch):
    return ch in "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"


def model_tokens(narration, is_alphanumeric=ascii_alphanumeric):
    """The token set of a narration: lowercase it, split at every character that is not
    alphanumeric, keep the pieces of at least three UTF-8 bytes."""
    pieces, piece = [], []
    for ch in narration.lower():
        if is_alphanumeric(ch):
            piece.append(ch)
        else:
            pieces.append("".join(piece))
            piece = []
    pieces.append("".join(piece))
    return {p for p in pieces if len(p.encode("utf-8")) >= MIN_TOKEN_BYTES}


def model_derive(data, is_alphanumeric=ascii_alphanumeric):
    """The expected derive_rules result for a list of {narration, category, merchant}."""
    groups = {}
    for item in data:
        tokens = model_tokens(item["narration"], is_alphanumeric)
        groups.setdefault((item["category"], item["merchant"]), []).append(tokens)
    overall = Counter(token for sets in groups.values() for tokens in sets for token in tokens)
    rules = []
    for (category, merchant), sets in groups.items():
        in_group = Counter(token for tokens in sets for token in tokens)
        best = None
        for token, count in in_group.items():
            if count / overall[token] < MIN_SHARE:
                continue
            score = count * 1000 + len(token.encode("utf-8"))
            # the highest score; among equal scores the bytewise-smallest token
            key = (-score, token.encode("utf-8"))
            if best is None or key < best[0]:
                best = (key, token)
        if best is not None:
            rules.append({"pattern": best[1], "category": category, "merchant": merchant})
    rules.sort(key=lambda r: (r["category"].encode("utf-8"), r["merchant"].encode("utf-8")))
    return {"rules": rules}


def first_matching_rule(narration, rules):
    """The rule that categorisation gives a narration: the first whose pattern occurs in
    its lowercase, or None."""
    lowered = narration.lower()
    for rule in rules:
        if rule["pattern"].lower() in lowered:
            return {"category": rule["category"], "merchant": rule["merchant"]}
    return None
