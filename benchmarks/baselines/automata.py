"""Categorisers over the fastest multi-pattern string search libraries on PyPI:
pyahocorasick, ahocorasick-rs and Hyperscan.

Each searches the lowercased narrations for the lowercased patterns and takes, from the
matches the library reports, the smallest rule index per narration: the first listed
rule that occurs decides, as in the module. Two ways of driving each library:

- per narration: one search call per narration;
- batched: the lowercased narrations joined by a separator that occurs in no pattern,
  searched in one call, matches assigned to narrations by their end offset. This is the
  fastest way to drive a library from Python (one call in all, work per match only).

`make_categorizer(name)` returns a function taking the request mapping and returning the
module's result shape, or raises ImportError when the library is not installed.
"""

from bisect import bisect_left


class PreparedRules:
    """Distinct non-empty lowercased patterns with the smallest rule index of each, and
    the floor: the index of the first empty pattern (it matches every narration)."""

    def __init__(self, rules):
        self.rules = rules
        self.floor = None
        first = {}
        for index, rule in enumerate(rules):
            pattern = rule["pattern"].lower()
            if not pattern:
                self.floor = index
                break
            first.setdefault(pattern, index)
        self.patterns = list(first)
        self.indexes = list(first.values())

    def result(self, best):
        """The result entries for per-narration smallest indexes (None: no match)."""
        rules, floor = self.rules, self.floor
        out = []
        for index in best:
            if index is None:
                index = floor
            if index is None:
                out.append(None)
            else:
                rule = rules[index]
                out.append({"category": rule["category"], "merchant": rule["merchant"]})
        return {"data": out}

    def separator(self):
        """A character found in no pattern, to join narrations with."""
        for candidate in ("\n", "\x00", "\x1f", "\uffff"):
            if not any(candidate in p for p in self.patterns):
                return candidate
        return None


def _joined(lowered, separator):
    """The joined text and the end offset (exclusive) of every narration in it."""
    ends, position = [], 0
    for text in lowered:
        position += len(text)
        ends.append(position)
        position += len(separator)
    return separator.join(lowered), ends


# ---- pyahocorasick ----

def _pyahocorasick(batched):
    import ahocorasick

    def categorize(request):
        prepared = PreparedRules(request["rules"])
        lowered = [item["narration"].lower() for item in request["data"]]
        best = [None] * len(lowered)
        if prepared.patterns:
            automaton = ahocorasick.Automaton()
            for pattern, index in zip(prepared.patterns, prepared.indexes):
                automaton.add_word(pattern, index)
            automaton.make_automaton()
            separator = prepared.separator() if batched else None
            if separator is not None:
                text, ends = _joined(lowered, separator)
                narration = 0
                for end, index in automaton.iter(text):  # end: offset of the last character
                    while ends[narration] <= end:
                        narration += 1
                    current = best[narration]
                    if current is None or index < current:
                        best[narration] = index
            else:
                search = automaton.iter
                for n, text in enumerate(lowered):
                    found = [index for _, index in search(text)]
                    if found:
                        best[n] = min(found)
        return prepared.result(best)

    return categorize


# ---- ahocorasick-rs ----

def _ahocorasick_rs(batched):
    import ahocorasick_rs

    def categorize(request):
        prepared = PreparedRules(request["rules"])
        lowered = [item["narration"].lower() for item in request["data"]]
        best = [None] * len(lowered)
        if prepared.patterns:
            automaton = ahocorasick_rs.AhoCorasick(prepared.patterns,
                                                   matchkind=ahocorasick_rs.MATCHKIND_STANDARD)
            indexes = prepared.indexes
            separator = prepared.separator() if batched else None
            if separator is not None:
                text, ends = _joined(lowered, separator)
                for pattern, _, end in automaton.find_matches_as_indexes(text, overlapping=True):
                    narration = bisect_left(ends, end)
                    index = indexes[pattern]
                    current = best[narration]
                    if current is None or index < current:
                        best[narration] = index
            else:
                search = automaton.find_matches_as_indexes
                for n, text in enumerate(lowered):
                    found = search(text, overlapping=True)
                    if found:
                        best[n] = min(indexes[m[0]] for m in found)
        return prepared.result(best)

    return categorize


# ---- Hyperscan ----

def _hyperscan(batched):
    import hyperscan

    def categorize(request):
        prepared = PreparedRules(request["rules"])
        lowered = [item["narration"].lower() for item in request["data"]]
        best = [None] * len(lowered)
        if prepared.patterns:
            database = hyperscan.Database(mode=hyperscan.HS_MODE_BLOCK)
            expressions = [p.encode() for p in prepared.patterns]
            database.compile(expressions=expressions, ids=prepared.indexes,
                             elements=len(expressions), flags=0, literal=True)
            scratch = hyperscan.Scratch(database)
            separator = prepared.separator() if batched else None
            if separator is not None:
                # Byte offsets: narrations joined as UTF-8.
                encoded = [t.encode() for t in lowered]
                ends, position = [], 0
                for data in encoded:
                    position += len(data)
                    ends.append(position)
                    position += len(separator.encode())
                text = separator.encode().join(encoded)
                state = [0]  # the narration of the last match: matches come in end order

                def on_match(index, start, end, flags, context):
                    narration = state[0]
                    while ends[narration] < end:
                        narration += 1
                    state[0] = narration
                    current = best[narration]
                    if current is None or index < current:
                        best[narration] = index

                database.scan(text, match_event_handler=on_match, scratch=scratch)
            else:
                found = []

                def on_match(index, start, end, flags, context):
                    found.append(index)

                for n, text in enumerate(lowered):
                    database.scan(text.encode(), match_event_handler=on_match, scratch=scratch)
                    if found:
                        best[n] = min(found)
                        found.clear()
        return prepared.result(best)

    return categorize


LIBRARIES = {
    "pyahocorasick": ("ahocorasick", _pyahocorasick),
    "ahocorasick-rs": ("ahocorasick_rs", _ahocorasick_rs),
    "hyperscan": ("hyperscan", _hyperscan),
}


def make_categorizer(library, batched):
    """The categoriser over `library` (a key of LIBRARIES); ImportError if missing."""
    module, factory = LIBRARIES[library]
    __import__(module)
    return factory(batched)
