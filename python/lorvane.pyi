"""Type information for the native module lorvane.

The record types below exist only for type checkers: import them under
`typing.TYPE_CHECKING`. At run time every request is a plain mapping and every
result a plain dict, with the keys written here (lower camel case, matched
exactly). Keys that name no field are ignored in requests.
"""

import sys
from typing import Literal, Optional, Sequence, TypedDict, type_check_only

if sys.version_info >= (3, 11):
    from typing import NotRequired
else:
    from typing_extensions import NotRequired

__all__ = [
    "__version__",
    "compute_emi",
    "compute_emi_json",
    "categorize_transactions",
    "categorize_transactions_json",
    "derive_rules",
    "derive_rules_json",
]

__version__: str

# --- loans -------------------------------------------------------------------------------

@type_check_only
class EmiRequest(TypedDict):
    """A loan: the interest rate and two of loanAmount, emi and months; mode names the third."""

    mode: Literal["emi", "tenure", "loanAmount"]
    loanAmount: NotRequired[Optional[float]]
    emi: NotRequired[Optional[float]]
    months: NotRequired[Optional[int]]
    interestRate: float
    inflationRate: NotRequired[float]
    start: NotRequired[Optional[str]]

@type_check_only
class EmiTotals(TypedDict):
    nominalPaid: int
    realPaid: int
    nominalPrincipal: int
    nominalInterest: int
    realPrincipal: int
    realInterest: int

@type_check_only
class ScheduleRow(TypedDict):
    index: int
    year: NotRequired[int]
    month: NotRequired[int]
    emi: int
    principal: int
    interest: int
    outstanding: int
    realEmi: int
    realPrincipal: int
    realInterest: int
    remainingEmi: int
    realRemainingEmi: int

@type_check_only
class MonthAmounts(TypedDict):
    nominal: int
    real: int

@type_check_only
class YearSummary(TypedDict):
    year: int
    months: list[Optional[MonthAmounts]]
    nominalTotal: int
    realTotal: int
    closingOutstanding: int

@type_check_only
class EmiResponse(TypedDict):
    mode: Literal["emi", "tenure", "loanAmount"]
    loanAmount: int
    emi: int
    months: int
    interestRate: float
    inflationRate: float
    start: NotRequired[str]
    totals: EmiTotals
    schedule: list[ScheduleRow]
    years: list[YearSummary]

# --- categorisation ----------------------------------------------------------------------

@type_check_only
class CategoryRule(TypedDict):
    pattern: str
    category: str
    merchant: str

@type_check_only
class MapInput(TypedDict):
    narration: str

@type_check_only
class CategorizeRequest(TypedDict):
    data: Sequence[MapInput]
    rules: Sequence[CategoryRule]

@type_check_only
class CategoryMatch(TypedDict):
    category: str
    merchant: str

@type_check_only
class CategorizeResponse(TypedDict):
    data: list[Optional[CategoryMatch]]

# --- rule derivation ---------------------------------------------------------------------

@type_check_only
class DeriveInput(TypedDict):
    narration: str
    category: str
    merchant: str

@type_check_only
class DeriveRulesRequest(TypedDict):
    data: Sequence[DeriveInput]

@type_check_only
class DeriveRulesResponse(TypedDict):
    rules: list[CategoryRule]

# --- functions ---------------------------------------------------------------------------

def compute_emi(request: EmiRequest) -> EmiResponse:
    """Solve a loan for its missing quantity and build its month-by-month schedule.

    The request holds the annual ``interestRate`` (percent) and two of ``loanAmount``,
    ``emi`` and ``months`` (at most 600); ``mode`` ("emi", "tenure" or "loanAmount") names
    the third, which is solved for. Optional: ``inflationRate`` (annual percent, for the
    amounts in real terms) and ``start`` ("YYYY-MM", the month of the first instalment,
    which adds calendar months and year summaries). Any mapping will do; unknown keys are
    ignored.

    Returns a new dict: the mode and rates as given, the solved ``loanAmount``, ``emi`` and
    ``months`` in whole currency units, ``start`` (when given), whole-loan ``totals``, the
    ``schedule`` (one row per month) and ``years`` (one summary per calendar year, empty
    without ``start``).

    Raises:
        ValueError: "invalid request: ..." when the request cannot be read (a missing or
            repeated key, a value of the wrong kind, an unknown mode, a malformed start);
            the engine's own message, without a prefix, when the loan cannot be solved
            ("invalid input: ...", "monthly payment of ... does not cover the first
            month's interest of ...; the loan would never be repaid", "tenure of ... months
            exceeds the maximum supported 600 months").
        TypeError: the call itself has the wrong shape (not exactly one argument).

    Example:
        >>> import lorvane
        >>> result = lorvane.compute_emi({"mode": "emi", "loanAmount": 100000, "months": 12, "interestRate": 12})
        >>> result["emi"], result["totals"]["nominalInterest"]
        (8885, 6619)
    """

