"""JSON forms over the fastest JSON libraries on PyPI: orjson (untyped: dicts and lists)
and msgspec (typed: the request and result records as Structs, decoded and validated in
one pass). Both write compact UTF-8 JSON as the module does; the result is returned as a
str, like the module's.

msgspec Structs read records in their object form only (the module also accepts the
array form); the benchmark requests use the object form.
"""

from typing import List, Optional

from . import plain


def orjson_form(function):
    """`function` (request mapping -> result mapping) with orjson in and out."""
    import orjson

    loads, dumps = orjson.loads, orjson.dumps

    def run(text):
        return dumps(function(loads(text))).decode()

    return run


def orjson_loads():
    """The floor: parsing the request text alone."""
    import orjson

    return orjson.loads


# ---- msgspec: the categorisation records as Structs ----

def msgspec_categorize():
    """The plain-Python loop over typed records: msgspec Structs in and out."""
    import msgspec

    class MapInput(msgspec.Struct):
        narration: str

    class CategoryRule(msgspec.Struct):
        pattern: str
        category: str
        merchant: str

    class CategorizeRequest(msgspec.Struct):
        data: List[MapInput]
        rules: List[CategoryRule]

    class CategoryMatch(msgspec.Struct):
        category: str
        merchant: str

    class CategorizeResponse(msgspec.Struct):
        data: List[Optional[CategoryMatch]]

    decoder = msgspec.json.Decoder(CategorizeRequest)
    encoder = msgspec.json.Encoder()

    def loop(request):
        prepared = []
        for rule in request.rules:
            pattern = rule.pattern.lower()
            prepared.append((pattern, rule))
            if not pattern:
                break
        out = []
        append = out.append
        for item in request.data:
            text = item.narration.lower()
            for pattern, rule in prepared:
                if pattern in text:
                    append(CategoryMatch(rule.category, rule.merchant))
                    break
            else:
                append(None)
        return CategorizeResponse(out)

    def run(text):
        return encoder.encode(loop(decoder.decode(text))).decode()

    return run


def msgspec_categorize_with(categorizer):
    """A library categoriser (of request mappings) behind msgspec's untyped decoder, which
    builds the same dicts and lists as json.loads, only faster."""
    import msgspec

    decode, encode = msgspec.json.decode, msgspec.json.encode

    def run(text):
        return encode(categorizer(decode(text))).decode()

    return run


def msgspec_emi():
    import msgspec

    decode, encode = msgspec.json.decode, msgspec.json.encode

    def run(text):
        return encode(plain.compute_emi(decode(text))).decode()

    return run


def msgspec_derive():
    import msgspec

    decode, encode = msgspec.json.decode, msgspec.json.encode

    def run(text):
        return encode(plain.derive(decode(text))).decode()

    return run