def compute_emi_json(request_json: str) -> str:
    """Solve a loan given as JSON text; the result is compact JSON text.

    ``request_json`` is an ``EmiRequest`` as a JSON object (or as an array of its values in
    order: ``[mode, loanAmount, emi, months, interestRate, inflationRate, start]``). The
    result is an ``EmiResponse`` as one line of JSON, keys in the same order as
    ``compute_emi`` gives them.

    Raises:
        ValueError: "invalid request: ... at line L column C" when the text is not valid
            JSON or not a readable request (columns count bytes from 1); the engine's own
            message, without a prefix, when the loan cannot be solved, as for
            ``compute_emi``. A ``str`` holding an unpaired surrogate raises
            UnicodeEncodeError (a ValueError).
        TypeError: "argument 'request_json': '...' object cannot be converted to
            'PyString'" for anything but a ``str`` (``bytes`` included).

    Example:
        >>> import lorvane
        >>> lorvane.compute_emi_json('["loanAmount", null, 1000, 12, 12]')[:60]
        '{"mode":"loanAmount","loanAmount":11255,"emi":1000,"months":'
    """

def categorize_transactions(request: CategorizeRequest) -> CategorizeResponse:
    """Give each narration the category and merchant of the first rule that matches it.

    The request holds ``data``, a sequence of ``{"narration": str}`` records, and ``rules``,
    a sequence of ``{"pattern": str, "category": str, "merchant": str}`` records, highest
    precedence first. A rule matches when its pattern occurs anywhere in the narration,
    letter case ignored (full Unicode lowercasing, no other normalisation).

    Returns a new dict whose ``data`` has one entry per narration, in order: a
    ``{"category", "merchant"}`` dict copied from the deciding rule, or None where no rule
    matches.

    Raises:
        ValueError: "invalid request: ..." when the request cannot be read (a missing key,
            a record that is not a mapping, a text that is not a ``str``). Once read, the
            request cannot fail.
        TypeError: the call itself has the wrong shape (not exactly one argument).

    Example:
        >>> import lorvane
        >>> lorvane.categorize_transactions({
        ...     "data": [{"narration": "UPI-FRESHMART-4411"}, {"narration": "ATM WDL"}],
        ...     "rules": [{"pattern": "freshmart", "category": "Groceries", "merchant": "FreshMart"}],
        ... })
        {'data': [{'category': 'Groceries', 'merchant': 'FreshMart'}, None]}
    """

def categorize_transactions_json(request_json: str) -> str:
    """Categorise narrations given as JSON text; the result is compact JSON text.

    ``request_json`` is a ``CategorizeRequest`` as a JSON object; any record may also be an
    array of its values in order (``[data, rules]``, ``[narration]``,
    ``[pattern, category, merchant]``). The result is a ``CategorizeResponse`` as one line
    of JSON, ``null`` where no rule matches.

    Raises:
        ValueError: "invalid request: ... at line L column C" when the text is not valid
            JSON or not a readable request (columns count bytes from 1). A ``str`` holding
            an unpaired surrogate raises UnicodeEncodeError (a ValueError).
        TypeError: "argument 'request_json': '...' object cannot be converted to
            'PyString'" for anything but a ``str``.

    Example:
        >>> import lorvane
        >>> lorvane.categorize_transactions_json('{"data": [["UPI-FRESHMART-4411"]], '
        ...     '"rules": [["freshmart", "Groceries", "FreshMart"]]}')
        '{"data":[{"category":"Groceries","merchant":"FreshMart"}]}'
    """

def derive_rules(request: DeriveRulesRequest) -> DeriveRulesResponse:
    """Derive categorisation rules from narrations you have labelled.

    The request holds ``data``, a sequence of
    ``{"narration": str, "category": str, "merchant": str}`` records (it may be empty).

    Returns a new dict whose ``rules`` hold at most one rule per (category, merchant) pair,
    sorted by category, then merchant: its pattern is the lowercase word (letters and
    digits, at least 3 bytes) found in most of the pair's narrations among those that at
    least 80 % of all narrations containing it carry. A pair without such a word gets no
    rule. The list can be passed as the ``rules`` of ``categorize_transactions``.

    Raises:
        ValueError: "invalid request: ..." when the request cannot be read (a missing key,
            a record that is not a mapping, a text that is not a ``str``). Once read, the
            request cannot fail.
        TypeError: the call itself has the wrong shape (not exactly one argument).

    Example:
        >>> import lorvane
        >>> lorvane.derive_rules({"data": [
        ...     {"narration": "NEFT-SALARY-JAN", "category": "Income", "merchant": "Employer"},
        ...     {"narration": "UPI-FRESHMART-4411", "category": "Groceries", "merchant": "FreshMart"},
        ... ]})["rules"][0]
        {'pattern': 'freshmart', 'category': 'Groceries', 'merchant': 'FreshMart'}
    """

def derive_rules_json(request_json: str) -> str:
    """Derive rules from labelled narrations given as JSON text; the result is JSON text.

    ``request_json`` is a ``DeriveRulesRequest`` as a JSON object; any record may also be an
    array of its values in order (``[data]``, ``[narration, category, merchant]``). The
    result is a ``DeriveRulesResponse`` as one line of JSON.

    Raises:
        ValueError: "invalid request: ... at line L column C" when the text is not valid
            JSON or not a readable request (columns count bytes from 1). A ``str`` holding
            an unpaired surrogate raises UnicodeEncodeError (a ValueError).
        TypeError: "argument 'request_json': '...' object cannot be converted to
            'PyString'" for anything but a ``str``.

    Example:
        >>> import lorvane
        >>> lorvane.derive_rules_json('{"data": [["NEFT-SALARY-JAN", "Income", "Employer"]]}')
        '{"rules":[{"pattern":"salary","category":"Income","merchant":"Employer"}]}'
    """
